// The chunks of WAV (RIFF, little-endian) and AIFF (FORM, big-endian) files.
#pragma once

#include "src/audio/chunk.h"

#include <cstdint>
#include <vector>

// The container at the root of a file: its own data is the form type.
class TFormChunk : public TFileChunk {
public:
  explicit TFormChunk(const char* formType) : formType_(formType) { SetDataSize(4); }
  TAudioStream& Read(TAudioStream& file) override;
  TAudioStream& Write(TAudioStream& file) override;
  int32_t IsContainer() override { return 1; }
  const TStr& FormType() const { return formType_; }

private:
  TStr formType_;
};

class TRIFFChunk : public TFormChunk {
public:
  TRIFFChunk() : TFormChunk("WAVE") {}
  void Apply(IChunkTarget& target) override;
  TStr Id() override { return TStr("RIFF"); }
  int32_t ByteOrder() override { return 0; }
};

class TWAVFormatChunk : public TFileChunk {
public:
  TWAVFormatChunk() { SetDataSize(16); }
  explicit TWAVFormatChunk(TAudioBuf& file);
  TAudioStream& Read(TAudioStream& file) override;
  TAudioStream& Write(TAudioStream& file) override;
  void Apply(IChunkTarget& target) override;
  TStr Id() override { return TStr("fmt "); }

  uint16_t tag = 1;
  uint16_t channels = 0;
  uint32_t rate = 0;
  uint32_t byteRate = 0;
  uint16_t blockAlign = 0;
  uint16_t bits = 0;
  // The coding of the samples: the tag, or the sub-format of an extensible tag.
  uint16_t coding = 1;
};

class TWAVDataChunk : public TLargeFileChunk {
public:
  void Apply(IChunkTarget& target) override;
  TStr Id() override { return TStr("data"); }
  bool HoldsSamples() override { return true; }
};

class TWAVSampleChunk : public TFileChunk {
public:
  struct Loop {
    uint32_t cuePoint, type, start, end, fraction, playCount;
  };
  TWAVSampleChunk() = default;
  TWAVSampleChunk(int32_t rootKey, int32_t loopStart, int32_t loopEnd, int32_t loopOn, int32_t alternating);
  TAudioStream& Read(TAudioStream& file) override;
  TAudioStream& Write(TAudioStream& file) override;
  void Apply(IChunkTarget& target) override;
  TStr Id() override { return TStr("smpl"); }

  uint32_t manufacturer = 0, product = 0, samplePeriod = 0, unityNote = 60, pitchFraction = 0, smpteFormat = 0,
           smpteOffset = 0;
  std::vector<Loop> loops;
  std::vector<uint8_t> samplerData;
};

class TAIFFFormChunk : public TFormChunk {
public:
  TAIFFFormChunk() : TFormChunk("AIFF") {}
  void Apply(IChunkTarget& target) override;
  TStr Id() override { return TStr("FORM"); }
  int32_t ByteOrder() override { return 1; }
};

class TAIFFCommonChunk : public TFileChunk {
public:
  TAIFFCommonChunk() { SetDataSize(18); }
  explicit TAIFFCommonChunk(IChunkTarget& file);
  TAudioStream& Read(TAudioStream& file) override;
  TAudioStream& Write(TAudioStream& file) override;
  void Apply(IChunkTarget& target) override;
  TStr Id() override { return TStr("COMM"); }
  virtual int32_t FixedSize() { return 18; }

  uint16_t channels = 0;
  uint32_t frames = 0;
  uint16_t bits = 0;
  uint8_t rate[10] = {};
  // False for a compressed AIFF-C file.
  bool plainSamples = true;
};

class TAIFFMarkerChunk : public TFileChunk {
public:
  struct Marker {
    uint16_t id;
    uint32_t position;
    TStr name;
  };
  TAIFFMarkerChunk() = default;
  TAIFFMarkerChunk(int32_t count, const int32_t* positions);
  TAudioStream& Read(TAudioStream& file) override;
  TAudioStream& Write(TAudioStream& file) override;
  TStr Id() override { return TStr("MARK"); }
  virtual void UpdateSize();
  // The position of the first marker with this id, or -1.
  int32_t FindMarkerPosition(uint16_t id);

  std::vector<Marker> markers;
};

class TAIFFInstrumentChunk : public TFileChunk {
public:
  TAIFFInstrumentChunk() { SetDataSize(20); }
  TAIFFInstrumentChunk(int32_t baseNote, int32_t loopOn, int32_t alternating);
  TAudioStream& Read(TAudioStream& file) override;
  TAudioStream& Write(TAudioStream& file) override;
  void Apply(IChunkTarget& target) override;
  TStr Id() override { return TStr("INST"); }

  int8_t baseNote = 60, detune = 0, lowNote = 0, highNote = 127, lowVelocity = 0, highVelocity = 127;
  int16_t gain = 0;
  int16_t sustainMode = 0;
  uint16_t sustainBegin = 1, sustainEnd = 2;
  int16_t releaseMode = 0;
  uint16_t releaseBegin = 1, releaseEnd = 2;
};

class TAIFFDataChunk : public TFileChunk {
public:
  TAIFFDataChunk() { SetDataSize(8); }
  TAudioStream& Read(TAudioStream& file) override;
  TAudioStream& Write(TAudioStream& file) override;
  void Apply(IChunkTarget& target) override;
  TStr Id() override { return TStr("SSND"); }
  bool HoldsSamples() override { return true; }

  uint32_t offset = 0;
  uint32_t blockSize = 0;
};

// Reads an id and makes its chunk. The byte order is set by the root id only
// ("RIFF" little-endian, "FORM" big-endian); a nested "RIFF" or "FORM" is an
// unknown chunk.
TFileChunk* CreateChunk(TAudioStream& file, bool root = false);
TFileChunk* ReadChunkTree(TAudioStream& file);
void ReadChunk(TFileChunk& chunk, TAudioStream& file);
