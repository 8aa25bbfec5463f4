// The folders of the program depend one way: a folder includes only its own
// files and those of the folders below it. The test reads the quoted
// includes of every source and header file and names each one that reaches up.
#include "tests/common/testkit.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

// A folder of the layout and the folders its files may include besides
// their own. Listed lowest first.
struct TLayer {
  const char* folder;
  std::vector<const char*> below;
};

const std::vector<TLayer>& Layers() {
  static const std::vector<TLayer> layers = [] {
    std::vector<TLayer> l;
    l.push_back({"platform", {}});
    l.push_back({"src/base", {"platform"}});
    l.push_back({"src/audio", {"platform", "src/base"}});
    l.push_back({"src/engine", {"platform", "src/base", "src/audio"}});
    l.push_back({"src/mod", {"platform", "src/base", "src/audio", "src/engine"}});
    l.push_back({"src/midi", {"platform", "src/base", "src/audio", "src/engine", "src/mod"}});
    const std::vector<const char*> core = {"platform", "src/base", "src/audio", "src/engine", "src/mod", "src/midi"};
    // The shared libraries stand beside the program on the base alone.
    for (const char* shared : {"aw8link", "pelds", "setpx"}) l.push_back({shared, {"platform", "src/base"}});
    std::vector<const char*> withShared = core;
    for (const char* shared : {"aw8link", "pelds", "setpx"}) withShared.push_back(shared);
    // Drivers and the window framework sit on the MIDI base.
    for (const char* top : {"pc/audio", "pc/midi", "pc/sky"}) l.push_back({top, withShared});
    // The application uses everything else.
    std::vector<const char*> all = withShared;
    for (const char* top : {"pc/audio", "pc/midi", "pc/sky"}) all.push_back(top);
    l.push_back({"src/volteon", all});
    return l;
  }();
  return layers;
}

// Folders nothing of the program may include.
const char* const kOutside[] = {"tests", "bench"};

bool Under(const std::string& path, const std::string& folder) {
  return path.size() > folder.size() && path.compare(0, folder.size(), folder) == 0 && path[folder.size()] == '/';
}

// The layout folder a root-relative path lies in (the longest that fits).
std::optional<std::string> FolderOf(const std::string& path) {
  std::optional<std::string> best;
  auto consider = [&](const std::string& folder) {
    if (Under(path, folder) && (!best || folder.size() > best->size())) best = folder;
  };
  for (const TLayer& layer : Layers()) consider(layer.folder);
  for (const char* outside : kOutside) consider(outside);
  return best;
}

// Why a file may not include a path, or empty when it may. Both paths are
// relative to the source root; includes outside the layout (system and
// third-party headers) are not the test's business.
std::string Violation(const std::string& file, const std::string& included) {
  const std::optional<std::string> from = FolderOf(file);
  const std::optional<std::string> to = FolderOf(included);
  if (!from || !to || *from == *to) return {};
  for (const TLayer& layer : Layers()) {
    if (*from != layer.folder) continue;
    for (const char* allowed : layer.below)
      if (*to == allowed) return {};
    return *from + " may not include " + *to;
  }
  return {};  // tests and bench may include anything
}

// The quoted includes of a file's text, with their line numbers.
std::vector<std::pair<int, std::string>> QuotedIncludes(std::istream& in) {
  std::vector<std::pair<int, std::string>> found;
  std::string line;
  for (int number = 1; std::getline(in, line); ++number) {
    size_t i = line.find_first_not_of(" \t");
    if (i == std::string::npos || line[i] != '#') continue;
    i = line.find_first_not_of(" \t", i + 1);
    if (i == std::string::npos || line.compare(i, 7, "include") != 0) continue;
    const size_t open = line.find_first_not_of(" \t", i + 7);
    if (open == std::string::npos || line[open] != '"') continue;
    const size_t close = line.find('"', open + 1);
    if (close == std::string::npos) continue;
    found.emplace_back(number, line.substr(open + 1, close - open - 1));
  }
  return found;
}

bool IsSourceFile(const fs::path& p) {
  const std::string ext = p.extension().string();
  return ext == ".h" || ext == ".hpp" || ext == ".cpp" || ext == ".cc" || ext == ".c" || ext == ".inc";
}

// A quoted include as a root-relative path: beside the including file when
// such a file exists there, else from the source root.
std::string Resolve(const fs::path& root, const fs::path& file, const std::string& included) {
  const fs::path beside = file.parent_path() / included;
  if (fs::exists(beside)) return fs::relative(fs::weakly_canonical(beside), root).generic_string();
  return fs::path(included).lexically_normal().generic_string();
}

TEST(Layers, RuleTable) {
  struct TCase {
    const char* file;
    const char* included;
    bool allowed;
  };
  const TCase cases[] = {
      {"src/engine/audioio.cpp", "src/engine/engine.h", true},
      {"src/engine/setup.cpp", "src/mod/mod.h", false},
      {"src/engine/setup.cpp", "src/audio/samplemap.h", true},
      {"src/audio/audiohost.cpp", "src/engine/tables.h", false},
      {"src/base/str.cpp", "platform/sys.h", true},
      {"platform/sys.cpp", "src/base/str.h", false},
      {"src/mod/ensemble.h", "src/midi/midi.h", false},
      {"src/mod/ensemble.h", "src/engine/audioio.h", true},
      {"src/midi/midi.cpp", "src/mod/instr.h", true},
      {"src/midi/midi.cpp", "pc/midi/alsamidi.h", false},
      {"pc/midi/alsamidi.cpp", "src/midi/midi.h", true},
      {"pc/sky/window.cpp", "src/volteon/app.h", false},
      {"src/volteon/app.cpp", "pc/sky/window.h", true},
      {"aw8link/link.cpp", "src/base/str.h", true},
      {"aw8link/link.cpp", "src/audio/audiofile.h", false},
      {"src/engine/engine.cpp", "tests/common/testkit.h", false},
      {"bench/rig.cpp", "tests/common/testkit.h", true},
      {"tests/engine/engine_test.cpp", "src/volteon/app.h", true},
      {"src/engine/engine.cpp", "gtest/gtest.h", true},
  };
  for (const TCase& c : cases)
    EXPECT_EQ(Violation(c.file, c.included).empty(), c.allowed) << c.file << " including " << c.included;
}

TEST(Layers, ReadsQuotedIncludesOnly) {
  std::istringstream text(
      "#include \"src/base/str.h\"\n"
      "  #  include \"src/mod/mod.h\" // note\n"
      "#include <vector>\n"
      "// #include \"src/midi/midi.h\"\n"
      "#pragma once\n");
  const auto found = QuotedIncludes(text);
  ASSERT_EQ(found.size(), 2u);
  EXPECT_EQ(found[0], std::make_pair(1, std::string("src/base/str.h")));
  EXPECT_EQ(found[1], std::make_pair(2, std::string("src/mod/mod.h")));
}

TEST(Layers, NoFolderIncludesAFolderAboveIt) {
  const fs::path root = fs::weakly_canonical(fs::path(testkit::SourceDir()));
  std::map<std::string, int> scanned;
  std::vector<std::string> violations;
  for (const TLayer& layer : Layers()) {
    const fs::path folder = root / layer.folder;
    if (!fs::is_directory(folder)) continue;
    for (const fs::directory_entry& entry : fs::recursive_directory_iterator(folder)) {
      if (!entry.is_regular_file() || !IsSourceFile(entry.path())) continue;
      const std::string file = fs::relative(entry.path(), root).generic_string();
      // Nested layout folders (pc/audio under pc) are scanned as themselves.
      if (FolderOf(file) != std::string(layer.folder)) continue;
      ++scanned[layer.folder];
      std::ifstream in(entry.path());
      for (const auto& [line, included] : QuotedIncludes(in)) {
        const std::string why = Violation(file, Resolve(root, entry.path(), included));
        if (!why.empty()) violations.push_back(file + ":" + std::to_string(line) + ": includes \"" + included + "\" (" + why + ")");
      }
    }
  }
  // The layers that exist today are all read: a wrong root finds nothing.
  for (const char* folder : {"platform", "src/base", "src/audio", "src/engine", "src/mod", "src/midi"})
    EXPECT_GT(scanned[folder], 0) << "no source files read under " << (root / folder).string();
  std::string report;
  for (const std::string& v : violations) report += "\n  " + v;
  EXPECT_TRUE(violations.empty()) << "includes that reach a higher layer:" << report;
}

} // namespace
