// Built without fast-math and without contraction: the table must come out
// the same on every machine, because it is stored in sound files.
#include "src/audio/analysis.h"

#include "src/audio/audiomsg.h"
#include "src/base/system.h"

#include <cmath>
#include <cstring>
#include <limits>
#include <memory>
#include <new>
#include <vector>

int32_t AnalysisWindow(int32_t rate) {
  const int32_t p = int32_t(rate * 0.005);
  return p < 1 ? 1 : p;
}

int32_t AnalysisSearch(int32_t rate) {
  const int32_t s = int32_t(rate * 0.03);
  return s < 0 ? 0 : s;
}

void TAudioAnalysis::Analyse(IAudioBuf& source) {
  const int32_t rate = source.GetRate();
  const int32_t P = AnalysisWindow(rate);
  const int32_t S = AnalysisSearch(rate);
  const int32_t N = source.GetLength() < 0 ? 0 : source.GetLength();
  if (!source.IsFloat()) return;

  // Channel 0 as consecutive floats, followed by zeros for every lag the
  // search can reach past the end.
  std::vector<float> x;
  try {
    x.assign(size_t(N) + size_t(S > P ? S : P) + size_t(P), 0.0f);
  } catch (const std::bad_alloc&) {
    ThrowAudioMemoryLow();
  }
  for (int32_t i = 0; i < N; ++i) x[size_t(i)] = source.GetSample(i, 0);

  SetFormat(1, 0, 32, 1, P, N / P + 2, 0);
  int32_t* entry = GetEntries();
  const int32_t count = GetEntryCount();

  std::unique_ptr<IProgress, void (*)(IProgress*)> progress(CreateProgress(TStr("Analysing Your Sound.."), 0, 100, 0),
                                                           [](IProgress* p) { SafeDelete(p); });
  if (!progress) ThrowAudioMemoryLow();

  int32_t start = 0, previous = 0, K = 0;
  while (int64_t(start) + P < N) {
    progress->Update(int32_t((int64_t(start) + P) * 100 / N));
    float best = 0.0f;
    int32_t bestLag = start + P;
    for (int32_t lag = start + P; lag < start + S; ++lag) {
      float c = 0.0f;
      const float* a = &x[size_t(start)];
      const float* b = &x[size_t(lag)];
      for (int32_t k = 0; k < P; ++k) c += a[k] * b[k];
      if (c > best) {
        best = c;
        bestLag = lag;
      }
    }
    while (K < bestLag / P && K < count) entry[K++] = previous;
    previous = bestLag;
    start = bestLag;
  }
  while (int64_t(K) * P < N && K < count) entry[K++] = previous;
  if (K < count) entry[K] = N;
}

int32_t TAudioAnalysis::EndIndex() {
  const int32_t count = GetEntryCount();
  if (count < 2) return count - 1;
  const int32_t* entry = GetEntries();
  return entry[count - 1] != 0 ? count - 1 : count - 2;
}

int32_t TAudioAnalysis::FindPeriodStart(int32_t& position) {
  if (position < 1 || GetEntryCount() < 1) {
    position = 0;
    return 0;
  }
  const int32_t* entry = GetEntries();
  const int32_t endIndex = EndIndex();
  const int32_t last = entry[endIndex];
  const int32_t P = GetWindowLength();
  if (position < last && P > 0 && position / P < GetEntryCount()) {
    const int32_t i = position / P;
    position = entry[i];
    return i;
  }
  position = last;
  return endIndex;
}

int32_t TAudioAnalysis::GetPeriod(int32_t& position, float& length) {
  double sum = double(position) + double(length);
  if (!(sum > -2147483648.0)) sum = -2147483648.0; // also NaN
  if (sum > 2147483647.0) sum = 2147483647.0;
  int32_t end = int32_t(sum);
  const int32_t i = FindPeriodStart(position);
  int32_t j = FindPeriodStart(end);
  const int32_t endIndex = EndIndex();
  const int32_t* entry = GetEntries();
  while (end == position && j < endIndex) end = entry[++j];
  length = float(end - position);
  if (length <= 0.0f) length = 5.0f;
  return i;
}

bool TAudioAnalysis::Fits(int32_t length, int32_t rate) {
  if (length < 0) return false;
  const int32_t P = AnalysisWindow(rate);
  if (GetWindowLength() != P || GetEntryCount() != length / P + 2) return false;
  if (GetChannels() != 1 || !IsFloat() || IsInterleaved() || GetBits() != 32) return false;
  const int32_t* entry = GetEntries();
  if (!entry) return false;
  for (int32_t i = 0; i < GetEntryCount(); ++i)
    if (entry[i] < 0 || entry[i] > length) return false;
  return true;
}

IAudioAnalysis* CreateAudioAnalysis() { return new (std::nothrow) TAudioAnalysis; }

IAudioAnalysis* CreateAudioAnalysis(IAudioBuf& source) {
  TAudioAnalysis* a = new (std::nothrow) TAudioAnalysis;
  if (!a) ThrowAudioMemoryLow();
  try {
    a->Analyse(source);
  } catch (...) {
    delete a;
    throw;
  }
  return a;
}

// ---------------------------------------------------------------- chunk

TAnalysisChunk::TAnalysisChunk(IAudioAnalysis* analysis) : analysis_(analysis) {
  if (analysis_) SetDataSize(analysis_->GetStoredSize());
}

TAnalysisChunk::~TAnalysisChunk() {
  DestructorBody([this] {
    if (owned_) SafeDelete(analysis_);
  });
}

TAudioStream& TAnalysisChunk::Read(TAudioStream& file) {
  const int32_t size = GetDataSize();
  const uint32_t start = file.Tell();
  // A table whose header does not describe itself is dropped, not refused:
  // the sound is still good and can be analysed again.
  bool usable = size >= 24;
  if (usable) {
    uint32_t h[6];
    for (uint32_t& v : h) v = file.ReadU32();
    const uint32_t count = h[0], channels = h[1], window = h[2], interleaved = h[3], bits = h[4], isFloat = h[5];
    usable = count >= 2 && channels == 1 && window >= 1 && window <= uint32_t(INT32_MAX) && interleaved == 0 &&
             bits == 32 && isFloat == 1 && uint64_t(count) * 4 + 24 <= uint64_t(size);
    file.Seek(int32_t(start));
  }
  if (!usable) {
    SetDataSize(0);
    return file;
  }
  if (!analysis_) {
    analysis_ = CreateAudioAnalysis();
    if (!analysis_) ThrowAudioMemoryLow();
    owned_ = true;
  }
  analysis_->Read(file);
  SetDataSize(analysis_->GetStoredSize());
  return file;
}

TAudioStream& TAnalysisChunk::Write(TAudioStream& file) {
  if (analysis_ && GetDataSize() > 0) analysis_->Write(file);
  return file;
}

void TAnalysisChunk::Apply(IChunkTarget& target) {
  if (!analysis_ || !owned_ || target.GetAnalysis()) return;
  target.AdoptAnalysis(analysis_);
  owned_ = false;
}
