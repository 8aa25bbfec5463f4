// Lookup of module-type records and the start-up index fill.
#include "src/mod/modul_def.h"

#include <atomic>
#include <cstddef>
#include <initializer_list>
#include <mutex>

#include "src/engine/voice_state.h"
#include "src/mod/built_catalogue.h"

namespace {

// Installed on the GUI thread, read wherever a type is looked up.
std::atomic<TDriverDefsOfModule> driverLookup{nullptr};

const IDriverModulDefs* DriverOf(const KSModul* module) {
  const TDriverDefsOfModule lookup = driverLookup.load();
  return lookup ? lookup(module) : nullptr;
}

bool IsAudioOutType(int32_t index) {
  return index == kTypeOldAudioOutA.type || index == kTypeOldAudioOutB.type || index == kTypeOldAudioOutC.type ||
         index == kTypeAudioOut.type;
}

const KModulDef* FindSwitchOrMacro(const TCatalogue& c, int32_t index) {
  const uint32_t u = uint32_t(index);
  return u < uint32_t(TCatalogue::kSwitches) ? c.switches[u] : c.macro;
}

const KModulDef* FindModule(const KSModul* module, const TCatalogue& c, int32_t index) {
  if (IsAudioOutType(index)) {
    const IDriverModulDefs* driver = DriverOf(module);
    return driver ? driver->GetAudioOutDef() : nullptr;
  }
  if (index == kTypeAudioIn.type) {
    const IDriverModulDefs* driver = DriverOf(module);
    return driver ? driver->GetAudioInDef() : nullptr;
  }
  const uint32_t u = uint32_t(index);
  if (u < uint32_t(TCatalogue::kModules) && c.module[u]) return c.module[u];
  return FindSwitchOrMacro(c, index);
}

const KModulDef* FindTerminal(const KModulDef* audio, const KModulDef* event, int32_t index) {
  const uint32_t u = uint32_t(index);
  if (u < 2) return audio;
  if (u < 4) return event;
  return nullptr;
}

void FillPlaces();

void SetIn(TModuleType type, const char* label, int32_t value) {
  MutableInPort(Catalogue().module[type.type], label)->index = value;
}

void SetOut(TModuleType type, const char* label, int32_t value) {
  MutableOutPort(Catalogue().module[type.type], label)->index = value;
}

// Runs among the static initialisers of every program that looks types up.
struct InitAtStart {
  InitAtStart() { InitModulDefs(); }
} initAtStart;

}  // namespace

void SetDriverDefsLookup(TDriverDefsOfModule lookup) { driverLookup = lookup; }

const KModulDef* FindModulDef(const KSModul* module, int32_t category, int32_t index) {
  const TCatalogue& c = Catalogue();
  switch (category) {
    case kCatSource: {
      const uint32_t u = uint32_t(index);
      if (u < uint32_t(TCatalogue::kSources) && c.source[u]) return c.source[u];
      return FindModule(module, c, index);
    }
    case kCatModule:
      return FindModule(module, c, index);
    case kCatSwitch:
      return FindSwitchOrMacro(c, index);
    case kCatMacro:
      return c.macro;
    case kCatInstrument:
      return c.instrument;
    case kCatInTerminal:
      return FindTerminal(c.audioIn, c.eventIn, index);
    case kCatOutTerminal:
      return FindTerminal(c.audioOut, c.eventOut, index);
    default:
      return nullptr;
  }
}

const KModulDef* GetAudioInModulDef() { return Catalogue().driverIn; }

const KModulDef* GetAudioOutModulDef(int32_t outputChannels) {
  switch (outputChannels) {
    case 1: return Catalogue().driverOut1;
    case 2: return Catalogue().driverOut2;
    case 8: return Catalogue().driverOut8;
    default: return nullptr;
  }
}

void InitModulDefs() {
  static std::once_flag once;
  std::call_once(once, FillPlaces);
}

namespace {

void FillPlaces() {
  // The three delays share one voice layout.
  const int32_t delayOut = QV_WORD_AT(DelayVoiceState, output);
  SetIn(kTypeStaticDelay, "In", QV_INPUT_AT(StaticDelayInputs, in));
  SetOut(kTypeStaticDelay, "Out", delayOut);
  SetIn(kTypeModDelay, "Dly", QV_INPUT_AT(DelayInputs, delay));
  SetIn(kTypeModDelay, "In", QV_INPUT_AT(DelayInputs, in));
  SetOut(kTypeModDelay, "Out", delayOut);
  SetIn(kTypeDiffuserDelay, "In", QV_INPUT_AT(DelayInputs, in));
  SetOut(kTypeDiffuserDelay, "Out", delayOut);

  SetIn(kTypeTapedeck1, "In", QV_INPUT_AT(TapedeckInputs, left));
  SetOut(kTypeTapedeck1, "Out", QV_WORD_AT(TapedeckVoiceState, output));
  SetIn(kTypeTapedeck2, "In L", QV_INPUT_AT(TapedeckInputs, left));
  SetIn(kTypeTapedeck2, "In R", QV_INPUT_AT(TapedeckInputs, right));
  SetOut(kTypeTapedeck2, "L", QV_WORD_AT(StereoTapedeckVoiceState, left));
  SetOut(kTypeTapedeck2, "R", QV_WORD_AT(StereoTapedeckVoiceState, right));

  const int32_t sampleLeft = QV_WORD_AT(SampleVoiceState, player.core.out.currentLeft);
  const int32_t sampleRight = QV_WORD_AT(SampleVoiceState, player.core.out.currentRight);
  SetIn(kTypeSampler, "A", QV_INPUT_AT(SampleInputs, ampl));
  SetOut(kTypeSampler, "Out", sampleLeft);
  SetIn(kTypeSamplerFm, "F", QV_INPUT_AT(SampleInputs, freq));
  SetIn(kTypeSamplerFm, "St", QV_INPUT_AT(SampleInputs, start));
  SetIn(kTypeSamplerFm, "A", QV_INPUT_AT(SampleInputs, ampl));
  SetOut(kTypeSamplerFm, "Out", sampleLeft);
  SetIn(kTypeSamplerLoop, "Sel", QV_INPUT_AT(SampleInputs, select));
  SetIn(kTypeSamplerLoop, "F", QV_INPUT_AT(SampleInputs, freq));
  SetIn(kTypeSamplerLoop, "St", QV_INPUT_AT(SampleInputs, start));
  SetIn(kTypeSamplerLoop, "LS", QV_INPUT_AT(SampleInputs, loopStart));
  SetIn(kTypeSamplerLoop, "LL", QV_INPUT_AT(SampleInputs, loopLength));
  SetIn(kTypeSamplerLoop, "A", QV_INPUT_AT(SampleInputs, ampl));
  SetOut(kTypeSamplerLoop, "L", sampleLeft);
  SetOut(kTypeSamplerLoop, "R", sampleRight);
  SetIn(kTypeSampleLookup, "Pos", QV_INPUT_AT(SampleInputs, freq));
  SetIn(kTypeSampleLookup, "A", QV_INPUT_AT(SampleInputs, ampl));
  SetOut(kTypeSampleLookup, "L", sampleLeft);
  SetOut(kTypeSampleLookup, "R", sampleRight);

  SetIn(kTypeScope, "In", QV_INPUT_AT(ScopeInputs, in));

  SetIn(kTypeGrainDelay, "P", QV_INPUT_AT(GrainDelayInputs, pitch));
  SetIn(kTypeGrainDelay, "Dly", QV_INPUT_AT(GrainDelayInputs, delay));
  SetIn(kTypeGrainDelay, "Gr", QV_INPUT_AT(GrainDelayInputs, grainy));
  SetIn(kTypeGrainDelay, "Sm", QV_INPUT_AT(GrainDelayInputs, smooth));
  SetIn(kTypeGrainDelay, "Pan", QV_INPUT_AT(GrainDelayInputs, pan));
  SetIn(kTypeGrainDelay, "A", QV_INPUT_AT(GrainDelayInputs, ampl));
  SetIn(kTypeGrainDelay, "In", QV_INPUT_AT(GrainDelayInputs, in));
  SetOut(kTypeGrainDelay, "L", QV_WORD_AT(GrainDelayVoiceState, left));
  SetOut(kTypeGrainDelay, "R", QV_WORD_AT(GrainDelayVoiceState, right));

  // The three re-synthesis types share one input layout.
  for (TModuleType type : {kTypeBeatLoop, kTypeResynth, kTypePitchFormer}) {
    SetIn(type, "P", QV_INPUT_AT(SampleInputs, pitch));
    SetIn(type, "Sel", QV_INPUT_AT(SampleInputs, select));
    SetIn(type, "St", QV_INPUT_AT(SampleInputs, start));
    SetIn(type, "LS", QV_INPUT_AT(SampleInputs, loopStart));
    SetIn(type, "LL", QV_INPUT_AT(SampleInputs, loopLength));
    SetIn(type, "SO", QV_INPUT_AT(SampleInputs, sampleOffset));
    SetIn(type, "Sm", QV_INPUT_AT(SampleInputs, smooth));
    SetIn(type, "Pan", QV_INPUT_AT(SampleInputs, pan));
    SetIn(type, "A", QV_INPUT_AT(SampleInputs, ampl));
  }
  SetOut(kTypeBeatLoop, "L", QV_WORD_AT(BeatLoopVoiceState, common.main.core.out.currentLeft));
  SetOut(kTypeBeatLoop, "R", QV_WORD_AT(BeatLoopVoiceState, common.main.core.out.currentRight));
  for (TModuleType type : {kTypeResynth, kTypePitchFormer}) {
    SetIn(type, "Sp", QV_INPUT_AT(SampleInputs, speed));
    SetOut(type, "L", QV_WORD_AT(ResynthVoiceState, main.core.out.currentLeft));
    SetOut(type, "R", QV_WORD_AT(ResynthVoiceState, main.core.out.currentRight));
  }
  SetIn(kTypeResynth, "Gr", QV_INPUT_AT(SampleInputs, grainy));
  SetIn(kTypePitchFormer, "FS", QV_INPUT_AT(SampleInputs, formants));

  static const char* const kDemuxLabels[16] = {"0", "1", "2",  "3",  "4",  "5",  "6",  "7",
                                                "8", "9", "10", "11", "12", "13", "14", "15"};
  SetIn(kTypeDemux, "Len", QV_INPUT_AT(DemuxInputs, length));
  for (int32_t k = 0; k < 16; ++k)
    SetIn(kTypeDemux, kDemuxLabels[k], QV_INPUT_AT(DemuxInputs, value) + k);
}

}  // namespace
