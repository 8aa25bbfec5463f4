// The two tool boxes: gadgets split between the boxes, commands to the view,
// placement kept across hide and show and across runs.
#include "pc/sky/ctrl.h"
#include "pc/sky/toolwnd.h"
#include "src/base/settings.h"
#include "tests/common/testkit.h"
#include "tests/sky/skyfixture.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QDockWidget>
#include <QLabel>
#include <QLayout>
#include <QMainWindow>
#include <QTextEdit>
#include <QToolBar>
#include <QToolButton>

namespace {

using namespace toolbox;

const char* const kAllSettings[] = {
  setting::EnsembleBoxLoc, setting::EnsembleBoxX, setting::EnsembleBoxY, setting::EnsembleBoxW,
  setting::EnsembleBoxH, setting::InstrumentBoxLoc, setting::InstrumentBoxX, setting::InstrumentBoxY,
  setting::InstrumentBoxW, setting::InstrumentBoxH};

// A control box as the application builds one.
class TTestBox : public TToolWnd {
public:
  explicit TTestBox(QMainWindow* frame) : TToolWnd(frame) {
    CreateCtrlerTextGadget(this, 3500, 30, {})->SetText("Ens");
    CreateCtrlerSeparator(this, 4);
    port = CreateCtrlerMenuGadget(this, 3740, TPnt(100, 200), [this] { picks.push_back(port->GetSelection()); });
    CreateCtrlerSeparator(this, -1);
    bpm = CreateCtrlerValue(this, 3501, 3850, 30, 120, "BPM", 20, 500, 0, 1, [this] { ++steps; });
  }
  void EnsembleBoxHidden() override { events.push_back("ensemble hidden"); }
  void InstrumentBoxHidden() override { events.push_back("instrument hidden"); }
  void EnsembleBoxShown() override { events.push_back("ensemble shown"); }
  void InstrumentBoxShown() override { events.push_back("instrument shown"); }
  QDockWidget* Dock(int box) { return GetDToolWnd()->Dock(box); }

  ICtrlerMenu* port;
  ICtrlerValue* bpm;
  std::vector<int> picks;
  int steps = 0;
  std::vector<std::string> events;
};

struct ToolWndTest : ::testing::Test {
  void SetUp() override {
    OpenSettings("ToolWndTest");
    for (const char* s : kAllSettings) DeleteSetting(s);
    frame.setCentralWidget(new QTextEdit);
    frame.resize(700, 400);
    frame.show();
  }
  void Settle() {
    frame.layout()->activate();
    QApplication::processEvents();
  }
  QMainWindow frame;
};

TEST_F(ToolWndTest, FirstStartDocksBothAtTheTopEnsembleFirst) {
  TTestBox box(&frame);
  box.Open();
  Settle();
  for (int b : {kEnsemble, kInstrument}) {
    SCOPED_TRACE(b);
    EXPECT_EQ(frame.dockWidgetArea(box.Dock(b)), Qt::TopDockWidgetArea);
    EXPECT_FALSE(box.Dock(b)->isFloating());
    EXPECT_TRUE(box.Dock(b)->isVisible());
    EXPECT_EQ(box.GetDToolWnd()->IsShown(b), 1);
  }
  EXPECT_EQ(box.Dock(kEnsemble)->windowTitle(), "Ensemble Control Box");
  EXPECT_EQ(box.Dock(kInstrument)->windowTitle(), "Instrument Control Box");
  EXPECT_LT(box.Dock(kEnsemble)->y(), box.Dock(kInstrument)->y());
  // The gadgets before the split go to the ensemble box, the rest to the other.
  EXPECT_NE(box.Dock(kEnsemble)->findChild<QComboBox*>(QStringLiteral("ctl3740")), nullptr);
  EXPECT_EQ(box.Dock(kInstrument)->findChild<QComboBox*>(), nullptr);
  auto* bpmText = box.Dock(kInstrument)->findChild<QLabel*>(QStringLiteral("ctl3501"));
  ASSERT_NE(bpmText, nullptr);
  EXPECT_EQ(bpmText->text(), "120") << "the set-up walk shows the cached value";
  EXPECT_EQ(box.Dock(kEnsemble)->findChild<QLabel*>(QStringLiteral("ctl3500"))->text(), "Ens");
  skytest::SaveShot(frame.grab().toImage(), "toolboxes.png");
}

TEST_F(ToolWndTest, CommandsOfTheBoxesGoToTheToolWindowsView) {
  TTestBox box(&frame);
  box.port->AddItem("None");
  box.port->AddItem("Port 1");
  box.Open();
  auto* combo = box.Dock(kEnsemble)->findChild<QComboBox*>(QStringLiteral("ctl3740"));
  EXPECT_EQ(combo->currentIndex(), -1);
  combo->setCurrentIndex(1);
  emit combo->activated(1);
  EXPECT_EQ(box.picks, std::vector<int>{1});
  box.port->SetSelection(0);
  EXPECT_EQ(box.picks.size(), 1u) << "a selection by the program runs no handler";
  box.Dock(kInstrument)->findChild<QToolButton*>(QStringLiteral("up"))->click();
  EXPECT_EQ(box.steps, 1);
  EXPECT_EQ(box.bpm->GetValue(), 121);
}

TEST_F(ToolWndTest, FloatingBoxKeepsItsRectangleAcrossHideAndShow) {
  WriteSettingInt(setting::EnsembleBoxLoc, uint32_t(kFloating));
  WriteSettingInt(setting::EnsembleBoxX, 100);
  WriteSettingInt(setting::EnsembleBoxY, 120);
  WriteSettingInt(setting::EnsembleBoxW, 520);
  WriteSettingInt(setting::EnsembleBoxH, 170);
  QRect moved;
  {
    TTestBox box(&frame);
    box.Open();
    QDockWidget* dock = box.Dock(kEnsemble);
    EXPECT_TRUE(dock->isFloating());
    const QRect placed = dock->geometry(); // the height is what the gadgets allow
    EXPECT_EQ(placed.topLeft(), QPoint(100, 120));
    EXPECT_EQ(placed.width(), 420);
    box.HideEnsembleBox();
    EXPECT_FALSE(dock->isVisible());
    EXPECT_EQ(box.GetDToolWnd()->IsShown(kEnsemble), 0);
    box.ShowEnsembleBox();
    EXPECT_TRUE(dock->isFloating());
    EXPECT_EQ(dock->geometry(), placed);
    dock->move(150, 130); // the user drags it
    moved = dock->geometry();
    EXPECT_TRUE(box.events.empty()) << "Show and Hide report nothing back";
  }
  // Right and bottom are stored in W and H.
  EXPECT_EQ(ReadSettingInt(setting::EnsembleBoxLoc, 99), uint32_t(kFloating));
  EXPECT_NE(moved.topLeft(), QPoint(100, 120));
  EXPECT_EQ(ReadSettingInt(setting::EnsembleBoxX, 0), uint32_t(moved.x()));
  EXPECT_EQ(ReadSettingInt(setting::EnsembleBoxY, 0), uint32_t(moved.y()));
  EXPECT_EQ(ReadSettingInt(setting::EnsembleBoxW, 0), uint32_t(moved.x() + moved.width()));
  EXPECT_EQ(ReadSettingInt(setting::EnsembleBoxH, 0), uint32_t(moved.y() + moved.height()));
  EXPECT_EQ(ReadSettingInt(setting::InstrumentBoxLoc, 99), uint32_t(kTop));
}

TEST_F(ToolWndTest, BoxDraggedToTheLeftIsThereAtTheNextStart) {
  {
    TTestBox box(&frame);
    box.Open();
    frame.addDockWidget(Qt::LeftDockWidgetArea, box.Dock(kEnsemble)); // the user's drag
  }
  EXPECT_EQ(ReadSettingInt(setting::EnsembleBoxLoc, 99), uint32_t(kLeft));
  TTestBox again(&frame);
  again.Open();
  EXPECT_EQ(frame.dockWidgetArea(again.Dock(kEnsemble)), Qt::LeftDockWidgetArea);
  EXPECT_EQ(again.Dock(kEnsemble)->widget()->findChild<QComboBox*>() != nullptr, true);
}

TEST_F(ToolWndTest, ShownEnsembleBoxGoesBeforeTheInstrumentBoxAtTheTop) {
  TTestBox box(&frame);
  box.Open();
  box.HideEnsembleBox();
  box.ShowEnsembleBox();
  Settle();
  EXPECT_LT(box.Dock(kEnsemble)->y(), box.Dock(kInstrument)->y());
  box.ShowEnsembleBox(); // already shown: nothing happens
  EXPECT_EQ(box.GetDToolWnd()->IsShown(kEnsemble), 1);
}

TEST_F(ToolWndTest, PlacesThatCannotBeShownComeBackDockedAtTheTop) {
  struct Case {
    const char* what;
    int32_t loc, x, y, r, b;
  } cases[] = {
    {"unknown location", 9, 0, 0, 0, 0},
    {"negative location", -1, 0, 0, 0, 0},
    {"empty floating rectangle", kFloating, 0, 0, 0, 0},
    {"floating off every screen", kFloating, -5000, -5000, -4600, -4950},
    {"inverted rectangle", kFloating, 300, 300, 100, 100},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    WriteSettingInt(setting::EnsembleBoxLoc, uint32_t(c.loc));
    WriteSettingInt(setting::EnsembleBoxX, uint32_t(c.x));
    WriteSettingInt(setting::EnsembleBoxY, uint32_t(c.y));
    WriteSettingInt(setting::EnsembleBoxW, uint32_t(c.r));
    WriteSettingInt(setting::EnsembleBoxH, uint32_t(c.b));
    TTestBox box(&frame);
    box.Open();
    EXPECT_FALSE(box.Dock(kEnsemble)->isFloating());
    EXPECT_EQ(frame.dockWidgetArea(box.Dock(kEnsemble)), Qt::TopDockWidgetArea);
  }
}

TEST_F(ToolWndTest, ClosingTheMainWindowDoesNotHideTheBoxes) {
  {
    TTestBox box(&frame);
    box.Open();
    box.Dock(kInstrument)->close(); // the user closes one box
    EXPECT_EQ(box.events, std::vector<std::string>{"instrument hidden"});
    EXPECT_EQ(box.GetDToolWnd()->IsShown(kInstrument), 0);
    frame.close();
    EXPECT_EQ(box.events.size(), 1u);
    EXPECT_EQ(box.GetDToolWnd()->IsShown(kEnsemble), 1);
  }
  EXPECT_EQ(ReadSettingInt(setting::EnsembleBoxLoc, 99), uint32_t(kTop));
}

TEST_F(ToolWndTest, NotificationsPostedToTheBoxReachTheViewLater) {
  struct TRefreshing : TTView {
    using TTView::TTView;
    void Refresh(int flag) override { flags.push_back(flag); }
    std::vector<int> flags;
  };
  TTestBox box(&frame);
  auto* view = new TRefreshing(&box, 0);
  view->PostNotify(0x1FF);
  EXPECT_TRUE(view->flags.empty());
  QApplication::processEvents();
  EXPECT_EQ(view->flags, std::vector<int>{0xFF});
}

} // namespace
