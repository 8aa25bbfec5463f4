#include "src/mod/moddata.h"

#include "src/mod/mod.h"

int KModulData::IsType(int category, int index) { return module_->IsType(category, index) ? 1 : 0; }

int KModulData::IsBackupSound() { return module_->IsBackupSound() ? 1 : 0; }

IAudioFileMap* KModulData::EnsureSampleMap(int32_t analyse) {
  if (!map_) map_.Set(CreateAudioFileMap(this, analyse));
  return map_.Get();
}

IRecordBuffer* KModulData::EnsureRecordBuffer(int32_t channels, int32_t lengthMs) {
  if (!tape_) tape_.Set(CreateRecordBuffer(this, channels, lengthMs));
  return tape_.Get();
}

IDelayBuffer* KModulData::EnsureDelayBuffer(int32_t lengthMs) {
  if (!delay_) delay_.Set(CreateDelayBuffer(this, 1, lengthMs));
  return delay_.Get();
}

KModulData& KSModul::Data() {
  if (!data_) data_ = std::make_unique<KModulData>(this);
  return *data_;
}

void NotifyRateChange(KSModul& m) {
  if (KModulData* d = m.GetData()) {
    if (IAudioFileMap* map = d->GetSampleMap()) map->UpdateRates();
    if (IDelayBuffer* delay = d->GetDelayBuffer()) delay->Reallocate();
    if (IRecordBuffer* tape = d->GetRecordBuffer()) tape->OnRateChange();
  }
  for (int32_t i = 0; i < m.GetChildCount(); ++i) NotifyRateChange(*m.GetChild(i));
}
