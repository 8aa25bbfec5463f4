#include "src/base/file.h"
#include "tests/common/testkit.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

namespace fs = std::filesystem;

namespace {

void Touch(const std::string& path, const std::string& content = "x") {
  fs::create_directories(fs::path(path).parent_path());
  std::ofstream(path, std::ios::binary) << content;
}

struct SplitRow {
  std::string path, folder, name;
  int type;
  std::string composed; // GetPath afterwards
};

void CheckSplit(const SplitRow& r) {
  TStr folder, name;
  int type = -1;
  SplitPath(TStr(r.path), &folder, &name, &type);
  EXPECT_EQ(folder.Std(), r.folder) << r.path;
  EXPECT_EQ(name.Std(), r.name) << r.path;
  EXPECT_EQ(type, r.type) << r.path;
  TFileName n;
  n.SetPath(TStr(r.path));
  EXPECT_EQ(n.GetPath().Std(), r.composed) << r.path;
}

TEST(FileName, SplitPathTable) {
  const SplitRow rows[] = {
      // Stored paths from the old platform: "\" and drive letters become "/" paths.
      {"D:\\Data\\Piano.WAV", "/Data", "Piano", 4, "/Data/Piano.WAV"},
      {"D:\\Data\\notes.txt", "/Data/notes.txt", "", 0, "/Data/notes.txt"},
      {"D:\\Data\\", "/Data", "", 0, "/Data"},
      {"D:\\my.dir\\Song", "/my.dir/Song", "", 0, "/my.dir/Song"},
      {"C:\\x\\y.WAV", "/x", "y", 4, "/x/y.WAV"},
      {"C:\\Kick.wav", "/", "Kick", 4, "/Kick.wav"},
      {"C:\\", "/", "", 0, "/"},
      {"Song.ens", "", "Song", 1, "Song.ens"},
      {"Piano.WAV", "", "Piano", 4, "Piano.WAV"},
      // A colon not followed by a separator is part of a name here.
      {"D:Drum.aif", "", "D:Drum", 5, "D:Drum.aif"},
      // Linux rows.
      {"/srv/loops/Drum.aiff", "/srv/loops", "Drum", 5, "/srv/loops/Drum.aiff"},
      {"/srv/loops/Drum.AIF", "/srv/loops", "Drum", 5, "/srv/loops/Drum.AIF"},
      {"/srv\\mixed/kit\\Snare.wav", "/srv/mixed/kit", "Snare", 4, "/srv/mixed/kit/Snare.wav"},
      {"/srv/set.v2/Live.ENS", "/srv/set.v2", "Live", 1, "/srv/set.v2/Live.ENS"},
      {"/srv/a.map", "/srv", "a", 6, "/srv/a.map"},
      {"/srv/tool.exe", "/srv", "tool", 7, "/srv/tool.exe"},
      {"/srv/Mod.mdl", "/srv", "Mod", 3, "/srv/Mod.mdl"},
      {"/srv/Bass.ism", "/srv", "Bass", 2, "/srv/Bass.ism"},
      {"", "", "", 0, ""},
  };
  for (const SplitRow& r : rows) CheckSplit(r);
}

TEST(FileName, ProgramWithoutExtensionIsAFile) {
  // The running test program has no extension, like every program here.
  std::string self = fs::read_symlink("/proc/self/exe").string();
  fs::path p(self);
  CheckSplit({self, p.parent_path().string(), p.filename().string(), 0, self});
  // The same text for a missing path names a folder.
  CheckSplit({self + "-missing", self + "-missing", "", 0, self + "-missing"});
}

TEST(FileName, ParseFileTypeKeepsUnknownSuffixes) {
  struct Row {
    const char* text;
    const char* rest;
    int type;
  };
  const Row rows[] = {{"Loop.wav", "Loop", 4}, {"Loop.Wav", "Loop", 4}, {"Loop.aiff", "Loop", 5},
                      {"Loop.txt", "Loop.txt", 0}, {"Loop", "Loop", 0}, {"a.b.map", "a.b", 6},
                      {".ens", "", 1}, {"Loop.", "Loop.", 0}};
  for (const Row& r : rows) {
    TStr rest;
    int type = -1;
    ParseFileType(TStr(r.text), &rest, &type);
    EXPECT_EQ(rest.Std(), r.rest) << r.text;
    EXPECT_EQ(type, r.type) << r.text;
  }
}

TEST(FileName, FolderAndNameParts) {
  TFileName n;
  n.SetFolder(TStr("D:\\Data\\\\")); // two trailing separators: only one goes
  EXPECT_EQ(n.GetFolder().Std(), "/Data/");
  n.SetName(TStr("Bass"));
  EXPECT_EQ(n.GetPath().Std(), "/Data/Bass");
  n.SetFolder(TStr(""));
  EXPECT_EQ(n.GetFolder().Std(), "");
  n.SetFolder(TStr("/"));
  EXPECT_EQ(n.GetFolder().Std(), "/"); // the root stays the root
  EXPECT_EQ(n.GetPath().Std(), "/Bass");

  TFileName plain;
  plain.SetName(TStr("Kick"));
  EXPECT_EQ(plain.GetName(1).Std(), "Kick"); // type 0: no extension
  plain.SetType(4);
  EXPECT_EQ(plain.GetName(1).Std(), "Kick.wav");
  EXPECT_EQ(plain.GetName(0).Std(), "Kick");
  EXPECT_EQ(plain.GetPath().Std(), "Kick.wav"); // no folder: the bare name
  plain.SetType(9);
  EXPECT_EQ(plain.GetName(1).Std(), "Kick");
  plain.SetName(TStr(""));
  plain.SetType(4);
  EXPECT_EQ(plain.GetName(1).Std(), "");

  // A type set later replaces the spelling that came with the old one.
  TFileName spelled;
  spelled.SetPath(TStr("/a/Drum.AIFF"));
  EXPECT_EQ(spelled.GetName(1).Std(), "Drum.AIFF");
  spelled.SetType(4);
  EXPECT_EQ(spelled.GetName(1).Std(), "Drum.wav");

  TFileName other;
  other.SetPath(TStr("/x/y/z.ism"));
  spelled.CopyFolder(&other);
  EXPECT_EQ(spelled.GetPath().Std(), "/x/y/Drum.wav");
}

TEST(FileName, EqualityIgnoresCase) {
  auto made = [](const char* p) {
    auto n = std::make_unique<TFileName>();
    n->SetPath(TStr(p));
    return n;
  };
  EXPECT_TRUE(*made("D:\\DATA\\Bass.wav") == *made("d:\\data\\bass.WAV"));
  EXPECT_FALSE(*made("/d/Bass.wav") == *made("/d/Bass.aif"));
  EXPECT_FALSE(*made("/d/Bass.wav") == *made("/e/Bass.wav"));
  // Different files on this system, though both are AIFF.
  EXPECT_FALSE(*made("/d/Drum.aif") == *made("/d/Drum.aiff"));

  TFileName copy;
  copy.Assign(*made("/d/Drum.aiff"));
  EXPECT_EQ(copy.GetPath().Std(), "/d/Drum.aiff");
  EXPECT_EQ(copy.GetType(), 5);
}

TEST(FileName, RecordReadAndWrite) {
  struct Row {
    const char* folder;
    const char* text;
    uint32_t stored;
    const char* name;
    int type;
  };
  const Row rows[] = {
      {"D:\\Songs", "Live.ens", 4, "Live", 1}, // the parsed type wins
      {"/s", "Drum", 5, "Drum", 5},            // no extension: the stored type
      {"/s", "Drum", 9, "Drum", 0},            // an unknown stored type is ignored
      {"/s", "Drum.txt", 2, "Drum.txt", 2},
  };
  for (const Row& r : rows) {
    TMemInOut s;
    s.WriteStr(TStr(r.folder)).WriteStr(TStr(r.text)).WriteULong(r.stored);
    s.Seek(0);
    TFileName n;
    n.Read(&s);
    EXPECT_EQ(n.GetName(0).Std(), r.name) << r.text;
    EXPECT_EQ(n.GetType(), r.type) << r.text;
  }

  TFileName n;
  n.SetPath(TStr("/songs/Take.WAV"));
  TMemInOut out;
  n.Write(&out);
  TMemInOut expected;
  expected.WriteStr(TStr("/songs")).WriteStr(TStr("Take.WAV")).WriteULong(4);
  EXPECT_EQ(out.Data(), expected.Data());
  out.Seek(0);
  TFileName back;
  back.Read(&out);
  EXPECT_EQ(back.GetPath().Std(), "/songs/Take.WAV");
  EXPECT_EQ(back.GetType(), 4);

  // A damaged record raises the stream's read error instead of allocating.
  TMemInOut bad(std::vector<uint8_t>{0xFF, 0xFF, 0xFF, 0x7F, 'a'});
  EXPECT_THROW(back.Read(&bad), TError);
}

int contentTests = 0;
int PretendWav(const IFileName&) {
  ++contentTests;
  return 4;
}

TEST(FileName, ContentTestFindsTheTypeOfExistingFilesOnly) {
  SetContentTypeTest(&PretendWav);
  std::string dir = testkit::TempDir("content");
  contentTests = 0;
  TFileName missing;
  missing.SetFolder(TStr(dir));
  missing.SetName(TStr("Nothing"));
  EXPECT_EQ(missing.GetType(), 0);
  EXPECT_EQ(contentTests, 0);

  Touch(dir + "/Sample");
  TFileName found;
  found.SetPath(TStr(dir + "/Sample"));
  EXPECT_EQ(found.GetType(), 4);
  EXPECT_EQ(contentTests, 1);
  // The file keeps its name: the type found adds no extension.
  EXPECT_EQ(found.GetPath().Std(), dir + "/Sample");
  EXPECT_EQ(found.Exists(), 1);
  EXPECT_EQ(found.GetType(), 4);
  EXPECT_EQ(contentTests, 1);
  SetContentTypeTest(nullptr);
}

TEST(FileName, RebuiltNamesFindFilesWhateverTheirCase) {
  std::string dir = testkit::TempDir("case");
  Touch(dir + "/Samples/Piano.WAV");
  Touch(dir + "/Samples/Drum.aiff");
  struct Row {
    const char* folder;
    const char* name;
    int type;
    const char* onDisk;
  };
  const Row rows[] = {
      {"/samples", "piano", 4, "/Samples/Piano.WAV"},
      {"/Samples", "Piano", 4, "/Samples/Piano.WAV"},
      {"/SAMPLES", "drum", 5, "/Samples/Drum.aiff"},
      {"/Samples", "Drum", 5, "/Samples/Drum.aiff"},
  };
  for (const Row& r : rows) {
    TFileName n;
    n.SetFolder(TStr(dir + r.folder));
    n.SetName(TStr(r.name));
    n.SetType(r.type);
    EXPECT_EQ(n.Exists(), 1) << r.name;
    EXPECT_EQ(n.GetPath().Std(), dir + r.onDisk) << r.name;
  }
  TFileName absent;
  absent.SetFolder(TStr(dir + "/samples"));
  absent.SetName(TStr("Organ"));
  absent.SetType(4);
  EXPECT_EQ(absent.Exists(), 0);
  EXPECT_EQ(absent.GetPath().Std(), dir + "/samples/Organ.wav");
}

TEST(FileName, ExistsFolderExistsAndRemove) {
  std::string dir = testkit::TempDir("exists");
  Touch(dir + "/Song.ens");
  fs::create_directories(dir + "/Folder");
  struct Row {
    std::string path;
    int exists, folderExists;
  };
  const Row rows[] = {
      {dir + "/Song.ens", 1, 1},
      {dir + "/song.ENS", 1, 1},
      {dir + "/Other.ens", 0, 1},
      {dir + "/Folder/", 1, 1},
      {dir + "/folder/x.wav", 0, 1},
      {dir + "/Missing/x.wav", 0, 0},
      {dir + "/Song.ens/x.wav", 0, 0}, // a file is not a folder
  };
  for (const Row& r : rows) {
    TFileName n;
    n.SetPath(TStr(r.path));
    EXPECT_EQ(n.Exists(), r.exists) << r.path;
    EXPECT_EQ(n.FolderExists(), r.folderExists) << r.path;
  }
  TFileName empty;
  EXPECT_EQ(empty.Exists(), 0);
  EXPECT_EQ(empty.FolderExists(), 0);

  TFileName song;
  song.SetPath(TStr(dir + "/Song.ens"));
  EXPECT_EQ(song.Remove(), 1);
  EXPECT_FALSE(fs::exists(dir + "/Song.ens"));
  EXPECT_EQ(song.Remove(), 0);
  TFileName folder;
  folder.SetPath(TStr(dir + "/Folder/"));
  EXPECT_EQ(folder.Remove(), 0); // folders are not removed
  EXPECT_TRUE(fs::is_directory(dir + "/Folder"));
}

std::string Content(const std::string& path) {
  std::ifstream f(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(f), {});
}

TEST(FileName, RenameNeverReplacesAnExistingFile) {
  std::string dir = testkit::TempDir("rename");
  Touch(dir + "/Old.wav", "old");
  Touch(dir + "/Taken.wav", "taken");
  TFileName old;
  old.SetPath(TStr(dir + "/Old.wav"));
  TFileName taken;
  taken.SetPath(TStr("/elsewhere/Taken.wav")); // only its name counts
  EXPECT_EQ(old.Rename(&taken), 0);
  EXPECT_EQ(Content(dir + "/Old.wav"), "old");
  EXPECT_EQ(Content(dir + "/Taken.wav"), "taken");
  EXPECT_EQ(old.GetPath().Std(), dir + "/Old.wav"); // still names its own file

  TFileName fresh;
  fresh.SetPath(TStr("New.aiff"));
  EXPECT_EQ(old.Rename(&fresh), 1);
  EXPECT_EQ(old.GetPath().Std(), dir + "/New.aiff");
  EXPECT_EQ(old.GetType(), 5);
  EXPECT_EQ(Content(dir + "/New.aiff"), "old");
  EXPECT_FALSE(fs::exists(dir + "/Old.wav"));

  TFileName gone;
  gone.SetPath(TStr(dir + "/Gone.wav"));
  EXPECT_EQ(gone.Rename(&fresh), 0);
  EXPECT_EQ(gone.GetPath().Std(), dir + "/Gone.wav");
}

TEST(FileName, InstallFoldersFollowTheProgram) {
  OverrideProgramPath(TStr("/opt/quorvex/bin/Quorvex"));
  EXPECT_EQ(ProgramFolder()->GetFolder().Std(), "/opt/quorvex/bin");
  EXPECT_EQ(EnsembleLibraryFolder()->GetFolder().Std(), "/opt/quorvex/Library/Ensembles");
  EXPECT_EQ(InstrumentLibraryFolder()->GetFolder().Std(), "/opt/quorvex/Library/Instruments");
  EXPECT_EQ(MacroLibraryFolder()->GetFolder().Std(), "/opt/quorvex/Library/Macros");
  EXPECT_EQ(LibraryFolder()->GetFolder().Std(), "/opt/quorvex/Library");
  EXPECT_EQ(ProgramFolder(), ProgramFolder()); // one object per process

  OverrideProgramPath(TStr());
  fs::path self = fs::read_symlink("/proc/self/exe");
  EXPECT_EQ(ProgramFolder()->GetFolder().Std(), self.parent_path().string());
  EXPECT_EQ(LibraryFolder()->GetFolder().Std(), self.parent_path().parent_path().string() + "/Library");
  EXPECT_EQ(ProgramFolder()->GetName(1).Std(), "");

  EXPECT_FALSE(TempFolder()->GetFolder().IsEmpty());
  EXPECT_EQ(TempFolder()->FolderExists(), 1);
}

} // namespace
