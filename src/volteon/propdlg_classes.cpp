// The property dialog classes: the fields each binds, in its dialog's order.
#include "src/volteon/propdlg_classes.h"

TMacroPrp::TMacroPrp(KSModul* m) : TModPrp(m, prpdlg::kMacro) {
  BindLabel(); BindInfo(); ShowInstrument(); ShowMacroFile(); ShowVoices(); BindMono(); BindMute();
  BindVisibleInInstr(); BindVisibleInEns();
}
TFaderPrp::TFaderPrp(KSModul* m) : TModPrp(m, prpdlg::kFader) {
  BindLabel(); BindInfo(); ShowInstrument(); BindControllerNo(); BindRemote(); BindPanelToMidiOut();
  BindRemoteToMidiOut(); BindSoftTakeover(); BindIncremental(); BindSnapIsolate(); BindLabelShown();
  BindValueShown(); BindMax(); BindMin(); BindStepSize(); BindRemoteKind2(); BindFaderStyle(); BindSmallDesign();
  BindVisibleInInstr(); BindVisibleInEns();
}
TButtonPrp::TButtonPrp(KSModul* m) : TModPrp(m, prpdlg::kButton) {
  BindLabel(); BindInfo(); ShowInstrument(); BindControllerNo(); BindRemote(); BindPanelToMidiOut();
  BindRemoteToMidiOut(); BindSnapIsolate(); BindLabelShown(); BindValueShown(); BindMax(); BindMin();
  BindButtonMode(); BindRemoteKind3(); BindSmallDesign(); BindVisibleInInstr(); BindVisibleInEns();
}
// The switch dialog binds its Mute box like every other dialog that shows one.
TSwitchPrp::TSwitchPrp(KSModul* m) : TModPrp(m, prpdlg::kSwitch) {
  BindLabel(); BindInfo(); ShowInstrument(); BindMute(); BindControllerNo(); BindRemote(); BindPanelToMidiOut();
  BindRemoteToMidiOut(); BindSnapIsolate(); BindLabelShown(); BindRemoteKind2(); BindSmallDesign();
  BindVisibleInInstr(); BindVisibleInEns();
}
TCommentPrp::TCommentPrp(KSModul* m) : TModPrp(m, prpdlg::kComment) { BindLabel(); BindInfo(); ShowInstrument(); }
TLampPrp::TLampPrp(KSModul* m) : TModPrp(m, prpdlg::kLamp) {
  BindLabel(); BindInfo(); ShowInstrument(); BindMin(); BindMax(); BindLampColour(); BindLabelShown();
  BindVisibleInInstr(); BindVisibleInEns();
}
TMeterPrp::TMeterPrp(KSModul* m) : TModPrp(m, prpdlg::kMeter) {
  BindLabel(); BindInfo(); ShowInstrument(); BindMin(); BindMax(); BindLabelShown(); BindVisibleInInstr();
  BindVisibleInEns();
}
TMidiPolyPrp::TMidiPolyPrp(KSModul* m) : TModPrp(m, prpdlg::kMidiPoly) {
  BindLabel(); BindInfo(); ShowInstrument(); ShowVoices(); BindUpperLimit(); BindLowerLimit(); BindMono();
  BindMax(); BindMin();
}
TMidiCaStgPrp::TMidiCaStgPrp(KSModul* m) : TModPrp(m, prpdlg::kMidiCaStg) {
  BindLabel(); BindInfo(); ShowInstrument(); BindUpperLimit(); BindLowerLimit(); BindMax(); BindMin();
}
TSelNoteGatePrp::TSelNoteGatePrp(KSModul* m) : TModPrp(m, prpdlg::kSelNoteGate) {
  BindLabel(); BindInfo(); ShowInstrument(); BindUpperLimit(); BindLowerLimit(); BindControllerNo(); BindMax();
  BindMin();
}
TMidiPitchbendPrp::TMidiPitchbendPrp(KSModul* m) : TModPrp(m, prpdlg::kMidiPitchbend) {
  BindLabel(); BindInfo(); ShowInstrument(); BindMax(); BindMin();
}
TCtrlSelATPrp::TCtrlSelATPrp(KSModul* m) : TModPrp(m, prpdlg::kCtrlSelAT) {
  BindLabel(); BindInfo(); ShowInstrument(); BindUpperLimit(); BindLowerLimit(); BindControllerNo();
  BindSoftTakeover(); BindSnapIsolate(); BindMax(); BindMin(); BindStepSize();
}
TMidiSyncPrp::TMidiSyncPrp(KSModul* m) : TModPrp(m, prpdlg::kMidiSync) {
  BindLabel(); BindInfo(); ShowInstrument(); BindMin(); BindRate(); BindDuration();
}
TMidiClockPrp::TMidiClockPrp(KSModul* m) : TModPrp(m, prpdlg::kMidiClock) {
  BindLabel(); BindInfo(); ShowInstrument(); BindMin();
}
TETMNotePrp::TETMNotePrp(KSModul* m) : TModPrp(m, prpdlg::kEtmNote) {
  BindLabel(); BindInfo(); ShowInstrument(); ShowVoices(); BindMono(); BindMax(); BindMin();
}
TETMCtrlPrp::TETMCtrlPrp(KSModul* m) : TModPrp(m, prpdlg::kEtmCtrl) {
  BindLabel(); BindInfo(); ShowInstrument(); BindControllerNo(); BindMax(); BindMin();
}
TETMPolyATPrp::TETMPolyATPrp(KSModul* m) : TModPrp(m, prpdlg::kEtmPolyAT) {
  BindLabel(); BindInfo(); ShowInstrument(); BindControllerNo(); BindMax(); BindMin();
}
TConstantPrp::TConstantPrp(KSModul* m) : TModPrp(m, prpdlg::kConstant) { BindInfo(); BindMin(); }
TProcessingPrp::TProcessingPrp(KSModul* m) : TModPrp(m, prpdlg::kProcessing) {
  BindLabel(); BindInfo(); ShowInstrument(); ShowVoices(); BindMono(); BindMute();
}
TMonoModPrp::TMonoModPrp(KSModul* m) : TModPrp(m, prpdlg::kMonoMod) {
  BindLabel(); BindInfo(); ShowInstrument(); BindMute();
}
TGraphPrp::TGraphPrp(KSModul* m) : TModPrp(m, prpdlg::kGraph) {
  BindLabel(); BindInfo(); ShowInstrument(); ShowVoices(); BindMono(); BindMute(); BindLabelShown();
  BindVisibleInInstr(); BindVisibleInEns(); BindPixelX(); BindPixelY();
}
TScrubPrp::TScrubPrp(KSModul* m) : TModPrp(m, prpdlg::kScrub) {
  BindLabel(); BindInfo(); ShowInstrument(); ShowVoices(); BindMono(); BindMute(); BindBackupSound();
  BindVisibleInInstr(); BindVisibleInEns(); ShowAudioFile(); BindQuality();
}
TStaticDelayPrp::TStaticDelayPrp(KSModul* m) : TModPrp(m, prpdlg::kStaticDelay) {
  BindLabel(); BindInfo(); ShowInstrument(); ShowVoices(); BindMono(); BindMute(); BindBufferLength(1);
}
TDelayPrp::TDelayPrp(KSModul* m) : TModPrp(m, prpdlg::kDelay) {
  BindLabel(); BindInfo(); ShowInstrument(); ShowVoices(); BindMono(); BindMute(); BindBufferLength(1);
  BindQuality();
}
TTapedeckPrp::TTapedeckPrp(KSModul* m) : TModPrp(m, prpdlg::kTapedeck) {
  BindLabel(); BindInfo(); ShowInstrument(); ShowAudioFile(); BindMute(); BindBufferLength(1);
  BindVisibleInInstr(); BindVisibleInEns();
}
TSmootherPrp::TSmootherPrp(KSModul* m) : TModPrp(m, prpdlg::kSmoother) {
  BindLabel(); BindInfo(); ShowInstrument(); BindMute(); BindMax();
}
TScopePrp::TScopePrp(KSModul* m) : TModPrp(m, prpdlg::kScope) {
  BindLabel(); BindInfo(); ShowInstrument(); BindMute(); BindBufferLength(1); BindLabelShown();
  BindVisibleInInstr(); BindVisibleInEns(); BindPixelX(); BindPixelY();
}
