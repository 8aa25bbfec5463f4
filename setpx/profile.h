// A private-profile file ("name.ini"): sections of "key=value" lines, read and
// edited the way the Windows profile functions do, so that the outside
// drivers' own loaders read what we write.
//
// Rules:
// - A section starts at a line "[name]" (leading blanks allowed); section and
//   key names are compared without regard to ASCII case; the first section of
//   a name is the one used.
// - A key line is a line of the section that holds "=" and does not start
//   with ";". Key and value are trimmed of blanks; a value enclosed in a pair
//   of equal quotes (' or ") loses them. The first line of a key counts.
// - Every line that is not edited keeps its bytes, line ending included. New
//   lines take the file's line ending (CR LF for a new or one-line file).
// - A new key goes after the last key line of its section (so comments and
//   blank lines that lead into the next section stay there); a new section
//   goes at the end of the file.
#pragma once

#include <string>
#include <vector>

namespace setpx {

class ProfileFile {
public:
  enum class LoadResult { Loaded, Missing, Unreadable };

  // Reads the file. A missing file is an empty profile; an unreadable one
  // (a folder, no permission) must not be written over.
  LoadResult Load(const std::string& path);
  void Parse(const std::string& text);
  // The whole text as it would be written.
  std::string Text() const;

  // The key's value (trimmed, quotes removed); false when the key is absent.
  bool Find(const std::string& section, const std::string& key, std::string& value) const;
  // Replaces the key's line, or adds a key line (and the section when needed).
  void Set(const std::string& section, const std::string& key, const std::string& value);
  // Removes the key's line; false when the key was absent.
  bool Delete(const std::string& section, const std::string& key);
  // Removes every line of the key whose value is exactly value, in every
  // section of that name, the lines that Find does not see included (a
  // repeated key line would otherwise take the removed one's place); answers
  // how many lines went.
  int DeleteEvery(const std::string& section, const std::string& key, const std::string& value);

private:
  struct Line {
    std::string text; // without its line ending
    std::string end;  // "\r\n", "\n" or "" (a last line without an ending)
  };
  // The index of the section's header line, or -1.
  long SectionHeader(const std::string& section) const;
  // The index of the key's line, or -1.
  long KeyLine(const std::string& section, const std::string& key) const;
  std::string NewLineEnding() const;

  std::vector<Line> lines_;
};

} // namespace setpx
