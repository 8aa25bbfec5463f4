// Helpers of the sound-file tests: fixtures and their oracles, files built
// chunk by chunk, loading from memory, and running the outside tools.
#pragma once

#include "src/audio/audiofile.h"

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace audiotest {

using Bytes = std::vector<uint8_t>;

std::string FixturePath(const std::string& name);
Bytes ReadFileBytes(const std::string& path);
void WriteFileBytes(const std::string& path, const Bytes& bytes);

struct Oracle {
  int64_t frames = -1;
  int rate = 0, channels = 0;
  int basenote = -1;
  struct Loop {
    int mode;
    uint32_t start, end;
  };
  std::vector<Loop> loops;
};
// What libsndfile reported for each fixture, by file name.
const std::map<std::string, Oracle>& Oracles();
// sfprobe's report of a file, parsed the same way.
Oracle ParseProbe(const std::string& text);
// sox's 16-bit dump of a fixture.
std::vector<int16_t> Dump(const std::string& name);

// A chunk: id, size in the given byte order, content and a pad byte when
// the content is odd (unless pad is false).
Bytes Chunk(const char* id, const Bytes& content, int order, bool pad = true);
Bytes Cat(std::initializer_list<Bytes> parts);
Bytes U16(uint32_t v, int order);
Bytes U32(uint32_t v, int order);
Bytes Str(const char* text);
// A "fmt " chunk of plain integer samples.
Bytes FmtChunk(int channels, int rate, int bits, int tag = 1);
Bytes WavFile(std::initializer_list<Bytes> chunks);
Bytes CommChunk(int channels, uint32_t frames, int bits, double rate);
Bytes AiffFile(std::initializer_list<Bytes> chunks, const char* formType = "AIFF");

// Opens a file held in memory (type 4 WAV, 5 AIFF). On error the message
// is returned in error and the answer is null.
IAudioFile* Open(const Bytes& bytes, int type, std::string* error, const char* path = "/snd/file");
// Loads the samples of an open file into a new float buffer of its rate and
// channel count.
IAudioBuf* LoadAll(IAudioFile& file);
// Writes samples through the file level into memory and answers the bytes.
Bytes WriteToMemory(int type, IAudioBuf& samples, int loopOn, int alternating, int loopStart, int loopEnd,
                    int rootKey, IAudioAnalysis* analysis);

// Runs a shell command; answers its exit status and what it printed.
struct ToolRun {
  int status;
  std::string output;
};
ToolRun RunTool(const std::string& command);
// The path of the libsndfile client built beside the tests.
std::string ProbePath();

} // namespace audiotest
