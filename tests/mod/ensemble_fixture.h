// A whole ensemble for model and MIDI tests: an offline audio driver, a MIDI
// driver that captures what is sent, and an application double that records
// what the ensemble asks of it.
#pragma once

#include "src/engine/offline.h"
#include "src/engine/event_ids.h"
#include "src/engine/routine_registry.h"
#include "src/midi/midi.h"
#include "src/mod/ensemble.h"
#include "src/mod/instr.h"
#include "src/mod/mod.h"

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace ensfix {

class TCaptureMidi : public TMidiInOut {
public:
  using TMidiInOut::TMidiInOut;
  // (port, packed message) in the order sent.
  std::vector<std::pair<int32_t, uint32_t>> sent;
  int32_t opens = 0;
  int32_t closes = 0;

protected:
  void OpenDevices() override { ++opens; }
  void CloseDevices() override { ++closes; }
  void SendShortMessage(int32_t port, uint32_t message) override { sent.emplace_back(port, message); }
};

class TApp : public IEnsembleOwner {
public:
  bool IsAudioRunning() override { return audioRunning; }
  void SwitchAudioOff() override {
    audioRunning = false;
    ++switchedOff;
  }
  void RefreshCtrlBox() override { ++ctrlBoxRefreshes; }
  KInstr* GetCurrentInstr() override { return current; }
  void ForgetInstr(KInstr* instr) override {
    if (current == instr) current = nullptr;
  }
  void RefreshView() override { ++viewRefreshes; }
  void ClockStateChanged(bool running) override { clock.push_back(running); }
  bool OpenEnsembleFile(const TStr& path) override {
    opened.push_back(path.Std());
    return true;
  }
  std::vector<std::string> opened;
  void ShowControlRate(int32_t hz) override { controlRates.push_back(hz); }
  void ShowClockSettings(float tempo, bool externalSync) override { clockShown.emplace_back(tempo, externalSync); }
  std::vector<int32_t> controlRates;
  std::vector<std::pair<float, bool>> clockShown;

  bool audioRunning = true;
  int32_t switchedOff = 0;
  int32_t ctrlBoxRefreshes = 0;
  int32_t viewRefreshes = 0;
  KInstr* current = nullptr;
  std::vector<bool> clock;
};

inline TMidiInOut* MakeCaptureMidi(IMidiOwner* owner) { return new TCaptureMidi(owner); }

// Installs the capturing MIDI driver for the lifetime of the ensemble.
struct TMidiMakerScope {
  TMidiMakerScope() : previous(SetMidiMaker(MakeCaptureMidi)) {}
  ~TMidiMakerScope() { SetMidiMaker(previous); }
  TMidiMaker previous;
};

class TEnsembleFixture {
public:
  explicit TEnsembleFixture(float sampleRate = 44100.0f)
      : ens([sampleRate](int32_t, IAudioOwner* owner) -> IAudioInOut* {
          return new TOfflineAudio(owner, sampleRate);
        }) {
    ens.SetOwner(&app);
  }

  TCaptureMidi& Midi() { return *dynamic_cast<TCaptureMidi*>(ens.GetMidi()); }
  TOfflineAudio& Driver() { return *dynamic_cast<TOfflineAudio*>(ens.GetAudio()); }
  KSModul* Top() { return ens.GetTopModule(); }
  KInstr* TopInstr() { return ens.GetTopInstr(); }

  static KSModul* Insert(KSModul* parent, TModuleType type) {
    return parent->InsertModule(type, kPlaceNext);
  }
  static int32_t Wire(KSModul* from, int32_t out, KSModul* to, int32_t in) {
    return to->GetInPort(in)->Connect(from->GetOutPort(out));
  }
  KSModul* AddAudioOut() {
    KSModul* out = Top()->InsertModule(kTypeAudioOut, kPlaceAudioOut);
    ens.SetAudioOutModule(out);
    return out;
  }
  // A scope takes a source into processing: its "Trg" input (in-port 0)
  // receives events.
  static KSModul* FeedScope(KSModul* source, KSModul* parent) {
    KSModul* scope = Insert(parent, kTypeScope);
    Wire(source, 0, scope, 0);
    return scope;
  }
  // Messages sent, as status and data bytes.
  std::vector<uint32_t> Sent() {
    std::vector<uint32_t> out;
    for (auto& s : Midi().sent) out.push_back(s.second);
    return out;
  }

  TMidiMakerScope maker;
  TApp app;
  KEnsemble ens;
};

// Records the events that reach a patched event routine.
struct TEvent {
  TEngineRecord* record;
  int32_t voice;
  float value;
};
inline std::vector<TEvent>& RecordedEvents() {
  static std::vector<TEvent> events;
  return events;
}
inline void RecordEvent(TEngineRecord* record, int32_t voice, float value) {
  RecordedEvents().push_back({record, voice, value});
}

// Patches the scope's trigger routine with the recorder and restores it.
class TEventRecorder {
public:
  TEventRecorder() : saved_(RoutineTables().event[evScopeTrigger]) {
    GetEventRoutine(0); // the selector fills the table before it is patched
    saved_ = RoutineTables().event[evScopeTrigger];
    RoutineTables().event[evScopeTrigger] = RecordEvent;
    RecordedEvents().clear();
  }
  ~TEventRecorder() { RoutineTables().event[evScopeTrigger] = saved_; }
  std::vector<TEvent>& Events() { return RecordedEvents(); }
  // Values that reached one voice, in order.
  std::vector<float> ValuesFor(int32_t voice) const {
    std::vector<float> out;
    for (auto& e : RecordedEvents())
      if (e.voice == voice) out.push_back(e.value);
    return out;
  }

private:
  TEventRoutine saved_;
};

} // namespace ensfix
