// The main road, walked as a new user walks it: the program starts on the
// real ALSA driver (whose "default" device is the `file` plugin, so what the
// program plays lands in a raw file), New shows the top structure window,
// a Sawtooth inserted from the Insert menu and wired to the Audio Out by a
// mouse drag is heard at its pitch, a small voice (note pitch, gate,
// oscillator, envelope) plays while Z is held on the computer keyboard and
// dies away after, a fader dragged on the panel changes the level, Save As,
// close, open again gives the same graph, and Undo takes the last insert
// back. Pictures of the windows are written for review.
//
// The sound runs in real time on the driver's own timer; the test waits on
// what the file holds (so many frames written), never on the clock.
#include "pc/audio/mme.h"
#include "pc/sky/app.h"
#include "pc/sky/mdi.h"
#include "platform/seq.h"
#include "src/base/settings.h"
#include "src/engine/module_types.h"
#include "src/engine/engine.h"
#include "src/mod/ensemble.h"
#include "src/mod/ensfile.h"
#include "src/mod/mod.h"
#include "src/mod/undo.h"
#include "src/volteon/ctrlview.h"
#include "src/volteon/commands.h"
#include "src/volteon/inserts.h"
#include "src/volteon/modview.h"
#include "pc/sky/wnd.h"
#include "src/volteon/portview.h"
#include "src/volteon/strucwnd.h"
#include "src/volteon/volteon.h"
#include "tests/common/testkit.h"
#include "src/volteon/drvprp/mmeprp.h"
#include "tests/drivers/alsa_config.h"
#include "tests/drvprp/dlgscript.h"
#include "tests/sky/skyfixture.h"
#include "tests/volteon/appfixture.h"

#include <gtest/gtest.h>

#include <QAbstractSlider>
#include <QAction>
#include <QComboBox>
#include <QDialog>
#include <QApplication>
#include <QElapsedTimer>
#include <QMainWindow>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QMenuBar>
#include <QKeyEvent>
#include <QThread>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

namespace fs = std::filesystem;

// What the driver writes: 16-bit stereo frames at 44.1 kHz.
constexpr double kFileRate = 44100.0;
constexpr int kFileChannels = 2;
constexpr double kFullScale = 32768.0;
constexpr int kLeft = 0, kRight = 1;
// The scan code of Z: the lowest key of the computer keyboard's lower row.
constexpr int32_t kScanZ = 0x2C;
// The control that Create Control gives a pitch port starts at the port's
// default, middle C.
constexpr double kDefaultPitch = 60.0;
// How long the test waits for sound before it gives up: far beyond any
// healthy run, well inside the ctest timeout.
constexpr qint64 kPatienceMs = 40000;
// The output delay chosen in the sound settings: short, so that what the
// user does is heard soon.
constexpr int32_t kOutDelayMs = 20;
// A frame count from seconds.
constexpr size_t Frames(double seconds) { return size_t(seconds * kFileRate); }

double PitchHz(double pitch) { return 440.0 * std::pow(2.0, (pitch - 69.0) / 12.0); }

// ---------------------------------------------------------------------------
// The sound file the ALSA `file` device writes.

class Capture {
public:
  explicit Capture(std::string path) : path_(std::move(path)) {}
  size_t Frames() const {
    std::error_code ec;
    const auto bytes = fs::file_size(path_, ec);
    return ec ? 0 : size_t(bytes) / (sizeof(int16_t) * kFileChannels);
  }
  // Waits (running the event loop) until the file holds `from + count`
  // frames; the device writes the file afresh when it is opened again after
  // a pause, and the span then counts from the new start. Returns the
  // frames of the span [from, from + count) of one channel, scaled to
  // -1..1, and sets `from` to where the span really began.
  std::vector<float> Wait(size_t& from, size_t count, int channel) {
    QElapsedTimer patience;
    patience.start();
    size_t seen = Frames();
    for (;;) {
      const size_t now = Frames();
      if (now < seen) from = 0; // written afresh
      seen = now;
      if (now >= from + count) break;
      if (patience.elapsed() > kPatienceMs) {
        ADD_FAILURE() << "the sound device wrote " << now << " frames, waited for " << from + count;
        return {};
      }
      QCoreApplication::sendPostedEvents();
      QApplication::processEvents(QEventLoop::AllEvents, 5);
      QThread::yieldCurrentThread();
    }
    return Read(from, count, channel);
  }
  // Waits for sound on a channel from `from` on (the device's queue delays
  // what the user did by a fraction of a second), then for `skip` frames
  // more to let it settle; returns the `count` frames after those and sets
  // `from` to where they begin.
  std::vector<float> WaitForSound(size_t& from, size_t skip, size_t count, int channel) {
    constexpr float kAudible = 0.01f;
    constexpr size_t kChunk = 4096;
    QElapsedTimer patience;
    patience.start();
    size_t at = from;
    size_t seen = Frames();
    for (;;) {
      const size_t now = Frames();
      if (now < seen) at = 0; // written afresh
      seen = now;
      if (now >= at + kChunk) {
        const std::vector<float> part = Read(at, kChunk, channel);
        auto loud = std::find_if(part.begin(), part.end(), [](float x) { return std::fabs(x) > kAudible; });
        if (loud != part.end()) {
          from = at + size_t(loud - part.begin()) + skip;
          return Wait(from, count, channel);
        }
        at += kChunk;
        continue;
      }
      if (patience.elapsed() > kPatienceMs) {
        ADD_FAILURE() << "no sound on channel " << channel << " in " << now << " frames";
        return {};
      }
      QCoreApplication::sendPostedEvents();
      QApplication::processEvents(QEventLoop::AllEvents, 5);
      QThread::yieldCurrentThread();
    }
  }
  std::vector<float> Read(size_t from, size_t count, int channel) const {
    std::vector<float> out;
    std::ifstream in(path_, std::ios::binary);
    in.seekg(std::streamoff(from * sizeof(int16_t) * kFileChannels));
    std::vector<int16_t> raw(count * kFileChannels);
    in.read(reinterpret_cast<char*>(raw.data()), std::streamsize(raw.size() * sizeof(int16_t)));
    const size_t got = size_t(in.gcount()) / (sizeof(int16_t) * kFileChannels);
    out.reserve(got);
    for (size_t i = 0; i < got; ++i) out.push_back(float(raw[i * kFileChannels + size_t(channel)] / kFullScale));
    return out;
  }

private:
  std::string path_;
};

double Rms(const std::vector<float>& v, size_t from = 0, size_t to = SIZE_MAX) {
  to = std::min(to, v.size());
  if (from >= to) return 0.0;
  double sum = 0.0;
  for (size_t i = from; i < to; ++i) sum += double(v[i]) * v[i];
  return std::sqrt(sum / double(to - from));
}

// The frequency from the rising zero crossings (interpolated between
// samples) over the whole span; 0 when there are fewer than two.
double RisingCrossingHz(const std::vector<float>& v) {
  double first = -1.0, last = -1.0;
  int count = 0;
  for (size_t i = 1; i < v.size(); ++i) {
    if (v[i - 1] < 0.0f && v[i] >= 0.0f) {
      const double at = double(i - 1) + double(-v[i - 1]) / double(v[i] - v[i - 1]);
      if (first < 0.0) first = at;
      last = at;
      ++count;
    }
  }
  return count < 2 ? 0.0 : (count - 1) * kFileRate / (last - first);
}

// A sawtooth: once a period one big step against the ramp, and between the
// steps small steps of one sign and about one size. The steps against the
// ramp give the frequency too.
struct SawShape {
  int jumps = 0;
  double rampShare = 0.0; // share of the other steps that follow the ramp
  double hz = 0.0;
};
SawShape ShapeOf(const std::vector<float>& v) {
  SawShape s;
  if (v.size() < 3) return s;
  // A jump is many ramp steps high (a period holds well over a hundred).
  constexpr float kJumpOverRamp = 20.0f;
  std::vector<float> steps;
  for (size_t i = 1; i < v.size(); ++i) steps.push_back(v[i] - v[i - 1]);
  std::vector<float> sorted = steps;
  std::nth_element(sorted.begin(), sorted.begin() + long(sorted.size() / 2), sorted.end());
  const float ramp = sorted[sorted.size() / 2]; // the typical step
  if (ramp == 0.0f) return s;
  int following = 0, others = 0;
  size_t firstJump = 0, lastJump = 0;
  for (size_t i = 0; i < steps.size(); ++i) {
    const bool against = (steps[i] > 0.0f) != (ramp > 0.0f);
    if (against && std::fabs(steps[i]) > kJumpOverRamp * std::fabs(ramp)) {
      // A step spread over two samples by the resampling counts once.
      if (s.jumps > 0 && i - lastJump < 3) continue;
      if (s.jumps == 0) firstJump = i;
      lastJump = i;
      ++s.jumps;
      continue;
    }
    ++others;
    if (!against && std::fabs(steps[i] - ramp) < std::fabs(ramp)) ++following;
  }
  s.rampShare = others ? double(following) / others : 0.0;
  if (s.jumps >= 2) s.hz = (s.jumps - 1) * kFileRate / double(lastJump - firstJump);
  return s;
}

// ---------------------------------------------------------------------------
// The graph of an ensemble as text: each child of the top with its type,
// label and place, each wire with its source.

std::string GraphOf(KSModul* top) {
  std::ostringstream out;
  for (int32_t c = 0; c < top->GetChildCount(); ++c) {
    KSModul* m = top->GetChild(c);
    out << c << ": " << m->GetCategory() << ":" << m->GetTypeIndex() << " \"" << m->GetLabel().CStr() << "\" at "
        << m->GetPos().X() << "," << m->GetPos().Y() << "\n";
    for (int32_t p = 0; p < m->GetInPortCount(); ++p) {
      KInPort* in = m->GetInPort(p);
      for (int32_t w = 0; w < in->GetWireCount(); ++w) {
        KOutPort* src = in->GetSource(w);
        KSModul* owner = src ? src->GetOwner() : nullptr;
        int32_t port = -1;
        for (int32_t o = 0; owner && o < owner->GetOutPortCount(); ++o)
          if (owner->GetOutPort(o) == src) port = o;
        out << "  in " << p << " <- " << (owner ? top->GetChildIndex(owner) : -1) << "." << port << "\n";
      }
    }
  }
  return out.str();
}

// ---------------------------------------------------------------------------
// The session: the program on a machine of its own.

class Road : public ::testing::Test {
protected:
  void SetUp() override {
    files = &alsatest::Install();
    // Settings, home and configuration in folders of the test's own, as a
    // fresh machine has them.
    home = testkit::TempDir("road-home");
    setenv("HOME", home.c_str(), 1);
    setenv("XDG_CONFIG_HOME", (home + "/.config").c_str(), 1);
    // The program beside its template and its empty library folders.
    install = testkit::TempDir("road-install");
    OverrideProgramPath(TStr((install + "/bin/Quorvex").c_str()));
    fs::create_directories(install + "/bin");
    fs::copy_file(QV_BUILD_TREE "/bin/new.ens", install + "/bin/new.ens");
    for (const char* lib : {"Ensembles", "Instruments", "Macros"}) fs::create_directories(install + "/Library/" + lib);
    work = testkit::TempDir("road-work");
    // What the Preferences write: a temporary folder; undo on.
    OpenSettings(TStr(kProductKey));
    WriteSettingStr(TStr(setting::TmpDir), TStr(testkit::TempDir("road-tmp").c_str()));
    WriteSettingInt(TStr(setting::UndoEnabled), 1);
    std::remove(files->output.c_str());
  }
  void TearDown() override { Close(); }

  // Starts the program as its main does, on the machine's own drivers.
  void Start() {
    dapp = apptest::StartAsMain(app, kMainWidth, kMainHeight);
    ASSERT_NE(app, nullptr);
    dapp->MainFrame()->activateWindow();
    Settle();
  }
  void Close() {
    dapp.reset();
    app = nullptr;
    Settle();
  }
  static void Settle() { apptest::Settle(); }

  KSModul* Top() { return app->GetEnsemble()->GetTopModule(); }
  TStructWnd* Wnd() { return AsStructWnd(Top()->GetStructWnd()); }
  DWnd* Canvas() { return Wnd()->GetDWnd(); }
  QMenuBar* Bar() { return dapp->MainFrame()->menuBar(); }

  // A main-menu item, chosen as the user chooses it.
  void Menu(int32_t id) { apptest::ChooseMenuItem(Bar(), id); }
  // The structure window is the active window, as after a click on it.
  void Activate(TStructWnd* w) {
    auto* frame = qobject_cast<QMdiSubWindow*>(w->GetDWnd()->parentWidget());
    dapp->MainFrame()->activateWindow();
    if (frame) dapp->Client()->setActiveSubWindow(frame);
    w->GetDWnd()->setFocus();
    Settle();
  }
  // A click on the empty canvas sets where the next module goes; then the
  // Insert menu's item inserts it.
  KSModul* InsertAt(int32_t id, QPoint at) {
    Activate(Wnd());
    Click(at);
    const int32_t before = Top()->GetChildCount();
    Menu(id);
    EXPECT_EQ(Top()->GetChildCount(), before + 1) << id;
    return Top()->GetChildCount() > before ? Top()->GetChild(Top()->GetChildCount() - 1) : nullptr;
  }
  // The Insert menu's item of a module type.
  static int32_t InsertId(TModuleType type) {
    for (const TInsertCommand& c : InsertCommands())
      if (c.type == type) return c.id;
    ADD_FAILURE() << "no insert item for " << type.category << ":" << type.type;
    return 0;
  }
  KSModul* Find(TModuleType type) {
    for (int32_t i = 0; i < Top()->GetChildCount(); ++i)
      if (Top()->GetChild(i)->IsType(type)) return Top()->GetChild(i);
    return nullptr;
  }
  // The Audio Out's n-th audio in-port (its first ones take events).
  KInPort* AudioOutIn(int n) {
    KSModul* out = Find(kTypeAudioOut);
    for (int32_t i = 0; out && i < out->GetInPortCount(); ++i)
      if (IsAudioKind(out->GetInPort(i)->GetKind()) && n-- == 0) return out->GetInPort(i);
    return nullptr;
  }
  static QPoint HandleCentre(IModelView* handle) { return apptest::HandleCentre(handle); }
  void Drag(QPoint from, QPoint to) { apptest::Drag(Canvas(), from, to); }
  void Wire(KOutPort* from, KInPort* to) {
    ASSERT_TRUE(from && to);
    const int32_t before = to->GetWireCount();
    Drag(HandleCentre(from->GetView()), HandleCentre(to->GetView()));
    ASSERT_EQ(to->GetWireCount(), before + 1) << "the drag wires " << from->GetOwner()->GetLabel().CStr() << " to "
                                              << to->GetOwner()->GetLabel().CStr();
  }
  // The in-port menu's Create Control: a fader wired to the port.
  void CreateControl(KInPort* port) {
    auto* handle = AsPortView(port->GetView());
    ASSERT_NE(handle, nullptr);
    TUpdateBracket bracket;
    handle->Execute(cmd::kCreateControl);
    Settle();
  }
  void Click(QPoint at) {
    skytest::Press(Canvas(), at);
    skytest::Release(Canvas(), at);
    Settle();
  }
  // A key of the computer keyboard, as the window system delivers it to
  // the window that has the focus.
  void Key(int key, bool down) {
    QWidget* target = QApplication::focusWidget();
    if (!target) target = Canvas();
    QKeyEvent e(down ? QEvent::KeyPress : QEvent::KeyRelease, key, Qt::NoModifier);
    QApplication::sendEvent(target, &e);
    Settle();
  }
  // A voice on the Audio Out's right channel: the pitch of the note played
  // and its gate, the gate opening an ADSR envelope, the envelope on a
  // Sawtooth's amplitude. An open event input holds 0, so the envelope's
  // times and sustain level get controls (at the ports' defaults) through
  // Create Control, as the first Sawtooth's ports did.
  void BuildVoice() {
    KSModul* notePitch = InsertAt(InsertId(kTypeNotePitch), QPoint(24, 200));
    // The Gate below the column of controls the envelope's ports will get.
    KSModul* gate = InsertAt(InsertId(kTypeGate), QPoint(24, 340));
    KSModul* env = InsertAt(InsertId(kTypeAdsrEnv), QPoint(140, 240));
    KSModul* osc = InsertAt(cmd::kInsertSawtooth, QPoint(280, 200));
    ASSERT_TRUE(notePitch && gate && env && osc);
    ASSERT_TRUE(notePitch->IsType(kTypeNotePitch) && gate->IsType(kTypeGate) && env->IsType(kTypeAdsrEnv));
    Wire(notePitch->GetOutPort(0), osc->GetInPort(0));
    Wire(gate->GetOutPort(0), env->GetInPort(0));
    Wire(env->GetOutPort(0), osc->GetInPort(1));
    Wire(osc->GetOutPort(0), AudioOutIn(kRight));
    for (int32_t port = 1; port < env->GetInPortCount(); ++port) CreateControl(env->GetInPort(port));
    TStructWnd::DeselectEverything(Top());
  }
  // What the right channel did with a note: the sustained part while held
  // (past the attack and the decay) and the end of the second after the
  // release.
  struct Heard {
    std::vector<float> held, after;
  };
  Heard Listen(const std::function<void()>& press, const std::function<void()>& release) {
    Heard h;
    Capture capture(files->output);
    size_t mark = capture.Frames();
    press();
    if (::testing::Test::HasFatalFailure()) return h;
    h.held = capture.WaitForSound(mark, Frames(0.3), Frames(0.3), kRight);
    size_t released = std::max(mark + h.held.size(), capture.Frames());
    release();
    h.after = capture.Wait(released, Frames(1.0), kRight);
    return h;
  }
  static void ExpectANote(const Heard& h, int32_t note) {
    ASSERT_FALSE(h.held.empty());
    ASSERT_GT(h.after.size(), Frames(0.1));
    const double hz = PitchHz(note);
    EXPECT_NEAR(RisingCrossingHz(h.held), hz, hz * 0.01);
    EXPECT_NEAR(ShapeOf(h.held).hz, hz, hz * 0.01) << "a sawtooth at the note's pitch";
    const double level = Rms(h.held);
    EXPECT_GT(level, 0.1);
    const size_t half = h.held.size() / 2;
    EXPECT_NEAR(Rms(h.held, 0, half), Rms(h.held, half), level * 0.1) << "the level holds while the note is held";
    EXPECT_LT(Rms(h.after, h.after.size() - Frames(0.1)), level * 0.02) << "the note decays after the release";
  }

  // Z held in the structure window plays the voice at the note's pitch.
  void ExpectTheKeyPlays(int32_t note) {
    Heard h;
    ASSERT_NO_FATAL_FAILURE(h = Listen(
                                [&] {
                                  Activate(Wnd());
                                  Key(Qt::Key_Z, true);
                                  ASSERT_EQ(app->HeldNote(kScanZ), note) << "the key reached the keyboard player";
                                },
                                [&] { Key(Qt::Key_Z, false); }));
    ExpectANote(h, note);
  }

  // The panel window of the ensemble, opened by Edit > Goto Panel.
  TWnd* Panel() { return dynamic_cast<TWnd*>(Top()->GetPanelWnd()); }
  // Drags a fader's cap by dy pixels (down is positive), as a user does.
  void DragFader(KSModul* fader, int32_t dy) {
    auto* view = dynamic_cast<TFaderView*>(fader->GetEnsCtrlView());
    ASSERT_NE(view, nullptr) << "the fader shows on the ensemble panel";
    DWnd* canvas = Panel()->GetDWnd();
    const TArea op = view->GetOperatingArea();
    const TPnt o = view->GetOrigin();
    const QPoint start(o.X() + (op.Left() + op.Right()) / 2, o.Y() + (op.Top() + op.Bottom()) / 2);
    skytest::Press(canvas, start);
    skytest::Move(canvas, start + QPoint(0, dy / 2), Qt::LeftButton);
    skytest::Move(canvas, start + QPoint(0, dy), Qt::LeftButton);
    skytest::Release(canvas, start + QPoint(0, dy));
    Settle();
  }
  // Pictures of the run on the X server carry the platform's name.
  void Shot(QWidget* w, std::string name) {
    Settle();
    const QString platform = QGuiApplication::platformName();
    if (platform != QLatin1String("offscreen")) name.insert(name.rfind('.'), "_" + platform.toStdString());
    const std::string path = skytest::SaveShot(w->grab().toImage(), name);
    std::printf("picture: %s\n", path.c_str());
  }

  static constexpr int kMainWidth = 1000, kMainHeight = 720;

  testkit::ScriptedHost gui;
  const alsatest::Files* files = nullptr;
  std::string home, install, work;
  std::unique_ptr<DApp> dapp;
  TVolteon* app = nullptr;
};

TEST_F(Road, ANewUserMakesASoundPlaysANoteSavesAndOpensItAgain) {
  const std::string saved = work + "/First Sound.ens";
  Start();
  Capture capture(files->output);
  ASSERT_EQ(app->GetEnsemble()->GetAudio()->GetType(), kAudioMultiMedia) << "the ALSA sound driver runs";
  auto* driver = dynamic_cast<IMultiMedia*>(app->GetEnsemble()->GetAudio());
  ASSERT_NE(driver, nullptr);

  // Settings > Audio Settings... shows where the sound goes: the ALSA
  // default device. A shorter Play Ahead is chosen there and kept.
  std::string outPort;
  {
    skytest::ModalScript script([&](QDialog& d) {
      EXPECT_EQ(d.windowTitle().toStdString(), "Soundcard Properties");
      auto* outs = dlgscript::Ctl<QComboBox>(d, mmeprp::kOutPortMenu);
      auto* delay = dlgscript::Ctl<QAbstractSlider>(d, mmeprp::kOutDelaySlider);
      ASSERT_TRUE(outs && delay);
      outPort = outs->currentText().toStdString();
      delay->triggerAction(QAbstractSlider::SliderToMinimum);
      for (int32_t ms = mmeprp::kDelayMin; ms < kOutDelayMs; ms += mmeprp::kDelayStep)
        delay->triggerAction(QAbstractSlider::SliderSingleStepAdd);
      Shot(&d, "road_0_sound_settings.png");
      dlgscript::Click(d, kIdOk);
    });
    Menu(cmd::kAudioSettings);
  }
  EXPECT_EQ(outPort, "MME: default") << "a fresh machine plays through ALSA's default device";
  EXPECT_EQ(driver->GetOutDelay(), kOutDelayMs);

  // New: the top structure window shows the Audio In and the Audio Out.
  Menu(cmd::kNewEnsemble);
  ASSERT_NE(Wnd(), nullptr) << "New opens the top structure window";
  auto* frame = qobject_cast<QMdiSubWindow*>(Canvas()->parentWidget());
  ASSERT_NE(frame, nullptr);
  frame->resize(kMainWidth - 40, kMainHeight - 200);
  Settle();
  KSModul* audioIn = Find(kTypeAudioIn);
  KSModul* audioOut = Find(kTypeAudioOut);
  ASSERT_NE(audioIn, nullptr);
  ASSERT_NE(audioOut, nullptr);
  EXPECT_NE(audioIn->GetBoxView(), nullptr);
  EXPECT_NE(audioOut->GetBoxView(), nullptr);
  Shot(dapp->MainFrame(), "road_1_new.png");

  // A Sawtooth from the Insert menu, wired by a drag to the Audio Out's
  // left channel. Its amplitude input is still open, and an open audio
  // input reads 0: nothing is heard yet.
  KSModul* saw = InsertAt(cmd::kInsertSawtooth, QPoint(160, 24));
  ASSERT_NE(saw, nullptr);
  ASSERT_TRUE(saw->IsType(kTypeSawtooth));
  Wire(saw->GetOutPort(0), AudioOutIn(kLeft));
  size_t mark = capture.Frames() + Frames(0.1);
  EXPECT_LT(Rms(capture.Wait(mark, Frames(0.1), kLeft)), 0.001) << "an open amplitude input is silent";
  // Create Control in the ports' menus gives the pitch and the amplitude a
  // fader each, at the ports' defaults: a full sawtooth at middle C.
  KInPort* pitch = saw->GetInPort(0);
  KInPort* ampl = saw->GetInPort(1);
  ASSERT_EQ(std::string(pitch->GetLabel().CStr()), "P");
  ASSERT_EQ(std::string(ampl->GetLabel().CStr()), "A");
  CreateControl(pitch);
  CreateControl(ampl);
  ASSERT_EQ(pitch->GetWireCount(), 1);
  ASSERT_EQ(ampl->GetWireCount(), 1);
  KSModul* fader = ampl->GetSource(0)->GetOwner();
  ASSERT_TRUE(fader->IsType(kTypeFader));
  TStructWnd::DeselectEverything(Top());
  Shot(dapp->MainFrame(), "road_2_sawtooth.png");
  mark = capture.Frames();
  const std::vector<float> sawSound = capture.WaitForSound(mark, Frames(0.05), Frames(0.25), kLeft);
  ASSERT_FALSE(sawSound.empty());
  {
    const SawShape shape = ShapeOf(sawSound);
    const double want = PitchHz(kDefaultPitch);
    EXPECT_NEAR(shape.hz, want, want * 0.01) << "jumps " << shape.jumps;
    EXPECT_GT(shape.rampShare, 0.9) << "between the jumps the sound ramps";
    EXPECT_NEAR(RisingCrossingHz(sawSound), want, want * 0.01);
    EXPECT_GT(Rms(sawSound), 0.3) << "a full sawtooth";
  }

  // A voice on the right channel, played by Z on the computer keyboard
  // (the lowest key of its lower row): while the key is held the voice
  // sounds at that note's pitch, and it dies away after.
  ASSERT_NO_FATAL_FAILURE(BuildVoice());
  Shot(dapp->MainFrame(), "road_3_voice.png");
  const int32_t note = KeyBaseNote(false, false) + KeyNoteOffset(kScanZ);
  Heard byKey;
  ASSERT_NO_FATAL_FAILURE(byKey = Listen(
                              [&] {
                                Activate(Wnd());
                                Key(Qt::Key_Z, true);
                                ASSERT_EQ(app->HeldNote(kScanZ), note) << "the key reached the keyboard player";
                              },
                              [&] {
                                Key(Qt::Key_Z, false);
                                EXPECT_EQ(app->HeldNote(kScanZ), -1);
                              }));
  ExpectANote(byKey, note);

  // The ensemble panel (Edit > Goto Panel) shows the faders; dragging the
  // amplitude fader down lowers the sawtooth's level by as much.
  Activate(Wnd());
  Menu(cmd::kGotoPanel);
  ASSERT_NE(Panel(), nullptr) << "Goto Panel opens the panel";
  const int32_t stepBefore = fader->GetControlStep();
  const double levelBefore = Rms(sawSound);
  constexpr int32_t kDragDown = 50;
  DragFader(fader, kDragDown);
  const int32_t stepAfter = fader->GetControlStep();
  EXPECT_EQ(stepAfter, stepBefore - kDragDown) << "one step a pixel";
  Shot(Panel()->GetDWnd()->parentWidget(), "road_4_panel.png");
  Shot(dapp->MainFrame(), "road_4_main.png");
  {
    // Wait for the level to change, then take the settled part.
    const double want = levelBefore * fader->GetTableValue(stepAfter) / fader->GetTableValue(stepBefore);
    mark = capture.Frames();
    std::vector<float> quieter;
    for (int tries = 0; tries < 20; ++tries) {
      quieter = capture.Wait(mark, Frames(0.1), kLeft);
      if (quieter.empty() || std::fabs(Rms(quieter) - want) < want * 0.05) break;
      mark += quieter.size();
    }
    mark += quieter.size();
    quieter = capture.Wait(mark, Frames(0.25), kLeft);
    EXPECT_NEAR(Rms(quieter), want, want * 0.03) << "the level follows the fader";
    const double hz = PitchHz(kDefaultPitch);
    EXPECT_NEAR(RisingCrossingHz(quieter), hz, hz * 0.01) << "at the same pitch";
  }

  // Save As writes the file the user names.
  const std::string graph = GraphOf(Top());
  gui.QueueFileChoice(saved);
  Menu(cmd::kSaveEnsembleAs);
  ASSERT_TRUE(fs::exists(saved)) << gui.FileDialogs().size() << " file dialogs, " << gui.Boxes().size() << " boxes";
  EXPECT_NE(dapp->MainFrame()->windowTitle().toStdString().find("First Sound"), std::string::npos)
      << dapp->MainFrame()->windowTitle().toStdString();

  // File > Open of the file just saved: the keyboard still plays the voice.
  gui.QueueFileChoice(saved);
  Menu(cmd::kOpen);
  ASSERT_NE(Wnd(), nullptr) << "the structure window opens with the file";
  EXPECT_EQ(GraphOf(Top()), graph);
  ExpectTheKeyPlays(note);

  // The program closes and starts again; File > Open reads the file back:
  // the same modules, places and wires.
  Close();
  Start();
  gui.QueueFileChoice(saved);
  Menu(cmd::kOpen);
  ASSERT_NE(Wnd(), nullptr) << "the structure window opens with the file";
  EXPECT_EQ(GraphOf(Top()), graph);
  Shot(dapp->MainFrame(), "road_5_reopened.png");
  // ... and it sounds again: the sawtooth at its new level.
  {
    size_t from = capture.Frames();
    const std::vector<float> again = capture.WaitForSound(from, Frames(0.05), Frames(0.25), kLeft);
    const double hz = PitchHz(kDefaultPitch);
    EXPECT_NEAR(RisingCrossingHz(again), hz, hz * 0.01);
  }
  // The computer keyboard plays the voice again.
  ExpectTheKeyPlays(note);

  // Undo takes the last insert back.
  const int32_t children = Top()->GetChildCount();
  KSModul* extra = InsertAt(cmd::kInsertSawtooth, QPoint(400, 300));
  ASSERT_NE(extra, nullptr);
  ASSERT_EQ(Top()->GetChildCount(), children + 1);
  Menu(cmd::kUndo);
  EXPECT_EQ(Top()->GetChildCount(), children);
  EXPECT_EQ(GraphOf(Top()), graph) << "the graph as it was saved";
  ASSERT_NE(Wnd(), nullptr);
  Shot(dapp->MainFrame(), "road_6_undone.png");
  EXPECT_TRUE(gui.Boxes().empty()) << gui.Boxes().front().text;
}

// The same note from another program: a client of the ALSA sequencer sends
// it to the program's own MIDI port (opened in the MIDI settings); it
// sounds as the computer keyboard's note does.
TEST_F(Road, ANoteFromAnotherSequencerClientSoundsLikeTheKeyboardsNote) {
  if (access("/dev/snd/seq", R_OK | W_OK) != 0) {
    std::printf("skipped: no ALSA sequencer on this machine (/dev/snd/seq is missing or not accessible)\n");
    GTEST_SKIP() << "no ALSA sequencer (/dev/snd/seq)";
  }
  // What the MIDI settings dialog writes when the own port is installed.
  WriteSettingStr(TStr("Midi1"), TStr(platform::kInternalMidiPortName));
  Start();
  ASSERT_NO_FATAL_FAILURE(BuildVoice());
  const int32_t note = KeyBaseNote(false, false) + KeyNoteOffset(kScanZ);
  Heard byKey;
  ASSERT_NO_FATAL_FAILURE(byKey = Listen([&] {
    Activate(Wnd());
    Key(Qt::Key_Z, true);
  }, [&] { Key(Qt::Key_Z, false); }));
  ExpectANote(byKey, note);

  std::unique_ptr<platform::MidiSystem> sender = platform::CreateAlsaMidi("Quorvex road test sender");
  ASSERT_NE(sender, nullptr) << platform::AlsaMidiError();
  int32_t target = -1;
  const std::vector<std::string> outs = sender->Outputs();
  for (size_t i = 0; i < outs.size(); ++i)
    if (outs[i].rfind("Quorvex:", 0) == 0) target = int32_t(i);
  ASSERT_GE(target, 0) << "the program's own port is offered to other programs";
  platform::MessageQueue queue;
  std::unique_ptr<platform::MidiOut> out;
  ASSERT_TRUE(sender->OpenOut(target, &queue, 0, out));
  // Channel 1 (the top instrument's), at the computer keyboard's velocity.
  constexpr uint32_t kNoteOn = 0x90, kKeyboardVelocity = 80;
  const Heard bySequencer = Listen([&] { ASSERT_TRUE(out->Send(kNoteOn | uint32_t(note) << 8 | kKeyboardVelocity << 16)); },
                                   [&] { ASSERT_TRUE(out->Send(kNoteOn | uint32_t(note) << 8)); });
  ExpectANote(bySequencer, note);
  EXPECT_NEAR(Rms(bySequencer.held), Rms(byKey.held), Rms(byKey.held) * 0.05) << "as loud as the keyboard's note";
}

} // namespace
