// Document windows: the update bracket, the back buffer, mouse and keys,
// posted notifications, scrolling, rubber lines and command routing.
#include "pc/sky/wnd.h"

#include "tests/common/testkit.h"
#include "tests/sky/skyfixture.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QFocusEvent>
#include <QScrollBar>
#include <QStyle>
#include <QThread>

#include <thread>

namespace {

using namespace skytest;

struct TestWnd : TWnd {
  void Paint(IDrawContext* ctx, const TArea& clip) override {
    renders.push_back(clip);
    TWnd::Paint(ctx, clip);
  }
  TArea GetExtent() override { return extent; }
  void OnNavigationKey(int code) override { keys.push_back(code); }
  void OnActivate() override { ++activations; }
  void Execute(int32_t id) override {
    executed.push_back(id);
    TWnd::Execute(id);
  }
  std::vector<TArea> renders;
  std::vector<int> keys;
  std::vector<int32_t> executed;
  TArea extent = EmptyArea;
  int activations = 0;
};

// Records the mouse as it reaches the view.
struct MouseView : BoxView {
  MouseView(TTView* parent, const TArea& area) : BoxView(parent, area, StdColor(TStdColor::LightGrey)) {}
  void LButtonDown(int32_t x, int32_t y) override { log.push_back({"down", x, y}); }
  void LButtonUp(int32_t x, int32_t y) override {
    log.push_back({"up", x, y});
    if (keepOnUp) RequestCapture();
  }
  void LButtonDblClk(int32_t x, int32_t y) override { log.push_back({"dbl", x, y}); }
  void MouseMove(int32_t x, int32_t y) override { log.push_back({"move", x, y}); }
  void CancelMouse() override { log.push_back({"cancel", 0, 0}); }
  void RButtonDown(int32_t x, int32_t y) override { log.push_back({"rdown", x, y}); }
  int IsSelected() override { return selected; }
  void Select(int on, int exclusive) override {
    selected = on;
    log.push_back({exclusive ? "select-only" : "select", 0, 0});
  }
  void Refresh(int flag) override {
    refreshed.push_back(flag);
    onGuiThread = QThread::currentThread() == qApp->thread();
  }
  struct Event {
    std::string what;
    int x, y;
    bool operator==(const Event&) const = default;
  };
  std::vector<Event> log;
  std::vector<int> refreshed;
  bool onGuiThread = false;
  bool keepOnUp = false;
  int selected = 0;
};

class WndTest : public ::testing::Test {
protected:
  void SetUp() override {
    wnd = new TestWnd;
    dw = wnd->GetDWnd();
    dw->resize(320, 240);
    wnd->Create();
    QApplication::processEvents();
    wnd->renders.clear();
  }
  void TearDown() override { delete wnd; }
  void Settle() {
    QCoreApplication::sendPostedEvents();
    QApplication::processEvents();
  }
  TestWnd* wnd = nullptr;
  DWnd* dw = nullptr;
};

TEST_F(WndTest, TenInvalidationsInOneBracketGiveOneRenderOfTheirUnion) {
  std::vector<BoxView*> boxes;
  {
    TUpdateBracket bracket;
    for (int i = 0; i < 10; ++i) boxes.push_back(new BoxView(wnd, TArea(10 + i * 12, 20 + i * 3, 20 + i * 12, 30 + i * 3)));
    for (BoxView* b : boxes) b->Invalidate();
    EXPECT_TRUE(wnd->renders.empty()) << "inside the bracket nothing renders";
  }
  ASSERT_EQ(wnd->renders.size(), 1u);
  EXPECT_EQ(wnd->renders[0], TArea(10, 20, 128, 57));
  const QImage screen = Screen(dw);
  EXPECT_EQ(screen.pixel(10, 20), 0xFFFF0000u);
  EXPECT_EQ(screen.pixel(127, 56), 0xFFFF0000u);
  EXPECT_EQ(screen.pixel(5, 5), 0xFFFFFFFFu) << "white background";
}

TEST_F(WndTest, OutsideABracketAnInvalidationRendersAtOnce) {
  auto* box = new BoxView(wnd, TArea(30, 30, 60, 50));
  ASSERT_EQ(wnd->renders.size(), 1u) << "adding a child invalidates its area";
  box->color = StdColor(TStdColor::Blue);
  box->Invalidate();
  ASSERT_EQ(wnd->renders.size(), 2u);
  EXPECT_EQ(wnd->renders[1], TArea(30, 30, 60, 50));
  EXPECT_EQ(dw->BackBuffer().pixel(40, 40), 0xFF0000FFu) << "rendered before Invalidate returned";
}

TEST_F(WndTest, NestedBracketsRepaintOnceWhenTheOutermostCloses) {
  auto* box = new BoxView(wnd, TArea(5, 5, 15, 15));
  wnd->renders.clear();
  BeginUpdate();
  BeginUpdate();
  box->Invalidate();
  EndUpdate();
  EXPECT_TRUE(wnd->renders.empty());
  box->MoveTo(TPnt(50, 50));
  EndUpdate();
  ASSERT_EQ(wnd->renders.size(), 1u);
  EXPECT_EQ(wnd->renders[0], TArea(5, 5, 60, 60));
  EXPECT_EQ(GetUpdateCount(), 0);
}

TEST_F(WndTest, AddingAndRemovingARubberLineRestoresThePixels) {
  new BoxView(wnd, TArea(40, 40, 120, 100), StdColor(TStdColor::Teal));
  const QImage before = Screen(dw);
  const TPnt from(10, 60), to(200, 70);
  wnd->AddRubberLine(from, to);
  const QImage with = Screen(dw);
  int changed = 0;
  for (int x = 10; x < 200; ++x)
    for (int y = 58; y <= 72; ++y) changed += with.pixel(x, y) != before.pixel(x, y);
  EXPECT_GT(changed, 40) << "a dotted line shows";
  EXPECT_LT(changed, 190) << "dotted, not solid";
  wnd->RemoveRubberLine(TPnt(1, 1), TPnt(2, 2)); // not there: nothing
  EXPECT_EQ(Screen(dw), with);
  wnd->RemoveRubberLine(from, to);
  EXPECT_EQ(Screen(dw), before);

  wnd->AddRubberLine(TPnt(0, 0), TPnt(100, 100));
  wnd->AddRubberLine(TPnt(0, 100), TPnt(100, 0));
  wnd->ClearRubberLines();
  EXPECT_EQ(Screen(dw), before);
}

TEST_F(WndTest, PressMoveReleaseReachTheCapturedViewInItsOwnCoordinates) {
  auto* outer = new BoxView(wnd, TArea(100, 50, 200, 150), StdColor(TStdColor::White));
  auto* v = new MouseView(outer, TArea(10, 10, 60, 60));
  auto* other = new MouseView(wnd, TArea(250, 10, 300, 60));
  Press(dw, QPoint(115, 65));
  Move(dw, QPoint(260, 20), Qt::LeftButton);
  Release(dw, QPoint(270, 30));
  Move(dw, QPoint(260, 20));
  using E = MouseView::Event;
  EXPECT_EQ(v->log, (std::vector<E>{{"down", 5, 5}, {"move", 150, -40}, {"up", 160, -30}}));
  EXPECT_EQ(other->log, (std::vector<E>{{"move", 10, 10}})) << "after the release the mouse is free";
  EXPECT_EQ(dw->CapturedView(), nullptr);
}

TEST_F(WndTest, RequestCaptureKeepsTheMouseUntilALaterReleaseWithoutIt) {
  auto* v = new MouseView(wnd, TArea(10, 10, 60, 60));
  auto* other = new MouseView(wnd, TArea(100, 10, 160, 60));
  v->keepOnUp = true;
  Press(dw, QPoint(20, 20));
  Release(dw, QPoint(20, 20));
  EXPECT_EQ(dw->CapturedView(), v);
  Move(dw, QPoint(120, 30));
  v->keepOnUp = false;
  Press(dw, QPoint(130, 30));
  Release(dw, QPoint(130, 30));
  Move(dw, QPoint(120, 30));
  using E = MouseView::Event;
  EXPECT_EQ(v->log, (std::vector<E>{{"down", 10, 10}, {"up", 10, 10}, {"move", 110, 20}, {"down", 120, 20},
                                    {"up", 120, 20}}));
  EXPECT_EQ(other->log, (std::vector<E>{{"move", 20, 20}}));
}

TEST_F(WndTest, ADoubleClickCancelsTheHolderAndGoesToTheViewUnderTheMouse) {
  auto* v = new MouseView(wnd, TArea(10, 10, 60, 60));
  auto* other = new MouseView(wnd, TArea(100, 10, 160, 60));
  v->keepOnUp = true;
  Press(dw, QPoint(20, 20));
  Release(dw, QPoint(20, 20));
  DoubleClick(dw, QPoint(110, 20));
  using E = MouseView::Event;
  EXPECT_EQ(v->log.back(), (E{"cancel", 0, 0}));
  EXPECT_EQ(other->log, (std::vector<E>{{"dbl", 10, 10}}));
  EXPECT_EQ(dw->CapturedView(), nullptr);
}

TEST_F(WndTest, AViewDestroyedWhileHoldingTheMouseIsForgotten) {
  auto* v = new MouseView(wnd, TArea(10, 10, 60, 60));
  Press(dw, QPoint(20, 20));
  EXPECT_EQ(dw->CapturedView(), v);
  delete v;
  EXPECT_EQ(dw->CapturedView(), nullptr);
  Move(dw, QPoint(30, 30), Qt::LeftButton);
  Release(dw, QPoint(30, 30));
}

TEST_F(WndTest, RightClickSelectsAndTheLastRightClickedViewNeverOutlivesIt) {
  auto* v = new MouseView(wnd, TArea(10, 10, 60, 60));
  int context = 0;
  v->AddCmd(4001, [&] { ++context; });
  Press(dw, QPoint(20, 25), Qt::RightButton);
  Release(dw, QPoint(20, 25), Qt::RightButton);
  using E = MouseView::Event;
  EXPECT_EQ(v->log, (std::vector<E>{{"select-only", 0, 0}, {"rdown", 10, 15}}));
  EXPECT_EQ(GetLastRightClickedView(), v);
  Press(dw, QPoint(20, 25), Qt::RightButton);
  EXPECT_EQ(v->log[2], (E{"select", 0, 0})) << "already selected: not exclusive";
  dw->CommandMessage(4001);
  EXPECT_EQ(context, 1);
  delete v;
  EXPECT_EQ(GetLastRightClickedView(), nullptr);
  dw->CommandMessage(4001); // reaches nobody
  EXPECT_EQ(dw->QueryCommand(4001).handled, 0);
}

TEST_F(WndTest, NotificationsPostedFromAnotherThreadRunOnTheGuiThreadAndOnlyForLiveViews) {
  auto* v = new MouseView(wnd, TArea(10, 10, 60, 60));
  std::thread([v] { v->PostNotify(0x1A5); }).join();
  EXPECT_TRUE(v->refreshed.empty());
  Settle();
  EXPECT_EQ(v->refreshed, (std::vector<int>{0xA5})) << "the low byte of the flag";
  EXPECT_TRUE(v->onGuiThread);

  v->PostNotify(1);
  delete v;
  Settle(); // must not reach the deleted view

  auto* moved = new MouseView(wnd, TArea(10, 10, 60, 60));
  moved->PostNotify(2);
  moved->Unlink(); // left the window's tree before the message arrived
  Settle();
  EXPECT_TRUE(moved->refreshed.empty());
  delete moved;
}

TEST_F(WndTest, InvalidationsFromAnotherThreadAreCarriedToTheGuiThread) {
  auto* box = new BoxView(wnd, TArea(30, 30, 60, 50));
  wnd->renders.clear();
  std::thread([box] { box->Invalidate(); }).join();
  EXPECT_TRUE(wnd->renders.empty());
  Settle();
  ASSERT_EQ(wnd->renders.size(), 1u);
  EXPECT_EQ(wnd->renders[0], TArea(30, 30, 60, 50));
}

TEST_F(WndTest, ScrollRangesPagesAndSteps) {
  // A canvas 1000 pixels high in a client 400 pixels high.
  wnd->extent = TArea(0, 0, 200, 1000);
  const int frame = 2 * dw->frameWidth();
  const int bar = dw->style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, dw->verticalScrollBar());
  dw->resize(400 + frame + bar, 400 + frame);
  wnd->UpdateScrollBars();
  Settle();
  ASSERT_EQ(dw->viewport()->height(), 400);
  EXPECT_EQ(dw->VerticalBarShown(), 1);
  EXPECT_EQ(dw->HorizontalBarShown(), 0);
  QScrollBar* v = dw->verticalScrollBar();
  EXPECT_EQ(v->minimum(), 0);
  EXPECT_EQ(v->maximum(), 150);
  EXPECT_EQ(v->pageStep(), 100);
  v->triggerAction(QAbstractSlider::SliderPageStepAdd);
  EXPECT_EQ(v->value(), 10);
  EXPECT_EQ(dw->ScrollPos(), TPnt(0, 40)) << "a page is 40 pixels";
  v->triggerAction(QAbstractSlider::SliderSingleStepAdd);
  EXPECT_EQ(dw->ScrollPos(), TPnt(0, 44));
  v->triggerAction(QAbstractSlider::SliderPageStepSub);
  v->triggerAction(QAbstractSlider::SliderPageStepSub);
  EXPECT_EQ(dw->ScrollPos(), TPnt(0, 0)) << "never above 0";
  v->setValue(1000);
  EXPECT_EQ(v->value(), 150);
  EXPECT_EQ(dw->ScrollPos(), TPnt(0, 600));
  EXPECT_EQ(dw->VisibleArea(), TArea(0, 600, 400, 1000));

  // Points follow the scroll position.
  auto* m = new MouseView(wnd, TArea(10, 610, 60, 660));
  Press(dw, QPoint(15, 15));
  Release(dw, QPoint(15, 15));
  EXPECT_EQ(m->log.front(), (MouseView::Event{"down", 5, 5}));
  EXPECT_EQ(wnd->GetMousePos(), TPnt(0, 0)) << "no move yet";
  Move(dw, QPoint(20, 30));
  EXPECT_EQ(wnd->GetMousePos(), TPnt(20, 630));
  EXPECT_EQ(m->GetMousePos(), TPnt(10, 20));

  // An extent that fits needs no bar once the view is back at the top.
  v->setValue(0);
  wnd->extent = TArea(0, 0, 100, 100);
  wnd->UpdateScrollBars();
  Settle();
  EXPECT_EQ(dw->VerticalBarShown(), 0);
}

TEST_F(WndTest, OnlyTheSixNavigationKeysReachTheRoot) {
  const std::pair<int, int> keys[] = {{Qt::Key_Up, kKeyUp},         {Qt::Key_Down, kKeyDown},
                                      {Qt::Key_Left, kKeyLeft},     {Qt::Key_Right, kKeyRight},
                                      {Qt::Key_PageUp, kKeyPageUp}, {Qt::Key_PageDown, kKeyPageDown}};
  for (auto [key, code] : keys) Key(dw, key);
  for (int other : {int(Qt::Key_A), int(Qt::Key_Home), int(Qt::Key_Space), int(Qt::Key_F1)}) Key(dw, other);
  EXPECT_EQ(wnd->keys, (std::vector<int>{0, 1, 2, 3, 4, 5}));
  EXPECT_EQ(GetLastRightClickedView(), wnd) << "a key press points context commands at the root";
  Key(dw, Qt::Key_Control);
  EXPECT_EQ(wnd->IsCtrlKeyDown(), 1);
  Key(dw, Qt::Key_Control, false);
  EXPECT_EQ(wnd->IsCtrlKeyDown(), 0);
}

TEST_F(WndTest, CommandsAreRoutedByRange) {
  std::vector<int32_t> app;
  SetAppCommandHandler([&](int32_t id) { app.push_back(id); });
  dw->CommandMessage(1200);
  dw->CommandMessage(5001);
  EXPECT_TRUE(app.empty()) << "application commands come after the current message";
  Settle();
  EXPECT_EQ(app, (std::vector<int32_t>{1200, 5001}));
  SetAppCommandHandler({});

  dw->CommandMessage(9000);
  dw->CommandMessage(1600);
  dw->CommandMessage(3600); // a control id: not a window's
  EXPECT_EQ(wnd->executed, (std::vector<int32_t>{9000, 1600}));

  struct Case {
    int32_t id;
    int handled, enabled;
  };
  int on = 0;
  wnd->AddCmd(1601, [] {}, [&] { return on; }, [] { return 1; });
  const Case cases[] = {{9000, 1, 1}, {11999, 1, 1}, {1601, 1, 0}, {1602, 0, 0}, {1200, 0, 0}, {3600, 0, 0}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.id);
    TCommandState s = dw->QueryCommand(c.id);
    EXPECT_EQ(s.handled, c.handled);
    EXPECT_EQ(s.enabled, c.enabled);
  }
  EXPECT_EQ(dw->QueryCommand(1601).checked, 1);
}

TEST_F(WndTest, ACommandThatRequestsCaptureGivesTheMouseToTheLastRightClickedView) {
  auto* v = new MouseView(wnd, TArea(10, 10, 60, 60));
  v->AddCmd(4002, [v] { v->RequestCapture(); });
  Press(dw, QPoint(20, 20), Qt::RightButton);
  Release(dw, QPoint(20, 20), Qt::RightButton);
  dw->CommandMessage(4002);
  EXPECT_EQ(dw->CapturedView(), v);
  Move(dw, QPoint(200, 100));
  EXPECT_EQ(v->log.back(), (MouseView::Event{"move", 190, 90}));
}

// Draws its feedback straight to the screen.
struct FeedbackView : BoxView {
  using BoxView::BoxView;
  TArea DrawFeedback(IDrawContext* ctx, int flag) override {
    ctx->FillArea(TArea(0, 0, 10, 10), StdColor(TStdColor::Blue));
    lastFlag = flag;
    return TArea(0, 0, 10, 10);
  }
  int lastFlag = -1;
};

TEST_F(WndTest, FeedbackShowsAtOnceAndTheNextPaintOverItRemovesIt) {
  auto* v = new FeedbackView(wnd, TArea(50, 40, 80, 70), StdColor(TStdColor::Yellow));
  wnd->renders.clear();
  v->DrawDirect(0x102);
  EXPECT_EQ(v->lastFlag, 2);
  EXPECT_TRUE(wnd->renders.empty()) << "feedback renders no view";
  EXPECT_EQ(Screen(dw).pixel(55, 45), 0xFF0000FFu);
  EXPECT_EQ(dw->FeedbackArea(), TArea(50, 40, 60, 50));
  v->Invalidate();
  EXPECT_EQ(Screen(dw).pixel(55, 45), 0xFFFFFF00u);
  EXPECT_TRUE(dw->FeedbackArea().IsEmpty());
}

TEST_F(WndTest, FocusActivatesOnceAndTheActiveWindowNeverOutlivesIt) {
  QFocusEvent in(QEvent::FocusIn, Qt::OtherFocusReason);
  QFocusEvent out(QEvent::FocusOut, Qt::OtherFocusReason);
  const int32_t stamp = wnd->GetActivationStamp();
  QApplication::sendEvent(dw, &in);
  EXPECT_EQ(wnd->activations, 1);
  EXPECT_EQ(wnd->HasFocus(), 1);
  EXPECT_GT(wnd->GetActivationStamp(), stamp);
  EXPECT_EQ(GetActiveWndView(), wnd);
  QApplication::sendEvent(dw, &out);
  EXPECT_EQ(wnd->HasFocus(), 0);
  QApplication::sendEvent(dw, &in);
  EXPECT_EQ(wnd->activations, 1) << "the same window again: no new activation";

  auto* second = new TestWnd;
  QApplication::sendEvent(second->GetDWnd(), &in);
  EXPECT_EQ(GetActiveWndView(), second);
  delete second;
  EXPECT_EQ(GetActiveWndView(), nullptr);
  QApplication::sendEvent(dw, &in);
  EXPECT_EQ(wnd->activations, 2);
}

struct HintView : BoxView {
  using BoxView::BoxView;
  int GetHint(TStr& text, TArea& area) override {
    text = hint;
    area = GetArea();
    return 1;
  }
  TStr hint;
};

TEST_F(WndTest, HintsComeFromTheViewUnderTheMouseAndAnEmptyOneSaysNoInfo) {
  auto* v = new HintView(wnd, TArea(10, 10, 60, 60));
  v->hint = "Cutoff 1200 Hz";
  TStr text;
  TArea area;
  EXPECT_EQ(wnd->HitHintView(QPoint(100, 100)), 0) << "the window itself has no hint";
  ASSERT_EQ(wnd->HitHintView(QPoint(20, 20)), 1);
  EXPECT_EQ(wnd->IsOverHintView(dw->viewport()->mapToGlobal(QPoint(30, 30))), 1);
  EXPECT_EQ(wnd->IsOverHintView(dw->viewport()->mapToGlobal(QPoint(90, 30))), 0);
  wnd->GetHintText(text, area);
  EXPECT_EQ(text, TStr("Cutoff 1200 Hz"));
  EXPECT_EQ(area, TArea(10, 10, 60, 60));
  v->hint = "";
  wnd->GetHintText(text, area);
  EXPECT_EQ(text, TStr("No Info"));
  delete v;
  wnd->GetHintText(text, area); // the hint view went with its view
  EXPECT_EQ(text, TStr("No Info"));
}

// A bitmap of w x h with its top-left pixel marked red, the rest green.
IBmp* MarkedBitmap(int w, int h, const std::string& dir, const char* file) {
  QImage img(w, h, QImage::Format_RGB32);
  img.fill(Qt::green);
  img.setPixel(0, 0, 0xFFFF0000);
  const std::string path = dir + "/" + file;
  img.save(QString::fromStdString(path));
  EPtr<IFileName> name(CreateFileName());
  name->SetPath(TStr(path.c_str()));
  IBmp* bmp = CreateBmp();
  bmp->LoadFile(name.Get());
  return bmp;
}

TEST_F(WndTest, ABackgroundBitmapTilesTheCanvasAndAnOwnedOneIsFreedWhenReplaced) {
  const std::string dir = testkit::TempDir("background");
  wnd->SetBackgroundBitmap(MarkedBitmap(8, 8, dir, "a.png"), 1, 1);
  wnd->SetBackgroundBitmap(MarkedBitmap(16, 10, dir, "b.png"), 1, 1); // the first one goes (the leak check sees it)
  const QImage screen = Screen(dw);
  for (QPoint tile : {QPoint(0, 0), QPoint(16, 0), QPoint(32, 20), QPoint(304, 230)})
    EXPECT_EQ(screen.pixel(tile), 0xFFFF0000u) << tile.x() << "," << tile.y();
  EXPECT_EQ(screen.pixel(17, 1), 0xFF00FF00u);
  EXPECT_EQ(wnd->GetBackgroundBitmap()->GetWidth(), 16);
}

TEST_F(WndTest, AWindowWhoseCanvasWentAnswersWithoutIt) {
  delete dw;
  EXPECT_EQ(wnd->GetDWnd(), nullptr);
  auto* box = new BoxView(wnd, TArea(0, 0, 10, 10));
  box->Invalidate();
  box->PostNotify(1);
  wnd->AddRubberLine(TPnt(0, 0), TPnt(5, 5));
  EXPECT_EQ(wnd->UpdateScrollBars(), 0);
  EXPECT_EQ(wnd->GetMousePos(), TPnt(0, 0));
  Settle();
}

// A labelled box, as a module box of the program would draw itself.
struct LabelView : BoxView {
  LabelView(TTView* parent, const TArea& area, const char* text, IFnt* f)
      : BoxView(parent, area, StdColor(TStdColor::LightGrey)), label(text), font(f) {}
  void Paint(IDrawContext* ctx, const TArea& clip) override {
    const TArea own(0, 0, GetArea().Width(), GetArea().Height());
    ctx->FillArea(own, color);
    ctx->MoveTo(TPnt(0, 0));
    ctx->LineTo(TPnt(own.Right() - 1, 0), StdColor(TStdColor::White));
    ctx->LineTo(TPnt(own.Right() - 1, own.Bottom() - 1), StdColor(TStdColor::Grey));
    ctx->LineTo(TPnt(0, own.Bottom() - 1), StdColor(TStdColor::Grey));
    ctx->LineTo(TPnt(0, 0), StdColor(TStdColor::White));
    ctx->SetFont(font);
    ctx->DrawTextCentred(4, TArea(1, 1, own.Right() - 1, 20), StdColor(TStdColor::DarkBlue),
                         StdColor(TStdColor::White), label);
    ctx->DrawTextLeft(TPnt(4, 24), EmptyArea, StdColor(TStdColor::Transparent), StdColor(TStdColor::Black), "In");
    ctx->DrawTextRight(TPnt(own.Right() - 4, 24), EmptyArea, StdColor(TStdColor::Transparent),
                       StdColor(TStdColor::Black), "Out");
  }
  TStr label;
  IFnt* font;
};

TEST_F(WndTest, AWindowAsAPersonSeesIt) {
  EPtr<IFnt> font(CreateFnt("MS Sans Serif", 8, 6));
  EPtr<IColor> bg(CreateColor(77, 102, 78));
  wnd->SetBackgroundColor(*bg);
  {
    TUpdateBracket bracket;
    new LabelView(wnd, TArea(20, 20, 120, 60), "Oscillator", font.Get());
    new LabelView(wnd, TArea(180, 120, 280, 160), "Filter", font.Get());
  }
  wnd->AddRubberLine(TPnt(116, 50), TPnt(184, 150));
  const QImage shot = Screen(dw);
  const std::string path = SaveShot(shot, "sky_window.png");
  std::printf("screenshot: %s\n", path.c_str());
  EXPECT_EQ(shot.pixel(5, 5), QColor(77, 102, 78).rgb());
  EXPECT_EQ(shot.pixel(70, 58), QColor(192, 192, 192).rgb());
  wnd->ClearRubberLines();
}

} // namespace
