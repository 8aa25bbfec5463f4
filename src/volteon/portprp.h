// The port properties dialog: a port's label, signal type, mono and mute
// state and info text; the label and info can be edited where the module
// type allows it, the mute state always.
#pragma once

#include "pc/sky/ctrl.h"
#include "pc/sky/dlg.h"

#include <memory>

class KInPort;
class KOutPort;

namespace dlgid {
constexpr int32_t kPortPrp = 7200;
} // namespace dlgid

namespace ctlid {
constexpr int32_t kPortLabel = 3620;
constexpr int32_t kPortInfo = 3621;
constexpr int32_t kPortType = 3622;
constexpr int32_t kPortMute = 3660;
constexpr int32_t kPortMono = 3661;
} // namespace ctlid

class TPortPrp : public TDlg {
public:
  // Exactly one of the ports is given.
  TPortPrp(KInPort* in, KOutPort* out);
  ~TPortPrp() override;

  // Writes the controls the user changed into the port; called once the
  // dialog closed with OK. 1 when something changed. Errors reach the caller.
  int Apply();

private:
  KInPort* in_;
  KOutPort* out_;
  ICtrlerEdit* label_ = nullptr;
  ICtrlerEdit* info_ = nullptr;
  ICtrlerEdit* type_ = nullptr;
  ICtrlerBoolean* mute_ = nullptr;
  ICtrlerBoolean* mono_ = nullptr;
};

// Registers the dialog's template.
void RegisterPortPrp();
// The dialog of one port: exactly one of in and out is given, else null.
std::unique_ptr<TPortPrp> CreatePortPrp(KInPort* in, KOutPort* out);
// Runs the dialog for a port and applies it after OK: 1 when the port changed.
int RunPortPrp(KInPort* in, KOutPort* out);
