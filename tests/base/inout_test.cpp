#include "src/base/inout.h"
#include "tests/common/testkit.h"

#include <gtest/gtest.h>

#include <functional>

using testkit::Bytes;
using testkit::Hex;

namespace {
std::vector<unsigned char> Written(int order, const std::function<void(TInOut&)>& write) {
  TMemInOut s;
  s.SetByteOrder(order);
  write(s);
  return s.Data();
}
} // namespace

TEST(TInOut, EveryValueByteExactInBothOrders) {
  struct Case {
    const char* what;
    std::function<void(TInOut&)> write;
    std::vector<unsigned char> little, big;
  } cases[] = {
      {"ulong", [](TInOut& s) { s.WriteULong(0x01020304); }, Bytes({4, 3, 2, 1}), Bytes({1, 2, 3, 4})},
      {"short -2", [](TInOut& s) { s.WriteShort(-2); }, Bytes({0xFE, 0xFF}), Bytes({0xFF, 0xFE})},
      {"ushort", [](TInOut& s) { s.WriteUShort(0xABCD); }, Bytes({0xCD, 0xAB}), Bytes({0xAB, 0xCD})},
      {"long -1", [](TInOut& s) { s.WriteLong(-1); }, Bytes({0xFF, 0xFF, 0xFF, 0xFF}), Bytes({0xFF, 0xFF, 0xFF, 0xFF})},
      {"float 1", [](TInOut& s) { s.WriteFloat(1.0f); }, Bytes({0, 0, 0x80, 0x3F}), Bytes({0x3F, 0x80, 0, 0})},
      {"double 1", [](TInOut& s) { s.WriteDouble(1.0); }, Bytes({0, 0, 0, 0, 0, 0, 0xF0, 0x3F}),
       Bytes({0x3F, 0xF0, 0, 0, 0, 0, 0, 0})},
      {"chars", [](TInOut& s) { s.WriteChar(-1).WriteUChar(7); }, Bytes({0xFF, 7}), Bytes({0xFF, 7})},
      {"str abc", [](TInOut& s) { s.WriteStr(TStr("abc")); }, Bytes({3, 0, 0, 0, 0x61, 0x62, 0x63}),
       Bytes({0, 0, 0, 3, 0x61, 0x62, 0x63})},
      {"empty str", [](TInOut& s) { s.WriteStr(TStr()); }, Bytes({0, 0, 0, 0}), Bytes({0, 0, 0, 0})},
      {"pnt", [](TInOut& s) { s.WritePnt(TPnt(1, -2)); }, Bytes({1, 0, 0, 0, 0xFE, 0xFF, 0xFF, 0xFF}),
       Bytes({0, 0, 0, 1, 0xFF, 0xFF, 0xFF, 0xFE})},
      {"area", [](TInOut& s) { s.WriteArea(TArea(1, 2, 3, 4)); },
       Bytes({1, 0, 0, 0, 2, 0, 0, 0, 3, 0, 0, 0, 4, 0, 0, 0}), Bytes({0, 0, 0, 1, 0, 0, 0, 2, 0, 0, 0, 3, 0, 0, 0, 4})},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(Hex(Written(0, c.write)), Hex(c.little)) << c.what;
    EXPECT_EQ(Hex(Written(1, c.write)), Hex(c.big)) << c.what;
  }
}

TEST(TInOut, ReadsBackWhatWasWritten) {
  for (int order : {0, 1}) {
    TMemInOut s;
    s.SetByteOrder(order);
    s.WriteChar(-3).WriteUChar(200).WriteShort(-2).WriteUShort(65000).WriteLong(-70000).WriteULong(0xDEADBEEF);
    s.WriteFloat(0.25f).WriteDouble(-1.5).WriteStr(TStr("abc")).WritePnt(TPnt(5, 6)).WriteArea(TArea(1, 2, 3, 4));
    s.Seek(0);
    int8_t c;
    uint8_t uc;
    int16_t sh;
    uint16_t ush;
    int32_t l;
    uint32_t ul;
    float f;
    double d;
    TStr str;
    TPnt p;
    TArea a;
    s.ReadChar(c).ReadUChar(uc).ReadShort(sh).ReadUShort(ush).ReadLong(l).ReadULong(ul);
    s.ReadFloat(f).ReadDouble(d).ReadStr(str).ReadPnt(p).ReadArea(a);
    EXPECT_EQ(c, -3);
    EXPECT_EQ(uc, 200);
    EXPECT_EQ(sh, -2);
    EXPECT_EQ(ush, 65000);
    EXPECT_EQ(l, -70000);
    EXPECT_EQ(ul, 0xDEADBEEFu);
    EXPECT_EQ(f, 0.25f);
    EXPECT_EQ(d, -1.5);
    EXPECT_EQ(str, TStr("abc"));
    EXPECT_EQ(p, TPnt(5, 6));
    EXPECT_EQ(a, TArea(1, 2, 3, 4));
    EXPECT_EQ(s.Remaining(), 0);
  }
}

TEST(TInOut, ArraysLeaveTheCallersDataAlone) {
  int16_t shorts[2] = {0x0102, 0x0304};
  TMemInOut s;
  s.SetByteOrder(1);
  s.WriteShortArray(shorts, 2);
  EXPECT_EQ(shorts[0], 0x0102);
  EXPECT_EQ(Hex(s.Data()), "01 02 03 04");
  s.Seek(0);
  int16_t back[2] = {0, 0};
  EXPECT_EQ(s.ReadShortArray(back, 2), 2);
  EXPECT_EQ(back[1], 0x0304);

  float fl[2] = {1.0f, -2.0f};
  double db[1] = {0.5};
  int32_t lg[1] = {7};
  TMemInOut t;
  t.SetByteOrder(1);
  t.WriteFloatArray(fl, 2);
  t.WriteDoubleArray(db, 1);
  t.WriteLongArray(lg, 1);
  t.Seek(0);
  float fb[2];
  double dbb[1];
  int32_t lb[1];
  EXPECT_EQ(t.ReadFloatArray(fb, 2), 2);
  EXPECT_EQ(t.ReadDoubleArray(dbb, 1), 1);
  EXPECT_EQ(t.ReadLongArray(lb, 1), 1);
  EXPECT_EQ(fb[1], -2.0f);
  EXPECT_EQ(dbb[0], 0.5);
  EXPECT_EQ(lb[0], 7);
}

TEST(TInOut, ShortReads) {
  TMemInOut s(std::vector<uint8_t>(10, 1));
  int32_t values[3] = {0, 0, 0};
  EXPECT_EQ(s.ReadLongArray(values, 3), 2);

  // A damaged string length is refused without allocating or reading past the end.
  TMemInOut bad(Bytes({0xFF, 0xFF, 0xFF, 0xFF, 1, 2, 3, 4, 5, 6}));
  TStr str("keep");
  EXPECT_THROW(bad.ReadStr(str), TError);
  EXPECT_EQ(str, TStr("keep"));

  TMemInOut truncated(Bytes({5, 0, 0, 0, 'a', 'b'}));
  EXPECT_THROW(truncated.ReadStr(str), TError);
  TMemInOut noLength(Bytes({5, 0}));
  EXPECT_THROW(noLength.ReadStr(str), TError);

  // A long string (beyond the old 9999-byte limit) reads back whole.
  TMemInOut big;
  big.WriteStr(TStr(std::string(20000, 'z')));
  big.Seek(0);
  big.ReadStr(str);
  EXPECT_EQ(str.Length(), 20000);
}

namespace {
// A stream that cannot tell how much it holds.
class Unsized : public TInOut {
public:
  explicit Unsized(std::vector<uint8_t> d) : m_(std::move(d)) {}
  void RawWrite(const void* b, uint32_t n) override { m_.RawWrite(b, n); }
  uint32_t RawRead(void* b, uint32_t n) override { return m_.RawRead(b, n); }

private:
  TMemInOut m_;
};
} // namespace

TEST(TInOut, DamagedLengthOnAnUnsizedStream) {
  Unsized s(Bytes({0xFF, 0xFF, 0xFF, 0xFF, 1, 2, 3, 4, 5, 6}));
  TStr str;
  EXPECT_THROW(s.ReadStr(str), TError);
}

TEST(ByteOrder, Helpers) {
  EXPECT_EQ(ByteSwap16(0x1234), 0x3412);
  EXPECT_EQ(ByteSwap32(0x01020304u), 0x04030201u);
  EXPECT_EQ(ByteSwapDouble(ByteSwapDouble(3.25)), 3.25);
  uint32_t v = 0x01020304;
  ToByteOrder32(&v, 0);
  EXPECT_EQ(v, 0x01020304u);
  ToByteOrder32(&v, 1);
  EXPECT_EQ(v, 0x04030201u);
  int16_t arr[2] = {0x0102, 0x0304};
  ToByteOrderArray16(arr, 2, 1);
  EXPECT_EQ(arr[1], 0x0403);
  EXPECT_EQ(MachineByteOrder(), 0);
}
