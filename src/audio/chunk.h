// Sound files as a tree of chunks: 4-byte id, 4-byte size in the stream's byte
// order, then the content (own data, then the children of a container).
#pragma once

#include "src/audio/audiobuf.h"
#include "src/audio/audiostream.h"
#include "src/base/tools.h"

#include <cstdint>

class IAudioAnalysis;

// The sound file whose header the chunks are: what they apply themselves to
// once read (its format, loop, root key and analysis), and what the chunks
// of a header to be written are made from.
class IChunkTarget : public virtual IAudioBuf {
public:
  // The full path for messages.
  virtual TStr GetFilePath() = 0;
  // The length in frames of the samples in the file.
  virtual int32_t GetFileLength() = 0;
  virtual void SetLoopOn(int32_t on) = 0;
  virtual void SetAlternatingLoop(int32_t on) = 0;
  virtual void SetRootKey(int32_t key) = 0;
  // Loop positions as the header gives them, before they are checked.
  virtual void SetRawLoop(int64_t start, int64_t end) = 0;
  virtual void SetSampleDataBytes(int64_t bytes) = 0;
  virtual void SetUnsupportedCoding() = 0;
  virtual IAudioAnalysis* GetAnalysis() = 0;
  // An analysis read from the file: the target owns it from now on.
  virtual void AdoptAnalysis(IAudioAnalysis* analysis) = 0;
};

class TFileChunk : public TLink {
public:
  TFileChunk() = default;
  ~TFileChunk() override;
  TFileChunk(const TFileChunk&) = delete;
  TFileChunk& operator=(const TFileChunk&) = delete;

  // Reads the chunk's own data; GetDataSize() holds the size the file
  // declares when it is called. A reader that keeps less than that sets the
  // data size to what it will write back.
  virtual TAudioStream& Read(TAudioStream& file) = 0;
  virtual TAudioStream& Write(TAudioStream& file) = 0;
  virtual void Apply(IChunkTarget& target) {}
  virtual int32_t IsContainer() { return 0; }
  virtual TStr Id() = 0;
  virtual int32_t ByteOrder() { return parent_ ? parent_->ByteOrder() : 0; }
  virtual TFileChunk* FindChild(const TStr& id);
  virtual void AddChild(TFileChunk* child);
  virtual void RemoveChild(TFileChunk* child);
  // The chunk that holds the samples; its size may be a streaming placeholder.
  virtual bool HoldsSamples() { return false; }

  int32_t GetDataSize() const { return dataSize_; }
  void SetDataSize(int32_t size) { dataSize_ = size; }
  TFileChunk* GetParent() const { return parent_; }
  EList<TFileChunk>& Children() { return children_; }
  // Where the chunk's header lay in the file it was read from (-1 when built).
  int64_t GetFileOffset() const { return fileOffset_; }
  void SetFileOffset(int64_t offset) { fileOffset_ = offset; }

protected:
  // Raises "$1 is corrupt." unless the chunk's data holds at least count bytes.
  void Require(TAudioStream& file, int64_t count);

private:
  EList<TFileChunk> children_;
  TFileChunk* parent_ = nullptr;
  int32_t dataSize_ = 0;
  int64_t fileOffset_ = -1;
};

// A leaf whose data stays in the file: reading skips it, writing reserves it.
class TLargeFileChunk : public TFileChunk {
public:
  TAudioStream& Read(TAudioStream& file) override;
  TAudioStream& Write(TAudioStream& file) override;
};

// Any chunk the system does not know; its data is skipped and not kept.
class TUnknownFileChunk : public TLargeFileChunk {
public:
  explicit TUnknownFileChunk(const TStr& id) : id_(id) {}
  TStr Id() override { return id_; }

private:
  TStr id_;
};

void WriteChunk(TFileChunk& chunk, TAudioStream& file);
void ApplyChunkTree(TFileChunk& chunk, IChunkTarget& target);
int32_t GetContentSize(TFileChunk& chunk);
int32_t GetDataOffset(TFileChunk& chunk);
