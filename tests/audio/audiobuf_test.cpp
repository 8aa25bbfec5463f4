#include "src/audio/audiobuf.h"
#include "src/base/system.h"
#include "tests/common/testkit.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

namespace {

int16_t Stored16(IAudioBuf& b, int frame, int channel) {
  int16_t v;
  std::memcpy(&v, b.GetSampleAddress(frame, channel), 2);
  return v;
}

} // namespace

TEST(TAudioBuf, NewDefaultBufferHoldsNoSamples) {
  EPtr<IAudioBuf> b(CreateAudioBuf());
  EXPECT_EQ(b->GetChannels(), 2);
  EXPECT_EQ(b->GetRate(), 44100);
  EXPECT_EQ(b->GetBits(), 32);
  EXPECT_EQ(b->IsFloat(), 1);
  EXPECT_EQ(b->IsInterleaved(), 0);
  EXPECT_EQ(b->GetLength(), 0);
  EXPECT_EQ(b->GetMargin(), 0);
  EXPECT_EQ(b->GetDataSize(), 0);
  EXPECT_EQ(b->GetStoredSize(), 24);
}

TEST(TAudioBuf, LengthGivenToABufferWithoutFormatAllocatesIt) {
  EPtr<IAudioBuf> b(CreateAudioBuf());
  b->SetLength(10);
  b->SetSample(9, 0.5f, 1);
  EXPECT_EQ(b->GetSample(9, 1), 0.5f);
  EXPECT_EQ(b->GetDataSize(), 80);
}

TEST(TAudioBuf, GuardFramesLieAroundTheMainRange) {
  const uint64_t before = SampleHeap().Used();
  EPtr<IAudioBuf> b(CreateAudioBuf(1, 0, 32, 1, 44100, 1000, 4));
  EXPECT_GE(SampleHeap().Used() - before, 1008u * 4);
  uint8_t* first = b->GetSampleAddress(-4, 0);
  EXPECT_EQ(b->GetSampleAddress(0, 0), first + 16);
  EXPECT_EQ(b->GetEndAddress(0), first + 1004 * 4);
  // Interleaved: one block, frames of all channels side by side.
  EPtr<IAudioBuf> i(CreateAudioBuf(0, 1, 16, 2, 44100, 10, 2));
  EXPECT_EQ(i->GetSampleAddress(0, 1), i->GetSampleAddress(-2, 0) + (2 * 2 + 1) * 2);
}

TEST(TAudioBuf, MarginsRepeatTheStartAfterClearAndRefresh) {
  EPtr<IAudioBuf> b(CreateAudioBuf(1, 0, 32, 2, 44100, 10, 4));
  for (int c = 0; c < 2; ++c)
    for (int f = 0; f < 10; ++f) EXPECT_EQ(b->GetSample(f, c), 0.0f);
  for (int c = 0; c < 2; ++c)
    for (int f = 0; f < 10; ++f) b->SetSample(f, 0.01f * f + c * 0.5f, c);
  b->RefreshMargins();
  for (int c = 0; c < 2; ++c)
    for (int k = 0; k < 4; ++k) {
      float guard, start;
      std::memcpy(&guard, b->GetSampleAddress(10 + k, c), 4);
      std::memcpy(&start, b->GetSampleAddress(k, c), 4);
      EXPECT_EQ(guard, start) << c << " " << k;
    }
}

TEST(TAudioBuf, EmptyBufferWithMarginSurvivesClearAndRefresh) {
  EPtr<IAudioBuf> b(CreateAudioBuf(1, 0, 32, 1, 44100, 0, 4));
  b->Clear();
  b->RefreshMargins();
  b->SetSample(-4, 0.5f, 0);
  b->SetSample(3, 0.25f, 0);
  EXPECT_EQ(b->GetSample(0, 0), 0.0f);
  ASSERT_NE(b->GetSampleAddress(3, 0), nullptr);
  float v;
  std::memcpy(&v, b->GetSampleAddress(3, 0), 4);
  EXPECT_EQ(v, 0.25f);
}

TEST(TAudioBuf, FramesWrapWhenRead) {
  EPtr<IAudioBuf> b(CreateAudioBuf(1, 0, 32, 1, 44100, 5, 0));
  for (int f = 0; f < 5; ++f) b->SetSample(f, 0.1f * f, 0);
  EXPECT_EQ(b->GetSample(-1, 0), b->GetSample(4, 0));
  EXPECT_EQ(b->GetSample(5, 0), b->GetSample(0, 0));
  EXPECT_EQ(b->GetSample(-6, 0), b->GetSample(4, 0));
}

TEST(TAudioBuf, StoredValuesAreClippedAndTruncated) {
  struct Case {
    int isFloat, bits;
    float value;
    double stored;
  } cases[] = {
      {0, 16, 2.0f, 32766},  {0, 16, -3.0f, -32767}, {0, 16, 1.0f, 32766}, {0, 16, -1.0f, -32767},
      {0, 16, 0.5f, 16383},  {0, 16, -0.5f, -16383}, {0, 8, 1.0f, 126},    {0, 8, -1.0f, -127},
      {0, 8, 0.5f, 63},      {1, 32, 2.0f, 0.999969482421875},            {1, 32, -2.0f, -1.0},
      {1, 32, NAN, 0.0},     {0, 16, NAN, 0},
  };
  for (const Case& c : cases) {
    EPtr<IAudioBuf> b(CreateAudioBuf(c.isFloat, 0, c.bits, 1, 44100, 4, 0));
    b->SetSample(1, c.value, 0);
    double got;
    const uint8_t* p = b->GetSampleAddress(1, 0);
    if (c.isFloat) {
      float f;
      std::memcpy(&f, p, 4);
      got = f;
    } else if (c.bits == 8) {
      got = int8_t(*p);
    } else {
      got = Stored16(*b, 1, 0);
    }
    EXPECT_EQ(got, c.stored) << c.bits << " bits, value " << c.value;
  }
}

TEST(TAudioBuf, WritesOutsideTheGuardFramesAreDropped) {
  EPtr<IAudioBuf> b(CreateAudioBuf(0, 0, 16, 1, 44100, 4, 2));
  b->SetSample(5, 0.5f, 0); // last guard frame
  EXPECT_EQ(Stored16(*b, 5, 0), 16383);
  const std::vector<uint8_t> before(b->GetSampleAddress(-2, 0), b->GetSampleAddress(6, 0));
  b->SetSample(6, 0.5f, 0);
  b->SetSample(-3, 0.5f, 0);
  b->SetSample(0, 0.5f, 7);
  EXPECT_EQ(std::vector<uint8_t>(b->GetSampleAddress(-2, 0), b->GetSampleAddress(6, 0)), before);
}

TEST(TAudioBuf, ChannelMinusOneMeansAllChannels) {
  EPtr<IAudioBuf> b(CreateAudioBuf(1, 0, 32, 2, 44100, 3, 0));
  b->SetSample(0, 0.5f, 0);
  b->SetSample(0, -0.5f, 1);
  EXPECT_EQ(b->GetSample(0, -1), 0.0f);
  b->SetSample(1, 0.25f, -1);
  EXPECT_EQ(b->GetSample(1, 0), 0.25f);
  EXPECT_EQ(b->GetSample(1, 1), 0.25f);
}

TEST(TAudioBuf, CopyFromNeedsTheSameRateAndMixesOtherChannelCounts) {
  EPtr<IAudioBuf> mono(CreateAudioBuf(1, 0, 32, 1, 44100, 4, 0));
  for (int f = 0; f < 4; ++f) mono->SetSample(f, 0.125f * (f + 1), 0);
  EPtr<IAudioBuf> stereo(CreateAudioBuf(1, 0, 32, 2, 44100, 4, 0));
  stereo->CopyFrom(mono.Get(), -1, 0, 0, 0);
  for (int f = 0; f < 4; ++f) {
    EXPECT_EQ(stereo->GetSample(f, 0), 0.125f * (f + 1));
    EXPECT_EQ(stereo->GetSample(f, 1), 0.125f * (f + 1));
  }
  EPtr<IAudioBuf> other(CreateAudioBuf(1, 0, 32, 1, 22050, 4, 0));
  other->CopyFrom(mono.Get(), -1, 0, 0, 0);
  for (int f = 0; f < 4; ++f) EXPECT_EQ(other->GetSample(f, 0), 0.0f);
  // An empty source copies nothing instead of dividing by its length.
  EPtr<IAudioBuf> empty(CreateAudioBuf(1, 0, 32, 1, 44100, 0, 0));
  mono->CopyFrom(empty.Get(), 4, 0, 0, 0);
  EXPECT_EQ(mono->GetSample(0, 0), 0.125f);
}

// Every integer sample value loads as the float that stores back to it. The
// clip at 32767/32768 keeps 8-bit 127 at 0.99997, which still rounds to 127
// but stores back as 126.
TEST(TAudioBuf, IntegerSamplesLoadAsFloatsThatRoundBack) {
  for (int bits : {8, 16}) {
    const int top = bits == 8 ? 127 : 32767;
    const int count = 2 * (top + 1);
    EPtr<IAudioBuf> ints(CreateAudioBuf(0, 1, bits, 1, 44100, count, 0));
    for (int k = 0; k < count; ++k) {
      const int value = k - (top + 1);
      uint8_t* p = ints->GetSampleAddress(k, 0);
      if (bits == 8) *p = uint8_t(int8_t(value));
      else {
        int16_t v = int16_t(value);
        std::memcpy(p, &v, 2);
      }
    }
    EPtr<IAudioBuf> floats(CreateAudioBuf(1, 0, 32, 1, 44100, count, 0));
    floats->CopyFrom(ints.Get(), -1, 0, 0, 0);
    int wrong = 0;
    for (int k = 0; k < count; ++k) {
      const int value = k - (top + 1);
      const int expected = std::min(std::max(value, -top), bits == 8 ? top : top - 1);
      if (std::lround(double(floats->GetSample(k, 0)) * top) != expected && wrong++ < 5)
        ADD_FAILURE() << bits << " bits: " << value << " loads as " << floats->GetSample(k, 0);
    }
    // And a float stored back at the same size gives the value again.
    EPtr<IAudioBuf> back(CreateAudioBuf(0, 1, bits, 1, 44100, count, 0));
    back->CopyFrom(floats.Get(), -1, 0, 0, 0);
    for (int k = 0; k < count; ++k) {
      const int value = k - (top + 1);
      const int expected = std::min(std::max(value, -top), top - 1);
      const uint8_t* p = back->GetSampleAddress(k, 0);
      int got = bits == 8 ? int8_t(*p) : Stored16(*back, k, 0);
      if (got != expected && wrong++ < 10) ADD_FAILURE() << bits << " bits: " << value << " stores back as " << got;
    }
  }
}

TEST(TAudioBuf, StoredFormRoundTripsInBothByteOrdersAndKeepsTheMargin) {
  for (int order : {0, 1}) {
    for (int bits : {8, 16, 32}) {
      const int isFloat = bits == 32;
      EPtr<IAudioBuf> b(CreateAudioBuf(isFloat, 0, bits, 2, 22050, 5, 0));
      for (int c = 0; c < 2; ++c)
        for (int f = 0; f < 5; ++f) b->SetSample(f, 0.1f * f - 0.3f * c, c);
      TMemInOut s;
      s.SetByteOrder(order);
      b->Write(s);
      ASSERT_EQ(int(s.Data().size()), b->GetStoredSize());
      EXPECT_EQ(s.Data()[order ? 3 : 0], 5); // length first
      EPtr<IAudioBuf> r(CreateAudioBuf(1, 0, 32, 1, 44100, 0, 4));
      s.Seek(0);
      r->Read(s);
      EXPECT_EQ(r->GetLength(), 5);
      EXPECT_EQ(r->GetChannels(), 2);
      EXPECT_EQ(r->GetRate(), 22050);
      EXPECT_EQ(r->GetBits(), bits);
      EXPECT_EQ(r->IsFloat(), isFloat);
      EXPECT_EQ(r->IsInterleaved(), 0);
      EXPECT_EQ(r->GetMargin(), 4);
      for (int c = 0; c < 2; ++c)
        for (int f = 0; f < 5; ++f) EXPECT_EQ(r->GetSample(f, c), b->GetSample(f, c)) << order << " " << bits;
    }
  }
}

TEST(TAudioBuf, StoredFormWithCountsBeyondTheStreamIsRefused) {
  // Length 1000000 stereo 32-bit in a stream of 30 bytes.
  TMemInOut s(std::vector<uint8_t>{0x40, 0x42, 0x0F, 0, 2, 0, 0, 0, 0x44, 0xAC, 0, 0, 0, 0, 0, 0, 32, 0, 0, 0, 1, 0, 0, 0,
                                   1, 2, 3, 4, 5, 6});
  EPtr<IAudioBuf> r(CreateAudioBuf());
  EXPECT_THROW(r->Read(s), TError);
}

TEST(TAudioBuf, NegativeLengthIsMemoryLow) {
  EPtr<IAudioBuf> b(CreateAudioBuf());
  try {
    b->SetFormat(1, 0, 32, 1, 44100, -5, 0);
    FAIL();
  } catch (const TError&) {
    EXPECT_EQ(LastError()->Expand().Std(), "Memory is low. Cannot finish operation!");
  }
}

TEST(Extended80, KnownBytesAndRoundTrips) {
  uint8_t b[10];
  WriteExtended80(44100.0, b);
  EXPECT_EQ(testkit::Hex({b, b + 10}), "40 0E AC 44 00 00 00 00 00 00");
  WriteExtended80(0.0, b);
  EXPECT_EQ(testkit::Hex({b, b + 10}), "00 00 00 00 00 00 00 00 00 00");
  EXPECT_EQ(ReadExtended80(b), 0.0);
  for (double v : {44100.0, 22050.0, 48000.0, 8000.0, 1.0, 32768.0, 65536.0, 2.0, 96000.0, 44100.5, 0.5, -8000.0}) {
    WriteExtended80(v, b);
    EXPECT_EQ(ReadExtended80(b), v) << v;
    // The integer bit of the mantissa is always set for a non-zero value.
    EXPECT_EQ(b[2] & 0x80, 0x80) << v;
  }
}

TEST(Extended80, UnsignedHelpers) {
  EXPECT_EQ(UnsignedToDouble(0xFFFFFFFFu), 4294967295.0);
  EXPECT_EQ(UnsignedToDouble(0x80000000u), 2147483648.0);
  EXPECT_EQ(DoubleToUnsigned(4294967295.0), 0xFFFFFFFFu);
  EXPECT_EQ(DoubleToUnsigned(2147483648.5), 0x80000000u);
  EXPECT_EQ(DoubleToUnsigned(7.9), 7u);
}

TEST(TAudioBuf, ClearSilencesEveryFormatGuardFramesIncluded) {
  struct Case {
    int isFloat, interleaved, bits, channels, margin;
  };
  const Case cases[] = {{1, 0, 32, 1, 3}, {1, 0, 32, 2, 0}, {0, 1, 16, 2, 2}, {0, 0, 16, 1, 1}, {0, 1, 8, 2, 4}};
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "float " << c.isFloat << " interleaved " << c.interleaved << " bits " << c.bits
                                    << " channels " << c.channels);
    EPtr<IAudioBuf> b(CreateAudioBuf(c.isFloat, c.interleaved, c.bits, c.channels, 44100, 50, c.margin));
    for (int ch = 0; ch < c.channels; ++ch)
      for (int f = -c.margin; f < 50 + c.margin; ++f) b->SetSample(f, f % 2 ? 0.75f : -0.5f, ch);
    b->Clear();
    for (int ch = 0; ch < c.channels; ++ch)
      for (int f = -c.margin; f < 50 + c.margin; ++f) ASSERT_EQ(b->GetSample(f, ch), 0.0f) << f;
  }
}
