// Every sound file cut at every length, and with damaged header bytes, ends
// in a message or a load: never a hang, a crash or a read outside memory.
#include "src/audio/audiofile.h"
#include "tests/audio/audiotest.h"

#include <gtest/gtest.h>

#include <filesystem>

using namespace audiotest;

namespace {

struct Sample {
  std::string name;
  Bytes bytes;
  int type;
};

std::vector<Sample> Samples() {
  std::vector<Sample> all;
  for (const auto& e : std::filesystem::directory_iterator(FixturePath(""))) {
    const std::string name = e.path().filename().string();
    const std::string ext = e.path().extension().string();
    if (ext == ".wav") all.push_back({name, ReadFileBytes(e.path().string()), 4});
    if (ext == ".aif") all.push_back({name, ReadFileBytes(e.path().string()), 5});
  }
  // What our own writer makes: every chunk it knows, analysis included.
  EPtr<IAudioBuf> tone(CreateAudioBuf(1, 0, 32, 2, 8000, 300, 4));
  for (int i = 0; i < 300; ++i) tone->SetSample(i, float((i * 13) % 200 - 100) / 101.0f, -1);
  EPtr<IAudioAnalysis> analysis(CreateAudioAnalysis(*tone));
  all.push_back({"written.wav", WriteToMemory(4, *tone, 1, 0, 10, 200, 64, analysis.Get()), 4});
  all.push_back({"written.aif", WriteToMemory(5, *tone, 1, 1, 10, 200, 64, analysis.Get()), 5});
  return all;
}

// Opens the bytes and, when the header is accepted, loads every sample.
void OpenAndLoad(const Bytes& bytes, int type, const std::string& what) {
  std::string error;
  EPtr<IAudioFile> f(Open(bytes, type, &error));
  if (!f) {
    EXPECT_FALSE(error.empty()) << what;
    return;
  }
  EXPECT_GE(f->GetFileLength(), 1) << what;
  EXPECT_GE(f->GetLoopStart(), 0) << what;
  EXPECT_LE(f->GetLoopEnd(), f->GetFileLength()) << what;
  EXPECT_LT(f->GetLoopStart(), f->GetLoopEnd()) << what;
  EPtr<IAudioBuf> samples(LoadAll(*f));
  EXPECT_LE(samples->GetLength(), f->GetFileLength()) << what;
}

} // namespace

TEST(SoundFileDamage, EveryCutEndsInAMessageOrALoad) {
  for (const Sample& s : Samples()) {
    for (size_t n = 0; n < s.bytes.size(); ++n)
      OpenAndLoad(Bytes(s.bytes.begin(), s.bytes.begin() + long(n)), s.type, s.name + " cut at " + std::to_string(n));
  }
}

TEST(SoundFileDamage, DamagedHeaderBytesEndInAMessageOrALoad) {
  for (const Sample& s : Samples()) {
    const size_t header = std::min<size_t>(s.bytes.size(), 128);
    for (size_t i = 0; i < header; ++i)
      for (uint8_t v : {uint8_t(0x00), uint8_t(0x7F), uint8_t(0xFF)}) {
        Bytes b = s.bytes;
        b[i] = v;
        OpenAndLoad(b, s.type, s.name + " byte " + std::to_string(i) + " = " + std::to_string(v));
      }
  }
}
