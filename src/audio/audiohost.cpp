#include "src/audio/audiohost.h"

#include "src/audio/audioio.h"
#include "src/engine/tables.h"

namespace {

// The driver that is current; drivers are replaced only while nothing is paused.
class TCurrentDriver : public IAudioPause {
public:
  void Pause() override {
    if (IAudioInOut* driver = GetCurrentAudioInOut()) driver->Pause();
  }
  void Resume() override {
    if (IAudioInOut* driver = GetCurrentAudioInOut()) driver->Resume();
  }
};

class TStandInServices : public IAudioServices {
public:
  TStandInServices() : tmp_(CreateFileName()), editor_(CreateFileName()) { tmp_->CopyFolder(TempFolder()); }
  IAudioPause* GetAudioDriver() override { return GetCurrentAudioInOut() ? &driver_ : nullptr; }
  float GetProcessingRate() override {
    const float rate = EngineConstants.processingRate;
    return rate > 0.0f ? rate : 44100.0f;
  }
  IFileName* GetTmpDirName() override { return tmp_.Get(); }
  IFileName* GetEditorName() override { return editor_.Get(); }
  int StartProgram(IFileName& program, const TStr& argument) override { return program.Execute(argument); }

private:
  EPtr<IFileName> tmp_;
  EPtr<IFileName> editor_;
  TCurrentDriver driver_;
};

IAudioServices*& Installed() {
  static IAudioServices* installed = nullptr;
  return installed;
}

} // namespace

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
