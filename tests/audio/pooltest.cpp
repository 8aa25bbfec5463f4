#include "tests/audio/pooltest.h"

#include "src/audio/audiofile.h"
#include "tests/common/testkit.h"

#include <filesystem>
#include <fstream>
#include <iterator>

namespace pooltest {

TTestServices::TTestServices()
    : tmp(CreateFileName()), editor(CreateFileName()), previous_(SetAudioServices(this)) {
  tmp->SetFolder(TStr(testkit::TempDir("tmpdir")));
}

TTestServices::~TTestServices() { SetAudioServices(previous_); }

void PoolTest::SetUp() {
  ASSERT_EQ(PoolSize(), 0) << "a test before this one left sounds in the pool";
  LastLocatedFolder() = TStr();
}

void PoolTest::TearDown() {
  EXPECT_EQ(PoolSize(), 0) << "sounds left in the pool";
  EXPECT_EQ(services.driver.depth, 0) << "pause and resume unbalanced";
  LastLocatedFolder() = TStr();
}

std::string PoolTest::Folder(const std::string& tag) { return testkit::TempDir(tag); }

void WriteSound(const std::string& path, const TSound& s) {
  EPtr<IAudioBuf> samples(CreateAudioBuf(1, 0, 32, s.channels, s.rate, s.frames, 0));
  for (int i = 0; i < s.frames; ++i) {
    const float v = s.amplitude * float(i) / float(s.frames);
    samples->SetSample(i, v, 0);
    if (s.channels > 1) samples->SetSample(i, -v, 1);
  }
  EPtr<IAudioAnalysis> analysis;
  if (s.analysed) analysis.Set(CreateAudioAnalysis(*samples));
  TSoundSettings settings;
  settings.loopOn = s.loopOn;
  settings.loopStart = s.loopStart < 0 ? 0 : s.loopStart;
  settings.loopEnd = s.loopEnd < 0 ? s.frames : s.loopEnd;
  settings.rootKey = s.rootKey;
  settings.analysis = analysis.Get();
  EPtr<IFileName> name(NameOf(path));
  SaveAudioFileReplacing(name.Get(), *samples, settings);
}

IFileName* NameOf(const std::string& path) {
  IFileName* name = CreateFileName();
  name->SetPath(TStr(path));
  return name;
}

std::vector<uint8_t> FileBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

void PutFileBytes(const std::string& path, const std::vector<uint8_t>& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
}

int PoolSize() { return SoundPool().Count(); }

} // namespace pooltest
