#include "src/volteon/drvprp/mmeprp.h"

#include "src/base/str.h"

#include <memory>

using namespace mmeprp;

namespace {

constexpr int32_t kNoPort = 0; // the "None" entry of both port lists
// Wide enough for "400 ms" inside the field's frame.
constexpr int32_t kDelayTextW = 30;

int32_t Template() {
  static const bool registered = [] {
    RegisterDlgTemplate({kDialog, "Soundcard Properties", 166, 180, {
      DlgGroup("In Port", 5, 4, 156, 63),
      DlgCombo(kInPortMenu, 11, 16, 144, 129),
      DlgSlider(kInDelaySlider, 13, 31, 140, 20),
      DlgStatic(-1, "Record Ahead:", 33, 53, 49, 9),
      DlgEdit(kInDelayText, 86, 53, kDelayTextW, 9, dlgflag::kRight),
      DlgGroup("Out Port", 5, 70, 156, 63),
      DlgCombo(kOutPortMenu, 11, 82, 144, 129),
      DlgSlider(kOutDelaySlider, 13, 97, 140, 20),
      DlgStatic(-1, "Play Ahead:", 43, 119, 40, 9),
      DlgEdit(kOutDelayText, 86, 119, kDelayTextW, 9, dlgflag::kRight),
      DlgStatic(-1, "Reduce values for shorter delay.", 13, 137, 136, 8, dlgflag::kCentre),
      DlgStatic(-1, "Increase values when clicks are heard.", 13, 146, 136, 8, dlgflag::kCentre),
      DlgDefButton(kIdOk, "OK", 22, 160, 50, 14),
      DlgButton(kIdCancel, "Cancel", 90, 160, 50, 14),
    }});
    return true;
  }();
  (void)registered;
  return kDialog;
}

TStr DelayText(int32_t ms) { return FormatStr("%d ms", int(ms)); }

// The texts beside the sliders only show the delay; they take no typing.
ICtrlerEdit* DelayTextCtrl(TTView* owner, int32_t id, int32_t ms) {
  ICtrlerEdit* text = CreateCtrlerEdit(owner, id, DelayText(ms), {});
  text->SetEnabled(0);
  return text;
}

} // namespace

TMultiMediaPrp::TMultiMediaPrp(IMultiMedia* driver) : TDlg(Template()), driver_(driver) {
  // The input stays open while the dialog is, so its port can be tried
  // even when no Audio In module uses it.
  driver_->SetInputForced(true);
  inPorts_ = CreateCtrlerMenu(this, kInPortMenu, Handler(this, &TMultiMediaPrp::InPortChosen));
  outPorts_ = CreateCtrlerMenu(this, kOutPortMenu, Handler(this, &TMultiMediaPrp::OutPortChosen));
  inDelay_ = CreateCtrlerSlider(this, kInDelaySlider, Handler(this, &TMultiMediaPrp::InDelayMoved));
  outDelay_ = CreateCtrlerSlider(this, kOutDelaySlider, Handler(this, &TMultiMediaPrp::OutDelayMoved));
  initialInPort_ = driver_->GetInPort();
  initialOutPort_ = driver_->GetOutPort();
  initialInDelay_ = driver_->GetInDelay();
  initialOutDelay_ = driver_->GetOutDelay();
  inDelayText_ = DelayTextCtrl(this, kInDelayText, initialInDelay_);
  outDelayText_ = DelayTextCtrl(this, kOutDelayText, initialOutDelay_);
  driver_->TakeOutLatency(); // the statistics start afresh

  for (int32_t i = 0; i < driver_->GetInPortCount(); ++i) inPorts_->AddItem(driver_->GetInPortName(i));
  inPorts_->SetSelection(initialInPort_);
  inDelay_->SetEnabled(initialInPort_ != kNoPort);
  for (int32_t i = 0; i < driver_->GetOutPortCount(); ++i) outPorts_->AddItem(driver_->GetOutPortName(i));
  outPorts_->SetSelection(initialOutPort_);
  outDelay_->SetEnabled(initialOutPort_ != kNoPort);

  for (ICtrlerSlider* s : {inDelay_, outDelay_}) s->SetRange(kDelayMin, kDelayMax, kDelayStep, kNoCnt);
  inDelay_->SetValue(initialInDelay_);
  outDelay_->SetValue(initialOutDelay_);
}

TMultiMediaPrp::~TMultiMediaPrp() {
  DestructorBody([this] {
    if (!WasOk()) {
      driver_->SetInPort(initialInPort_);
      driver_->SetOutPort(initialOutPort_);
      driver_->SetInDelay(initialInDelay_);
      driver_->SetOutDelay(initialOutDelay_);
    }
    driver_->SetInputForced(false);
  });
}

void TMultiMediaPrp::InPortChosen() {
  const int32_t index = inPorts_->GetSelection();
  // A port that does not open leaves the driver on the one it fell back to.
  if (!driver_->SetInPort(index)) inPorts_->SetSelection(driver_->GetInPort());
  inDelay_->SetEnabled(index != kNoPort);
}

void TMultiMediaPrp::OutPortChosen() {
  const int32_t index = outPorts_->GetSelection();
  if (!driver_->SetOutPort(index)) outPorts_->SetSelection(driver_->GetOutPort());
  outDelay_->SetEnabled(index != kNoPort);
}

void TMultiMediaPrp::InDelayMoved() {
  const int32_t ms = inDelay_->GetValue();
  driver_->SetInDelay(ms);
  inDelayText_->SetText(DelayText(ms));
}

void TMultiMediaPrp::OutDelayMoved() {
  const int32_t ms = outDelay_->GetValue();
  driver_->SetOutDelay(ms);
  outDelayText_->SetText(DelayText(ms));
}

IMultiMediaPrp* CreateMultiMediaPrp(IMultiMedia* driver) { return new TMultiMediaPrp(driver); }

void ShowMultiMediaPrp(IMultiMedia* driver) {
  std::unique_ptr<IMultiMediaPrp, void (*)(IMultiMediaPrp*)> dlg(CreateMultiMediaPrp(driver),
                                                                [](IMultiMediaPrp* d) { d->Delete(); });
  dlg->Execute();
}
