// How panels open the property dialogs of modules, instruments and ports.
// The dialog layer installs the openers; until then the requests do nothing.
#pragma once

#include <functional>

class KSModul;
class KInPort;

namespace panel_dialogs {
using TModuleOpener = std::function<void(KSModul* module)>;
using TPortOpener = std::function<void(KInPort* port)>;
// Each opener runs its dialog modally; an empty one leaves the request unanswered.
void SetOpeners(TModuleOpener module, TModuleOpener instrument, TPortOpener port);
// The module's own property dialog (a macro's too).
void OpenModuleDialog(KSModul* module);
// The instrument properties dialog of an instrument module (or the top module).
void OpenInstrumentDialog(KSModul* instrument);
void OpenPortDialog(KInPort* port);
} // namespace panel_dialogs
