#include "src/audio/audiomsg.h"
#include "src/audio/chunk.h"
#include "src/audio/wavchunks.h"
#include "tests/audio/audiotest.h"

#include <gtest/gtest.h>

#include <memory>

using namespace audiotest;

namespace {

std::unique_ptr<TFileChunk> ReadTree(const Bytes& bytes, std::string* error = nullptr) {
  TMemAudioStream s(bytes, TStr("/snd/tree.wav"));
  try {
    return std::unique_ptr<TFileChunk>(ReadChunkTree(s));
  } catch (const TError&) {
    if (error) *error = LastError()->Expand().Std();
  }
  return nullptr;
}

Bytes Data(int n) {
  Bytes d(size_t(n), 0);
  for (int i = 0; i < n; ++i) d[size_t(i)] = uint8_t(i);
  return d;
}

const std::string kCorrupt = "/snd/tree.wav is corrupt.";

} // namespace

TEST(ChunkTree, ReadsChildrenWithTheirIdsSizesAndOffsets) {
  Bytes list = Chunk("LIST", Str("INFOab"), 0);
  auto tree = ReadTree(WavFile({FmtChunk(1, 8000, 16), list, Chunk("data", Data(8), 0)}));
  ASSERT_TRUE(tree);
  EXPECT_EQ(tree->Id(), TStr("RIFF"));
  EXPECT_EQ(tree->ByteOrder(), 0);
  EXPECT_EQ(tree->GetFileOffset(), 0);
  std::vector<std::string> ids;
  for (TFileChunk* c = tree->Children().First(); c; c = EList<TFileChunk>::Next(c)) ids.push_back(c->Id().Std());
  EXPECT_EQ(ids, (std::vector<std::string>{"fmt ", "LIST", "data"}));
  TFileChunk* unknown = tree->FindChild(TStr("LIST"));
  ASSERT_TRUE(unknown);
  EXPECT_NE(dynamic_cast<TUnknownFileChunk*>(unknown), nullptr);
  EXPECT_EQ(unknown->GetDataSize(), 6);
  EXPECT_EQ(unknown->GetFileOffset(), 36);
  EXPECT_EQ(tree->FindChild(TStr("data"))->GetFileOffset(), 50);
}

TEST(ChunkTree, LongerFormatChunkKeepsItsSixteenBytes) {
  Bytes fmt18 = Chunk("fmt ", Cat({U16(1, 0), U16(2, 0), U32(22050, 0), U32(88200, 0), U16(4, 0), U16(16, 0), U16(0, 0)}), 0);
  auto tree = ReadTree(WavFile({fmt18, Chunk("data", Data(4), 0)}));
  ASSERT_TRUE(tree);
  auto* fmt = dynamic_cast<TWAVFormatChunk*>(tree->FindChild(TStr("fmt ")));
  ASSERT_TRUE(fmt);
  EXPECT_EQ(fmt->channels, 2);
  EXPECT_EQ(fmt->rate, 22050u);
  EXPECT_EQ(fmt->bits, 16);
  EXPECT_EQ(fmt->GetDataSize(), 16);
  EXPECT_EQ(tree->FindChild(TStr("data"))->GetDataSize(), 4);
}

// Writers pad an odd chunk with one byte; the next chunk starts after it.
TEST(ChunkTree, PadByteAfterAnOddChunkIsSkipped) {
  auto tree = ReadTree(WavFile({FmtChunk(1, 8000, 8), Chunk("data", Data(5), 0), Chunk("LIST", Str("INFO"), 0)}));
  ASSERT_TRUE(tree);
  EXPECT_EQ(tree->FindChild(TStr("data"))->GetDataSize(), 5);
  ASSERT_TRUE(tree->FindChild(TStr("LIST")));
  EXPECT_EQ(tree->FindChild(TStr("LIST"))->GetFileOffset(), 36 + 8 + 6);
}

TEST(ChunkTree, DamagedSizesEndInCorrupt) {
  const Bytes good = WavFile({FmtChunk(1, 8000, 16), Chunk("data", Data(8), 0)});
  struct Case {
    const char* what;
    Bytes bytes;
  } cases[] = {
      // The container ends before its last child does.
      {"riff smaller than children", [&] { Bytes b = good; b[4] = uint8_t(b[4] - 4); return b; }()},
      // A child whose size runs past the end of the file.
      {"data past the end", [&] { Bytes b = good; b[40] = 0xF0; return b; }()},
      {"fmt shorter than its fields", WavFile({Chunk("fmt ", Data(10), 0), Chunk("data", Data(8), 0)})},
      {"file cut inside the samples", Bytes(good.begin(), good.begin() + 46)},
      {"no form type", Cat({Str("RIFF"), U32(2, 0), Str("WA")})},
  };
  for (const Case& c : cases) {
    std::string error;
    EXPECT_FALSE(ReadTree(c.bytes, &error)) << c.what;
    EXPECT_EQ(error, kCorrupt) << c.what;
  }
}

TEST(ChunkTree, RootSizeBeyondTheFileIsClampedToIt) {
  Bytes b = WavFile({FmtChunk(1, 8000, 16), Chunk("data", Data(8), 0)});
  b[4] = 0xFF; b[5] = 0xFF; b[6] = 0xFF; b[7] = 0x7F;
  auto tree = ReadTree(b);
  ASSERT_TRUE(tree);
  EXPECT_EQ(tree->GetDataSize(), 4);
  EXPECT_EQ(GetContentSize(*tree), int32_t(b.size() - 8));
}

TEST(ChunkTree, PlaceholderSizeOfTheSamplesIsClampedButNoOtherChunkIs) {
  Bytes ssnd = Chunk("SSND", Cat({U32(0, 1), U32(0, 1), Data(6)}), 1);
  ssnd[4] = 0x7F; ssnd[5] = 0; ssnd[6] = 0; ssnd[7] = 0x08; // as a writer on a pipe leaves it
  Bytes aiff = AiffFile({CommChunk(1, 0x3F800000, 16, 8000), ssnd});
  aiff[4] = 0x7F; aiff[5] = 0; aiff[6] = 0; aiff[7] = 0x50;
  auto tree = ReadTree(aiff);
  ASSERT_TRUE(tree);
  EXPECT_EQ(tree->FindChild(TStr("SSND"))->GetDataSize(), 14);
  // The same size on any other chunk is damage.
  Bytes odd = AiffFile({CommChunk(1, 3, 16, 8000), Chunk("ANNO", Data(4), 1)});
  odd[38 + 4] = 0x7F;
  std::string error;
  EXPECT_FALSE(ReadTree(odd, &error));
  EXPECT_EQ(error, kCorrupt);
}

TEST(ChunkTree, SizesAndDataOffsetsOfABuiltTree) {
  TRIFFChunk root;
  auto* fmt = new TWAVFormatChunk;
  auto* data = new TWAVDataChunk;
  data->SetDataSize(100);
  root.AddChild(fmt);
  root.AddChild(data);
  EXPECT_EQ(GetContentSize(root), 4 + 24 + 8 + 100);
  EXPECT_EQ(GetDataOffset(root), 8);
  EXPECT_EQ(GetDataOffset(*fmt), 20);
  EXPECT_EQ(GetDataOffset(*data), 44);
  // FindChild looks at direct children only.
  auto* inner = new TUnknownFileChunk(TStr("deep"));
  fmt->AddChild(inner);
  EXPECT_EQ(root.FindChild(TStr("deep")), nullptr);
  EXPECT_EQ(fmt->FindChild(TStr("deep")), inner);
  // Deleting a child takes it out of its parent.
  delete fmt;
  EXPECT_EQ(root.Children().Count(), 1);
}

TEST(ChunkTree, WrittenTreeReadsBackByteForByte) {
  const Bytes file = WavFile({FmtChunk(2, 44100, 16), Chunk("data", Data(12), 0)});
  auto tree = ReadTree(file);
  ASSERT_TRUE(tree);
  TMemAudioStream out;
  WriteChunk(*tree, out);
  // The data chunk reserves its space with filler; the header is the same.
  ASSERT_EQ(out.Data().size(), file.size());
  EXPECT_EQ(Bytes(out.Data().begin(), out.Data().begin() + 44), Bytes(file.begin(), file.begin() + 44));
}

namespace {
// A chunk that writes fewer bytes than it claims.
class TShortChunk : public TFileChunk {
public:
  TShortChunk() { SetDataSize(4); }
  TAudioStream& Read(TAudioStream& f) override { return f; }
  TAudioStream& Write(TAudioStream& f) override {
    f.WriteUShort(1);
    return f;
  }
  TStr Id() override { return TStr("shrt"); }
};
} // namespace

TEST(ChunkTree, WriteOfTheWrongLengthIsRefused) {
  TShortChunk c;
  TMemAudioStream out({}, TStr("/snd/out.wav"));
  try {
    WriteChunk(c, out);
    FAIL();
  } catch (const TError&) {
    EXPECT_EQ(LastError()->Expand().Std(), "/snd/out.wav is corrupt.");
  }
}

TEST(ChunkTree, OddChunksAreWrittenWithAPadByte) {
  TAIFFFormChunk root;
  auto* ssnd = new TAIFFDataChunk;
  ssnd->SetDataSize(8 + 3);
  root.AddChild(ssnd);
  root.AddChild(new TUnknownFileChunk(TStr("ANNO")));
  TMemAudioStream out;
  out.SetByteOrder(1);
  WriteChunk(root, out);
  EXPECT_EQ(out.Data().size(), size_t(12 + 8 + 11 + 1 + 8));
  EXPECT_EQ(GetContentSize(root) % 2, 0);
  out.Seek(0);
  auto back = std::unique_ptr<TFileChunk>(ReadChunkTree(out));
  ASSERT_TRUE(back->FindChild(TStr("ANNO")));
}
