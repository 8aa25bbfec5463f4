// Named module types: one constant per module type of the catalogue, holding
// its category and its index, so that code and tests say which module they
// mean instead of a pair of numbers. Files and the engine's routine tables
// still key on the numbers; `.category` and `.type` give them.
#pragma once

#include <cstdint>

// Module categories.
enum : int32_t {
  kCatModule = 0,
  kCatSource = 1,
  kCatMacro = 4,
  kCatInTerminal = 5,
  kCatOutTerminal = 6,
  kCatSwitch = 7,
  kCatInstrument = 9,
};

struct TModuleType {
  int32_t category;
  int32_t type;

  friend constexpr bool operator==(const TModuleType&, const TModuleType&) = default;
};

// How many indexes a category has: the catalogue and the engine's routine
// tables hold one entry per index, 0 .. count - 1.
inline constexpr int32_t kModuleTypeCount = 200; // category 0
inline constexpr int32_t kSourceTypeCount = 27;  // category 1
inline constexpr int32_t kSwitchTypeCount = 15;  // category 7

// Whether a type's index lies inside the tables of its category (categories
// without tables take any index from 0 up).
constexpr bool TypeIndexFits(TModuleType t) {
  if (t.type < 0) return false;
  switch (t.category) {
  case kCatModule: return t.type < kModuleTypeCount;
  case kCatSource: return t.type < kSourceTypeCount;
  case kCatSwitch: return t.type < kSwitchTypeCount;
  default: return true;
  }
}

// Every module type with a record of its own in the catalogue: constant,
// category, index, and the record's short name as a reminder. The catalogue
// census test holds each constant against the record it points at.
// "Fm" types take a linear frequency (or cutoff) input; "Audio"/"Event"
// name the signal kind where one operation exists for both; terminals are
// named by the signal kind of the port they make.
#define QV_CATALOGUE_MODULE_TYPES(X) \
  X(kTypeAudioSum2,              kCatModule,        0) /* + */ \
  X(kTypeAudioSum3,              kCatModule,        1) /* + */ \
  X(kTypeAudioSum4,              kCatModule,        2) /* + */ \
  X(kTypeEventSum3,              kCatModule,        3) /* + */ \
  X(kTypeAudioSum6,              kCatModule,        4) /* + */ \
  X(kTypeAudioSum8,              kCatModule,        5) /* + */ \
  X(kTypeEventSum2,              kCatModule,        6) /* + */ \
  X(kTypeAudioInvert,            kCatModule,        7) /* -1 */ \
  X(kTypeEventInvert,            kCatModule,        8) /* -1 */ \
  X(kTypeAudioProduct2,          kCatModule,        9) /* X */ \
  X(kTypeAudioProduct3,          kCatModule,       10) /* X */ \
  X(kTypeAudioProduct4,          kCatModule,       11) /* X */ \
  X(kTypeEventProduct3,          kCatModule,       12) /* X */ \
  X(kTypeAudioProduct6,          kCatModule,       13) /* X */ \
  X(kTypeEventProduct2,          kCatModule,       14) /* X */ \
  X(kTypeSawFm,                  kCatModule,       15) /* Saw FM */ \
  X(kTypeSawSync,                kCatModule,       16) /* Saw Sync */ \
  X(kTypeTriFm,                  kCatModule,       17) /* Tri FM */ \
  X(kTypeParFm,                  kCatModule,       18) /* Par FM */ \
  X(kTypePulseFm,                kCatModule,       19) /* Pulse FM */ \
  X(kTypePulseSync,              kCatModule,       20) /* Pulse Sync */ \
  X(kTypePulseOneRamp,           kCatModule,       21) /* Pulse 1-Ramp */ \
  X(kTypePulseTwoRamp,           kCatModule,       22) /* Pulse 2-Ramp */ \
  X(kTypeNoise,                  kCatModule,       24) /* Noise */ \
  X(kTypeRandom,                 kCatModule,       25) /* Random */ \
  X(kTypeSequencer6,             kCatModule,       26) /* Sequencer */ \
  X(kTypeSequencer8,             kCatModule,       27) /* Sequencer */ \
  X(kTypeSequencer12,            kCatModule,       28) /* Sequencer */ \
  X(kTypeSequencer16,            kCatModule,       29) /* Sequencer */ \
  X(kTypeStep4,                  kCatModule,       30) /* 4-Step */ \
  X(kTypeStep5,                  kCatModule,       31) /* 5-Step */ \
  X(kTypeHoldEnv,                kCatModule,       32) /* H - Env */ \
  X(kTypeHoldReleaseEnv,         kCatModule,       33) /* HR - Env */ \
  X(kTypeAttackReleaseEnv,       kCatModule,       34) /* AR - Env */ \
  X(kTypeDecayEnv,               kCatModule,       35) /* D - Env */ \
  X(kTypeDecayReleaseEnv,        kCatModule,       36) /* DR - Env */ \
  X(kTypeDsrEnv,                 kCatModule,       37) /* DSR - Env */ \
  X(kTypeAdsrEnv,                kCatModule,       38) /* ADSR - Env */ \
  X(kTypeAdbdrEnv,               kCatModule,       39) /* ADBDR - Env */ \
  X(kTypeOnePoleFilterFm,        kCatModule,       40) /* 1-Pole Filter */ \
  X(kTypeMixer2,                 kCatModule,       41) /* Mixer 2 */ \
  X(kTypeTwoPoleFilterFm,        kCatModule,       42) /* 2-Pole Filter */ \
  X(kTypeFourPoleFilterFm,       kCatModule,       43) /* 4-Pole Filter */ \
  X(kTypePeakEqFm,               kCatModule,       44) /* Peak EQ */ \
  X(kTypeHiShelfEqFm,            kCatModule,       45) /* Hi Shelf EQ */ \
  X(kTypeLoShelfEqFm,            kCatModule,       46) /* Lo Shelf EQ */ \
  X(kTypeTwoPoleNotchFm,         kCatModule,       47) /* 2-Pole Notch */ \
  X(kTypeMixer3,                 kCatModule,       48) /* Mixer 3 */ \
  X(kTypeSineFm,                 kCatModule,       49) /* Sine FM */ \
  X(kTypeQuantizer,              kCatModule,       50) /* Quantizer */ \
  X(kTypeEventShaper3,           kCatModule,       51) /* Ctrl. Shp 1 */ \
  X(kTypeEventShaper4,           kCatModule,       52) /* Ctrl. Shp 2 */ \
  X(kTypeEventDelay,             kCatModule,       53) /* Event Delay */ \
  X(kTypeSlewLimiter,            kCatModule,       54) /* Slew Limiter */ \
  X(kTypeFreqDivider,            kCatModule,       55) /* Freq. Divider */ \
  X(kTypeChopper,                kCatModule,       56) /* Chopper */ \
  X(kTypeClipper,                kCatModule,       57) /* Clipper */ \
  X(kTypeModClipper,             kCatModule,       58) /* Mod. Clipper */ \
  X(kTypeMirror1,                kCatModule,       59) /* Mirror 1 */ \
  X(kTypeMirror2,                kCatModule,       60) /* Mirror 2 */ \
  X(kTypeSaturator,              kCatModule,       61) /* Saturator */ \
  X(kTypeShaper1Bp,              kCatModule,       62) /* Shaper 1 BP */ \
  X(kTypeShaper2Bp,              kCatModule,       63) /* Shaper 2 BP */ \
  X(kTypeShaper3Bp,              kCatModule,       64) /* Shaper 3 BP */ \
  X(kTypeEventShaper5,           kCatModule,       65) /* Ctr. Shp 3 */ \
  X(kTypeParabolShaper,          kCatModule,       66) /* Parabol Shp */ \
  X(kTypeCubicShaper,            kCatModule,       67) /* Cubic Shp */ \
  X(kTypeRandomize,              kCatModule,       68) /* Randomize */ \
  X(kTypeAudioVoiceCombiner,     kCatModule,       69) /* } */ \
  X(kTypeEventVoiceCombiner,     kCatModule,       70) /* } */ \
  X(kTypeSelectMax,              kCatModule,       71) /* Select Max */ \
  X(kTypeSelectMin,              kCatModule,       72) /* Select Min */ \
  X(kTypeChangesOnly,            kCatModule,       73) /* >> */ \
  X(kTypeEventLevelToGain,       kCatModule,       74) /* Exp */ \
  X(kTypeAudioLevelToGain,       kCatModule,       75) /* Exp */ \
  X(kTypeRelay1,                 kCatModule,       76) /* Relay 1 */ \
  X(kTypeRelay2,                 kCatModule,       77) /* Relay 2 */ \
  X(kTypeCrossfade,              kCatModule,       78) /* Crossfade */ \
  X(kTypeStaticDelay,            kCatModule,       79) /* Static Delay */ \
  X(kTypeTapedeck1,              kCatModule,       80) /* Tapedeck 1 */ \
  X(kTypeTapedeck2,              kCatModule,       81) /* Tapedeck 2 */ \
  X(kTypeStep6,                  kCatModule,       84) /* 6-Step */ \
  X(kTypeMixer4,                 kCatModule,       86) /* Mixer 4 */ \
  X(kTypeAmp,                    kCatModule,       87) /* Amp */ \
  X(kTypeSawtooth,               kCatModule,       88) /* Sawtooth */ \
  X(kTypeSawPulse,               kCatModule,       89) /* Saw Pulse */ \
  X(kTypeTriangle,               kCatModule,       90) /* Triangle */ \
  X(kTypeTriSync,                kCatModule,       91) /* Tri Sync */ \
  X(kTypeParabol,                kCatModule,       92) /* Parabol */ \
  X(kTypeParSync,                kCatModule,       93) /* Par Sync */ \
  X(kTypePulse,                  kCatModule,       94) /* Pulse */ \
  X(kTypeDbdrEnv,                kCatModule,       95) /* DBDR - Env */ \
  X(kTypeStep8,                  kCatModule,       96) /* 8-Step */ \
  X(kTypeAdbdsrEnv,              kCatModule,       97) /* ADBDSR-Env */ \
  X(kTypeStereoPan,              kCatModule,       98) /* Stereo Pan */ \
  X(kTypeAudioToEventTrigger,    kCatModule,       99) /* A to E Trig */ \
  X(kTypeEventSum4,              kCatModule,      100) /* + */ \
  X(kTypeEventSum6,              kCatModule,      101) /* + */ \
  X(kTypeEventProduct4,          kCatModule,      102) /* X */ \
  X(kTypeAudioPitchToHz,         kCatModule,      103) /* Exp */ \
  X(kTypeRamp4,                  kCatModule,      104) /* 4-Ramp */ \
  X(kTypeRamp5,                  kCatModule,      105) /* 5-Ramp */ \
  X(kTypeRamp6,                  kCatModule,      106) /* 6-Ramp */ \
  X(kTypeRamp8,                  kCatModule,      107) /* 8-Ramp */ \
  X(kTypeAudioToGate,            kCatModule,      108) /* A to Gate */ \
  X(kTypeSampleHold,             kCatModule,      109) /* Sample & H. */ \
  X(kTypeTriParSymm,             kCatModule,      110) /* Tri/Par Symm */ \
  X(kTypeFourPoleHighPassFm,     kCatModule,      111) /* 4-Pole HP */ \
  X(kTypeAudioToEventPeriodic,   kCatModule,      112) /* A to E Perm */ \
  X(kTypeAudioReciprocal,        kCatModule,      115) /* 1/x */ \
  X(kTypeAudioDivide,            kCatModule,      116) /* / */ \
  X(kTypeEventReciprocal,        kCatModule,      117) /* 1/x */ \
  X(kTypeEventDivide,            kCatModule,      118) /* / */ \
  X(kTypeRectifier,              kCatModule,      119) /* Rectifier */ \
  X(kTypeModDelay,               kCatModule,      120) /* Mod. Delay */ \
  X(kTypeEventPitchToHz,         kCatModule,      121) /* Exp */ \
  X(kTypeEventGainToLevel,       kCatModule,      122) /* Log */ \
  X(kTypeEventHzToPitch,         kCatModule,      123) /* Log */ \
  X(kTypeDifferentiator,         kCatModule,      124) /* Differentiator */ \
  X(kTypeIntegrator,             kCatModule,      125) /* Integrator */ \
  X(kTypeImpulse,                kCatModule,      126) /* Impulse */ \
  X(kTypeImpulseFm,              kCatModule,      127) /* Impulse FM */ \
  X(kTypeImpulseSync,            kCatModule,      128) /* Impulse Sync */ \
  X(kTypeTestModule,             kCatModule,      129) /* Test Mod */ \
  X(kTypeSampler,                kCatModule,      130) /* Sampler */ \
  X(kTypeSamplerFm,              kCatModule,      131) /* Sampler FM */ \
  X(kTypeAttackDecayEnv,         kCatModule,      132) /* AD - Env */ \
  X(kTypePeakDetector,           kCatModule,      133) /* Peak Detect. */ \
  X(kTypeEventFreqDivider,       kCatModule,      134) /* Freq. Divider */ \
  X(kTypeSamplerLoop,            kCatModule,      135) /* Sampler Loop */ \
  X(kTypeSampleLookup,           kCatModule,      136) /* Lookup */ \
  X(kTypeFourPoleFilter,         kCatModule,      137) /* 4-Pole Filter */ \
  X(kTypeEventQuantizer,         kCatModule,      138) /* Quantizer */ \
  X(kTypeTimer,                  kCatModule,      139) /* Timer */ \
  X(kTypeSine,                   kCatModule,      140) /* Sine */ \
  X(kTypeParPwm,                 kCatModule,      141) /* Par PWM */ \
  X(kTypeBiPulse,                kCatModule,      142) /* Bi-Pulse */ \
  X(kTypeBiSaw,                  kCatModule,      143) /* Bi-Saw */ \
  X(kTypeFourPoleHighPass,       kCatModule,      144) /* 4-Pole HP */ \
  X(kTypeSineSync,               kCatModule,      145) /* Sine Sync */ \
  X(kTypeOnePoleFilter,          kCatModule,      146) /* 1-Pole Filter */ \
  X(kTypeUnitDelay,              kCatModule,      147) /* T */ \
  X(kTypeRouter1,                kCatModule,      148) /* Router 1 */ \
  X(kTypeRouter2,                kCatModule,      149) /* Router 2 */ \
  X(kTypeSeparator,              kCatModule,      150) /* Separator */ \
  X(kTypeComment,                kCatModule,      151) /* Comment */ \
  X(kTypeLamp,                   kCatModule,      152) /* Lmp */ \
  X(kTypeLampTwin,               kCatModule,      153) /* Lmp */ \
  X(kTypeLevelMeter,             kCatModule,      154) /* Lvl */ \
  X(kTypeMeter,                  kCatModule,      155) /* Mtr */ \
  X(kTypeMidiControllerOut,      kCatModule,      156) /* Controller */ \
  X(kTypeMidiPolyPressureOut,    kCatModule,      157) /* SelPolyAT */ \
  X(kTypeMidiNoteOut,            kCatModule,      158) /* Note */ \
  X(kTypeMidiPitchBendOut,       kCatModule,      159) /* Pitchbend */ \
  X(kTypeMixer5,                 kCatModule,      160) /* Mixer 5 */ \
  X(kTypeMixer6,                 kCatModule,      161) /* Mixer 6 */ \
  X(kTypeMixer8,                 kCatModule,      162) /* Mixer 8 */ \
  X(kTypeStereoAmp,              kCatModule,      163) /* Stereo Amp */ \
  X(kTypeClockOsc,               kCatModule,      164) /* Clock Osc */ \
  X(kTypeScope,                  kCatModule,      165) /* Scope */ \
  X(kTypeDiffuserDelay,          kCatModule,      166) /* Diffuser Delay */ \
  X(kTypeEventSmoother,          kCatModule,      167) /* S */ \
  X(kTypeAudioToEventSmoothed,   kCatModule,      168) /* S */ \
  X(kTypeGrainDelay,             kCatModule,      169) /* Grain Delay */ \
  X(kTypeBeatLoop,               kCatModule,      170) /* Beat Loop */ \
  X(kTypeTwoPoleFilter,          kCatModule,      171) /* 2-Pole Filter */ \
  X(kTypeTwoPoleNotch,           kCatModule,      172) /* 2-Pole Notch */ \
  X(kTypeResynth,                kCatModule,      173) /* Resynth */ \
  X(kTypePitchFormer,            kCatModule,      174) /* Pitch Former */ \
  X(kTypePeakEq,                 kCatModule,      175) /* Peak EQ */ \
  X(kTypeHiShelfEq,              kCatModule,      176) /* Hi Shelf EQ */ \
  X(kTypeLoShelfEq,              kCatModule,      177) /* Lo Shelf EQ */ \
  X(kTypeValue,                  kCatModule,      178) /* Value */ \
  X(kTypeAccumulator,            kCatModule,      179) /* Accumulator */ \
  X(kTypeCounter,                kCatModule,      180) /* Counter */ \
  X(kTypeMidiProgramChangeOut,   kCatModule,      181) /* Prog. Ch. */ \
  X(kTypeMidiChannelPressureOut, kCatModule,      182) /* Chan. AT */ \
  X(kTypeRamp4Env,               kCatModule,      183) /* 4-Ramp - Env */ \
  X(kTypeRamp5Env,               kCatModule,      184) /* 5-Ramp - Env */ \
  X(kTypeRamp6Env,               kCatModule,      185) /* 6-Ramp - Env */ \
  X(kTypeAnd,                    kCatModule,      186) /* And */ \
  X(kTypeOr,                     kCatModule,      187) /* Or */ \
  X(kTypeExor,                   kCatModule,      188) /* Exor */ \
  X(kTypeNot,                    kCatModule,      189) /* Not */ \
  X(kTypeLfo,                    kCatModule,      190) /* LFO */ \
  X(kTypeDbdsrEnv,               kCatModule,      191) /* DBDSR - Env */ \
  X(kTypeAdrEnv,                 kCatModule,      192) /* ADR - Env */ \
  X(kTypeAudioToEvent,           kCatModule,      193) /* A/E */ \
  X(kTypeSlowRandom,             kCatModule,      194) /* Slow Random */ \
  X(kTypeDemux,                  kCatModule,      197) /* Demux */ \
  X(kTypeHold,                   kCatModule,      198) /* Hold */ \
  X(kTypeLevelLamp,              kCatModule,      199) /* Lvl */ \
  X(kTypeConstant,               kCatSource,        0) /* 1 */ \
  X(kTypeFader,                  kCatSource,        1) /* Fader */ \
  X(kTypeSingleTriggerGate,      kCatSource,        3) /* ST Gate */ \
  X(kTypeNoteOnVelocity,         kCatSource,        4) /* On. Vel */ \
  X(kTypeNoteOffVelocity,        kCatSource,        5) /* Off Vel. */ \
  X(kTypeGate,                   kCatSource,        6) /* Gate */ \
  X(kTypeNotePitch,              kCatSource,        7) /* NotePitch */ \
  X(kTypeSelectedNoteGate,       kCatSource,        8) /* Sel. Gate */ \
  X(kTypePolyPressure,           kCatSource,        9) /* Poly AT */ \
  X(kTypePitchBend,              kCatSource,       10) /* PitchBend */ \
  X(kTypeChannelPressure,        kCatSource,       11) /* Chan. AT */ \
  X(kTypeController,             kCatSource,       12) /* Controller */ \
  X(kTypeSelectedPolyPressure,   kCatSource,       13) /* SelPolyAT */ \
  X(kTypeButton,                 kCatSource,       17) /* Button */ \
  X(kTypeClockTick,              kCatSource,       18) /* 1/96 */ \
  X(kTypeClockStartStop,         kCatSource,       19) /* Start */ \
  X(kTypeClockStartStopTwin,     kCatSource,       20) /* Start */ \
  X(kTypeClockSync,              kCatSource,       21) /* Sync */ \
  X(kTypeRpn,                    kCatSource,       22) /* RPN */ \
  X(kTypeNrpn,                   kCatSource,       23) /* NRPN */ \
  X(kTypeSpread,                 kCatSource,       24) /* Spread */ \
  X(kTypeProgramChange,          kCatSource,       26) /* Prog. Ch. */ \
  X(kTypeAudioSwitch1,           kCatSwitch,        0) /* Switch 1 */ \
  X(kTypeAudioSwitch2,           kCatSwitch,        1) /* Switch 2 */ \
  X(kTypeAudioSwitch3,           kCatSwitch,        2) /* Switch 3 */ \
  X(kTypeAudioSwitch4,           kCatSwitch,        3) /* Switch 4 */ \
  X(kTypeAudioSwitch5,           kCatSwitch,        4) /* Switch 5 */ \
  X(kTypeAudioSwitch6,           kCatSwitch,        5) /* Switch 6 */ \
  X(kTypeEventSwitch1,           kCatSwitch,        6) /* Switch 1 */ \
  X(kTypeEventSwitch2,           kCatSwitch,        7) /* Switch 2 */ \
  X(kTypeEventSwitch3,           kCatSwitch,        8) /* Switch 3 */ \
  X(kTypeEventSwitch4,           kCatSwitch,        9) /* Switch 4 */ \
  X(kTypeEventSwitch5,           kCatSwitch,       10) /* Switch 5 */ \
  X(kTypeEventSwitch6,           kCatSwitch,       11) /* Switch 6 */ \
  X(kTypeAudioSwitch8,           kCatSwitch,       12) /* Switch 8 */ \
  X(kTypeEventSwitch8,           kCatSwitch,       13) /* Switch 8 */ \
  X(kTypeSwitch2x2,              kCatSwitch,       14) /* Sw. 2x2 */ \
  X(kTypeMacro,                  kCatMacro,         0) /* Macro */ \
  X(kTypeAudioMonoInTerminal,    kCatInTerminal,    0) /* In */ \
  X(kTypeAudioPolyInTerminal,    kCatInTerminal,    1) /* In */ \
  X(kTypeEventMonoInTerminal,    kCatInTerminal,    2) /* In */ \
  X(kTypeEventPolyInTerminal,    kCatInTerminal,    3) /* In */ \
  X(kTypeAudioMonoOutTerminal,   kCatOutTerminal,   0) /* Out */ \
  X(kTypeAudioPolyOutTerminal,   kCatOutTerminal,   1) /* Out */ \
  X(kTypeEventMonoOutTerminal,   kCatOutTerminal,   2) /* Out */ \
  X(kTypeEventPolyOutTerminal,   kCatOutTerminal,   3) /* Out */ \
  X(kTypeInstrument,             kCatInstrument,    0) /* Instrument */

#define QV_DECLARE_MODULE_TYPE(name, category, index) \
  inline constexpr TModuleType name{category, index};
QV_CATALOGUE_MODULE_TYPES(QV_DECLARE_MODULE_TYPE)
#undef QV_DECLARE_MODULE_TYPE

#define QV_FITS_ITS_TABLES(name, category, index) \
  static_assert(TypeIndexFits(name), #name " lies outside the tables of its category: its index must be below " \
                "kModuleTypeCount (category 0), kSourceTypeCount (1) or kSwitchTypeCount (7)");
QV_CATALOGUE_MODULE_TYPES(QV_FITS_ITS_TABLES)
#undef QV_FITS_ITS_TABLES

// The types whose record the active audio driver supplies.
inline constexpr TModuleType kTypeAudioIn{kCatModule, 113};
inline constexpr TModuleType kTypeAudioOut{kCatModule, 114};
// Earlier Audio Out types that older files still hold: they take the
// driver's Audio Out record and are replaced by an Audio Out on loading.
inline constexpr TModuleType kTypeOldAudioOutA{kCatModule, 82};
inline constexpr TModuleType kTypeOldAudioOutB{kCatModule, 83};
inline constexpr TModuleType kTypeOldAudioOutC{kCatModule, 85};

// Retired types that files may still hold; reading turns them into the
// type named in the comment. Neither has a record of its own.
inline constexpr TModuleType kTypeOldSawtooth{kCatModule, 23};  // kTypeSawtooth
inline constexpr TModuleType kTypeOldGate{kCatSource, 2};       // a mono kTypeGate

// Every type constant above, listed: two types never share one index (a
// new type takes a free index of its category).
inline constexpr TModuleType kAllModuleTypes[] = {
#define QV_LIST_MODULE_TYPE(name, category, index) name,
    QV_CATALOGUE_MODULE_TYPES(QV_LIST_MODULE_TYPE)
#undef QV_LIST_MODULE_TYPE
    kTypeAudioIn, kTypeAudioOut, kTypeOldAudioOutA, kTypeOldAudioOutB, kTypeOldAudioOutC,
    kTypeOldSawtooth, kTypeOldGate,
};
// The first type that shares its index with an earlier one, or none.
constexpr const TModuleType* FirstSharedTypeIndex() {
  for (const TModuleType& t : kAllModuleTypes)
    for (const TModuleType* u = kAllModuleTypes; u != &t; ++u)
      if (*u == t) return &t;
  return nullptr;
}
static_assert(FirstSharedTypeIndex() == nullptr, "two module type constants share one (category, index)");
static_assert(TypeIndexFits(kTypeAudioIn) && TypeIndexFits(kTypeAudioOut) && TypeIndexFits(kTypeOldAudioOutA) &&
              TypeIndexFits(kTypeOldAudioOutB) && TypeIndexFits(kTypeOldAudioOutC) &&
              TypeIndexFits(kTypeOldSawtooth) && TypeIndexFits(kTypeOldGate));

// How a button plays (its control style): a trigger fires at a press, a gate
// holds while pressed, a toggle flips at each press.
enum : int32_t {
  kButtonTrigger = 3,
  kButtonGate = 4,
  kButtonToggle = 5,
};
