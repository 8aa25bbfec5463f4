#include "src/audio/buffers.h"

#include "src/audio/audiofile.h"
#include "src/audio/audiomsg.h"

#include <algorithm>
#include <cmath>
#include <new>

namespace {
QV_MESSAGE(RateChangedWithData, "Tapedeck Module contains Audio Data recorded at another Sample Rate.\n"
                                "Audio will be played back at new Sample Rate")

float ProcessingRate() { return AudioServices().GetProcessingRate(); }

int32_t TruncateRate(float rate) {
  if (!(rate >= 1.0f)) return 0;
  return rate >= float(INT32_MAX) ? INT32_MAX : int32_t(rate);
}
} // namespace

int32_t FramesForMs(float rate, int32_t ms) {
  const double frames = double(rate) * (double(ms) * 0.001);
  // A negative length or a rate that is no rate leaves an empty line.
  if (!(frames > 0.0)) return 0;
  return frames >= double(INT32_MAX) ? INT32_MAX : int32_t(frames);
}

// ---------------------------------------------------------------- delay

TDelayBuffer::TDelayBuffer(IAudioObjectOwner* owner, int32_t lineCount, int32_t lengthMs)
    : owner_(owner), lineCount_(std::clamp(lineCount, 1, kMaxLines)), lengthMs_(std::clamp(lengthMs, 0, kMaxLengthMs)) {
  try {
    Allocate();
  } catch (...) {
    // No destructor runs for an object that was never made: the lines the
    // fallback made are freed here.
    DeleteLines();
    throw;
  }
}

TDelayBuffer::~TDelayBuffer() {
  DestructorBody([this] { DeleteLines(); });
}

void TDelayBuffer::DeleteLines() {
  for (IAudioBuf*& line : lines_) {
    SafeDelete(line);
    line = nullptr;
  }
}

void TDelayBuffer::MakeLines(int32_t ms) {
  const float rate = ProcessingRate();
  const int32_t frames = FramesForMs(rate, ms);
  for (int32_t i = 0; i < lineCount_; ++i) {
    lines_[i] = CreateAudioBuf(1, 0, 32, 1, TruncateRate(rate), frames, 3);
    if (!lines_[i]) ThrowAudioMemoryLow();
  }
}

void TDelayBuffer::Allocate() {
  // The engine reads the lines by address: no line goes away while it runs.
  TAudioPauseGuard pause(AudioServices().GetAudioDriver());
  DeleteLines();
  try {
    MakeLines(lengthMs_);
  } catch (...) {
    // Fall back to empty lines, so that every voice still finds one.
    DeleteLines();
    lengthMs_ = 0;
    try {
      MakeLines(0);
    } catch (...) {
      DeleteLines();
    }
    if (owner_) owner_->UpdateBufferRoutine();
    throw;
  }
  if (owner_) owner_->UpdateBufferRoutine();
}

void TDelayBuffer::SetLineCount(int32_t count) {
  count = std::clamp(count, 1, kMaxLines);
  if (count == lineCount_) return;
  lineCount_ = count;
  Allocate();
}

void TDelayBuffer::SetLengthMs(int32_t ms) {
  lengthMs_ = std::clamp(ms, 0, kMaxLengthMs);
  Allocate();
}

IAudioBuf* TDelayBuffer::GetLine(int32_t index) {
  if (index < 0 || index >= lineCount_) return nullptr;
  return lines_[index];
}

IDelayBuffer* CreateDelayBuffer(IAudioObjectOwner* owner, int32_t lineCount, int32_t lengthMs) {
  return new (std::nothrow) TDelayBuffer(owner, lineCount, lengthMs);
}

// ---------------------------------------------------------------- record

TRecordBuffer::TRecordBuffer(IAudioObjectOwner* owner, int32_t channels)
    : owner_(owner), fileName_(CreateFileName()), samples_(CreateAudioBuf()) {
  if (!samples_) ThrowAudioMemoryLow();
  samples_->SetFormat(0, 1, 16, std::clamp(channels, 1, 2), TruncateRate(ProcessingRate()), 0, 0);
}

TRecordBuffer::~TRecordBuffer() = default;

void TRecordBuffer::RefreshOwner() {
  if (owner_) owner_->UpdateSampleData();
}

int32_t TRecordBuffer::HasFileName() { return fileName_->GetName(1).IsEmpty() ? 0 : 1; }

void TRecordBuffer::Reload() {
  if (!HasFileName()) return;
  EPtr<IFileName> name(CreateFileName());
  name->Assign(*fileName_);
  Load(*name);
}

void TRecordBuffer::SaveToFileName() {
  if (HasFileName()) Save(*fileName_);
}

void TRecordBuffer::SetRecordedLength(int32_t frames) { recorded_ = std::clamp(frames, 0, samples_->GetLength()); }

int32_t TRecordBuffer::GetLengthMs() {
  if (samples_->GetRate() <= 0) return 0;
  const double ms = samples_->GetLengthMs();
  return ms >= double(INT32_MAX) ? INT32_MAX : int32_t(ms);
}

void TRecordBuffer::SetLengthMs(int32_t ms) {
  TAudioPauseGuard pause(AudioServices().GetAudioDriver());
  try {
    samples_->SetLength(FramesForMs(float(samples_->GetRate()), ms));
    samples_->Clear();
  } catch (...) {
    // The failed buffer is made empty again, ready for the next length.
    IAudioBuf& b = *samples_;
    try {
      b.SetFormat(b.IsFloat(), b.IsInterleaved(), b.GetBits(), b.GetChannels(), b.GetRate(), 0, b.GetMargin());
    } catch (...) {
      // Still empty: the next length tries again.
    }
    recorded_ = 0;
    RefreshOwner();
    throw;
  }
  recorded_ = std::min(recorded_, samples_->GetLength());
  RefreshOwner();
}

void TRecordBuffer::Load(IFileName& name) {
  EPtr<IAudioFile> file(OpenAudioFile(&name, 1024));
  if (samples_->GetRate() != file->GetRate()) {
    AudioRateDiffers().SetParam(1, name.GetPath());
    ShowMessage(&AudioRateDiffers(), 0);
  }
  // Read into a buffer of its own: a file that fails part-way leaves the
  // recording as it was.
  EPtr<IAudioBuf> loaded(CreateAudioBuf());
  if (!loaded) ThrowAudioMemoryLow();
  const int32_t length = file->GetFileLength();
  loaded->SetFormat(0, 1, 16, samples_->GetChannels(), file->GetRate(), length, 0);
  file->LoadInto(loaded.Get());
  file.Set(nullptr);
  {
    TAudioPauseGuard pause(AudioServices().GetAudioDriver());
    samples_ = std::move(loaded);
    recorded_ = length;
    if (&name != fileName_.Get()) fileName_->Assign(name);
  }
  RefreshOwner();
}

void TRecordBuffer::Save(IFileName& name) {
  if (!HasData()) return;
  const int32_t frames = std::min(recorded_, samples_->GetLength());
  EPtr<IAudioBuf> recorded(CreateAudioBuf(0, 1, 16, samples_->GetChannels(), samples_->GetRate(), frames, 0));
  if (!recorded) ThrowAudioMemoryLow();
  recorded->CopyFrom(samples_.Get(), frames, 0, 0, 0);
  TSoundSettings settings;
  settings.loopEnd = frames - 1;
  SaveAudioFileReplacing(&name, *recorded, settings);
}

void TRecordBuffer::OnRateChange() {
  if (HasData()) ShowMessage(&RateChangedWithData(), 0);
  samples_->SetRate(TruncateRate(ProcessingRate()));
}

IRecordBuffer* CreateRecordBuffer(IAudioObjectOwner* owner, int32_t channels, int32_t lengthMs) {
  TRecordBuffer* buffer = new (std::nothrow) TRecordBuffer(owner, channels);
  if (!buffer) ThrowAudioMemoryLow();
  try {
    buffer->SetLengthMs(lengthMs);
  } catch (...) {
    delete buffer;
    throw;
  }
  return buffer;
}
