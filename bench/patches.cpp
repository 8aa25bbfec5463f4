#include "bench/patches.h"

#include "src/audio/audiobuf.h"
#include "src/audio/samplemap.h"
#include "src/audio/soundpool.h"
#include "src/base/file.h"
#include "src/mod/instr.h"

#include <cmath>

namespace bench {

namespace {

// In-port numbers (port order of the catalogue).
enum : int32_t {
  kOutLeft = 2, kOutRight = 3,                       // Audio Out
  kSawPitch = 0, kSawFreq = 1, kSawAmpl = 2,         // Saw FM
  kPulsePitch = 0, kPulseAmpl = 1, kPulseWidth = 2, kPulseFreq = 3,
  kMixIn1 = 1, kMixIn2 = 3,                          // Mixer 2 (Mixer 8: In k at 2k + 1)
  kAdsrGate = 0, kAdsrAttack = 1, kAdsrDecay = 2, kAdsrSustain = 3, kAdsrRelease = 4,
  kMult1 = 0, kMult2 = 1,
  kFilterPitch = 0, kFilterFreq = 1, kFilterRes = 2, kFilterIn = 3,
  kPanIn = 1,
  kLfoFreq = 0, kLfoAmpl = 1,
  kModDelayTime = 0, kModDelayIn = 1,
  kDiffuserTime = 0, kDiffuserAmount = 1, kDiffuserIn = 2,
  kSineAmpl = 1,
  kSamplerPitch = 0, kSamplerGate = 1, kSamplerLoopStart = 5, kSamplerLoopLength = 6, kSamplerAmpl = 7,
  kStereoAmpLevel = 0, kStereoAmpIn = 2,
  kResynthGate = 0, kResynthPitch = 1, kResynthAmpl = 11,
  kGrainDelayTime = 1, kGrainDelayAmpl = 5, kGrainDelayIn = 6,
};
// Out-ports.
enum : int32_t {
  kFilterLowPass = 2, kFourPoleLowPass = 5, kPanLeft = 0, kPanRight = 1, kLfoSine = 0,
  kSamplerLeft = 0, kSamplerRight = 1,
};

// Envelope times are 20 x log10(ms).
constexpr float kTime10ms = 20.0f, kTime300ms = 49.54f, kTime400ms = 52.04f;

// Sums audio outputs through a chain of 8-input mixers, then over the voices,
// into both channels of the Audio Out.
class TSum {
public:
  TSum(TRig& rig, KSModul* parent) : rig_(rig), parent_(parent) {}
  void Add(KSModul* module, int32_t out) {
    if (!mixer_ || used_ == 8) {
      KSModul* next = rig_.Insert(parent_, kTypeMixer8, "Mixer 8");
      used_ = 0;
      if (mixer_) TRig::Wire(mixer_, 0, next, 2 * used_++ + 1, "Mixer 8 chain");
      mixer_ = next;
    }
    TRig::Wire(module, out, mixer_, 2 * used_++ + 1, "Mixer 8 input");
  }
  void Finish(KSModul* audioOut) {
    KSModul* combiner = rig_.Insert(parent_, kTypeAudioVoiceCombiner, "}");
    TRig::Wire(mixer_, 0, combiner, 0, "} input");
    TRig::Wire(combiner, 0, audioOut, kOutLeft, "Audio Out L");
    TRig::Wire(combiner, 0, audioOut, kOutRight, "Audio Out R");
  }

private:
  TRig& rig_;
  KSModul* parent_;
  KSModul* mixer_ = nullptr;
  int32_t used_ = 0;
};

// The in-memory sound of the sampler patches: two seconds of a stereo tone at
// middle C (the map's root key), a few partials with a slow tremolo, the
// right channel a little detuned.
constexpr int32_t kSoundRate = 44100;
constexpr int32_t kSoundFrames = 2 * kSoundRate;
const char* const kSoundPath = "memory/engine-bench-tone.wav";

void FillTone(IAudioBuf& samples) {
  const double root = 261.6256;
  for (int32_t c = 0; c < 2; ++c) {
    const double hz = root * (c == 0 ? 1.0 : 1.003);
    for (int32_t i = 0; i < kSoundFrames; ++i) {
      const double t = double(i) / kSoundRate;
      double v = 0.0;
      for (int32_t k = 1; k <= 6; ++k) v += std::sin(2.0 * M_PI * hz * k * t) / k;
      v *= 0.25 * (0.8 + 0.2 * std::sin(2.0 * M_PI * 3.0 * t));
      samples.SetSample(i, float(v), c);
    }
  }
}

// Enters the sound into the module's sample map. It lives in the sound pool
// under a name that never reaches the disk, so the map takes it as a sound
// in memory and nothing is read from a file.
void LoadMemorySound(KSModul* module) {
  IAudioFileMap* map = module->GetSampleMap();
  if (!map) throw TBuildError("sample map: the module has none");
  EPtr<IFileName> name(CreateFileName());
  name->SetPath(TStr(kSoundPath));
  TAudioFileBuf* made = nullptr;
  if (!FindSoundFile(name.Get())) {
    made = new TAudioFileBuf(nullptr, name.Get());
    IAudioBuf* samples = made->GetSampleBuf();
    samples->SetFormat(1, 0, 32, 2, kSoundRate, kSoundFrames, 4);
    FillTone(*samples);
    samples->RefreshMargins();
    made->SetState(soundstate::Elsewhere);
    SoundPool().AddLast(made);
  }
  try {
    map->Add(name.Get());
  } catch (...) {
    if (made && made->GetUserCount() == 0) {
      SoundPool().Remove(made);
      delete made;
    }
    throw;
  }
  if (map->GetCount() != 1) throw TBuildError("sample map: the sound did not enter it");
}

// A stereo Sampler Loop playing the in-memory sound, looping between 200 ms
// and 1.7 s for as long as its note is held.
KSModul* AddLoopSampler(TRig& rig, KSModul* parent, KSModul* pitch, KSModul* gate, int32_t quality) {
  KSModul* sampler = rig.Insert(parent, kTypeSamplerLoop, "Sampler Loop");
  LoadMemorySound(sampler);
  sampler->GetSampleMap()->GetAt(0)->SetLoopOn(1);
  sampler->SetQuality(quality);
  TRig::Wire(pitch, 0, sampler, kSamplerPitch, "Sampler Loop P");
  TRig::Wire(gate, 0, sampler, kSamplerGate, "Sampler Loop G");
  TRig::Wire(rig.Constant(parent, 200.0f, "loop start"), 0, sampler, kSamplerLoopStart, "Sampler Loop LS");
  TRig::Wire(rig.Constant(parent, 1500.0f, "loop length"), 0, sampler, kSamplerLoopLength, "Sampler Loop LL");
  return sampler;
}

// A Resynth at 'Good' on the in-memory sound, analysed by its map; with no
// loop length it loops the whole sound.
KSModul* AddResynth(TRig& rig, KSModul* parent, KSModul* pitch, KSModul* gate) {
  KSModul* resynth = rig.Insert(parent, kTypeResynth, "Resynth");
  LoadMemorySound(resynth);
  resynth->SetQuality(kGood);
  TRig::Wire(gate, 0, resynth, kResynthGate, "Resynth G");
  TRig::Wire(pitch, 0, resynth, kResynthPitch, "Resynth P");
  TRig::Wire(rig.Constant(parent, 0.5f, "resynth level"), 0, resynth, kResynthAmpl, "Resynth A");
  return resynth;
}

// The modules every played patch starts with.
struct TPlayed {
  KSModul* top;
  KSModul* out;   // the Audio Out
  KSModul* pitch; // NotePitch
  KSModul* gate;  // Gate
};

// Builds a played patch in one structure-change bracket, so that processing
// is set up once; the constants send their values once it has closed.
template <class Body> TPatch BuildPlayed(TRig& rig, Body body) {
  TPatch patch;
  KSModul* top = rig.Top();
  KSModul* out = rig.AddAudioOut();
  {
    TStructureChange bracket(top);
    KSModul* pitch = rig.Insert(top, kTypeNotePitch, "NotePitch");
    KSModul* gate = rig.Insert(top, kTypeGate, "Gate");
    body(TPlayed{top, out, pitch, gate}, patch);
  }
  rig.SendConstants();
  return patch;
}

// Two outputs of a polyphonic module, each summed over the voices, into the
// two channels of the Audio Out.
void CombineIntoOut(TRig& rig, KSModul* parent, KSModul* source, int32_t left, int32_t right, KSModul* out) {
  const int32_t ports[2] = {left, right}, channels[2] = {kOutLeft, kOutRight};
  for (int32_t c = 0; c < 2; ++c) {
    KSModul* combiner = rig.Insert(parent, kTypeAudioVoiceCombiner, "}");
    TRig::Wire(source, ports[c], combiner, 0, "} In");
    TRig::Wire(combiner, 0, out, channels[c], c == 0 ? "Audio Out L" : "Audio Out R");
  }
}

// An ADSR on the gate: 10 ms attack, 300 ms decay to the sustain level,
// 400 ms release; `times` reuses the time constants of another envelope.
struct TEnvelopeTimes {
  KSModul* attack = nullptr;
  KSModul* decay = nullptr;
  KSModul* release = nullptr;
};
KSModul* AddEnvelope(TRig& rig, const TPlayed& p, float sustain, TEnvelopeTimes& times) {
  if (!times.attack) {
    times.attack = rig.Constant(p.top, kTime10ms, "attack");
    times.decay = rig.Constant(p.top, kTime300ms, "decay");
    times.release = rig.Constant(p.top, kTime400ms, "release");
  }
  KSModul* env = rig.Insert(p.top, kTypeAdsrEnv, "ADSR");
  TRig::Wire(p.gate, 0, env, kAdsrGate, "ADSR G");
  TRig::Wire(times.attack, 0, env, kAdsrAttack, "ADSR A");
  TRig::Wire(times.decay, 0, env, kAdsrDecay, "ADSR D");
  TRig::Wire(rig.Constant(p.top, sustain, "sustain"), 0, env, kAdsrSustain, "ADSR S");
  TRig::Wire(times.release, 0, env, kAdsrRelease, "ADSR R");
  return env;
}

} // namespace

std::vector<std::string> TPatch::Missing() const {
  std::vector<std::string> names;
  for (const TPart& p : parts)
    if (!TRig::HasSlot(p.module)) names.push_back(p.name);
  return names;
}

KSModul* TPatch::Find(const std::string& name) const {
  for (const TPart& p : parts)
    if (p.name == name) return p.module;
  return nullptr;
}

int32_t ChordNote(int32_t k) { return 36 + (5 * k) % 64; }

TPatch BuildPolySubtractive(TRig& rig) {
  KSModul* pan = nullptr;
  KSModul* modDelay = nullptr;
  KSModul* diffuser = nullptr;
  TPatch built = BuildPlayed(rig, [&](const TPlayed& p, TPatch& patch) {
    KSModul* top = p.top;
    KSModul* lfo = rig.Insert(top, kTypeLfo, "LFO");
    lfo->SetMono();
    TRig::Wire(rig.Constant(top, 5.0f, "LFO rate"), 0, lfo, kLfoFreq, "LFO F");
    TRig::Wire(rig.Constant(top, 2.0f, "LFO depth"), 0, lfo, kLfoAmpl, "LFO A");

    KSModul* saw = rig.Insert(top, kTypeSawFm, "Saw FM");
    TRig::Wire(p.pitch, 0, saw, kSawPitch, "Saw FM P");
    TRig::Wire(lfo, kLfoSine, saw, kSawFreq, "Saw FM F");
    TRig::Wire(rig.Constant(top, 0.08f, "Saw level"), 0, saw, kSawAmpl, "Saw FM A");

    KSModul* pulse = rig.Insert(top, kTypePulseFm, "Pulse FM");
    TRig::Wire(p.pitch, 0, pulse, kPulsePitch, "Pulse FM P");
    TRig::Wire(lfo, kLfoSine, pulse, kPulseFreq, "Pulse FM F");
    TRig::Wire(rig.Constant(top, 0.05f, "Pulse level"), 0, pulse, kPulseAmpl, "Pulse FM A");
    TRig::Wire(rig.Constant(top, 0.4f, "Pulse width"), 0, pulse, kPulseWidth, "Pulse FM W");

    KSModul* mixer = rig.Insert(top, kTypeMixer2, "Mixer 2");
    TRig::Wire(saw, 0, mixer, kMixIn1, "Mixer In1");
    TRig::Wire(pulse, 0, mixer, kMixIn2, "Mixer In2");

    // The amplitude envelope before the filter: once a note is released the
    // filter rings down on its own, the tail the denormal run listens to.
    TEnvelopeTimes times;
    KSModul* ampEnv = AddEnvelope(rig, p, 0.7f, times);
    KSModul* vca = rig.Insert(top, kTypeAudioProduct2, "X (amplitude)");
    TRig::Wire(mixer, 0, vca, kMult1, "X Mult 1");
    TRig::Wire(ampEnv, 0, vca, kMult2, "X Mult 2");

    // The cutoff envelope reaches the filter's linear cutoff input in Hz.
    KSModul* cutoffEnv = AddEnvelope(rig, p, 0.3f, times);
    KSModul* depth = rig.Insert(top, kTypeAudioProduct2, "X (cutoff depth)");
    TRig::Wire(cutoffEnv, 0, depth, kMult1, "X Mult 1");
    TRig::Wire(rig.Constant(top, 2500.0f, "cutoff depth"), 0, depth, kMult2, "X Mult 2");

    KSModul* filter = rig.Insert(top, kTypeTwoPoleFilterFm, "2-Pole Filter");
    TRig::Wire(p.pitch, 0, filter, kFilterPitch, "Filter P");
    TRig::Wire(depth, 0, filter, kFilterFreq, "Filter F");
    TRig::Wire(rig.Constant(top, 0.6f, "resonance"), 0, filter, kFilterRes, "Filter Res");
    TRig::Wire(vca, 0, filter, kFilterIn, "Filter In");

    KSModul* combiner = rig.Insert(top, kTypeAudioVoiceCombiner, "}");
    TRig::Wire(filter, kFilterLowPass, combiner, 0, "} In");
    pan = rig.Insert(top, kTypeStereoPan, "Stereo Pan");
    pan->SetMono();
    TRig::Wire(combiner, 0, pan, kPanIn, "Pan In");

    modDelay = rig.Insert(top, kTypeModDelay, "Mod. Delay");
    modDelay->SetMono();
    modDelay->SetQuality(kGood);
    TRig::Wire(rig.Constant(top, 12.0f, "delay time"), 0, modDelay, kModDelayTime, "Mod. Delay Dly");
    TRig::Wire(pan, kPanLeft, modDelay, kModDelayIn, "Mod. Delay In");
    diffuser = rig.Insert(top, kTypeDiffuserDelay, "Diffuser Delay");
    TRig::Wire(rig.Constant(top, 23.0f, "diffuser time"), 0, diffuser, kDiffuserTime, "Diffuser Dly");
    TRig::Wire(rig.Constant(top, 0.5f, "diffusion"), 0, diffuser, kDiffuserAmount, "Diffuser Dif");
    TRig::Wire(pan, kPanRight, diffuser, kDiffuserIn, "Diffuser In");
    TRig::Wire(modDelay, 0, p.out, kOutLeft, "Audio Out L");
    TRig::Wire(diffuser, 0, p.out, kOutRight, "Audio Out R");

    patch.parts = {{"Saw FM", saw},         {"Pulse FM", pulse},   {"Mixer 2", mixer},
                   {"ADSR", ampEnv},         {"X", vca},            {"ADSR (cutoff)", cutoffEnv},
                   {"X (cutoff depth)", depth}, {"2-Pole Filter", filter},
                   {"}", combiner},          {"Stereo Pan", pan},   {"Mod. Delay", modDelay},
                   {"Diffuser Delay", diffuser}, {"Audio Out", p.out}};
  });
  // A delay without its routine (or its line) passes nothing: the pan feeds
  // the Audio Out directly so that the rest is still measured and heard.
  const bool leftDelay = TRig::HasSlot(modDelay), rightDelay = TRig::HasSlot(diffuser);
  KSModul* out = rig.Ensemble().GetAudioOutModule();
  if (!leftDelay) TRig::Wire(pan, kPanLeft, out, kOutLeft, "Audio Out L");
  if (!rightDelay) TRig::Wire(pan, kPanRight, out, kOutRight, "Audio Out R");
  if (!leftDelay || !rightDelay) rig.SendConstants();
  return built;
}

TPatch BuildSampler(TRig& rig, int32_t quality) {
  return BuildPlayed(rig, [&](const TPlayed& p, TPatch& patch) {
    KSModul* sampler = AddLoopSampler(rig, p.top, p.pitch, p.gate, quality);
    TEnvelopeTimes times;
    KSModul* env = AddEnvelope(rig, p, 0.7f, times);
    TRig::Wire(env, 0, sampler, kSamplerAmpl, "Sampler Loop A");
    // The voice's level and place: the left channel of the sound through the
    // Stereo Amp.
    KSModul* amp = rig.Insert(p.top, kTypeStereoAmp, "Stereo Amp");
    TRig::Wire(rig.Constant(p.top, -12.0f, "level"), 0, amp, kStereoAmpLevel, "Stereo Amp Lvl");
    TRig::Wire(sampler, kSamplerLeft, amp, kStereoAmpIn, "Stereo Amp In");
    CombineIntoOut(rig, p.top, amp, 0, 1, p.out);
    patch.parts = {{"Sampler Loop", sampler}, {"ADSR", env}, {"Stereo Amp", amp}, {"Audio Out", p.out}};
  });
}

TPatch BuildResynth(TRig& rig) {
  return BuildPlayed(rig, [&](const TPlayed& p, TPatch& patch) {
    KSModul* resynth = AddResynth(rig, p.top, p.pitch, p.gate);
    CombineIntoOut(rig, p.top, resynth, kSamplerLeft, kSamplerRight, p.out);
    patch.parts = {{"Resynth", resynth}, {"Audio Out", p.out}};
  });
}

TPatch BuildSlotChain(TRig& rig, int32_t count) {
  // A module holds at most 99 children: the chain runs through macros of
  // up to 97 modules each, between an in-terminal and an out-terminal.
  constexpr int32_t kPerMacro = KSModul::kMaxChildren - 2;
  TPatch patch;
  KSModul* top = rig.Top();
  KSModul* out = rig.AddAudioOut();
  {
    TStructureChange bracket(top);
    KSModul* previous = nullptr; // the macro whose out-port 0 carries the chain so far
    for (int32_t done = 0; done < count;) {
      KSModul* macro = rig.Insert(top, kTypeMacro, "macro");
      KSModul* link = nullptr;
      if (previous) {
        link = rig.Insert(macro, kTypeAudioMonoInTerminal, "in-terminal");
        TRig::Wire(previous, 0, macro, 0, "macro In");
      }
      for (int32_t k = 0; k < kPerMacro && done < count; ++k, ++done) {
        KSModul* m = rig.Insert(macro, kTypeAudioInvert, "-1");
        if (link) TRig::Wire(link, 0, m, 0, "-1 chain");
        link = m;
        patch.parts.push_back({"-1", m});
      }
      KSModul* terminal = rig.Insert(macro, kTypeAudioMonoOutTerminal, "out-terminal");
      TRig::Wire(link, 0, terminal, 0, "out-terminal In");
      previous = macro;
    }
    if (previous) TRig::Wire(previous, 0, out, kOutLeft, "Audio Out L");
  }
  return patch;
}

TPatch BuildRoutineSet(TRig& rig) {
  return BuildPlayed(rig, [&](const TPlayed& p, TPatch& patch) {
    KSModul* top = p.top;
    KSModul* level = rig.Constant(top, 0.2f, "level");
    TSum sum(rig, top);

    KSModul* sine = rig.Insert(top, kTypeSine, "Sine");
    TRig::Wire(p.pitch, 0, sine, 0, "Sine P");
    TRig::Wire(level, 0, sine, kSineAmpl, "Sine A");
    sum.Add(sine, 0);
    KSModul* saw = rig.Insert(top, kTypeSawFm, "Saw FM");
    TRig::Wire(p.pitch, 0, saw, kSawPitch, "Saw FM P");
    TRig::Wire(level, 0, saw, kSawAmpl, "Saw FM A");
    sum.Add(saw, 0);
    KSModul* pulse = rig.Insert(top, kTypePulseFm, "Pulse FM");
    TRig::Wire(p.pitch, 0, pulse, kPulsePitch, "Pulse FM P");
    TRig::Wire(level, 0, pulse, kPulseAmpl, "Pulse FM A");
    sum.Add(pulse, 0);
    KSModul* resonance = rig.Constant(top, 0.5f, "resonance");
    KSModul* two = rig.Insert(top, kTypeTwoPoleFilterFm, "2-Pole Filter");
    TRig::Wire(p.pitch, 0, two, kFilterPitch, "2-Pole P");
    TRig::Wire(resonance, 0, two, kFilterRes, "2-Pole Res");
    TRig::Wire(saw, 0, two, kFilterIn, "2-Pole In");
    sum.Add(two, kFilterLowPass);
    KSModul* four = rig.Insert(top, kTypeFourPoleFilterFm, "4-Pole Filter");
    TRig::Wire(p.pitch, 0, four, kFilterPitch, "4-Pole P");
    TRig::Wire(resonance, 0, four, kFilterRes, "4-Pole Res");
    TRig::Wire(pulse, 0, four, kFilterIn, "4-Pole In");
    sum.Add(four, kFourPoleLowPass);
    TEnvelopeTimes times;
    KSModul* adsr = AddEnvelope(rig, p, 0.5f, times);
    sum.Add(adsr, 0);
    patch.parts = {{"Sine", sine},   {"Saw FM", saw},          {"Pulse FM", pulse},
                   {"2-Pole Filter", two}, {"4-Pole Filter", four}, {"ADSR", adsr}};

    static const char* const kQualityNames[3] = {"Sampler Loop 'Poor'", "Sampler Loop 'Good'",
                                                 "Sampler Loop 'Excellent'"};
    for (int32_t q = kPoor; q <= kExcellent; ++q) {
      KSModul* sampler = AddLoopSampler(rig, top, p.pitch, p.gate, q);
      TRig::Wire(level, 0, sampler, kSamplerAmpl, "Sampler Loop A");
      sum.Add(sampler, kSamplerLeft);
      patch.parts.push_back({kQualityNames[q], sampler});
    }
    KSModul* delay = rig.Insert(top, kTypeModDelay, "Mod. Delay");
    delay->SetQuality(kGood);
    TRig::Wire(rig.Constant(top, 10.0f, "delay time"), 0, delay, kModDelayTime, "Mod. Delay Dly");
    TRig::Wire(saw, 0, delay, kModDelayIn, "Mod. Delay In");
    sum.Add(delay, 0);
    KSModul* grain = rig.Insert(top, kTypeGrainDelay, "Grain Delay");
    grain->SetQuality(kGood);
    TRig::Wire(rig.Constant(top, 30.0f, "grain delay time"), 0, grain, kGrainDelayTime, "Grain Delay Dly");
    TRig::Wire(level, 0, grain, kGrainDelayAmpl, "Grain Delay A");
    TRig::Wire(saw, 0, grain, kGrainDelayIn, "Grain Delay In");
    sum.Add(grain, kSamplerLeft);
    KSModul* resynth = AddResynth(rig, top, p.pitch, p.gate);
    sum.Add(resynth, kSamplerLeft);
    patch.parts.push_back({"Mod. Delay", delay});
    patch.parts.push_back({"Grain Delay", grain});
    patch.parts.push_back({"Resynth", resynth});
    sum.Finish(p.out);
  });
}

} // namespace bench
