// The application object: folders, opening, saving, asking before unsaved
// work goes, the commands' enabling and the computer keyboard.
#include "src/volteon/volteon.h"

#include "src/volteon/aboutdlg.h"
#include "src/volteon/pictures.h"

#include "pc/sky/app.h"
#include "pc/sky/mdi.h"
#include "src/base/settings.h"
#include "src/engine/module_types.h"
#include "src/engine/audioio.h"
#include "src/engine/offline.h"
#include "src/midi/midi.h"
#include "src/mod/mod.h"
#include "src/mod/modaudio.h"
#include "src/mod/moddata.h"
#include "tests/common/testkit.h"
#include "tests/volteon/appfixture.h"
#include "tests/sky/skyfixture.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QLabel>
#include <QTimer>
#include <QAction>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <vector>

namespace {

using skytest::ActionOf;

// A MIDI driver that keeps the notes the computer keyboard plays.
struct NoteMidi : TNoMidi {
  using TNoMidi::TNoMidi;
  void InjectNote(int32_t note, int32_t velocity) override { notes.emplace_back(note, velocity); }
  std::vector<std::pair<int32_t, int32_t>> notes;
};
NoteMidi* lastMidi = nullptr;
TMidiInOut* MakeNoteMidi(IMidiOwner* owner) { return lastMidi = new NoteMidi(owner); }

const char* kFolderSettings[] = {setting::InstrDir,     setting::MacroDir,     setting::EnsWorkDir,
                                 setting::InstrWorkDir, setting::MacroWorkDir, setting::AudioWorkDir,
                                 setting::TmpDir,       setting::EditorPath,   setting::LastEnsPath};

class AppTest : public ::testing::Test {
protected:
  void SetUp() override {
    OpenSettings("AppTest");
    for (const char* name : kFolderSettings) DeleteSetting(TStr(name));
    install = testkit::TempDir("install");
    OverrideProgramPath(TStr((install + "/bin/Quorvex").c_str()));
    // The library folders beside the program, which the structure window
    // of the empty ensemble looks for.
    for (const char* lib : {"Instruments", "Macros"})
      std::filesystem::create_directories(install + "/Library/" + lib);
    tmp = testkit::TempDir("tmp");
    WriteSettingStr(TStr(setting::TmpDir), TStr(tmp.c_str()));
    previousMidi = SetMidiMaker(MakeNoteMidi);
    RegisterMainMenu();
  }
  void TearDown() override {
    dapp.reset();
    SetMidiMaker(previousMidi);
  }
  void Start() { dapp = apptest::StartOffline(app); }
  static void Settle() { apptest::Settle(); }
  std::string Caption() const { return dapp->MainFrame()->windowTitle().toStdString(); }
  KSModul* Top() { return app->GetEnsemble()->GetTopModule(); }
  int CountType(TModuleType type) {
    int n = 0;
    for (int i = 0; i < Top()->GetChildCount(); ++i) n += Top()->GetChild(i)->IsType(type) ? 1 : 0;
    return n;
  }
  int Enabled(int32_t id) {
    int result = 0;
    EXPECT_EQ(app->Command(id, command_mode::kEnabled, result), 1) << id;
    return result;
  }
  void Run(int32_t id) {
    int result = 0;
    app->Command(id, command_mode::kRun, result);
  }

  testkit::ScriptedHost gui;
  std::string install, tmp;
  std::unique_ptr<DApp> dapp;
  TVolteon* app = nullptr;
  TMidiMaker previousMidi = nullptr;
};

// The libraries are read beside the program; the work folders of a fresh
// user lie in the user's data folder (the tests' main points it at a
// folder of their own), a work folder under a library the user chose
// follows that library.
TEST_F(AppTest, FoldersDefaultToTheLibrariesAndAreWrittenBackWithoutTrailingSeparators) {
  const std::string user = std::string(std::getenv("XDG_DATA_HOME")) + "/Quorvex/Library";
  WriteSettingStr(TStr(setting::MacroDir), TStr((install + "/MyMacros/").c_str()));
  std::filesystem::create_directories(install + "/MyMacros");
  gui.QueueAnswer(0); // the missing template
  Start();
  EXPECT_EQ(std::string(dirs::InstrLibrary()->GetFolder().CStr()), install + "/Library/Instruments");
  EXPECT_EQ(std::string(dirs::InstrWork()->GetFolder().CStr()), user + "/Instruments");
  EXPECT_EQ(std::string(dirs::MacroWork()->GetFolder().CStr()), install + "/MyMacros");
  EXPECT_EQ(std::string(dirs::EnsWork()->GetFolder().CStr()), user + "/Ensembles");
  EXPECT_EQ(std::string(AudioWorkFolder()->GetFolder().CStr()), user);
  EXPECT_EQ(std::string(dirs::Clipboard()->GetPath().CStr()), tmp + "/paste.mdl");
  EXPECT_EQ(app->GetTile0(), app->GetTile1());
  dapp.reset();
  EXPECT_EQ(std::string(ReadSettingStr(TStr(setting::MacroDir), TStr()).CStr()), install + "/MyMacros");
  EXPECT_EQ(std::string(ReadSettingStr(TStr(setting::InstrWorkDir), TStr()).CStr()), user + "/Instruments");
  EXPECT_EQ(std::string(ReadSettingStr(TStr(setting::TmpDir), TStr()).CStr()), tmp);
  EXPECT_EQ(std::string(ReadSettingStr(TStr(setting::EnsWorkDir), TStr()).CStr()), user + "/Ensembles");
}

TEST_F(AppTest, AMissingTemplateGivesAnEmptyEnsembleWithItsAudioOut) {
  gui.QueueAnswer(0);
  Start();
  ASSERT_EQ(gui.Boxes().size(), 1u);
  EXPECT_NE(gui.Boxes()[0].caption.find("Error while reading ensemble file"), std::string::npos);
  EXPECT_EQ(CountType(kTypeAudioOut), 1);
  EXPECT_EQ(Caption(), "Volteon - Untitled.ens");
  EXPECT_EQ(Enabled(cmd::kSaveEnsemble), 0) << "nothing to save right after opening";
  EXPECT_EQ(Enabled(cmd::kSaveEnsembleAs), 1);
  EXPECT_EQ(Enabled(cmd::kUndo), 0);
}

// The template written at build time is what New reads.
TEST_F(AppTest, NewReadsTheTemplateBesideTheProgram) {
  std::filesystem::create_directories(install + "/bin");
  std::filesystem::copy_file(QV_BUILD_TREE "/bin/new.ens", install + "/bin/new.ens");
  // The top structure window opens and looks for the libraries.
  std::filesystem::create_directories(install + "/Library/Macros");
  std::filesystem::create_directories(install + "/Library/Instruments");
  Start();
  EXPECT_TRUE(gui.Boxes().empty());
  EXPECT_EQ(CountType(kTypeAudioIn), 1);
  EXPECT_EQ(CountType(kTypeAudioOut), 1);
  EXPECT_EQ(app->GetEnsemble()->GetSampleRate(), 44100);
  ASSERT_NE(Top()->GetData(), nullptr);
  EXPECT_EQ(Top()->GetData()->structOpenNo, 1) << "the top structure window is stored open";
  EXPECT_EQ(Caption(), "Volteon - Untitled.ens");
  EXPECT_EQ(std::string(ReadSettingStr(TStr(setting::LastEnsPath), TStr()).CStr()), "Untitled.ens");
}

// Save As, then the file reads back into the same graph.
TEST_F(AppTest, SaveAsWritesWhatOpenReadsBack) {
  gui.QueueAnswer(0);
  Start();
  Top()->InsertModule(kTypeSawtooth, kPlaceNext, true);
  app->GetEnsemble()->MarkModified();
  EXPECT_EQ(Enabled(cmd::kSaveEnsemble), 1);
  const std::string path = tmp + "/song.ens";
  gui.QueueFileChoice(path);
  Run(cmd::kSaveEnsemble); // untitled: asks for a name
  ASSERT_EQ(gui.FileDialogs().size(), 1u);
  EXPECT_TRUE(std::ifstream(path).good());
  EXPECT_EQ(Caption(), "Volteon - song.ens");
  EXPECT_EQ(std::string(ReadSettingStr(TStr(setting::LastEnsPath), TStr()).CStr()), path);
  EXPECT_EQ(Enabled(cmd::kSaveEnsemble), 0);

  gui.QueueAnswer(0);
  Run(cmd::kNewEnsemble); // the template is still missing
  EXPECT_EQ(CountType(kTypeSawtooth), 0);
  gui.QueueFileChoice(path);
  Run(cmd::kOpen);
  EXPECT_EQ(CountType(kTypeSawtooth), 1);
  EXPECT_EQ(CountType(kTypeAudioOut), 1) << "the stored Audio Out is the ensemble's, not a second one";
  EXPECT_EQ(Caption(), "Volteon - song.ens");
  EXPECT_NE(app->GetCurrentInstr(), nullptr) << "the keyboard plays the new top instrument at once";
  ASSERT_NE(app->GetRecentFiles()->Get(0), nullptr);
  EXPECT_EQ(std::string(app->GetRecentFiles()->Get(0)->GetPath().CStr()), path);

  // A file that no longer reads leaves the list.
  std::ofstream(path, std::ios::trunc) << "broken";
  app->GetEnsemble()->MarkClean();
  gui.QueueAnswer(0);
  Run(recent::kFirstEntryId);
  EXPECT_EQ(app->GetRecentFiles()->Get(0), nullptr);
}

TEST_F(AppTest, RateFactorItemsNameTheirRatesAndCheckTheOneInUse) {
  gui.QueueAnswer(0);
  GetSampleRateValue()->Set(44100.0f);
  Start();
  QWidget* bar = dapp->MainFrame()->menuBar();
  std::vector<std::string> texts;
  for (int i = 0; i < cmd::kFactorCount; ++i) texts.push_back(ActionOf(bar, cmd::kFactorHalf + i)->text().toStdString());
  EXPECT_EQ(texts, (std::vector<std::string>{"22050 Hz", "33075 Hz", "44100 Hz", "66150 Hz", "88200 Hz", "132300 Hz"}));
  Run(cmd::kFactorHalf + 4);
  EXPECT_EQ(app->GetEnsemble()->GetRateFactor(), 2.0f);
  EXPECT_TRUE(ActionOf(bar, cmd::kFactorHalf + 4)->isChecked());
  int checked = 0;
  for (int i = 0; i < cmd::kFactorCount; ++i) checked += ActionOf(bar, cmd::kFactorHalf + i)->isChecked() ? 1 : 0;
  EXPECT_EQ(checked, 1);
}

TEST_F(AppTest, AForeignFileIsReportedAndTheOpenEnsembleStays) {
  gui.QueueAnswer(0);
  Start();
  Top()->InsertModule(kTypeSawtooth, kPlaceNext, true);
  const std::string path = tmp + "/notes.ens";
  std::ofstream(path) << "these are not the bytes of an ensemble";
  gui.QueueAnswer(0);
  EPtr<IFileName> name(CreateFileName());
  name->SetPath(TStr(path.c_str()));
  app->Open(name.Get());
  ASSERT_EQ(gui.Boxes().size(), 2u);
  EXPECT_EQ(gui.Boxes()[1].caption, "Error while reading ensemble file " + path + ":");
  EXPECT_EQ(gui.Boxes()[1].text, "Not a valid Volteon file.");
  EXPECT_EQ(Caption(), "Volteon - Untitled.ens");
  EXPECT_EQ(CountType(kTypeSawtooth), 1) << "the work in front of the user is kept";
  EXPECT_EQ(CountType(kTypeAudioOut), 1);
  // A missing file likewise.
  gui.QueueAnswer(0);
  name->SetPath(TStr((tmp + "/gone.ens").c_str()));
  app->Open(name.Get());
  ASSERT_EQ(gui.Boxes().size(), 3u);
  EXPECT_EQ(CountType(kTypeSawtooth), 1);
}

TEST_F(AppTest, UnsavedWorkIsNeverDroppedWithoutAsking) {
  gui.QueueAnswer(0);
  Start();
  Top()->InsertModule(kTypeSawtooth, kPlaceNext, true);
  app->GetEnsemble()->MarkModified();
  gui.QueueAnswer(1); // Cancel
  Run(cmd::kNewEnsemble);
  ASSERT_EQ(gui.Boxes().size(), 2u);
  EXPECT_EQ(gui.Boxes()[1].text, "Save changes to Untitled.ens ?");
  EXPECT_EQ(CountType(kTypeSawtooth), 1) << "Cancel keeps the ensemble";
  gui.QueueAnswer(1);
  EXPECT_EQ(app->MayClose(), 0) << "nor may the program close";
  gui.QueueAnswer(3); // No
  gui.QueueAnswer(0); // the missing template
  Run(cmd::kNewEnsemble);
  EXPECT_EQ(CountType(kTypeSawtooth), 0);
}

TEST_F(AppTest, KeysPlayNotesByRowAndModifierAndReleaseTheNoteTheyPlayed) {
  gui.QueueAnswer(0);
  Start();
  ASSERT_NE(lastMidi, nullptr);
  ASSERT_NE(app->GetCurrentInstr(), nullptr);
  struct Case {
    int scan;
    bool shift, ctrl;
    int note; // -1: nothing
  };
  const Case cases[] = {
      {0x2C, false, false, 48}, {0x1F, false, false, 49}, {0x35, false, false, 64}, {0x10, false, false, 60},
      {0x1B, false, false, 79}, {0x0D, false, false, 78}, {0x2C, true, false, 72},  {0x2C, true, true, 24},
      {0x2C, false, true, -1},  {0x1E, false, false, -1}, {0x39, true, false, -1},
  };
  for (const Case& c : cases) {
    lastMidi->notes.clear();
    app->KeyChange(keyclass::kShift, 0x2A, c.shift);
    app->KeyChange(keyclass::kCtrl, 0x1D, c.ctrl);
    app->KeyChange(keyclass::kOther, c.scan, 1);
    app->KeyChange(keyclass::kOther, c.scan, 0);
    if (c.note < 0) {
      EXPECT_TRUE(lastMidi->notes.empty()) << c.scan;
    } else {
      EXPECT_EQ(lastMidi->notes, (std::vector<std::pair<int32_t, int32_t>>{{c.note, 80}, {c.note, 0}})) << c.scan;
    }
  }
  app->KeyChange(keyclass::kShift, 0x2A, 0);
  app->KeyChange(keyclass::kCtrl, 0x1D, 0);
  // Shift pressed while Z is held: Z's release still ends the note it played.
  lastMidi->notes.clear();
  app->KeyChange(keyclass::kOther, 0x2C, 1);
  app->KeyChange(keyclass::kShift, 0x2A, 1);
  app->KeyChange(keyclass::kOther, 0x2C, 0);
  EXPECT_EQ(lastMidi->notes, (std::vector<std::pair<int32_t, int32_t>>{{48, 80}, {48, 0}}));
  // Without a current instrument nothing plays.
  app->SetCurrentInstr(nullptr);
  lastMidi->notes.clear();
  app->KeyChange(keyclass::kOther, 0x2C, 1);
  app->KeyChange(keyclass::kOther, 0x2C, 0);
  EXPECT_TRUE(lastMidi->notes.empty());
}

// What each command answers when asked whether it is enabled, right after
// start on an offline driver without a settings dialog.
TEST_F(AppTest, CommandEnabling) {
  gui.QueueAnswer(0);
  Start();
  const std::pair<int32_t, int> table[] = {
      {cmd::kNewEnsemble, 1},   {cmd::kOpen, 1},          {cmd::kSaveEnsemble, 0},  {cmd::kSaveEnsembleAs, 1},
      {cmd::kBatchAnalyse, 1},  {cmd::kUndo, 0},          {cmd::kRedo, 0},          {cmd::kExternalSync, 1},
      {cmd::kClockStart, 1},    {cmd::kClockStop, 1},     {cmd::kMeasureCpu, 1},    {cmd::kAudioSettings, 0},
      {cmd::kMidiSettings, 0},  {cmd::kPortCard, IsAudioPortAvailable(kAudioWerk) ? 1 : 0},
      {cmd::kPortSoundcard, IsAudioPortAvailable(kAudioMultiMedia) ? 1 : 0},
      {cmd::kShowEnsemble, 0}, // the empty ensemble's structure window is open
      {cmd::kCloseAllPanels, 1}, {cmd::kCloseAllStructures, 1}, {cmd::kPanelsToFront, 1},
      {cmd::kFactorHalf, 1},    {cmd::kRate25 + 6, 1},    {recent::kFirstEntryId, 1},
  };
  for (auto [id, enabled] : table) EXPECT_EQ(Enabled(id), enabled) << id;
  int result = 7;
  EXPECT_EQ(app->Command(4242, command_mode::kEnabled, result), 0) << "not the application's";
  EXPECT_EQ(result, 0);
  // An edit enables Save and Undo (with undo switched on).
  app->Files().GetUndo().SetUndoEnabled(1);
  Top()->InsertModule(kTypeSawtooth, kPlaceNext, true);
  app->GetEnsemble()->AddUndoStep(UndoKind::kInsertModule, nullptr);
  app->GetEnsemble()->MarkModified();
  EXPECT_EQ(Enabled(cmd::kSaveEnsemble), 1);
  EXPECT_EQ(Enabled(cmd::kUndo), 1);
  // External sync toggles its check mark.
  QWidget* bar = dapp->MainFrame()->menuBar();
  Run(cmd::kExternalSync);
  EXPECT_TRUE(ActionOf(bar, cmd::kExternalSync)->isChecked());
  Run(cmd::kExternalSync);
  EXPECT_FALSE(ActionOf(bar, cmd::kExternalSync)->isChecked());
}

// The main menu's items reach the application's commands: the menu shows
// them enabled as the application says, and choosing one runs it, whether
// or not a document window is the active one.
TEST_F(AppTest, MainMenuItemsRunTheApplicationsCommands) {
  gui.QueueAnswer(0); // no template beside the program
  for (const char* lib : {"/Library/Macros", "/Library/Instruments"}) std::filesystem::create_directories(install + lib);
  Start();
  QWidget* bar = dapp->MainFrame()->menuBar();
  QAction* saveAs = ActionOf(bar, cmd::kSaveEnsembleAs);
  QAction* save = ActionOf(bar, cmd::kSaveEnsemble);
  ASSERT_TRUE(saveAs && save);
  int enabled = 0, hasCheck = 0, checked = 0;
  dapp->Client()->Query(cmd::kSaveEnsembleAs, enabled, hasCheck, checked);
  EXPECT_EQ(enabled, 1) << "Save As is always there";
  dapp->Client()->Query(cmd::kSaveEnsemble, enabled, hasCheck, checked);
  EXPECT_EQ(enabled, 0) << "nothing to save yet";
  gui.QueueFileCancel();
  saveAs->trigger();
  Settle();
  ASSERT_EQ(gui.FileDialogs().size(), 1u) << "File > Save Ensemble As... asks for a name";
  // With the structure window active the item goes the window's way and
  // still reaches the application.
  Top()->OpenStructure();
  Settle();
  ASSERT_NE(dapp->Client()->ActiveCanvas(), nullptr);
  gui.QueueFileCancel();
  saveAs->trigger();
  Settle();
  EXPECT_EQ(gui.FileDialogs().size(), 2u);
}

TEST_F(AppTest, TheControlRateStartsAt200AndTheMainWindowLooksRight) {
  gui.QueueAnswer(0);
  Start();
  QWidget* bar = dapp->MainFrame()->menuBar();
  auto checked = [&](int32_t id) {
    QAction* a = ActionOf(bar, id);
    return a && a->isChecked();
  };
  EXPECT_TRUE(checked(cmd::kRate25 + 3));
  Run(cmd::kRate25);
  EXPECT_TRUE(checked(cmd::kRate25));
  EXPECT_FALSE(checked(cmd::kRate25 + 3));
  const QImage shot = dapp->MainFrame()->grab().toImage();
  skytest::SaveShot(shot, "app_main_window.png");
  EXPECT_FALSE(shot.isNull());
}

TEST_F(AppTest, TheStartDialogStandsUntilTheFirstTickAtOrAfterTwoSeconds) {
  InstallPictures();
  RegisterAboutDlgs();
  ShowStartDlg();
  ShowStartDlg(); // a second request shows no second picture
  TStartDlg* start = GetStartDlg();
  ASSERT_NE(start, nullptr);
  ASSERT_TRUE(start->GetDDlg()->isVisible());
  EXPECT_TRUE(start->GetDDlg()->windowFlags() & Qt::FramelessWindowHint);
  skytest::SaveShot(start->GetDDlg()->grab().toImage(), "start-dialog.png");
  gui.QueueAnswer(0); // the missing template
  // Every tick counts, those of the running timer during start-up too: a
  // counter registered just before the application sees them all.
  static int ticked;
  ticked = 0;
  dapp = apptest::StartOffline(app, [] {
    GetDApp()->Timers().Add(TTimerService::kTickMs, [](void*) { return ++ticked, 1; }, nullptr);
  });
  const int ticks = aboutdlg::kStartDlgMs / TTimerService::kTickMs;
  while (ticked < ticks - 1) {
    ASSERT_EQ(GetStartDlg(), start) << "closed after " << ticked << " ticks";
    dapp->Timers().Tick();
  }
  ASSERT_EQ(GetStartDlg(), start) << "closed after " << ticked << " ticks";
  dapp->Timers().Tick();
  EXPECT_EQ(GetStartDlg(), nullptr);
  CloseStartDlg(); // closing again does nothing
  EXPECT_EQ(GetStartDlg(), nullptr);
}

TEST_F(AppTest, TheAboutBoxNamesTheVersionAndOpensAnyNumberOfTimes) {
  InstallPictures();
  RegisterAboutDlgs();
  {
    TAboutDlg about;
    about.Create();
    QDialog* d = about.GetDDlg();
    EXPECT_EQ(d->windowTitle().toStdString(), "About Volteon");
    auto* version = d->findChild<QLabel*>("ctl3500");
    ASSERT_NE(version, nullptr);
    EXPECT_EQ(version->text().toStdString(), "Version 2.0.4");
    // The picture fits its place whole.
    auto* picture = d->findChild<QLabel*>("ctl-1");
    ASSERT_NE(picture, nullptr);
    EXPECT_FALSE(picture->pixmap().isNull());
    EXPECT_LE(picture->pixmap().width(), picture->width());
    EXPECT_LE(picture->pixmap().height(), picture->height());
    EXPECT_LE(picture->geometry().bottom(), version->geometry().top());
    skytest::SaveShot(d->grab().toImage(), "about-box.png");
    about.Close(1);
  }
  // Modal runs, each ended by OK as a person would press it; each run makes
  // its own dialog and leaves none behind.
  auto aboutBoxes = [] {
    int n = 0;
    for (QWidget* w : QApplication::allWidgets())
      if (qobject_cast<QDialog*>(w) && w->windowTitle() == "About Volteon") ++n;
    return n;
  };
  for (int run = 0; run < 2; ++run) {
    int shown = 0;
    QTimer::singleShot(0, [&] {
      if (QWidget* w = QApplication::activeModalWidget()) {
        shown = w->windowTitle() == "About Volteon" ? 1 : 0;
        static_cast<QDialog*>(w)->accept();
      }
    });
    ShowAboutBox();
    EXPECT_EQ(shown, 1) << "run " << run;
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_EQ(aboutBoxes(), 0) << "run " << run;
  }
}

} // namespace
