// Sound files for sampler tests: float WAV files written into a test's own
// folder, and loading them into a module's sample map.
#pragma once

#include "src/audio/samplemap.h"
#include "src/base/file.h"
#include "src/mod/mod.h"
#include "tests/common/testkit.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <cmath>
#include <cstring>
#include <string>
#include <vector>

namespace soundrig {

inline void Put32(std::vector<unsigned char>& b, uint32_t v) {
  for (int i = 0; i < 4; ++i) b.push_back((unsigned char)(v >> (8 * i)));
}
inline void Put16(std::vector<unsigned char>& b, uint32_t v) {
  b.push_back((unsigned char)v);
  b.push_back((unsigned char)(v >> 8));
}

// One step of a 16-bit sample.
constexpr float kUnit = 1.0f / 32768.0f;

// A 16-bit WAV file; channels[c] are the samples of channel c (-1 ... 1).
// A loop as a "smpl" chunk stores it: start, end (exclusive here), ping-pong.
struct TLoop {
  uint32_t start = 0, end = 0;
  bool alternating = false;
};

inline std::string WriteWav(const std::string& path, int rate, const std::vector<std::vector<float>>& channels,
                            const TLoop* loop = nullptr) {
  const uint32_t n = uint32_t(channels[0].size());
  const uint32_t ch = uint32_t(channels.size());
  std::vector<unsigned char> b;
  const char* riff = "RIFF";
  b.insert(b.end(), riff, riff + 4);
  Put32(b, 4 + 8 + 16 + 8 + n * ch * 2 + (loop ? 8 + 60 : 0));
  const char* head = "WAVEfmt ";
  b.insert(b.end(), head, head + 8);
  Put32(b, 16);
  Put16(b, 1);
  Put16(b, ch);
  Put32(b, uint32_t(rate));
  Put32(b, uint32_t(rate) * ch * 2);
  Put16(b, ch * 2);
  Put16(b, 16);
  const char* data = "data";
  b.insert(b.end(), data, data + 4);
  Put32(b, n * ch * 2);
  for (uint32_t i = 0; i < n; ++i)
    for (uint32_t c = 0; c < ch; ++c) {
      double v = double(channels[c][i]) * 32768.0;
      v = v > 32767.0 ? 32767.0 : v < -32768.0 ? -32768.0 : v;
      Put16(b, uint32_t(int32_t(std::lround(v))) & 0xffffu);
    }
  if (loop) {
    const char* smpl = "smpl";
    b.insert(b.end(), smpl, smpl + 4);
    Put32(b, 60);
    for (uint32_t v : {0u, 0u, 0u, 60u, 0u, 0u, 0u, 1u, 0u}) Put32(b, v);
    for (uint32_t v : {0u, loop->alternating ? 1u : 0u, loop->start, loop->end - 1, 0u, 0u}) Put32(b, v);
  }
  FILE* f = std::fopen(path.c_str(), "wb");
  EXPECT_TRUE(f) << path;
  if (f) {
    std::fwrite(b.data(), 1, b.size(), f);
    std::fclose(f);
  }
  return path;
}

// k steps of a 16-bit sample at frame k (negated with scale -1).
inline std::vector<float> Ramp(int n, float scale = 1.0f) {
  std::vector<float> v(static_cast<size_t>(n));
  for (int i = 0; i < n; ++i) v[size_t(i)] = float(i) * scale * kUnit;
  return v;
}

inline EPtr<IFileName> NameOf(const std::string& path) {
  EPtr<IFileName> name(CreateFileName());
  name->SetPath(TStr(path.c_str()));
  return name;
}

// Loads a sound file into the module's map (its only entry).
inline void LoadInto(KSModul* module, const std::string& path) {
  IAudioFileMap* map = module->GetSampleMap();
  ASSERT_TRUE(map);
  EPtr<IFileName> name = NameOf(path);
  map->Load(name.Get());
  ASSERT_EQ(map->GetCount(), 1);
}

} // namespace soundrig
