#include "src/audio/chunk.h"

#include "src/audio/analysis.h"
#include "src/audio/audiomsg.h"
#include "src/audio/wavchunks.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <memory>
#include <new>

TFileChunk::~TFileChunk() {
  DestructorBody([this] {
    if (parent_) parent_->RemoveChild(this);
    while (TFileChunk* c = children_.First()) delete c; // each takes itself out
  });
}

TFileChunk* TFileChunk::FindChild(const TStr& id) {
  for (TFileChunk* c = children_.First(); c; c = EList<TFileChunk>::Next(c))
    if (c->Id() == id) return c;
  return nullptr;
}

void TFileChunk::AddChild(TFileChunk* child) {
  children_.AddLast(child);
  child->parent_ = this;
}

void TFileChunk::RemoveChild(TFileChunk* child) {
  if (child->parent_ != this) return;
  children_.Remove(child);
  child->parent_ = nullptr;
}

void TFileChunk::Require(TAudioStream& file, int64_t count) {
  if (count > GetDataSize()) file.RaiseCorrupt();
}

TAudioStream& TLargeFileChunk::Read(TAudioStream& file) {
  file.Skip(uint32_t(GetDataSize()));
  return file;
}

TAudioStream& TLargeFileChunk::Write(TAudioStream& file) {
  file.WriteZeros(uint32_t(GetDataSize()));
  return file;
}

namespace {

// Sizes beyond this mark a stream whose writer could not go back to fill
// them in (a pipe): the chunk is taken to hold what the file has.
constexpr uint32_t kPlaceholderSize = 0x7F000000u;

TFileChunk* MakeChunk(const TStr& id, bool root) {
  if (root && id == TStr("RIFF")) return new (std::nothrow) TRIFFChunk;
  if (root && id == TStr("FORM")) return new (std::nothrow) TAIFFFormChunk;
  if (id == TStr("fmt ")) return new (std::nothrow) TWAVFormatChunk;
  if (id == TStr("data")) return new (std::nothrow) TWAVDataChunk;
  if (id == TStr("smpl")) return new (std::nothrow) TWAVSampleChunk;
  if (id == TStr("COMM")) return new (std::nothrow) TAIFFCommonChunk;
  if (id == TStr("MARK")) return new (std::nothrow) TAIFFMarkerChunk;
  if (id == TStr("INST")) return new (std::nothrow) TAIFFInstrumentChunk;
  if (id == TStr("SSND")) return new (std::nothrow) TAIFFDataChunk;
  if (id == TStr("Anal")) return new (std::nothrow) TAnalysisChunk;
  return new (std::nothrow) TUnknownFileChunk(id);
}

int32_t Pad(int32_t contentSize) { return contentSize & 1; }

// Reads the size and content of a chunk whose id was just read. limit is the
// end of the enclosing container; nothing may reach past it.
void ReadChunkWithin(TFileChunk& chunk, TAudioStream& file, uint64_t limit) {
  const uint32_t declared = file.ReadU32();
  const uint64_t start = file.Tell();
  const int64_t left = file.Remaining();
  const uint64_t fileEnd = left >= 0 ? start + uint64_t(left) : std::numeric_limits<uint64_t>::max();
  uint64_t end = start + declared;
  if (!chunk.GetParent()) {
    // The root stands for the whole file: a size beyond it is a placeholder
    // or a cut file, and the children tell which.
    end = std::min(end, fileEnd);
  } else if (end > limit || end > fileEnd) {
    if (chunk.HoldsSamples() && declared >= kPlaceholderSize) end = std::min(limit, fileEnd);
    else file.RaiseCorrupt();
  }
  if (end - start > uint64_t(std::numeric_limits<int32_t>::max())) file.RaiseCorrupt();
  const int32_t size = int32_t(end - start);
  chunk.SetDataSize(size);
  if (!chunk.IsContainer()) {
    chunk.Read(file);
    if (file.Tell() > end) file.RaiseCorrupt();
    file.Seek(int32_t(end));
    return;
  }
  if (size < 4) file.RaiseCorrupt();
  chunk.Read(file);
  if (file.Tell() > end) file.RaiseCorrupt();
  // A trailing rest too small for a chunk header is ignored.
  while (end - file.Tell() >= 8) {
    const uint32_t at = file.Tell();
    TFileChunk* child = CreateChunk(file);
    if (!child) ThrowAudioMemoryLow();
    chunk.AddChild(child);
    child->SetFileOffset(at);
    ReadChunkWithin(*child, file, end);
    // Writers follow an odd-sized chunk with a pad byte.
    if ((end - file.Tell()) > 0 && (uint64_t(file.Tell()) - at) % 2 == 1) file.Seek(int32_t(file.Tell() + 1));
  }
  file.Seek(int32_t(end));
}

} // namespace

TFileChunk* CreateChunk(TAudioStream& file, bool root) {
  char id[4];
  file.ReadExact(id, 4);
  TStr name(id, 4);
  if (root && name == TStr("RIFF")) file.SetByteOrder(0);
  if (root && name == TStr("FORM")) file.SetByteOrder(1);
  return MakeChunk(name, root);
}

TFileChunk* ReadChunkTree(TAudioStream& file) {
  TFileChunk* root = CreateChunk(file, true);
  if (!root) ThrowAudioMemoryLow();
  std::unique_ptr<TFileChunk> hold(root);
  root->SetFileOffset(int64_t(file.Tell()) - 4);
  ReadChunk(*root, file);
  return hold.release();
}

void ReadChunk(TFileChunk& chunk, TAudioStream& file) {
  ReadChunkWithin(chunk, file, std::numeric_limits<uint64_t>::max());
}

int32_t GetContentSize(TFileChunk& chunk) {
  int64_t size = chunk.GetDataSize();
  for (TFileChunk* c = chunk.Children().First(); c; c = EList<TFileChunk>::Next(c)) {
    const int32_t content = GetContentSize(*c);
    size += 8 + int64_t(content) + Pad(content);
  }
  return size > std::numeric_limits<int32_t>::max() ? std::numeric_limits<int32_t>::max() : int32_t(size);
}

int32_t GetDataOffset(TFileChunk& chunk) {
  TFileChunk* parent = chunk.GetParent();
  if (!parent) return 8;
  int64_t offset = int64_t(GetDataOffset(*parent)) + parent->GetDataSize();
  for (TFileChunk* c = parent->Children().First(); c && c != &chunk; c = EList<TFileChunk>::Next(c)) {
    const int32_t content = GetContentSize(*c);
    offset += 8 + int64_t(content) + Pad(content);
  }
  return int32_t(offset + 8);
}

void WriteChunk(TFileChunk& chunk, TAudioStream& file) {
  TStr id = chunk.Id();
  char raw[4] = {' ', ' ', ' ', ' '};
  std::memcpy(raw, id.CStr(), std::min<int32_t>(4, id.Length()));
  file.RawWrite(raw, 4);
  const int32_t size = GetContentSize(chunk);
  file.WriteULong(uint32_t(size));
  const uint64_t start = file.Tell();
  chunk.Write(file);
  for (TFileChunk* c = chunk.Children().First(); c; c = EList<TFileChunk>::Next(c)) {
    WriteChunk(*c, file);
    if (Pad(GetContentSize(*c))) file.WriteUChar(0);
  }
  if (file.Tell() != start + uint64_t(size)) file.RaiseCorrupt();
}

void ApplyChunkTree(TFileChunk& chunk, TAudioFile& target) {
  chunk.Apply(target);
  for (TFileChunk* c = chunk.Children().First(); c; c = EList<TFileChunk>::Next(c)) ApplyChunkTree(*c, target);
}
