// The folders of the program depend one way: a folder includes only its own
// files and those of the folders below it. The test reads the quoted
// includes of every source and header file and names each one that reaches up.
// Inside a folder the files depend one way too: a header and the source file
// of the same name are one unit, and no unit reaches back, through the
// includes of others, to a unit that includes it.
#include "tests/common/testkit.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <optional>
#include <set>
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

// A unit of a folder: a file's path without the extension of a header or a
// source file, so that x.h and x.cpp are one unit. Other files stand alone.
std::string UnitOf(const std::string& path) {
  const fs::path p(path);
  const std::string ext = p.extension().string();
  if (ext == ".h" || ext == ".hpp" || ext == ".cpp" || ext == ".cc" || ext == ".c")
    return (p.parent_path() / p.stem()).generic_string();
  return path;
}

// The includes between files, root-relative, each file with what it includes.
using TIncludeGraph = std::map<std::string, std::set<std::string>>;

// The knots of the includes inside each folder: groups of two or more units
// that each reach every other one. Each knot lists its units' files, sorted,
// and the knots come sorted by their first file.
std::vector<std::vector<std::string>> Knots(const TIncludeGraph& includes) {
  std::map<std::string, std::set<std::string>> next;  // unit -> units it includes
  std::map<std::string, std::set<std::string>> files; // unit -> its files
  for (const auto& [file, included] : includes) {
    const std::string from = UnitOf(file);
    files[from].insert(file);
    next[from];
    for (const std::string& to : included) {
      const std::optional<std::string> inFolder = FolderOf(file);
      if (!inFolder || FolderOf(to) != inFolder) continue;
      if (UnitOf(to) == from) continue;
      next[from].insert(UnitOf(to));
      next[UnitOf(to)];
      files[UnitOf(to)].insert(to);
    }
  }
  // Strongly connected components (Tarjan), walked without recursion so that
  // a long chain of includes cannot exhaust the stack.
  std::map<std::string, int> index, low;
  std::set<std::string> onStack;
  std::vector<std::string> stack;
  std::vector<std::vector<std::string>> knots;
  int counter = 0;
  for (const auto& [start, unused] : next) {
    if (index.count(start)) continue;
    struct TFrame {
      std::string unit;
      std::set<std::string>::const_iterator at;
    };
    std::vector<TFrame> walk;
    auto enter = [&](const std::string& unit) {
      index[unit] = low[unit] = counter++;
      stack.push_back(unit);
      onStack.insert(unit);
      walk.push_back({unit, next[unit].cbegin()});
    };
    enter(start);
    while (!walk.empty()) {
      TFrame& top = walk.back();
      if (top.at != next[top.unit].cend()) {
        const std::string to = *top.at++;
        if (!index.count(to)) enter(to);
        else if (onStack.count(to)) low[top.unit] = std::min(low[top.unit], index[to]);
        continue;
      }
      const std::string unit = top.unit;
      walk.pop_back();
      if (!walk.empty()) low[walk.back().unit] = std::min(low[walk.back().unit], low[unit]);
      if (low[unit] != index[unit]) continue;
      std::vector<std::string> component;
      std::string member;
      do {
        member = stack.back();
        stack.pop_back();
        onStack.erase(member);
        component.push_back(member);
      } while (member != unit);
      if (component.size() < 2) continue;
      std::vector<std::string> knot;
      for (const std::string& u : component) knot.insert(knot.end(), files[u].begin(), files[u].end());
      std::sort(knot.begin(), knot.end());
      knots.push_back(knot);
    }
  }
  std::sort(knots.begin(), knots.end());
  return knots;
}

// Knots that are known and being taken apart, each as its units (a path
// without the extension); a knot is let pass only when all its files lie in
// the units of one of these. Each entry goes when its knot is gone, and
// the test below fails on an entry whose knot is no more.
const std::vector<std::set<std::string>>& ToleratedKnots() {
  static const std::vector<std::set<std::string>> knots = {
      // None left: a new knot fails the test below.
  };
  return knots;
}

// Whether all files of a knot lie in the units of one known knot.
bool InKnownKnot(const std::vector<std::string>& knot, const std::set<std::string>& known) {
  return std::all_of(knot.begin(), knot.end(), [&](const std::string& f) { return known.count(UnitOf(f)) > 0; });
}

bool Tolerated(const std::vector<std::string>& knot,
               const std::vector<std::set<std::string>>& list = ToleratedKnots()) {
  for (const std::set<std::string>& known : list)
    if (InKnownKnot(knot, known)) return true;
  return false;
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

// Reads the quoted includes of every source file of the layout, each folder
// as itself (nested layout folders such as pc/audio under pc are read as
// their own), and hands each include on, resolved against the root. Returns
// how many files each folder holds.
std::map<std::string, int> ScanSources(const fs::path& root,
                                       const std::function<void(const std::string& file, int line, const std::string& included,
                                                                const std::string& resolved)>& visit) {
  std::map<std::string, int> scanned;
  for (const TLayer& layer : Layers()) {
    const fs::path folder = root / layer.folder;
    if (!fs::is_directory(folder)) continue;
    for (const fs::directory_entry& entry : fs::recursive_directory_iterator(folder)) {
      if (!entry.is_regular_file() || !IsSourceFile(entry.path())) continue;
      const std::string file = fs::relative(entry.path(), root).generic_string();
      if (FolderOf(file) != std::string(layer.folder)) continue;
      ++scanned[layer.folder];
      std::ifstream in(entry.path());
      for (const auto& [line, included] : QuotedIncludes(in)) visit(file, line, included, Resolve(root, entry.path(), included));
    }
  }
  return scanned;
}

void ExpectEveryLayerRead(std::map<std::string, int>& scanned, const fs::path& root) {
  // The layers that exist today are all read: a wrong root finds nothing.
  for (const char* folder : {"platform", "src/base", "src/audio", "src/engine", "src/mod", "src/midi"})
    EXPECT_GT(scanned[folder], 0) << "no source files read under " << (root / folder).string();
}

TEST(Layers, NoFolderIncludesAFolderAboveIt) {
  const fs::path root = fs::weakly_canonical(fs::path(testkit::SourceDir()));
  std::vector<std::string> violations;
  std::map<std::string, int> scanned =
      ScanSources(root, [&](const std::string& file, int line, const std::string& included, const std::string& resolved) {
        const std::string why = Violation(file, resolved);
        if (!why.empty()) violations.push_back(file + ":" + std::to_string(line) + ": includes \"" + included + "\" (" + why + ")");
      });
  ExpectEveryLayerRead(scanned, root);
  std::string report;
  for (const std::string& v : violations) report += "\n  " + v;
  EXPECT_TRUE(violations.empty()) << "includes that reach a higher layer:" << report;
}

TEST(Layers, KnotTable) {
  struct TCase {
    const char* what;
    TIncludeGraph includes;
    std::vector<std::vector<std::string>> knots;
  };
  const TCase cases[] = {
      {"a chain is no knot",
       {{"src/mod/a.cpp", {"src/mod/a.h", "src/mod/b.h"}}, {"src/mod/b.cpp", {"src/mod/b.h", "src/mod/c.h"}}, {"src/mod/c.h", {}}},
       {}},
      {"a source and its header are one unit",
       {{"src/mod/a.cpp", {"src/mod/a.h"}}, {"src/mod/a.h", {}}},
       {}},
      {"a source that includes a header that includes the source's own header",
       {{"src/mod/a.cpp", {"src/mod/b.h"}}, {"src/mod/b.h", {"src/mod/a.h"}}, {"src/mod/a.h", {}}},
       {{"src/mod/a.cpp", "src/mod/a.h", "src/mod/b.h"}}},
      {"a ring of three through sources",
       {{"src/base/x.cpp", {"src/base/y.h"}}, {"src/base/y.cpp", {"src/base/z.h"}}, {"src/base/z.cpp", {"src/base/x.h"}}},
       {{"src/base/x.cpp", "src/base/x.h", "src/base/y.cpp", "src/base/y.h", "src/base/z.cpp", "src/base/z.h"}}},
      {"two separate knots, and a file hanging off one that is in neither",
       {{"src/mod/a.cpp", {"src/mod/b.h"}},
        {"src/mod/b.cpp", {"src/mod/a.h", "src/mod/tail.h"}},
        {"src/volteon/p.cpp", {"src/volteon/q.h"}},
        {"src/volteon/q.h", {"src/volteon/p.h"}}},
       {{"src/mod/a.cpp", "src/mod/a.h", "src/mod/b.cpp", "src/mod/b.h"},
        {"src/volteon/p.cpp", "src/volteon/p.h", "src/volteon/q.h"}}},
      {"a ring through another folder is the folders' business, not a knot",
       {{"src/mod/a.cpp", {"src/engine/e.h"}}, {"src/engine/e.cpp", {"src/mod/a.h"}}},
       {}},
      {"a nested layout folder is a folder of its own",
       {{"pc/audio/d.cpp", {"pc/sky/w.h"}}, {"pc/sky/w.cpp", {"pc/audio/d.h"}}},
       {}},
  };
  for (const TCase& c : cases) EXPECT_EQ(Knots(c.includes), c.knots) << c.what;
}

TEST(Layers, ToleratedKnotsAreOnlyThoseListed) {
  struct TCase {
    std::vector<std::string> knot;
    bool tolerated;
  };
  // A list of its own, so that the cases hold while the real list shrinks.
  const std::vector<std::set<std::string>> list = {
      {"src/engine/engine", "src/engine/voice_loops"},
      {"src/volteon/ctrlview", "src/volteon/panelwnd"},
  };
  const TCase cases[] = {
      {{"src/engine/engine.cpp", "src/engine/engine.h", "src/engine/voice_loops.cpp"}, true},
      {{"src/volteon/ctrlview.cpp", "src/volteon/panelwnd.h"}, true},
      {{"src/engine/engine.cpp", "src/engine/tables.cpp"}, false},
      {{"src/volteon/ctrlview.cpp", "src/volteon/panelwnd.h", "src/volteon/volteon.cpp"}, false},
      {{"src/mod/ensemble.cpp", "src/mod/mod.h"}, false},
      {{"src/mod/mod.cpp", "src/engine/engine.cpp"}, false},
  };
  for (const TCase& c : cases) EXPECT_EQ(Tolerated(c.knot, list), c.tolerated) << c.knot.front() << " .. " << c.knot.back();
}

TEST(Layers, NoFilesOfAFolderIncludeEachOtherInACircle) {
  const fs::path root = fs::weakly_canonical(fs::path(testkit::SourceDir()));
  TIncludeGraph includes;
  std::map<std::string, int> scanned =
      ScanSources(root, [&](const std::string& file, int, const std::string&, const std::string& resolved) {
        includes[file].insert(resolved);
      });
  ExpectEveryLayerRead(scanned, root);
  std::string report;
  const std::vector<std::vector<std::string>> knots = Knots(includes);
  for (const std::vector<std::string>& knot : knots) {
    if (Tolerated(knot)) continue;
    report += "\n ";
    for (const std::string& file : knot) report += " " + file;
  }
  EXPECT_TRUE(report.empty()) << "files that include each other in a circle (each line one knot):" << report;
  // A knot taken apart leaves the list too, so that it cannot come back unseen.
  for (const std::set<std::string>& known : ToleratedKnots()) {
    const bool stillThere = std::any_of(knots.begin(), knots.end(),
                                        [&](const std::vector<std::string>& knot) { return InKnownKnot(knot, known); });
    EXPECT_TRUE(stillThere) << "the knot around " << *known.begin() << " is gone: remove it from ToleratedKnots";
  }
}

} // namespace
