// "Soundcard Properties": the sound driver's input and output port and its
// two delays. Every change reaches the running driver at once, so the user
// hears it while the dialog is open; closing without OK puts back the ports
// and delays the driver had when the dialog opened.
#pragma once

#include "pc/audio/mme.h"
#include "pc/sky/ctrl.h"
#include "pc/sky/dlg.h"

namespace mmeprp {
constexpr int32_t kDialog = 5500;
constexpr int32_t kInPortMenu = 3740;
constexpr int32_t kOutPortMenu = 3741;
constexpr int32_t kInDelaySlider = 3820;
constexpr int32_t kOutDelaySlider = 3821;
constexpr int32_t kInDelayText = 3620;
constexpr int32_t kOutDelayText = 3621;
// The delays the sliders offer, in milliseconds.
constexpr int32_t kDelayMin = mme::kMinDelayMs;
constexpr int32_t kDelayMax = mme::kMaxDelayMs;
constexpr int32_t kDelayStep = mme::kTickMs;
} // namespace mmeprp

class IMultiMediaPrp : public virtual IView {
public:
  // Runs the dialog modally; the end code.
  virtual int Execute() = 0;
};

class TMultiMediaPrp : public TDlg, public IMultiMediaPrp {
public:
  explicit TMultiMediaPrp(IMultiMedia* driver);
  ~TMultiMediaPrp() override;
  int Execute() override { return TDlg::Execute(); }
  using TTView::Execute;

  ICtrlerMenu* InPortMenu() const { return inPorts_; }
  ICtrlerMenu* OutPortMenu() const { return outPorts_; }
  ICtrlerSlider* InDelaySlider() const { return inDelay_; }
  ICtrlerSlider* OutDelaySlider() const { return outDelay_; }
  ICtrlerEdit* InDelayText() const { return inDelayText_; }
  ICtrlerEdit* OutDelayText() const { return outDelayText_; }

private:
  void InPortChosen();
  void OutPortChosen();
  void InDelayMoved();
  void OutDelayMoved();

  ICtrlerMenu* inPorts_ = nullptr;
  ICtrlerMenu* outPorts_ = nullptr;
  ICtrlerSlider* inDelay_ = nullptr;
  ICtrlerSlider* outDelay_ = nullptr;
  ICtrlerEdit* inDelayText_ = nullptr;
  ICtrlerEdit* outDelayText_ = nullptr;
  IMultiMedia* driver_;
  int32_t initialInPort_ = 0, initialOutPort_ = 0, initialInDelay_ = 0, initialOutDelay_ = 0;
};

IMultiMediaPrp* CreateMultiMediaPrp(IMultiMedia* driver);
// Opens the dialog on the driver, runs it and closes it.
void ShowMultiMediaPrp(IMultiMedia* driver);
