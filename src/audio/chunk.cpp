#include "src/audio/chunk.h"

#include "src/audio/audiomsg.h"

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

int32_t Pad(int32_t contentSize) { return contentSize & 1; }

} // namespace

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

void ApplyChunkTree(TFileChunk& chunk, IChunkTarget& target) {
  chunk.Apply(target);
  for (TFileChunk* c = chunk.Children().First(); c; c = EList<TFileChunk>::Next(c)) ApplyChunkTree(*c, target);
}
