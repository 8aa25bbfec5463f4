// Key-to-sound of the sound driver: the ensemble plays through the real
// driver and engine into a wave device on a virtual clock (the platform's
// fake device: frames are played as the clock runs, 441 frames per two
// 5 ms timer ticks), a note-on enters through the MIDI-in entry as a MIDI
// message would, and the bench counts the frames the device plays after the
// key before the note sounds. It prints that leading silence at the default
// play-ahead, the smallest and the largest one, exact to the frame.
//
// A real sound card adds the time between a frame being played by the
// device and being heard (its converters), which only real hardware shows.
//
//   latency_bench [NOTES]
#include "pc/audio/mme.h"
#include "src/base/settings.h"
#include "src/engine/module_types.h"
#include "src/midi/midi.h"
#include "src/mod/ensemble.h"
#include "src/mod/instr.h"
#include "src/mod/mod.h"

#include "platform/pcm.h"
#include "platform/thread.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

constexpr double kRate = 44100.0;
constexpr int kChannels = 2;
constexpr int kNote = 60, kVelocity = 100;
// Ticks before the first key (the queue settles), and the most a note may take.
constexpr int kSettleTicks = 400;
constexpr int kGiveUpTicks = 2000;

// Device frames per 5 ms tick alternate so that two ticks are 441 frames.
uint32_t TickFrames(int tick) { return tick % 2 == 0 ? 220 : 221; }

struct TFigures {
  std::vector<double> ms;
  bool failed = false;
};

// The first frame at or after `from` that is not silent, or -1.
long FirstSound(const std::vector<int16_t>& played, long from) {
  for (long f = from; f * kChannels + 1 < long(played.size()); ++f)
    if (played[size_t(f * kChannels)] != 0 || played[size_t(f * kChannels + 1)] != 0) return f;
  return -1;
}

// One run: a gate opens a sawtooth into the Audio Out's left input.
TFigures Measure(int notes) {
  TFigures figures;
  platform::FakeWaves waves;
  platform::ManualTimer timer;
  const int32_t speakers = waves.AddOutput("Speakers");
  TMultiMediaSystem system;
  system.waves = &waves;
  system.timer = &timer;
  SetMultiMediaSystem(system);
  {
    KEnsemble ens([](int32_t, IAudioOwner* owner) { return CreateMultiMedia(owner); });
    KSModul* top = ens.GetTopModule();
    KSModul* out = top->InsertModule(kTypeAudioOut, kPlaceAudioOut);
    ens.SetAudioOutModule(out);
    KSModul* saw = top->InsertModule(kTypeSawtooth, kPlaceNext);
    KSModul* gate = top->InsertModule(kTypeGate, kPlaceNext);
    constexpr int32_t kSawAmplitude = 1;
    constexpr int32_t kAudioOutLeft = 2; // after Tune and Level
    saw->GetInPort(kSawAmplitude)->Connect(gate->GetOutPort(0));
    out->GetInPort(kAudioOutLeft)->Connect(saw->GetOutPort(0));
    auto* midi = dynamic_cast<TMidiInOut*>(ens.GetMidi());
    auto* driver = dynamic_cast<TMultiMedia*>(ens.GetAudio());
    // The instrument listens on its channel once it has been set with the
    // MIDI driver in place (as reading an ensemble does).
    ens.GetTopInstr()->SetMidiChannel(2);
    const int32_t channel = ens.GetTopInstr()->GetMidiChannel() - 1;
    if (!midi || !driver) {
      figures.failed = true;
    } else {
      ens.StartDrivers();
      int tick = 0;
      auto step = [&] {
        timer.Fire();
        waves.Advance(TickFrames(tick++));
        driver->SyncMessages();
      };
      for (int i = 0; i < kSettleTicks; ++i) step();
      for (int n = 0; n < notes && !figures.failed; ++n) {
        const long atKey = long(waves.Played(speakers).size()) / kChannels;
        midi->Receive(midi::kNoteOn, channel, kNote, kVelocity);
        long sound = -1;
        for (int i = 0; i < kGiveUpTicks && sound < 0; ++i) {
          step();
          sound = FirstSound(waves.Played(speakers), atKey);
        }
        if (sound < 0) {
          figures.failed = true;
          break;
        }
        figures.ms.push_back(double(sound - atKey) * 1000.0 / kRate);
        midi->Receive(midi::kNoteOff, channel, kNote, 0);
        // Silence again, and a key at another point of the tick.
        for (int i = 0; i < 50 + n % 3; ++i) step();
      }
    }
  } // the ensemble stops its drivers as it goes
  SetMultiMediaSystem(TMultiMediaSystem());
  return figures;
}

void Print(const char* name, int32_t delayMs, const TFigures& f) {
  if (f.failed || f.ms.empty()) {
    std::printf("%-8s play-ahead %3d ms: no figure (the note did not sound)\n", name, delayMs);
    return;
  }
  std::vector<double> sorted = f.ms;
  std::sort(sorted.begin(), sorted.end());
  std::printf("%-8s play-ahead %3d ms: leading silence median %.1f ms, max %.1f ms over %zu notes\n", name,
              delayMs, sorted[sorted.size() / 2], sorted.back(), sorted.size());
}

} // namespace

int main(int argc, char** argv) {
  const int notes = argc > 1 ? std::max(1, std::atoi(argv[1])) : 20;
  char pattern[] = "/tmp/qv-latency-XXXXXX";
  const char* dir = mkdtemp(pattern);
  if (!dir) return 1;
  const std::string settings = std::string(dir) + "/settings";
  setenv("QUORVEX_SETTINGS_DIR", settings.c_str(), 1);
  OpenSettings(TStr("latency bench"));
  RegisterMultiMedia();

  DeleteSetting(TStr("MmeOutDelay"));
  DeleteSetting(TStr("MmeOutPort"));
  {
    TFigures f = Measure(notes);
    Print("default", mme::kDefaultOutDelayMs, f);
  }
  WriteSettingInt(TStr("MmeOutDelay"), uint32_t(mme::kMinDelayMs));
  {
    TFigures f = Measure(notes);
    Print("smallest", mme::kMinDelayMs, f);
  }
  WriteSettingInt(TStr("MmeOutDelay"), uint32_t(mme::kMaxDelayMs));
  {
    TFigures f = Measure(notes);
    Print("largest", mme::kMaxDelayMs, f);
  }
  return 0;
}
