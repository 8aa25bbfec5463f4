// The installer library, loaded as an installer loads it, on temporary
// "system.ini" files.
#include "platform/dsound.h"
#include "platform/fs.h"
#include "setpx/profile.h"
#include "setpx/setpx.h"
#include "tests/common/testkit.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <optional>
#include <string>
#include <unistd.h>

namespace {

using Export = int32_t(uint32_t, uint32_t, uint32_t, uint32_t, uint32_t);

// The library and the stand-in Windows folder of one test.
class Installer : public ::testing::Test {
protected:
  void SetUp() override {
    library_ = platform::DynamicLibrary::Load(QV_SETPX_LIBRARY);
    ASSERT_NE(library_, nullptr) << QV_SETPX_LIBRARY;
    install_ = reinterpret_cast<Export*>(library_->Symbol("InstallPelMidiDll"));
    deinstall_ = reinterpret_cast<Export*>(library_->Symbol("DeinstallPelMidiDll"));
    ASSERT_NE(install_, nullptr);
    ASSERT_NE(deinstall_, nullptr);
    folder_ = testkit::TempDir("windows");
    setenv("QUORVEX_WINDOWS_DIR", folder_.c_str(), 1);
  }
  void TearDown() override { unsetenv("QUORVEX_WINDOWS_DIR"); }

  // Installers pass five arguments that mean nothing to the library.
  int32_t Install() { return install_(1, 2, 3, 4, 5); }
  int32_t Deinstall() { return deinstall_(0, 0, 0, 0, 0); }

  std::string IniPath() const { return folder_ + "/system.ini"; }
  void WriteIni(const std::string& text) { ASSERT_TRUE(platform::ReplaceFileContent(IniPath(), text)); }
  std::optional<std::string> ReadIni() const {
    std::string text;
    if (!platform::EntryExists(IniPath())) return std::nullopt;
    EXPECT_TRUE(platform::ReadWholeFile(IniPath(), text));
    return text;
  }

  std::unique_ptr<platform::DynamicLibrary> library_;
  Export* install_ = nullptr;
  Export* deinstall_ = nullptr;
  std::string folder_;
};

// Keys "midi" ... "midi<last>" each holding a driver of its own.
std::string TakenKeys(int last) {
  std::string text = "[drivers]\n";
  for (int n = 0; n <= last; ++n)
    text += (n == 0 ? std::string("midi") : "midi" + std::to_string(n)) + "=other" + std::to_string(n) + ".drv\n";
  return text;
}

enum class Step { Install, Deinstall };

struct Case {
  const char* name;
  std::optional<std::string> before; // nullopt: no file yet
  std::vector<Step> steps;
  int32_t result;                    // of the last step
  std::optional<std::string> after;
};

TEST_F(Installer, EditsTheDriversSectionAsATableOfCases) {
  const std::string full = TakenKeys(setpx::DriverKeyCount - 1);
  const Case cases[] = {
    {"no file yet", std::nullopt, {Step::Install}, 1, "[drivers]\r\nmidi=pelmidi.dll\r\n"},
    {"empty section", "[boot]\nshell=x\n[drivers]\n", {Step::Install}, 1,
     "[boot]\nshell=x\n[drivers]\nmidi=pelmidi.dll\n"},
    {"no drivers section", "[boot]\nshell=x\n", {Step::Install}, 1,
     "[boot]\nshell=x\n[drivers]\nmidi=pelmidi.dll\n"},
    {"next to other drivers, before the blank line that leads to the next section",
     "[drivers]\nmidi=other.drv\nwave=w.drv\n\n[mci]\ncd=x\n", {Step::Install}, 1,
     "[drivers]\nmidi=other.drv\nwave=w.drv\nmidi1=pelmidi.dll\n\n[mci]\ncd=x\n"},
    {"an old registration is removed and its key is free again",
     "[drivers]\nmidi=a\nmidi1=b\nmidi2=c\nmidi3=pelmidi.dll\ntimer=t\n", {Step::Install}, 1,
     "[drivers]\nmidi=a\nmidi1=b\nmidi2=c\ntimer=t\nmidi3=pelmidi.dll\n"},
    {"an old registration moves to the first free key", "[drivers]\nmidi=a\nmidi3=pelmidi.dll\n",
     {Step::Install}, 1, "[drivers]\nmidi=a\nmidi1=pelmidi.dll\n"},
    {"installing twice registers once", std::nullopt, {Step::Install, Step::Install}, 1,
     "[drivers]\r\nmidi=pelmidi.dll\r\n"},
    {"install then uninstall leaves the section", "[drivers]\nwave=w.drv\n", {Step::Install, Step::Deinstall}, 1,
     "[drivers]\nwave=w.drv\n"},
    {"uninstall removes exact values under driver keys only, in any key spelling",
     "[drivers]\nmidi=pelmidi.dll\nmidi1=PelMidi.dll\nMIDI2 = \"pelmidi.dll\"\nmidi7='pelmidi.dll'\n"
     "midi49=pelmidi.dll\nmidi50=pelmidi.dll\nwave=pelmidi.dll\n",
     {Step::Deinstall}, 1, "[drivers]\nmidi1=PelMidi.dll\nmidi50=pelmidi.dll\nwave=pelmidi.dll\n"},
    {"uninstall without a file creates none", std::nullopt, {Step::Deinstall}, 1, std::nullopt},
    {"uninstall with nothing to remove leaves the bytes", "[drivers]\r\nmidi=a  ;x\r\n", {Step::Deinstall}, 1,
     "[drivers]\r\nmidi=a  ;x\r\n"},
    {"a driver named \"error\" keeps its key", "[drivers]\nmidi=error\n", {Step::Install}, 1,
     "[drivers]\nmidi=error\nmidi1=pelmidi.dll\n"},
    {"an empty value keeps its key", "[drivers]\nmidi=\n", {Step::Install}, 1,
     "[drivers]\nmidi=\nmidi1=pelmidi.dll\n"},
    {"all 50 keys taken: nothing is written", full, {Step::Install}, 0, full},
    {"the last key of the 50 is used", TakenKeys(setpx::DriverKeyCount - 2), {Step::Install}, 1,
     TakenKeys(setpx::DriverKeyCount - 2) + "midi49=pelmidi.dll\n"},
    {"a registration beyond the 50 keys is not looked at", "[drivers]\nmidi50=pelmidi.dll\n", {Step::Install}, 1,
     "[drivers]\nmidi50=pelmidi.dll\nmidi=pelmidi.dll\n"},
    {"section and key names match in any case", "[Drivers]\nMIDI=pelmidi.dll\n", {Step::Install}, 1,
     "[Drivers]\nmidi=pelmidi.dll\n"},
    {"a file in CR LF keeps its line ends", "[boot]\r\nshell=x\r\n[drivers]\r\nmidi=a\r\n", {Step::Install}, 1,
     "[boot]\r\nshell=x\r\n[drivers]\r\nmidi=a\r\nmidi1=pelmidi.dll\r\n"},
    {"a last line without an ending gets one", "[drivers]\nmidi=a", {Step::Install}, 1,
     "[drivers]\nmidi=a\nmidi1=pelmidi.dll\n"},
    {"comments are not keys", "[drivers]\n;midi=pelmidi.dll\n ; midi1=x\nmidi=a\n", {Step::Install}, 1,
     "[drivers]\n;midi=pelmidi.dll\n ; midi1=x\nmidi=a\nmidi1=pelmidi.dll\n"},
    {"a repeated registration is removed line by line", "[drivers]\nmidi=pelmidi.dll\nmidi=pelmidi.dll\n",
     {Step::Deinstall}, 1, "[drivers]\n"},
    {"a repeated registration is replaced by one", "[drivers]\nmidi=pelmidi.dll\nwave=w\nmidi=pelmidi.dll\n",
     {Step::Install}, 1, "[drivers]\nwave=w\nmidi=pelmidi.dll\n"},
    {"a registration hidden under another driver's line goes too",
     "[drivers]\nmidi=other.drv\nmidi=pelmidi.dll\n", {Step::Install}, 1,
     "[drivers]\nmidi=other.drv\nmidi1=pelmidi.dll\n"},
    {"a registration in a repeated section goes too", "[drivers]\nmidi=a\n[drivers]\nmidi1=pelmidi.dll\n",
     {Step::Deinstall}, 1, "[drivers]\nmidi=a\n[drivers]\n"},
    {"all 50 keys taken, one of them twice by the driver: nothing is written",
     full + "midi7=pelmidi.dll\n", {Step::Install}, 0, full + "midi7=pelmidi.dll\n"},
    {"keys of other sections do not count", "[other]\nmidi=pelmidi.dll\n[drivers]\nmidi=a\n", {Step::Install}, 1,
     "[other]\nmidi=pelmidi.dll\n[drivers]\nmidi=a\nmidi1=pelmidi.dll\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    folder_ = testkit::TempDir("windows");
    setenv("QUORVEX_WINDOWS_DIR", folder_.c_str(), 1);
    if (c.before) WriteIni(*c.before);
    int32_t result = -1;
    for (Step s : c.steps) result = s == Step::Install ? Install() : Deinstall();
    EXPECT_EQ(result, c.result);
    EXPECT_EQ(ReadIni(), c.after);
  }
}

TEST_F(Installer, AFileThatCannotBeReadIsNeverWrittenOver) {
  ASSERT_TRUE(platform::MakeFolders(IniPath())); // a folder where the file should be
  EXPECT_EQ(Install(), 0);
  EXPECT_EQ(Deinstall(), 0);
  EXPECT_EQ(platform::KindOf(IniPath()), platform::EntryKind::Folder);
}

TEST_F(Installer, AFileThatCannotBeWrittenIsAFailure) {
  // The stand-in folder lies below a plain file, so it can never be made.
  std::string blocker = folder_ + "/plain";
  ASSERT_TRUE(platform::ReplaceFileContent(blocker, "x"));
  setenv("QUORVEX_WINDOWS_DIR", (blocker + "/windows").c_str(), 1);
  EXPECT_EQ(Install(), 0);
  std::string text;
  ASSERT_TRUE(platform::ReadWholeFile(blocker, text));
  EXPECT_EQ(text, "x");
}

TEST_F(Installer, WritesThroughATemporaryFileAndARename) {
  WriteIni("[drivers]\nmidi=a\n");
  // A second name of the old file keeps the old bytes when the new file is
  // renamed over the first name; an in-place write would change both.
  std::string held = folder_ + "/held";
  ASSERT_EQ(::link(IniPath().c_str(), held.c_str()), 0);
  ASSERT_EQ(Install(), 1);
  std::string old;
  ASSERT_TRUE(platform::ReadWholeFile(held, old));
  EXPECT_EQ(old, "[drivers]\nmidi=a\n");
  EXPECT_EQ(ReadIni(), "[drivers]\nmidi=a\nmidi1=pelmidi.dll\n");
  std::vector<platform::FolderEntry> entries;
  ASSERT_TRUE(platform::ListFolder(folder_, entries));
  ASSERT_EQ(entries.size(), 2u) << "no temporary file is left behind";
}

TEST_F(Installer, WithoutItsVariableTheSettingsFolderStandsInForTheWindowsFolder) {
  unsetenv("QUORVEX_WINDOWS_DIR");
  std::string settings = testkit::TempDir("settings") + "/not/yet/made";
  std::string old = std::getenv("QUORVEX_SETTINGS_DIR");
  setenv("QUORVEX_SETTINGS_DIR", settings.c_str(), 1);
  EXPECT_EQ(platform::WindowsFolderPath(), settings);
  EXPECT_EQ(Install(), 1);
  std::string text;
  EXPECT_TRUE(platform::ReadWholeFile(settings + "/system.ini", text));
  EXPECT_EQ(text, "[drivers]\r\nmidi=pelmidi.dll\r\n");
  setenv("QUORVEX_SETTINGS_DIR", old.c_str(), 1);
}

TEST_F(Installer, ExportsOnlyItsTwoFunctions) {
  // The static libraries linked into it stay private to it.
  EXPECT_EQ(library_->Symbol("_ZN5setpx11ProfileFile4LoadERKNSt7__cxx1112basic_stringIcSt11char_traitsIcESaIcEEE"), nullptr);
}

// The profile rules on their own, where the exports never reach them.
TEST(ProfileFile, ReadsValuesTheWayTheProfileFunctionsDo) {
  setpx::ProfileFile p;
  p.Parse("; head\n[a]\nk1 = v1 \nk2=\"q v\"\nk3='x\"\nk4=\"\"\nk1=second\n[b]\nk1=b1\n[A]\nk5=late\n");
  struct Lookup {
    const char* section;
    const char* key;
    std::optional<std::string> value;
  };
  const Lookup lookups[] = {
      {"a", "k1", "v1"},       {"A", "K1", "v1"},  {"a", "k2", "q v"}, {"a", "k3", "'x\""},
      {"a", "k4", ""},         {"b", "k1", "b1"},  {"a", "k5", std::nullopt}, // the first [a] is the one used
      {"c", "k1", std::nullopt}, {"a", "; head", std::nullopt},
  };
  for (const Lookup& l : lookups) {
    SCOPED_TRACE(std::string(l.section) + "/" + l.key);
    std::string v;
    bool found = p.Find(l.section, l.key, v);
    EXPECT_EQ(found ? std::optional<std::string>(v) : std::nullopt, l.value);
  }
}

TEST(ProfileFile, SetsAndDeletesTheFirstLineOfAKey) {
  setpx::ProfileFile p;
  p.Parse("[a]\r\nk=1\r\nk=2\r\n");
  p.Set("A", "K", "3");
  EXPECT_EQ(p.Text(), "[a]\r\nK=3\r\nk=2\r\n");
  EXPECT_TRUE(p.Delete("a", "k"));
  EXPECT_EQ(p.Text(), "[a]\r\nk=2\r\n");
  EXPECT_TRUE(p.Delete("a", "k"));
  EXPECT_FALSE(p.Delete("a", "k"));
  EXPECT_EQ(p.Text(), "[a]\r\n");
}

} // namespace
