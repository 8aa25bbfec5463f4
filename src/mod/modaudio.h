// The audio objects of the sampler, delay and tape deck modules and the
// commands that load, reload, save and export their sounds.
#pragma once

#include "src/audio/audiohost.h"
#include "src/audio/buffers.h"
#include "src/audio/samplemap.h"
#include "src/base/tools.h"

class KSModul;

// Owns a module's sample map, delay buffer or record buffer and passes their
// change notices on to the module.
class KModulAudio : public IAudioObjectOwner {
public:
  explicit KModulAudio(KSModul* module) : module_(module) {}
  ~KModulAudio() override;
  KModulAudio(const KModulAudio&) = delete;
  KModulAudio& operator=(const KModulAudio&) = delete;

  void UpdateBufferRoutine() override;
  void UpdateSampleData() override;
  void UpdateSampleRoutine() override;
  int IsType(int category, int index) override;
  int IsBackupSound() override;

  EPtr<IAudioFileMap> map;
  EPtr<IDelayBuffer> delay;
  EPtr<IRecordBuffer> record;

private:
  KSModul* module_;
  bool dying_ = false;
};

// The folder every audio file dialog starts in and remembers.
IFileName* AudioWorkFolder();
