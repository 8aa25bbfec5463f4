// The Preferences sheet: what each page shows, what OK stores, what Cancel
// and refused values leave alone.
#include "src/volteon/prefs.h"

#include "pc/sky/app.h"
#include "pc/sky/qthost.h"
#include "src/base/settings.h"
#include "src/engine/audioio.h"
#include "src/engine/module_types.h"
#include "src/engine/offline.h"
#include "src/mod/mod.h"
#include "src/volteon/strucwnd.h"
#include "src/volteon/volteon.h"
#include "tests/common/testkit.h"
#include "tests/volteon/appfixture.h"
#include "tests/sky/skyfixture.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QDialog>
#include <QLineEdit>
#include <QPushButton>
#include <QTabWidget>

#include <filesystem>
#include <functional>
#include <memory>

namespace {

using skytest::ModalScript;

void ShowTab(QDialog& d, const char* title) {
  QTabWidget* tabs = d.findChild<QTabWidget*>();
  for (int i = 0; i < tabs->count(); ++i)
    if (tabs->tabText(i) == title) tabs->setCurrentIndex(i);
}
QLineEdit* Edit(QDialog& d, const char* tab, int32_t id) {
  QTabWidget* tabs = d.findChild<QTabWidget*>();
  for (int i = 0; i < tabs->count(); ++i)
    if (tabs->tabText(i) == tab) return tabs->widget(i)->findChild<QLineEdit*>(QStringLiteral("ctl%1").arg(id));
  return nullptr;
}
void Press(QDialog& d, int32_t id) { d.findChild<QPushButton*>(QStringLiteral("ctl%1").arg(id))->click(); }

class PrefsTest : public ::testing::Test {
protected:
  void SetUp() override {
    OpenSettings("PrefsTest");
    install = testkit::TempDir("prefs-install");
    OverrideProgramPath(TStr((install + "/bin/Quorvex").c_str()));
    std::filesystem::create_directories(install + "/Library/Macros");
    std::filesystem::create_directories(install + "/Library/Instruments");
    tmp = testkit::TempDir("prefs-tmp");
    WriteSettingStr(TStr(setting::TmpDir), TStr(tmp.c_str()));
    DeleteSetting(TStr(setting::InstrDir));
    DeleteSetting(TStr(setting::MacroDir));
    std::filesystem::create_directories(install + "/bin");
    std::filesystem::copy_file(QV_BUILD_TREE "/bin/new.ens", install + "/bin/new.ens",
                               std::filesystem::copy_options::overwrite_existing);
    RegisterMainMenu();
    RegisterPreferencePages();
    dapp = apptest::StartOffline(app);
  }
  void TearDown() override { dapp.reset(); }
  KUndo& Undo() { return app->Files().GetUndo(); }
  // One recorded step on the undo list.
  void MakeStep() {
    app->GetEnsemble()->AddUndoStep(UndoKind::kChangeSampleRate, nullptr);
    app->GetEnsemble()->GetTopModule()->InsertModule(kTypeSawtooth, kPlaceNext, true);
  }

  testkit::ScriptedHost gui;
  std::string install, tmp;
  std::unique_ptr<DApp> dapp;
  TVolteon* app = nullptr;
};

TEST_F(PrefsTest, TheSheetHasItsFourPagesAndOkWithoutChangesKeepsTheUndoList) {
  Undo().SetUndoEnabled(1);
  MakeStep();
  ASSERT_TRUE(Undo().CanUndo());
  std::vector<std::string> tabs;
  ModalScript script([&](QDialog& d) {
    EXPECT_EQ(d.windowTitle(), "Preferences");
    QTabWidget* t = d.findChild<QTabWidget*>();
    for (int i = 0; i < t->count(); ++i) tabs.push_back(t->tabText(i).toStdString());
    for (const char* title : {"Processor Usage", "Appearance", "Directories", "Ensembles"}) ShowTab(d, title);
    skytest::SaveShot(d.grab().toImage(), "preferences.png");
    ShowTab(d, "Directories");
    skytest::SaveShot(d.grab().toImage(), "preferences-directories.png");
    ShowTab(d, "Processor Usage");
    skytest::SaveShot(d.grab().toImage(), "preferences-usage.png");
    Press(d, kIdOk);
  });
  ShowPreferences(app);
  EXPECT_EQ(tabs, (std::vector<std::string>{"Ensembles", "Processor Usage", "Appearance", "Directories"}));
  EXPECT_TRUE(Undo().CanUndo()) << "values written back unchanged empty nothing";
  EXPECT_TRUE(gui.Boxes().empty());
}

TEST_F(PrefsTest, FewerUndosEmptyTheUndoList) {
  Undo().SetUndoEnabled(1);
  Undo().SetUndoMax(20);
  MakeStep();
  ModalScript script([&](QDialog& d) {
    Edit(d, "Ensembles", prefs::kUndoCount)->setText("10");
    Press(d, kIdOk);
  });
  ShowPreferences(app);
  EXPECT_EQ(Undo().GetUndoMax(), 10);
  EXPECT_FALSE(Undo().CanUndo());
}

// Values outside their range show the range message and keep the sheet open;
// the bounds themselves are taken.
TEST_F(PrefsTest, NumbersOutsideTheirRangeAreRefusedWithTheRangeMessage) {
  struct Case {
    const char* tab;
    int32_t id;
    const char* text;
    const char* message; // empty: accepted
  };
  const Case cases[] = {
      {"Processor Usage", prefs::kMaxUsage, "1000", ""},
      {"Processor Usage", prefs::kMaxUsage, "4", "Value of Maximum processor usage has to be between 5 and 1000."},
      {"Ensembles", prefs::kUndoCount, "0", "Value of Number of Undos has to be between 1 and 100."},
      {"Ensembles", prefs::kUndoCount, "100", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.tab) + " " + c.text);
    SetMaxUsage(95);
    const size_t before = gui.Boxes().size();
    if (*c.message) gui.QueueAnswer(0);
    bool stayedOpen = false;
    ModalScript script([&](QDialog& d) {
      ShowTab(d, c.tab);
      Edit(d, c.tab, c.id)->setText(c.text);
      Press(d, kIdOk);
      stayedOpen = d.isVisible();
      if (stayedOpen) Press(d, kIdCancel);
    });
    ShowPreferences(app);
    EXPECT_EQ(stayedOpen, *c.message != 0);
    if (*c.message) {
      ASSERT_EQ(gui.Boxes().size(), before + 1);
      EXPECT_EQ(gui.Boxes().back().text, c.message);
      EXPECT_EQ(GetMaxUsage(), 95);
    } else {
      EXPECT_EQ(gui.Boxes().size(), before);
    }
  }
  EXPECT_EQ(Undo().GetUndoMax(), 100);
}

// A damaged or hand-edited store: the numbers the Preferences edit are read
// within the sheet's bounds, so the sheet opens on values its OK accepts and
// the exit looks after no more snapshot numbers than the sheet allows.
TEST_F(PrefsTest, StoredNumbersAreReadWithinWhatTheSheetAllows) {
  struct Case {
    uint32_t undoMax, maxUsage, undoEnabled;
    const char* undoText;
    const char* usageText;
    int32_t enabled;
  };
  const Case cases[] = {
      {100000, 1, 7, "100", "5", 1},
      {1000000, 70000, 0, "100", "1000", 0},
      {0, 4, 1, "1", "5", 1},
      {uint32_t(-5), uint32_t(-1), uint32_t(-1), "1", "5", 1},
      {37, 250, 1, "37", "250", 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.undoMax);
    dapp.reset();
    WriteSettingInt(TStr(setting::UndoMax), c.undoMax);
    WriteSettingInt(TStr(setting::MaxUsage), c.maxUsage);
    WriteSettingInt(TStr(setting::UndoEnabled), c.undoEnabled);
    dapp = apptest::StartOffline(app);
    EXPECT_EQ(Undo().GetUndoEnabled(), c.enabled);
    const size_t before = gui.Boxes().size();
    bool stayedOpen = true;
    std::string undoText, usageText;
    ModalScript script([&](QDialog& d) {
      undoText = Edit(d, "Ensembles", prefs::kUndoCount)->text().toStdString();
      ShowTab(d, "Processor Usage"); // a page fills its controls when first shown
      usageText = Edit(d, "Processor Usage", prefs::kMaxUsage)->text().toStdString();
      Press(d, kIdOk);
      stayedOpen = d.isVisible();
      if (stayedOpen) Press(d, kIdCancel);
    });
    ShowPreferences(app);
    EXPECT_EQ(undoText, c.undoText);
    EXPECT_EQ(usageText, c.usageText);
    EXPECT_FALSE(stayedOpen);
    EXPECT_EQ(gui.Boxes().size(), before);
    dapp.reset(); // the exit writes back what it read
    EXPECT_EQ(ReadSettingInt(TStr(setting::UndoMax), 0), uint32_t(std::stoi(c.undoText)));
    EXPECT_EQ(ReadSettingInt(TStr(setting::MaxUsage), 0), uint32_t(std::stoi(c.usageText)));
  }
}

TEST_F(PrefsTest, FoldersAreStoredWithoutATrailingSeparator) {
  const std::string macros = install + "/OtherMacros";
  std::filesystem::create_directories(macros);
  const TStr instrBefore = dirs::InstrLibrary()->GetFolder();
  ModalScript script([&](QDialog& d) {
    ShowTab(d, "Directories");
    Edit(d, "Directories", prefs::kMacroDir)->setText(QString::fromStdString(macros + "/"));
    Edit(d, "Directories", prefs::kTmpDir)->setText(QString::fromStdString(tmp + "/"));
    Edit(d, "Directories", prefs::kEditor)->setText("/usr/bin/editor");
    Press(d, kIdOk);
  });
  ShowPreferences(app);
  EXPECT_EQ(std::string(dirs::MacroLibrary()->GetFolder().CStr()), macros);
  EXPECT_EQ(dirs::InstrLibrary()->GetFolder(), instrBefore);
  EXPECT_EQ(std::string(TempFolder()->GetFolder().CStr()), tmp);
  EXPECT_EQ(std::string(dirs::Clipboard()->GetFolder().CStr()), tmp);
  EXPECT_EQ(std::string(dirs::Editor()->GetPath().CStr()), "/usr/bin/editor");
  EXPECT_TRUE(gui.Boxes().empty());
}

TEST_F(PrefsTest, AnEmptyTemporaryFolderIsRefusedAndNothingChanges) {
  const TStr before = TempFolder()->GetFolder();
  gui.QueueAnswer(0);
  bool stayedOpen = false;
  ModalScript script([&](QDialog& d) {
    ShowTab(d, "Directories");
    Edit(d, "Directories", prefs::kTmpDir)->setText("");
    Edit(d, "Directories", prefs::kEditor)->setText("/usr/bin/other");
    Press(d, kIdOk);
    stayedOpen = d.isVisible();
    Press(d, kIdCancel);
  });
  ShowPreferences(app);
  EXPECT_TRUE(stayedOpen);
  ASSERT_EQ(gui.Boxes().size(), 1u);
  EXPECT_EQ(gui.Boxes()[0].text, "Please enter a directory for temporary files.");
  EXPECT_EQ(TempFolder()->GetFolder(), before);
  EXPECT_NE(std::string(dirs::Editor()->GetPath().CStr()), "/usr/bin/other");
}

TEST_F(PrefsTest, ResetPutsTheDefaultColourWhichOnlyOkStores) {
  EPtr<IColor> red(CreateColor(200, 30, 30));
  TStructWnd::SetStructColor(red.Get());
  for (int ok : {0, 1}) {
    ModalScript script([&](QDialog& d) {
      ShowTab(d, "Appearance");
      Press(d, prefs::kReset);
      Press(d, ok ? kIdOk : kIdCancel);
    });
    ShowPreferences(app);
    const uint32_t expected = ok ? TStructWnd::GetDefaultStructColor()->GetColor() : red->GetColor();
    EXPECT_EQ(TStructWnd::GetStructColor()->GetColor(), expected) << (ok ? "OK" : "Cancel");
  }
}

} // namespace
