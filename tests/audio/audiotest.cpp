#include "tests/audio/audiotest.h"

#include "tests/common/testkit.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <memory>
#include <sstream>
#include <sys/wait.h>

namespace audiotest {

// The fixtures are found through the build, whatever folder a test runs in.
std::string FixturePath(const std::string& name) { return std::string(QV_AUDIO_FIXTURES) + "/" + name; }

Bytes ReadFileBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return Bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

void WriteFileBytes(const std::string& path, const Bytes& bytes) {
  std::ofstream out(path, std::ios::binary);
  out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
}

Oracle ParseProbe(const std::string& text) {
  Oracle o;
  std::istringstream in(text);
  std::string word;
  while (in >> word) {
    if (word == "frames") in >> o.frames >> word >> o.rate >> word >> o.channels;
    else if (word == "basenote") in >> o.basenote;
    else if (word == "loop") {
      Oracle::Loop l;
      in >> l.mode >> l.start >> l.end;
      o.loops.push_back(l);
    }
  }
  return o;
}

const std::map<std::string, Oracle>& Oracles() {
  static const std::map<std::string, Oracle> table = [] {
    std::map<std::string, Oracle> t;
    std::ifstream in(FixturePath("oracle.txt"));
    std::string line, name, block;
    auto flush = [&] {
      if (!name.empty()) t[name] = ParseProbe(block);
      block.clear();
    };
    while (std::getline(in, line)) {
      if (line.rfind("file ", 0) == 0) {
        flush();
        name = line.substr(5);
      } else {
        block += line + "\n";
      }
    }
    flush();
    return t;
  }();
  return table;
}

std::vector<int16_t> Dump(const std::string& name) {
  Bytes b = ReadFileBytes(FixturePath(name + ".s16"));
  std::vector<int16_t> s(b.size() / 2);
  for (size_t i = 0; i < s.size(); ++i) s[i] = int16_t(b[2 * i] | (b[2 * i + 1] << 8));
  return s;
}

Bytes U16(uint32_t v, int order) {
  return order ? Bytes{uint8_t(v >> 8), uint8_t(v)} : Bytes{uint8_t(v), uint8_t(v >> 8)};
}

Bytes U32(uint32_t v, int order) {
  return order ? Bytes{uint8_t(v >> 24), uint8_t(v >> 16), uint8_t(v >> 8), uint8_t(v)}
               : Bytes{uint8_t(v), uint8_t(v >> 8), uint8_t(v >> 16), uint8_t(v >> 24)};
}

Bytes Str(const char* text) { return Bytes(text, text + std::strlen(text)); }

Bytes Cat(std::initializer_list<Bytes> parts) {
  Bytes r;
  for (const Bytes& p : parts) r.insert(r.end(), p.begin(), p.end());
  return r;
}

Bytes Chunk(const char* id, const Bytes& content, int order, bool pad) {
  Bytes r = Cat({Str(id), U32(uint32_t(content.size()), order), content});
  if (pad && content.size() % 2) r.push_back(0);
  return r;
}

Bytes FmtChunk(int channels, int rate, int bits, int tag) {
  const int bps = (bits + 7) / 8;
  return Chunk("fmt ", Cat({U16(tag, 0), U16(channels, 0), U32(rate, 0), U32(rate * channels * bps, 0),
                            U16(channels * bps, 0), U16(bits, 0)}),
               0);
}

Bytes WavFile(std::initializer_list<Bytes> chunks) {
  Bytes body = Str("WAVE");
  for (const Bytes& c : chunks) body.insert(body.end(), c.begin(), c.end());
  return Chunk("RIFF", body, 0, false);
}

Bytes CommChunk(int channels, uint32_t frames, int bits, double rate) {
  uint8_t ext[10];
  WriteExtended80(rate, ext);
  return Chunk("COMM", Cat({U16(channels, 1), U32(frames, 1), U16(bits, 1), Bytes(ext, ext + 10)}), 1);
}

Bytes AiffFile(std::initializer_list<Bytes> chunks, const char* formType) {
  Bytes body = Str(formType);
  for (const Bytes& c : chunks) body.insert(body.end(), c.begin(), c.end());
  return Chunk("FORM", body, 1, false);
}

IAudioFile* Open(const Bytes& bytes, int type, std::string* error, const char* path) {
  try {
    return OpenAudioStreamFile(std::make_unique<TMemAudioStream>(bytes, TStr(path)), type, 1024);
  } catch (const TError&) {
    if (error) *error = LastError()->Expand().Std();
  }
  return nullptr;
}

IAudioBuf* LoadAll(IAudioFile& file) {
  IAudioBuf* b = CreateAudioBuf(1, 0, 32, file.GetChannels(), file.GetRate(), file.GetFileLength(), 4);
  file.LoadInto(b);
  b->RefreshMargins();
  return b;
}

Bytes WriteToMemory(int type, IAudioBuf& samples, int loopOn, int alternating, int loopStart, int loopEnd,
                    int rootKey, IAudioAnalysis* analysis) {
  auto* stream = new TMemAudioStream({}, TStr("/snd/out"));
  EPtr<IAudioFile> f(CreateAudioStreamFile(std::unique_ptr<TAudioStream>(stream), type, 0, 1, 16,
                                           samples.GetChannels(), samples.GetRate(), 1024, samples.GetLength(), loopOn,
                                           alternating, 1, loopStart, loopEnd, rootKey, analysis));
  f->WriteFrom(&samples, -1);
  return stream->Data();
}

ToolRun RunTool(const std::string& command) {
  ToolRun r{-1, {}};
  std::FILE* p = popen((command + " 2>&1").c_str(), "r");
  if (!p) return r;
  char buf[4096];
  size_t n;
  while ((n = std::fread(buf, 1, sizeof buf, p)) > 0) r.output.append(buf, n);
  int status = pclose(p);
  r.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return r;
}

std::string ProbePath() { return QV_SFPROBE_PATH; }

} // namespace audiotest
