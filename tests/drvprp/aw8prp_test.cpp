// The card's settings dialog on the driver of the simulated card.
#include "src/volteon/drvprp/aw8prp.h"
#include "src/volteon/drvprp/drvprp.h"
#include "src/base/settings.h"
#include "tests/drivers/cardrig.h"
#include "tests/drvprp/dlgscript.h"
#include "tests/mod/ensemble_fixture.h"

#include <gtest/gtest.h>

#include <QLabel>
#include <QRadioButton>
#include <QSlider>

#include <memory>

using namespace dlgscript;
using namespace aw8prp;

namespace {

constexpr uint32_t kRestartPause = 600; // every restart of the card waits this long first
constexpr const char* kCaution =
    "Caution! The Fast mode uses the interrupt of the Audiowerk8.\n"
    "If the same interrupt is used by another PCI card, the system can hangup.\n"
    "Please save all open files before trying Fast mode!";

class CardDialog : public cardrig::CardTest {
protected:
  void SetUp() override {
    cardrig::CardTest::SetUp();
    OpenSettings("CardDialogTest");
    WriteSettingInt("AWMode", 1);
    WriteSettingInt("AWBufSize", 256);
    WriteSettingInt("AWInAnalog", 1);
    ens_ = std::make_unique<KEnsemble>([](int32_t, IAudioOwner* owner) -> IAudioInOut* { return new TAudioWerk(owner); });
    ens_->SetOwner(&app_);
    ens_->StartDrivers();
    ASSERT_TRUE(Driver().IsCardRunning());
  }
  void TearDown() override {
    ens_.reset();
    cardrig::CardTest::TearDown();
  }
  TAudioWerk& Driver() { return *dynamic_cast<TAudioWerk*>(ens_->GetAudio()); }
  // Restarts of the card since the last call.
  uint32_t Restarts() {
    const uint32_t slept = sched_.Slept();
    const uint32_t n = (slept - lastSlept_) / kRestartPause;
    lastSlept_ = slept;
    return n;
  }

  testkit::ScriptedHost gui_;
  ensfix::TMidiMakerScope maker_;
  ensfix::TApp app_;
  std::unique_ptr<KEnsemble> ens_;
  uint32_t lastSlept_ = 0;
};

TEST_F(CardDialog, OpensOnTheDriversValues) {
  struct Case {
    int32_t frames;
    int32_t position;
    const char* text;
  } cases[] = {{128, 0, "2.9 ms"}, {256, 1, "5.8 ms"}, {1024, 3, "23.2 ms"}, {4096, 5, "92.9 ms"},
               {4408, kNoCnt, "100.0 ms"}, {1000, kNoCnt, "22.7 ms"}};
  for (const Case& c : cases) {
    Driver().SetBufferLength(c.frames);
    TAudioWerkPrp dlg(&Driver());
    EXPECT_EQ(dlg.BufferSlider()->GetValue(), c.position) << c.frames;
    EXPECT_EQ(dlg.LatencyText()->GetText(), TStr(c.text)) << c.frames;
  }
  TAudioWerkPrp safeAnalog(&Driver());
  EXPECT_EQ(safeAnalog.InputSwitch()->GetPosition(), kAnalog);
  EXPECT_EQ(safeAnalog.ModeSwitch()->GetPosition(), kSafe);
  Driver().SetInput(0);
  Driver().SetMode(0);
  TAudioWerkPrp fastDigital(&Driver());
  EXPECT_EQ(fastDigital.InputSwitch()->GetPosition(), kDigital);
  EXPECT_EQ(fastDigital.ModeSwitch()->GetPosition(), kFast);
}

TEST_F(CardDialog, TheSliderRestartsTheCardOnlyForANewLength) {
  TAudioWerkPrp dlg(&Driver());
  Restarts();
  dlg.BufferSlider()->SetValue(1);
  dlg.Execute(kBufferSlider);
  EXPECT_EQ(Restarts(), 0u) << "the length in use";
  dlg.BufferSlider()->SetValue(3);
  dlg.Execute(kBufferSlider);
  EXPECT_EQ(Restarts(), 1u);
  EXPECT_EQ(Driver().GetBufferLength(), 1024);
  EXPECT_EQ(dlg.LatencyText()->GetText(), TStr("23.2 ms"));
  EXPECT_TRUE(Driver().IsCardRunning());
  dlg.BufferSlider()->SetValue(0);
  dlg.Execute(kBufferSlider);
  EXPECT_EQ(Driver().GetBufferLength(), 128);
  EXPECT_EQ(dlg.LatencyText()->GetText(), TStr("2.9 ms"));
}

TEST_F(CardDialog, TheInputSwitchChoosesTheCardsInput) {
  TAudioWerkPrp dlg(&Driver());
  Restarts();
  dlg.InputSwitch()->SetPosition(kDigital);
  dlg.Execute(kInputSwitch + kDigital);
  EXPECT_EQ(Driver().GetInput(), 0);
  EXPECT_EQ(Restarts(), 1u);
  dlg.Execute(kInputSwitch + kDigital);
  EXPECT_EQ(Restarts(), 0u) << "the input in use again";
  dlg.InputSwitch()->SetPosition(kAnalog);
  dlg.Execute(kInputSwitch + kAnalog);
  EXPECT_EQ(Driver().GetInput(), 1);
}

TEST_F(CardDialog, FastModeAsksFirstAndCancelStaysSafe) {
  TAudioWerkPrp dlg(&Driver());
  Restarts();
  gui_.QueueAnswer(1); // Cancel
  dlg.ModeSwitch()->SetPosition(kFast);
  dlg.Execute(kModeSwitch + kFast);
  ASSERT_EQ(gui_.Boxes().size(), 1u);
  EXPECT_EQ(gui_.Boxes()[0].text, kCaution);
  EXPECT_EQ(gui_.Boxes()[0].caption, "AudioWerk 8");
  EXPECT_EQ(gui_.Boxes()[0].kind, 1) << "OK and Cancel";
  EXPECT_EQ(Driver().GetMode(), 1);
  EXPECT_EQ(dlg.ModeSwitch()->GetPosition(), kSafe);
  EXPECT_EQ(Restarts(), 0u);

  gui_.QueueAnswer(0); // OK
  dlg.ModeSwitch()->SetPosition(kFast);
  dlg.Execute(kModeSwitch + kFast);
  EXPECT_EQ(Driver().GetMode(), 0);
  EXPECT_EQ(dlg.ModeSwitch()->GetPosition(), kFast);
  EXPECT_EQ(Restarts(), 1u);

  dlg.ModeSwitch()->SetPosition(kSafe);
  dlg.Execute(kModeSwitch + kSafe);
  EXPECT_EQ(Driver().GetMode(), 1);
  EXPECT_EQ(gui_.Boxes().size(), 2u) << "Safe asks nothing";
}

// On the screen, opened through the driver's own entry.
TEST_F(CardDialog, TheDialogOnTheScreen) {
  InstallDriverDialogs();
  ASSERT_TRUE(Driver().HasSettingsDialog());
  std::string latency;
  gui_.QueueAnswer(1);
  ModalScript script([&](QDialog& d) {
    EXPECT_EQ(d.windowTitle(), "AudioWerk 8 Properties");
    EXPECT_TRUE(Ctl<QRadioButton>(d, kInputSwitch + kAnalog)->isChecked());
    EXPECT_TRUE(Ctl<QRadioButton>(d, kModeSwitch + kSafe)->isChecked());
    auto* slider = Ctl<QSlider>(d, kBufferSlider);
    EXPECT_EQ(slider->value(), 1);
    slider->triggerAction(QAbstractSlider::SliderSingleStepAdd);
    latency = Ctl<QLabel>(d, kLatencyText)->text().toStdString();
    Click(d, kInputSwitch + kDigital);
    Click(d, kModeSwitch + kFast); // cancelled
    EXPECT_TRUE(Ctl<QRadioButton>(d, kModeSwitch + kSafe)->isChecked());
    Shot(d, "audiowerk_properties.png");
    Click(d, kIdOk);
  });
  Driver().ShowSettingsDialog();
  SetAudioWerkDialog(nullptr);
  EXPECT_EQ(latency, "11.6 ms");
  EXPECT_EQ(Driver().GetBufferLength(), 512);
  EXPECT_EQ(Driver().GetInput(), 0);
  EXPECT_EQ(Driver().GetMode(), 1);
}

} // namespace
