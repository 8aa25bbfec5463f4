// Dropouts: how many blocks the sound driver makes silent while MIDI floods
// in and while the structure is edited, and how long an edit holds the
// engine's lock.
//
// The program's own sound driver plays the README's "First sound" ensemble
// into a stand-in output device that this benchmark plays at a real 44.1 kHz
// pace; its thread fires the driver's 5 ms tick as the driver's timer would.
// MIDI comes through the program's MIDI driver from a stand-in input port.
//
//   dropout_bench [--seconds N] [--rate EVENTS_PER_SECOND] [--edits N]
//                 [--delay MS] [--queue]
//
// --queue measures the other way of taking MIDI in for comparison: the MIDI
// thread only fills a fixed-size lock-free queue and the audio thread
// dispatches the queued messages at the start of each block.
#include "bench/rig.h"
#include "pc/audio/mme.h"
#include "pc/midi/mmmidi.h"
#include "platform/pcm.h"
#include "platform/seq.h"
#include "platform/sys.h"
#include "src/base/settings.h"
#include "src/engine/audioio.h"
#include "src/engine/engine.h"
#include "src/mod/ensemble.h"
#include "src/mod/instr.h"
#include "src/mod/mod.h"
#include "src/mod/port.h"

#include <stdlib.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace {

constexpr uint64_t kNsPerSecond = 1000000000ull;
constexpr uint64_t kTickNs = 5000000ull;
constexpr uint64_t kPaceNs = 500000ull; // how often the stand-in device plays on

uint64_t ProcessCpuNs() {
  return uint64_t(double(std::clock()) * double(kNsPerSecond) / double(CLOCKS_PER_SEC));
}

// --- The queued way of taking MIDI in, for the comparison -----------------

// One writer (the MIDI thread), one reader (the audio thread).
class TEventQueue {
public:
  struct TEvent {
    int32_t kind, channel, data1, data2;
  };
  bool Push(const TEvent& e) {
    const size_t tail = tail_.load(std::memory_order_relaxed);
    if (tail - head_.load(std::memory_order_acquire) >= kSize) return false;
    cells_[tail & (kSize - 1)] = e;
    tail_.store(tail + 1, std::memory_order_release);
    return true;
  }
  bool Pop(TEvent& e) {
    const size_t head = head_.load(std::memory_order_relaxed);
    if (head == tail_.load(std::memory_order_acquire)) return false;
    e = cells_[head & (kSize - 1)];
    head_.store(head + 1, std::memory_order_release);
    return true;
  }

private:
  static constexpr size_t kSize = 4096;
  std::array<TEvent, kSize> cells_{};
  alignas(64) std::atomic<size_t> tail_{0};
  alignas(64) std::atomic<size_t> head_{0};
};

TEventQueue queuedEvents;
std::atomic<uint64_t> queueRefused{0};

class TQueuedMidi : public TMultiMediaMidi {
public:
  using TMultiMediaMidi::TMultiMediaMidi;

protected:
  void Received(int32_t kind, int32_t channel, int32_t data1, int32_t data2) override {
    if (!queuedEvents.Push({kind, channel, data1, data2})) queueRefused.fetch_add(1);
  }
};

// --- The machine ------------------------------------------------------------

struct TOptions {
  double seconds = 10.0;
  int32_t rate = 20000;
  int32_t edits = 200;
  int32_t delayMs = 20;
  bool queue = false;
};

struct TMachine {
  platform::FakeWaves waves;
  platform::FakeMidis midis;
  platform::ManualTimer timer;
  int32_t speakers = 0;
  int32_t keys = 0;
  platform::MidiSystem* previousMidis = nullptr;

  TMachine() {
    speakers = waves.AddOutput("Bench speakers");
    keys = midis.AddInput("Bench:keys");
    TMultiMediaSystem system;
    system.waves = &waves;
    system.timer = &timer;
    // A bridge without devices: the stand-in speakers are the only output.
    static TBridgeEntries noBridge;
    noBridge.getNumDevices = [] { return 0; };
    system.bridge = &noBridge;
    SetMultiMediaSystem(system);
    previousMidis = platform::SetMidiSystem(&midis);
  }
  ~TMachine() {
    platform::SetMidiSystem(previousMidis);
    SetMultiMediaSystem(TMultiMediaSystem());
  }
};

// The audio side: the stand-in device plays on at 44.1 kHz of real time and
// the driver's tick comes every 5 ms, both on this one thread, which is what
// the driver's timer thread would be.
class TPacer {
public:
  TPacer(TMachine& m, TAudioInOut* driver, TMidiInOut* queuedMidi)
      : m_(m), driver_(driver), queuedMidi_(queuedMidi), thread_([this] { Run(); }) {}
  ~TPacer() { Stop(); }
  void Stop() {
    stop_.store(true);
    if (thread_.joinable()) thread_.join();
  }
  uint64_t worstTickNs = 0, worstTickCpuNs = 0, tickCpuNs = 0, ticks = 0, wallNs = 0, cpuNs = 0;
  uint64_t dispatched = 0;

private:
  void Run() {
    const uint64_t start = platform::MonotonicNs();
    const uint64_t cpuStart = platform::ThreadCpuNs();
    uint64_t played = 0;
    uint64_t nextTick = start;
    while (!stop_.load(std::memory_order_relaxed)) {
      const uint64_t now = platform::MonotonicNs();
      const uint64_t due = (now - start) * platform::kWaveRate / kNsPerSecond;
      if (due > played) {
        m_.waves.Advance(uint32_t(due - played));
        played = due;
      }
      if (now >= nextTick) {
        const uint64_t t0 = platform::MonotonicNs(), c0 = platform::ThreadCpuNs();
        if (queuedMidi_) DrainQueue();
        m_.timer.Fire();
        const uint64_t t1 = platform::MonotonicNs(), c1 = platform::ThreadCpuNs();
        worstTickNs = std::max(worstTickNs, t1 - t0);
        worstTickCpuNs = std::max(worstTickCpuNs, c1 - c0);
        tickCpuNs += c1 - c0;
        ++ticks;
        nextTick += kTickNs;
        if (nextTick < now) nextTick = now + kTickNs;
      }
      std::this_thread::sleep_for(std::chrono::nanoseconds(kPaceNs));
    }
    wallNs = platform::MonotonicNs() - start;
    cpuNs = platform::ThreadCpuNs() - cpuStart;
  }
  // The queued way: the block's own thread dispatches what came in, holding
  // the lock the block holds (a structure change defers it to the next tick).
  void DrainQueue() {
    if (!driver_->EnterForBlock()) return;
    TEventQueue::TEvent e;
    while (queuedEvents.Pop(e)) {
      queuedMidi_->Receive(e.kind, e.channel, e.data1, e.data2);
      ++dispatched;
    }
    EngineCriticalSection().Leave();
  }

  TMachine& m_;
  TAudioInOut* driver_;
  TMidiInOut* queuedMidi_;
  std::atomic<bool> stop_{false};
  std::thread thread_;
};

struct TRoad {
  KSModul* out = nullptr;
  KSModul* saw = nullptr;
  KSModul* keySaw = nullptr;
};

KSModul* Insert(KSModul* top, TModuleType type) {
  KSModul* m = top->InsertModule(type, kPlaceNext);
  if (!m) throw bench::TBuildError("a module could not be inserted");
  return m;
}

// A control on an in-port, as Create Control makes one: a fader wired to it.
void Control(KSModul* top, KSModul* to, int32_t in, float low, float high, float value) {
  KSModul* fader = Insert(top, kTypeFader);
  fader->SetControlRange(low, 0, high, 127, 0.0f);
  fader->SetControlValue(value);
  bench::TRig::Wire(fader, 0, to, in, "control");
}

// The README's "First sound" ensemble: a Sawtooth with two controls on the
// left channel, a keyboard voice (Note Pitch, Gate, ADSR with four controls,
// Sawtooth) on the right.
TRoad BuildRoad(KEnsemble& ens) {
  TRoad r;
  KSModul* top = ens.GetTopModule();
  KSModul* in = top->InsertModule(kTypeAudioIn, kPlaceAudioIn);
  if (in) ens.SetAudioInModule(in);
  r.out = top->InsertModule(kTypeAudioOut, kPlaceAudioOut);
  if (!r.out) throw bench::TBuildError("Audio Out could not be inserted");
  ens.SetAudioOutModule(r.out);
  constexpr int32_t kLeft = 2, kRight = 3;
  r.saw = Insert(top, kTypeSawtooth);
  Control(top, r.saw, 0, 0.0f, 127.0f, 60.0f);
  Control(top, r.saw, 1, 0.0f, 1.0f, 1.0f);
  bench::TRig::Wire(r.saw, 0, r.out, kLeft, "sawtooth to left");
  KSModul* pitch = Insert(top, kTypeNotePitch);
  KSModul* gate = Insert(top, kTypeGate);
  KSModul* env = Insert(top, kTypeAdsrEnv);
  r.keySaw = Insert(top, kTypeSawtooth);
  bench::TRig::Wire(pitch, 0, r.keySaw, 0, "note pitch");
  bench::TRig::Wire(gate, 0, env, 0, "gate");
  bench::TRig::Wire(env, 0, r.keySaw, 1, "envelope");
  bench::TRig::Wire(r.keySaw, 0, r.out, kRight, "sawtooth to right");
  for (int32_t port = 1; port < env->GetInPortCount(); ++port) Control(top, env, port, 0.0f, 1.0f, 0.3f);
  return r;
}

struct TFigures {
  uint64_t skipped = 0;       // blocks the driver made silent
  uint64_t underrunFrames = 0; // frames the device had nothing to play
  uint64_t events = 0;
  uint64_t worstHoldNs[3] = {}; // insert, delete, wire
};

void PrintPacer(const TPacer& p) {
  std::printf("  audio thread: %llu ticks, worst tick %.3f ms wall / %.3f ms CPU, mean tick CPU %.1f us,"
              " thread CPU %.2f %% of a core\n",
              (unsigned long long)p.ticks, double(p.worstTickNs) / 1e6, double(p.worstTickCpuNs) / 1e6,
              p.ticks ? double(p.tickCpuNs) / double(p.ticks) / 1e3 : 0.0,
              p.wallNs ? 100.0 * double(p.cpuNs) / double(p.wallNs) : 0.0);
}

void Flood(const TOptions& o) {
  TMachine m;
  if (o.queue) SetMidiMaker([](IMidiOwner* owner) -> TMidiInOut* { return new TQueuedMidi(owner); });
  else RegisterMultiMediaMidi();
  bench::TQuietOwner owner;
  KEnsemble ens([](int32_t, IAudioOwner* owner) -> IAudioInOut* { return CreateMultiMedia(owner); });
  ens.SetOwner(&owner);
  ens.SetRateFactor(1.0f);
  ens.GetTopInstr()->SetVoices(16, -1, -1);
  BuildRoad(ens);
  auto* driver = dynamic_cast<TMultiMedia*>(ens.GetAudio());
  auto* midi = dynamic_cast<TMultiMediaMidi*>(ens.GetMidi());
  if (!driver || !midi) throw bench::TBuildError("the drivers are not the program's own");
  driver->SetOutDelay(o.delayMs);
  ens.StartDrivers();
  if (midi->OpenInPort(m.keys) != mmmidi::kOpened) throw bench::TBuildError("the MIDI input did not open");
  const uint64_t skippedBefore = TAudioInOut::GetSkippedBlocks();
  const uint64_t cpu0 = ProcessCpuNs(), wall0 = platform::MonotonicNs();
  uint64_t injected = 0, refusedInjects = 0;
  {
    TPacer pacer(m, driver, o.queue ? midi : nullptr);
    // The flood: every millisecond its share of note-ons and note-offs on
    // the top instrument's channel, pitches wandering over the keyboard.
    const uint64_t start = platform::MonotonicNs();
    const uint64_t end = start + uint64_t(o.seconds * double(kNsPerSecond));
    uint32_t seed = 1;
    uint8_t held[2] = {60, 64};
    while (platform::MonotonicNs() < end) {
      const uint64_t due = (platform::MonotonicNs() - start) * uint64_t(o.rate) / kNsPerSecond;
      while (injected + refusedInjects < due) {
        seed = seed * 1664525u + 1013904223u;
        const uint8_t note = uint8_t(36 + (seed >> 24) % 48);
        std::vector<uint8_t> bytes;
        if (((injected + refusedInjects) & 1) == 0) {
          bytes = {0x90, note, uint8_t(1 + (seed >> 8) % 126)};
          held[(seed >> 4) & 1] = note;
        } else {
          bytes = {0x80, held[(seed >> 5) & 1], 0};
        }
        if (m.midis.Inject(m.keys, bytes)) ++injected;
        else ++refusedInjects;
      }
      std::this_thread::sleep_for(std::chrono::microseconds(500));
    }
    midi->SyncMessages();
    pacer.Stop();
    const uint64_t wall = platform::MonotonicNs() - wall0, cpu = ProcessCpuNs() - cpu0;
    std::printf("MIDI flood, %s: %d events/s for %.0f s at %d ms play-ahead\n",
                o.queue ? "queued to the audio thread" : "MIDI thread under the engine lock", o.rate, o.seconds,
                o.delayMs);
    std::printf("  silent blocks: %llu; blocks made up a tick later: %u; device underrun frames: %llu;"
                " events sent %llu (refused by the port %llu)\n",
                (unsigned long long)(TAudioInOut::GetSkippedBlocks() - skippedBefore), driver->GetDeferredBlocks(),
                (unsigned long long)m.waves.Underrun(m.speakers), (unsigned long long)injected,
                (unsigned long long)refusedInjects);
    if (o.queue)
      std::printf("  dispatched on the audio thread: %llu (queue full: %llu)\n", (unsigned long long)pacer.dispatched,
                  (unsigned long long)queueRefused.load());
    PrintPacer(pacer);
    std::printf("  whole process: %.2f s wall, %.2f s CPU (%.1f %% of a core)\n", double(wall) / 1e9,
                double(cpu) / 1e9, 100.0 * double(cpu) / double(wall));
  }
  ens.GetTopInstr()->SustainOff();
}

void Edits(const TOptions& o) {
  TMachine m;
  RegisterMultiMediaMidi();
  bench::TQuietOwner owner;
  KEnsemble ens([](int32_t, IAudioOwner* owner) -> IAudioInOut* { return CreateMultiMedia(owner); });
  ens.SetOwner(&owner);
  ens.SetRateFactor(1.0f);
  TRoad road = BuildRoad(ens);
  auto* driver = dynamic_cast<TMultiMedia*>(ens.GetAudio());
  if (!driver) throw bench::TBuildError("the driver is not the program's own");
  driver->SetOutDelay(o.delayMs);
  ens.StartDrivers();
  KSModul* top = ens.GetTopModule();
  const uint64_t skippedBefore = TAudioInOut::GetSkippedBlocks();
  const uint64_t cpu0 = ProcessCpuNs(), wall0 = platform::MonotonicNs();
  TFigures f;
  {
    TPacer pacer(m, driver, nullptr);
    // The left Sawtooth's tone plays throughout. Each round inserts a
    // Sawtooth, wires it to the Audio Out's right input and to the left
    // Sawtooth's amplitude control, and deletes it again: an insert, a wire
    // and a delete every 15 ms on average.
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    TakeLongestEngineLockNs();
    for (int32_t i = 0; i < o.edits; i += 3) {
      KSModul* extra = Insert(top, kTypeSawtooth);
      f.worstHoldNs[0] = std::max(f.worstHoldNs[0], TakeLongestEngineLockNs());
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
      bench::TRig::Wire(extra, 0, road.out, 3, "extra to right");
      f.worstHoldNs[2] = std::max(f.worstHoldNs[2], TakeLongestEngineLockNs());
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
      top->DeleteChild(extra);
      f.worstHoldNs[1] = std::max(f.worstHoldNs[1], TakeLongestEngineLockNs());
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    pacer.Stop();
    const uint64_t wall = platform::MonotonicNs() - wall0, cpu = ProcessCpuNs() - cpu0;
    std::printf("Edits while a tone plays: %d edits (insert, wire, delete) at %d ms play-ahead\n", o.edits, o.delayMs);
    std::printf("  silent blocks: %llu; blocks made up a tick later: %u; device underrun frames: %llu\n",
                (unsigned long long)(TAudioInOut::GetSkippedBlocks() - skippedBefore), driver->GetDeferredBlocks(),
                (unsigned long long)m.waves.Underrun(m.speakers));
    std::printf("  longest engine-lock hold: insert %.3f ms, delete %.3f ms, wire %.3f ms\n",
                double(f.worstHoldNs[0]) / 1e6, double(f.worstHoldNs[1]) / 1e6, double(f.worstHoldNs[2]) / 1e6);
    PrintPacer(pacer);
    std::printf("  whole process: %.2f s wall, %.2f s CPU (%.1f %% of a core)\n", double(wall) / 1e9,
                double(cpu) / 1e9, 100.0 * double(cpu) / double(wall));
  }
}

} // namespace

int main(int argc, char** argv) {
  TOptions o;
  bool floodOnly = false, editsOnly = false;
  for (int i = 1; i < argc; ++i) {
    std::string a = argv[i];
    auto next = [&](double& v) {
      if (i + 1 < argc) v = std::atof(argv[++i]);
    };
    double v = 0;
    if (a == "--seconds") next(o.seconds);
    else if (a == "--rate") next(v), o.rate = int32_t(v);
    else if (a == "--edits") next(v), o.edits = int32_t(v);
    else if (a == "--delay") next(v), o.delayMs = int32_t(v);
    else if (a == "--queue") o.queue = true;
    else if (a == "--flood") floodOnly = true;
    else if (a == "--edit") editsOnly = true;
    else {
      std::fprintf(stderr, "usage: dropout_bench [--seconds N] [--rate N] [--edits N] [--delay MS] [--queue] [--flood|--edit]\n");
      return 2;
    }
  }
  // The settings of the run stay out of the user's own.
  std::string dir = "/tmp/dropout_bench.XXXXXX";
  if (!mkdtemp(dir.data())) return 1;
  setenv("QUORVEX_SETTINGS_DIR", dir.c_str(), 1);
  try {
    if (!editsOnly) Flood(o);
    if (!floodOnly) Edits(o);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "dropout_bench: %s\n", e.what());
    return 1;
  }
  return 0;
}
