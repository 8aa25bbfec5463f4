#include "src/volteon/drvprp/mmmidprp.h"

#include "src/base/str.h"

#include <memory>

using namespace mmmidprp;

namespace {

constexpr int kBoxOk = 0;

QV_MESSAGE(PortInUse, "Not Available, already in use by an other Application !")

// Two rows, inputs above outputs: the available ports on the left, the
// installed ones on the right, the buttons between them.
constexpr int32_t kListW = 100, kListH = 66, kLabelH = 8;
constexpr int32_t kLeftX = 7, kButtonX = 114, kRightX = 161;
constexpr int32_t kButtonW = 40, kButtonH = 14, kButtonGap = 6, kButtonTop = 24;
constexpr int32_t kMargin = 7, kLabelGap = 2, kOkW = 50, kOkH = 14;
constexpr int32_t kInRowY = 7, kOutRowY = 95;
constexpr int32_t kDialogW = 268, kDialogH = 199;

int32_t Template() {
  static const bool registered = [] {
    auto label = [](const char* text, int32_t x, int32_t row) { return DlgStatic(-1, text, x, row, kListW, kLabelH); };
    auto list = [](int32_t id, int32_t x, int32_t row) { return DlgList(id, x, row + kLabelH + kLabelGap, kListW, kListH); };
    auto button = [](int32_t id, const char* text, int32_t row, int32_t n) {
      return DlgButton(id, text, kButtonX, row + kButtonTop + n * (kButtonH + kButtonGap), kButtonW, kButtonH);
    };
    RegisterDlgTemplate({kDialog, "MIDI Port", kDialogW, kDialogH, {
      label("Available Inports", kLeftX, kInRowY),
      list(kAvailableIn, kLeftX, kInRowY),
      button(kInsertIn, "Insert", kInRowY, 0),
      button(kDeleteIn, "Delete", kInRowY, 1),
      label("Installed Inports", kRightX, kInRowY),
      list(kInstalledIn, kRightX, kInRowY),
      label("Available Outports", kLeftX, kOutRowY),
      list(kAvailableOut, kLeftX, kOutRowY),
      button(kInsertOut, "Insert", kOutRowY, 0),
      button(kDeleteOut, "Delete", kOutRowY, 1),
      label("Installed Outports", kRightX, kOutRowY),
      list(kInstalledOut, kRightX, kOutRowY),
      DlgDefButton(kIdOk, "OK", kDialogW - kMargin - kOkW, kDialogH - kMargin - kOkH, kOkW, kOkH),
    }});
    return true;
  }();
  (void)registered;
  return kDialog;
}

} // namespace

TMultiMediaMidiPrp::TMultiMediaMidiPrp(IMultiMediaMidi* driver) : TDlg(Template()), driver_(driver) {
  // A change of selection does nothing by itself.
  availableIn_ = CreateCtrlerList(this, kAvailableIn, {});
  installedIn_ = CreateCtrlerList(this, kInstalledIn, {});
  availableOut_ = CreateCtrlerList(this, kAvailableOut, {});
  installedOut_ = CreateCtrlerList(this, kInstalledOut, {});
  CreateCtrlerButton(this, kInsertIn, [this] { Insert(in_); });
  CreateCtrlerButton(this, kDeleteIn, [this] { Delete(in_); });
  CreateCtrlerButton(this, kInsertOut, [this] { Insert(out_); });
  CreateCtrlerButton(this, kDeleteOut, [this] { Delete(out_); });
  in_ = {availableIn_, installedIn_, {}, true};
  out_ = {availableOut_, installedOut_, {}, false};

  // The available lists hold the devices in device order, so a line's
  // index is its device index.
  for (int32_t i = 0; i < driver_->GetInPortCount(); ++i) availableIn_->AddItem(driver_->GetInPortName(i));
  for (int32_t i = 0; i < driver_->GetOutPortCount(); ++i) availableOut_->AddItem(driver_->GetOutPortName(i));
  for (int32_t i = 0; i < driver_->GetOpenInPortCount(); ++i) {
    installedIn_->AddItem(driver_->GetOpenInPortName(i));
    in_.devices.push_back(driver_->GetOpenInPortDevice(i));
  }
  for (int32_t i = 0; i < driver_->GetOpenOutPortCount(); ++i) {
    installedOut_->AddItem(driver_->GetOpenOutPortName(i));
    out_.devices.push_back(driver_->GetOpenOutPortDevice(i));
  }
}

TMultiMediaMidiPrp::~TMultiMediaMidiPrp() {
  DestructorBody([this] { Close(0); });
}

void TMultiMediaMidiPrp::Insert(TSide& side) {
  for (int32_t i = 0; i < side.available->GetCount(); ++i) {
    if (!side.available->IsSelected(i)) continue;
    const TStr name = side.available->GetItem(i);
    const int32_t result = side.input ? driver_->OpenInPort(i) : driver_->OpenOutPort(i);
    if (result == mmmidi::kOpened) {
      side.installed->AddItem(name);
      side.devices.push_back(i);
    } else if (result == mmmidi::kFailed) {
      // The name is the caption as it stands, whatever characters it holds.
      TParamStr caption{TStr("$1")};
      caption.SetParam(1, name);
      ShowMessageTitled(&PortInUse(), &caption, kBoxOk);
    }
    // Already open or gone: nothing to show.
  }
}

void TMultiMediaMidiPrp::Delete(TSide& side) {
  // From the last line up, so that removing a line moves none still to visit.
  for (int32_t i = side.installed->GetCount() - 1; i >= 0; --i) {
    if (!side.installed->IsSelected(i) || size_t(i) >= side.devices.size()) continue;
    const int32_t device = side.devices[size_t(i)];
    if (side.input) driver_->CloseInPort(device);
    else driver_->CloseOutPort(device);
    // The line goes whatever the close answered.
    side.installed->RemoveItem(i);
    side.devices.erase(side.devices.begin() + i);
  }
}

IMultiMediaMidiPrp* CreateMultiMediaMidiPrp(IMultiMediaMidi* driver) { return new TMultiMediaMidiPrp(driver); }

void ShowMultiMediaMidiPrp(IMultiMediaMidi* driver) {
  std::unique_ptr<IMultiMediaMidiPrp, void (*)(IMultiMediaMidiPrp*)> dlg(CreateMultiMediaMidiPrp(driver),
                                                                        [](IMultiMediaMidiPrp* d) { d->Delete(); });
  dlg->Execute();
}
