#include "setpx/profile.h"

#include "platform/fs.h"

namespace setpx {

namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r'; }

std::string Trim(const std::string& s) {
  size_t b = 0, e = s.size();
  while (b < e && IsBlank(s[b])) ++b;
  while (e > b && IsBlank(s[e - 1])) --e;
  return s.substr(b, e - b);
}

bool SameName(const std::string& a, const std::string& b) {
  return platform::CompareIgnoringCase(a, b) == 0;
}

// The section name of a header line "[name]", or false.
bool HeaderName(const std::string& line, std::string& name) {
  std::string t = Trim(line);
  if (t.empty() || t[0] != '[') return false;
  size_t close = t.find(']');
  if (close == std::string::npos) return false;
  name = Trim(t.substr(1, close - 1));
  return true;
}

// Key and raw value of a key line, or false.
bool KeyValue(const std::string& line, std::string& key, std::string& value) {
  std::string t = Trim(line);
  if (t.empty() || t[0] == ';') return false;
  size_t eq = t.find('=');
  if (eq == std::string::npos) return false;
  key = Trim(t.substr(0, eq));
  value = Trim(t.substr(eq + 1));
  if (value.size() >= 2 && (value[0] == '"' || value[0] == '\'') && value.back() == value[0])
    value = value.substr(1, value.size() - 2);
  return true;
}

} // namespace

ProfileFile::LoadResult ProfileFile::Load(const std::string& path) {
  lines_.clear();
  switch (platform::KindOf(path)) {
  case platform::EntryKind::Missing: return LoadResult::Missing;
  case platform::EntryKind::Folder: return LoadResult::Unreadable;
  case platform::EntryKind::File: break;
  }
  std::string text;
  if (!platform::ReadWholeFile(path, text)) return LoadResult::Unreadable;
  Parse(text);
  return LoadResult::Loaded;
}

void ProfileFile::Parse(const std::string& text) {
  lines_.clear();
  size_t start = 0;
  while (start < text.size()) {
    size_t nl = text.find('\n', start);
    Line line;
    if (nl == std::string::npos) {
      line.text = text.substr(start);
      start = text.size();
    } else {
      size_t end = nl;
      if (end > start && text[end - 1] == '\r') --end;
      line.text = text.substr(start, end - start);
      line.end = text.substr(end, nl + 1 - end);
      start = nl + 1;
    }
    lines_.push_back(std::move(line));
  }
}

std::string ProfileFile::Text() const {
  std::string text;
  for (const Line& l : lines_) text += l.text + l.end;
  return text;
}

long ProfileFile::SectionHeader(const std::string& section) const {
  std::string name;
  for (size_t i = 0; i < lines_.size(); ++i)
    if (HeaderName(lines_[i].text, name) && SameName(name, section)) return long(i);
  return -1;
}

long ProfileFile::KeyLine(const std::string& section, const std::string& key) const {
  long header = SectionHeader(section);
  if (header < 0) return -1;
  std::string name, k, v;
  for (size_t i = size_t(header) + 1; i < lines_.size(); ++i) {
    if (HeaderName(lines_[i].text, name)) break;
    if (KeyValue(lines_[i].text, k, v) && SameName(k, key)) return long(i);
  }
  return -1;
}

std::string ProfileFile::NewLineEnding() const {
  for (const Line& l : lines_)
    if (!l.end.empty()) return l.end;
  return "\r\n";
}

bool ProfileFile::Find(const std::string& section, const std::string& key, std::string& value) const {
  long i = KeyLine(section, key);
  if (i < 0) return false;
  std::string k;
  KeyValue(lines_[size_t(i)].text, k, value);
  return true;
}

void ProfileFile::Set(const std::string& section, const std::string& key, const std::string& value) {
  std::string text = key + "=" + value;
  long i = KeyLine(section, key);
  if (i >= 0) {
    lines_[size_t(i)].text = text;
    return;
  }
  std::string ending = NewLineEnding();
  // The last line must end before anything is added after it.
  if (!lines_.empty() && lines_.back().end.empty()) lines_.back().end = ending;
  long header = SectionHeader(section);
  if (header < 0) {
    lines_.push_back({"[" + section + "]", ending});
    lines_.push_back({text, ending});
    return;
  }
  size_t at = size_t(header) + 1;
  std::string name, k, v;
  for (size_t j = size_t(header) + 1; j < lines_.size(); ++j) {
    if (HeaderName(lines_[j].text, name)) break;
    if (KeyValue(lines_[j].text, k, v)) at = j + 1;
  }
  lines_.insert(lines_.begin() + long(at), Line{text, ending});
}

bool ProfileFile::Delete(const std::string& section, const std::string& key) {
  long i = KeyLine(section, key);
  if (i < 0) return false;
  lines_.erase(lines_.begin() + i);
  return true;
}

int ProfileFile::DeleteEvery(const std::string& section, const std::string& key, const std::string& value) {
  int removed = 0;
  bool inSection = false;
  std::string name, k, v;
  for (size_t i = 0; i < lines_.size();) {
    if (HeaderName(lines_[i].text, name)) {
      inSection = SameName(name, section);
    } else if (inSection && KeyValue(lines_[i].text, k, v) && SameName(k, key) && v == value) {
      lines_.erase(lines_.begin() + long(i));
      ++removed;
      continue;
    }
    ++i;
  }
  return removed;
}

} // namespace setpx
