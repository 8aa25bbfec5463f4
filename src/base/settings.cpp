#include "src/base/settings.h"

#include "platform/fs.h"

#include <string>
#include <vector>

// The store file, one value a line:
//   int NAME=DECIMAL   a 32-bit unsigned number
//   str NAME=TEXT      the bytes of a text
// Names and texts escape "\" as "\\" and control bytes (and "=" in names) as
// "\xHH", so every byte value survives and a line is always one line. Lines
// starting with "#" are comments; a line that does not parse is skipped when
// reading and kept as it stands when the store is written again.

namespace {

struct TValue {
  std::string name;
  bool integer;
  std::string bytes; // 4 little-endian bytes for an integer
  bool garbled = false;
  std::string line;  // a garbled line as it was read
};

struct TStore {
  std::string path; // empty while no key is open
};

TStore& Store() {
  static TStore store;
  return store;
}

const char kHeader[] = "# Quorvex settings: one value a line, \"int NAME=NUMBER\" or \"str NAME=TEXT\".\n";

std::string Escape(const std::string& text, bool name) {
  static const char hex[] = "0123456789ABCDEF";
  std::string out;
  for (unsigned char c : text) {
    if (c == '\\') {
      out += "\\\\";
    } else if (c < 0x20 || c == 0x7F || (name && c == '=')) {
      out += "\\x";
      out += hex[c >> 4];
      out += hex[c & 15];
    } else {
      out += char(c);
    }
  }
  return out;
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

bool Unescape(const std::string& text, std::string& out) {
  out.clear();
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '\\') {
      out += text[i];
      continue;
    }
    if (i + 1 < text.size() && text[i + 1] == '\\') {
      out += '\\';
      i += 1;
    } else if (i + 3 < text.size() && text[i + 1] == 'x' && HexDigit(text[i + 2]) >= 0 && HexDigit(text[i + 3]) >= 0) {
      out += char(HexDigit(text[i + 2]) * 16 + HexDigit(text[i + 3]));
      i += 3;
    } else {
      return false;
    }
  }
  return true;
}

std::string IntBytes(uint32_t v) {
  std::string b(4, '\0');
  for (int i = 0; i < 4; ++i) b[i] = char((v >> (8 * i)) & 0xFF);
  return b;
}

uint32_t BytesInt(const std::string& b) {
  // A value shorter than 4 bytes is extended with zeros.
  uint32_t v = 0;
  for (size_t i = 0; i < b.size() && i < 4; ++i) v |= uint32_t((unsigned char)b[i]) << (8 * i);
  return v;
}

bool ParseLine(std::string line, TValue& value) {
  if (!line.empty() && line.back() == '\r') line.pop_back();
  if (line.size() < 4 || line[0] == '#') return false;
  std::string kind = line.substr(0, 4);
  if (kind != "int " && kind != "str ") return false;
  size_t eq = line.find('=', 4);
  if (eq == std::string::npos) return false;
  if (!Unescape(line.substr(4, eq - 4), value.name) || value.name.empty()) return false;
  std::string text = line.substr(eq + 1);
  value.integer = kind == "int ";
  if (!value.integer) return Unescape(text, value.bytes);
  if (text.empty() || text.size() > 10) return false;
  uint64_t n = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
    n = n * 10 + uint64_t(c - '0');
  }
  if (n > 0xFFFFFFFFull) return false;
  value.bytes = IntBytes(uint32_t(n));
  return true;
}

std::vector<TValue> Load() {
  std::vector<TValue> values;
  std::string content;
  if (Store().path.empty() || !platform::ReadWholeFile(Store().path, content)) return values;
  size_t pos = 0;
  while (pos < content.size()) {
    size_t end = content.find('\n', pos);
    if (end == std::string::npos) end = content.size();
    std::string line = content.substr(pos, end - pos);
    TValue v;
    if (ParseLine(line, v)) {
      values.push_back(std::move(v));
    } else if (!line.empty() && line + "\n" != kHeader) {
      values.push_back({std::string(), false, std::string(), true, std::move(line)});
    }
    pos = end + 1;
  }
  return values;
}

bool Save(const std::vector<TValue>& values) {
  std::string content = kHeader;
  for (const TValue& v : values) {
    if (v.garbled) {
      content += v.line + "\n";
      continue;
    }
    content += v.integer ? "int " : "str ";
    content += Escape(v.name, true);
    content += '=';
    content += v.integer ? std::to_string(BytesInt(v.bytes)) : Escape(v.bytes, false);
    content += '\n';
  }
  // A store that cannot be written (read-only or missing folder) loses the
  // write without a message, as reads then give their defaults; the writer
  // learns of it.
  return platform::ReplaceFileContent(Store().path, content, /*privateIfNew=*/true);
}

// The last value of that name (a hand-edited store may hold it twice).
const TValue* Find(const std::vector<TValue>& values, const std::string& name) {
  const TValue* found = nullptr;
  for (const TValue& v : values)
    if (!v.garbled && platform::CompareIgnoringCase(v.name, name) == 0) found = &v;
  return found;
}

// Replaces every value of that name by one value in the place of the first.
// Every change reads the store, changes it and writes it whole; the lock keeps
// another process's change from falling between the read and the write.
std::string LockPath() { return Store().path + ".lock"; }

bool Put(const std::string& name, bool integer, std::string bytes) {
  if (Store().path.empty()) return true; // no key open: writes are dropped by design
  platform::FileLock lock(LockPath());
  std::vector<TValue> values = Load();
  std::vector<TValue> kept;
  bool placed = false;
  for (TValue& v : values) {
    if (v.garbled || platform::CompareIgnoringCase(v.name, name) != 0) {
      kept.push_back(std::move(v));
    } else if (!placed) {
      kept.push_back({name, integer, bytes, false, std::string()});
      placed = true;
    }
  }
  if (!placed) kept.push_back({name, integer, std::move(bytes), false, std::string()});
  return Save(kept);
}

std::string FileNameForKey(const std::string& key) {
  std::string name;
  for (char c : key) {
    bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '.' ||
                 c == '_' || c == '-' || c == ' ';
    name += plain ? c : '_';
  }
  if (name.empty()) name = "Quorvex";
  if (name[0] == '.') name[0] = '_';
  return name + ".conf";
}

} // namespace

void OpenSettings(TStr keyName) {
  TStore& s = Store();
  s.path.clear();
  std::string folder = platform::SettingsFolderPath();
  if (folder.empty()) return;
  // A folder that cannot be made leaves a store whose reads give defaults and
  // whose writes are dropped.
  platform::MakeFolders(folder);
  s.path = folder + "/" + FileNameForKey(keyName.Std());
}

TStr SettingsFilePath() { return TStr(Store().path); }

uint32_t ReadSettingInt(TStr name, uint32_t defaultValue) {
  std::vector<TValue> values = Load();
  const TValue* v = Find(values, name.Std());
  if (!v || v->bytes.empty()) return defaultValue;
  return BytesInt(v->bytes);
}

int32_t ReadSettingIntWithin(TStr name, int32_t defaultValue, int32_t low, int32_t high) {
  const int32_t v = int32_t(ReadSettingInt(name, uint32_t(defaultValue)));
  return v < low ? low : v > high ? high : v;
}

int32_t ReadSettingFlag(TStr name, int32_t defaultValue) {
  return ReadSettingInt(name, uint32_t(defaultValue)) != 0 ? 1 : 0;
}

TStr ReadSettingStr(TStr name, TStr defaultValue) {
  std::vector<TValue> values = Load();
  const TValue* v = Find(values, name.Std());
  if (!v || v->bytes.empty()) return defaultValue;
  size_t zero = v->bytes.find('\0');
  return TStr(v->bytes.substr(0, zero));
}

TPnt ReadSettingPnt(TStr name, TPnt defaultValue) {
  int32_t x = int32_t(ReadSettingInt(name + "X", uint32_t(defaultValue.X())));
  int32_t y = int32_t(ReadSettingInt(name + "Y", uint32_t(defaultValue.Y())));
  return TPnt(x, y);
}

TArea ReadSettingArea(TStr name, TArea defaultValue) {
  int32_t l = int32_t(ReadSettingInt(name + "X0", uint32_t(defaultValue.Left())));
  int32_t t = int32_t(ReadSettingInt(name + "Y0", uint32_t(defaultValue.Top())));
  int32_t r = int32_t(ReadSettingInt(name + "X1", uint32_t(defaultValue.Right())));
  int32_t b = int32_t(ReadSettingInt(name + "Y1", uint32_t(defaultValue.Bottom())));
  return TArea(l, t, r, b);
}

bool WriteSettingInt(TStr name, uint32_t value) { return Put(name.Std(), true, IntBytes(value)); }
bool WriteSettingStr(TStr name, TStr value) { return Put(name.Std(), false, value.Std()); }

void WriteSettingPnt(TStr name, TPnt value) {
  WriteSettingInt(name + "X", uint32_t(value.X()));
  WriteSettingInt(name + "Y", uint32_t(value.Y()));
}

void WriteSettingArea(TStr name, TArea value) {
  WriteSettingInt(name + "X0", uint32_t(value.Left()));
  WriteSettingInt(name + "Y0", uint32_t(value.Top()));
  WriteSettingInt(name + "X1", uint32_t(value.Right()));
  WriteSettingInt(name + "Y1", uint32_t(value.Bottom()));
}

void DeleteSetting(TStr name) {
  if (Store().path.empty()) return;
  platform::FileLock lock(LockPath());
  std::vector<TValue> values = Load();
  std::vector<TValue> kept;
  for (TValue& v : values)
    if (v.garbled || platform::CompareIgnoringCase(v.name, name.Std()) != 0) kept.push_back(std::move(v));
  if (kept.size() != values.size()) Save(kept);
}

TStr MidiInSettingName(int n) { return FormatStr("Midi%d", n); }
TStr MidiOutSettingName(int n) { return FormatStr("MidiOut%d", n); }
