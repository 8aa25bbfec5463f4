#include "src/base/settings.h"
#include "tests/common/savesafety.h"
#include "tests/common/testkit.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>
#include <filesystem>
#include <fstream>
#include <string>

namespace fs = std::filesystem;

namespace {

std::string Content(const std::string& path) {
  std::ifstream f(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(f), {});
}

// Each test opens a key of its own in the test program's settings folder.
class SettingsTest : public ::testing::Test {
protected:
  void SetUp() override {
    OpenSettings(TStr(std::string("Test ") + ::testing::UnitTest::GetInstance()->current_test_info()->name()));
    path_ = SettingsFilePath().Std();
  }
  std::string path_;
};

TEST_F(SettingsTest, MissingValuesGiveTheDefaultAndCreateNothing) {
  EXPECT_EQ(ReadSettingInt(TStr("MainX"), 40), 40u);
  EXPECT_EQ(ReadSettingStr(TStr("LastEnsPath"), TStr("none")), TStr("none"));
  EXPECT_EQ(ReadSettingPnt(TStr("Pos"), TPnt(3, 4)), TPnt(3, 4));
  EXPECT_EQ(ReadSettingArea(TStr("Box"), TArea(1, 2, 3, 4)), TArea(1, 2, 3, 4));
  EXPECT_FALSE(fs::exists(path_));
}

TEST_F(SettingsTest, ValuesKeepTheirKindAndNamesIgnoreCase) {
  WriteSettingInt(TStr("MainX"), 40);
  EXPECT_EQ(ReadSettingInt(TStr("MainX"), 0), 40u);
  EXPECT_EQ(ReadSettingInt(TStr("mainx"), 0), 40u);
  EXPECT_EQ(ReadSettingInt(TStr("MAINX"), 0), 40u);

  // A text replaced by an integer of the same name (in another case) is an
  // integer from then on, and the store holds it once.
  WriteSettingStr(TStr("AudioPort"), TStr("Null"));
  WriteSettingInt(TStr("audioport"), 7);
  EXPECT_EQ(ReadSettingInt(TStr("AudioPort"), 0), 7u);
  std::string stored = Content(path_);
  EXPECT_NE(stored.find("int audioport=7\n"), std::string::npos) << stored;
  EXPECT_EQ(stored.find("Null"), std::string::npos) << stored;

  // Kinds are not checked on reading: an integer read as text gives its
  // bytes up to the first zero, a text read as integer its first four bytes.
  WriteSettingInt(TStr("Num"), 0x00434241);
  EXPECT_EQ(ReadSettingStr(TStr("Num"), TStr("d")), TStr("ABC"));
  struct Case {
    const char* text;
    uint32_t value;
  };
  const Case cases[] = {{"a", 0x61}, {"ab", 0x6261}, {"abc", 0x636261}, {"abcd", 0x64636261}, {"abcdef", 0x64636261}};
  for (const Case& c : cases) {
    WriteSettingStr(TStr("Short"), TStr(c.text));
    EXPECT_EQ(ReadSettingInt(TStr("Short"), 99), c.value) << c.text;
  }
}

TEST_F(SettingsTest, TextsKeepEveryByte) {
  const std::string texts[] = {
      "/home/me/My Ensembles/Live.ens",
      "  leading and trailing  ",
      "a=b\\c\\\\d",
      std::string("line\nbreak\r\ttab\x7f"),
      "\xc3\xa9t\xe9 8-bit",
      "int X=1",
  };
  for (const std::string& t : texts) {
    WriteSettingStr(TStr("Text"), TStr(t));
    EXPECT_EQ(ReadSettingStr(TStr("Text"), TStr()).Std(), t);
  }
  // Names too.
  WriteSettingInt(TStr("odd=name\n"), 5);
  EXPECT_EQ(ReadSettingInt(TStr("ODD=NAME\n"), 0), 5u);
  // An empty text is stored, but reads as missing.
  WriteSettingStr(TStr("Empty"), TStr(""));
  EXPECT_EQ(ReadSettingStr(TStr("Empty"), TStr("default")), TStr("default"));
  EXPECT_EQ(ReadSettingInt(TStr("Empty"), 12), 12u);
}

TEST_F(SettingsTest, PointsAndAreas) {
  WriteSettingInt(TStr("PosX"), uint32_t(-5));
  EXPECT_EQ(ReadSettingPnt(TStr("Pos"), TPnt(1, 2)), TPnt(-5, 2)); // y from the default
  WriteSettingPnt(TStr("Main"), TPnt(-40, 1080));
  EXPECT_EQ(ReadSettingPnt(TStr("Main"), TPnt()), TPnt(-40, 1080));
  EXPECT_EQ(ReadSettingInt(TStr("MainY"), 0), 1080u);
  WriteSettingArea(TStr("EnsembleBox"), TArea(-10, -20, 300, 400));
  EXPECT_EQ(ReadSettingArea(TStr("EnsembleBox"), TArea()), TArea(-10, -20, 300, 400));
  EXPECT_EQ(ReadSettingInt(TStr("EnsembleBoxX1"), 0), 300u);
}

TEST_F(SettingsTest, DeleteRemovesTheValueInAnyCase) {
  WriteSettingInt(TStr("UndoMax"), 20);
  WriteSettingInt(TStr("UndoNo"), 3);
  DeleteSetting(TStr("UNDOMAX"));
  EXPECT_EQ(ReadSettingInt(TStr("UndoMax"), 9), 9u);
  EXPECT_EQ(ReadSettingInt(TStr("UndoNo"), 9), 3u);
  DeleteSetting(TStr("NotThere"));
  EXPECT_EQ(ReadSettingInt(TStr("UndoNo"), 9), 3u);
}

TEST_F(SettingsTest, GarbledLinesAreSkippedAndKept) {
  std::ofstream(path_, std::ios::binary) << "int A=1\n"
                                            "garbage without kind\n"
                                            "int B=notanumber\n"
                                            "int Big=4294967296\n"
                                            "str C=bad escape \\q\n"
                                            "str =no name\n"
                                            "int D=2\r\n"
                                            "str E=ok";
  EXPECT_EQ(ReadSettingInt(TStr("A"), 0), 1u);
  EXPECT_EQ(ReadSettingInt(TStr("B"), 7), 7u);
  EXPECT_EQ(ReadSettingInt(TStr("Big"), 7), 7u);
  EXPECT_EQ(ReadSettingStr(TStr("C"), TStr("dflt")), TStr("dflt"));
  EXPECT_EQ(ReadSettingInt(TStr("D"), 0), 2u);
  EXPECT_EQ(ReadSettingStr(TStr("E"), TStr()), TStr("ok"));
  WriteSettingInt(TStr("F"), 3);
  EXPECT_EQ(ReadSettingInt(TStr("A"), 0), 1u);
  EXPECT_EQ(ReadSettingInt(TStr("F"), 0), 3u);
  EXPECT_NE(Content(path_).find("garbage without kind\n"), std::string::npos);
}

TEST_F(SettingsTest, WritesGoThroughATemporaryFile) {
  // A temporary file that an interrupted run left behind changes nothing.
  WriteSettingStr(TStr("LastEnsPath"), TStr("/a/b.ens"));
  std::string leftover = path_ + ".tmp-AbC123";
  std::ofstream(leftover, std::ios::binary) << "int LastEnsPath=garbage\nstr Other=half writ";
  EXPECT_EQ(ReadSettingStr(TStr("LastEnsPath"), TStr()), TStr("/a/b.ens"));
  EXPECT_EQ(ReadSettingStr(TStr("Other"), TStr("none")), TStr("none"));
  for (int i = 0; i < 20; ++i) WriteSettingInt(TStr("UndoNo"), uint32_t(i));
  EXPECT_EQ(ReadSettingInt(TStr("UndoNo"), 99), 19u);
  EXPECT_EQ(ReadSettingStr(TStr("LastEnsPath"), TStr()), TStr("/a/b.ens"));
  // Only the store, its lock and the leftover are there: each write cleaned up after itself.
  std::vector<std::string> files;
  for (const auto& e : fs::directory_iterator(fs::path(path_).parent_path()))
    if (e.path().string().rfind(path_, 0) == 0) files.push_back(e.path().string());
  std::sort(files.begin(), files.end());
  EXPECT_EQ(files, (std::vector<std::string>{path_, path_ + ".lock", leftover}));
}

TEST_F(SettingsTest, AKilledOrFailedWriteKeepsTheOldStore) {
  WriteSettingStr(TStr("Filler"), TStr(std::string(3000, 'f'))); // a store of several write pieces
  const std::string store = path_;
  testkit::SaveUnderTest s;
  s.target = store;
  s.putOld = [&] { WriteSettingInt(TStr("Counter"), 1); };
  s.save = [&] { WriteSettingInt(TStr("Counter"), 2); };
  testkit::CheckKilledSaves(s);
  // A full disk drops the write without a message; the old value stays.
  testkit::ScriptedHost host;
  testkit::CheckFullDiskSaves(s, [](bool threw) { return !threw && ReadSettingInt(TStr("Counter"), 0) == 1; });
}

TEST_F(SettingsTest, TwoProcessesWritingOneKeyLoseNothing) {
  constexpr int kValues = 1000;
  const std::string key = std::string("Test ") + ::testing::UnitTest::GetInstance()->current_test_info()->name();
  std::vector<pid_t> children;
  for (int p = 0; p < 2; ++p) {
    std::fflush(nullptr);
    pid_t pid = ::fork();
    if (pid == 0) {
      OpenSettings(TStr(key));
      for (int i = 0; i < kValues; ++i) WriteSettingInt(TStr(FormatStr("P%dV%d", p, i)), uint32_t(p * kValues + i));
      std::_Exit(0);
    }
    children.push_back(pid);
  }
  for (pid_t pid : children) {
    int status = 0;
    ASSERT_EQ(::waitpid(pid, &status, 0), pid);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  }
  int missing = 0;
  for (int p = 0; p < 2; ++p)
    for (int i = 0; i < kValues; ++i)
      missing += ReadSettingInt(TStr(FormatStr("P%dV%d", p, i)), 0xFFFFFFFFu) != uint32_t(p * kValues + i);
  EXPECT_EQ(missing, 0);
}

TEST_F(SettingsTest, ValuesSurviveANewProcess) {
  WriteSettingInt(TStr("MainX"), 40);
  WriteSettingStr(TStr("InstrDir"), TStr("/lib/Instr"));
  const std::string key = std::string("Test ") + ::testing::UnitTest::GetInstance()->current_test_info()->name();
  // The child opens the key afresh, checks what the parent wrote and adds a value.
  EXPECT_EXIT(
      {
        OpenSettings(TStr(key));
        bool ok = ReadSettingInt(TStr("mainx"), 0) == 40 && ReadSettingStr(TStr("INSTRDIR"), TStr()) == TStr("/lib/Instr");
        WriteSettingInt(TStr("FromChild"), 77);
        std::_Exit(ok ? 0 : 3);
      },
      ::testing::ExitedWithCode(0), "");
  EXPECT_EQ(ReadSettingInt(TStr("FromChild"), 0), 77u);
}

// Points the store at another folder for the life of the object.
class SettingsFolder {
public:
  explicit SettingsFolder(const std::string& folder) : old_(std::getenv("QUORVEX_SETTINGS_DIR")) {
    setenv("QUORVEX_SETTINGS_DIR", folder.c_str(), 1);
  }
  ~SettingsFolder() {
    setenv("QUORVEX_SETTINGS_DIR", old_.c_str(), 1);
    OpenSettings(TStr("Restored"));
  }
private:
  std::string old_;
};

TEST(SettingsStore, UnwritableFolderGivesDefaultsWithoutAMessage) {
  testkit::ScriptedHost host; // any message box would fail the test
  std::string blocker = testkit::TempDir("blocked") + "/file";
  std::ofstream(blocker) << "not a folder";
  SettingsFolder folder(blocker + "/Orvanta");
  OpenSettings(TStr("Quorvex"));
  WriteSettingInt(TStr("MainX"), 40);
  WriteSettingStr(TStr("TmpDir"), TStr("/tmp"));
  EXPECT_EQ(ReadSettingInt(TStr("MainX"), 12), 12u);
  EXPECT_EQ(ReadSettingStr(TStr("TmpDir"), TStr("d")), TStr("d"));
  DeleteSetting(TStr("MainX"));
}

TEST(SettingsStore, FolderIsCreatedAndTheKeyNamesItsFile) {
  std::string base = testkit::TempDir("made") + "/a/b";
  SettingsFolder folder(base);
  OpenSettings(TStr("Quorvex\\1.0/../x"));
  EXPECT_TRUE(fs::is_directory(base));
  WriteSettingInt(TStr("MainW"), 600);
  // The key cannot lead out of the folder.
  EXPECT_EQ(fs::path(SettingsFilePath().Std()).parent_path().string(), base);
  EXPECT_TRUE(fs::exists(SettingsFilePath().Std()));
}

TEST(SettingsStore, MidiValueNames) {
  EXPECT_EQ(MidiInSettingName(0), TStr("Midi0"));
  EXPECT_EQ(MidiOutSettingName(12), TStr("MidiOut12"));
  EXPECT_EQ(TStr(setting::MainX), TStr("MainX"));
}

} // namespace
