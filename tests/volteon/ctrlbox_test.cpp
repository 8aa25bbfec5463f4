// The control box: its two bars built into the main window, the periodic
// update from a scripted engine, run/stop, the sample-rate list, the hints,
// and the instrument bar following the current instrument.
#include "src/volteon/ctrlbox.h"
#include "src/volteon/pictures.h"
#include "src/volteon/volteon.h"

#include "pc/sky/app.h"
#include "pc/sky/mdi.h"
#include "src/base/settings.h"
#include "src/engine/audioio.h"
#include "src/engine/module_types.h"
#include "src/engine/offline.h"
#include "src/midi/midi.h"
#include "src/mod/ensfile.h"
#include "src/mod/instr.h"
#include "src/mod/mod.h"
#include "src/mod/undo.h"
#include "tests/common/testkit.h"
#include "tests/sky/skyfixture.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QDockWidget>
#include <QLabel>
#include <QMainWindow>
#include <QMenuBar>
#include <QToolButton>

#include <filesystem>
#include <memory>
#include <utility>

namespace {

using skytest::ActionOf;

// An engine whose levels, usage and channels the test sets.
struct ScriptedAudio : TOfflineAudio {
  using TOfflineAudio::TOfflineAudio;
  float levels[4] = {};
  float usage = 0.0f;
  bool over = false;
  int32_t outputs = 2, inputs = 2;
  int tickUsage = 0;
  float GetInputLevel1() override { return levels[0]; }
  float GetInputLevel2() override { return levels[1]; }
  float GetOutputLevel1() override { return levels[2]; }
  float GetOutputLevel2() override { return levels[3]; }
  float GetUsage() override { return usage; }
  bool IsOverMaxUsage() override { return over; }
  int32_t GetOutputCount() override { return outputs; }
  int32_t GetInputCount() override { return inputs; }
  void TickUsage() override {
    ++tickUsage;
    TOfflineAudio::TickUsage();
  }
};
ScriptedAudio* lastAudio = nullptr;

struct ActivityMidi : TNoMidi {
  using TNoMidi::TNoMidi;
  int32_t in = 0, instr = 0;
  int32_t TakeInActivity() override { return std::exchange(in, 0); }
  int32_t TakeInstrumentActivity() override { return std::exchange(instr, 0); }
};
ActivityMidi* lastMidi = nullptr;
TMidiInOut* MakeMidi(IMidiOwner* owner) { return lastMidi = new ActivityMidi(owner); }

const char* const kBoxSettings[] = {setting::ShowCtrlBox, setting::ShowEnsembleBox, setting::ShowInstrumentBox,
                                    setting::ShowHints, setting::EnsembleBoxLoc, setting::InstrumentBoxLoc};

class CtrlBoxTest : public ::testing::Test {
protected:
  void SetUp() override {
    OpenSettings("CtrlBoxTest");
    for (const char* s : kBoxSettings) DeleteSetting(TStr(s));
    install = testkit::TempDir("install");
    OverrideProgramPath(TStr((install + "/bin/Quorvex").c_str()));
    // The library folders beside the program, which the structure window
    // of the empty ensemble looks for.
    for (const char* lib : {"Instruments", "Macros"})
      std::filesystem::create_directories(install + "/Library/" + lib);
    tmp = testkit::TempDir("tmp");
    WriteSettingStr(TStr(setting::TmpDir), TStr(tmp.c_str()));
    WriteSettingInt(TStr(setting::UndoEnabled), 1); // the steps the tests count are recorded
    previousMidi = SetMidiMaker(MakeMidi);
    InstallPictures();
    RegisterMainMenu();
    gui.QueueAnswer(0); // no template beside the program: an empty ensemble
    GetSampleRateValue()->Set(44100.0f);
  }
  void TearDown() override { Stop(); SetMidiMaker(previousMidi); }
  void Start() {
    dapp = std::make_unique<DApp>([this] {
      app = new TVolteon([](int32_t, IAudioOwner* owner) -> IAudioInOut* { return lastAudio = new ScriptedAudio(owner); });
      return app;
    });
    ticker = std::make_unique<skytest::ManualTicker>();
    dapp->InitMainWindow();
    dapp->MainFrame()->resize(760, 440);
    Settle();
    box = AsCtrlBox(app->GetCtrlBox());
    ASSERT_NE(box, nullptr);
  }
  void Stop() {
    ticker.reset();
    dapp.reset();
    box = nullptr;
  }
  static void Settle() {
    QCoreApplication::sendPostedEvents();
    QApplication::processEvents();
  }
  QString MenuText(int32_t id) {
    QAction* a = ActionOf(dapp->MainFrame()->menuBar(), id);
    return a ? a->text() : QString();
  }
  QWidget* Gadget(int32_t id) { return box->GetDToolWnd()->FindControl(id); }
  bool Down(int32_t id) {
    auto* b = qobject_cast<QToolButton*>(Gadget(id));
    return b && (b->isChecked() || b->isDown());
  }
  bool Enabled(int32_t id) { return Gadget(id) && Gadget(id)->isEnabled(); }
  QString Text(int32_t id) {
    auto* l = qobject_cast<QLabel*>(Gadget(id));
    return l ? l->text() : QString();
  }
  KEnsemble* Ens() { return app->GetEnsemble(); }
  KSModul* Top() { return Ens()->GetTopModule(); }
  int32_t Steps() { return Ens()->GetFiles()->GetUndo().GetStepCount(); }
  KSModul* AddInstrument(KSModul* into, const char* label) {
    KSModul* m = into->InsertModule(kTypeInstrument, kPlaceNext, false);
    if (m) m->SetLabel(TStr(label));
    return m;
  }

  testkit::ScriptedHost gui;
  std::string install, tmp;
  std::unique_ptr<DApp> dapp;
  std::unique_ptr<skytest::ManualTicker> ticker;
  TVolteon* app = nullptr;
  TCtrlBox* box = nullptr;
  TMidiMaker previousMidi = nullptr;
};

TEST_F(CtrlBoxTest, LevelsStepTenDecibelsApart) {
  struct Case {
    float level;
    int32_t frame;
  } cases[] = {{0.0f, 0}, {0.00999f, 0}, {0.01f, 1}, {0.031623f, 2}, {0.1f, 3}, {0.31623f, 4},
               {0.99f, 4}, {1.0f, 5},    {4.0f, 5}};
  for (const Case& c : cases) EXPECT_EQ(LevelToFrame(c.level), c.frame) << c.level;
}

TEST_F(CtrlBoxTest, BothBarsStandInTheMainWindowWithDefaultSettings) {
  Start();
  QDockWidget* ens = box->GetDToolWnd()->Dock(toolbox::kEnsemble);
  QDockWidget* ins = box->GetDToolWnd()->Dock(toolbox::kInstrument);
  ASSERT_TRUE(ens && ins);
  EXPECT_TRUE(ens->isVisible());
  EXPECT_TRUE(ins->isVisible());
  EXPECT_NE(ens->findChild<QWidget*>(QStringLiteral("ctl3501")), nullptr) << "tempo is the last of the ensemble bar";
  EXPECT_NE(ins->findChild<QWidget*>(QStringLiteral("ctl3741")), nullptr);
  EXPECT_EQ(ins->findChild<QWidget*>(QStringLiteral("ctl3583")), nullptr);
  EXPECT_TRUE(box->AreHintsShown());
  EXPECT_TRUE(Down(boxid::kHints));
  EXPECT_EQ(MenuText(cmd::kShowHints), "Hide &Hints\tCtrl+H");
  EXPECT_EQ(Gadget(boxid::kRunStop)->toolTip(), "Run/Stop Audio (Num 0)");
  EXPECT_TRUE(Down(boxid::kClockStart)) << "the start-up settings start the clock";
  EXPECT_FALSE(Down(boxid::kClockStop));
  // The pictures have the sizes the bars are laid out for.
  EXPECT_EQ(Gadget(boxid::kInLeft)->size(), QSize(pictureid::kMeterCelWidth, pictureid::kMeterCelHeight));
  EXPECT_EQ(Gadget(boxid::kMidiLamp)->size(), QSize(pictureid::kLampCelWidth, pictureid::kLampCelHeight));
  Stop();
  EXPECT_EQ(ReadSettingInt(TStr(setting::ShowHints), 9), 1u);
  EXPECT_EQ(ReadSettingInt(TStr(setting::ShowEnsembleBox), 9), 1u);
  EXPECT_EQ(ReadSettingInt(TStr(setting::ShowInstrumentBox), 9), 1u);
  EXPECT_EQ(ReadSettingInt(TStr(setting::ShowCtrlBox), 9), 1u);
}

TEST_F(CtrlBoxTest, StoredSettingsComeBackAfterTheDoubleHintToggle) {
  WriteSettingInt(TStr(setting::ShowHints), 0);
  WriteSettingInt(TStr(setting::ShowEnsembleBox), 0);
  Start();
  EXPECT_FALSE(box->AreHintsShown());
  EXPECT_FALSE(Down(boxid::kHints));
  EXPECT_EQ(MenuText(cmd::kShowHints), "Show &Hints\tCtrl+H");
  EXPECT_TRUE(Gadget(boxid::kRunStop)->toolTip().isEmpty());
  EXPECT_FALSE(box->IsEnsembleBoxShown());
  EXPECT_FALSE(box->GetDToolWnd()->Dock(toolbox::kEnsemble)->isVisible());
  EXPECT_EQ(MenuText(cmd::kEnsembleToolbar), "Show &Ensemble Toolbar");
  // The menu commands reach the box.
  int r = 0;
  app->Command(cmd::kShowHints, command_mode::kRun, r);
  EXPECT_TRUE(box->AreHintsShown());
  EXPECT_EQ(MenuText(cmd::kShowHints), "Hide &Hints\tCtrl+H");
  EXPECT_EQ(Gadget(boxid::kRunStop)->toolTip(), "Run/Stop Audio (Num 0)");
  app->Command(cmd::kEnsembleToolbar, command_mode::kRun, r);
  EXPECT_TRUE(box->IsEnsembleBoxShown());
  EXPECT_EQ(MenuText(cmd::kEnsembleToolbar), "Hide &Ensemble Toolbar");
  app->Command(cmd::kInstrumentToolbar, command_mode::kRun, r);
  EXPECT_EQ(MenuText(cmd::kInstrumentToolbar), "Show &Instrument Toolbar");
  Stop();
  EXPECT_EQ(ReadSettingInt(TStr(setting::ShowInstrumentBox), 9), 0u);
  EXPECT_EQ(ReadSettingInt(TStr(setting::ShowHints), 9), 1u);
}

TEST_F(CtrlBoxTest, ClosingABarByItsOwnMeansIsRemembered) {
  Start();
  box->GetDToolWnd()->Dock(toolbox::kEnsemble)->close();
  EXPECT_FALSE(box->IsEnsembleBoxShown());
  EXPECT_EQ(MenuText(cmd::kEnsembleToolbar), "Show &Ensemble Toolbar");
  Stop();
  EXPECT_EQ(ReadSettingInt(TStr(setting::ShowEnsembleBox), 9), 0u);
}

TEST_F(CtrlBoxTest, PeriodicUpdateShowsLevelsAndUsageEveryTenthTick) {
  Start();
  ScriptedAudio* a = lastAudio;
  a->levels[0] = 0.01f;     // -40 dB: frame 2
  a->levels[1] = 0.00999f;  // below: frame 1
  a->levels[2] = 1.0f;      // full scale: frame 6
  a->levels[3] = 0.2f;      // frame 4
  a->usage = 12.345f;
  const int ticksBefore = a->tickUsage;
  for (int i = 0; i < TCtrlBox::kUsageTicks - 1; ++i) ticker->Tick();
  EXPECT_EQ(a->tickUsage, ticksBefore);
  EXPECT_TRUE(Text(boxid::kUsage).isEmpty());
  ticker->Tick();
  EXPECT_EQ(Text(boxid::kUsage), " 12.3");
  EXPECT_EQ(a->tickUsage, ticksBefore + 1);
  auto cel = [&](int32_t id) {
    auto* l = qobject_cast<QLabel*>(Gadget(id));
    return l->pixmap().toImage();
  };
  const QImage strip = DrawPicture(pictureid::kMeter);
  auto celOf = [&](int frame) {
    return strip.copy(frame * pictureid::kMeterCelWidth, 0, pictureid::kMeterCelWidth, pictureid::kMeterCelHeight)
        .convertToFormat(QImage::Format_RGB32);
  };
  EXPECT_EQ(cel(boxid::kInLeft).convertToFormat(QImage::Format_RGB32), celOf(2));
  EXPECT_EQ(cel(boxid::kInRight).convertToFormat(QImage::Format_RGB32), celOf(1));
  EXPECT_EQ(cel(boxid::kOutLeft).convertToFormat(QImage::Format_RGB32), celOf(6));
  EXPECT_EQ(cel(boxid::kOutRight).convertToFormat(QImage::Format_RGB32), celOf(4));
  // Over the maximum: "Over" every tick, the usage ticked every tenth.
  a->over = true;
  ticker->Tick();
  EXPECT_EQ(Text(boxid::kUsage), "Over");
  for (int i = 0; i < TCtrlBox::kUsageTicks - 1; ++i) ticker->Tick();
  EXPECT_EQ(a->tickUsage, ticksBefore + 2);
  // Without inputs the input meters are off.
  a->over = false;
  a->inputs = 0;
  ticker->Tick();
  EXPECT_EQ(cel(boxid::kInLeft).convertToFormat(QImage::Format_RGB32), celOf(0));
  EXPECT_EQ(cel(boxid::kOutLeft).convertToFormat(QImage::Format_RGB32), celOf(6));
  // A driver without outputs: "Off", every meter off.
  a->outputs = 0;
  ticker->Tick();
  EXPECT_EQ(Text(boxid::kUsage), "Off");
  EXPECT_EQ(cel(boxid::kOutLeft).convertToFormat(QImage::Format_RGB32), celOf(0));
}

TEST_F(CtrlBoxTest, MidiLampsLightForOneTickAfterActivity) {
  Start();
  const QImage lamp = DrawPicture(pictureid::kLamp);
  auto lit = [&](int32_t id) {
    auto* l = qobject_cast<QLabel*>(Gadget(id));
    return l->pixmap().toImage().convertToFormat(QImage::Format_ARGB32_Premultiplied) ==
           lamp.copy(pictureid::kLampCelWidth, 0, pictureid::kLampCelWidth, pictureid::kLampCelHeight)
               .convertToFormat(QImage::Format_ARGB32_Premultiplied);
  };
  lastMidi->in = 1;
  ticker->Tick();
  EXPECT_TRUE(lit(boxid::kMidiLamp));
  EXPECT_FALSE(lit(boxid::kInstrLamp));
  lastMidi->instr = 1;
  ticker->Tick();
  EXPECT_FALSE(lit(boxid::kMidiLamp));
  EXPECT_TRUE(lit(boxid::kInstrLamp));
}

TEST_F(CtrlBoxTest, RunStopPausesAndRebuildsTheEngine) {
  Start();
  ScriptedAudio* a = lastAudio;
  EXPECT_TRUE(box->IsAudioRunning());
  EXPECT_TRUE(Down(boxid::kRunStop));
  int r = 0;
  app->Command(cmd::kStopAudio, command_mode::kRun, r);
  EXPECT_FALSE(box->IsAudioRunning());
  EXPECT_FALSE(app->IsAudioRunning());
  EXPECT_TRUE(a->IsPaused());
  EXPECT_FALSE(Down(boxid::kRunStop));
  EXPECT_EQ(MenuText(cmd::kStopAudio), "Run &Audio\tNum 0");
  ticker->Tick();
  EXPECT_TRUE(Text(boxid::kUsage).isEmpty());
  box->RunStopAudio();
  EXPECT_TRUE(box->IsAudioRunning());
  EXPECT_FALSE(a->IsPaused());
  EXPECT_TRUE(Down(boxid::kRunStop));
  EXPECT_EQ(MenuText(cmd::kStopAudio), "Stop &Audio\tNum 0");
  // The overload reaction of the ensemble switches audio off through the box.
  app->SwitchAudioOff();
  EXPECT_FALSE(box->IsAudioRunning());
}

TEST_F(CtrlBoxTest, SampleRateListShowsTheRatesAndRecordsOneStepPerChoice) {
  Start();
  auto* combo = qobject_cast<QComboBox*>(Gadget(boxid::kRate));
  ASSERT_NE(combo, nullptr);
  ASSERT_EQ(combo->count(), 6);
  const char* texts[] = {"22050", "33075", "44100", "66150", "88200", "132300"};
  for (int i = 0; i < 6; ++i) EXPECT_EQ(combo->itemText(i), texts[i]);
  Ens()->SetRateFactor(0.5f);
  EXPECT_EQ(combo->currentIndex(), 0);
  Ens()->SetRateFactor(1.25f); // not one of the six: the list stays
  EXPECT_EQ(combo->currentIndex(), 0);
  const int32_t before = Steps();
  combo->setCurrentIndex(2);
  emit combo->activated(2);
  EXPECT_EQ(Ens()->GetRateFactor(), 1.0f);
  EXPECT_EQ(Steps(), before + 1);
  EXPECT_EQ(std::string(Ens()->GetFiles()->GetUndo().GetUndoText().CStr()).find("Sample Rate") != std::string::npos,
            true);
}

TEST_F(CtrlBoxTest, SaveButtonFollowsTheCleanState) {
  Start();
  EXPECT_FALSE(Enabled(boxid::kSave)) << "clean right after the ensemble was made";
  Ens()->MarkModified();
  Settle();
  EXPECT_TRUE(Enabled(boxid::kSave));
  box->Refresh(2); // unknown flags do nothing
  EXPECT_TRUE(Enabled(boxid::kSave));
}

TEST_F(CtrlBoxTest, InstrumentListWalksTheTreeTopFirst) {
  Start();
  KSModul* a = AddInstrument(Top(), "Alpha");
  ASSERT_NE(a, nullptr);
  KSModul* b = AddInstrument(a, "Beta");
  ASSERT_NE(b, nullptr);
  box->SetInstr(b->GetOwnInstr(), nullptr);
  auto* combo = qobject_cast<QComboBox*>(Gadget(boxid::kInstrList));
  ASSERT_EQ(combo->count(), 3);
  EXPECT_EQ(combo->itemText(0), QString::fromUtf8(Top()->GetLabel().CStr()));
  EXPECT_EQ(combo->itemText(1), "Alpha");
  EXPECT_EQ(combo->itemText(2), "Beta");
  EXPECT_EQ(combo->currentIndex(), 2);
  EXPECT_TRUE(Enabled(boxid::kSolo));
  // Choosing an entry selects that module alone and makes it current.
  b->Select();
  combo->setCurrentIndex(1);
  emit combo->activated(1);
  EXPECT_EQ(box->GetInstr(), a->GetOwnInstr());
  EXPECT_TRUE(a->IsSelected());
  EXPECT_FALSE(b->IsSelected());
  // The top instrument cannot be soloed.
  combo->setCurrentIndex(0);
  emit combo->activated(0);
  EXPECT_EQ(box->GetInstr(), Ens()->GetTopInstr());
  EXPECT_FALSE(Enabled(boxid::kSolo));
  EXPECT_TRUE(Enabled(boxid::kMute));
}

TEST_F(CtrlBoxTest, SetInstrRefreshesOnlyForANewPair) {
  Start();
  KSModul* a = AddInstrument(Top(), "Alpha");
  box->SetInstr(a->GetOwnInstr(), nullptr);
  auto* combo = qobject_cast<QComboBox*>(Gadget(boxid::kInstrList));
  ASSERT_EQ(combo->count(), 2);
  a->SetLabel(TStr("Renamed"));
  box->SetInstr(a->GetOwnInstr(), nullptr);
  EXPECT_EQ(combo->itemText(1), "Alpha") << "the same pair: no refresh";
  int tag = 0;
  box->SetInstr(a->GetOwnInstr(), &tag);
  EXPECT_EQ(combo->itemText(1), "Renamed") << "another window tag refreshes";
}

TEST_F(CtrlBoxTest, WithoutAnInstrumentTheBarIsDisabledAndEmpty) {
  Start();
  KSModul* a = AddInstrument(Top(), "Alpha");
  box->SetInstr(a->GetOwnInstr(), nullptr);
  EXPECT_TRUE(Enabled(boxid::kGotoPanel));
  EXPECT_EQ(Text(boxid::kVoices), QString::number(a->GetOwnInstr()->GetVoices()));
  // Deleting the current instrument makes the ensemble forget it: nothing of
  // the bar may reach it afterwards.
  Top()->DeleteChild(a);
  EXPECT_EQ(box->GetInstr(), nullptr);
  for (int32_t id : {boxid::kInstrList, boxid::kGotoPanel, boxid::kGotoStructure, boxid::kInfo, boxid::kProperties,
                     boxid::kSolo, boxid::kMute, boxid::kLock, boxid::kSnapList, boxid::kSnapDialog,
                     boxid::kSnapReload, boxid::kLearn, boxid::kVoicesSpin, boxid::kUnisonSpin,
                     boxid::kChannelSpin})
    EXPECT_FALSE(Enabled(id)) << id;
  EXPECT_TRUE(Text(boxid::kVoices).isEmpty());
  EXPECT_TRUE(Text(boxid::kChannel).isEmpty());
  // A handler run anyway does nothing.
  box->MuteClicked();
  box->VoicesChanged();
  box->OpenProperties();
}

TEST_F(CtrlBoxTest, ValueFieldsTruncateAndTheInstrumentClamps) {
  Start();
  KSModul* a = AddInstrument(Top(), "Alpha");
  KInstr* instr = a->GetOwnInstr();
  box->SetInstr(instr, nullptr);
  const int32_t before = Steps();
  box->voices_->SetValue(2.9f);
  box->VoicesChanged();
  EXPECT_EQ(instr->GetVoices(), 2);
  EXPECT_EQ(Text(boxid::kVoices), "2");
  box->unison_->SetValue(5.0f);
  box->UnisonChanged();
  EXPECT_EQ(instr->GetMaxUnison(), 2) << "held to the voices";
  EXPECT_EQ(Text(boxid::kUnison), "2");
  box->channel_->SetValue(40.0f);
  box->ChannelChanged();
  EXPECT_EQ(instr->GetMidiChannel(), 16);
  EXPECT_EQ(Text(boxid::kChannel), "16");
  EXPECT_EQ(Steps(), before + 3);
}

TEST_F(CtrlBoxTest, SoloMuteLockAndLearnToggle) {
  Start();
  KSModul* a = AddInstrument(Top(), "Alpha");
  box->SetInstr(a->GetOwnInstr(), nullptr);
  box->MuteClicked();
  EXPECT_TRUE(a->IsMuted());
  EXPECT_TRUE(Down(boxid::kMute));
  box->MuteClicked();
  EXPECT_FALSE(a->IsMuted());
  box->LockClicked();
  EXPECT_TRUE(a->IsPanelLocked());
  EXPECT_TRUE(Down(boxid::kLock));
  box->SoloClicked();
  EXPECT_TRUE(a->IsSolo());
  EXPECT_TRUE(Down(boxid::kSolo));
  box->SoloClicked();
  EXPECT_FALSE(a->IsSolo());
  box->LearnClicked();
  EXPECT_TRUE(a->GetOwnInstr()->GetControllerMode());
  EXPECT_TRUE(Down(boxid::kLearn));
}

TEST_F(CtrlBoxTest, SnapshotListShowsStoredSlotsAndRecalls) {
  Start();
  KSModul* a = AddInstrument(Top(), "Alpha");
  KInstr* instr = a->GetOwnInstr();
  instr->StoreSnap(3, TStr("Soft"));
  instr->StoreSnap(10, TStr("Loud"));
  box->SetInstr(instr, nullptr);
  auto* combo = qobject_cast<QComboBox*>(Gadget(boxid::kSnapList));
  ASSERT_EQ(combo->count(), 2);
  EXPECT_EQ(combo->itemText(0), "4 - Soft");
  EXPECT_EQ(combo->itemText(1), "11 - Loud");
  EXPECT_EQ(combo->currentIndex(), 1) << "snapshot 11 is current";
  instr->RecallSnap(5, nullptr, false); // not stored: current, but not listed
  box->PostRefresh();
  Settle();
  EXPECT_EQ(combo->currentIndex(), 0);
  combo->setCurrentIndex(1);
  emit combo->activated(1);
  EXPECT_EQ(instr->GetCurrentSnap(), 10);
}

TEST_F(CtrlBoxTest, BarsLookRight) {
  Start();
  KSModul* a = AddInstrument(Top(), "Lead Synth");
  a->GetOwnInstr()->StoreSnap(0, TStr("Init"));
  box->SetInstr(a->GetOwnInstr(), nullptr);
  lastAudio->levels[0] = lastAudio->levels[1] = 0.05f;
  lastAudio->levels[2] = 0.4f;
  lastAudio->levels[3] = 1.2f;
  lastAudio->usage = 7.5f;
  lastMidi->in = 1;
  for (int i = 0; i < TCtrlBox::kUsageTicks; ++i) ticker->Tick();
  lastMidi->in = 1;
  ticker->Tick();
  dapp->MainFrame()->resize(1000, 300); // wide enough for the instrument bar in one row
  Settle();
  const QImage shot = dapp->MainFrame()->grab().toImage();
  skytest::SaveShot(shot, "ctrlbox_main.png");
  skytest::SaveShot(box->GetDToolWnd()->Dock(toolbox::kEnsemble)->grab().toImage(), "ctrlbox_ensemble.png");
  skytest::SaveShot(box->GetDToolWnd()->Dock(toolbox::kInstrument)->grab().toImage(), "ctrlbox_instrument.png");
  EXPECT_FALSE(shot.isNull());
  // Every gadget of a bar lies inside its dock: nothing is cut off.
  for (int b : {toolbox::kEnsemble, toolbox::kInstrument}) {
    QDockWidget* dock = box->GetDToolWnd()->Dock(b);
    for (QWidget* w : dock->findChildren<QWidget*>()) {
      if (!w->objectName().startsWith(QStringLiteral("ctl")) || !w->isVisible()) continue;
      const QRect r(w->mapTo(dock, QPoint(0, 0)), w->size());
      EXPECT_TRUE(dock->rect().contains(r)) << w->objectName().toStdString();
    }
  }
}

} // namespace
