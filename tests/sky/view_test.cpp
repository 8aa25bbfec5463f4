// The view tree, view slots, timers and the command protocol.
#include "pc/sky/view.h"

#include "tests/sky/skyfixture.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QPainter>
#include <QThread>

#include <thread>

namespace {

using skytest::BoxView;
using skytest::ManualTicker;
using skytest::RecordingRoot;

std::vector<TTView*> Children(TTView* v) {
  std::vector<TTView*> out;
  for (TTView* c = v->GetFirstChild(); c; c = c->NextSibling()) out.push_back(c);
  return out;
}

TEST(ViewTree, ParentsChildrenAndOffsets) {
  RecordingRoot root;
  auto* a = new TTView(&root);
  auto* b = new TTView(&root, 1); // topmost: at the head
  auto* c = new TTView(&root);
  EXPECT_EQ(Children(&root), (std::vector<TTView*>{b, a, c}));
  a->SetArea(TArea(10, 20, 110, 120));
  auto* inner = new TTView(a);
  inner->SetArea(TArea(5, 6, 15, 16));
  TPnt offset;
  EXPECT_EQ(inner->GetRoot(&offset), &root);
  EXPECT_EQ(offset, TPnt(10, 20));

  inner->SetParent(c, 0); // already has a parent: ignored
  EXPECT_EQ(inner->GetParent(), a);

  root.invalidated.clear();
  inner->Unlink();
  ASSERT_EQ(root.invalidated.size(), 1u);
  EXPECT_EQ(root.invalidated[0], TArea(15, 26, 25, 36)) << "its area in root coordinates";
  EXPECT_EQ(inner->GetParent(), nullptr);
  inner->Unlink(); // nothing to do
  delete inner;

  int visits = 0;
  EXPECT_EQ(root.VisitTreeWith([&](TTView* v) { return ++visits < 3 ? 1 : 0; }), 0);
  EXPECT_EQ(visits, 3) << "stops at the first 0";
  visits = 0;
  EXPECT_EQ(root.VisitTreeWith([&](TTView*) { return ++visits; }), 1);
  EXPECT_EQ(visits, 4);
}

TEST(ViewTree, GroupCatchesWhatNoChildTakesAndInvisibleParentsStillLetChildrenHit) {
  TTView root;
  auto* group = new TTView(&root); // empty area: a transparent group
  auto* box = new TTView(group);
  box->SetArea(TArea(10, 10, 20, 20));

  TPnt p(15, 12);
  EXPECT_EQ(root.FindViewAt(p), box);
  EXPECT_EQ(p, TPnt(5, 2)) << "in the box's coordinates";
  p = TPnt(50, 60);
  EXPECT_EQ(root.FindViewAt(p), group);
  EXPECT_EQ(p, TPnt(50, 60)) << "a group's coordinates are its parent's";

  auto* hidden = new TTView(&root, 1);
  hidden->SetArea(TArea(100, 100, 200, 200));
  auto* child = new TTView(hidden);
  child->SetArea(TArea(0, 0, 10, 10));
  hidden->SetVisible(0);
  p = TPnt(105, 105);
  EXPECT_EQ(root.FindViewAt(p), child);
  p = TPnt(150, 150);
  EXPECT_EQ(root.FindViewAt(p), group) << "the hidden view itself is not hit";
  EXPECT_EQ(hidden->GetBounds(), EmptyArea);
}

TEST(ViewTree, MovingHidingAndShowingInvalidate) {
  RecordingRoot root;
  auto* v = new TTView(&root);
  v->SetArea(TArea(0, 0, 10, 10));
  root.invalidated.clear();
  v->MoveTo(TPnt(20, 5));
  ASSERT_EQ(root.invalidated.size(), 1u);
  EXPECT_EQ(root.invalidated[0], TArea(0, 0, 30, 15)) << "the union of old and new";
  EXPECT_EQ(v->GetArea(), TArea(20, 5, 30, 15));

  root.invalidated.clear();
  v->SetVisible(0);
  ASSERT_EQ(root.invalidated.size(), 1u);
  EXPECT_EQ(root.invalidated[0], TArea(20, 5, 30, 15)) << "what it covered";
  root.invalidated.clear();
  v->MoveTo(TPnt(40, 40));
  v->Invalidate();
  v->SetVisible(0);
  EXPECT_TRUE(root.invalidated.empty()) << "an invisible view invalidates nothing";
  v->SetVisible(1);
  ASSERT_EQ(root.invalidated.size(), 1u);
  EXPECT_EQ(root.invalidated[0], TArea(40, 40, 50, 50));

  TTView lone; // moving a root: no parent to tell
  lone.MoveTo(TPnt(3, 3));
  EXPECT_EQ(lone.GetOrigin(), TPnt(3, 3));
}

TEST(ViewTree, RaiseMarkedChildrenKeepsTheirOrder) {
  RecordingRoot root;
  std::vector<TTView*> v;
  for (int i = 0; i < 4; ++i) {
    v.push_back(new TTView(&root));
    v.back()->SetArea(TArea(i * 10, 0, i * 10 + 5, 5));
  }
  v[1]->MarkToRaise();
  v[3]->MarkToRaise();
  root.invalidated.clear();
  root.RaiseMarkedChildren();
  EXPECT_EQ(Children(&root), (std::vector<TTView*>{v[1], v[3], v[0], v[2]}));
  for (TTView* c : v) EXPECT_EQ(c->IsMarkedToRaise(), 0);
  EXPECT_EQ(root.invalidated.size(), 2u) << "each raised child redraws";

  v[0]->MarkToRaise();
  v[2]->MarkToRaise();
  root.ClearRaiseMarks();
  root.RaiseMarkedChildren();
  EXPECT_EQ(Children(&root), (std::vector<TTView*>{v[1], v[3], v[0], v[2]}));
}

// Paints a tree into an image through the base painting.
QImage PaintTree(TTView& root, const TArea& clip) {
  QImage img(60, 60, QImage::Format_RGB32);
  img.fill(Qt::white);
  QPainter p(&img);
  TDrawContext ctx;
  ctx.SetDC(&p);
  root.Paint(&ctx, clip);
  p.end();
  return img;
}

TEST(ViewPaint, GroupChildrenPaintWhereTheyAreHitAndHiddenSubtreesAreSkipped) {
  TTView root;
  auto* group = new TTView(&root);
  new BoxView(group, TArea(20, 20, 30, 30), StdColor(TStdColor::Red));
  auto* hidden = new BoxView(&root, TArea(40, 0, 50, 10), StdColor(TStdColor::Blue));
  new BoxView(hidden, TArea(0, 0, 5, 5), StdColor(TStdColor::Green));
  hidden->SetVisible(0);
  auto* top = new BoxView(&root, TArea(0, 0, 10, 10), StdColor(TStdColor::Black), 1);
  new BoxView(&root, TArea(5, 5, 15, 15), StdColor(TStdColor::Yellow)); // below the black one
  (void)top;

  QImage img = PaintTree(root, TArea(0, 0, 60, 60));
  EXPECT_EQ(img.pixel(20, 20), 0xFFFF0000u) << "a group adds no offset";
  EXPECT_EQ(img.pixel(19, 19), 0xFFFFFFFFu);
  EXPECT_EQ(img.pixel(40, 0), 0xFFFFFFFFu) << "hidden subtree skipped";
  EXPECT_EQ(img.pixel(7, 7), 0xFF000000u) << "the first child ends on top";
  EXPECT_EQ(img.pixel(12, 12), 0xFFFFFF00u);

  QImage clipped = PaintTree(root, TArea(0, 0, 16, 16));
  EXPECT_EQ(clipped.pixel(20, 20), 0xFFFFFFFFu) << "children outside the clip are not painted";
}

TEST(ViewTree, UnlinkingAGroupInvalidatesWhatItsChildrenCovered) {
  RecordingRoot root;
  auto* group = new TTView(&root);
  new BoxView(group, TArea(20, 20, 30, 30));
  root.invalidated.clear();
  delete group;
  ASSERT_FALSE(root.invalidated.empty());
  TArea all = EmptyArea;
  for (const TArea& a : root.invalidated) all.Unite(a);
  EXPECT_EQ(all, TArea(20, 20, 30, 30));
}

// ---------------------------------------------------------------- slots

struct SlotView : TTView {
  explicit SlotView(TTView* parent = nullptr) : TTView(parent) { SetArea(TArea(0, 0, 50, 50)); }
  void OnChange() {
    ++calls;
    if (slot) seenCache = static_cast<TCntViewSlot*>(slot)->GetValue();
    onGuiThread = QThread::currentThread() == QCoreApplication::instance()->thread();
  }
  int calls = 0;
  int32_t seenCache = 0;
  bool onGuiThread = false;
  TViewSlot* slot = nullptr;
};

TEST(ViewSlots, TypedSlotsStartWithTheirSentinelsAndHandlersSeeThePreviousValue) {
  TSharedBoolean b("B");
  TSharedStr s("S");
  TSharedCnt c(0, 100, "C");
  TSharedReal r(0, 1, "R");
  SlotView v;
  auto* sb = dynamic_cast<TTView::TBooleanViewSlot*>(v.AddViewSlot(&b, &SlotView::OnChange));
  auto* ss = dynamic_cast<TTView::TStrViewSlot*>(v.AddViewSlot(&s, &SlotView::OnChange));
  auto* sc = dynamic_cast<TTView::TCntViewSlot*>(v.AddViewSlot(&c, &SlotView::OnChange));
  auto* sr = dynamic_cast<TTView::TRealViewSlot*>(v.AddViewSlot(&r, &SlotView::OnChange));
  ASSERT_TRUE(sb && ss && sc && sr) << "the slot class follows the value's type";
  EXPECT_EQ(sb->GetValue(), 0);
  EXPECT_EQ(ss->GetValue(), TStr());
  EXPECT_EQ(sc->GetValue(), INT32_MIN);
  EXPECT_EQ(sr->GetValue(), 3.4028235e38f);
  EXPECT_EQ(v.calls, 0);

  v.slot = sc;
  c.Set(7);
  EXPECT_EQ(v.calls, 1);
  EXPECT_EQ(v.seenCache, INT32_MIN) << "the handler runs before the cache takes the value";
  EXPECT_EQ(sc->GetValue(), 7);
  c.Set(9);
  EXPECT_EQ(v.seenCache, 7);
  s.Set("abc");
  EXPECT_EQ(ss->GetValue(), TStr("abc"));
  r.Set(0.25f);
  EXPECT_EQ(sr->GetValue(), 0.25f);

  TSharedPnt pnt("P");
  auto* plain = v.AddViewSlot(&pnt, &SlotView::OnChange, "name", 1);
  ASSERT_NE(plain, nullptr);
  EXPECT_EQ(dynamic_cast<TTView::TCntViewSlot*>(plain), nullptr);
  EXPECT_EQ(v.calls, 5) << "call-now notifies at once";
}

TEST(ViewSlots, AreaSlotsInvalidateTheirAreaAndTakeOnlyTheFourTypedValues) {
  RecordingRoot root;
  auto* v = new SlotView(&root);
  v->MoveTo(TPnt(100, 200));
  TSharedCnt c(0, 10, "C");
  TSharedArea area("A");
  auto* slot = dynamic_cast<TTView::TCntViewSlot*>(v->AddAreaSlot(&c, TArea(1, 2, 3, 4)));
  ASSERT_NE(slot, nullptr);
  EXPECT_EQ(v->AddAreaSlot(&area, TArea(1, 2, 3, 4)), nullptr);
  root.invalidated.clear();
  c.Set(5);
  ASSERT_EQ(root.invalidated.size(), 1u);
  EXPECT_EQ(root.invalidated[0], TArea(101, 202, 103, 204));
  EXPECT_EQ(slot->GetValue(), 5);
}

TEST(ViewSlots, NoSlotOutlivesItsViewAndAValueMayGoFirst) {
  TSharedCnt c(0, 10, "C");
  {
    SlotView v;
    v.AddViewSlot(&c, &SlotView::OnChange);
    v.Connect(&c, &SlotView::OnChange);
    EXPECT_EQ(c.SlotCount(), 2);
  }
  EXPECT_EQ(c.SlotCount(), 0) << "both bindings went with the view";
  c.Set(3); // would reach a destroyed view otherwise

  SlotView v;
  {
    TSharedCnt gone(0, 10, "G");
    v.AddViewSlot(&gone, &SlotView::OnChange);
  }
  // The view forgot the slot that its value deleted; its own end must not touch it.
}

TEST(ViewSlots, AChangeOnAnotherThreadReachesTheViewOnTheGuiThread) {
  TSharedCnt c(0, 10, "C");
  auto* v = new SlotView;
  auto* slot = dynamic_cast<TTView::TCntViewSlot*>(v->AddViewSlot(&c, &SlotView::OnChange));
  std::thread([&] { c.Set(4); }).join();
  EXPECT_EQ(v->calls, 0) << "nothing ran on the setting thread";
  QCoreApplication::sendPostedEvents();
  QCoreApplication::processEvents();
  EXPECT_EQ(v->calls, 1);
  EXPECT_TRUE(v->onGuiThread);
  EXPECT_EQ(slot->GetValue(), 4);

  std::thread([&] { c.Set(6); }).join();
  delete v; // before the posted notification arrives
  QCoreApplication::sendPostedEvents();
  QCoreApplication::processEvents();
  SUCCEED() << "the late notification found no view and did nothing";
}

// ---------------------------------------------------------------- timers

struct TimerView : TTView {
  int OnTimer() override { return ++ticks < stopAfter ? 1 : 0; }
  int OnIdle() override { return ++idles < 2 ? 1 : 0; }
  int ticks = 0, idles = 0, stopAfter = 1000;
};

TEST(ViewTimers, ZeroStopsTheTimerAndALaterStopDoesNothing) {
  ManualTicker ticker;
  TimerView v;
  v.stopAfter = 2;
  v.StartTimer(100);
  EXPECT_EQ(v.IsTimerRunning(), 1);
  ticker.Tick();
  EXPECT_EQ(v.IsTimerRunning(), 1);
  ticker.Tick();
  EXPECT_EQ(v.ticks, 2);
  EXPECT_EQ(v.IsTimerRunning(), 0);
  EXPECT_EQ(ticker.Timers(), 0u);
  v.StopTimer();
  ticker.Tick();
  EXPECT_EQ(v.ticks, 2);

  v.StartIdle();
  ticker.Idle();
  ticker.Idle();
  ticker.Idle();
  EXPECT_EQ(v.idles, 2);
  EXPECT_EQ(v.IsIdleRunning(), 0);
}

TEST(ViewTimers, StartingTwiceKeepsOneTickAndADestroyedViewLeavesNoCallback) {
  ManualTicker ticker;
  auto* v = new TimerView;
  v->StartTimer(100);
  v->StartTimer(200);
  EXPECT_EQ(ticker.Timers(), 1u);
  v->StartIdle();
  EXPECT_EQ(ticker.IdleTasks(), 1u);
  delete v;
  EXPECT_EQ(ticker.Timers(), 0u);
  EXPECT_EQ(ticker.IdleTasks(), 0u);
  ticker.Tick();
  ticker.Idle();
}

// ---------------------------------------------------------------- commands

struct CmdView : TTView {
  using TTView::TTView;
  void Run() { log->push_back(name); }
  int Off() { return 0; }
  int On() { return 1; }
  std::vector<std::string>* log = nullptr;
  std::string name;
};

TEST(Commands, SearchOrderShadowingAndDefaults) {
  std::vector<std::string> log;
  CmdView root;
  auto* first = new CmdView(&root);
  auto* last = new CmdView(&root);
  for (auto [v, n] : {std::pair<CmdView*, const char*>{&root, "root"}, {first, "first"}, {last, "last"}}) {
    v->log = &log;
    v->name = n;
  }
  first->AddCmd(1600, &CmdView::Run);
  last->AddCmd(1600, &CmdView::Run);
  root.Execute(1600);
  EXPECT_EQ(log.back(), "last") << "the bottom-most child is searched first";
  root.AddCmd(1600, &CmdView::Run);
  root.Execute(1600);
  EXPECT_EQ(log.back(), "root") << "the view itself wins over its children";

  TTView* holder = nullptr;
  TTView::TCmd* found = nullptr;
  root.AddCmd(1601, &CmdView::Run, &CmdView::Off);
  root.AddCmd(1601, &CmdView::Run, &CmdView::On);
  root.FindCmd(1601, holder, found);
  int enabled = -1, checked = -1;
  EXPECT_EQ(root.IsEnabled(1601, enabled), 1);
  EXPECT_EQ(enabled, 1) << "the later registration is found";

  struct Case {
    int32_t id;
    int handled, enabled, checked;
  };
  root.AddCmd(1602, &CmdView::Run);                           // no query handlers
  root.AddCmd<CmdView>(1603, nullptr, &CmdView::Off, &CmdView::On); // no execute handler
  const Case cases[] = {{1602, 1, 1, 0}, {1603, 1, 0, 1}, {1699, 0, 0, 0}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.id);
    enabled = checked = -1;
    EXPECT_EQ(root.IsEnabled(c.id, enabled), c.handled);
    EXPECT_EQ(enabled, c.enabled);
    EXPECT_EQ(root.IsChecked(c.id, checked), c.handled);
    EXPECT_EQ(checked, c.checked);
  }
  const size_t before = log.size();
  root.Execute(1603);
  root.Execute(1699);
  EXPECT_EQ(log.size(), before) << "nothing to run, nothing run";
}

// A view answering its ids with a switch first, then the registered list.
struct SwitchView : TTView {
  int Command(int32_t id, int mode, int& result) override {
    result = 0;
    if (id != 2000) return 0;
    if (mode == command_mode::kRun) ++executed;
    else result = mode == command_mode::kEnabled ? 1 : 0;
    return 1;
  }
  void Execute(int32_t id) override {
    int r;
    if (!Command(id, command_mode::kRun, r)) TTView::Execute(id);
  }
  int IsEnabled(int32_t id, int& enabled) override {
    return Command(id, command_mode::kEnabled, enabled) || TTView::IsEnabled(id, enabled);
  }
  void OnExecute(int32_t id) override { hooked.push_back(id); }
  int executed = 0;
  std::vector<int32_t> hooked;
};

TEST(Commands, TheSwitchGoesFirstAndTheHookSeesEveryListedCommand) {
  SwitchView v;
  int listed = 0;
  v.AddCmd(2001, [&] { ++listed; });
  v.Execute(2000);
  v.Execute(2001);
  EXPECT_EQ(v.executed, 1);
  EXPECT_EQ(listed, 1);
  EXPECT_EQ(v.hooked, (std::vector<int32_t>{2001}));
  int enabled = 0;
  EXPECT_EQ(v.IsEnabled(2000, enabled), 1);
  EXPECT_EQ(enabled, 1);
}

TEST(Commands, AHandlerMayDeleteItsOwnView) {
  TTView root;
  auto* v = new TTView(&root);
  v->AddCmd(1700, [v] { delete v; });
  root.Execute(1700);
  EXPECT_EQ(root.GetFirstChild(), nullptr);
}

} // namespace
