#include "src/mod/moddata.h"

#include "src/mod/modaudio.h"
#include "src/mod/mod.h"

KModulData& KSModul::Data() {
  if (!data_) data_ = std::make_unique<KModulData>();
  return *data_;
}

void NotifyRateChange(KSModul& m) {
  if (IAudioFileMap* map = m.GetSampleMap()) map->UpdateRates();
  if (IDelayBuffer* delay = m.GetDelayBuffer()) delay->Reallocate();
  if (IRecordBuffer* tape = m.GetRecordBuffer()) tape->OnRateChange();
  for (int32_t i = 0; i < m.GetChildCount(); ++i) NotifyRateChange(*m.GetChild(i));
}
