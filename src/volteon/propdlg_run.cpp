// Making and running the property dialog of a module: the dialog class its
// type's resource names.
#include "src/volteon/propdlg.h"
#include "src/volteon/propdlg_classes.h"
#include "src/volteon/sampdlg.h"

#include "src/base/str.h"
#include "src/mod/mod.h"

#include <exception>
#include <memory>

std::unique_ptr<TModPrp> CreateModPrp(KSModul* module, const char* where) {
  (void)where;
  if (!module) return nullptr;
  RegisterModPrpTemplates();
  using namespace prpdlg;
  const TModuleType t = module->GetType();
  switch (ModPrpResource(t.category, t.type)) {
  case kMacro: return std::make_unique<TMacroPrp>(module);
  case kFader: return std::make_unique<TFaderPrp>(module);
  case kButton: return std::make_unique<TButtonPrp>(module);
  case kSwitch: return std::make_unique<TSwitchPrp>(module);
  case kComment: return std::make_unique<TCommentPrp>(module);
  case kLamp: return std::make_unique<TLampPrp>(module);
  case kMeter: return std::make_unique<TMeterPrp>(module);
  case kMidiPoly: return std::make_unique<TMidiPolyPrp>(module);
  case kMidiCaStg: return std::make_unique<TMidiCaStgPrp>(module);
  case kSelNoteGate: return std::make_unique<TSelNoteGatePrp>(module);
  case kMidiPitchbend: return std::make_unique<TMidiPitchbendPrp>(module);
  case kCtrlSelAT: return std::make_unique<TCtrlSelATPrp>(module);
  case kMidiSync: return std::make_unique<TMidiSyncPrp>(module);
  case kMidiClock: return std::make_unique<TMidiClockPrp>(module);
  case kEtmNote: return std::make_unique<TETMNotePrp>(module);
  case kEtmCtrl: return std::make_unique<TETMCtrlPrp>(module);
  case kEtmPolyAT: return std::make_unique<TETMPolyATPrp>(module);
  case kConstant: return std::make_unique<TConstantPrp>(module);
  case kProcessing: return std::make_unique<TProcessingPrp>(module);
  case kMonoMod: return std::make_unique<TMonoModPrp>(module);
  case kGraph: return std::make_unique<TGraphPrp>(module);
  case kScrub: return std::make_unique<TScrubPrp>(module);
  case kStaticDelay: return std::make_unique<TStaticDelayPrp>(module);
  case kDelay: return std::make_unique<TDelayPrp>(module);
  case kTapedeck: return std::make_unique<TTapedeckPrp>(module);
  case kSmoother: return std::make_unique<TSmootherPrp>(module);
  case kScope: return std::make_unique<TScopePrp>(module);
  case kSampler: return std::make_unique<TSamplerAndSamplerFMPrp>(module);
  case kSamplerLoop: return std::make_unique<TSamplerLoopPrp>(module);
  case kGrainLoop: return std::make_unique<TGrainLoopPrp>(module);
  case kWaveTable: return std::make_unique<TWaveTablePrp>(module);
  case kBeatWarp: return std::make_unique<TBeatWarpPrp>(module);
  default: return nullptr;
  }
}

bool RunModPrp(KSModul* module) {
  try {
    std::unique_ptr<TModPrp> dlg = CreateModPrp(module, "RunModPrp");
    if (!dlg) return false;
    dlg->Execute();
    return dlg->Apply();
  } catch (const TError&) {
  } catch (const std::exception&) {
    RecordCurrentException();
  }
  ShowLastError();
  return false;
}
