#include "src/base/str.h"

#include "platform/guihost.h"
#include "platform/sys.h"

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cstdarg>
#include <cstdlib>
#include <cstring>
#include <new>

// ---------------------------------------------------------------- TStr

namespace {
char* NewText(const char* data, uint32_t length) {
  char* p = static_cast<char*>(std::malloc(size_t(length) + 1));
  if (!p) throw std::bad_alloc();
  if (length) std::memcpy(p, data, length);
  p[length] = 0;
  return p;
}
} // namespace

TStr::TStr() : text_(NewText("", 0)), size_(1) {}
TStr::TStr(const char* text) : text_(nullptr), size_(1) { Adopt(text ? text : "", text ? uint32_t(std::strlen(text)) : 0); }
TStr::TStr(const char* data, uint32_t length) : text_(nullptr), size_(1) { Adopt(data, length); }
TStr::TStr(const TStr& other) : text_(nullptr), size_(1) { Adopt(other.text_, other.size_ - 1); }

TStr::~TStr() {
  TDestructorScope scope;
  std::free(text_);
}

void TStr::Adopt(const char* data, uint32_t length) {
  char* p = NewText(data, length); // allocate first: self-assignment stays valid
  std::free(text_);
  text_ = p;
  size_ = length + 1;
}

TStr& TStr::operator=(const TStr& other) {
  if (this != &other) Adopt(other.text_, other.size_ - 1);
  return *this;
}

TStr& TStr::operator=(const char* text) {
  AssignCStr(text);
  return *this;
}

void TStr::Set(const char* text, uint32_t size) {
  uint32_t n = 0;
  while (n + 1 < size && text[n]) ++n;
  Adopt(text, n);
}

void TStr::AssignCStr(const char* text) {
  try {
    Adopt(text ? text : "", text ? uint32_t(std::strlen(text)) : 0);
  } catch (const std::bad_alloc&) {
    std::free(text_);
    text_ = nullptr;
    size_ = 1;
    text_ = static_cast<char*>(std::calloc(1, 1));
    RecordCurrentException();
    RethrowError();
  }
}

void TStr::AssignPStr(unsigned char* buffer) {
  unsigned length = buffer[0];
  buffer[length + 1] = 0;
  Adopt(reinterpret_cast<const char*>(buffer + 1), length);
}

TStr TStr::ToPStr(unsigned char* buffer) const {
  uint32_t length = std::min<uint32_t>(size_ - 1, 255);
  buffer[0] = static_cast<unsigned char>(length);
  for (uint32_t i = 0; i < length; ++i) buffer[i + 1] = text_[i] == '\n' ? '\r' : static_cast<unsigned char>(text_[i]);
  buffer[length + 1] = 0;
  return TStr(text_ + length, size_ - 1 - length);
}

bool TStr::operator==(const TStr& o) const {
  return size_ == o.size_ && std::memcmp(text_, o.text_, size_ - 1) == 0;
}

bool TStr::operator<(const TStr& o) const {
  uint32_t n = std::min(size_, o.size_) - 1;
  int c = std::memcmp(text_, o.text_, n); // memcmp compares unsigned bytes
  if (c != 0) return c < 0;
  return size_ < o.size_;
}

int32_t TStr::Find(char ch, int first) const {
  int32_t len = Length();
  if (first) {
    for (int32_t i = 0; i < len; ++i)
      if (text_[i] == ch) return i;
  } else {
    for (int32_t i = len - 1; i >= 0; --i)
      if (text_[i] == ch) return i;
  }
  return -1;
}

int32_t TStr::FindStr(const TStr& other) const {
  uint32_t n = other.size_ - 1, len = size_ - 1;
  if (n > len) return -1;
  for (uint32_t i = 0; i + n <= len; ++i)
    if (std::memcmp(text_ + i, other.text_, n) == 0) return int32_t(i);
  return -1;
}

TStr& TStr::operator+=(const TStr& other) {
  uint32_t a = size_ - 1, b = other.size_ - 1;
  char* p = static_cast<char*>(std::malloc(size_t(a) + b + 1));
  if (!p) throw std::bad_alloc();
  std::memcpy(p, text_, a);
  std::memcpy(p + a, other.text_, b); // other may be *this: copy before freeing
  p[a + b] = 0;
  std::free(text_);
  text_ = p;
  size_ = a + b + 1;
  return *this;
}

TStr TStr::Mid(int32_t start, int32_t count) const {
  int32_t len = Length();
  if (start < 0) start = 0;
  if (start >= len) return TStr();
  if (count > len - start) count = len - start;
  if (count <= 0) return TStr();
  return TStr(text_ + start, uint32_t(count));
}

void TStr::ToUpper() {
  for (uint32_t i = 0; i + 1 < size_; ++i)
    if (text_[i] >= 'a' && text_[i] <= 'z') text_[i] = char(text_[i] - 'a' + 'A');
}

void TStr::ToLower() {
  for (uint32_t i = 0; i + 1 < size_; ++i)
    if (text_[i] >= 'A' && text_[i] <= 'Z') text_[i] = char(text_[i] - 'A' + 'a');
}

void TStr::RemoveChar(char ch) {
  uint32_t w = 0;
  for (uint32_t r = 0; r + 1 < size_; ++r)
    if (text_[r] != ch) text_[w++] = text_[r];
  text_[w] = 0;
  size_ = w + 1;
}

void TStr::Pad(int32_t width, char ch, int front) {
  int32_t len = Length();
  if (len >= width) return;
  std::string s(text_, size_t(len));
  if (front) s.insert(0, size_t(width - len), ch);
  else s.append(size_t(width - len), ch);
  Adopt(s.data(), uint32_t(s.size()));
}

TStr TStr::CutLine(int32_t width) {
  int32_t len = Length();
  int32_t p = Find('\n', 1);
  if (p < 0) p = len;
  int32_t lineEnd = p, restStart = p + 1;
  if (width > 0 && width < p) {
    int32_t b = -1;
    for (int32_t i = width - 1; i >= 0; --i)
      if (text_[i] == ' ') { b = i; break; }
    if (b >= 0) { lineEnd = b; restStart = b + 1; }
    else { lineEnd = width; restStart = width; }
  }
  TStr line(text_, uint32_t(lineEnd));
  TStr rest = restStart < len ? TStr(text_ + restStart, uint32_t(len - restStart)) : TStr();
  *this = rest;
  return line;
}

int32_t TStr::CountLines() const {
  TStr copy(*this);
  int32_t n = 0;
  while (!copy.IsEmpty()) {
    copy.CutLine(1024);
    ++n;
  }
  return n;
}

namespace {
std::string VFormat(const char* format, va_list args) { return platform::FormatC(format, args); }

std::string Format1(const char* format, double v) {
  va_list dummy;
  (void)dummy;
  struct Helper {
    static std::string Run(const char* f, ...) {
      va_list a;
      va_start(a, f);
      std::string s = platform::FormatC(f, a);
      va_end(a);
      return s;
    }
  };
  return Helper::Run(format, v);
}
} // namespace

void TStr::Format(const char* format, ...) {
  va_list args;
  va_start(args, format);
  std::string s = VFormat(format, args);
  va_end(args);
  Adopt(s.data(), uint32_t(s.size()));
}

TStr FormatStr(const char* format, ...) {
  va_list args;
  va_start(args, format);
  std::string s = VFormat(format, args);
  va_end(args);
  return TStr(s.data(), uint32_t(s.size()));
}

void TStr::SetReal(float value, int places) {
  const double v = value;
  const bool four = places == 4;
  const char* fmt;
  if (v >= (four ? 9999.9 : 99999.9)) fmt = nullptr, *this = ">>";
  else if (v <= (four ? -9999.9 : -99999.9)) fmt = nullptr, *this = "<<";
  else if (four ? (v > -0.001 && v < 0.001) : (v > -0.0001 && v < 0.0001)) fmt = nullptr, *this = "0";
  else if (four ? (v > -0.01 && v < 0.01) : (v > -0.001 && v < 0.001)) fmt = "%3.1g";
  else if (four ? (v > -0.1 && v < 0.1) : (v > -0.01 && v < 0.01)) fmt = "%3.2g";
  else if (four ? (v > -1.0 && v < 1.0) : (v > -0.1 && v < 0.1)) fmt = "%3.3g";
  else if (four || (v > -1.0 && v < 1.0)) fmt = "%3.4g";
  else fmt = "%3.5g";
  if (fmt) {
    std::string s = Format1(fmt, v);
    Adopt(s.data(), uint32_t(s.size()));
  }
  RemoveChar(' ');
}

TStr TStr::ParseULong(uint32_t& out) const {
  size_t used = 0;
  unsigned long v = platform::ParseULongC(text_, &used);
  if (used == 0) return *this;
  out = uint32_t(v);
  return TStr(text_ + used, uint32_t(size_ - 1 - used));
}

TStr TStr::ParseLong(int32_t& out) const {
  size_t used = 0;
  long v = platform::ParseLongC(text_, &used);
  if (used == 0) return *this;
  out = int32_t(v);
  return TStr(text_ + used, uint32_t(size_ - 1 - used));
}

TStr TStr::ParseReal(float& out) const {
  size_t used = 0;
  double v = platform::ParseDoubleC(text_, &used);
  if (used == 0) return *this;
  out = float(v);
  return TStr(text_ + used, uint32_t(size_ - 1 - used));
}

TStr FormatNoteName(int n) {
  static const char* const names[12] = {"C", "C#", "D", "D#", "E", "F", "F#", "G", "G#", "A", "A#", "B"};
  int i = n % 12;
  if (i < 0) i += 12; // notes are 0..127; keep the table read in bounds anyway
  return FormatStr("%s%d", names[i], n / 12 - 2);
}

// ---------------------------------------------------------------- TParamStr

void TParamStr::SetParam(int n, const TStr& value) {
  if (n >= 1 && n <= 3) param_[n - 1] = value;
}

void TParamStr::SetParamReal(int n, float value) { SetParam(n, FormatStr("%.7G", double(value))); }

TStr TParamStr::Expand() const {
  std::string s = text_.Std();
  for (int n = 1; n <= 3; ++n) {
    const std::string ph{'$', char('0' + n)};
    const std::string param = param_[n - 1].Std();
    // Search on after the inserted text, so that a parameter holding its own
    // placeholder cannot loop; later passes still see the inserted text.
    size_t from = 0;
    for (size_t p; (p = s.find(ph, from)) != std::string::npos;) {
      s.replace(p, ph.size(), param);
      from = p + param.size();
    }
  }
  return TStr(s);
}

// ---------------------------------------------------------------- errors

QV_MESSAGE(UnknownError, "An unknown error occurred.")
QV_MESSAGE(MemoryLow, "Memory is low.")
QV_MESSAGE(ErrorWithText, "$1")
QV_MESSAGE(AssertionCaption, "Assertion")

namespace {
std::atomic<TParamStr*> lastError{nullptr};
thread_local int destructorDepth = 0;
} // namespace

TParamStr& DefaultCaption() {
  static TParamStr m{TStr("Volteon")};
  return m;
}
TParamStr& RangeMessage() {
  static TParamStr m{TStr("The value of '$1' must be between $2 and $3.")};
  return m;
}
TParamStr& EmptyMessage() {
  static TParamStr m{TStr("")};
  return m;
}

TDestructorScope::TDestructorScope() { ++destructorDepth; }
TDestructorScope::~TDestructorScope() { --destructorDepth; }
int TDestructorScope::Depth() { return destructorDepth; }

void ThrowError(TParamStr* message) {
  if (!message) message = &UnknownError();
  if (destructorDepth == 0) lastError.store(message, std::memory_order_release);
  throw TError(message->Expand().Std());
}

TParamStr* LastError() {
  TParamStr* e = lastError.load(std::memory_order_acquire);
  return e ? e : &UnknownError();
}

void RethrowError() { ThrowError(LastError()); }

void RecordException(const std::exception& e) {
  if (destructorDepth != 0) return;
  if (dynamic_cast<const std::bad_alloc*>(&e)) {
    lastError.store(&MemoryLow(), std::memory_order_release);
  } else {
    ErrorWithText().SetParam(1, TStr(e.what()));
    lastError.store(&ErrorWithText(), std::memory_order_release);
  }
}

void RecordCurrentException() {
  try {
    throw;
  } catch (const TError&) {
    // already recorded by ThrowError
  } catch (const std::exception& e) {
    RecordException(e);
  } catch (...) {
    if (destructorDepth == 0) lastError.store(&UnknownError(), std::memory_order_release);
  }
}

int ShowLastError() { return ShowMessage(LastError(), 0); }
int ShowLastErrorWithCaption(TParamStr* caption) { return ShowMessageTitled(LastError(), caption, 0); }
int ShowMessage(TParamStr* text, int kind) { return ShowMessageTitled(text, &DefaultCaption(), kind); }

void StartUpHook() {}
void ShutDownHook() {}

int AssertFailed(const char* expression, const char* message, const char* file, int line) {
  TStr text;
  if (message && *message) text = TStr(message) + TStr("\n");
  if (expression) text += FormatStr("Expression '%s' in File '%s' in Line %d is FALSE!", expression, file, line);
  else text += FormatStr("in File '%s' in Line %d is FALSE!", file, line);
  ErrorWithText().SetParam(1, text);
  return ShowMessageTitled(&ErrorWithText(), &AssertionCaption(), 0);
}
