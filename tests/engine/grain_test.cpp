// Grain scheduling of "Resynth", "Pitch Former" and "Beat Loop" through the
// offline driver.
#include "tests/engine/routine_rig.h"
#include "tests/engine/sound_rig.h"

#include "src/engine/event_ids.h"
#include "src/engine/routine_registry.h"
#include "src/engine/sampler_routines.h"
#include "src/engine/setup.h"
#include "src/engine/voice_state.h"

#include <cmath>

namespace {

using rig::TRig;

void Send(KSModul* m, int32_t id, float value, int32_t voice = 0) {
  GetEventRoutine(id)(m->GetEngineRecord(), voice, value);
}

std::vector<float> Sine(int32_t frames, double hz, double rate = 44100.0) {
  std::vector<float> v(static_cast<size_t>(frames));
  for (int32_t k = 0; k < frames; ++k) v[size_t(k)] = float(0.5 * std::sin(2.0 * M_PI * hz * k / rate));
  return v;
}

struct TGrainRig {
  TGrainRig(TModuleType type, const std::string& tag, int32_t frames = 44100) {
    const std::string folder = testkit::TempDir(tag);
    const std::string path = soundrig::WriteWav(folder + "/tone.wav", 44100, {Sine(frames, 441.0)});
    module = r.Add(type);
    soundrig::LoadInto(module, path);
    r.Listen(module, "L");
    r.Ready();
  }
  ResynthVoiceState& V() { return *reinterpret_cast<ResynthVoiceState*>(r.Contiguous(module)); }
  BeatLoopVoiceState& B() { return *reinterpret_cast<BeatLoopVoiceState*>(r.Contiguous(module)); }
  // Frames (from the first rendered) at which a grain started.
  std::vector<int32_t> GrainStarts(int32_t frames) {
    std::vector<int32_t> starts;
    int32_t previous = V().countdown;
    for (int32_t k = 0; k < frames; ++k) {
      r.Render(1);
      if (V().countdown > previous) starts.push_back(k);
      previous = V().countdown;
    }
    return starts;
  }
  TRig r;
  KSModul* module = nullptr;
};

TEST(Resynth, UnconnectedGrainLengthAlternatesPeriodsOf220And221) {
  TGrainRig g(kTypeResynth, "resynth");
  // Grains placed freely, not on the analysis markers.
  g.module->GetSampleMap()->GetAt(0)->SetResynthesis(0);
  Send(g.module, evResynthGate, 1.0f);
  EXPECT_EQ(g.V().countdown, 0) << "the next frame starts a grain";
  const std::vector<int32_t> starts = g.GrainStarts(2400);
  ASSERT_GE(starts.size(), 11u);
  EXPECT_EQ(starts[0], 0);
  for (size_t i = 1; i < 11; ++i) {
    const int32_t period = starts[i] - starts[i - 1];
    EXPECT_TRUE(period == 220 || period == 221) << period;
    if (i > 1) {
      EXPECT_NE(period, starts[i - 1] - starts[i - 2]) << "periods alternate";
    }
  }
  EXPECT_NEAR(starts[10] - starts[0], 2205, 1);
  // The grains sound: the output is not silent.
  float peak = 0.0f;
  for (float v : g.r.Render(500)) peak = std::max(peak, std::fabs(v));
  EXPECT_GT(peak, 0.1f);
}

TEST(Resynth, WhenTheSampleEndsWithoutLoopTheVoiceFallsSilentUntilTheNextGate) {
  TGrainRig g(kTypeResynth, "resynth-end", 2000);
  Send(g.module, evResynthGate, 1.0f);
  g.r.Render(3000);
  EXPECT_EQ(g.V().countdown, -1);
  const std::vector<float> out = g.r.Render(100);
  for (float v : out) EXPECT_EQ(v, 0.0f);
  Send(g.module, evResynthGate, 1.0f);
  EXPECT_EQ(g.V().countdown, 0);
  EXPECT_NE(g.V().main.core.direction, 0);
}

TEST(Resynth, AZeroLoopLengthFreezesTheVoiceOnOneSpot) {
  TGrainRig g(kTypeResynth, "resynth-freeze");
  g.r.Constant(g.module, "LL", 0.0f);
  Send(g.module, evResynthGate, 1.0f);
  g.r.Render(3000);
  const int32_t position = g.V().main.core.position;
  g.r.Render(3000);
  EXPECT_EQ(g.V().main.core.position, position);
  EXPECT_NE(g.V().countdown, -1) << "grains keep coming";
}

TEST(Resynth, WithSpeedOneAndMarkersTheSampleIsTraversedInItsOwnTime) {
  for (float pitch : {60.0f, 72.0f, 48.0f}) {
    TGrainRig g(kTypeResynth, "resynth-speed");
    g.module->GetSampleMap()->GetAt(0)->SetResynthesis(1);
    g.r.Constant(g.module, "Sp", 1.0f);
    g.r.Constant(g.module, "P", pitch);
    Send(g.module, evResynthGate, 1.0f);
    ASSERT_EQ(g.V().analysis, 1);
    g.r.Render(10000);
    // The main player lies at most one grain away from where the sample's
    // own rate puts it, whatever the pitch.
    EXPECT_NEAR(float(g.V().main.core.position), 10000.0f, 400.0f) << pitch;
  }
}

TEST(Resynth, WithoutSpeedTheSampleIsTraversedAtThePitchsSpeed) {
  TGrainRig g(kTypeResynth, "resynth-pitch");
  g.module->GetSampleMap()->GetAt(0)->SetResynthesis(0);
  g.r.Constant(g.module, "P", 72.0f);
  Send(g.module, evResynthGate, 1.0f);
  g.r.Render(5000);
  EXPECT_NEAR(float(g.V().main.core.position), 10000.0f, 500.0f) << "an octave up: twice as fast";
}

TEST(PitchFormer, AtPitch69AGrainStartsEvery100Point23FramesOnAverage) {
  TGrainRig g(kTypePitchFormer, "former");
  g.r.Constant(g.module, "P", 69.0f);
  Send(g.module, evPitchFormerGate, 1.0f);
  const std::vector<int32_t> starts = g.GrainStarts(10100);
  ASSERT_GE(starts.size(), 90u);
  const double average = double(starts.back() - starts.front()) / double(starts.size() - 1);
  EXPECT_NEAR(average, 44100.0 / 440.0, 0.01);
  for (size_t i = 1; i < starts.size(); ++i) {
    const int32_t period = starts[i] - starts[i - 1];
    EXPECT_TRUE(period == 100 || period == 101) << period;
  }
}

TEST(PitchFormer, PeriodsAreHeldTo5To20000Frames) {
  for (float pitch : {-300.0f, 300.0f}) {
    TGrainRig g(kTypePitchFormer, "former-ends");
    g.r.Constant(g.module, "P", pitch);
    Send(g.module, evPitchFormerGate, 1.0f);
    EXPECT_EQ(g.V().countdown, pitch > 0 ? 5 : 20000) << pitch;
  }
}

std::vector<float>& Captured() {
  static std::vector<float> values;
  return values;
}
void Capture(TEngineRecord*, int32_t, float value) { Captured().push_back(value); }

TEST(BeatLoop, ClockedEvery100FramesSendsEachSixteenthEverySixTicks) {
  TGrainRig g(kTypeBeatLoop, "beat");
  TEngineRecord sink;
  sink.voices = 1;
  ASSERT_TRUE(AppendRoute(g.module->GetEngineRecord(), 2, Capture, &sink));  // "P16"
  Captured().clear();
  for (int32_t tick = 0; tick < 6 * 5 + 1; ++tick) {
    Send(g.module, evBeatLoopClock, 1.0f);
    g.r.Render(100);
  }
  EXPECT_EQ(Captured(), (std::vector<float>{0, 1, 2, 3, 4, 5}));
  const BeatLoopVoiceState& b = g.B();
  EXPECT_EQ(b.tickInterval, 100);
  // Each sixteenth's grain starts in the sample at its own place, half a
  // sixteenth early.
  EXPECT_EQ(b.sixteenthIndex, 5);
  EXPECT_NE(b.common.grainA.core.increment, 0.0f);
  ClearRoutes(g.module->GetEngineRecord(), 2);
}

TEST(BeatLoop, WithoutTicksTheGrainsFallSilentAfterTwoIntervals) {
  TGrainRig g(kTypeBeatLoop, "beat-stop");
  for (int32_t tick = 0; tick < 8; ++tick) {
    Send(g.module, evBeatLoopClock, 1.0f);
    g.r.Render(100);
  }
  g.r.Render(400);
  const std::vector<float> out = g.r.Render(10);
  for (float v : out) EXPECT_EQ(v, 0.0f);
}

TEST(BeatLoop, TheSnapStaysInsideTheSampleAtAndBeyondTheLastMarker) {
  TGrainRig g(kTypeBeatLoop, "beat-snap", 10000);
  IAudioFileMapEntry* entry = g.module->GetSampleMap()->GetAt(0);
  entry->SetResynthesis(1);
  BeatLoopVoiceState& b = g.B();
  ASSERT_TRUE(b.common.main.core.entry);
  for (int32_t start : {0, 5000, 9999, 10000, 20000, -1}) {
    b.common.grainB.windowOffset = 9990;
    b.common.grainB.core.position = 5;
    const int32_t snapped = SnapBeatLoopStart(b, start);
    EXPECT_GE(snapped, 0) << start;
    EXPECT_LT(snapped, 10000) << start;
  }
  // Clocking with the markers on plays on.
  for (int32_t tick = 0; tick < 20; ++tick) {
    Send(g.module, evBeatLoopClock, 1.0f);
    g.r.Render(50);
  }
  EXPECT_EQ(b.sixteenthIndex % b.sixteenthCount, b.sixteenthIndex);
}

TEST(BeatLoop, AStartBeforeTheSampleWrapsToItsEnd) {
  TGrainRig g(kTypeBeatLoop, "beat-wrap", 8000);
  g.r.Constant(g.module, "SO", -1.0f);
  Send(g.module, evBeatLoopClock, 1.0f);
  const BeatLoopVoiceState& b = g.B();
  const int32_t length = b.common.main.core.length;
  const int32_t expected = int32_t(-b.framesPerSixteenth) + length - 1;
  EXPECT_EQ(b.common.grainA.windowOffset, expected);
}

} // namespace

namespace {

// Every sample-playing, delay and tape routine in every quality, with a
// sound loaded and every audio input on a hostile value: no read or write
// leaves the records' buffers (the sanitizers watch) and the zero cell stays 0.
TEST(BufferRoutines, HostileInputsKeepEveryReadInBounds) {
  const std::string folder = testkit::TempDir("hostile");
  const std::string path =
      soundrig::WriteWav(folder + "/s.wav", 44100, {Sine(3000, 300.0), Sine(3000, 200.0)});
  const float nan = std::nanf("");
  for (float value : {nan, INFINITY, -INFINITY, 3.0e38f, -3.0e38f, 0.0f, -1.0f, 1.0e6f}) {
    for (int32_t quality = 0; quality < 3; ++quality) {
      TRig r;
      std::vector<KSModul*> modules;
      for (TModuleType type : {kTypeSampler, kTypeSamplerFm, kTypeSamplerLoop, kTypeSampleLookup, kTypeBeatLoop,
                               kTypeResynth, kTypePitchFormer, kTypeStaticDelay, kTypeModDelay, kTypeDiffuserDelay,
                               kTypeGrainDelay, kTypeTapedeck1, kTypeTapedeck2}) {
        KSModul* m = r.Add(type);
        if (m->GetSampleMap()) soundrig::LoadInto(m, path);
        // A scope of its own takes each module into processing.
        if (type != kTypeTapedeck1 && type != kTypeTapedeck2)
          r.Wire(m, m->GetOutPort(0)->GetLabel().Std().c_str(), r.Add(kTypeScope), "In");
        modules.push_back(m);
      }
      r.Ready();
      for (KSModul* m : modules) {
        m->SetQuality(quality);
        TEngineRecord* rec = m->GetEngineRecord();
        ASSERT_TRUE(rec) << m->GetTypeIndex();
        for (int32_t p = 0; p < m->GetInPortCount(); ++p) {
          KInPort* port = m->GetInPort(p);
          if (port->GetKind() <= 1) r.Constant(m, port->GetLabel().Std().c_str(), value);
          else GetEventRoutine(port->GetIndexField())(rec, 0, value);
        }
        for (int32_t p = 0; p < m->GetInPortCount(); ++p) {
          KInPort* port = m->GetInPort(p);
          if (port->GetKind() > 1) GetEventRoutine(port->GetIndexField())(rec, 0, 1.0f);
        }
      }
      r.Render(700);
      for (KSModul* m : modules) GetEventRoutine(evBeatLoopClock)(m->GetEngineRecord(), 0, 1.0f);
      r.Render(300);
      EXPECT_EQ(EngineZeroCell, 0.0f);
    }
  }
}

} // namespace
