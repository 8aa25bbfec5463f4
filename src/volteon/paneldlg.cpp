#include "src/volteon/paneldlg.h"

namespace panel_dialogs {
namespace {
struct TOpeners {
  TModuleOpener module, instrument;
  TPortOpener port;
};
TOpeners& Openers() {
  static TOpeners openers;
  return openers;
}
} // namespace

void SetOpeners(TModuleOpener module, TModuleOpener instrument, TPortOpener port) {
  Openers() = TOpeners{std::move(module), std::move(instrument), std::move(port)};
}

void OpenModuleDialog(KSModul* module) {
  if (module && Openers().module) Openers().module(module);
}

void OpenInstrumentDialog(KSModul* instrument) {
  if (instrument && Openers().instrument) Openers().instrument(instrument);
}

void OpenPortDialog(KInPort* port) {
  if (port && Openers().port) Openers().port(port);
}
} // namespace panel_dialogs
