// Sample players through the offline driver: the routine variants, loops,
// retrigger, qualities and the routine swap.
#include "tests/engine/routine_rig.h"
#include "tests/engine/sound_rig.h"

#include "src/engine/event_ids.h"
#include "src/engine/routine_registry.h"
#include "src/engine/sample_play.h"
#include "src/engine/sampler_routines.h"
#include "src/engine/tables.h"
#include "src/engine/voice_state.h"

#include <cmath>

namespace {

using rig::TRig;
using soundrig::kUnit;

SampleVoiceState& Voice(TRig& r, KSModul* m, int32_t voice = 0) {
  return *reinterpret_cast<SampleVoiceState*>(r.Contiguous(m, voice));
}

void Send(KSModul* m, int32_t id, float value, int32_t voice = 0) {
  GetEventRoutine(id)(m->GetEngineRecord(), voice, value);
}

int32_t TriggerId(TModuleType type) {
  return type == kTypeSampler ? evSamplerTrigger : type == kTypeSamplerFm ? evSamplerFmTrigger : evSamplerLoopGate;
}

int32_t SlotOf(KSModul* m) {
  for (int32_t i = 0; i < EngineSlots.count; ++i)
    if (EngineSlots.records[i] == m->GetEngineRecord()) return i;
  return -1;
}

// A sampler of the type with a 64-frame ramp (left k, right -k when stereo),
// wired to the output, amplitude 1.
struct TSamplerRig {
  TSamplerRig(TModuleType type, bool stereo, const std::string& tag, int32_t frames = 64) {
    const std::string folder = testkit::TempDir(tag);
    std::vector<std::vector<float>> channels{soundrig::Ramp(frames)};
    if (stereo) channels.push_back(soundrig::Ramp(frames, -1.0f));
    const std::string path = soundrig::WriteWav(folder + "/ramp.wav", 44100, channels);
    sampler = r.Add(type);
    soundrig::LoadInto(sampler, path);
    r.Listen(sampler, type == kTypeSampler || type == kTypeSamplerFm ? "Out" : "L");
    r.Ready();
    r.Constant(sampler, "A", 1.0f);
  }
  void Play(float pitch = 60.0f) {
    Send(sampler, evSamplerPitch, pitch);
    Send(sampler, TriggerId(sampler->GetType()), 1.0f);
  }
  SampleVoiceState& V() { return Voice(r, sampler); }
  TRig r;
  KSModul* sampler = nullptr;
};

// The value a kernel gives on the ramp s[k] = k: none s[i], linear i + f,
// cubic (between s[i+1] and s[i+2]) i + 1 + f.
float RampValue(int32_t quality, int32_t i, float f) {
  switch (quality) {
  case 0: return float(i);
  case 1: return float(i) + f;
  default: return float(i) + 1.0f + f;
  }
}

struct TVariantCase {
  TModuleType type;
  bool stereo;
  int32_t quality;
};

class SamplerVariants : public ::testing::TestWithParam<TVariantCase> {};

TEST_P(SamplerVariants, PlayARampAtRootPitchWithTheKernelsValues) {
  const TVariantCase c = GetParam();
  TSamplerRig s(c.type, c.stereo, "variant");
  s.sampler->SetQuality(c.quality);
  const bool stereoRoutine = c.stereo && (c.type == kTypeSamplerLoop);
  ASSERT_EQ(EngineSlots.routines[SlotOf(s.sampler)], FindSampleRoutine(c.type.type, stereoRoutine, c.quality));
  s.Play();
  const PlayerCore& p = s.V().player.core;
  ASSERT_NEAR(p.increment, 1.0f, 1e-4f) << "the root key plays at the sample's own rate";
  // Follow the player's own float steps, so the expected positions are exact.
  const float inc = p.increment;
  int32_t position = 0;
  float fraction = 0.0f;
  for (int32_t k = 0; k < 40; ++k) {
    const std::vector<float> out = s.r.Render(1);
    const float expected = RampValue(c.quality, position, fraction);
    ASSERT_NEAR(out[0] / kUnit, expected, 2e-3f) << "frame " << k;
    if (stereoRoutine) ASSERT_NEAR(s.V().player.core.out.currentRight / kUnit, -expected, 2e-3f) << "frame " << k;
    else ASSERT_EQ(s.V().player.core.out.currentRight, out[0]);
    fraction += inc;
    const int32_t n = int32_t(fraction);
    fraction -= float(n);
    position += n;
  }
}

std::vector<TVariantCase> VariantCases() {
  std::vector<TVariantCase> cases;
  for (int32_t q = 0; q < 3; ++q) {
    cases.push_back({kTypeSampler, false, q});
    cases.push_back({kTypeSampler, true, q});  // a stereo sound still plays the mono routine
    cases.push_back({kTypeSamplerFm, false, q});
    cases.push_back({kTypeSamplerLoop, false, q});
    cases.push_back({kTypeSamplerLoop, true, q});
  }
  return cases;
}

INSTANTIATE_TEST_SUITE_P(Samplers, SamplerVariants, ::testing::ValuesIn(VariantCases()),
                         [](const auto& info) {
                           return "type" + std::to_string(info.param.type.type) +
                                  (info.param.stereo ? "stereo" : "mono") + "q" + std::to_string(info.param.quality);
                         });

TEST(Lookup, ReadsThePositionInMsWithTheKernelOfItsQuality) {
  for (int32_t q = 0; q < 3; ++q) {
    for (bool stereo : {false, true}) {
      TSamplerRig s(kTypeSampleLookup, stereo, "lookup");
      s.sampler->SetQuality(q);
      ASSERT_EQ(EngineSlots.routines[SlotOf(s.sampler)], FindSampleRoutine(136, stereo, q));
      float& pos = s.r.Constant(s.sampler, "Pos", 0.0f);
      struct {
        float ms;
        int32_t index;
        float fraction;
      } const cases[] = {{10.5f / 44.1f, 10, 0.5f}, {-3.0f, 0, 0.0f}, {1000.0f, 63, 0.0f}, {NAN, 0, 0.0f}};
      for (const auto& c : cases) {
        pos = c.ms;
        const float out = s.r.Render(1)[0] / kUnit;
        const float f = std::isnan(c.ms) ? 0.0f : c.fraction;
        const float expected = c.index == 63 ? 63.0f + (q == 0 ? 0.0f : f) : RampValue(q, c.index, f);
        if (c.index == 63) {
          // The fraction is kept at the last frame: the others read the margin.
          if (q == 0) {
            EXPECT_NEAR(out, 63.0f, 0.01f);
          }
        } else {
          EXPECT_NEAR(out, expected, 1e-3f) << "q " << q << " at " << c.ms;
        }
        if (stereo && c.index != 63) {
          EXPECT_NEAR(s.V().player.core.out.currentRight / kUnit, -expected, 1e-3f);
        }
      }
    }
  }
}

TEST(Samplers, AQualityChangeSwapsTheSlotRoutineWithoutARebuild) {
  TSamplerRig s(kTypeSamplerLoop, true, "swap");
  TEngineRecord* record = s.sampler->GetEngineRecord();
  const int32_t slot = SlotOf(s.sampler);
  s.Play();
  s.r.Render(5);
  const int32_t position = s.V().player.core.position;
  for (int32_t q : {0, 2, 1}) {
    s.sampler->SetQuality(q);
    EXPECT_EQ(s.sampler->GetEngineRecord(), record) << "no rebuild";
    EXPECT_EQ(SlotOf(s.sampler), slot);
    EXPECT_EQ(EngineSlots.routines[slot], FindSampleRoutine(135, true, q));
  }
  EXPECT_EQ(s.V().player.core.position, position) << "the voice plays on";
  // "No Stereo" makes the stereo map play the mono routine.
  s.sampler->GetSampleMap()->SetNoStereo(1);
  EXPECT_EQ(EngineSlots.routines[slot], FindSampleRoutine(135, false, 1));
}

TEST(Samplers, WithoutLoopAForwardVoiceStopsOnLengthMinusTwoABackwardOneOnZero) {
  for (bool backward : {false, true}) {
    TSamplerRig s(kTypeSampler, false, "ends", 32);
    s.sampler->GetSampleMap()->GetAt(0)->SetDirection(backward ? 1 : 0);
    s.Play();
    EXPECT_EQ(s.V().player.core.direction, backward ? -1 : 1);
    s.r.Render(100);
    EXPECT_EQ(s.V().player.core.direction, 0) << "stopped";
    EXPECT_EQ(s.V().player.core.position, backward ? 0 : 30);
    // Stopped, the output holds the last value and fades with 0.998 per frame.
    const float held = s.r.Render(1)[0];
    EXPECT_NEAR(s.r.Render(1)[0], held * 0.998f, 1e-9f);
  }
}

TEST(Samplers, ARetriggerContinuesFromTheHeldValueTimesPoint998) {
  TSamplerRig s(kTypeSampler, false, "retrigger");
  s.Play();
  const float before = s.r.Render(20)[19];
  ASSERT_GT(before, 10.0f * kUnit);
  Send(s.sampler, evSamplerTrigger, 1.0f);
  const std::vector<float> out = s.r.Render(2);
  EXPECT_NEAR(out[0], before * 0.998f, 1e-7f) << "the ramp restarts at 0 plus the held value";
  EXPECT_EQ(out[1], s.V().player.core.out.currentLeft);
  EXPECT_NEAR(out[1], kUnit * s.V().player.core.increment + before * 0.998f * 0.998f, 1e-7f);
}

TEST(Samplers, APitchBelowTheTableStandsStillAndAZeroStepGivesNoNaN) {
  TSamplerRig s(kTypeSamplerFm, false, "still");
  s.Play(-400.0f);
  EXPECT_EQ(s.V().player.core.ratio, 0.0f);
  const std::vector<float> out = s.r.Render(10);
  for (float v : out) EXPECT_NEAR(v, 0.0f, 1e-9f);
  SamplePlayerState player{};
  player.core.baseStep = 0.0f;
  SetPitchRatio(player.core, 12.0f);
  EXPECT_EQ(player.core.ratio, 0.0f);
  EXPECT_FALSE(std::isnan(player.core.increment));
}

// A 1 kHz sine read half-way between frames: each kernel against the true
// value at the point it interpolates.
TEST(Kernels, ExcellentBeatsGoodOnASine) {
  const double w = 2.0 * M_PI * 1000.0 / 44100.0;
  std::vector<float> s(2000);
  for (size_t k = 0; k < s.size(); ++k) s[k] = float(std::sin(w * double(k)));
  double worst[3] = {};
  for (int32_t i = 0; i < 1900; ++i)
    for (float f : {0.25f, 0.5f, 0.75f}) {
      const double good = std::fabs(Kernel<kGood>(s.data(), i, f) - std::sin(w * (i + f)));
      const double excellent = std::fabs(Kernel<kExcellent>(s.data(), i, f) - std::sin(w * (i + 1 + f)));
      worst[1] = std::max(worst[1], good);
      worst[2] = std::max(worst[2], excellent);
    }
  EXPECT_LT(worst[2], worst[1] / 10.0) << "cubic " << worst[2] << " linear " << worst[1];
  EXPECT_LT(worst[1], 0.0026);
  // A ramp comes out exact.
  const float ramp[4] = {3.0f, 4.0f, 5.0f, 6.0f};
  for (float f : {0.0f, 0.3f, 0.9f}) EXPECT_FLOAT_EQ(Kernel<kExcellent>(ramp, 0, f), 4.0f + f);
}

TEST(Players, ALoopFromAFileIsClampedToTheSoundWhenPlaying) {
  // The stored values stay; the player never leaves the sample.
  SamplePlayerState s{};
  s.core.length = 50;
  s.core.position = 70;
  s.loopOn = 1;
  s.loopStart = 40;
  s.loopEnd = 500;
  s.gate = 1.0f;
  s.core.fraction = 3.0f;
  s.core.direction = 1;
  WrapPlayerSlow(s, nullptr);
  EXPECT_GE(s.core.position, 0);
  EXPECT_LE(s.core.position, 49);
}

TEST(Grains, TheSilentRunIsZeroAndNotTheZeroCell) {
  GrainPlayerState g{};
  SilenceGrain(g);
  EXPECT_NE(g.left, &EngineZeroCell);
  for (int32_t i = 0; i < 4; ++i) EXPECT_EQ(Kernel<kExcellent>(g.left, g.core.position + i - i, 0.5f), 0.0f);
  EXPECT_EQ(SilentSamples[3], 0.0f);
}

} // namespace

namespace {

// "Sampler Loop" over a 64-frame ramp with a loop from its file.
struct TLoopRig {
  TLoopRig(soundrig::TLoop loop, const std::string& tag) {
    const std::string path =
        soundrig::WriteWav(testkit::TempDir(tag) + "/loop.wav", 44100, {soundrig::Ramp(64)}, &loop);
    sampler = r.Add(kTypeSamplerLoop);
    soundrig::LoadInto(sampler, path);
    sampler->GetSampleMap()->GetAt(0)->SetLoopOn(1);
    sampler->GetSampleMap()->GetAt(0)->SetAlternatingLoop(loop.alternating ? 1 : 0);
    r.Listen(sampler, "L");
    r.Ready();
    r.Constant(sampler, "A", 1.0f);
    Send(sampler, evSamplerPitch, 60.0f);
  }
  SampleVoiceState& V() { return Voice(r, sampler); }
  TRig r;
  KSModul* sampler = nullptr;
};

TEST(Loops, AForwardLoopKeepsThePlayerInsideWhileTheGateIsOn) {
  TLoopRig l({10, 20, false}, "loop");
  l.sampler->GetSampleMap()->GetAt(0)->SetLoopInRelease(0);
  Send(l.sampler, evSamplerLoopGate, 1.0f);
  l.r.Render(40);
  for (int32_t k = 0; k < 100; ++k) {
    const float v = l.r.Render(1)[0] / kUnit;
    ASSERT_GE(v, 9.99f);
    ASSERT_LT(v, 20.01f);
  }
  EXPECT_EQ(l.V().player.loopStart, 10);
  EXPECT_EQ(l.V().player.loopEnd, 20);
  // Released without a release loop, the sample plays out to its end.
  Send(l.sampler, evSamplerLoopGate, 0.0f);
  l.r.Render(100);
  EXPECT_EQ(l.V().player.core.direction, 0);
  EXPECT_EQ(l.V().player.core.position, 62);
}

TEST(Loops, APingPongLoopTurnsAtEachEnd) {
  TLoopRig l({10, 20, true}, "pingpong");
  Send(l.sampler, evSamplerLoopGate, 1.0f);
  std::vector<int32_t> directions;
  for (int32_t k = 0; k < 80; ++k) {
    l.r.Render(1);
    const int32_t d = l.V().player.core.direction;
    if (directions.empty() || directions.back() != d) directions.push_back(d);
    ASSERT_LE(l.V().player.core.position, 20);
  }
  ASSERT_GE(directions.size(), 3u);
  EXPECT_EQ(directions[0], 1);
  EXPECT_EQ(directions[1], -1);
  EXPECT_EQ(directions[2], 1);
}

TEST(Loops, ALoopLengthOfZeroHoldsTheLoopStart) {
  TLoopRig l({10, 20, false}, "zero");
  l.r.Constant(l.sampler, "LS", 30.0f / 44.1f);  // frame 30
  l.r.Constant(l.sampler, "LL", 0.0f);
  Send(l.sampler, evSamplerLoopGate, 1.0f);
  l.r.Render(50);
  EXPECT_EQ(l.V().player.loopStart, 30);
  EXPECT_EQ(l.V().player.loopEnd, 30);
  EXPECT_EQ(l.V().player.core.position, 30);
}

TEST(Loops, ALoopBeyondTheSoundIsClampedWhilePlayingAndKeptInTheSound) {
  TLoopRig l({40, 500, false}, "beyond");
  IAudioFileBuf* sound = l.sampler->GetSampleMap()->GetAt(0)->GetSoundFile();
  Send(l.sampler, evSamplerLoopGate, 1.0f);
  for (int32_t k = 0; k < 300; ++k) {
    l.r.Render(1);
    ASSERT_GE(l.V().player.core.position, 0);
    ASSERT_LE(l.V().player.core.position, 63);
  }
  EXPECT_LE(l.V().player.loopEnd, 64);
  EXPECT_EQ(sound->GetLoopStart(), 40) << "the sound keeps what its file says";
}

TEST(Loops, AStartBeyondTheLoopEndStartsAForwardVoiceAtTheLoopStart) {
  TLoopRig l({10, 20, false}, "late");
  l.r.Constant(l.sampler, "St", 40.0f / 44.1f);
  Send(l.sampler, evSamplerLoopGate, 1.0f);
  EXPECT_EQ(l.V().player.core.position, 10);
}

TEST(Loops, InOscillatorModeTheLoopIsOneCycleOfThePitch) {
  TLoopRig l({16, 32, false}, "oscil");
  l.sampler->SetOscilMode(true);
  Send(l.sampler, evSamplerPitch, 69.0f);
  Send(l.sampler, evSamplerLoopGate, 1.0f);
  EXPECT_NEAR(l.V().player.core.increment, 16.0f * 440.0f / 44100.0f, 1e-3f);
  l.r.Render(500);
  EXPECT_GE(l.V().player.core.position, 16);
  EXPECT_LT(l.V().player.core.position, 32);
}

} // namespace
