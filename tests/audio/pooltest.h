// Test doubles of the engine, the model and the application for the pool,
// the sample maps and the buffers, and helpers that make sound files.
#pragma once

#include "src/audio/audiohost.h"
#include "src/audio/samplemap.h"
#include "src/audio/soundpool.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace pooltest {

// A driver that counts its pauses.
class TCountingDriver : public IAudioPause {
public:
  void Pause() override {
    ++depth;
    ++pauses;
    maxDepth = std::max(maxDepth, depth);
  }
  void Resume() override {
    --depth;
    ++resumes;
  }
  int depth = 0, maxDepth = 0, pauses = 0, resumes = 0;
};

class TTestServices : public IAudioServices {
public:
  TTestServices();
  ~TTestServices() override;
  IAudioPause* GetAudioDriver() override { return withDriver ? &driver : nullptr; }
  float GetProcessingRate() override { return rate; }
  IFileName* GetTmpDirName() override { return tmp.Get(); }
  IFileName* GetEditorName() override { return editor.Get(); }
  int StartProgram(IFileName& program, const TStr& argument) override {
    started.push_back({program.GetPath().Std(), argument.Std()});
    return 1;
  }

  TCountingDriver driver;
  bool withDriver = true;
  float rate = 44100.0f;
  EPtr<IFileName> tmp;
  EPtr<IFileName> editor;
  struct Start {
    std::string program, argument;
  };
  std::vector<Start> started;

private:
  IAudioServices* previous_;
};

// A module that counts what it is told.
class TTestOwner : public IAudioObjectOwner {
public:
  void UpdateBufferRoutine() override { ++bufferUpdates; }
  void UpdateSampleData() override { ++sampleDataUpdates; }
  void UpdateSampleRoutine() override { ++sampleUpdates; }
  int IsType(int category, int index) override { return category == typeCategory && index == typeIndex; }
  int IsBackupSound() override { return backup; }

  int bufferUpdates = 0, sampleDataUpdates = 0, sampleUpdates = 0;
  int typeCategory = 0, typeIndex = 130;
  int backup = 0;
};

// Every test starts with its own services, an empty pool and no located folder,
// and ends with every sound given back.
class PoolTest : public ::testing::Test {
protected:
  void SetUp() override;
  void TearDown() override;

  // A fresh folder of this test.
  std::string Folder(const std::string& tag);
  TTestServices services;
};

struct TSound {
  int rate = 44100;
  int channels = 1;
  int frames = 100;
  int rootKey = 60;
  int loopOn = 0;
  int loopStart = -1;
  int loopEnd = -1;
  bool analysed = false;
  float amplitude = 0.5f; // a ramp up to this value, negated on channel 1
};
// Writes a 16-bit sound file (WAV or AIFF by the extension).
void WriteSound(const std::string& path, const TSound& sound = TSound());
IFileName* NameOf(const std::string& path);
std::vector<uint8_t> FileBytes(const std::string& path);
void PutFileBytes(const std::string& path, const std::vector<uint8_t>& bytes);
int PoolSize();

// Builds stream bytes in either order.
struct TBytes {
  int order;
  std::vector<uint8_t> b;
  TBytes& U32(uint32_t v) {
    for (int i = 0; i < 4; ++i) b.push_back(uint8_t(order ? v >> (24 - 8 * i) : v >> (8 * i)));
    return *this;
  }
  TBytes& F32(float f) {
    uint32_t v;
    std::memcpy(&v, &f, 4);
    return U32(v);
  }
  TBytes& Str(const std::string& s) {
    U32(uint32_t(s.size()));
    b.insert(b.end(), s.begin(), s.end());
    return *this;
  }
};


} // namespace pooltest
