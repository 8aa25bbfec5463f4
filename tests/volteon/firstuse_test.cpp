// A new user's first sessions, the program started as its main starts it:
// where saved work goes (never into the folder beside the program, which a
// clean build wipes and an installation does not let a user write), and
// whether the README says what the program does: its caption, the computer
// keyboard's notes and the note names.
#include "pc/sky/app.h"
#include "pc/sky/mdi.h"
#include "pc/sky/wnd.h"
#include "src/base/file.h"
#include "src/base/settings.h"
#include "src/base/str.h"
#include "src/mod/ensemble.h"
#include "src/mod/mod.h"
#include "src/mod/modaudio.h"
#include "src/volteon/inserts.h"
#include "src/volteon/strucwnd.h"
#include "src/volteon/volteon.h"
#include "tests/volteon/appfixture.h"
#include "tests/common/testkit.h"
#include "tests/sky/skyfixture.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QKeyEvent>
#include <QMainWindow>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QMenuBar>
#include <QTest>

#include <cctype>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

class FirstUse : public ::testing::Test {
protected:
  void SetUp() override {
    // A fresh machine: an empty home and settings, the program beside its
    // template and the libraries it ships.
    home = testkit::TempDir("firstuse-home");
    previousData = std::getenv("XDG_DATA_HOME") ? std::optional<std::string>(std::getenv("XDG_DATA_HOME")) : std::nullopt;
    setenv("HOME", home.c_str(), 1);
    install = testkit::TempDir("firstuse-install");
    OverrideProgramPath(TStr((install + "/bin/Quorvex").c_str()));
    fs::create_directories(install + "/bin");
    fs::copy_file(QV_BUILD_TREE "/bin/new.ens", install + "/bin/new.ens");
    for (const char* lib : {"Ensembles", "Instruments", "Macros"}) fs::create_directories(install + "/Library/" + lib);
    OpenSettings(TStr(kProductKey));
    for (const char* name : {setting::InstrDir, setting::MacroDir, setting::EnsWorkDir, setting::InstrWorkDir,
                             setting::MacroWorkDir, setting::AudioWorkDir, setting::LastEnsPath})
      DeleteSetting(TStr(name));
    WriteSettingStr(TStr(setting::TmpDir), TStr(testkit::TempDir("firstuse-tmp").c_str()));
  }
  void TearDown() override {
    Close();
    if (previousData) setenv("XDG_DATA_HOME", previousData->c_str(), 1);
    else unsetenv("XDG_DATA_HOME");
  }

  void Start() {
    dapp = apptest::StartAsMain(app, 1000, 720);
    ASSERT_NE(app, nullptr);
    ASSERT_NE(Wnd(), nullptr) << "the top structure window opens at the start";
    Activate(Wnd());
  }
  void Close() {
    dapp.reset();
    app = nullptr;
    Settle();
  }
  static void Settle() { apptest::Settle(); }
  KSModul* Top() { return app->GetEnsemble()->GetTopModule(); }
  TStructWnd* Wnd() { return AsStructWnd(Top()->GetStructWnd()); }
  QMenuBar* Bar() { return dapp->MainFrame()->menuBar(); }
  void Activate(TWnd* w) {
    QMainWindow* frame = dapp->MainFrame();
    frame->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(frame)) << "the main window becomes the active window";
    if (auto* sub = qobject_cast<QMdiSubWindow*>(w->GetDWnd()->parentWidget())) dapp->Client()->setActiveSubWindow(sub);
    w->GetDWnd()->setFocus();
    Settle();
  }
  // A main-menu item, chosen as the user chooses it.
  void Menu(int32_t id) { apptest::ChooseMenuItem(Bar(), id); }
  static std::string Folder(IFileName* f) { return f->GetFolder().Std(); }
  static std::string Setting(const char* name) { return ReadSettingStr(TStr(name), TStr()).Std(); }

  testkit::ScriptedHost gui;
  std::string home, install;
  std::optional<std::string> previousData;
  std::unique_ptr<DApp> dapp;
  TVolteon* app = nullptr;
};

// ---------------------------------------------------------------------------
// Where the work goes

// The user's data folder, from $XDG_DATA_HOME or, without it, from the home
// folder; the libraries stay beside the program, for reading.
TEST_F(FirstUse, SavedWorkGoesToTheUsersDataFolderNotBesideTheProgram) {
  struct Case {
    const char* name;
    bool xdg;
  };
  for (const Case c : {Case{"XDG_DATA_HOME", true}, Case{"~/.local/share", false}}) {
    SCOPED_TRACE(c.name);
    std::string user;
    if (c.xdg) {
      const std::string data = testkit::TempDir("firstuse-data");
      setenv("XDG_DATA_HOME", data.c_str(), 1);
      user = data + "/Quorvex/Library";
    } else {
      unsetenv("XDG_DATA_HOME");
      user = home + "/.local/share/Quorvex/Library";
    }
    // A fresh user: no folders stored, no last ensemble to open again.
    for (const char* name : {setting::EnsWorkDir, setting::InstrWorkDir, setting::MacroWorkDir, setting::AudioWorkDir,
                             setting::LastEnsPath})
      DeleteSetting(TStr(name));
    ASSERT_NO_FATAL_FAILURE(Start());
    for (const char* sub : {"/Ensembles", "/Instruments", "/Macros"})
      EXPECT_TRUE(fs::is_directory(user + sub)) << user + sub << " is made at the start";
    EXPECT_EQ(Folder(AudioWorkFolder()), user) << "sounds and sample maps";
    EXPECT_EQ(Folder(dirs::InstrLibrary()), install + "/Library/Instruments") << "the shipped library is read";
    EXPECT_EQ(Folder(dirs::MacroLibrary()), install + "/Library/Macros");

    // File > Save Ensemble As... opens in the user's ensembles, and the file
    // lands there.
    const size_t asked = gui.FileDialogs().size();
    const std::string saved = user + "/Ensembles/Mine.ens";
    gui.QueueFileChoice(saved);
    ASSERT_NO_FATAL_FAILURE(Menu(cmd::kSaveEnsembleAs));
    ASSERT_EQ(gui.FileDialogs().size(), asked + 1);
    EXPECT_EQ(gui.FileDialogs().back().initialFolder, user + "/Ensembles");
    EXPECT_TRUE(fs::exists(saved));
    EXPECT_TRUE(fs::is_empty(install + "/Library/Ensembles")) << "nothing is written beside the program";
    // Insert > Macro... and Insert > Instrument... look in the user's own.
    gui.QueueFileCancel();
    ASSERT_NO_FATAL_FAILURE(Menu(cmd::kInsertMacroFile));
    ASSERT_EQ(gui.FileDialogs().size(), asked + 2);
    EXPECT_EQ(gui.FileDialogs().back().initialFolder, user + "/Macros");
    gui.QueueFileCancel();
    ASSERT_NO_FATAL_FAILURE(Menu(cmd::kInsertInstrumentFile));
    ASSERT_EQ(gui.FileDialogs().size(), asked + 3);
    EXPECT_EQ(gui.FileDialogs().back().initialFolder, user + "/Instruments");
    Close();
    // The next start finds the same folders in the settings.
    EXPECT_EQ(Setting(setting::EnsWorkDir), user + "/Ensembles");
    EXPECT_EQ(Setting(setting::InstrWorkDir), user + "/Instruments");
    EXPECT_EQ(Setting(setting::MacroWorkDir), user + "/Macros");
    EXPECT_EQ(Setting(setting::AudioWorkDir), user);
    EXPECT_EQ(Setting(setting::InstrDir), install + "/Library/Instruments");
  }
  EXPECT_TRUE(gui.Boxes().empty());
}

// Folders a user stored keep working as they are: used, not made, written
// back unchanged.
TEST_F(FirstUse, StoredWorkFoldersAreUsedAsTheyAre) {
  const std::string own = testkit::TempDir("firstuse-own");
  const std::string missing = own + "/not yet";
  WriteSettingStr(TStr(setting::EnsWorkDir), TStr(missing.c_str()));
  WriteSettingStr(TStr(setting::InstrWorkDir), TStr((install + "/Library/Instruments").c_str()));
  ASSERT_NO_FATAL_FAILURE(Start());
  EXPECT_FALSE(fs::exists(missing)) << "a stored folder is not made";
  gui.QueueFileCancel();
  ASSERT_NO_FATAL_FAILURE(Menu(cmd::kSaveEnsembleAs));
  ASSERT_EQ(gui.FileDialogs().size(), 1u);
  EXPECT_EQ(gui.FileDialogs().back().initialFolder, missing);
  gui.QueueFileCancel();
  ASSERT_NO_FATAL_FAILURE(Menu(cmd::kInsertInstrumentFile));
  EXPECT_EQ(gui.FileDialogs().back().initialFolder, install + "/Library/Instruments");
  Close();
  EXPECT_EQ(Setting(setting::EnsWorkDir), missing);
  EXPECT_EQ(Setting(setting::InstrWorkDir), install + "/Library/Instruments");
}

// ---------------------------------------------------------------------------
// The README against the running program

std::string Readme() {
  std::ifstream in(testkit::SourceDir() + "/README.md");
  std::stringstream all;
  all << in.rdbuf();
  return all.str();
}

// The Qt key of a character of the README's key table.
int QtKeyOf(char c) {
  if (c >= 'A' && c <= 'Z') return Qt::Key_A + (c - 'A');
  if (c >= '0' && c <= '9') return Qt::Key_0 + (c - '0');
  static const std::map<char, int> others{{',', Qt::Key_Comma},       {'.', Qt::Key_Period},
                                          {';', Qt::Key_Semicolon},   {'/', Qt::Key_Slash},
                                          {'[', Qt::Key_BracketLeft}, {']', Qt::Key_BracketRight},
                                          {'=', Qt::Key_Equal}};
  auto it = others.find(c);
  return it == others.end() ? 0 : it->second;
}

// The note that a name stands for in the program's naming; -1 for none.
int NoteOfName(const std::string& name) {
  for (int n = 0; n <= 127; ++n)
    if (FormatNoteName(n).Std() == name) return n;
  return -1;
}

// Each "name (frequency Hz)" of a text: the name and the frequency.
std::vector<std::pair<std::string, double>> NamedPitches(const std::string& text) {
  std::vector<std::pair<std::string, double>> out;
  const std::string unit = " Hz)";
  for (size_t at = text.find(unit); at != std::string::npos; at = text.find(unit, at + 1)) {
    const size_t open = text.rfind('(', at);
    if (open == std::string::npos || open < 2 || text[open - 1] != ' ') continue;
    size_t from = open - 1;
    while (from > 0 && std::string("ABCDEFG#-0123456789").find(text[from - 1]) != std::string::npos) --from;
    const std::string name = text.substr(from, open - 1 - from);
    // A note name: a letter, maybe a sharp, the octave ("middle C" alone is
    // no name of the program's).
    if (name.empty() || name[0] < 'A' || name[0] > 'G' || !std::isdigit(static_cast<unsigned char>(name.back())))
      continue;
    out.emplace_back(name, std::stod(text.substr(open + 1, at - open - 1)));
  }
  return out;
}

// The rows "| `keys` | notes |" of a text's tables.
std::vector<std::pair<std::string, std::string>> KeyRows(const std::string& text) {
  std::vector<std::pair<std::string, std::string>> rows;
  std::istringstream lines(text);
  for (std::string line; std::getline(lines, line);) {
    if (line.rfind("| `", 0) != 0) continue;
    const size_t close = line.find("` | ", 3);
    const size_t end = close == std::string::npos ? close : line.find(" |", close + 4);
    if (end == std::string::npos) continue;
    rows.emplace_back(line.substr(3, close - 3), line.substr(close + 4, end - close - 4));
  }
  return rows;
}

// What follows `lead` up to the next ")"; empty when the text lacks it.
std::string After(const std::string& text, const std::string& lead) {
  const size_t at = text.find(lead);
  if (at == std::string::npos) return std::string();
  const size_t from = at + lead.size(), end = text.find(')', from);
  return end == std::string::npos ? std::string() : text.substr(from, end - from);
}

TEST_F(FirstUse, TheReadmeNamesTheCaptionAndTheNotesAsTheProgramShowsThem) {
  const std::string readme = Readme();
  ASSERT_FALSE(readme.empty());
  ASSERT_NO_FATAL_FAILURE(Start());

  // The caption the windows carry, said once.
  const std::string title = dapp->MainFrame()->windowTitle().toStdString();
  EXPECT_EQ(title.rfind(std::string(kProgramTitle) + " - ", 0), 0u) << title;
  EXPECT_NE(readme.find("\"" + title + "\""), std::string::npos) << "the README quotes the main window's title " << title;
  EXPECT_NE(readme.find("caption, \"" + std::string(kProgramTitle) + "\""), std::string::npos);

  // Every "name (frequency Hz)" of the README agrees with the program's
  // naming (key 60 is C3) and the equal-tempered frequency of that key.
  const auto pitches = NamedPitches(readme);
  for (const auto& [name, hz] : pitches) {
    const int note = NoteOfName(name);
    ASSERT_GE(note, 0) << name;
    EXPECT_NEAR(hz, 440.0 * std::pow(2.0, (note - 69) / 12.0), 0.05) << name << " (" << hz << " Hz)";
  }
  EXPECT_GE(pitches.size(), 3u);

  // The key table: each key, pressed in the structure window, plays the
  // note the README names.
  int keys = 0;
  auto press = [&](int key, Qt::KeyboardModifiers held, bool down) {
    QWidget* target = QApplication::focusWidget();
    if (down) QTest::keyPress(target, Qt::Key(key), held);
    else QTest::keyRelease(target, Qt::Key(key), held);
    Settle();
  };
  auto held = [&](int key) {
    QKeyEvent e(QEvent::KeyPress, key, Qt::NoModifier);
    return app->HeldNote(ScanCodeOf(&e));
  };
  auto nameOf = [](int32_t note) { return note >= 0 ? FormatNoteName(note).Std() : std::string("nothing"); };
  for (const auto& [keyText, nameText] : KeyRows(readme)) {
    std::istringstream chars(keyText), names(nameText);
    std::string c, name;
    while (chars >> c) {
      ASSERT_TRUE(names >> name) << "a note name for " << c;
      ASSERT_EQ(c.size(), 1u);
      const int key = QtKeyOf(c[0]);
      ASSERT_NE(key, 0) << c;
      press(key, Qt::NoModifier, true);
      EXPECT_EQ(nameOf(held(key)), name) << "key " << c;
      press(key, Qt::NoModifier, false);
      EXPECT_EQ(held(key), -1) << "key " << c << " let go";
      ++keys;
    }
    EXPECT_FALSE(names >> name) << "a name without a key: " << name;
  }
  EXPECT_EQ(keys, 37) << "the README's table holds every note key";

  const std::string up = After(readme, "Held Shift moves every key two octaves up (Z plays ");
  const std::string down = After(readme, "move it two octaves down (Z plays ");
  ASSERT_FALSE(up.empty() || down.empty()) << "the README says what Shift and Shift+Ctrl do";
  press(Qt::Key_Shift, Qt::ShiftModifier, true);
  press(Qt::Key_Z, Qt::ShiftModifier, true);
  EXPECT_EQ(nameOf(held(Qt::Key_Z)), up) << "Shift+Z";
  press(Qt::Key_Z, Qt::ShiftModifier, false);
  press(Qt::Key_Control, Qt::ShiftModifier | Qt::ControlModifier, true);
  press(Qt::Key_Z, Qt::ShiftModifier | Qt::ControlModifier, true);
  EXPECT_EQ(nameOf(held(Qt::Key_Z)), down) << "Shift+Ctrl+Z";
  press(Qt::Key_Z, Qt::ShiftModifier | Qt::ControlModifier, false);
  press(Qt::Key_Shift, Qt::ControlModifier, false);
  // Q: no menu item shows Ctrl+Q, so the key reaches the keyboard player.
  press(Qt::Key_Q, Qt::ControlModifier, true);
  EXPECT_EQ(held(Qt::Key_Q), -1) << "Ctrl alone plays nothing";
  press(Qt::Key_Q, Qt::ControlModifier, false);
  press(Qt::Key_Control, Qt::NoModifier, false);
  EXPECT_NE(readme.find("Ctrl alone plays nothing"), std::string::npos);
  EXPECT_TRUE(gui.Boxes().empty());
}

} // namespace
