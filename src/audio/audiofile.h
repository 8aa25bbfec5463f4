// Sound files on disk. A sound-file object is a sample buffer whose format is
// the file's and whose memory is a small transfer block; samples stream block
// by block between the file and another buffer.
#pragma once

#include "src/audio/analysis.h"
#include "src/audio/audiobuf.h"
#include "src/audio/audiostream.h"
#include "src/audio/chunk.h"
#include "src/base/file.h"

#include <cstdint>
#include <memory>

class IAudioFile : public virtual IBase, public virtual IAudioBuf {
public:
  virtual IFileName* GetFileName() = 0;
  virtual int32_t GetFileLength() = 0;
  virtual float GetFileLengthMs() = 0;
  virtual int32_t GetLoopOn() = 0;
  virtual int32_t GetAlternatingLoop() = 0;
  virtual int32_t GetLoopInRelease() = 0;
  virtual int32_t GetLoopStart() = 0;
  virtual int32_t GetLoopLength() = 0;
  virtual int32_t GetLoopEnd() = 0;
  virtual int32_t GetRootKey() = 0;
  virtual IAudioAnalysis* GetAnalysis() = 0;
  virtual void SetAnalysis(IAudioAnalysis* analysis) = 0;
  // Hands the analysis read from the file to the caller, who deletes it.
  // Until then the sound-file object owns an analysis it read.
  virtual IAudioAnalysis* TakeAnalysis() = 0;
  virtual void Save() = 0;
  virtual int32_t TellFrame() = 0;
  virtual void SeekFrame(int32_t frame, int32_t channel) = 0;
  virtual int32_t ReadBlock(int32_t start) = 0;
  virtual void WriteBlock(int32_t start, int32_t frames) = 0;
  virtual int32_t LoadInto(IAudioBuf* destination) = 0;
  virtual void WriteFrom(IAudioBuf* source, int32_t frames) = 0;
  virtual void Close() = 0;
};

class TAudioFile : public TAudioBuf, public virtual IAudioFile, public virtual IChunkTarget {
public:
  TAudioFile();
  ~TAudioFile() override;

  virtual IFile* GetFile() { return file_.Get(); }
  IFileName* GetFileName() override { return name_.Get(); }
  // The stream the header and samples go through: the file, or what a test
  // attached instead.
  TAudioStream* GetStream() { return stream_.get(); }
  // Opens the file by the object's name for reading (write 0) or writing (1).
  void OpenFile(int write);
  void AttachStream(std::unique_ptr<TAudioStream> stream);
  // The full path for messages.
  TStr GetFilePath() override;
  int32_t GetFileLength() override { return fileLength_; }
  float GetFileLengthMs() override { return float(fileLength_ * 1000.0 / GetRate()); }
  virtual int32_t GetDataStart() = 0;
  int32_t GetLoopOn() override { return loopOn_; }
  int32_t GetAlternatingLoop() override { return alternating_; }
  int32_t GetLoopInRelease() override { return loopInRelease_; }
  int32_t GetLoopStart() override { return loopStart_; }
  int32_t GetLoopLength() override { return loopEnd_ - loopStart_; }
  int32_t GetLoopEnd() override { return loopEnd_; }
  int32_t GetRootKey() override { return rootKey_; }
  IAudioAnalysis* GetAnalysis() override { return analysis_; }
  IAudioAnalysis* TakeAnalysis() override;
  virtual void SetFileName(const IFileName* name) { name_->Assign(*name); }
  virtual void SetFileLength(int32_t length) { fileLength_ = length; }
  void SetLoopOn(int32_t on) override { loopOn_ = on; }
  void SetAlternatingLoop(int32_t on) override { alternating_ = on; }
  virtual void SetLoopInRelease(int32_t on) { loopInRelease_ = on; }
  virtual void SetLoopStart(int32_t frame) { loopStart_ = frame; }
  virtual void SetLoopEnd(int32_t frame) { loopEnd_ = frame; }
  void SetRootKey(int32_t key) override { rootKey_ = key; }
  // Refers to the analysis; one the object read and still owns is deleted.
  void SetAnalysis(IAudioAnalysis* analysis) override;
  // An analysis read from the file: the object owns it until TakeAnalysis.
  void AdoptAnalysis(IAudioAnalysis* analysis) override;
  virtual void ReadHeader(int32_t transferFrames) = 0;
  int32_t TellFrame() override;
  void SeekFrame(int32_t frame, int32_t channel) override;
  int32_t ReadBlock(int32_t start) override;
  void WriteBlock(int32_t start, int32_t frames) override;
  int32_t LoadInto(IAudioBuf* destination) override;
  void WriteFrom(IAudioBuf* source, int32_t frames) override;
  void Close() override;

  // What the header says about the samples, gathered while the chunks are
  // applied; the length follows once the whole header is known.
  void SetSampleDataBytes(int64_t bytes) override { sampleDataBytes_ = bytes; }
  void SetUnsupportedCoding() override { unsupportedCoding_ = true; }
  bool HasUnsupportedCoding() const { return unsupportedCoding_; }
  // Loop positions as the header gives them, before they are checked.
  void SetRawLoop(int64_t start, int64_t end) override;

protected:
  // Forgets what an earlier header said before the next one is applied.
  void ResetHeaderState();
  // Works out the length once the whole header is known.
  void SettleHeader();
  // A loop outside the samples, or with a missing marker, is clamped or
  // dropped; an analysis table that does not fit the sound is dropped.
  void CheckLoop();
  void CheckAnalysis();
  virtual void DropAnalysis();

private:
  EPtr<IFile> file_;
  EPtr<IFileName> name_;
  std::unique_ptr<TAudioStream> stream_;
  IAudioAnalysis* analysis_ = nullptr;
  bool ownsAnalysis_ = false;
  int32_t fileLength_ = 0;
  int32_t loopOn_ = 0;
  int32_t alternating_ = 0;
  int32_t loopInRelease_ = 1;
  int32_t loopStart_ = -1;
  int32_t loopEnd_ = -1;
  int32_t rootKey_ = 60;
  int64_t sampleDataBytes_ = -1;
  bool unsupportedCoding_ = false;
};

class TChunkedAudioFile : public TAudioFile {
public:
  ~TChunkedAudioFile() override;
  void SetAnalysis(IAudioAnalysis* analysis) override;
  void ReadHeader(int32_t transferFrames) override;
  void Save() override;
  virtual void BuildChunks() = 0;
  virtual void SeekChunk(TFileChunk* chunk);

protected:
  void DropAnalysis() override;
  void AdoptTree(TFileChunk* root);
  // The first sample byte: after the "data" header, or past the offset and
  // block size of "SSND", whichever the tree holds.
  int32_t SampleDataStart();
  int32_t SampleBytesToWrite();
  static void ForgetFileOffsets(TFileChunk& chunk);

private:
  std::unique_ptr<TFileChunk> tree_;
};

class TWAVFile : public TChunkedAudioFile {
public:
  int32_t GetDataStart() override;
  void BuildChunks() override;
};

class TAIFFFile : public TChunkedAudioFile {
public:
  int32_t GetDataStart() override;
  void BuildChunks() override;
};

inline IAudioFile* CastToAudioFile(IBase* object) { return CastTo<IAudioFile>(object); }

// The content tests: the first 15 bytes hold "RIFF" .. "WAVE" or "FORM" ..
// "AIFF". They never raise. File names find sound files by content through
// them once InstallAudioContentTest has run (the audio layer runs it when it
// is loaded).
bool IsWAVFile(const IFileName* name);
bool IsAIFFFile(const IFileName* name);
void InstallAudioContentTest();
// A WAV or AIFF object by the name's type; raises "The file $1\nis not a
// waveform-audio file." for any other.
TAudioFile* CreateAudioFileObject(const IFileName* name);
// Opens a sound file and reads its header; nothing is left behind on error.
IAudioFile* OpenAudioFile(const IFileName* name, int32_t transferFrames);
// The same over a stream that is already open; type 4 is WAV, 5 AIFF.
IAudioFile* OpenAudioStreamFile(std::unique_ptr<TAudioStream> stream, int type, int32_t transferFrames);
// Creates a sound file, writes its header and leaves it open for WriteFrom.
IAudioFile* CreateAudioFile(const IFileName* name, int32_t isFloat, int32_t interleaved, int32_t bits,
                            int32_t channels, int32_t rate, int32_t transferFrames, int32_t length, int32_t loopOn,
                            int32_t alternating, int32_t loopInRelease, int32_t loopStart, int32_t loopEnd,
                            int32_t rootKey, IAudioAnalysis* analysis);
// The same over a stream that is already open for writing; type 4 is WAV, 5 AIFF.
IAudioFile* CreateAudioStreamFile(std::unique_ptr<TAudioStream> stream, int type, int32_t isFloat,
                                  int32_t interleaved, int32_t bits, int32_t channels, int32_t rate,
                                  int32_t transferFrames, int32_t length, int32_t loopOn, int32_t alternating,
                                  int32_t loopInRelease, int32_t loopStart, int32_t loopEnd, int32_t rootKey,
                                  IAudioAnalysis* analysis);

// What a sound carries besides its samples when it is written.
struct TSoundSettings {
  int32_t loopOn = 0;
  int32_t alternating = 0;
  int32_t loopInRelease = 1;
  int32_t loopStart = 0;
  int32_t loopEnd = 0;
  int32_t rootKey = 60;
  IAudioAnalysis* analysis = nullptr;
};
// Writes the samples as a 16-bit sound file over the named one (WAV or AIFF
// by the name's type) through a temporary file in the same folder that then
// replaces it, so a failed write leaves the old file as it was. The chunks of
// the old file that the program does not read (a comment, broadcast data)
// are kept at the end of the new one. A failure raises a message that says
// what happened (a full disk, a write-protected folder...).
void SaveAudioFileReplacing(const IFileName* name, IAudioBuf& samples, const TSoundSettings& settings);
