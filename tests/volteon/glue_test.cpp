// The running program does its own glue: what the audio, MIDI and driver
// threads hand to the GUI thread runs there while the program's event loop
// runs (check marks, overloads, control views, switches, a lost sound
// device), External Sync shows on the tempo, every way of opening shows its
// window, the computer keyboard plays after every way of opening a file, and
// a chosen card that does not answer is explained at start-up.
//
// Each test starts the program as its main does and lets the event loop run;
// fakes stand only at the device edge (the offline driver's blocks, fake
// wave devices, the scripted message boxes and file dialogs).
#include "src/volteon/volteon.h"

#include "pc/audio/aw8.h"
#include "pc/audio/mme.h"
#include "pc/sky/app.h"
#include "pc/sky/mdi.h"
#include "src/base/settings.h"
#include "src/engine/audioio.h"
#include "src/engine/module_types.h"
#include "src/engine/offline.h"
#include "src/midi/midi.h"
#include "src/mod/ensemble.h"
#include "src/mod/ensfile.h"
#include "src/mod/instr.h"
#include "src/mod/mod.h"
#include "src/mod/modfile.h"
#include "src/mod/port.h"
#include "src/mod/undo.h"
#include "src/volteon/ctrlbox.h"
#include "src/volteon/ctrlview.h"
#include "src/volteon/drvprp/drvprp.h"
#include "src/volteon/strucwnd.h"
#include "tests/common/testkit.h"
#include "tests/drivers/driver_rig.h"
#include "tests/sky/skyfixture.h"
#include "tests/volteon/appfixture.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QDialog>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QKeyEvent>
#include <QLabel>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QTimer>

#include <atomic>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <thread>
#include <vector>

namespace {

namespace fs = std::filesystem;

// How long a test lets the event loop run for what it waits on: many times
// one tick of the GUI timer, well inside the test's timeout.
constexpr qint64 kPatienceMs = 10000;
constexpr int32_t kScanZ = 0x2C;
constexpr int kLeft = 0, kRight = 1, kChannels = 2;
// Frames the offline device plays per look at the output.
constexpr int32_t kListenFrames = 4410;
const char* kFolderSettings[] = {setting::InstrDir,     setting::MacroDir,     setting::EnsWorkDir,
                                 setting::InstrWorkDir, setting::MacroWorkDir, setting::AudioWorkDir,
                                 setting::EditorPath,   setting::LastEnsPath,  setting::AudioPort,
                                 setting::UndoNo};

// Lets the program's event loop run until `done` holds; false when the
// patience ran out first.
bool RunUntil(const std::function<bool()>& done, qint64 patienceMs = kPatienceMs) {
  QElapsedTimer patience;
  patience.start();
  while (!done()) {
    if (patience.elapsed() > patienceMs) return false;
    QEventLoop loop;
    QTimer::singleShot(5, &loop, &QEventLoop::quit);
    loop.exec();
  }
  return true;
}

// Lets the event loop run for a number of ticks of the GUI timer.
void RunTicks(int ticks) {
  QElapsedTimer t;
  t.start();
  RunUntil([&] { return t.elapsed() >= qint64(ticks) * TVolteon::kPostedWorkMs; });
}

double Rms(const std::vector<float>& v) {
  if (v.empty()) return 0.0;
  double sum = 0.0;
  for (float x : v) sum += double(x) * x;
  return std::sqrt(sum / double(v.size()));
}

class Glue : public ::testing::Test {
protected:
  void SetUp() override {
    OpenSettings("GlueTest");
    for (const char* name : kFolderSettings) DeleteSetting(TStr(name));
    install = testkit::TempDir("glue-install");
    OverrideProgramPath(TStr((install + "/bin/Quorvex").c_str()));
    fs::create_directories(install + "/bin");
    fs::copy_file(QV_BUILD_TREE "/bin/new.ens", install + "/bin/new.ens");
    for (const char* lib : {"Ensembles", "Instruments", "Macros"}) fs::create_directories(install + "/Library/" + lib);
    work = testkit::TempDir("glue-work");
    WriteSettingStr(TStr(setting::TmpDir), TStr(testkit::TempDir("glue-tmp").c_str()));
    WriteSettingInt(TStr(setting::UndoEnabled), 1);
    RegisterMainMenu();
  }
  void TearDown() override { Close(); }

  void Start() { dapp = apptest::StartOffline(app); }
  void Close() {
    dapp.reset();
    app = nullptr;
    apptest::Settle();
  }

  KEnsemble* Ens() { return app->GetEnsemble(); }
  KSModul* Top() { return Ens()->GetTopModule(); }
  TOfflineAudio* Device() { return dynamic_cast<TOfflineAudio*>(Ens()->GetAudio()); }
  QMenuBar* Bar() { return dapp->MainFrame()->menuBar(); }
  QAction* Action(int32_t id) { return skytest::ActionOf(Bar(), id); }
  bool Checked(int32_t id) {
    QAction* a = Action(id);
    return a && a->isChecked();
  }
  // A main-menu item, chosen as the user chooses it.
  void Menu(int32_t id) { apptest::ChooseMenuItem(Bar(), id); }
  // The text the control box's tempo field shows.
  std::string TempoText() {
    auto* label = dapp->MainFrame()->findChild<QLabel*>(QStringLiteral("ctl%1").arg(boxid::kTempo));
    return label ? label->text().toStdString() : std::string("(no tempo field)");
  }

  // A module of a type inserted into a structure, in a structure change as
  // the Insert menu does it.
  KSModul* Insert(KSModul* into, TModuleType type) {
    TStructureChange change(into);
    return into->InsertModule(type, kPlaceNext);
  }
  // The Audio Out's n-th audio in-port (its first ones take events).
  KInPort* AudioOutIn(int n) {
    KSModul* out = Ens()->GetAudioOutModule();
    for (int32_t i = 0; out && i < out->GetInPortCount(); ++i)
      if (IsAudioKind(out->GetInPort(i)->GetKind()) && n-- == 0) return out->GetInPort(i);
    return nullptr;
  }
  void Wire(KOutPort* from, KInPort* to) {
    ASSERT_TRUE(from && to);
    TStructureChange change(Top());
    ASSERT_EQ(to->Connect(from), 0);
  }
  // The keyboard's voice on the right channel (the note's pitch and its gate
  // on a Sawtooth) and a Sawtooth wired straight to the left one, saved as
  // the user's file.
  std::string SaveKeyboardEnsemble() {
    KSModul* pitch = Insert(Top(), kTypeNotePitch);
    KSModul* gate = Insert(Top(), kTypeGate);
    KSModul* voice = Insert(Top(), kTypeSawtooth);
    KSModul* drone = Insert(Top(), kTypeSawtooth);
    KSModul* dronePitch = Insert(Top(), kTypeFader);
    KSModul* droneLevel = Insert(Top(), kTypeFader);
    EXPECT_TRUE(pitch && gate && voice && drone && dronePitch && droneLevel);
    if (!(pitch && gate && voice && drone && dronePitch && droneLevel)) return std::string();
    Wire(pitch->GetOutPort(0), voice->GetInPort(0));
    Wire(gate->GetOutPort(0), voice->GetInPort(1));
    Wire(voice->GetOutPort(0), AudioOutIn(kRight));
    Wire(dronePitch->GetOutPort(0), drone->GetInPort(0));
    Wire(droneLevel->GetOutPort(0), drone->GetInPort(1));
    Wire(drone->GetOutPort(0), AudioOutIn(kLeft));
    dronePitch->SetControlStep(60);
    droneLevel->SetControlStep(100);
    const std::string path = work + "/Keyboard.ens";
    EPtr<IFileName> name(CreateFileName());
    name->SetPath(TStr(path.c_str()));
    EXPECT_TRUE(app->SaveTo(name.Get()));
    return path;
  }
  // A key of the computer keyboard, as the window system delivers it to the
  // window that has the focus.
  void Key(int key, bool down) {
    QWidget* target = QApplication::focusWidget();
    if (!target) target = GetDApp()->MainFrame();
    QKeyEvent e(down ? QEvent::KeyPress : QEvent::KeyRelease, key, Qt::NoModifier);
    QApplication::sendEvent(target, &e);
    apptest::Settle();
  }
  // What the offline device plays next on one channel.
  std::vector<float> Listen(int channel) {
    TOfflineAudio* d = Device();
    if (!d) return {};
    for (int c = 0; c < kChannels; ++c) d->EnableOutput(c);
    std::vector<float> out(size_t(kListenFrames) * kChannels);
    d->Render(nullptr, out.data(), kListenFrames);
    std::vector<float> one;
    for (size_t i = size_t(channel); i < out.size(); i += kChannels) one.push_back(out[i]);
    return one;
  }
  // Holds Z: the level of the keyboard's voice while it is held, and of the
  // left channel's Sawtooth at the same time.
  struct Heard {
    double voice = 0.0, drone = 0.0;
  };
  Heard HoldZ() {
    Heard h;
    // The user clicks into the top structure window and plays there.
    TStructWnd* w = AsStructWnd(Top()->GetStructWnd());
    EXPECT_NE(w, nullptr) << "the top structure window is open";
    if (w) {
      auto* frame = qobject_cast<QMdiSubWindow*>(w->GetDWnd()->parentWidget());
      GetDApp()->MainFrame()->activateWindow();
      if (frame) GetDApp()->Client()->setActiveSubWindow(frame);
      w->GetDWnd()->setFocus();
      apptest::Settle();
    }
    Listen(kRight); // what sounded before the key
    Key(Qt::Key_Z, true);
    EXPECT_NE(app->HeldNote(kScanZ), -1) << "the key reached the keyboard player";
    TOfflineAudio* d = Device();
    if (!d) return h;
    for (int c = 0; c < kChannels; ++c) d->EnableOutput(c);
    std::vector<float> out(size_t(kListenFrames) * kChannels);
    d->Render(nullptr, out.data(), kListenFrames);
    std::vector<float> left, right;
    for (size_t i = 0; i < out.size(); i += kChannels) {
      left.push_back(out[i + kLeft]);
      right.push_back(out[i + kRight]);
    }
    h.voice = Rms(right);
    h.drone = Rms(left);
    Key(Qt::Key_Z, false);
    return h;
  }

  testkit::ScriptedHost gui;
  std::string install, work;
  std::unique_ptr<DApp> dapp;
  TVolteon* app = nullptr;
};

// ---------------------------------------------------------------------------
// Work handed to the GUI thread

TEST_F(Glue, ClockStartAndStopMoveTheirCheckMarks) {
  Start();
  Menu(cmd::kClockStop);
  EXPECT_TRUE(RunUntil([&] { return Checked(cmd::kClockStop) && !Checked(cmd::kClockStart); }))
      << "Clock Stop is checked, Clock Start not";
  Menu(cmd::kClockStart);
  EXPECT_TRUE(RunUntil([&] { return Checked(cmd::kClockStart) && !Checked(cmd::kClockStop); }))
      << "Clock Start is checked, Clock Stop not";
}

// The usage guard trips on the audio thread (a machine too slow for the
// ensemble: any usage is above a maximum of 0 %). The running program takes
// a voice from an instrument that allows it; with none left, it stops audio
// with its message.
TEST_F(Glue, AnOverloadOnTheAudioThreadReducesVoicesThenStopsAudioWithItsMessage) {
  Start();
  KSModul* synth = Insert(Top(), kTypeInstrument);
  ASSERT_NE(synth, nullptr);
  synth->SetAutoVoiceReduction(true);
  synth->GetOwnInstr()->SetVoices(2, -1, -1);
  KSModul* saw = Insert(Top(), kTypeSawtooth);
  ASSERT_NE(saw, nullptr);
  Wire(saw->GetOutPort(0), AudioOutIn(kLeft));
  ICtrlBox* box = app->GetCtrlBox();
  ASSERT_NE(box, nullptr);
  ASSERT_TRUE(box->IsAudioRunning());
  const int32_t maxUsage = GetMaxUsage();
  SetMaxUsage(0);
  auto overload = [&] {
    // The device's own thread plays blocks until the guard trips.
    std::thread audio([&] {
      std::vector<float> out(size_t(4096) * kChannels);
      for (int i = 0; i < 40; ++i) Device()->Render(nullptr, out.data(), 4096);
    });
    audio.join();
  };
  overload();
  EXPECT_TRUE(RunUntil([&] { return synth->GetOwnInstr()->GetVoices() == 1; })) << "one voice less";
  EXPECT_TRUE(box->IsAudioRunning());
  EXPECT_TRUE(gui.Boxes().empty());
  gui.QueueAnswer(0);
  overload();
  EXPECT_TRUE(RunUntil([&] { return !gui.Boxes().empty(); })) << "nothing left to reduce: the message";
  ASSERT_EQ(gui.Boxes().size(), 1u);
  EXPECT_EQ(gui.Boxes()[0].text.rfind("Processor Overload!  Audio processing has been stopped.", 0), 0u)
      << gui.Boxes()[0].text;
  EXPECT_FALSE(box->IsAudioRunning()) << "audio is switched off";
  SetMaxUsage(maxUsage);
  Menu(cmd::kStopAudio); // the user switches it on again
  EXPECT_TRUE(box->IsAudioRunning());
  EXPECT_FALSE(Device()->IsPaused());
}

// A fader set on another thread (MIDI input) is redrawn on the panel, and
// so is every later change: one request never blocks the next.
TEST_F(Glue, ControlsChangedOnAnotherThreadAreRedrawnEveryTime) {
  Start();
  KSModul* fader = Insert(Top(), kTypeFader);
  ASSERT_NE(fader, nullptr);
  Top()->OpenPanel(false);
  apptest::Settle();
  auto* view = dynamic_cast<TCtrlView*>(fader->GetEnsCtrlView());
  ASSERT_NE(view, nullptr) << "the fader shows on the ensemble panel";
  for (int32_t step : {10, 90, 33}) {
    const int32_t before = view->GetRedrawCount();
    std::thread midi([&] { fader->SetControlStep(step); });
    midi.join();
    EXPECT_TRUE(RunUntil([&] { return view->GetRedrawCount() > before && fader->GetCtrlState() == 0; }))
        << "step " << step << " is drawn";
    EXPECT_EQ(fader->GetControlStep(), step);
  }
  // A thousand changes while the GUI thread is busy elsewhere: one redraw
  // is on its way, and the running program draws it once.
  const int32_t before = view->GetRedrawCount();
  std::thread midi([&] {
    for (int i = 0; i < 1000; ++i) fader->SetControlStep(i % 128);
  });
  midi.join();
  EXPECT_TRUE(RunUntil([&] { return view->GetRedrawCount() > before && fader->GetCtrlState() == 0; }));
  RunTicks(3);
  EXPECT_EQ(view->GetRedrawCount(), before + 1);
  EXPECT_EQ(fader->GetControlStep(), 999 % 128);
}

// A switch under MIDI remote control, moved by controller messages on the
// MIDI thread: its inputs are chosen again on the GUI thread, each time.
TEST_F(Glue, ASwitchMovedByMidiChoosesItsInputAgain) {
  Start();
  constexpr int32_t kController = 20, kControllerKind = 3, kChannel = 0;
  KSModul* sw = Insert(Top(), kTypeAudioSwitch3);
  ASSERT_NE(sw, nullptr);
  ASSERT_EQ(sw->GetInPortCount(), 3);
  {
    TStructureChange change(sw);
    sw->SetRemote(true);
    sw->SetRemoteKind(0);
    sw->SetControllerNo(kController);
  }
  auto* midi = dynamic_cast<TMidiInOut*>(Ens()->GetMidi());
  ASSERT_NE(midi, nullptr);
  // The in-port the switch follows: it marks exactly one.
  auto followed = [&] {
    int32_t found = -1, count = 0;
    for (int32_t i = 0; i < sw->GetInPortCount(); ++i)
      if (!sw->GetInPort(i)->IsDeselected()) {
        found = i;
        ++count;
      }
    return count == 1 ? found : -1;
  };
  for (int32_t value : {64, 127, 0}) {
    const int32_t before = followed();
    std::thread midiThread([&] { midi->Receive(kControllerKind, kChannel, kController, value); });
    midiThread.join();
    EXPECT_TRUE(RunUntil([&] { return followed() != -1 && followed() != before; }))
        << "controller value " << value << ": the switch follows another input";
    EXPECT_EQ(followed(), sw->GetInPortCount() - 1 - sw->GetControlStep()) << "the input of its step";
  }
}

// ---------------------------------------------------------------------------
// External Sync

TEST_F(Glue, ExternalSyncShowsOnTheTempo) {
  Start();
  RunTicks(2);
  EXPECT_EQ(TempoText(), "120");
  EXPECT_FALSE(Checked(cmd::kExternalSync));
  Menu(cmd::kExternalSync);
  EXPECT_EQ(TempoText(), "120 ext");
  EXPECT_TRUE(Checked(cmd::kExternalSync));
  Menu(cmd::kExternalSync);
  EXPECT_EQ(TempoText(), "120");
  EXPECT_FALSE(Checked(cmd::kExternalSync));
}

// ---------------------------------------------------------------------------
// Every open path shows its window

TEST_F(Glue, AMissingTemplateShowsTheEmptyEnsemblesStructure) {
  fs::remove(install + "/bin/new.ens");
  gui.QueueAnswer(0);
  Start();
  ASSERT_EQ(gui.Boxes().size(), 1u);
  EXPECT_NE(gui.Boxes()[0].caption.find("Error while reading ensemble file"), std::string::npos);
  EXPECT_NE(AsStructWnd(Top()->GetStructWnd()), nullptr) << "the empty ensemble's structure window opens";
  EXPECT_NE(Ens()->GetAudioOutModule(), nullptr);
}

TEST_F(Glue, AFileThatFailsToReadLeavesTheEmptyEnsemblesStructureOpen) {
  Start();
  // An ensemble cut short: it starts as one, and ends soon after.
  const std::string whole = SaveKeyboardEnsemble();
  const std::string cut = work + "/Cut.ens";
  fs::copy_file(whole, cut);
  constexpr uintmax_t kCutAt = 64;
  ASSERT_GT(fs::file_size(whole), kCutAt);
  fs::resize_file(cut, kCutAt);
  Menu(cmd::kCloseAllStructures);
  ASSERT_EQ(Top()->GetStructWnd(), nullptr);
  gui.QueueFileChoice(cut);
  gui.QueueAnswer(0);
  Menu(cmd::kOpen);
  ASSERT_EQ(gui.Boxes().size(), 1u);
  EXPECT_NE(gui.Boxes()[0].caption.find("Error while reading ensemble file"), std::string::npos);
  EXPECT_NE(AsStructWnd(Top()->GetStructWnd()), nullptr) << "the empty ensemble's structure window opens";
  EXPECT_NE(dapp->MainFrame()->windowTitle().toStdString().find("Untitled"), std::string::npos);
}

// An instrument file opened with File > Open goes through the top
// structure window: it opens, the audio pauses, the file is inserted with
// an undo step, the audio resumes.
TEST_F(Glue, AnInstrumentOpenedWithFileOpenIsInsertedThroughTheTopStructure) {
  Start();
  KSModul* synth = Insert(Top(), kTypeInstrument);
  ASSERT_NE(synth, nullptr);
  synth->SetLabel(TStr("Lead"));
  ASSERT_NE(Insert(synth, kTypeSawtooth), nullptr);
  const std::string path = work + "/Lead.ism";
  {
    EPtr<IFileName> name(CreateFileName());
    name->SetPath(TStr(path.c_str()));
    KModulFile::SaveModuleFile(*name, *synth, app->Files());
  }
  Menu(cmd::kNewEnsemble);
  Menu(cmd::kCloseAllStructures);
  ASSERT_EQ(Top()->GetStructWnd(), nullptr);
  const int32_t children = Top()->GetChildCount();
  const int32_t pauses = Device()->GetDeviceCalls(TOfflineAudio::kPauseCall);
  const int32_t resumes = Device()->GetDeviceCalls(TOfflineAudio::kResumeCall);
  gui.QueueFileChoice(path);
  Menu(cmd::kOpen);
  EXPECT_NE(AsStructWnd(Top()->GetStructWnd()), nullptr) << "the top structure window opens";
  ASSERT_EQ(Top()->GetChildCount(), children + 1);
  KSModul* inserted = Top()->GetChild(Top()->GetChildCount() - 1);
  EXPECT_EQ(std::string(inserted->GetLabel().CStr()), "Lead");
  EXPECT_NE(inserted->GetBoxView(), nullptr) << "its box shows in the window";
  EXPECT_GT(Device()->GetDeviceCalls(TOfflineAudio::kPauseCall), pauses) << "the audio paused";
  EXPECT_EQ(Device()->GetDeviceCalls(TOfflineAudio::kPauseCall) - pauses,
            Device()->GetDeviceCalls(TOfflineAudio::kResumeCall) - resumes)
      << "and resumed";
  EXPECT_FALSE(Device()->IsPaused());
  Menu(cmd::kUndo);
  EXPECT_EQ(Top()->GetChildCount(), children) << "one undo step takes the insert back";
  EXPECT_TRUE(gui.Boxes().empty());
}

// ---------------------------------------------------------------------------
// The computer keyboard after every way of opening a file

class Keyboard : public Glue {
protected:
  // Z sounds the keyboard's voice, and the Sawtooth on the left sounds on.
  void ExpectItPlays(const char* how) {
    const Heard h = HoldZ();
    EXPECT_GT(h.drone, 0.05) << how << ": the Sawtooth wired to the left channel sounds";
    EXPECT_GT(h.voice, 0.05) << how << ": the keyboard's voice sounds while Z is held";
  }
  // Builds and saves the file in a session of its own.
  std::string Prepare() {
    Start();
    const std::string path = SaveKeyboardEnsemble();
    ExpectItPlays("as built");
    Close();
    return path;
  }
};

TEST_F(Keyboard, PlaysAfterFileOpenAndAfterTheUndoThatFollows) {
  const std::string path = Prepare();
  Start();
  gui.QueueFileChoice(path);
  Menu(cmd::kOpen);
  ExpectItPlays("File > Open");
  Menu(cmd::kFactorHalf + 2); // a change the user can undo
  Menu(cmd::kUndo);
  ExpectItPlays("File > Open, a change and Undo");
  EXPECT_TRUE(gui.Boxes().empty());
}

// The README's road: Save As, then File > Open of the file just saved.
TEST_F(Keyboard, PlaysAfterFileOpenOfTheFileJustSaved) {
  Start();
  const std::string path = SaveKeyboardEnsemble();
  ExpectItPlays("as built");
  gui.QueueFileChoice(path);
  Menu(cmd::kOpen);
  ExpectItPlays("File > Open of the file just saved");
  EXPECT_TRUE(gui.Boxes().empty());
}

TEST_F(Keyboard, PlaysAfterARecentFile) {
  const std::string path = Prepare();
  Start();
  Menu(recent::kFirstEntryId);
  EXPECT_NE(dapp->MainFrame()->windowTitle().toStdString().find("Keyboard"), std::string::npos);
  ExpectItPlays("the recent file");
  EXPECT_TRUE(gui.Boxes().empty());
}

// Ctrl+O and Ctrl+Z: Ctrl goes down in the window, and when a dialog comes
// up before it is let go, its release goes to the window the dialog
// blocks and never reaches the keyboard player. The keys play on all the
// same: Ctrl alone would make them silent.
TEST_F(Keyboard, PlaysAfterCtrlWasLetGoWhileADialogStood) {
  Start();
  SaveKeyboardEnsemble();
  TStructWnd* w = AsStructWnd(Top()->GetStructWnd());
  ASSERT_NE(w, nullptr);
  QWidget* canvas = w->GetDWnd();
  canvas->setFocus();
  apptest::Settle();
  QKeyEvent ctrlDown(QEvent::KeyPress, Qt::Key_Control, Qt::ControlModifier);
  QApplication::sendEvent(canvas, &ctrlDown);
  // The dialog stands (System > Preferences...); meanwhile Ctrl is let go.
  bool stood = false;
  std::function<void()> whileItStands = [&] {
    auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
    if (!dialog) {
      QTimer::singleShot(10, whileItStands);
      return;
    }
    stood = true;
    QKeyEvent ctrlUp(QEvent::KeyRelease, Qt::Key_Control, Qt::NoModifier);
    QApplication::sendEvent(canvas, &ctrlUp);
    dialog->reject();
  };
  QTimer::singleShot(10, whileItStands);
  Menu(cmd::kPreferences);
  ASSERT_TRUE(stood);
  ExpectItPlays("after Ctrl was let go while a dialog stood");
}

// The undo file of a run that did not end is offered at the next start.
TEST_F(Keyboard, PlaysAfterTheRestoreOfACrashedRun) {
  const std::string path = Prepare();
  Start();
  gui.QueueFileChoice(path);
  Menu(cmd::kOpen);
  Menu(cmd::kFactorHalf + 2); // the step writes the ensemble as it was
  const std::string snapshot = Ens()->CrashSnapshotPath().CStr();
  ASSERT_TRUE(fs::exists(snapshot));
  const uint32_t number = ReadSettingInt(TStr(setting::UndoNo), 0xFFFFFFFFu);
  const std::string kept = work + "/kept-snapshot";
  fs::copy_file(snapshot, kept);
  Close();
  // What a run that ended without closing leaves behind.
  fs::copy_file(kept, snapshot, fs::copy_options::overwrite_existing);
  WriteSettingInt(TStr(setting::UndoNo), number);
  gui.QueueAnswer(0); // OK: restore
  Start();
  ASSERT_EQ(gui.Boxes().size(), 1u);
  EXPECT_NE(gui.Boxes()[0].text.find("did not terminate correctly"), std::string::npos) << gui.Boxes()[0].text;
  ExpectItPlays("the restore");
}

// The file named on the command line, the program started by its main.
TEST_F(Keyboard, PlaysAfterTheCommandLine) {
  std::string path = Prepare();
  std::vector<char> program{'Q', 'u', 'o', 'r', 'v', 'e', 'x', '\0'};
  std::vector<char> file(path.begin(), path.end());
  file.push_back('\0');
  char* argv[] = {program.data(), file.data()};
  std::unique_ptr<testkit::ScriptedHost> boxes;
  const int result = sky::RunMain(2, argv, [&]() -> IApp* {
    // The program's main shows real boxes; this run answers them.
    boxes = std::make_unique<testkit::ScriptedHost>();
    app = new TVolteon([](int32_t, IAudioOwner* owner) -> IAudioInOut* { return new TOfflineAudio(owner); });
    QTimer::singleShot(0, [&] {
      TVolteon* running = app;
      // The later tests of this program start without a file.
      running->GetCommandLineFile()->SetPath(TStr());
      EXPECT_NE(GetDApp()->MainFrame()->windowTitle().toStdString().find("Keyboard"), std::string::npos);
      ExpectItPlays("the command line");
      EXPECT_TRUE(boxes->Boxes().empty());
      running->Quit();
    });
    return app;
  });
  EXPECT_EQ(result, 0);
  boxes.reset();
  app = nullptr;
}

// ---------------------------------------------------------------------------
// The program on the machine's sound devices (fake wave devices, the
// driver's timer fired by the test)

class OnDevices : public Glue {
protected:
  void SetUp() override {
    Glue::SetUp();
    RegisterAudioWerk();
    RegisterMultiMedia();
    InstallDriverDialogs();
  }
  // The program goes before the devices it plays on.
  void TearDown() override {
    Close();
    machine.reset();
  }
  // Starts the program on the driver that the settings and the machine give.
  void StartOnDevices() {
    dapp = std::make_unique<DApp>([this] {
      app = new TVolteon();
      return app;
    });
    dapp->InitMainWindow();
    apptest::Settle();
  }
  struct Machine : driverrig::Machine {
    int32_t speakers;
    Machine() {
      speakers = waves.AddOutput("Speakers");
      ds.rings.AddDevice("Ring A");
      Install();
    }
  };
  Machine& MakeMachine() {
    machine.reset(); // its end uninstalls whatever machine is installed
    machine = std::make_unique<Machine>();
    return *machine;
  }
  std::unique_ptr<Machine> machine;
};

// The sound device goes away while it plays: the driver closes it and the
// user is told, by the running program, without anything else happening.
TEST_F(OnDevices, ASoundDeviceThatGoesAwayIsClosedAndTheUserTold) {
  Machine& m = MakeMachine();
  WriteSettingStr(TStr(setting::AudioPort), TStr("MultiMedia"));
  StartOnDevices();
  auto* driver = dynamic_cast<TMultiMedia*>(Ens()->GetAudio());
  ASSERT_NE(driver, nullptr) << "the sound driver runs";
  ASSERT_TRUE(m.waves.IsOpen(false, m.speakers));
  for (int t = 0; t < 20; ++t) {
    m.timer.Fire();
    m.waves.Advance(1024);
  }
  m.waves.Unplug(false, m.speakers);
  m.waves.Advance(10);
  ASSERT_TRUE(driver->SyncMessages());
  for (int t = 0; t < 20; ++t) m.timer.Fire();
  gui.QueueAnswer(0);
  EXPECT_TRUE(RunUntil([&] { return !gui.Boxes().empty(); })) << "the user is told";
  ASSERT_EQ(gui.Boxes().size(), 1u);
  EXPECT_NE(gui.Boxes()[0].text.find("\"MME: Speakers\" is no longer available"), std::string::npos)
      << gui.Boxes()[0].text;
  EXPECT_EQ(driver->GetOutPort(), 0) << "the lost device is no longer used";
  EXPECT_FALSE(m.waves.IsOpen(false, m.speakers));
}

// The ring of the bridge library stops playing while it plays (its device
// went away): the driver closes it and the user is told, as for a wave
// device; choosing the port again once the device is back plays again.
TEST_F(OnDevices, ARingWhoseDeviceGoesAwayIsClosedAndTheUserTold) {
  Machine& m = MakeMachine();
  WriteSettingStr(TStr(setting::AudioPort), TStr("MultiMedia"));
  WriteSettingStr(TStr(setting::MmeOutPort), TStr("DirectSound: Ring A"));
  StartOnDevices();
  auto* driver = dynamic_cast<TMultiMedia*>(Ens()->GetAudio());
  ASSERT_NE(driver, nullptr) << "the sound driver runs";
  const int32_t ringPort = driver->GetOutPort();
  ASSERT_EQ(driver->GetOutPortName(ringPort), TStr("DirectSound: Ring A"));
  ASSERT_NE(m.ds.rings.Current(), nullptr) << "the ring plays";
  // The ring plays on as the ticks fill it, a long while without a word.
  constexpr uint32_t kRingBytes = 256000, kTickBytes = 220 * 4;
  uint32_t cursor = 0;
  for (int t = 0; t < 2 * mme::kStallTicks; ++t) {
    m.timer.Fire();
    cursor = (cursor + kTickBytes) % kRingBytes;
    m.ds.rings.Current()->SetPlayCursor(cursor);
  }
  RunTicks(2);
  EXPECT_TRUE(gui.Boxes().empty()) << "a ring that plays is not lost";
  // Its device goes: the play position stays where it is.
  for (int t = 0; t < mme::kStallTicks + 10; ++t) m.timer.Fire();
  ASSERT_TRUE(driver->SyncMessages());
  gui.QueueAnswer(0);
  EXPECT_TRUE(RunUntil([&] { return !gui.Boxes().empty(); })) << "the user is told";
  ASSERT_EQ(gui.Boxes().size(), 1u);
  EXPECT_NE(gui.Boxes()[0].text.find("\"DirectSound: Ring A\" is no longer available"), std::string::npos)
      << gui.Boxes()[0].text;
  EXPECT_EQ(driver->GetOutPort(), 0) << "the lost device is no longer used";
  EXPECT_EQ(m.ds.rings.Current(), nullptr) << "the ring is closed";
  EXPECT_FALSE(m.timer.IsRunning());
  // Back again: the port is chosen once more and the ring plays.
  EXPECT_TRUE(driver->SetOutPort(ringPort));
  ASSERT_NE(m.ds.rings.Current(), nullptr);
  EXPECT_TRUE(m.ds.rings.Current()->IsPlaying());
  EXPECT_TRUE(m.timer.IsRunning());
  EXPECT_EQ(gui.Boxes().size(), 1u) << "nothing more to say";
}

// The card is the chosen port but no card answers: another driver plays, and
// the start-up says why before it shows that driver's settings.
TEST_F(OnDevices, AChosenCardThatDoesNotAnswerIsExplainedAtStartUp) {
  struct Case {
    const char* chosen;
    bool notice;
  };
  const Case cases[] = {{"AudioWerk", true}, {"MultiMedia", false}, {"", false}};
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string("AudioPort \"") + c.chosen + "\"");
    MakeMachine();
    testkit::ScriptedHost caseGui;
    WriteSettingStr(TStr(setting::AudioPort), TStr(c.chosen));
    std::vector<std::string> dialogs;
    size_t boxesBefore = 0;
    {
      skytest::ModalScript script([&](QDialog& d) {
        dialogs.push_back(d.windowTitle().toStdString());
        boxesBefore = caseGui.Boxes().size();
        d.reject();
      });
      if (c.notice) caseGui.QueueAnswer(0);
      StartOnDevices();
    }
    ASSERT_NE(Ens()->GetAudio(), nullptr);
    EXPECT_EQ(Ens()->GetAudio()->GetType(), kAudioMultiMedia) << "the sound driver plays instead";
    if (c.notice) {
      ASSERT_EQ(caseGui.Boxes().size(), 1u);
      EXPECT_EQ(caseGui.Boxes()[0].text.rfind("No Emagic Audiowerk8 card was found.\nThe driver is set to the Safe mode "
                                          "by default.\nYou can get better results by selecting the Fast mode\nin "
                                          "Options/Audio... . Please note that some other PCI cards\ncan interfere "
                                          "with the AW8 when operating in Fast mode.",
                                          0),
                0u)
          << caseGui.Boxes()[0].text;
      EXPECT_EQ(dialogs, std::vector<std::string>{"Soundcard Properties"}) << "then the audio settings";
      EXPECT_EQ(boxesBefore, 1u) << "the message comes first";
    } else {
      EXPECT_TRUE(caseGui.Boxes().empty());
      EXPECT_TRUE(dialogs.empty());
    }
    Close();
  }
}

} // namespace
