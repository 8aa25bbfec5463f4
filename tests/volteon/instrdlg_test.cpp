// The instrument properties, instrument info and snapshot dialogs: their
// defaults, their messages, what an OK writes and the one undo step it
// records.
#include "src/volteon/instrdlg.h"
#include "src/volteon/snapdlg.h"

#include "pc/sky/qthost.h"
#include "src/base/settings.h"
#include "src/engine/module_types.h"
#include "src/mod/ensemble.h"
#include "src/mod/ensfile.h"
#include "src/mod/instr.h"
#include "src/mod/mod.h"
#include "src/mod/undo.h"
#include "tests/common/testkit.h"
#include "tests/sky/skyfixture.h"

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QComboBox>
#include <QDialog>
#include <QLineEdit>
#include <QPlainTextEdit>

#include <functional>
#include <memory>

namespace {

using skytest::ModalScript;

template <class W> W* Ctl(QWidget& d, int32_t id) { return qobject_cast<W*>(FindDlgControl(&d, id)); }
void Type(QWidget& d, int32_t id, const char* text) {
  if (auto* lines = Ctl<QPlainTextEdit>(d, id)) lines->setPlainText(QString::fromUtf8(text));
  else Ctl<QLineEdit>(d, id)->setText(QString::fromUtf8(text));
}
void Click(QWidget& d, int32_t id) { Ctl<QAbstractButton>(d, id)->click(); }
QString Shown(QWidget& d, int32_t id) {
  if (auto* lines = Ctl<QPlainTextEdit>(d, id)) return lines->toPlainText();
  return Ctl<QLineEdit>(d, id)->text();
}

// An ensemble with its undo list and one instrument module in the top.
class InstrDlgTest : public ::testing::Test {
protected:
  void SetUp() override {
    OpenSettings("InstrDlgTest");
    tmp = testkit::TempDir("tmp");
    WriteSettingStr(TStr(setting::TmpDir), TStr(tmp.c_str()));
    WriteSettingInt(TStr(setting::UndoEnabled), 1); // the steps the tests count are recorded
    ensemble = std::make_unique<KEnsemble>();
    files = std::make_unique<KEnsembleFiles>(*ensemble);
    ensemble->SetFiles(files.get());
    files->GetUndo().SetFolder(TStr(tmp.c_str()));
    module = ensemble->GetTopModule()->InsertModule(kTypeInstrument, kPlaceNext, false);
    ASSERT_NE(module, nullptr);
    module->SetLabel(TStr("Pad"));
    module->SetHelp(TStr("warm"));
    instr = module->GetOwnInstr();
  }
  void TearDown() override {
    ensemble->SetFiles(nullptr);
    files.reset();
    ensemble.reset();
  }
  int32_t Steps() { return files->GetUndo().GetStepCount(); }

  testkit::ScriptedHost gui;
  std::string tmp;
  std::unique_ptr<KEnsemble> ensemble;
  std::unique_ptr<KEnsembleFiles> files;
  KSModul* module = nullptr;
  KInstr* instr = nullptr;
};

using namespace instrdlg;

TEST_F(InstrDlgTest, PropertiesShowTheInstrumentAndCaptionIt) {
  instr->SetMidiChannel(5);
  TInstrPrp dlg(module);
  QImage shot;
  ModalScript script([&](QDialog& d) {
    EXPECT_EQ(d.windowTitle(), "Pad - Properties");
    EXPECT_EQ(Shown(d, kLabel), "Pad");
    EXPECT_EQ(Shown(d, kInfo), "warm");
    EXPECT_EQ(Shown(d, kChannel), "5");
    EXPECT_EQ(Shown(d, kSustain), "64");
    EXPECT_EQ(Shown(d, kHold), "66");
    EXPECT_EQ(Shown(d, kUpperKey), "127");
    EXPECT_TRUE(Ctl<QLineEdit>(d, kFile)->isReadOnly());
    shot = d.grab().toImage();
    Click(d, kIdCancel);
  });
  dlg.Execute();
  skytest::SaveShot(shot, "instrument_properties.png");
}

TEST_F(InstrDlgTest, CancelAndUnchangedOkWriteNothing) {
  for (bool ok : {false, true}) {
    SCOPED_TRACE(ok);
    TInstrPrp dlg(module);
    ModalScript script([&](QDialog& d) {
      if (!ok) Type(d, kLabel, "Other");
      Click(d, ok ? kIdOk : kIdCancel);
    });
    dlg.Execute();
    dlg.Apply();
    EXPECT_EQ(std::string(module->GetLabel().CStr()), "Pad");
    EXPECT_EQ(Steps(), 0);
  }
}

TEST_F(InstrDlgTest, SeveralChangesAreOneUndoStep) {
  TInstrPrp dlg(module);
  ModalScript script([&](QDialog& d) {
    Type(d, kLabel, "Strings");
    Type(d, kInfo, "bowed\nslow");
    Type(d, kMinUnison, "1");
    Type(d, kLowerKey, "100");
    Type(d, kUpperKey, "20");
    Type(d, kNoteShift, "-12");
    Type(d, kChannel, "3");
    Type(d, kSpread, "40");
    Click(d, kSoftTakeover);
    Click(d, kMute);
    Click(d, kIdOk);
  });
  dlg.Execute();
  EXPECT_TRUE(gui.Boxes().empty());
  dlg.Apply();
  EXPECT_EQ(Steps(), 1);
  EXPECT_EQ(std::string(module->GetLabel().CStr()), "Strings");
  EXPECT_EQ(std::string(module->GetFileName().GetName(0).CStr()), "Strings");
  EXPECT_EQ(std::string(module->GetHelp().CStr()), "bowed\nslow");
  EXPECT_EQ(instr->GetLowerKey(), 100) << "no cross-check of the key range";
  EXPECT_EQ(instr->GetUpperKey(), 20);
  EXPECT_EQ(instr->GetNoteShift(), -12);
  EXPECT_EQ(instr->GetMidiChannel(), 3);
  EXPECT_FLOAT_EQ(instr->GetUnisonSpread(), kSpreadMax);
  EXPECT_TRUE(instr->IsSoftTakeover());
  EXPECT_TRUE(module->IsMuted());
}

TEST_F(InstrDlgTest, SpreadIsClampedOnBothSides) {
  struct Case {
    const char* typed;
    float stored;
  } cases[] = {{"40", 32.0f}, {"-1", 0.0f}, {"0.5", 0.5f}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.typed);
    TInstrPrp dlg(module);
    ModalScript script([&](QDialog& d) {
      Type(d, kSpread, c.typed);
      Click(d, kIdOk);
    });
    dlg.Execute();
    dlg.Apply();
    EXPECT_FLOAT_EQ(instr->GetUnisonSpread(), c.stored);
  }
}

TEST_F(InstrDlgTest, OutOfRangeValuesKeepTheDialogOpenWithTheirMessage) {
  struct Case {
    int32_t id;
    const char* typed;
    const char* message;
  } cases[] = {
      {kVoices, "0", "Value of Number of Voices has to be between 1 and 64."},
      {kVoices, "65", "Value of Number of Voices has to be between 1 and 64."},
      {kChannel, "17", "Value of MIDI Channel has to be between 1 and 16."},
      {kNoteShift, "-128", "Value of Note Shift has to be between -127 and 127."},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.typed);
    testkit::ScriptedHost boxes;
    boxes.QueueAnswer(0);
    TInstrPrp dlg(module);
    bool stayedOpen = false;
    ModalScript script([&](QDialog& d) {
      Type(d, c.id, c.typed);
      Click(d, kIdOk);
      stayedOpen = d.isVisible();
      if (stayedOpen) Click(d, kIdCancel);
    });
    dlg.Execute();
    dlg.Apply();
    EXPECT_TRUE(stayedOpen);
    ASSERT_EQ(boxes.Boxes().size(), 1u);
    EXPECT_EQ(boxes.Boxes()[0].text, c.message);
    EXPECT_EQ(Steps(), 0);
  }
}

TEST_F(InstrDlgTest, ChangingOnlyMinUnisonPassesAllThreeVoiceValues) {
  instr->SetVoices(8, 4, 1);
  TInstrPrp dlg(module);
  ModalScript script([&](QDialog& d) {
    Type(d, kMinUnison, "2");
    Click(d, kIdOk);
  });
  dlg.Execute();
  dlg.Apply();
  EXPECT_EQ(instr->GetVoices(), 8);
  EXPECT_EQ(instr->GetMaxUnison(), 4);
  EXPECT_EQ(instr->GetMinUnison(), 2);
  EXPECT_EQ(Steps(), 1);
}

TEST_F(InstrDlgTest, InfoDialogEditsTheSameText) {
  {
    TInstrInfo dlg(module);
    QImage shot;
    ModalScript script([&](QDialog& d) {
      EXPECT_EQ(d.windowTitle(), "Pad - Info");
      EXPECT_EQ(Shown(d, kInfoText), "warm");
      Type(d, kInfoText, "A slow pad.\nUse with the mod wheel.");
      shot = d.grab().toImage();
      Click(d, kIdCancel);
    });
    dlg.Execute();
    dlg.Apply();
    skytest::SaveShot(shot, "instrument_info.png");
    EXPECT_EQ(std::string(module->GetHelp().CStr()), "warm");
  }
  {
    TInstrInfo dlg(module);
    ModalScript script([&](QDialog& d) { Click(d, kIdOk); });
    dlg.Execute();
    dlg.Apply();
    EXPECT_EQ(Steps(), 0) << "OK without an edit";
  }
  TInstrInfo dlg(module);
  ModalScript script([&](QDialog& d) {
    Type(d, kInfoText, "bright");
    Click(d, kIdOk);
  });
  dlg.Execute();
  dlg.Apply();
  EXPECT_EQ(std::string(module->GetHelp().CStr()), "bright");
  EXPECT_EQ(Steps(), 1);
  TInstrPrp prp(module);
  EXPECT_EQ(std::string(prp.info->GetText().CStr()), "bright");
}

// ---------------------------------------------------------------- snapshots

using namespace snapdlg;

TEST_F(InstrDlgTest, SnapshotDefaultsFollowTheStoredSlots) {
  {
    TSnapPrpDlg dlg(instr);
    EXPECT_FALSE(dlg.list->IsEnabled());
    EXPECT_FALSE(dlg.overwrite->IsEnabled());
    EXPECT_FALSE(dlg.remove->IsEnabled());
    EXPECT_EQ(std::string(dlg.number->GetText().CStr()), "1");
    EXPECT_EQ(std::string(dlg.name->GetText().CStr()), "Snap 1");
  }
  instr->StoreSnap(0, TStr("One"));
  instr->StoreSnap(4, TStr("Five"));
  {
    TSnapPrpDlg dlg(instr);
    QImage shot;
    ModalScript script([&](QDialog& d) {
      auto* combo = Ctl<QComboBox>(d, kList);
      EXPECT_EQ(combo->count(), 2);
      EXPECT_EQ(combo->itemText(0), "1 - One");
      EXPECT_EQ(combo->currentIndex(), 1);
      EXPECT_EQ(Shown(d, kNumber), "6");
      EXPECT_EQ(Shown(d, kName), "Snap 6");
      shot = d.grab().toImage();
      Click(d, kIdCancel);
    });
    dlg.Execute();
    skytest::SaveShot(shot, "snapshots.png");
  }
  instr->StoreSnap(127, TStr("Last"));
  instr->StoreSnap(2, TStr("Three"));
  TSnapPrpDlg dlg(instr);
  EXPECT_EQ(std::string(dlg.number->GetText().CStr()), "3");
  EXPECT_EQ(std::string(dlg.name->GetText().CStr()), "Three");
  dlg.list->SetSelection(3);
  dlg.Selected();
  EXPECT_EQ(std::string(dlg.number->GetText().CStr()), "128");
  EXPECT_EQ(dlg.SelectedSlot(), 127);
}

TEST_F(InstrDlgTest, SnapshotNumberOutsideTheRangeIsRefused) {
  struct Case {
    const char* typed;
    bool accepted;
  } cases[] = {{"0", false}, {"129", false}, {"", false}, {"abc", false}, {"4294967297", false},
               {"128", true},  {" 7", true}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.typed);
    testkit::ScriptedHost boxes;
    if (!c.accepted) boxes.QueueAnswer(0);
    TSnapPrpDlg dlg(instr);
    bool open = false;
    ModalScript script([&](QDialog& d) {
      Type(d, kNumber, c.typed);
      Click(d, kStore);
      open = d.isVisible();
      if (open) {
        EXPECT_EQ(Shown(d, kNumber), c.typed) << "the fields stay as typed";
        Click(d, kIdCancel);
      }
    });
    dlg.Execute();
    EXPECT_EQ(open, !c.accepted);
    if (!c.accepted) {
      ASSERT_EQ(boxes.Boxes().size(), 1u);
      EXPECT_EQ(boxes.Boxes()[0].text, "Snapshot number must be between 1 and 128.");
    }
  }
  EXPECT_TRUE(instr->IsSnapStored(127));
  EXPECT_TRUE(instr->IsSnapStored(6));
}

TEST_F(InstrDlgTest, StoreOverwriteAndDeleteAreOneStepEach) {
  instr->StoreSnap(2, TStr("Old"));
  const int32_t before = Steps();
  {
    // An empty label under a stored number keeps the old name.
    TSnapPrpDlg dlg(instr);
    ModalScript script([&](QDialog& d) {
      Type(d, kNumber, "3");
      Type(d, kName, "");
      Click(d, kStore);
    });
    dlg.Execute();
  }
  EXPECT_EQ(std::string(instr->GetSnapName(2).CStr()), "Old");
  EXPECT_EQ(Steps(), before + 1);
  {
    TSnapPrpDlg dlg(instr);
    ModalScript script([&](QDialog& d) {
      Type(d, kNumber, "3");
      Type(d, kName, "Renamed");
      Click(d, kStore);
    });
    dlg.Execute();
  }
  EXPECT_EQ(std::string(instr->GetSnapName(2).CStr()), "Renamed");
  EXPECT_EQ(instr->GetCurrentSnap(), 2);
  {
    TSnapPrpDlg dlg(instr);
    ModalScript script([&](QDialog& d) { Click(d, kOverwrite); });
    EXPECT_EQ(dlg.Execute(), kIdOk);
  }
  EXPECT_EQ(std::string(instr->GetSnapName(2).CStr()), "Renamed");
  EXPECT_EQ(Steps(), before + 3);
  {
    TSnapPrpDlg dlg(instr);
    ModalScript script([&](QDialog& d) { Click(d, kDelete); });
    dlg.Execute();
  }
  EXPECT_FALSE(instr->IsSnapStored(2));
  EXPECT_EQ(Steps(), before + 4);
  {
    TSnapPrpDlg dlg(instr);
    ModalScript script([&](QDialog& d) { Click(d, kIdCancel); });
    dlg.Execute();
  }
  EXPECT_EQ(Steps(), before + 4);
}

} // namespace
