// "MIDI Port": which MIDI inputs and outputs the driver keeps open. Insert
// opens the ports chosen among the available ones, Delete closes the chosen
// installed ones, both at once; OK only closes the dialog.
#pragma once

#include "pc/midi/mmmidi.h"
#include "pc/sky/ctrl.h"
#include "pc/sky/dlg.h"

#include <vector>

namespace mmmidprp {
constexpr int32_t kDialog = 6000;
constexpr int32_t kAvailableIn = 3780;
constexpr int32_t kInstalledIn = 3781;
constexpr int32_t kAvailableOut = 3782;
constexpr int32_t kInstalledOut = 3783;
constexpr int32_t kInsertIn = 3580;
constexpr int32_t kDeleteIn = 3581;
constexpr int32_t kInsertOut = 3582;
constexpr int32_t kDeleteOut = 3583;
} // namespace mmmidprp

class IMultiMediaMidiPrp : public virtual IView {
public:
  virtual int Execute() = 0;
};

class TMultiMediaMidiPrp : public TDlg, public IMultiMediaMidiPrp {
public:
  explicit TMultiMediaMidiPrp(IMultiMediaMidi* driver);
  ~TMultiMediaMidiPrp() override;
  int Execute() override { return TDlg::Execute(); }
  using TTView::Execute;

  ICtrlerList* AvailableIn() const { return availableIn_; }
  ICtrlerList* InstalledIn() const { return installedIn_; }
  ICtrlerList* AvailableOut() const { return availableOut_; }
  ICtrlerList* InstalledOut() const { return installedOut_; }

private:
  // One direction: its lists and the device index of every installed line.
  struct TSide {
    ICtrlerList* available = nullptr;
    ICtrlerList* installed = nullptr;
    std::vector<int32_t> devices;
    bool input = true;
  };
  void Insert(TSide& side);
  void Delete(TSide& side);

  IMultiMediaMidi* driver_;
  ICtrlerList* availableIn_ = nullptr;
  ICtrlerList* installedIn_ = nullptr;
  ICtrlerList* availableOut_ = nullptr;
  ICtrlerList* installedOut_ = nullptr;
  TSide in_, out_;
};

IMultiMediaMidiPrp* CreateMultiMediaMidiPrp(IMultiMediaMidi* driver);
inline IMultiMediaMidiPrp* CastToMultiMediaMidiPrp(IBase* o) { return CastTo<IMultiMediaMidiPrp>(o); }
void ShowMultiMediaMidiPrp(IMultiMediaMidi* driver);
