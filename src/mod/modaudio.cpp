#include "src/mod/modaudio.h"

#include "src/audio/buffers.h"
#include "src/engine/audioio.h"
#include "src/base/str.h"
#include "src/engine/sampler_routines.h"
#include "src/mod/mod.h"

#include <exception>

namespace {

QV_MESSAGE(DelayLengthBounded, "Current available delay length can be maximum $1 ms.");

bool IsSamplerType(int32_t type) {
  switch (type) {
  case kTypeSampler.type:
  case kTypeSamplerFm.type:
  case kTypeSamplerLoop.type:
  case kTypeSampleLookup.type:
  case kTypeBeatLoop.type:
  case kTypeResynth.type:
  case kTypePitchFormer.type: return true;
  default: return false;
  }
}
bool IsDelayType(int32_t type) {
  return type == kTypeStaticDelay.type || type == kTypeModDelay.type || type == kTypeScope.type ||
         type == kTypeDiffuserDelay.type || type == kTypeGrainDelay.type;
}
bool IsTapeType(int32_t type) { return type == kTypeTapedeck1.type || type == kTypeTapedeck2.type; }

} // namespace

IFileName* AudioWorkFolder() {
  static IFileName* folder = CreateFileName();
  return folder;
}

void KModulAudioDelete::operator()(KModulAudio* audio) const { delete audio; }

KModulAudio::~KModulAudio() {
  // The objects may report changes while they go; nobody is told any more.
  dying_ = true;
  map.Set(nullptr);
  delay.Set(nullptr);
  record.Set(nullptr);
}

void KModulAudio::UpdateBufferRoutine() {
  if (!dying_) module_->UpdateBufferRoutine();
}
void KModulAudio::UpdateSampleData() {
  if (!dying_) module_->RefreshSampleData();
}
void KModulAudio::UpdateSampleRoutine() {
  if (!dying_) module_->UpdateSampleRoutine();
}
int KModulAudio::IsType(int category, int index) { return module_->IsType(category, index) ? 1 : 0; }
int KModulAudio::IsBackupSound() { return module_->IsBackupSound() ? 1 : 0; }

// ---------------------------------------------------------------------------
// KSModul: audio objects and settings

void NotifyRateChange(KSModul& m) {
  if (IAudioFileMap* map = m.GetSampleMap()) map->UpdateRates();
  if (IDelayBuffer* delay = m.GetDelayBuffer()) delay->Reallocate();
  if (IRecordBuffer* tape = m.GetRecordBuffer()) tape->OnRateChange();
  for (int32_t i = 0; i < m.GetChildCount(); ++i) NotifyRateChange(*m.GetChild(i));
}

IAudioFileMap* KSModul::GetSampleMap() const { return audio_ ? audio_->map.Get() : nullptr; }
IDelayBuffer* KSModul::GetDelayBuffer() const { return audio_ ? audio_->delay.Get() : nullptr; }
IRecordBuffer* KSModul::GetRecordBuffer() const { return audio_ ? audio_->record.Get() : nullptr; }

void KSModul::SetAudioRangeMaximum() {
  if (category_ != kCatModule) return;
  switch (type_) {
  case kTypeStaticDelay.type:
  case kTypeModDelay.type:
  case kTypeScope.type:
  case kTypeGrainDelay.type: maximum_ = 1000.0f; break;
  case kTypeDiffuserDelay.type: maximum_ = 200.0f; break;
  case kTypeEventSmoother.type: case kTypeAudioToEventSmoothed.type: maximum_ = 100.0f; break;
  default:
    if (IsTapeType(type_) || IsSamplerType(type_)) maximum_ = 20.0f;
    break;
  }
}

void KSModul::CreateAudioObjects() {
  if (category_ != kCatModule) return;
  if (!IsSamplerType(type_) && !IsDelayType(type_) && !IsTapeType(type_)) return;
  if (!audio_) audio_.reset(new KModulAudio(this));
  KModulAudio& a = *audio_;
  if (IsSamplerType(type_) && !a.map) {
    const int32_t analyse =
        (type_ == kTypeBeatLoop.type || type_ == kTypeResynth.type || type_ == kTypePitchFormer.type) ? 1 : 0;
    a.map.Set(CreateAudioFileMap(&a, analyse));
  } else if (IsDelayType(type_) && !a.delay) {
    // Without memory the module simply has no lines: no message.
    // A stored length is bounded as the buffer bounds a typed one; the
    // maximum then says what the buffer holds.
    float ms = maximum_ > 0.0f ? maximum_ : 0.0f; // also NaN
    if (ms > float(TDelayBuffer::kMaxLengthMs)) {
      // Told as the property dialog tells a length asked beyond the bound.
      maximum_ = ms = float(TDelayBuffer::kMaxLengthMs);
      DelayLengthBounded().SetParam(1, FormatStr("%d", int(TDelayBuffer::kMaxLengthMs)));
      ShowMessage(&DelayLengthBounded(), 0);
    }
    try {
      a.delay.Set(CreateDelayBuffer(&a, 1, int32_t(ms)));
    } catch (...) {
      a.delay.Set(nullptr);
    }
  } else if (IsTapeType(type_) && !a.record) {
    a.record.Set(CreateRecordBuffer(&a, type_ == kTypeTapedeck2.type ? 2 : 1, 20000));
  }
}

void KSModul::SetQuality(int32_t quality) {
  if (quality < 0) quality = 0;
  if (quality > 2) quality = 2;
  flags_ = (flags_ & ~(3u << 13)) | (uint32_t(quality) << 13);
  if (GetDelayBuffer()) UpdateBufferRoutine();
  else if (GetSampleMap()) UpdateSampleRoutine();
}

void KSModul::SetLoopOn(bool on) {
  SetFlag(kFlagLoop, on);
  if (GetSampleMap()) UpdateSampleRoutine();
  if (GetRecordBuffer()) RefreshSampleData();
}

void KSModul::SetDirection(int32_t direction) {
  flags_ = (flags_ & ~(3u << 16)) | (uint32_t(direction & 3) << 16);
  if (GetSampleMap()) UpdateSampleRoutine();
}

void KSModul::SetOscilMode(bool on) {
  SetFlag(kFlagOscil, on);
  if (GetSampleMap()) UpdateSampleRoutine();
}

// ---------------------------------------------------------------------------
// Voice set-up and routine choice

void KSModul::UpdateSampleRoutine() {
  if (!record_ || category_ != kCatModule) return;
  const TVoiceSetup setup = (IsSamplerType(type_) || type_ == kTypeDemux.type) ? FindVoiceSetup(type_) : nullptr;
  if (!setup) return;
  {
    // The audio thread reads the voices: a map edited from a dialog (outside
    // any bracket) must not change them under a running block.
    TEngineLock lock;
    if (record_->state)
      for (int32_t v = 0; v < record_->voices; ++v) setup(record_->state.Contiguous(v), this, v);
    if (IsChosenByQuality(type_)) {
      IAudioFileMap* map = GetSampleMap();
      const bool stereo = IsChosenByStereo(type_) && map && map->IsStereo();
      if (TAudioRoutine routine = FindSampleRoutine(type_, stereo, GetQuality()))
        if (TAudioInOut* driver = Driver()) driver->ReplaceSlotRoutine(this, routine);
    }
  }
  if (host_) host_->UpdateCtrlViews(this);
}

void KSModul::UpdateBufferRoutine() {
  if (!record_ || category_ != kCatModule || !IsDelayType(type_)) return;
  TEngineLock lock;
  if (IDelayBuffer* buffer = GetDelayBuffer()) {
    try {
      buffer->SetLineCount(record_->voices);
    } catch (const TError&) {
      // Lines that could not be made leave those voices without a line.
    }
  }
  if (!record_) return;
  const TVoiceSetup setup = FindVoiceSetup(type_);
  if (record_->state && setup) {
    const int32_t voices = type_ == kTypeScope.type ? 1 : record_->voices;
    for (int32_t v = 0; v < voices; ++v) setup(record_->state.Contiguous(v), this, v);
  }
  if (type_ == kTypeModDelay.type || type_ == kTypeGrainDelay.type)
    if (TAudioRoutine routine = FindBufferRoutine(type_, GetQuality()))
      if (TAudioInOut* driver = Driver()) driver->ReplaceSlotRoutine(this, routine);
}

void KSModul::RefreshSampleData() {
  if (!record_ || category_ != kCatModule || !IsTapeType(type_)) return;
  {
    TEngineLock lock;
    if (record_->state) FindVoiceSetup(type_)(record_->state.Contiguous(0), this, 0);
  }
  if (host_) host_->UpdateCtrlViews(this);
}

void KSModul::RefreshAudioRoutine() {
  if (category_ != kCatModule) return;
  if (IsDelayType(type_)) UpdateBufferRoutine();
  else if (IsTapeType(type_)) RefreshSampleData();
  else if (IsSamplerType(type_) || type_ == kTypeDemux.type) UpdateSampleRoutine();
}

// ---------------------------------------------------------------------------
// Commands

TAudioPause::TAudioPause(KSModul* module)
    : audio_(module && module->GetHost() ? module->GetHost()->GetAudio() : nullptr) {
  if (audio_) audio_->Pause();
}

TAudioPause::~TAudioPause() {
  if (audio_) audio_->Resume();
}

TAudioCommand::TAudioCommand(KSModul* module) : pause_(module), module_(module) {
  module_->BeginStructureChange();
}

// The pause ends after the bracket closes.
TAudioCommand::~TAudioCommand() { module_->EndStructureChange(); }

void KSModul::LoadAudio() {
  if (category_ != kCatModule) return;
  const bool tape = IsTapeType(type_);
  if (!tape && !IsSamplerType(type_)) return;
  EPtr<IFileName> file(CreateFileName());
  const bool audioOnly = tape || type_ == kTypeSampleLookup.type;
  const TStr title(audioOnly ? "Open Audio-File" : "Open Audio-File or Map-File");
  if (!file->OpenDialog(title, AudioWorkFolder(), audioOnly ? 9 : 10)) return;
  if (host_) host_->CommitPendingUndo();
  {
    TAudioCommand command(this);
    if (tape) {
      IRecordBuffer* buffer = GetRecordBuffer();
      const bool loaded = ShowingErrors([&] {
        if (!buffer) return;
        buffer->Load(*file);
        maximum_ = float(buffer->GetLengthMs()) * 0.001f;
      });
      if (!loaded) maximum_ = 0.0f;
    } else if (IAudioFileMap* map = GetSampleMap()) {
      ShowingErrors([&] { map->Load(file.Get()); });
    }
  }
  if (host_) host_->UpdateCtrlViews(this);
}

void KSModul::ReloadAudio() {
  if (category_ != kCatModule) return;
  if (host_) host_->CommitPendingUndo();
  TAudioCommand command(this);
  if (IRecordBuffer* buffer = GetRecordBuffer()) ShowingErrors([&] { buffer->Reload(); });
  else if (IAudioFileMap* map = GetSampleMap()) ShowingErrors([&] { map->ReloadAll(); });
}

void KSModul::ExportAudio() {
  IRecordBuffer* buffer = GetRecordBuffer();
  if (category_ != kCatModule || !IsTapeType(type_) || !buffer) return;
  EPtr<IFileName> file(CreateFileName());
  if (!file->SaveDialog(TStr("Save Audio File"), AudioWorkFolder(), 4)) return;
  {
    TAudioCommand command(this);
    ShowingErrors([&] { buffer->Save(*file); });
  }
  if (host_) host_->UpdateCtrlViews(this);
}

void KSModul::AudioAction() {
  if (IRecordBuffer* buffer = GetRecordBuffer()) ShowingErrors([&] { buffer->SaveToFileName(); });
}

int32_t KSModul::HasAudio() const {
  if (IRecordBuffer* buffer = GetRecordBuffer()) return buffer->HasFileName();
  if (IAudioFileMap* map = GetSampleMap()) return map->HasSamples();
  return 0;
}

int32_t KSModul::HasAudio2() const {
  if (IRecordBuffer* buffer = GetRecordBuffer()) return buffer->HasData() ? 1 : 0;
  if (IAudioFileMap* map = GetSampleMap()) return map->HasSamples();
  return 0;
}

// ---------------------------------------------------------------------------
// Processor load

float KSModul::UpdateCpuLoad(bool measure) {
  if (childCount_ > 0) {
    float sum = 0.0f;
    for (int32_t i = 0; i < childCount_; ++i) sum += children_[i]->UpdateCpuLoad(measure);
    cpuLoad_ = sum;
  } else if (measure && record_) {
    // A module whose slot is not found keeps its last figure.
    if (TAudioInOut* driver = Driver())
      for (int32_t i = 0; i < driver->GetSlotCount(); ++i)
        if (EngineSlots.records[i] == record_) {
          cpuLoad_ = driver->GetSlotUsage(i);
          break;
        }
  } else {
    cpuLoad_ = 0.0f;
  }
  return cpuLoad_;
}
