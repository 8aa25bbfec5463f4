// The property dialog classes: each names its dialog resource and fills it
// with the binders of its fields, in a fixed order.
#pragma once

#include "src/volteon/propdlg.h"

#define QV_MODPRP_CLASS(Name)            \
  class Name : public TModPrp {          \
  public:                                \
    explicit Name(KSModul* module);      \
  };

QV_MODPRP_CLASS(TMacroPrp)
QV_MODPRP_CLASS(TFaderPrp)
QV_MODPRP_CLASS(TButtonPrp)
QV_MODPRP_CLASS(TSwitchPrp)
QV_MODPRP_CLASS(TCommentPrp)
QV_MODPRP_CLASS(TLampPrp)
QV_MODPRP_CLASS(TMeterPrp)
QV_MODPRP_CLASS(TMidiPolyPrp)
QV_MODPRP_CLASS(TMidiCaStgPrp)
QV_MODPRP_CLASS(TSelNoteGatePrp)
QV_MODPRP_CLASS(TMidiPitchbendPrp)
QV_MODPRP_CLASS(TCtrlSelATPrp)
QV_MODPRP_CLASS(TMidiSyncPrp)
QV_MODPRP_CLASS(TMidiClockPrp)
QV_MODPRP_CLASS(TETMNotePrp)
QV_MODPRP_CLASS(TETMCtrlPrp)
QV_MODPRP_CLASS(TETMPolyATPrp)
QV_MODPRP_CLASS(TConstantPrp)
QV_MODPRP_CLASS(TProcessingPrp)
QV_MODPRP_CLASS(TMonoModPrp)
QV_MODPRP_CLASS(TGraphPrp)
QV_MODPRP_CLASS(TScrubPrp)
QV_MODPRP_CLASS(TStaticDelayPrp)
QV_MODPRP_CLASS(TDelayPrp)
QV_MODPRP_CLASS(TTapedeckPrp)
QV_MODPRP_CLASS(TSmootherPrp)
QV_MODPRP_CLASS(TScopePrp)

#undef QV_MODPRP_CLASS
