// The engine as the sound-file objects' stand-in services see it: they pause
// the current driver around their changes and take the processing rate.
#include "src/audio/audiohost.h"
#include "src/engine/audioio.h"
#include "src/engine/tables.h"

namespace {

// Pauses whichever driver is current; drivers are replaced only while
// nothing is paused.
class TCurrentDriver final : public IAudioPause {
public:
  void Pause() override {
    if (IAudioInOut* driver = GetCurrentAudioInOut()) driver->Pause();
  }
  void Resume() override {
    if (IAudioInOut* driver = GetCurrentAudioInOut()) driver->Resume();
  }
};

class TEngineState final : public IEngineState {
public:
  IAudioPause* GetRunningDriver() override { return GetCurrentAudioInOut() ? &driver_ : nullptr; }
  float GetEngineRate() override { return EngineConstants.processingRate; }

private:
  TCurrentDriver driver_;
};

// Constant-initialised: linking it in is a pointer store, safe on any thread.
TEngineState engineState;

} // namespace

void LinkEngineToAudioServices() { SetEngineState(&engineState); }
