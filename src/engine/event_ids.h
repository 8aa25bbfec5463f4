// Ids of the event-rate routines. An event in-port of a module type carries
// one of these ids; the selector maps it to the routine that receives the
// events arriving there.
#pragma once

#include <cstdint>

enum EEventId : int32_t {
  evNothing = 0,  // a routine that does nothing; 1 and 2 have none
  evAdd1 = 3, evAdd2, evAdd3, evAdd4, evAdd5, evAdd6,
  evInvert = 9,
  evMult1 = 10, evMult2, evMult3, evMult4,
  evReciprocal = 14, evDivX = 15, evDivY = 16, evChangesOnly = 17,
  evSymmetry = 18, evPulseWidth = 19,
  evRamp4Step1 = 20, evRamp5Step1 = 21, evRamp6Step1 = 22, evRamp8Step1 = 23,
  evRampStep2 = 24, evRampStep3 = 25, evRamp4Step4 = 26, evRampStep4 = 27,
  evRamp5Step5 = 28, evRampStep5 = 29, evRamp6Step6 = 30, evRamp8Step6 = 31,
  evRamp8Step7 = 32, evRamp8Step8 = 33,
  evPitchHz = 34, evPitchInc2 = 35, evPitchSymm = 36, evPitchInc4 = 37, evPitchSine = 38,
  evOnePoleCutoff = 39, evShelfCutoff = 40, evClockFreq = 41, evClockSync = 42,
  evLevel1 = 43, evLevel2, evLevel3, evLevel4, evLevel5, evLevel6, evLevel7, evLevel8,
  evStereoLevel = 51, evStereoPan = 52,
  evResonance = 53, evPeakBoost = 54, evHiShelfBoost = 55, evLoShelfBoost = 56,
  evGridCutoff = 57, evGridResonance = 58,
  evIntegratorSet = 59, evDelayTime = 60, evEventDelayIn = 61, evDiffusion = 62,
  evGate = 63, evKneeGate = 64, evRampEnvGate = 65, evHoldTime = 66, evAttack = 67,
  evDecay = 68, evDecay1 = 69, evRelease = 70, evSustain = 71, evKnee = 72,
  evTime1 = 73, evTime2, evTime3, evTime4, evTime5, evReleaseTime = 78,
  evRampLevel1 = 79, evRampLevel2, evRampLevel3, evRampLevel4, evRampLevel5,
  evCtrlShaper1 = 84, evCtrlShaper2 = 85, evCtrlShaper3 = 86,
  evRouterIn1 = 87, evRouterIn2 = 88, evSeparator = 89, evRandomize = 90,
  evDividerIn = 91, evDividerReset = 92, evQuantize = 93, evTimer = 94, evCombine = 95,
  evSelectMaxIn = 96, evSelectMaxGate = 97, evSelectMinIn = 98, evSelectMinGate = 99,
  evLevelToGain = 100, evPitchToHz = 101, evGainToLevel = 102, evHzToPitch = 103,
  evSmoother = 104, evAccumulate = 105, evAccumulatorSet = 106,
  evCountUp = 107, evCountDown = 108, evCounterSet = 109,
  evAndA = 110, evAndB, evOrA, evOrB, evExorA, evExorB, evNot = 116,
  evValue = 117, evTune = 118,
  evTapeRecord = 119, evTapePlay = 120, evTapeLoop = 121,
  evSpread = 122, evMidiController = 123, evMidiPolyPressure = 124, evMidiNote = 125,
  evMidiPitchBend = 126, evMidiProgram = 127, evMidiChannelPressure = 128,
  evSamplerPitch = 129, evSamplerTrigger = 130, evSamplerFmTrigger = 131,
  evSamplerLoopGate = 132, evResynthGate = 133, evPitchFormerGate = 134,
  evBeatLoopClock = 135, evBeatLoopReset = 136, evBeatLoopTick = 137, evBeatLoopRun = 138,
  evScopeTrigger = 139, evScopeTimePos = 140, evScopeTimeScale = 141,
  evScopeYPos = 142, evScopeYScale = 143,
  evDemuxPosition = 144, evHoldGate = 145,
};

// One past the last id: a new id goes at the end of the list above and
// moves this along.
inline constexpr int32_t kEventIdCount = evHoldGate + 1;

// Which ports of which module types an id serves. Types are written as
// category-0 indexes, or "c:i" for another category; names and types are
// separated by "|" and " ".
struct TEventIdUse {
  int32_t id;
  const char* ports;
  const char* types;
};

// The use of an id, or null for ids without a port (0, 1, 2, 137, 138) and
// ids outside 0..145.
const TEventIdUse* FindEventIdUse(int32_t id);
