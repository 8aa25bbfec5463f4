#include "src/audio/audiofile.h"

#include "platform/fs.h"
#include "src/audio/audiomsg.h"
#include "src/audio/chunk.h"
#include "src/audio/wavchunks.h"
#include "src/base/system.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <memory>
#include <new>
#include <stdexcept>

// ---------------------------------------------------------------- TAudioFile

namespace {

// The file object seen as the stream the chunks are read from and written to.
class TFileAudioStream : public TAudioStream {
public:
  explicit TFileAudioStream(IFile& file) : file_(file) {}
  void RawWrite(const void* buffer, uint32_t count) override { file_.Write(buffer, count); }
  uint32_t RawRead(void* buffer, uint32_t count) override { return file_.Read(buffer, count); }
  int64_t Remaining() const override { return file_.Remaining(); }
  uint32_t Tell() override { return file_.Tell(); }
  void Seek(int32_t position) override { file_.Seek(position); }
  TStr GetPath() override { return file_.GetPath(); }
  void Close() override { file_.Close(); }

private:
  IFile& file_;
};

template <class T> T* Made(T* object) {
  if (!object) ThrowAudioMemoryLow();
  return object;
}

} // namespace

TAudioFile::TAudioFile() : file_(Made(CreateFileObject())), name_(Made(CreateFileName())) {
  StoreFormat(0, 0, 0, 0, 0, 0, 0);
}

void TAudioFile::OpenFile(int write) {
  stream_.reset();
  if (write) file_->OpenWrite(name_.Get());
  else file_->OpenRead(name_.Get());
  stream_ = std::make_unique<TFileAudioStream>(*file_);
}

TAudioFile::~TAudioFile() {
  DestructorBody([this] {
    if (ownsAnalysis_) SafeDelete(analysis_);
    analysis_ = nullptr;
    // Closing here is only the clean-up of an abandoned file: errors are the
    // business of an explicit Close.
    stream_.reset();
  });
}

void TAudioFile::AttachStream(std::unique_ptr<TAudioStream> stream) { stream_ = std::move(stream); }

TStr TAudioFile::GetFilePath() { return stream_ ? stream_->GetPath() : name_->GetPath(); }

IAudioAnalysis* TAudioFile::TakeAnalysis() {
  ownsAnalysis_ = false;
  return analysis_;
}

void TAudioFile::SetAnalysis(IAudioAnalysis* analysis) {
  if (analysis == analysis_) return;
  if (ownsAnalysis_) SafeDelete(analysis_);
  ownsAnalysis_ = false;
  analysis_ = analysis;
}

void TAudioFile::ResetHeaderState() {
  sampleDataBytes_ = -1;
  unsupportedCoding_ = false;
  loopStart_ = loopEnd_ = -1;
}

void TAudioFile::AdoptAnalysis(IAudioAnalysis* analysis) {
  if (ownsAnalysis_) SafeDelete(analysis_);
  analysis_ = analysis;
  ownsAnalysis_ = analysis != nullptr;
}

void TAudioFile::SetRawLoop(int64_t start, int64_t end) {
  auto clamp = [](int64_t v) { return int32_t(std::clamp<int64_t>(v, -1, std::numeric_limits<int32_t>::max())); };
  SetLoopStart(clamp(start));
  SetLoopEnd(clamp(end));
}

void TAudioFile::SettleHeader() {
  const int64_t frameBytes = int64_t(GetChannels()) * GetBytesPerSample();
  int64_t length = 0;
  if (sampleDataBytes_ > 0 && frameBytes > 0) length = sampleDataBytes_ / frameBytes;
  SetFileLength(int32_t(std::min<int64_t>(length, std::numeric_limits<int32_t>::max())));
  if (GetLoopEnd() == 0) SetLoopEnd(GetFileLength());
}

void TAudioFile::CheckLoop() {
  const int32_t n = GetFileLength();
  int32_t start = GetLoopStart(), end = GetLoopEnd();
  if (start == -1 && end == -1) {
    SetLoopStart(0);
    SetLoopEnd(n);
    return;
  }
  // A marker that is missing names no frame: the loop reaches to that end.
  if (start < 0) start = 0;
  if (end < 0 || end > n) end = n;
  if (start >= end) {
    SetLoopOn(0);
    start = 0;
    end = n;
  }
  SetLoopStart(start);
  SetLoopEnd(end);
}

void TAudioFile::CheckAnalysis() {
  auto* table = dynamic_cast<TAudioAnalysis*>(analysis_);
  if (analysis_ && (!table || !table->Fits(GetFileLength(), GetRate()))) DropAnalysis();
}

void TAudioFile::DropAnalysis() {
  if (ownsAnalysis_) SafeDelete(analysis_);
  analysis_ = nullptr;
  ownsAnalysis_ = false;
}

int32_t TAudioFile::TellFrame() {
  const int64_t frameBytes = int64_t(GetBytesPerSample()) * GetChannels();
  if (frameBytes < 1 || !GetStream()) return 0;
  return int32_t((int64_t(GetStream()->Tell()) - GetDataStart()) / frameBytes);
}

void TAudioFile::SeekFrame(int32_t frame, int32_t channel) {
  const int32_t length = GetFileLength(), channels = GetChannels();
  if (frame >= length) frame = length - 1;
  if (frame < 0) frame = 0;
  if (channel >= channels) channel = channels - 1;
  if (channel < 0) channel = 0;
  const int64_t bps = GetBytesPerSample();
  int64_t position = GetDataStart();
  if (IsInterleaved()) position += bps * (channel + int64_t(channels) * frame);
  else position += bps * (int64_t(length) * channel + frame);
  if (GetStream()) GetStream()->Seek(int32_t(std::min<int64_t>(position, std::numeric_limits<int32_t>::max())));
}

int32_t TAudioFile::ReadBlock(int32_t start) {
  TAudioStream* f = GetStream();
  if (!f) return 0;
  int32_t n = GetLength();
  if (start != -1) SeekFrame(start, 0);
  else start = TellFrame();
  if (int64_t(start) + n > GetFileLength()) n = GetFileLength() - start;
  const int32_t channels = GetChannels();
  if (n <= 0 || !IsInterleaved() || channels < 1) return 0;
  uint8_t* p = GetSampleAddress(0, 0);
  const int32_t samples = n * channels;
  int32_t got;
  const int32_t bits = GetBits();
  if (bits == 8) {
    got = int32_t(f->ReadBytes(p, uint32_t(samples)));
    // WAV stores 8-bit samples unsigned, AIFF signed.
    if (f->GetByteOrder() == 0)
      for (int32_t i = 0; i < got; ++i) p[i] = uint8_t(p[i] ^ 0x80);
  } else if (bits == 16) {
    got = f->ReadShortArray(reinterpret_cast<int16_t*>(p), samples);
  } else {
    ThrowAudioError(AudioFormatNotSupported(), GetFilePath());
  }
  return got / channels;
}

void TAudioFile::WriteBlock(int32_t start, int32_t frames) {
  TAudioStream* f = GetStream();
  if (start != -1) SeekFrame(start, 0);
  if (frames == -1) frames = GetLength();
  // The block holds no more than its own length.
  if (frames > GetLength()) frames = GetLength();
  if (frames <= 0 || !IsInterleaved()) return;
  try {
    if (!f) throw std::runtime_error("no file");
    const uint8_t* p = GetSampleAddress(0, 0);
    const int32_t samples = frames * GetChannels();
    if (GetBits() == 8 && f->GetByteOrder() == 1) f->WriteBytes(p, uint32_t(samples));
    else if (GetBits() == 16) f->WriteShortArray(reinterpret_cast<const int16_t*>(p), samples);
    else throw std::runtime_error("sample size");
  } catch (...) {
    ThrowAudioError(AudioNoSpace(), GetFilePath());
  }
}

int32_t TAudioFile::LoadInto(IAudioBuf* destination) {
  std::unique_ptr<IProgress, void (*)(IProgress*)> progress(
      CreateProgress(TStr("Loading Your Sound.."), 0, GetFileLength(), 0), [](IProgress* p) { SafeDelete(p); });
  if (!progress) ThrowAudioMemoryLow();
  int32_t total = 0;
  int32_t n = ReadBlock(0);
  while (n != 0) {
    destination->CopyFrom(this, n, 0, 0, total);
    total += n;
    progress->Update(total);
    n = ReadBlock(total);
  }
  return total;
}

void TAudioFile::WriteFrom(IAudioBuf* source, int32_t frames) {
  if (frames == -1) frames = source->GetLength();
  const int32_t B = GetLength();
  if (frames <= 0) return;
  if (B < 1) ThrowAudioError(AudioNoSpace(), GetFilePath());
  int32_t p = 0;
  for (int32_t i = 0; i < frames / B; ++i, p += B) {
    CopyFrom(source, B, p, 0, 0);
    WriteBlock(p, -1);
  }
  const int32_t rest = frames % B;
  if (rest > 0) {
    CopyFrom(source, rest, p, 0, 0);
    WriteBlock(p, rest);
  }
}

void TAudioFile::Close() {
  if (!stream_) return;
  try {
    stream_->Close();
  } catch (const TError&) {
    throw;
  } catch (...) {
    ThrowAudioError(AudioNoSpace(), GetFilePath());
  }
}

// ---------------------------------------------------------------- chunked

TChunkedAudioFile::~TChunkedAudioFile() {
  DestructorBody([this] { tree_.reset(); });
}

void TChunkedAudioFile::SetAnalysis(IAudioAnalysis* analysis) {
  if (GetAnalysis() || !analysis) return;
  TAudioFile::SetAnalysis(analysis);
  if (tree_) {
    auto* chunk = new (std::nothrow) TAnalysisChunk(analysis);
    if (!chunk) ThrowAudioMemoryLow();
    tree_->AddChild(chunk);
  }
}

void TChunkedAudioFile::DropAnalysis() {
  IAudioAnalysis* gone = GetAnalysis();
  if (tree_ && gone)
    for (TFileChunk* c = tree_->Children().First(); c; c = EList<TFileChunk>::Next(c))
      if (auto* a = dynamic_cast<TAnalysisChunk*>(c); a && a->GetAnalysis() == gone) a->Forget();
  TAudioFile::DropAnalysis();
}

void TChunkedAudioFile::ReadHeader(int32_t transferFrames) {
  TAudioStream* f = GetStream();
  if (!f) ThrowAudioError(AudioNoData(), GetFilePath());
  f->Seek(0);
  tree_.reset();
  ResetHeaderState();
  tree_.reset(ReadChunkTree(*f));
  ApplyChunkTree(*tree_, *this);
  SettleHeader();
  const TStr path = GetFilePath();
  if (GetChannels() != 1 && GetChannels() != 2) ThrowAudioError(AudioChannelsNotSupported(), path);
  if (GetFileLength() < 1) ThrowAudioError(AudioNoData(), path);
  if (GetBits() != 8 && GetBits() != 16) ThrowAudioError(AudioBitsNotSupported(), path);
  if (GetRate() < 1) ThrowAudioError(AudioNoRate(), path);
  if (HasUnsupportedCoding()) ThrowAudioError(AudioFormatNotSupported(), path);
  CheckLoop();
  CheckAnalysis();
  SetLength(transferFrames);
}

void TChunkedAudioFile::Save() {
  TAudioStream* f = GetStream();
  if (!tree_) BuildChunks();
  try {
    if (!f) throw std::runtime_error("no file");
    f->SetByteOrder(tree_->ByteOrder());
    f->Seek(0);
    WriteChunk(*tree_, *f);
    // From now on the chunks lie where they were written.
    ForgetFileOffsets(*tree_);
  } catch (const TError&) {
    throw;
  } catch (...) {
    ThrowAudioError(AudioNoSpace(), GetFilePath());
  }
}

void TChunkedAudioFile::ForgetFileOffsets(TFileChunk& chunk) {
  chunk.SetFileOffset(-1);
  for (TFileChunk* c = chunk.Children().First(); c; c = EList<TFileChunk>::Next(c)) ForgetFileOffsets(*c);
}

void TChunkedAudioFile::SeekChunk(TFileChunk* chunk) {
  if (chunk && GetStream()) GetStream()->Seek(GetDataOffset(*chunk));
}

int32_t TChunkedAudioFile::SampleDataStart() {
  if (!tree_) return 0;
  TFileChunk* chunk = tree_->FindChild(TStr("data"));
  int32_t skip = 0;
  if (!chunk) {
    chunk = tree_->FindChild(TStr("SSND"));
    skip = 8;
  }
  if (!chunk) return 0;
  // A chunk read from the file lies where it was found: chunks that keep less
  // than they held (a longer "fmt ") no longer add up to its place.
  if (chunk->GetFileOffset() >= 0) return int32_t(chunk->GetFileOffset() + 8 + skip);
  return GetDataOffset(*chunk) + skip;
}

int32_t TChunkedAudioFile::SampleBytesToWrite() {
  const int64_t bytes = int64_t(GetFileLength()) * GetChannels() * GetBytesPerSample();
  if (bytes < 0 || bytes > std::numeric_limits<int32_t>::max() - 1024) ThrowAudioError(AudioNoSpace(), GetFilePath());
  return int32_t(bytes);
}

void TChunkedAudioFile::AdoptTree(TFileChunk* root) { tree_.reset(root); }

namespace {
template <class T, class... A> T* NewChunk(A&&... args) {
  T* c = new (std::nothrow) T(std::forward<A>(args)...);
  if (!c) ThrowAudioMemoryLow();
  return c;
}
} // namespace

int32_t TWAVFile::GetDataStart() { return SampleDataStart(); }

void TWAVFile::BuildChunks() {
  AdoptTree(nullptr);
  const int32_t bytes = SampleBytesToWrite();
  TFileChunk* root = NewChunk<TRIFFChunk>();
  AdoptTree(root);
  root->AddChild(NewChunk<TWAVFormatChunk>(*this));
  root->AddChild(NewChunk<TWAVSampleChunk>(GetRootKey(), GetLoopStart(), GetLoopEnd(), GetLoopOn(), GetAlternatingLoop()));
  TFileChunk* data = NewChunk<TWAVDataChunk>();
  data->SetDataSize(bytes);
  root->AddChild(data);
  if (GetAnalysis()) root->AddChild(NewChunk<TAnalysisChunk>(GetAnalysis()));
}

int32_t TAIFFFile::GetDataStart() { return SampleDataStart(); }

void TAIFFFile::BuildChunks() {
  AdoptTree(nullptr);
  const int32_t bytes = SampleBytesToWrite();
  TFileChunk* root = NewChunk<TAIFFFormChunk>();
  AdoptTree(root);
  root->AddChild(NewChunk<TAIFFCommonChunk>(*this));
  const int32_t positions[2] = {GetLoopStart(), GetLoopEnd()};
  root->AddChild(NewChunk<TAIFFMarkerChunk>(2, positions));
  root->AddChild(NewChunk<TAIFFInstrumentChunk>(GetRootKey(), GetLoopOn(), GetAlternatingLoop()));
  TFileChunk* ssnd = NewChunk<TAIFFDataChunk>();
  ssnd->SetDataSize(bytes + 8);
  root->AddChild(ssnd);
  if (GetAnalysis()) root->AddChild(NewChunk<TAnalysisChunk>(GetAnalysis()));
}

// ---------------------------------------------------------------- file level

namespace {

bool HasSignature(const IFileName* name, const char* form, const char* type) {
  if (!name) return false;
  try {
    EPtr<IFile> f(CreateFileObject());
    if (!f) return false;
    f->OpenRead(name);
    char head[15];
    if (f->Read(head, 15) != 15) return false;
    return std::memcmp(head, form, 4) == 0 && std::memcmp(head + 8, type, 4) == 0;
  } catch (...) {
    return false;
  }
}

int ContentType(const IFileName& name) {
  if (IsWAVFile(&name)) return filetype::Wav;
  if (IsAIFFFile(&name)) return filetype::Aiff;
  return filetype::None;
}

// File names learn to recognise sound files as soon as this layer is linked.
const bool contentTestInstalled = (InstallAudioContentTest(), true);

TAudioFile* NewFileOfType(int type, const TStr& path) {
  TAudioFile* file = nullptr;
  if (type == filetype::Wav) file = new (std::nothrow) TWAVFile;
  else if (type == filetype::Aiff) file = new (std::nothrow) TAIFFFile;
  else ThrowAudioError(AudioNotWaveFile(), path);
  if (!file) ThrowAudioMemoryLow();
  return file;
}

// Reads the header of a new sound-file object; on error the object is gone.
IAudioFile* ReadNewFile(TAudioFile* file, std::unique_ptr<TAudioStream> stream, int32_t transferFrames) {
  try {
    if (stream) file->AttachStream(std::move(stream));
    else file->OpenFile(0);
    file->ReadHeader(transferFrames);
  } catch (...) {
    file->Delete();
    throw;
  }
  return file;
}

// Gives a new sound-file object its settings and writes its header; on error
// the object is gone and what reached the disk stays there.
IAudioFile* WriteNewFile(TAudioFile* file, std::unique_ptr<TAudioStream> stream, int32_t isFloat,
                         int32_t interleaved, int32_t bits, int32_t channels, int32_t rate, int32_t transferFrames,
                         int32_t length, int32_t loopOn, int32_t alternating, int32_t loopInRelease,
                         int32_t loopStart, int32_t loopEnd, int32_t rootKey, IAudioAnalysis* analysis) {
  try {
    if (stream) file->AttachStream(std::move(stream));
    else file->OpenFile(1);
    file->SetFormat(isFloat, interleaved, bits, channels, rate, transferFrames, 0);
    file->SetFileLength(length);
    file->SetLoopOn(loopOn);
    file->SetAlternatingLoop(alternating);
    file->SetLoopInRelease(loopInRelease);
    file->SetLoopStart(loopStart);
    file->SetLoopEnd(loopEnd);
    file->SetRootKey(rootKey);
    if (analysis) file->SetAnalysis(analysis);
    file->Save();
  } catch (...) {
    file->Delete();
    throw;
  }
  return file;
}

} // namespace

bool IsWAVFile(const IFileName* name) { return HasSignature(name, "RIFF", "WAVE"); }
bool IsAIFFFile(const IFileName* name) { return HasSignature(name, "FORM", "AIFF"); }
void InstallAudioContentTest() { SetContentTypeTest(&ContentType); }

TAudioFile* CreateAudioFileObject(const IFileName* name) {
  const int type = name ? name->GetType() : filetype::None;
  if (type != filetype::Wav && type != filetype::Aiff) ThrowAudioError(AudioNotWaveFile(), name ? name->GetPath() : TStr());
  if (type == filetype::Wav) return new (std::nothrow) TWAVFile;
  return new (std::nothrow) TAIFFFile;
}

IAudioFile* OpenAudioFile(const IFileName* name, int32_t transferFrames) {
  TAudioFile* file = CreateAudioFileObject(name);
  if (!file) ThrowAudioMemoryLow();
  file->SetFileName(name);
  return ReadNewFile(file, nullptr, transferFrames);
}

IAudioFile* OpenAudioStreamFile(std::unique_ptr<TAudioStream> stream, int type, int32_t transferFrames) {
  TAudioFile* file = NewFileOfType(type, stream ? stream->GetPath() : TStr());
  return ReadNewFile(file, std::move(stream), transferFrames);
}

IAudioFile* CreateAudioFile(const IFileName* name, int32_t isFloat, int32_t interleaved, int32_t bits,
                            int32_t channels, int32_t rate, int32_t transferFrames, int32_t length, int32_t loopOn,
                            int32_t alternating, int32_t loopInRelease, int32_t loopStart, int32_t loopEnd,
                            int32_t rootKey, IAudioAnalysis* analysis) {
  TAudioFile* file = CreateAudioFileObject(name);
  if (!file) ThrowAudioMemoryLow();
  file->SetFileName(name);
  return WriteNewFile(file, nullptr, isFloat, interleaved, bits, channels, rate, transferFrames, length, loopOn,
                      alternating, loopInRelease, loopStart, loopEnd, rootKey, analysis);
}

IAudioFile* CreateAudioStreamFile(std::unique_ptr<TAudioStream> stream, int type, int32_t isFloat,
                                  int32_t interleaved, int32_t bits, int32_t channels, int32_t rate,
                                  int32_t transferFrames, int32_t length, int32_t loopOn, int32_t alternating,
                                  int32_t loopInRelease, int32_t loopStart, int32_t loopEnd, int32_t rootKey,
                                  IAudioAnalysis* analysis) {
  if (!stream) ThrowAudioMemoryLow();
  TAudioFile* file = NewFileOfType(type, stream->GetPath());
  return WriteNewFile(file, std::move(stream), isFloat, interleaved, bits, channels, rate, transferFrames, length,
                      loopOn, alternating, loopInRelease, loopStart, loopEnd, rootKey, analysis);
}

namespace {

// The chunks of the old file that this program does not read (comments,
// broadcast data, cue lists...), as they stand in it, padding included. Only
// a file of the same kind gives any; a damaged one gives none.
std::vector<uint8_t> ForeignChunks(const TStr& path, const char* rootId) {
  std::vector<uint8_t> kept;
  std::string old;
  if (!platform::ReadWholeFile(path.Std(), old) || old.size() < 12) return kept;
  try {
    TMemAudioStream stream(std::vector<uint8_t>(old.begin(), old.end()), path);
    std::unique_ptr<TFileChunk> tree(ReadChunkTree(stream));
    if (tree->Id() != TStr(rootId)) return kept;
    for (TFileChunk* c = tree->Children().First(); c; c = EList<TFileChunk>::Next(c)) {
      if (!dynamic_cast<TUnknownFileChunk*>(c) || c->GetFileOffset() < 0) continue;
      const size_t at = size_t(c->GetFileOffset());
      const size_t size = 8 + size_t(c->GetDataSize());
      if (at + size > old.size()) continue;
      kept.insert(kept.end(), old.begin() + ptrdiff_t(at), old.begin() + ptrdiff_t(at + size));
      if (size % 2) kept.push_back(0);
    }
  } catch (...) {
    kept.clear();
  }
  return kept;
}

// Adds chunks at the end of a whole file's root container.
void AppendChunks(std::vector<uint8_t>& file, const std::vector<uint8_t>& chunks, bool bigEndian) {
  if (chunks.empty() || file.size() < 8) return;
  file.insert(file.end(), chunks.begin(), chunks.end());
  const uint32_t size = uint32_t(file.size() - 8);
  for (int i = 0; i < 4; ++i) file[size_t(4 + i)] = uint8_t(size >> (bigEndian ? 24 - 8 * i : 8 * i));
}

} // namespace

void SaveAudioFileReplacing(const IFileName* name, IAudioBuf& samples, const TSoundSettings& s) {
  const TStr path = name->GetPath();
  const int type = name->GetType();
  // The whole file is made in memory first; the disk sees it only through a
  // temporary file that replaces the old one when it is complete.
  auto* memory = new TMemAudioStream({}, path);
  {
    EPtr<IAudioFile> file(CreateAudioStreamFile(std::unique_ptr<TAudioStream>(memory), type, 0, 1, 16,
                                                samples.GetChannels(), samples.GetRate(), 1024, samples.GetLength(),
                                                s.loopOn, s.alternating, s.loopInRelease, s.loopStart, s.loopEnd,
                                                s.rootKey, s.analysis));
    file->WriteFrom(&samples, -1);
    std::vector<uint8_t> bytes = memory->Data();
    // What other programs stored in the file stays in it.
    const bool aiff = type == filetype::Aiff;
    AppendChunks(bytes, ForeignChunks(path, aiff ? "FORM" : "RIFF"), aiff);
    ReplaceFileBytes(path, bytes);
  }
}
