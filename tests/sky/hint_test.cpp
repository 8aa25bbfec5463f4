// The hint window: when it shows, follows, hides, and how it is laid out.
#include "pc/sky/hint.h"
#include "tests/sky/skyfixture.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QFontMetrics>
#include <QScreen>

namespace {

using skytest::BoxView;

struct HintBox : BoxView {
  using BoxView::BoxView;
  TStr text = "Hello";
  int GetHint(TStr& t, TArea& area) override {
    t = text;
    area = GetArea();
    return 1;
  }
};

class HintTest : public ::testing::Test {
protected:
  void SetUp() override {
    SetHintsEnabled(1);
    wnd = new TWnd;
    box = new HintBox(wnd, TArea(10, 10, 110, 60));
    dw = wnd->GetDWnd();
    dw->resize(300, 200);
    wnd->Create();
    QApplication::processEvents();
    hint = dw->Hint();
    DHint::SetCursorSource([this] { return cursor; });
    cursor = Over(QPoint(20, 20));
  }
  void TearDown() override {
    DHint::SetCursorSource({});
    SetHintsEnabled(1);
    delete wnd;
  }
  QPoint Over(QPoint client) const { return dw->viewport()->mapToGlobal(client); }

  skytest::ManualTicker ticker; // made first: the hint registers its tick with it
  TWnd* wnd = nullptr;
  HintBox* box = nullptr;
  DWnd* dw = nullptr;
  DHint* hint = nullptr;
  QPoint cursor;
};

TEST_F(HintTest, AHintShowsAfterTwoTicksOfRestAndFollowsTheView) {
  ASSERT_NE(hint, nullptr);
  ticker.Tick();
  EXPECT_FALSE(hint->IsShown()) << "one tick of rest is not enough";
  skytest::Move(dw, QPoint(21, 20));
  ticker.Tick();
  EXPECT_FALSE(hint->IsShown()) << "a move starts the rest again";
  ticker.Tick();
  ASSERT_TRUE(hint->IsShown());
  EXPECT_TRUE(hint->isVisible());
  EXPECT_EQ(hint->Text(), TStr("Hello"));
  box->text = "Changed";
  ticker.Tick();
  EXPECT_EQ(hint->Text(), TStr("Changed")) << "a shown hint follows its view's text";
  cursor = Over(QPoint(200, 150)); // off the view, over the window
  ticker.Tick();
  EXPECT_FALSE(hint->IsShown());
  EXPECT_FALSE(hint->isVisible());
}

TEST_F(HintTest, AButtonHidesTheHintAndAHeldButtonKeepsItAway) {
  ticker.Tick();
  ticker.Tick();
  ASSERT_TRUE(hint->IsShown());
  skytest::Press(dw, QPoint(20, 20));
  EXPECT_FALSE(hint->IsShown());
  for (int i = 0; i < 4; ++i) ticker.Tick();
  EXPECT_FALSE(hint->IsShown()) << "no hint while the left button is down";
  skytest::Release(dw, QPoint(20, 20));
  ticker.Tick();
  ticker.Tick();
  EXPECT_TRUE(hint->IsShown());
}

TEST_F(HintTest, SwitchingHintsOffHidesAShownHint) {
  ticker.Tick();
  ticker.Tick();
  ASSERT_TRUE(hint->IsShown());
  SetHintsEnabled(0);
  ticker.Tick();
  EXPECT_FALSE(hint->IsShown());
  EXPECT_FALSE(hint->isVisible());
  ticker.Tick();
  ticker.Tick();
  EXPECT_FALSE(hint->IsShown()) << "and none comes while they are off";
}

TEST_F(HintTest, TheRootItselfGivesNoHint) {
  cursor = Over(QPoint(250, 150));
  for (int i = 0; i < 3; ++i) ticker.Tick();
  EXPECT_FALSE(hint->IsShown());
}

TEST(HintLines, TextIsCutAtNewlinesAndAtTheLastBlankWithinSixtyCharacters) {
  struct Case {
    std::string text;
    std::vector<std::string> lines;
  };
  const std::string sixty(60, 'a');
  const Case cases[] = {
      {"one\ntwo", {"one", "two"}},
      {std::string(50, 'a') + " " + std::string(20, 'b'), {std::string(50, 'a'), std::string(20, 'b')}},
      {sixty + "bbb", {sixty, "bbb"}}, // no blank: cut at 60
      {"", {}},
  };
  for (const Case& c : cases) {
    std::vector<std::string> got;
    for (const TStr& l : DHint::Lines(TStr(c.text))) got.push_back(l.Std());
    EXPECT_EQ(got, c.lines) << c.text;
  }
}

TEST_F(HintTest, LayoutSizesToTheLinesAndStaysOnTheScreen) {
  QScreen* screen = QGuiApplication::primaryScreen();
  ASSERT_NE(screen, nullptr);
  const QRect avail = screen->availableGeometry();
  box->text = "short\na much longer second line";
  ticker.Tick();
  ticker.Tick();
  ASSERT_TRUE(hint->IsShown());
  const QFontMetrics fm(hint->font());
  const int lineH = fm.size(Qt::TextSingleLine, QStringLiteral("short")).height();
  const int w = fm.size(Qt::TextSingleLine, QStringLiteral("a much longer second line")).width() + DHint::kPadWidth;
  const int h = 2 * lineH + DHint::kPadHeight;
  EXPECT_EQ(hint->LineHeight(), lineH);
  struct Case {
    const char* where;
    QPoint cursor;
    QPoint expected;
  };
  const Case cases[] = {
      {"below the cursor", avail.topLeft() + QPoint(100, 100), avail.topLeft() + QPoint(100, 100 + DHint::kCursorHeight)},
      {"pushed left at the right edge", QPoint(avail.right() - 5, avail.top() + 100),
       QPoint(avail.right() + 1 - w, avail.top() + 100 + DHint::kCursorHeight)},
      {"above the cursor at the bottom", QPoint(avail.left() + 100, avail.bottom() - 10),
       QPoint(avail.left() + 100, avail.bottom() - 10 - DHint::kGapAbove - h)},
  };
  for (const Case& c : cases) {
    hint->Layout(c.cursor);
    EXPECT_EQ(hint->geometry(), QRect(c.expected, QSize(w, h))) << c.where;
  }
  skytest::SaveShot(hint->grab().toImage(), "hint.png");
}

} // namespace
