#include "src/audio/audiofs.h"

#include "src/audio/audiomsg.h"

#include <cstdio>
#include <stdexcept>

QV_MESSAGE(CannotOpenFile, "Cannot open file $1.")

namespace {

class TStdFileStream : public TAudioStream {
public:
  TStdFileStream(std::FILE* f, const TStr& path) : f_(f), path_(path) {
    if (std::fseek(f_, 0, SEEK_END) == 0) size_ = std::ftell(f_);
    std::fseek(f_, 0, SEEK_SET);
  }
  ~TStdFileStream() override {
    DestructorBody([this] {
      if (f_) std::fclose(f_);
    });
  }

  void RawWrite(const void* buffer, uint32_t count) override {
    if (!f_ || std::fwrite(buffer, 1, count, f_) != count) throw std::runtime_error("write failed");
    const long pos = std::ftell(f_);
    if (pos > size_) size_ = pos;
  }
  uint32_t RawRead(void* buffer, uint32_t count) override {
    return f_ ? uint32_t(std::fread(buffer, 1, count, f_)) : 0;
  }
  int64_t Remaining() const override {
    if (!f_) return 0;
    const long pos = std::ftell(f_);
    return pos < 0 || pos >= size_ ? 0 : int64_t(size_ - pos);
  }
  uint32_t Tell() override { return f_ ? uint32_t(std::ftell(f_)) : 0; }
  void Seek(int32_t position) override {
    if (f_) std::fseek(f_, position < 0 ? 0 : position, SEEK_SET);
  }
  TStr GetPath() override { return path_; }
  void Close() override {
    if (!f_) return;
    std::FILE* f = f_;
    f_ = nullptr;
    const bool flushed = std::fflush(f) == 0;
    if (std::fclose(f) != 0 || !flushed) throw std::runtime_error("close failed");
  }

private:
  std::FILE* f_;
  TStr path_;
  long size_ = 0;
};

} // namespace

std::unique_ptr<TAudioStream> OpenAudioStream(const TStr& path, int write) {
  std::FILE* f = std::fopen(path.CStr(), write ? "w+b" : "rb");
  if (!f) {
    CannotOpenFile().SetParam(1, path);
    ThrowError(&CannotOpenFile());
  }
  return std::make_unique<TStdFileStream>(f, path);
}

bool AudioFileExists(const TStr& path) {
  std::FILE* f = std::fopen(path.CStr(), "rb");
  if (!f) return false;
  std::fclose(f);
  return true;
}

bool ReplaceAudioFile(const TStr& source, const TStr& target) {
  return std::rename(source.CStr(), target.CStr()) == 0;
}

void RemoveAudioFile(const TStr& path) { std::remove(path.CStr()); }
