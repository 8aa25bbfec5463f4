#include "src/audio/audiohost.h"

namespace {

class TStandInServices : public IAudioServices {
public:
  TStandInServices() : tmp_(CreateFileName()), editor_(CreateFileName()) { tmp_->CopyFolder(TempFolder()); }
  IAudioPause* GetAudioDriver() override { return nullptr; }
  float GetProcessingRate() override { return 44100.0f; }
  IFileName* GetTmpDirName() override { return tmp_.Get(); }
  IFileName* GetEditorName() override { return editor_.Get(); }
  int StartProgram(IFileName& program, const TStr& argument) override { return program.Execute(argument); }

private:
  EPtr<IFileName> tmp_;
  EPtr<IFileName> editor_;
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
