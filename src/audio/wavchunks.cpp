#include "src/audio/wavchunks.h"

#include "src/audio/analysis.h"
#include "src/audio/audiomsg.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <memory>
#include <new>

namespace {
void WriteU16(TAudioStream& f, uint32_t v) { f.WriteUShort(uint16_t(v)); }
void WriteU32(TAudioStream& f, uint32_t v) { f.WriteULong(v); }

TStr ReadFourCC(TAudioStream& f) {
  char id[4];
  f.ReadExact(id, 4);
  return TStr(id, 4);
}

void WriteFourCC(TAudioStream& f, const TStr& id) {
  char raw[4] = {' ', ' ', ' ', ' '};
  std::memcpy(raw, id.CStr(), std::min<int32_t>(4, id.Length()));
  f.RawWrite(raw, 4);
}

constexpr uint16_t kTagPcm = 1;
constexpr uint16_t kTagExtensible = 0xFFFE;
} // namespace

// ---------------------------------------------------------------- RIFF and FORM

TAudioStream& TFormChunk::Read(TAudioStream& file) {
  formType_ = ReadFourCC(file);
  SetDataSize(4);
  return file;
}

TAudioStream& TFormChunk::Write(TAudioStream& file) {
  WriteFourCC(file, formType_);
  return file;
}

void TRIFFChunk::Apply(IChunkTarget& target) {
  if (!FindChild(TStr("fmt ")) || !FindChild(TStr("data"))) ThrowAudioError(AudioNotWaveFile(), target.GetFilePath());
  if (!FindChild(TStr("smpl"))) target.SetLoopOn(0);
}

// ---------------------------------------------------------------- fmt

TWAVFormatChunk::TWAVFormatChunk(TAudioBuf& file) {
  const uint32_t bps = uint32_t(file.GetBytesPerSample());
  tag = coding = kTagPcm;
  channels = uint16_t(file.GetChannels());
  rate = uint32_t(file.GetRate());
  byteRate = rate * channels * bps;
  blockAlign = uint16_t(channels * bps);
  bits = uint16_t(file.GetBits());
  SetDataSize(16);
}

TAudioStream& TWAVFormatChunk::Read(TAudioStream& file) {
  Require(file, 16);
  tag = file.ReadU16();
  channels = file.ReadU16();
  rate = file.ReadU32();
  byteRate = file.ReadU32();
  blockAlign = file.ReadU16();
  bits = file.ReadU16();
  coding = tag;
  // The extensible form names the real coding in the first two bytes of its
  // sub-format; its other fields are not needed.
  if (tag == kTagExtensible && GetDataSize() >= 26) {
    file.Skip(8); // extension size, valid bits, channel mask
    coding = file.ReadU16();
  }
  SetDataSize(16);
  return file;
}

TAudioStream& TWAVFormatChunk::Write(TAudioStream& file) {
  WriteU16(file, tag);
  WriteU16(file, channels);
  WriteU32(file, rate);
  WriteU32(file, byteRate);
  WriteU16(file, blockAlign);
  WriteU16(file, bits);
  return file;
}

void TWAVFormatChunk::Apply(IChunkTarget& target) {
  const int32_t r = rate > uint32_t(INT32_MAX) ? INT32_MAX : int32_t(rate);
  target.SetFormat(0, 1, bits, channels, r, 0, 0);
  if (coding != kTagPcm) target.SetUnsupportedCoding();
}

// ---------------------------------------------------------------- data

// A second "data" chunk is ignored, as other readers do: the samples are read
// from the first one, so their count must come from it too.
void TWAVDataChunk::Apply(IChunkTarget& target) {
  if (GetParent() && GetParent()->FindChild(Id()) != this) return;
  target.SetSampleDataBytes(GetDataSize());
}

// ---------------------------------------------------------------- smpl

TWAVSampleChunk::TWAVSampleChunk(int32_t rootKey, int32_t loopStart, int32_t loopEnd, int32_t loopOn,
                                 int32_t alternating) {
  unityNote = uint32_t(rootKey);
  Loop l{};
  l.type = loopOn == 0 ? 0xFF : alternating ? 1 : 0;
  l.start = uint32_t(loopStart);
  l.end = uint32_t(loopEnd - 1);
  loops.push_back(l);
  SetDataSize(60);
}

TAudioStream& TWAVSampleChunk::Read(TAudioStream& file) {
  Require(file, 36);
  manufacturer = file.ReadU32();
  product = file.ReadU32();
  samplePeriod = file.ReadU32();
  unityNote = file.ReadU32();
  pitchFraction = file.ReadU32();
  smpteFormat = file.ReadU32();
  smpteOffset = file.ReadU32();
  const uint32_t n = file.ReadU32();
  const uint32_t s = file.ReadU32();
  // The counts are bounded by the bytes the chunk really holds.
  const int64_t room = GetDataSize() - 36;
  const int64_t kept = std::min<int64_t>(n, room / 24);
  loops.clear();
  loops.reserve(size_t(kept));
  for (int64_t i = 0; i < kept; ++i) {
    Loop l;
    l.cuePoint = file.ReadU32();
    l.type = file.ReadU32();
    l.start = file.ReadU32();
    l.end = file.ReadU32();
    l.fraction = file.ReadU32();
    l.playCount = file.ReadU32();
    loops.push_back(l);
  }
  const int64_t rawBytes = std::min<int64_t>(s, room - kept * 24);
  samplerData.assign(size_t(rawBytes), 0);
  if (rawBytes > 0) file.ReadExact(samplerData.data(), uint32_t(rawBytes));
  SetDataSize(int32_t(36 + kept * 24 + rawBytes));
  return file;
}

TAudioStream& TWAVSampleChunk::Write(TAudioStream& file) {
  for (uint32_t v : {manufacturer, product, samplePeriod, unityNote, pitchFraction, smpteFormat, smpteOffset})
    WriteU32(file, v);
  WriteU32(file, uint32_t(loops.size()));
  WriteU32(file, uint32_t(samplerData.size()));
  for (const Loop& l : loops)
    for (uint32_t v : {l.cuePoint, l.type, l.start, l.end, l.fraction, l.playCount}) WriteU32(file, v);
  if (!samplerData.empty()) file.RawWrite(samplerData.data(), uint32_t(samplerData.size()));
  return file;
}

void TWAVSampleChunk::Apply(IChunkTarget& target) {
  target.SetRootKey(unityNote > 127 ? 60 : int32_t(unityNote));
  if (loops.empty()) {
    target.SetLoopOn(0);
    return;
  }
  const Loop& l = loops[0];
  target.SetLoopOn(l.type != 0xFF);
  target.SetAlternatingLoop(l.type == 1);
  // The end is inclusive in the file and exclusive here.
  target.SetRawLoop(l.start, int64_t(l.end) + 1);
}

// ---------------------------------------------------------------- FORM

void TAIFFFormChunk::Apply(IChunkTarget& target) {
  auto* mark = dynamic_cast<TAIFFMarkerChunk*>(FindChild(TStr("MARK")));
  auto* inst = FindChild(TStr("INST"));
  if (!mark || !inst) {
    target.SetLoopOn(0);
    return;
  }
  auto* instrument = dynamic_cast<TAIFFInstrumentChunk*>(inst);
  if (!instrument) return;
  target.SetRawLoop(mark->FindMarkerPosition(instrument->sustainBegin),
                    mark->FindMarkerPosition(instrument->sustainEnd));
}

// ---------------------------------------------------------------- COMM

TAIFFCommonChunk::TAIFFCommonChunk(IChunkTarget& file) {
  channels = uint16_t(file.GetChannels());
  frames = uint32_t(file.GetFileLength());
  bits = uint16_t(file.GetBits());
  WriteExtended80(double(file.GetRate()), rate);
  SetDataSize(18);
}

TAudioStream& TAIFFCommonChunk::Read(TAudioStream& file) {
  Require(file, 18);
  channels = file.ReadU16();
  frames = file.ReadU32();
  bits = file.ReadU16();
  file.ReadExact(rate, 10);
  // AIFF-C names its coding next; only uncompressed big-endian samples are
  // what the rest of the header says they are.
  auto* form = dynamic_cast<TAIFFFormChunk*>(GetParent());
  if (form && form->FormType() == TStr("AIFC")) {
    if (GetDataSize() < 22) file.RaiseCorrupt();
    TStr coding = ReadFourCC(file);
    plainSamples = coding == TStr("NONE") || coding == TStr("twos");
  }
  SetDataSize(FixedSize());
  return file;
}

TAudioStream& TAIFFCommonChunk::Write(TAudioStream& file) {
  WriteU16(file, channels);
  WriteU32(file, frames);
  WriteU16(file, bits);
  file.RawWrite(rate, 10);
  return file;
}

void TAIFFCommonChunk::Apply(IChunkTarget& target) {
  double r = ReadExtended80(rate);
  if (!(r > 0.0)) r = 0.0; // also NaN
  if (r > 2147483647.0) r = 2147483647.0;
  target.SetFormat(0, 1, bits, channels, int32_t(r), 0, 0);
  if (!plainSamples) target.SetUnsupportedCoding();
}

// ---------------------------------------------------------------- MARK

TAIFFMarkerChunk::TAIFFMarkerChunk(int32_t count, const int32_t* positions) {
  for (int32_t i = 0; i < count; ++i) markers.push_back({uint16_t(i + 1), uint32_t(positions[i]), TStr()});
  UpdateSize();
}

void TAIFFMarkerChunk::UpdateSize() {
  int64_t size = 2;
  for (const Marker& m : markers) {
    const int32_t len = m.name.Length();
    size += 7 + len + (len % 2 == 0 ? 1 : 0);
  }
  SetDataSize(int32_t(size));
}

TAudioStream& TAIFFMarkerChunk::Read(TAudioStream& file) {
  Require(file, 2);
  const uint16_t n = file.ReadU16();
  int64_t used = 2;
  markers.clear();
  for (uint16_t i = 0; i < n; ++i) {
    Require(file, used + 7);
    Marker m;
    m.id = file.ReadU16();
    m.position = file.ReadU32();
    const uint8_t len = file.ReadU8();
    const int32_t pad = len % 2 == 0 ? 1 : 0;
    used += 7 + len + pad;
    Require(file, used);
    char text[256];
    file.ReadExact(text, len);
    if (pad) file.ReadU8();
    m.name = TStr(text, len);
    markers.push_back(std::move(m));
  }
  if (used != GetDataSize()) file.RaiseCorrupt();
  return file;
}

TAudioStream& TAIFFMarkerChunk::Write(TAudioStream& file) {
  WriteU16(file, uint32_t(markers.size()));
  for (const Marker& m : markers) {
    WriteU16(file, m.id);
    WriteU32(file, m.position);
    const int32_t len = std::min<int32_t>(255, m.name.Length());
    file.WriteUChar(uint8_t(len));
    if (len) file.RawWrite(m.name.CStr(), uint32_t(len));
    if (len % 2 == 0) file.WriteUChar(0);
  }
  return file;
}

int32_t TAIFFMarkerChunk::FindMarkerPosition(uint16_t id) {
  for (const Marker& m : markers)
    if (m.id == id) return m.position > uint32_t(INT32_MAX) ? INT32_MAX : int32_t(m.position);
  return -1;
}

// ---------------------------------------------------------------- INST

TAIFFInstrumentChunk::TAIFFInstrumentChunk(int32_t base, int32_t loopOn, int32_t alternating) {
  baseNote = int8_t(base);
  sustainMode = int16_t(loopOn == 0 ? 0 : alternating ? 2 : 1);
  sustainBegin = 1;
  sustainEnd = 2;
  releaseMode = 1;
  releaseBegin = 1;
  releaseEnd = 2;
  SetDataSize(20);
}

TAudioStream& TAIFFInstrumentChunk::Read(TAudioStream& file) {
  Require(file, 20);
  uint8_t b[6];
  file.ReadExact(b, 6);
  baseNote = int8_t(b[0]);
  detune = int8_t(b[1]);
  lowNote = int8_t(b[2]);
  highNote = int8_t(b[3]);
  lowVelocity = int8_t(b[4]);
  highVelocity = int8_t(b[5]);
  gain = int16_t(file.ReadU16());
  sustainMode = int16_t(file.ReadU16());
  sustainBegin = file.ReadU16();
  sustainEnd = file.ReadU16();
  releaseMode = int16_t(file.ReadU16());
  releaseBegin = file.ReadU16();
  releaseEnd = file.ReadU16();
  SetDataSize(20);
  return file;
}

TAudioStream& TAIFFInstrumentChunk::Write(TAudioStream& file) {
  const uint8_t b[6] = {uint8_t(baseNote), uint8_t(detune),      uint8_t(lowNote),
                        uint8_t(highNote), uint8_t(lowVelocity), uint8_t(highVelocity)};
  file.RawWrite(b, 6);
  for (int v : {int(gain), int(sustainMode), int(sustainBegin), int(sustainEnd), int(releaseMode), int(releaseBegin),
                int(releaseEnd)})
    WriteU16(file, uint32_t(v));
  return file;
}

void TAIFFInstrumentChunk::Apply(IChunkTarget& target) {
  // The loop's ends are markers: without them there is no loop.
  const bool marked = GetParent() && GetParent()->FindChild(TStr("MARK"));
  target.SetLoopOn(marked ? sustainMode : 0);
  target.SetAlternatingLoop(sustainMode == 2);
  target.SetRootKey(baseNote < 0 ? 60 : baseNote);
}

// ---------------------------------------------------------------- SSND

TAudioStream& TAIFFDataChunk::Read(TAudioStream& file) {
  Require(file, 8);
  offset = file.ReadU32();
  blockSize = file.ReadU32();
  file.Skip(uint32_t(GetDataSize() - 8));
  return file;
}

TAudioStream& TAIFFDataChunk::Write(TAudioStream& file) {
  WriteU32(file, offset);
  WriteU32(file, blockSize);
  // The sample space is reserved here and filled by the file level.
  file.WriteZeros(uint32_t(GetDataSize() - 8));
  return file;
}

void TAIFFDataChunk::Apply(IChunkTarget& target) {
  if (GetParent() && GetParent()->FindChild(Id()) != this) return; // only the first holds the samples
  if (offset != 0 || blockSize != 0) ThrowAudioError(AudioFormatNotSupported(), target.GetFilePath());
  target.SetSampleDataBytes(GetDataSize() - 8);
}

// ---------------------------------------------------------------- reading a tree

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
