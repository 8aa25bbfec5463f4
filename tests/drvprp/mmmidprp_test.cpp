// The MIDI port dialog on fake ports.
#include "src/volteon/drvprp/drvprp.h"
#include "src/volteon/drvprp/mmmidprp.h"
#include "platform/seq.h"
#include "src/base/settings.h"
#include "tests/drvprp/dlgscript.h"

#include <gtest/gtest.h>

#include <QListWidget>

#include <functional>
#include <memory>
#include <string>
#include <vector>

using namespace dlgscript;
using namespace mmmidprp;

namespace {

constexpr const char* kInUse = "Not Available, already in use by an other Application !";

class Owner : public IMidiOwner {
public:
  IAudioInOut* GetAudio() const override { return nullptr; }
  KInstr* GetCurrentInstr() const override { return nullptr; }
  void PostViewRefresh() override {}
  void PostToGui(std::function<void()>) override { ADD_FAILURE() << "work was handed to a GUI thread this owner has not"; }
};

std::vector<std::string> Lines(ICtrlerList* list) {
  std::vector<std::string> lines;
  for (int i = 0; i < list->GetCount(); ++i) lines.push_back(list->GetItem(i).CStr());
  return lines;
}

// One direction of the dialog and of the driver, so that inputs and
// outputs run through the same cases.
struct Side {
  const char* name;
  bool input;
  int32_t insert, remove;
  ICtrlerList* (TMultiMediaMidiPrp::*available)() const;
  ICtrlerList* (TMultiMediaMidiPrp::*installed)() const;
};
const Side kSides[] = {
    {"inputs", true, kInsertIn, kDeleteIn, &TMultiMediaMidiPrp::AvailableIn, &TMultiMediaMidiPrp::InstalledIn},
    {"outputs", false, kInsertOut, kDeleteOut, &TMultiMediaMidiPrp::AvailableOut, &TMultiMediaMidiPrp::InstalledOut},
};

class MidiPortDialog : public ::testing::Test {
protected:
  void SetUp() override {
    OpenSettings("MidiPortDialogTest");
    for (int n = 1; n <= 4; ++n) {
      DeleteSetting(FormatStr("Midi%d", n));
      DeleteSetting(FormatStr("MidiOut%d", n));
    }
    previous_ = platform::SetMidiSystem(&ports);
    // Two ports of each direction share a name, as two alike interfaces would.
    for (const char* name : {"Keys", "Pads", "Keys"}) {
      ports.AddInput(name);
      ports.AddOutput(name);
    }
    driver = std::make_unique<TMultiMediaMidi>(&owner);
  }
  void TearDown() override {
    driver.reset();
    platform::SetMidiSystem(previous_);
  }
  int32_t Open(const Side& s, int32_t device) { return s.input ? driver->OpenInPort(device) : driver->OpenOutPort(device); }
  std::vector<int32_t> OpenDevices(const Side& s) {
    std::vector<int32_t> devices;
    const int32_t n = s.input ? driver->GetOpenInPortCount() : driver->GetOpenOutPortCount();
    for (int32_t i = 0; i < n; ++i) devices.push_back(s.input ? driver->GetOpenInPortDevice(i) : driver->GetOpenOutPortDevice(i));
    return devices;
  }

  testkit::ScriptedHost gui;
  platform::FakeMidis ports;
  Owner owner;
  std::unique_ptr<TMultiMediaMidi> driver;

private:
  platform::MidiSystem* previous_ = nullptr;
};

TEST_F(MidiPortDialog, TheCheckedCastFindsTheDialogAndNothingElse) {
  std::unique_ptr<IMultiMediaMidiPrp, void (*)(IMultiMediaMidiPrp*)> dlg(CreateMultiMediaMidiPrp(driver.get()),
                                                                        [](IMultiMediaMidiPrp* d) { d->Delete(); });
  EXPECT_EQ(CastToMultiMediaMidiPrp(static_cast<IView*>(dlg.get())), dlg.get());
  TDlg plain(mmmidprp::kDialog);
  EXPECT_EQ(CastToMultiMediaMidiPrp(static_cast<IDlg*>(&plain)), nullptr) << "a dialog of another kind";
  EXPECT_EQ(CastToMultiMediaMidiPrp(nullptr), nullptr);
}

TEST_F(MidiPortDialog, ListsTheAvailableAndTheOpenPorts) {
  driver->OpenInPort(1);
  driver->OpenOutPort(2);
  driver->OpenOutPort(0);
  TMultiMediaMidiPrp dlg(driver.get());
  const std::vector<std::string> all = {"Keys", "Pads", "Keys"};
  EXPECT_EQ(Lines(dlg.AvailableIn()), all);
  EXPECT_EQ(Lines(dlg.AvailableOut()), all);
  EXPECT_EQ(Lines(dlg.InstalledIn()), std::vector<std::string>{"Pads"});
  EXPECT_EQ(Lines(dlg.InstalledOut()), (std::vector<std::string>{"Keys", "Keys"})) << "in opening order";
}

TEST_F(MidiPortDialog, InsertOpensTheChosenPortAndDeleteClosesIt) {
  for (const Side& s : kSides) {
    SCOPED_TRACE(s.name);
    TMultiMediaMidiPrp dlg(driver.get());
    ICtrlerList* available = (dlg.*s.available)();
    ICtrlerList* installed = (dlg.*s.installed)();
    dlg.Execute(s.insert);
    dlg.Execute(s.remove);
    EXPECT_TRUE(installed->GetCount() == 0 && OpenDevices(s).empty()) << "nothing chosen, nothing done";
    available->Select(1);
    dlg.Execute(s.insert);
    EXPECT_EQ(Lines(installed), std::vector<std::string>{"Pads"});
    EXPECT_EQ(OpenDevices(s), std::vector<int32_t>{1});
    EXPECT_TRUE(ports.IsOpen(s.input, 1));
    dlg.Execute(s.insert);
    EXPECT_EQ(installed->GetCount(), 1) << "an open port is not listed twice";
    installed->Select(0);
    dlg.Execute(s.remove);
    EXPECT_EQ(installed->GetCount(), 0);
    EXPECT_TRUE(OpenDevices(s).empty());
    EXPECT_FALSE(ports.IsOpen(s.input, 1));
  }
  EXPECT_TRUE(gui.Boxes().empty());
}

TEST_F(MidiPortDialog, APortInUseSaysSoUnderItsName) {
  for (const Side& s : kSides) {
    SCOPED_TRACE(s.name);
    ports.SetOpenFails(s.input, 1, true);
    gui.QueueAnswer(0);
    TMultiMediaMidiPrp dlg(driver.get());
    (dlg.*s.available)()->Select(1);
    dlg.Execute(s.insert);
    ASSERT_FALSE(gui.Boxes().empty());
    EXPECT_EQ(gui.Boxes().back().text, kInUse);
    EXPECT_EQ(gui.Boxes().back().caption, "Pads");
    EXPECT_EQ(gui.Boxes().back().kind, 0);
    EXPECT_EQ((dlg.*s.installed)()->GetCount(), 0);
    EXPECT_TRUE(OpenDevices(s).empty());
  }
  EXPECT_EQ(gui.Boxes().size(), 2u);
}

TEST_F(MidiPortDialog, PortsNamedAlikeAreTheOnesChosen) {
  for (const Side& s : kSides) {
    SCOPED_TRACE(s.name);
    TMultiMediaMidiPrp dlg(driver.get());
    ICtrlerList* installed = (dlg.*s.installed)();
    (dlg.*s.available)()->Select(2); // the second "Keys"
    dlg.Execute(s.insert);
    EXPECT_EQ(OpenDevices(s), std::vector<int32_t>{2});
    EXPECT_FALSE(ports.IsOpen(s.input, 0));
    (dlg.*s.available)()->Select(0);
    dlg.Execute(s.insert);
    EXPECT_EQ(OpenDevices(s), (std::vector<int32_t>{2, 0}));
    EXPECT_EQ(Lines(installed), (std::vector<std::string>{"Keys", "Keys"}));
    installed->Select(1); // the first "Keys", opened second
    dlg.Execute(s.remove);
    EXPECT_EQ(OpenDevices(s), std::vector<int32_t>{2});
    EXPECT_TRUE(ports.IsOpen(s.input, 2));
    EXPECT_FALSE(ports.IsOpen(s.input, 0));
  }
  // Deleting in a dialog opened later finds the port by its own line too.
  TMultiMediaMidiPrp again(driver.get());
  again.InstalledIn()->Select(0);
  again.Execute(kDeleteIn);
  EXPECT_TRUE(OpenDevices(kSides[0]).empty());
  EXPECT_FALSE(ports.IsOpen(true, 2));
}

// On the screen, opened through the driver's own entry: OK keeps the ports.
TEST_F(MidiPortDialog, TheDialogOnTheScreen) {
  InstallDriverDialogs();
  ASSERT_TRUE(driver->HasSettingsDialog());
  driver->OpenOutPort(1);
  ModalScript script([&](QDialog& d) {
    EXPECT_EQ(d.windowTitle(), "MIDI Port");
    auto* available = Ctl<QListWidget>(d, kAvailableIn);
    ASSERT_TRUE(available);
    EXPECT_EQ(available->count(), 3);
    available->setCurrentRow(2);
    Click(d, kInsertIn);
    EXPECT_EQ(Ctl<QListWidget>(d, kInstalledIn)->count(), 1);
    Ctl<QListWidget>(d, kAvailableOut)->setCurrentRow(0);
    Click(d, kInsertOut);
    Shot(d, "midi_port.png");
    Click(d, kIdOk);
  });
  driver->ShowSettingsDialog();
  SetMultiMediaMidiDialog(nullptr);
  EXPECT_EQ(OpenDevices(kSides[0]), std::vector<int32_t>{2});
  EXPECT_EQ(OpenDevices(kSides[1]), (std::vector<int32_t>{1, 0}));
  EXPECT_FALSE(driver->HasSettingsDialog());
}

} // namespace
