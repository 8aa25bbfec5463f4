// Strings, parameterised messages and the error protocol of the whole system.
#pragma once

#include <cstdint>
#include <exception>
#include <string>

#define QV_PRINTF(fmt, args) __attribute__((format(printf, fmt, args)))

// An owning byte string, NUL-terminated for C callers. Copies are deep.
// Length is size - 1; the bytes may contain NULs when built from a
// (data, length) pair, so files keep exactly the bytes they were given.
class TStr {
public:
  TStr();
  TStr(const char* text);
  TStr(const char* data, uint32_t length);
  TStr(const std::string& s) : TStr(s.data(), uint32_t(s.size())) {}
  TStr(const TStr& other);
  virtual ~TStr();

  TStr& operator=(const TStr& other);
  TStr& operator=(const char* text);

  void Set(const char* text, uint32_t size);
  void AssignCStr(const char* text);
  void AssignPStr(unsigned char* buffer);
  TStr ToPStr(unsigned char* buffer) const;

  int32_t Length() const { return int32_t(size_ - 1); }
  bool IsEmpty() const { return size_ <= 1; }
  const char* CStr() const { return text_; }
  std::string Std() const { return std::string(text_, size_ - 1); }
  char operator[](int32_t i) const { return text_[i]; }

  bool operator==(const TStr& o) const;
  bool operator!=(const TStr& o) const { return !(*this == o); }
  bool operator<(const TStr& o) const;

  int32_t Find(char ch, int first) const;
  int32_t FindStr(const TStr& other) const;

  TStr& operator+=(const TStr& other);
  friend TStr operator+(const TStr& a, const TStr& b) { TStr r(a); r += b; return r; }

  TStr Mid(int32_t start, int32_t count) const;
  void ToUpper();
  void ToLower();
  void RemoveChar(char ch);
  void Pad(int32_t width, char ch, int front);
  TStr CutLine(int32_t width);
  int32_t CountLines() const;

  void Format(const char* format, ...) QV_PRINTF(2, 3);
  void SetReal(float value, int places);
  TStr ParseULong(uint32_t& out) const;
  TStr ParseLong(int32_t& out) const;
  TStr ParseReal(float& out) const;

private:
  void Adopt(const char* data, uint32_t length);
  char* text_;
  uint32_t size_;
};

TStr FormatStr(const char* format, ...) QV_PRINTF(1, 2);
TStr FormatNoteName(int n);

// A message text with three parameters that replace "$1", "$2" and "$3".
class TParamStr {
public:
  explicit TParamStr(const TStr& text) : text_(text) {}
  void SetParam(int n, const TStr& value);
  void SetParamReal(int n, float value);
  TStr Expand() const;
  const TStr& Text() const { return text_; }

private:
  TStr text_;
  TStr param_[3];
};

// Defines a message of a source unit, built on first use so that no
// static-initialisation order can matter: QV_MESSAGE(CannotOpen, "Cannot open file $1.")
// gives `TParamStr& CannotOpen()`.
#define QV_MESSAGE(name, text)                                                                     \
  [[maybe_unused]] static TParamStr& name() {                                                     \
    static TParamStr message{TStr(text)};                                                          \
    return message;                                                                                \
  }

// The one exception type of the error protocol. It carries the expanded text
// for diagnostics; handlers read the message through the last error.
class TError : public std::exception {
public:
  explicit TError(std::string text) : text_(std::move(text)) {}
  const char* what() const noexcept override { return text_.c_str(); }
private:
  std::string text_;
};

[[noreturn]] void ThrowError(TParamStr* message);
[[noreturn]] void RethrowError();
// The last recorded error; a defined "unknown error" message before the first one.
TParamStr* LastError();
// Records an exception that is not a TError (out of memory and the like) as
// the last error, so that a handler can show it.
void RecordException(const std::exception& e);
// Catches whatever a handler meets: TError keeps its message, anything else is
// recorded through RecordException.
void RecordCurrentException();

// Raised while the body of a destructor runs, per thread. Errors raised
// meanwhile do not replace the last error.
class TDestructorScope {
public:
  TDestructorScope();
  ~TDestructorScope();
  static int Depth();
};

// Runs a destructor's clean-up: an error in it is recorded and swallowed,
// because a destructor never throws.
template <class F> void DestructorBody(F&& body) noexcept {
  TDestructorScope scope;
  try {
    body();
  } catch (...) {
    RecordCurrentException();
  }
}

int ShowLastError();
int ShowLastErrorWithCaption(TParamStr* caption);

// Runs a command's work and shows what went wrong, where the user's action
// ended: true when the work finished. Guards the caller holds close whatever
// happens here.
template <class F> bool ShowingErrors(F&& work) {
  try {
    work();
    return true;
  } catch (...) {
    RecordCurrentException();
  }
  ShowLastError();
  return false;
}
int ShowMessage(TParamStr* text, int kind);
int ShowMessageTitled(TParamStr* text, TParamStr* caption, int kind);
void Beep();
void TraceStr(const TStr& text);
void StartUpHook();
void ShutDownHook();
int AssertFailed(const char* expression, const char* message, const char* file, int line);

TParamStr& DefaultCaption();
TParamStr& RangeMessage();
TParamStr& EmptyMessage();
