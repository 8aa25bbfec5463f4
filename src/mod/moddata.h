// What a module keeps beyond the tree and the engine: the sound objects of
// the delay, tapedeck and sampler types, and the settings its file record
// stores for windows, driver modules and the sync source.
#pragma once

#include "src/audio/audiohost.h"
#include "src/audio/buffers.h"
#include "src/audio/samplemap.h"
#include "src/base/tools.h"

#include <cstdint>

class KSModul;

class KModulData : public IAudioObjectOwner {
public:
  explicit KModulData(KSModul* module) : module_(module) {}
  ~KModulData() override = default;
  KModulData(const KModulData&) = delete;
  KModulData& operator=(const KModulData&) = delete;

  // IAudioObjectOwner: the engine side of the sound objects follows them through
  // the module's set-up.
  void UpdateBufferRoutine() override {}
  void UpdateSampleData() override {}
  void UpdateSampleRoutine() override {}
  int IsType(int category, int index) override;
  int IsBackupSound() override;

  IAudioFileMap* GetSampleMap() const { return map_.Get(); }
  // Makes the sample map when the module has none.
  IAudioFileMap* EnsureSampleMap(int32_t analyse);
  IRecordBuffer* GetRecordBuffer() const { return tape_.Get(); }
  IRecordBuffer* EnsureRecordBuffer(int32_t channels, int32_t lengthMs);
  IDelayBuffer* GetDelayBuffer() const { return delay_.Get(); }
  IDelayBuffer* EnsureDelayBuffer(int32_t lengthMs);

  // Window opening numbers: 0 closed, else the order windows reopen in.
  int32_t panelOpenNo = 0;
  int32_t structOpenNo = 0;
  // Set by the reader on driver modules: 0 none, 1 to be removed, 2 to take
  // the place of the ensemble's own.
  int32_t loadMark = 0;
  // The two clock words of the sync source.
  int32_t syncWords[2] = {12, 6};

private:
  KSModul* module_;
  EPtr<IAudioFileMap> map_;
  EPtr<IRecordBuffer> tape_;
  EPtr<IDelayBuffer> delay_;
};

// The processing rate changed: every sample map, delay buffer and record
// buffer of the subtree follows it.
void NotifyRateChange(KSModul& m);
