#include "src/audio/audiohost.h"

#include <atomic>

namespace {

std::atomic<IEngineState*> engineState{nullptr};

class TStandInServices : public IAudioServices {
public:
  TStandInServices() : editor_(CreateFileName()) {}
  IAudioPause* GetAudioDriver() override {
    IEngineState* engine = engineState.load();
    return engine ? engine->GetRunningDriver() : nullptr;
  }
  float GetProcessingRate() override {
    IEngineState* engine = engineState.load();
    const float rate = engine ? engine->GetEngineRate() : 0.0f;
    return rate > 0.0f ? rate : 44100.0f;
  }
  // The process-wide temporary folder, as the application's settings set it
  // at any time after start-up.
  IFileName* GetTmpDirName() override { return TempFolder(); }
  IFileName* GetEditorName() override { return editor_.Get(); }
  int StartProgram(IFileName& program, const TStr& argument) override { return program.Execute(argument); }

private:
  EPtr<IFileName> editor_;
};

IAudioServices*& Installed() {
  static IAudioServices* installed = nullptr;
  return installed;
}

} // namespace

void SetEngineState(IEngineState* state) { engineState.store(state); }

IAudioServices& AudioServices() {
  if (Installed()) return *Installed();
  // Lives until the process ends.
  static TStandInServices* standIn = new TStandInServices;
  return *standIn;
}

IAudioServices* SetAudioServices(IAudioServices* services) {
  IAudioServices* previous = Installed();
  Installed() = services;
  return previous;
}
