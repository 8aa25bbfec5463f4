// The sound driver's settings dialog on fake devices.
#include "src/volteon/drvprp/drvprp.h"
#include "src/volteon/drvprp/mmeprp.h"
#include "tests/drivers/driver_rig.h"
#include "tests/drvprp/dlgscript.h"

#include <gtest/gtest.h>

#include <QComboBox>
#include <QLineEdit>
#include <QSlider>

#include <string>
#include <vector>

using namespace driverrig;
using namespace dlgscript;
using namespace mmeprp;

namespace {

// Inputs: None, Mic, Line. Outputs: None, Speakers, USB, the ring.
struct SoundMachine : Machine {
  int32_t mic, line, speakers, usb;
  SoundMachine() {
    mic = waves.AddInput("Mic");
    line = waves.AddInput("Line");
    speakers = waves.AddOutput("Speakers");
    usb = waves.AddOutput("USB");
    ds.rings.AddDevice("Ring A");
    Install();
  }
};

// The driver, with a record of what the dialog asked of it.
class SpyDriver : public TMultiMedia {
public:
  using TMultiMedia::TMultiMedia;
  std::vector<std::string> calls;
  bool SetInPort(int32_t i) override {
    calls.push_back("in port " + std::to_string(i));
    return TMultiMedia::SetInPort(i);
  }
  bool SetOutPort(int32_t i) override {
    calls.push_back("out port " + std::to_string(i));
    return TMultiMedia::SetOutPort(i);
  }
  void SetInDelay(int32_t ms) override {
    calls.push_back("in delay " + std::to_string(ms));
    TMultiMedia::SetInDelay(ms);
  }
  void SetOutDelay(int32_t ms) override {
    calls.push_back("out delay " + std::to_string(ms));
    TMultiMedia::SetOutDelay(ms);
  }
  void SetInputForced(bool forced) override {
    calls.push_back(forced ? "forced on" : "forced off");
    TMultiMedia::SetInputForced(forced);
  }
};

class SoundDialog : public ::testing::Test {
protected:
  void SetUp() override {
    ClearDriverSettings();
    WriteSettingStr(setting::MmeInPort, "MME: Mic");
    WriteSettingInt(setting::MmeInDelay, 100);
    WriteSettingInt(setting::MmeOutDelay, 50);
    driver = std::make_unique<SpyDriver>(&host);
    driver->Start();
  }
  void TearDown() override {
    driver->Stop();
    driver.reset();
  }
  std::vector<std::string> NamesOf(ICtrlerMenu*, bool input) {
    std::vector<std::string> names;
    const int32_t n = input ? driver->GetInPortCount() : driver->GetOutPortCount();
    for (int32_t i = 0; i < n; ++i) names.push_back((input ? driver->GetInPortName(i) : driver->GetOutPortName(i)).CStr());
    return names;
  }

  testkit::ScriptedHost gui;
  SoundMachine machine;
  Host host;
  std::unique_ptr<SpyDriver> driver;
};

TEST_F(SoundDialog, OpensOnTheDriversPortsAndDelaysWithTheInputKeptOpen) {
  ASSERT_EQ(driver->GetInPort(), 1);
  ASSERT_FALSE(driver->IsInputActive()) << "no Audio In module uses the input";
  {
    TMultiMediaPrp dlg(driver.get());
    EXPECT_TRUE(driver->IsInputActive()) << "the dialog keeps the input open";
    EXPECT_EQ(dlg.InPortMenu()->GetSelection(), 1);
    EXPECT_EQ(dlg.OutPortMenu()->GetSelection(), 1);
    EXPECT_EQ(dlg.InDelaySlider()->GetValue(), 100);
    EXPECT_EQ(dlg.OutDelaySlider()->GetValue(), 50);
    EXPECT_EQ(dlg.InDelayText()->GetText(), TStr("100 ms"));
    EXPECT_EQ(dlg.OutDelayText()->GetText(), TStr("50 ms"));
    EXPECT_EQ(dlg.InDelaySlider()->IsEnabled(), 1);
    EXPECT_EQ(dlg.OutDelaySlider()->IsEnabled(), 1);
    EXPECT_EQ(dlg.InDelayText()->IsEnabled(), 0) << "the texts take no typing";
  }
  EXPECT_FALSE(driver->IsInputActive()) << "closed again with the dialog";
  EXPECT_EQ(driver->calls.front(), "forced on");
  EXPECT_EQ(driver->calls.back(), "forced off");
  EXPECT_TRUE(gui.Boxes().empty());
}

TEST_F(SoundDialog, NoneDisablesItsDelaySliderAndARealPortEnablesIt) {
  TMultiMediaPrp dlg(driver.get());
  dlg.InPortMenu()->SetSelection(0);
  dlg.Execute(kInPortMenu);
  EXPECT_EQ(driver->GetInPort(), 0);
  EXPECT_EQ(driver->GetInputCount(), 0);
  EXPECT_EQ(dlg.InDelaySlider()->IsEnabled(), 0);
  dlg.InPortMenu()->SetSelection(2);
  dlg.Execute(kInPortMenu);
  EXPECT_EQ(driver->GetInPort(), 2);
  EXPECT_EQ(dlg.InDelaySlider()->IsEnabled(), 1);
  dlg.OutPortMenu()->SetSelection(0);
  dlg.Execute(kOutPortMenu);
  EXPECT_EQ(driver->GetOutPort(), 0);
  EXPECT_EQ(dlg.OutDelaySlider()->IsEnabled(), 0);
  EXPECT_EQ(dlg.InDelaySlider()->IsEnabled(), 1) << "each port has its own slider";
}

TEST_F(SoundDialog, APortThatFailsShowsTheDriversMessageAndTheDriversPortAgain) {
  machine.waves.SetBusy(false, machine.usb, true);
  machine.waves.SetBusy(true, machine.line, true);
  gui.QueueAnswer(0);
  gui.QueueAnswer(0);
  TMultiMediaPrp dlg(driver.get());
  dlg.OutPortMenu()->SetSelection(2);
  dlg.Execute(kOutPortMenu);
  EXPECT_EQ(driver->GetOutPort(), 1);
  EXPECT_EQ(dlg.OutPortMenu()->GetSelection(), 1) << "the menu shows the port the driver went back to";
  EXPECT_EQ(dlg.OutDelaySlider()->IsEnabled(), 1);
  dlg.InPortMenu()->SetSelection(2);
  dlg.Execute(kInPortMenu);
  EXPECT_EQ(driver->GetInPort(), 1);
  EXPECT_EQ(dlg.InPortMenu()->GetSelection(), 1);
  ASSERT_EQ(gui.Boxes().size(), 2u);
  EXPECT_EQ(gui.Boxes()[0].text, "Audio outport is in use by another application.");
  EXPECT_EQ(gui.Boxes()[1].text, "Audio inport is in use by another application.");
}

TEST_F(SoundDialog, AMovedSliderSetsItsDelayAndText) {
  TMultiMediaPrp dlg(driver.get());
  dlg.InDelaySlider()->SetValue(35);
  dlg.Execute(kInDelaySlider);
  EXPECT_EQ(driver->GetInDelay(), 35);
  EXPECT_EQ(dlg.InDelayText()->GetText(), TStr("35 ms"));
  dlg.OutDelaySlider()->SetValue(400);
  dlg.Execute(kOutDelaySlider);
  EXPECT_EQ(driver->GetOutDelay(), 400);
  EXPECT_EQ(dlg.OutDelayText()->GetText(), TStr("400 ms"));
  EXPECT_EQ(driver->GetInDelay(), 35) << "each slider has its own delay";
}

TEST_F(SoundDialog, ClosingWithoutOkRestoresPortsThenDelaysInThatOrder) {
  {
    TMultiMediaPrp dlg(driver.get());
    dlg.InPortMenu()->SetSelection(2);
    dlg.Execute(kInPortMenu);
    dlg.OutPortMenu()->SetSelection(3);
    dlg.Execute(kOutPortMenu);
    dlg.InDelaySlider()->SetValue(20);
    dlg.Execute(kInDelaySlider);
    dlg.OutDelaySlider()->SetValue(300);
    dlg.Execute(kOutDelaySlider);
    EXPECT_EQ(driver->GetOutPort(), 3);
    driver->calls.clear();
  }
  EXPECT_EQ(driver->calls, (std::vector<std::string>{"in port 1", "out port 1", "in delay 100", "out delay 50",
                                                     "forced off"}));
  EXPECT_EQ(driver->GetInPort(), 1);
  EXPECT_EQ(driver->GetOutPort(), 1);
  EXPECT_EQ(driver->GetInDelay(), 100);
  EXPECT_EQ(driver->GetOutDelay(), 50);
}

// The dialog on the screen: the driver's own entry opens it, the person
// picks ports and drags the sliders, OK keeps what was chosen.
TEST_F(SoundDialog, OkKeepsWhatWasChosenOnTheScreen) {
  InstallDriverDialogs();
  ASSERT_TRUE(driver->HasSettingsDialog());
  std::vector<std::string> shownIns, texts;
  ModalScript script([&](QDialog& d) {
    EXPECT_EQ(d.windowTitle(), "Soundcard Properties");
    auto* ins = Ctl<QComboBox>(d, kInPortMenu);
    auto* outs = Ctl<QComboBox>(d, kOutPortMenu);
    ASSERT_TRUE(ins && outs);
    for (int i = 0; i < ins->count(); ++i) shownIns.push_back(ins->itemText(i).toStdString());
    EXPECT_EQ(outs->currentText(), "MME: Speakers");
    outs->setCurrentIndex(2);
    emit outs->activated(2);
    auto* in = Ctl<QSlider>(d, kInDelaySlider);
    auto* out = Ctl<QSlider>(d, kOutDelaySlider);
    in->triggerAction(QAbstractSlider::SliderToMinimum);
    texts.push_back(Ctl<QLineEdit>(d, kInDelayText)->text().toStdString());
    in->triggerAction(QAbstractSlider::SliderSingleStepAdd);
    texts.push_back(Ctl<QLineEdit>(d, kInDelayText)->text().toStdString());
    out->triggerAction(QAbstractSlider::SliderToMaximum);
    texts.push_back(Ctl<QLineEdit>(d, kOutDelayText)->text().toStdString());
    EXPECT_TRUE(Ctl<QLineEdit>(d, kInDelayText)->isReadOnly());
    Shot(d, "soundcard_properties.png");
    Click(d, kIdOk);
  });
  driver->ShowSettingsDialog();
  SetMultiMediaDialog(nullptr);
  EXPECT_EQ(shownIns, NamesOf(nullptr, true));
  EXPECT_EQ(texts, (std::vector<std::string>{"10 ms", "15 ms", "400 ms"}));
  EXPECT_EQ(driver->GetOutPort(), 2);
  EXPECT_EQ(driver->GetInDelay(), 15);
  EXPECT_EQ(driver->GetOutDelay(), 400);
  EXPECT_EQ(driver->calls.back(), "forced off");
  EXPECT_FALSE(driver->HasSettingsDialog()) << "without the windows there is no dialog to offer";
}

} // namespace
