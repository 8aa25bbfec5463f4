// Selection controls (check box, radio switch, drop-down list, list box) and
// the display controls (separator, text, bitmap, button, colour, slider).
#include "pc/sky/ctrl.h"
#include "pc/sky/dlg.h"
#include "pc/sky/qthost.h"
#include "tests/common/testkit.h"
#include "tests/sky/skyfixture.h"

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QColorDialog>
#include <QComboBox>
#include <QLabel>
#include <QListWidget>
#include <QRadioButton>
#include <QSlider>
#include <QToolButton>

namespace {

constexpr int32_t kCtrlDlg = 9200;
constexpr int32_t kCheck = 3660, kRadio = 3700, kMenu = 3740, kList = 3780, kSlider = 3820, kText = 3500,
                  kColour = 3590;
constexpr int kRadioCount = 3;

void RegisterCtrlDlg() {
  RegisterDlgTemplate({kCtrlDlg, "Controls", 230, 150, {
    DlgStatic(kText, "", 7, 7, 100, 8),
    DlgCheck(kCheck, "&Loop", 7, 20, 60, 10),
    DlgRadio(kRadio, "&Off", 7, 34, 40, 10, dlgflag::kGroup),
    DlgRadio(kRadio + 1, "&Once", 50, 34, 40, 10),
    DlgRadio(kRadio + 2, "&Always", 93, 34, 50, 10),
    DlgStatic(-1, "&Port:", 7, 52, 30, 8),
    DlgCombo(kMenu, 40, 50, 100, 80),
    DlgList(kList, 150, 7, 73, 60, dlgflag::kMultiSel),
    DlgStatic(-1, "&Rate:", 7, 72, 30, 8),
    DlgSlider(kSlider, 40, 70, 100, 16),
    DlgButton(kColour, "&Colour...", 7, 95, 60, 14),
    DlgDefButton(kIdOk, "OK", 118, 128, 50, 14),
    DlgButton(kIdCancel, "Cancel", 173, 128, 50, 14),
  }});
}

template <class W> W* Ctl(QWidget* d, int32_t id) { return qobject_cast<W*>(FindDlgControl(d, id)); }

// A dialog whose controls count their handler calls; Open sets the window up
// without a modal loop, as the set-up of a shown dialog does.
class TCtrlDlg : public TDlg {
public:
  TCtrlDlg() : TDlg(kCtrlDlg) {
    check = CreateCtrlerBoolean(this, kCheck, 0, Count(kCheck));
    radio = CreateCtrlerSwitch(this, kRadio, kRadioCount, 0, [this] {
      ++calls[kRadio];
      seenPosition = radio->GetPosition();
    });
    menu = CreateCtrlerMenu(this, kMenu, Count(kMenu));
    list = CreateCtrlerList(this, kList, Count(kList));
    slider = CreateCtrlerSlider(this, kSlider, [this] {
      ++calls[kSlider];
      seenSlider = slider->GetValue();
    });
    text = CreateCtrlerText(this, kText, {});
  }
  TCtrlHandler Count(int32_t id) {
    return [this, id] { ++calls[id]; };
  }
  void Open() { GetDDlg()->Create(); }
  QWidget* W() { return GetDDlg(); }

  ICtrlerBoolean* check;
  ICtrlerSwitch* radio;
  ICtrlerMenu* menu;
  ICtrlerList* list;
  ICtrlerSlider* slider;
  ICtrlerText* text;
  std::map<int32_t, int> calls;
  int seenPosition = -99;
  int32_t seenSlider = -99;
};

struct CtrlTest : ::testing::Test {
  void SetUp() override { RegisterCtrlDlg(); }
  testkit::ScriptedHost host;
};

TEST_F(CtrlTest, CheckBoxShowsStoredStateAndReadsBackZeroOrOne) {
  TCtrlDlg dlg;
  dlg.check->SetValue(5);
  dlg.check->SetEnabled(0);
  dlg.Open();
  auto* box = Ctl<QCheckBox>(dlg.W(), kCheck);
  EXPECT_TRUE(box->isChecked());
  EXPECT_FALSE(box->isEnabled()) << "disabled before the window existed";
  EXPECT_EQ(dlg.check->GetValue(), 1);
  EXPECT_EQ(dlg.check->IsModified(), 1);
  dlg.check->SetEnabled(1);
  box->click();
  EXPECT_EQ(dlg.calls[kCheck], 1);
  EXPECT_EQ(dlg.check->GetValue(), 0);
}

TEST_F(CtrlTest, RadioSwitchPositions) {
  TCtrlDlg dlg;
  dlg.radio->SetPosition(7); // outside the switch: nothing checked
  dlg.Open();
  for (int i = 0; i < kRadioCount; ++i) EXPECT_FALSE(Ctl<QRadioButton>(dlg.W(), kRadio + i)->isChecked()) << i;
  EXPECT_EQ(dlg.radio->GetPosition(), kRadioCount) << "none checked reads one past the last";
  for (int i : {2, 0, 1}) {
    Ctl<QRadioButton>(dlg.W(), kRadio + i)->click();
    EXPECT_EQ(dlg.seenPosition, i) << "every button raises the one handler, which reads the new position";
  }
  EXPECT_EQ(dlg.calls[kRadio], 3);
  dlg.radio->SetPosition(0);
  EXPECT_TRUE(Ctl<QRadioButton>(dlg.W(), kRadio)->isChecked());
  EXPECT_FALSE(Ctl<QRadioButton>(dlg.W(), kRadio + 1)->isChecked());
  EXPECT_EQ(dlg.calls[kRadio], 3) << "a position set by the program runs no handler";
}

TEST_F(CtrlTest, SwitchHoldsAtMostTwentyPositions) {
  TDlg dlg(kCtrlDlg);
  int calls = 0;
  CreateCtrlerSwitch(&dlg, 3700, 25, 0, [&] { ++calls; });
  dlg.GetDCtrler()->Notify(3700 + 19, ctlnote::kClicked);
  dlg.GetDCtrler()->Notify(3700 + 20, ctlnote::kClicked);
  EXPECT_EQ(calls, 1);
}

TEST_F(CtrlTest, DropDownListStartsWithoutSelectionAndReportsThePick) {
  TCtrlDlg dlg;
  EXPECT_EQ(dlg.menu->GetSelection(), -1);
  for (const char* t : {"None", "Hardware", "Software", "Virtual"}) dlg.menu->AddItem(t);
  dlg.Open();
  auto* combo = Ctl<QComboBox>(dlg.W(), kMenu);
  EXPECT_EQ(combo->count(), 4);
  EXPECT_EQ(combo->currentText(), "");
  combo->setCurrentIndex(2); // the user picks "Software"
  emit combo->activated(2);
  EXPECT_EQ(dlg.calls[kMenu], 1);
  EXPECT_EQ(dlg.menu->GetSelection(), 2);
  EXPECT_EQ(dlg.menu->IsModified(), 1);
  dlg.menu->SetSelection(1);
  EXPECT_EQ(combo->currentText(), "Hardware");
  dlg.menu->AddItem("Late");
  EXPECT_EQ(combo->count(), 5);
  dlg.menu->Clear();
  EXPECT_EQ(combo->count(), 0);
  EXPECT_EQ(dlg.calls[kMenu], 1) << "changes made by the program run no handler";
}

TEST_F(CtrlTest, ListBoxSelectionFlags) {
  TCtrlDlg dlg;
  for (const char* t : {"In 1", "In 2", "In 3", "In 4", "In 5"}) dlg.list->AddItem(t);
  dlg.list->Select(1);
  dlg.Open();
  auto* lb = Ctl<QListWidget>(dlg.W(), kList);
  ASSERT_EQ(lb->count(), 5);
  EXPECT_TRUE(lb->item(1)->isSelected());
  lb->item(1)->setSelected(false); // the user's selection: lines 0 and 3
  lb->item(0)->setSelected(true);
  lb->item(3)->setSelected(true);
  EXPECT_GT(dlg.calls[kList], 0);
  for (int i = 0; i < 5; ++i) EXPECT_EQ(dlg.list->IsSelected(i), i == 0 || i == 3 ? 1 : 0) << i;
  EXPECT_EQ(dlg.list->IsModified(), 0);
  const int callsBefore = dlg.calls[kList];
  dlg.list->Select(-1);
  EXPECT_TRUE(lb->item(0)->isSelected()) << "Select(-1) leaves the window alone";
  dlg.list->Select(4);
  EXPECT_TRUE(lb->item(4)->isSelected());
  EXPECT_EQ(dlg.calls[kList], callsBefore) << "a selection by the program runs no handler";
  // Indexes outside the list are ignored.
  dlg.list->RemoveItem(7);
  dlg.list->RemoveItem(-1);
  dlg.list->Select(9);
  EXPECT_EQ(dlg.list->GetCount(), 5);
  EXPECT_EQ(dlg.list->IsSelected(-1), 0);
  EXPECT_EQ(dlg.list->IsSelected(99), 0);
  EXPECT_EQ(dlg.list->GetItem(99), TStr());
  dlg.list->RemoveItem(0);
  EXPECT_EQ(dlg.list->GetCount(), 4);
  EXPECT_EQ(dlg.list->GetItem(0), TStr("In 2"));
  EXPECT_EQ(lb->count(), 4);
}

TEST_F(CtrlTest, SliderMapsPositionsToValues) {
  TCtrlDlg dlg;
  dlg.slider->SetRange(0, 100, 10, kNoCnt);
  dlg.slider->SetValue(35);
  dlg.Open();
  auto* s = Ctl<QSlider>(dlg.W(), kSlider);
  EXPECT_EQ(s->minimum(), 0);
  EXPECT_EQ(s->maximum(), 10) << "11 positions";
  EXPECT_EQ(s->tickInterval(), 10) << "ticks at the two ends only";
  EXPECT_EQ(s->value(), 3);
  EXPECT_EQ(dlg.calls[kSlider], 0);
  s->triggerAction(QAbstractSlider::SliderSingleStepAdd); // the user moves it one step
  EXPECT_EQ(dlg.calls[kSlider], 1);
  EXPECT_EQ(dlg.seenSlider, 40) << "the handler reads the new position";
  dlg.slider->SetValue(70);
  EXPECT_EQ(s->value(), 7);
  EXPECT_EQ(dlg.calls[kSlider], 1) << "a value set by the program runs no handler";
  dlg.slider->SetRange(-5, 5, 0, 3); // a step of 0 counts as 1
  EXPECT_EQ(s->maximum(), 10);
  EXPECT_EQ(s->tickInterval(), 2);
  s->setValue(3);
  EXPECT_EQ(dlg.slider->GetValue(), -2);
}

TEST_F(CtrlTest, StaticTextIsTouchedOnlyByAChange) {
  TCtrlDlg dlg;
  dlg.text->SetText("Card found");
  dlg.Open();
  auto* label = Ctl<QLabel>(dlg.W(), kText);
  EXPECT_EQ(label->text(), "Card found");
  label->setText("marker");
  dlg.text->SetText("Card found");
  EXPECT_EQ(label->text(), "marker");
  dlg.text->SetText("No card");
  EXPECT_EQ(label->text(), "No card");
}

TEST_F(CtrlTest, ColourChooserKeepsTheColourOnCancelAndCallsTheOwnerEitherWay) {
  TCtrlDlg dlg;
  int calls = 0;
  EPtr<IColor> red(CreateColor(255, 0, 0));
  ICtrlerColor* colour = CreateCtrlerColor(&dlg, kColour, *red, [&] { ++calls; });
  dlg.Open();
  struct Case {
    bool accept;
    uint32_t expected;
  } cases[] = {{false, 0x0000FF}, {true, 0x00FF00}};
  for (const Case& c : cases) {
    QColor seenCustom;
    auto previous = sky::SetModalRunner([&](QDialog& d) {
      seenCustom = QColorDialog::customColor(0);
      static_cast<QColorDialog&>(d).setCurrentColor(QColor(0, 255, 0));
      if (c.accept) d.accept();
      else d.reject();
      return d.result();
    });
    Ctl<QAbstractButton>(dlg.W(), kColour)->click();
    sky::SetModalRunner(previous);
    EXPECT_EQ(seenCustom, QColor(255, 0, 0)) << "the first custom colour is the current one";
    EXPECT_EQ(colour->GetColor().GetColor(), c.expected);
  }
  EXPECT_EQ(calls, 2);
}

TEST_F(CtrlTest, ControlsLookRight) {
  TCtrlDlg dlg;
  dlg.text->SetText("Sound card: none found");
  dlg.check->SetValue(1);
  dlg.radio->SetPosition(1);
  for (const char* t : {"None", "Hardware"}) dlg.menu->AddItem(t);
  dlg.menu->SetSelection(1);
  for (const char* t : {"In 1", "In 2", "In 3"}) dlg.list->AddItem(t);
  dlg.list->Select(2);
  dlg.slider->SetRange(0, 100, 10, kNoCnt);
  dlg.slider->SetValue(40);
  dlg.Open();
  const QImage shot = dlg.W()->grab().toImage();
  skytest::SaveShot(shot, "controls.png");
  EXPECT_FALSE(shot.isNull());
}

// A controller window of its own, as a tool window has.
class DPlain : public QWidget, public DCtrler {
public:
  explicit DPlain(TCtrler* v) : DCtrler(v) {}
  void SetCaption(const TStr&) override {}
  QWidget* GetWindow() override { return this; }
};
class TPlain : public TCtrler {
public:
  TPlain() : w(new DPlain(this)) { SetDCtrler(w, w); }
  ~TPlain() override {
    DeleteControls();
    delete w;
  }
  DPlain* w;
};

// A level meter of seven cels, each filled with its own grey.
QImage MeterPicture(int32_t id) {
  if (id != 7150) return QImage();
  QImage image(7 * 4, 10, QImage::Format_RGB32);
  for (int cel = 0; cel < 7; ++cel)
    for (int x = 0; x < 4; ++x)
      for (int y = 0; y < 10; ++y) image.setPixel(cel * 4 + x, y, qRgb(cel * 30, cel * 30, cel * 30));
  return image;
}

TEST(GadgetTest, BitmapShowsTheSelectedCel) {
  TPlain box;
  sky::SetPictureProvider(&MeterPicture);
  ICtrlerBmp* meter = CreateCtrlerBmp(&box, 3541, 7150, 7, 0, {});
  sky::SetPictureProvider(nullptr);
  auto* label = qobject_cast<QLabel*>(dynamic_cast<TCtrlerCtrl*>(meter)->GetGadget());
  ASSERT_NE(label, nullptr);
  EXPECT_EQ(label->size(), QSize(4, 10));
  box.w->SetUp();
  const auto shown = [&] { return label->pixmap().toImage().pixel(1, 1); };
  EXPECT_EQ(shown(), qRgb(0, 0, 0));
  meter->SelectImage(3);
  EXPECT_EQ(shown(), qRgb(90, 90, 90));
  meter->SelectImage(9); // no such cel: nothing shown
  EXPECT_TRUE(label->pixmap().isNull());
}

TEST(GadgetTest, SeparatorsBitmapsAndToolButtons) {
  TPlain box;
  ICtrlerSeparator* split = CreateCtrlerSeparator(&box, -1);
  ICtrlerSeparator* gap = CreateCtrlerSeparator(&box, 8);
  int clicks = 0;
  ICtrlerButton* play = CreateCtrlerButtonGadget(&box, 3580, 7101, [&] { ++clicks; }, 0, 0);
  ICtrlerButton* sync = CreateCtrlerButtonGadget(&box, 3581, 7102, {}, 1, 1);
  auto* splitC = dynamic_cast<TCtrlerCtrl*>(split);
  auto* gapC = dynamic_cast<TCtrlerCtrl*>(gap);
  EXPECT_TRUE(splitC->IsBarSplit());
  EXPECT_EQ(splitC->GetGadget(), nullptr);
  EXPECT_FALSE(gapC->IsBarSplit());
  ASSERT_NE(gapC->GetGadget(), nullptr);
  EXPECT_EQ(gapC->GetGadget()->width(), 8);
  auto* playB = qobject_cast<QToolButton*>(dynamic_cast<TCtrlerCtrl*>(play)->GetGadget());
  auto* syncB = qobject_cast<QToolButton*>(dynamic_cast<TCtrlerCtrl*>(sync)->GetGadget());
  EXPECT_FALSE(playB->isEnabled()) << "made disabled until the window sets it up";
  EXPECT_TRUE(syncB->isChecked());
  play->SetEnabled(0);
  box.w->SetUp();
  EXPECT_FALSE(playB->isEnabled());
  EXPECT_TRUE(syncB->isEnabled());
  play->SetEnabled(1);
  playB->click();
  EXPECT_EQ(clicks, 1);
  sync->SetDown(0);
  EXPECT_FALSE(syncB->isChecked());
}

} // namespace
