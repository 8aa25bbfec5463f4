#include "platform/fs.h"
#include "src/base/file.h"
#include "tests/common/testkit.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <fcntl.h>
#include <functional>
#include <filesystem>
#include <fstream>
#include <poll.h>
#include <string>
#include <vector>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

std::string Content(const std::string& path) {
  std::ifstream f(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(f), {});
}

void Touch(const std::string& path, const std::string& content = "x") {
  fs::create_directories(fs::path(path).parent_path());
  std::ofstream(path, std::ios::binary) << content;
}

EPtr<IFileName> NameOf(const std::string& path) {
  EPtr<IFileName> n(CreateFileName());
  n->SetPath(TStr(path));
  return n;
}

std::string RaisedText(const std::function<void()>& f) {
  try {
    f();
  } catch (const TError&) {
    return LastError()->Expand().Std();
  }
  return "(nothing raised)";
}

// ---------------------------------------------------------------- files

TEST(File, WritesReadsSeeksAndReportsItsPosition) {
  std::string path = testkit::TempDir("file") + "/Data.map";
  EPtr<IFileName> name = NameOf(path);
  EPtr<IFile> file(CreateFileObject());
  EXPECT_EQ(file->IsOpen(), 0);
  file->OpenWrite(name.Get());
  EXPECT_EQ(file->IsOpen(), 1);
  file->SetByteOrder(1);
  file->WriteLong(0x01020304).WriteStr(TStr("Loop"));
  EXPECT_EQ(file->Tell(), 12u);
  file->Close();
  EXPECT_EQ(file->IsOpen(), 0);
  const std::string written = Content(path);
  EXPECT_EQ(testkit::Hex(std::vector<unsigned char>(written.begin(), written.end())),
            "01 02 03 04 00 00 00 04 4C 6F 6F 70");

  file->OpenRead(name.Get());
  EXPECT_EQ(file->GetPath().Std(), path);
  file->Seek(8);
  char buffer[16] = {};
  EXPECT_EQ(file->Read(buffer, sizeof buffer), 4u); // fewer than asked: the end
  EXPECT_EQ(std::string(buffer, 4), "Loop");
  EXPECT_EQ(file->Read(buffer, sizeof buffer), 0u);
  file->Seek(0);
  int32_t v = 0;
  TStr s;
  file->SetByteOrder(1);
  file->ReadLong(v).ReadStr(s);
  EXPECT_EQ(v, 0x01020304);
  EXPECT_EQ(s, TStr("Loop"));

  // Read-write keeps the content; write truncates it.
  file->OpenReadWrite(name.Get());
  file->Seek(4);
  file->WriteLong(0);
  file->Close();
  EXPECT_EQ(Content(path).size(), 12u);
  file->OpenWrite(name.Get());
  file->Close();
  EXPECT_EQ(Content(path).size(), 0u);

  std::string created = testkit::TempDir("file") + "/New.ens";
  EPtr<IFileName> createdName = NameOf(created);
  file->OpenReadWrite(createdName.Get());
  EXPECT_TRUE(fs::exists(created));
}

TEST(File, OpenFailuresNameTheFileAndKeepTheOldName) {
  std::string dir = testkit::TempDir("open");
  EPtr<IFileName> good = NameOf(dir + "/Good.ens");
  Touch(dir + "/Good.ens");
  EPtr<IFile> file(CreateFileObject());
  file->OpenRead(good.Get());

  struct Case {
    const char* what;
    std::string path;
    int mode; // 0 read, 1 write, 2 read-write
  };
  fs::create_directories(dir + "/Folder.wav");
  const Case cases[] = {
      {"a missing file", dir + "/Missing.ens", 0},
      {"a folder for reading", dir + "/Folder.wav", 0},
      {"a folder for writing", dir + "/Folder.wav", 1},
      {"a folder for reading and writing", dir + "/Folder.wav", 2},
      {"a file in a missing folder", dir + "/No/New.ens", 1},
  };
  for (const Case& c : cases) {
    EPtr<IFileName> name = NameOf(c.path);
    std::string text = RaisedText([&] {
      if (c.mode == 0) file->OpenRead(name.Get());
      if (c.mode == 1) file->OpenWrite(name.Get());
      if (c.mode == 2) file->OpenReadWrite(name.Get());
    });
    EXPECT_EQ(text, "Cannot open file " + c.path + ".") << c.what;
    EXPECT_EQ(file->IsOpen(), 0) << c.what;
    EXPECT_EQ(file->GetPath().Std(), dir + "/Good.ens") << c.what;
  }
}

TEST(File, FullDiskRaisesTheWriteError) {
  ASSERT_TRUE(fs::exists("/dev/full"));
  EPtr<IFileName> name(CreateFileName());
  name->SetFolder(TStr("/dev"));
  name->SetName(TStr("full"));
  EPtr<IFile> file(CreateFileObject());
  file->OpenWrite(name.Get());
  std::vector<char> megabyte(1 << 20, 'q');
  EXPECT_EQ(RaisedText([&] { file->Write(megabyte.data(), uint32_t(megabyte.size())); }),
            "Error while writing file /dev/full.");
}

TEST(File, StringLengthBeyondTheFileRaisesTheReadError) {
  std::string path = testkit::TempDir("bounded") + "/Bad.ens";
  std::string bytes("\xff\xff\xff\x7f" "abc", 7);
  Touch(path, bytes);
  EPtr<IFileName> name = NameOf(path);
  EPtr<IFile> file(CreateFileObject());
  file->OpenRead(name.Get());
  EXPECT_EQ(file->Remaining(), 7);
  TStr s;
  EXPECT_EQ(RaisedText([&] { file->ReadStr(s); }), "Error while reading file " + path + ".");
}

TEST(File, ClosedFileRaisesOnUse) {
  EPtr<IFile> file(CreateFileObject());
  char b[4];
  file->Close(); // closing a closed file is harmless
  EXPECT_THROW(file->Read(b, 4), TError);
  EXPECT_THROW(file->Write(b, 4), TError);
  EXPECT_THROW(file->Tell(), TError);
  EXPECT_THROW(file->Seek(0), TError);
  EXPECT_EQ(CastToFile(file.Get()), file.Get());
  EPtr<IFileName> name(CreateFileName());
  EXPECT_EQ(CastToFile(name.Get()), nullptr);
  EXPECT_EQ(CastToFileName(name.Get()), name.Get());
}

// ---------------------------------------------------------------- programs

// Reads what the started program writes into a fifo; fails instead of hanging
// when nothing comes.
std::string ReadFifo(const std::string& path) {
  int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK);
  EXPECT_GE(fd, 0);
  if (fd < 0) return std::string();
  std::string got;
  for (;;) {
    pollfd p{fd, POLLIN, 0};
    int r = ::poll(&p, 1, 60000);
    if (r <= 0) {
      ADD_FAILURE() << "the program wrote nothing";
      break;
    }
    char b[256];
    ssize_t n = ::read(fd, b, sizeof b);
    if (n > 0) {
      got.append(b, size_t(n));
    } else if (n == 0 && (p.revents & POLLHUP)) {
      break;
    } else if (n < 0 && errno != EAGAIN) {
      break;
    }
  }
  ::close(fd);
  return got;
}

TEST(File, ExecutePassesThePathAsOneArgumentWithoutAShell) {
  std::string dir = testkit::TempDir("exec") + "/odd dir; $HOME";
  fs::create_directories(dir);
  std::string program = dir + "/show args";
  Touch(program, "#!/bin/sh\nprintf '%s\\n' \"$#\" \"$@\" > \"$(dirname \"$0\")/out\"\n");
  fs::permissions(program, fs::perms::owner_all);
  ASSERT_EQ(::mkfifo((dir + "/out").c_str(), 0600), 0);

  const std::string argument = dir + "/take 1; touch \"" + dir + "/injected\" $PATH `id`.wav";
  EPtr<IFileName> editor = NameOf(program);
  EXPECT_EQ(editor->GetPath().Std(), program);
  EXPECT_EQ(editor->Execute(TStr(argument)), 1);
  EXPECT_EQ(ReadFifo(dir + "/out"), "1\n" + argument + "\n");
  EXPECT_FALSE(fs::exists(dir + "/injected"));
  // Nothing is left for us to reap.
  int status;
  errno = 0;
  EXPECT_EQ(::waitpid(-1, &status, WNOHANG), -1);
  EXPECT_EQ(errno, ECHILD);

  EPtr<IFileName> missing = NameOf(dir + "/no such program");
  EXPECT_EQ(missing->Execute(TStr("x")), 0);
  EXPECT_EQ(::waitpid(-1, &status, WNOHANG), -1);
}

TEST(FileSystem, MoveAcrossFileSystemsCopies) {
  std::string here = testkit::TempDir("move");
  struct stat a, b;
  if (::stat("/dev/shm", &b) != 0 || ::stat(here.c_str(), &a) != 0 || a.st_dev == b.st_dev)
    GTEST_SKIP() << "no second file system at hand";
  std::string from = "/dev/shm/qv-move-" + std::to_string(::getpid());
  Touch(from, "moved bytes");
  EXPECT_EQ(platform::MoveFile(from, here + "/Moved.wav"), platform::MoveResult::Moved);
  EXPECT_EQ(Content(here + "/Moved.wav"), "moved bytes");
  EXPECT_FALSE(fs::exists(from));
  Touch(from, "second");
  EXPECT_EQ(platform::MoveFile(from, here + "/Moved.wav"), platform::MoveResult::TargetExists);
  EXPECT_EQ(Content(here + "/Moved.wav"), "moved bytes");
  fs::remove(from);
}

// ---------------------------------------------------------------- searches

// Walks a whole search, one line per answer: "D name" for a folder entry,
// "F path" (relative to root) for a file entry, "0" for an end.
std::vector<std::string> Walk(const std::string& root, int type, int limit = 1000) {
  EPtr<IFileName> pattern(CreateFileName());
  pattern->SetFolder(TStr(root));
  pattern->SetType(type);
  EPtr<IFileSearch> search(CreateFileSearch(pattern.Get()));
  std::vector<std::string> answers;
  EPtr<IFileName> out(CreateFileName());
  int depth = 0;
  while (int(answers.size()) < limit) {
    if (!search->Next(out.Get())) {
      answers.push_back("0");
      if (depth-- == 0) break;
      continue;
    }
    if (out->GetFolder().IsEmpty()) {
      EXPECT_EQ(out->GetType(), 0);
      answers.push_back("D " + out->GetName(0).Std());
      ++depth;
    } else {
      std::string path = out->GetPath().Std();
      answers.push_back("F " + path.substr(root.size() + 1) + " " + std::to_string(out->GetType()));
    }
  }
  // After the final answer it keeps answering 0.
  EXPECT_EQ(search->Next(out.Get()), 0);
  EXPECT_EQ(search->Next(out.Get()), 0);
  return answers;
}

class SearchTest : public ::testing::Test {
protected:
  void SetUp() override {
    root_ = testkit::TempDir("search");
    Touch(root_ + "/a.wav");
    Touch(root_ + "/B.WAV");
    Touch(root_ + "/c.txt");
    Touch(root_ + "/README");
    Touch(root_ + "/Loops.wav/x.wav");
    Touch(root_ + "/sub/d.wav");
    Touch(root_ + "/sub/deep/e.aiff");
    Touch(root_ + "/sub/deep/f.AIF");
    fs::create_directory_symlink(root_, root_ + "/zloop");      // a link back to the top
    fs::create_directory_symlink("..", root_ + "/sub/up");      // and one to the parent
  }
  std::string root_;
};

TEST_F(SearchTest, WalksSubfoldersFirstThenMatchingEntries) {
  const std::vector<std::string> expected = {
      "D Loops.wav", "F Loops.wav/x.wav 4", "0",
      "D sub",       "D deep",              "0", "F sub/d.wav 4", "0",
      "F a.wav 4",   "F B.WAV 4",           "F Loops.wav 4",    "0",
  };
  EXPECT_EQ(Walk(root_, 4), expected);
}

TEST_F(SearchTest, AiffMatchesBothSpellingsAndTypeZeroMatchesNamesWithoutDot) {
  EXPECT_EQ(Walk(root_ + "/sub/deep", 5), (std::vector<std::string>{"F e.aiff 5", "F f.AIF 5", "0"}));
  // Names without a dot: the file README and the folders and links themselves.
  EXPECT_EQ(Walk(root_ + "/sub", 0),
            (std::vector<std::string>{"D deep", "0", "F deep 0", "F up 0", "0"}));
}

TEST_F(SearchTest, NoFolderMissingFolderAndDepthLimit) {
  EXPECT_EQ(Walk("", 4), (std::vector<std::string>{"0"}));
  EXPECT_EQ(Walk(root_ + "/missing", 4), (std::vector<std::string>{"0"}));

  std::string deep = root_ + "/chain";
  for (int i = 0; i < 105; ++i) deep += "/n";
  fs::create_directories(deep);
  std::vector<std::string> answers = Walk(root_ + "/chain", 4);
  int folders = 0;
  for (const std::string& a : answers) folders += a == "D n";
  EXPECT_EQ(folders, 99); // 100 levels with the starting folder
  EXPECT_EQ(answers.size(), 99u + 100u);
}

// ---------------------------------------------------------------- dialogs

using Filters = std::vector<std::pair<std::string, std::string>>;

Filters FiltersOf(const platform::FileDialogRequest& r) {
  Filters f;
  for (const auto& x : r.filters) f.emplace_back(x.description, x.pattern);
  return f;
}

TEST(FileDialog, FilterListsByKind) {
  const std::pair<std::string, std::string> all{"All Files (*.*)", "*.*"};
  const Filters expected[] = {
      {},
      {{"Ensembles (*.ens)", "*.ens"}, all},
      {{"Instruments (*.ism)", "*.ism"}, all},
      {{"Macros (*.mdl)", "*.mdl"}, all},
      {{"WAV Files (*.wav)", "*.wav"}, all},
      {{"AIFF Files (*.aif)", "*.aif;*.aiff"}, all},
      {{"Map Files (*.map)", "*.map"}, all},
      {{"Program Files", "*"}, all},
      {{"Ensembles (*.ens)", "*.ens"},
       {"Structure Files (*.ens)(*.ism)(*.mdl)", "*.ens;*.ism;*.mdl"},
       {"Instruments (*.ism)", "*.ism"},
       {"Macros (*.mdl)", "*.mdl"},
       all},
      {{"Audiofiles (*.wav)(*.aif)", "*.wav;*.aif;*.aiff"},
       {"WAV Files (*.wav)", "*.wav"},
       {"AIFF Files (*.aif)", "*.aif;*.aiff"},
       all},
      {{"Samplefiles (*.map)(*.wav)(*.aif)", "*.map;*.wav;*.aif;*.aiff"},
       {"Map Files (*.map)", "*.map"},
       {"WAV Files (*.wav)", "*.wav"},
       {"AIFF Files (*.aif)", "*.aif;*.aiff"},
       all},
  };
  const char* extensions[] = {"", "ens", "ism", "mdl", "wav", "aif", "map", "", "", "", ""};
  testkit::ScriptedHost host;
  for (int kind = 0; kind <= 10; ++kind) {
    host.QueueFileCancel();
    host.QueueFileCancel();
    TFileName n;
    EXPECT_EQ(n.OpenDialog(TStr("Open"), nullptr, kind), 0);
    EXPECT_EQ(n.SaveDialog(TStr("Save"), nullptr, kind), 0);
    const auto& open = host.FileDialogs()[host.FileDialogs().size() - 2];
    const auto& save = host.FileDialogs().back();
    EXPECT_EQ(FiltersOf(open), expected[kind]) << kind;
    EXPECT_EQ(FiltersOf(save), expected[kind]) << kind;
    EXPECT_FALSE(open.save);
    EXPECT_TRUE(save.save);
    EXPECT_EQ(open.defaultExtension, "") << kind;
    EXPECT_EQ(save.defaultExtension, extensions[kind]) << kind;
  }
}

TEST(FileDialog, OpenStartsInTheRememberedFolderAndRemembersTheChoice) {
  testkit::ScriptedHost host;
  int owner = 0;
  platform::SetClientWindowHandle(&owner);
  TFileName memory;
  memory.SetFolder(TStr("/work/audio"));
  memory.SetType(4);
  TFileName n;
  n.SetFolder(TStr("/own"));
  n.SetName(TStr("Take"));
  host.QueueFileChoice("/chosen/dir/Piano.WAV");
  EXPECT_EQ(n.OpenDialog(TStr("Load sound"), &memory, 4), 1);
  const auto& r = host.FileDialogs().back();
  EXPECT_EQ(r.title, "Load sound");
  EXPECT_EQ(r.initialFolder, "/work/audio");
  EXPECT_EQ(r.fileName, "Take.wav"); // proposed with the memory's type
  EXPECT_EQ(r.owner, &owner);
  EXPECT_EQ(n.GetPath().Std(), "/chosen/dir/Piano.WAV");
  EXPECT_EQ(n.GetType(), 4);
  EXPECT_EQ(memory.GetFolder().Std(), "/chosen/dir");

  // Cancelled: nothing changes, not even the type used for the proposal.
  TFileName untyped;
  untyped.SetFolder(TStr("/u"));
  untyped.SetName(TStr("Name"));
  host.QueueFileCancel();
  EXPECT_EQ(untyped.OpenDialog(TStr("Load"), &memory, 4), 0);
  EXPECT_EQ(untyped.GetPath().Std(), "/u/Name");
  EXPECT_EQ(untyped.GetType(), 0);
  EXPECT_EQ(memory.GetFolder().Std(), "/chosen/dir");

  // Without a memory the own folder is the start.
  host.QueueFileCancel();
  untyped.OpenDialog(TStr("Load"), nullptr, 1);
  EXPECT_EQ(host.FileDialogs().back().initialFolder, "/u");
  platform::SetClientWindowHandle(nullptr);
}

TEST(FileDialog, SaveUsesTheMemoryOnlyForANameWithoutFolderAndAddsTheExtension) {
  testkit::ScriptedHost host;
  TFileName memory;
  memory.SetFolder(TStr("/work/ens"));
  TFileName withFolder;
  withFolder.SetPath(TStr("/mine/Song.ens"));
  host.QueueFileChoice("/saved/Live");
  EXPECT_EQ(withFolder.SaveDialog(TStr("Save ensemble"), &memory, 1), 1);
  EXPECT_EQ(host.FileDialogs().back().initialFolder, "/mine");
  EXPECT_EQ(host.FileDialogs().back().fileName, "Song.ens");
  EXPECT_EQ(withFolder.GetPath().Std(), "/saved/Live.ens");
  EXPECT_EQ(withFolder.GetType(), 1);
  EXPECT_EQ(memory.GetFolder().Std(), "/saved");

  TFileName noFolder;
  noFolder.SetName(TStr("Untitled"));
  noFolder.SetType(1);
  host.QueueFileChoice("/saved/Name.v2.ens");
  EXPECT_EQ(noFolder.SaveDialog(TStr("Save ensemble"), &memory, 1), 1);
  EXPECT_EQ(host.FileDialogs().back().initialFolder, "/saved");
  EXPECT_EQ(noFolder.GetPath().Std(), "/saved/Name.v2.ens");
}

TEST(FileDialog, WithoutAGuiTheDialogIsCancelled) {
  TFileName n;
  n.SetPath(TStr("/a/b.wav"));
  EXPECT_EQ(n.OpenDialog(TStr("Open"), nullptr, 4), 0);
  EXPECT_EQ(n.GetPath().Std(), "/a/b.wav");
}

} // namespace

// A replaced file keeps its permissions; a new one is readable like any new
// file of the user, unless the caller keeps it private (the settings store).
TEST(ReplaceFileContent, Permissions) {
  std::string dir = testkit::TempDir("perm");
  mode_t old = ::umask(022);
  auto modeOf = [](const std::string& p) {
    struct stat st;
    return ::stat(p.c_str(), &st) == 0 ? (st.st_mode & 0777) : 0u;
  };
  ASSERT_TRUE(platform::ReplaceFileContent(dir + "/new.wav", "x"));
  EXPECT_EQ(modeOf(dir + "/new.wav"), 0644u);
  ASSERT_TRUE(platform::ReplaceFileContent(dir + "/private.conf", "x", true));
  EXPECT_EQ(modeOf(dir + "/private.conf"), 0600u);
  ASSERT_EQ(::chmod((dir + "/new.wav").c_str(), 0640), 0);
  ASSERT_TRUE(platform::ReplaceFileContent(dir + "/new.wav", "yy"));
  EXPECT_EQ(modeOf(dir + "/new.wav"), 0640u);
  ::umask(old);
}

namespace {

// A temporary is stale when no writer holds its lock, whatever the process
// id in its name: after a restart another process may well run under it.
TEST(FileSystem, ASaveRemovesTheTemporariesOfEndedWritesOnly) {
  const std::string dir = testkit::TempDir("stale");
  // The id of a process that has ended.
  pid_t ended = ::fork();
  if (ended == 0) std::_Exit(0);
  int status = 0;
  ASSERT_EQ(::waitpid(ended, &status, 0), ended);
  const std::string marker = platform::kSaveTempMarker;
  struct Leftover {
    std::string name;
    bool locked; // its writer still holds it
    bool stays;
  };
  const Leftover leftovers[] = {
      {".song.ens" + marker + std::to_string(ended) + "-Ab12Cd", false, false},  // a killed save
      {".other.map" + marker + std::to_string(ended) + "-Zz99Yy", false, false}, // of another file in the folder
      // A save of before a restart whose process id runs again now.
      {".song.ens" + marker + std::to_string(::getppid()) + "-Qq77Rr", false, false},
      {".song.ens" + marker + "1-Ww11Xx", false, false},
      {".song.ens" + marker + std::to_string(::getppid()) + "-Ab12Cd", true, true}, // a save still running
      {".song.ens" + marker + std::to_string(ended) + "-Pp00Oo", true, true}, // its writer runs under another id
      {"song.ens" + marker + std::to_string(ended) + "-Ab12Cd", false, true}, // not a name the program makes
      {".song.ens" + marker + "x-Ab12Cd", false, true},
      {"notes.txt", false, true},
  };
  std::vector<int> held;
  for (const Leftover& l : leftovers) {
    Touch(dir + "/" + l.name, "half");
    if (!l.locked) continue;
    const int fd = ::open((dir + "/" + l.name).c_str(), O_RDONLY | O_CLOEXEC);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::flock(fd, LOCK_EX | LOCK_NB), 0);
    held.push_back(fd);
  }
  ReplaceFileBytes(TStr((dir + "/song.ens").c_str()), {1, 2, 3});
  for (const Leftover& l : leftovers) EXPECT_EQ(fs::exists(dir + "/" + l.name), l.stays) << l.name;
  EXPECT_EQ(Content(dir + "/song.ens"), std::string("\1\2\3"));
  for (int fd : held) ::close(fd);
  // Once its writer lets go, the last temporary goes with the next save.
  ReplaceFileBytes(TStr((dir + "/song.ens").c_str()), {4});
  for (const Leftover& l : leftovers)
    EXPECT_EQ(fs::exists(dir + "/" + l.name), l.stays && !l.locked) << l.name;
}

TEST(FileSystem, ABackupKeepsTheOldContentAndTheTargetNeverGoes) {
  const std::string dir = testkit::TempDir("backup");
  const std::string target = dir + "/song.ens", backup = dir + "/Backup of song.ens";
  ReplaceFileBytes(TStr(target.c_str()), {'o', 'l', 'd'}, TStr(backup.c_str()));
  EXPECT_FALSE(fs::exists(backup)) << "nothing to keep yet";
  Touch(backup, "older");
  ReplaceFileBytes(TStr(target.c_str()), {'n', 'e', 'w'}, TStr(backup.c_str()));
  EXPECT_EQ(Content(target), "new");
  EXPECT_EQ(Content(backup), "old");
  // Each name is its own file: writing one never changes the other.
  ReplaceFileBytes(TStr(target.c_str()), {'3'}, TStr(backup.c_str()));
  EXPECT_EQ(Content(backup), "new");
  EXPECT_EQ(Content(target), "3");
}

} // namespace
