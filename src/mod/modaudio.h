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

// The driver paused and the module's structure-change bracket open for a
// scope (a sound or map command); both close on every path, in the reverse
// order.
class IAudioInOut;

// The driver of the module's ensemble paused for a scope (none for a null
// module or one without a host).
class TAudioPause {
public:
  explicit TAudioPause(KSModul* module);
  ~TAudioPause();
  TAudioPause(const TAudioPause&) = delete;
  TAudioPause& operator=(const TAudioPause&) = delete;

private:
  IAudioInOut* audio_;
};

class TAudioCommand {
public:
  explicit TAudioCommand(KSModul* module);
  ~TAudioCommand();
  TAudioCommand(const TAudioCommand&) = delete;
  TAudioCommand& operator=(const TAudioCommand&) = delete;

private:
  TAudioPause pause_;
  KSModul* module_;
};

// The folder every audio file dialog starts in and remembers.
IFileName* AudioWorkFolder();

// The processing rate changed: every sample map, delay buffer and record
// buffer of the subtree follows it.
void NotifyRateChange(KSModul& m);
