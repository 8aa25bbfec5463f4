#include "src/base/settings.h"
#include "src/base/shared.h"
#include "tests/common/testkit.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace {

// An observer that logs its calls and may run an action inside the callback.
class Watcher : public TNotified {
public:
  Watcher(std::string id, std::vector<std::string>& log) : id_(std::move(id)), log_(log) {}
  void Changed() {
    log_.push_back(id_);
    if (action) action();
  }
  void Other() { log_.push_back(id_ + "*"); }
  std::function<void()> action;

private:
  std::string id_;
  std::vector<std::string>& log_;
};

class SharedValueTest : public ::testing::Test {
protected:
  // Three observers A, B, C connected to one counter in this order.
  SharedValueTest() : value_(0, 127, TStr("Channel")) {
    for (const char* id : {"A", "B", "C"}) {
      watchers_.push_back(std::make_unique<Watcher>(id, log_));
      watchers_.back()->Connect(&value_, &Watcher::Changed);
    }
  }
  ~SharedValueTest() override {
    for (auto& w : watchers_) w->Disconnect(&value_);
  }
  Watcher& W(int i) { return *watchers_[i]; }

  std::vector<std::string> log_;
  TSharedCnt value_;
  std::vector<std::unique_ptr<Watcher>> watchers_;
};

using Log = std::vector<std::string>;

TEST_F(SharedValueTest, SetNotifiesEveryObserverButTheSetterInOrder) {
  struct Case {
    int except; // index of the setter, -1 for none
    Log expected;
  };
  const Case cases[] = {{-1, {"A", "B", "C"}}, {0, {"B", "C"}}, {1, {"A", "C"}}, {2, {"A", "B"}}};
  for (const Case& c : cases) {
    log_.clear();
    value_.Set(5, c.except < 0 ? nullptr : &W(c.except));
    EXPECT_EQ(log_, c.expected) << "setter " << c.except;
  }
  // Setting the value it already holds notifies again.
  log_.clear();
  value_.Set(5);
  EXPECT_EQ(log_, (Log{"A", "B", "C"}));
  EXPECT_EQ(value_.Get(), 5);
}

TEST_F(SharedValueTest, ConnectCallsAtOnceOnlyWhenAsked) {
  Watcher now("now", log_), later("later", log_);
  now.Connect(&value_, &Watcher::Changed, TStr(), true);
  later.Connect(&value_, &Watcher::Changed, TStr(), false);
  EXPECT_EQ(log_, (Log{"now"}));
  log_.clear();
  value_.Set(1);
  EXPECT_EQ(log_, (Log{"A", "B", "C", "now", "later"}));
  now.Disconnect(&value_);
  later.Disconnect(&value_);
}

TEST_F(SharedValueTest, CallbackThatDisconnectsKeepsTheRestInOrder) {
  struct Case {
    const char* what;
    int actor;  // whose callback disconnects
    int victim; // who is disconnected
    Log first, second;
  };
  const Case cases[] = {
      {"itself", 1, 1, {"A", "B", "C"}, {"A", "C"}},
      {"the next observer", 1, 2, {"A", "B"}, {"A", "B"}},
      {"the previous observer", 1, 0, {"A", "B", "C"}, {"B", "C"}},
      {"the last observer from the last", 2, 2, {"A", "B", "C"}, {"A", "B"}},
  };
  for (const Case& c : cases) {
    log_.clear();
    TSharedCnt value(0, 10, TStr("v"));
    for (auto& w : watchers_) {
      w->action = nullptr;
      w->Connect(&value, &Watcher::Changed);
    }
    Watcher& victim = W(c.victim);
    W(c.actor).action = [&] { victim.Disconnect(&value); };
    value.Set(1);
    EXPECT_EQ(log_, c.first) << c.what;
    W(c.actor).action = nullptr;
    log_.clear();
    value.Set(2);
    EXPECT_EQ(log_, c.second) << c.what;
    EXPECT_EQ(value.SlotCount(), 2) << c.what;
    for (auto& w : watchers_) w->Disconnect(&value);
  }
}

TEST_F(SharedValueTest, NestedNotificationKeepsTheCurrentSlot) {
  TNotified::TSlot* seenBefore = nullptr;
  TNotified::TSlot* seenAfter = nullptr;
  bool nested = false;
  W(1).action = [&] {
    seenBefore = value_.CurrentSlot();
    if (!nested) {
      nested = true;
      value_.Set(7); // a callback that sets the value it observes
    }
    seenAfter = value_.CurrentSlot();
  };
  value_.Set(6);
  EXPECT_EQ(log_, (Log{"A", "B", "A", "B", "C", "C"}));
  ASSERT_NE(seenBefore, nullptr);
  EXPECT_EQ(seenAfter, value_.FindSlot(&W(1)));
  EXPECT_EQ(value_.CurrentSlot(), nullptr);
  EXPECT_EQ(value_.Get(), 7);
}

TEST_F(SharedValueTest, NestedNotificationThatDisconnectsTheOuterSlot) {
  // B sets the value again; inside that notification C disconnects B, whose
  // callback is still running further out.
  bool nested = false;
  TNotified::TSlot* outerAfter = reinterpret_cast<TNotified::TSlot*>(1);
  W(1).action = [&] {
    if (nested) return;
    nested = true;
    W(2).action = [&] {
      W(2).action = nullptr;
      W(1).Disconnect(&value_);
    };
    value_.Set(3);
    outerAfter = value_.CurrentSlot();
  };
  value_.Set(2);
  EXPECT_EQ(outerAfter, nullptr); // not a freed slot
  EXPECT_EQ(log_, (Log{"A", "B", "A", "B", "C", "C"}));
  log_.clear();
  value_.Set(4);
  EXPECT_EQ(log_, (Log{"A", "C"}));
}

TEST_F(SharedValueTest, ExceptionInCallbackLeavesTheValueUsable) {
  W(1).action = [] { throw TError("boom"); };
  EXPECT_THROW(value_.Set(1), TError);
  EXPECT_EQ(value_.CurrentSlot(), nullptr);
  W(1).action = nullptr;
  log_.clear();
  value_.Set(2);
  EXPECT_EQ(log_, (Log{"A", "B", "C"}));
}

TEST_F(SharedValueTest, DisconnectFindsOneSlotPerCall) {
  Watcher twice("T", log_);
  twice.Connect(&value_, &Watcher::Changed);
  twice.Connect(&value_, &Watcher::Other);
  Watcher stranger("S", log_);
  stranger.Disconnect(&value_); // not connected: nothing happens
  EXPECT_EQ(value_.SlotCount(), 5);
  twice.Disconnect(&value_);
  log_.clear();
  value_.Set(1);
  EXPECT_EQ(log_, (Log{"A", "B", "C", "T*"}));
  twice.Disconnect(&value_);
  EXPECT_EQ(value_.FindSlot(&twice), nullptr);
}

TEST(SharedValue, DestroyingDeletesSlotsWithoutCallingObservers) {
  std::vector<std::string> log;
  Watcher a("A", log);
  {
    TSharedStr value(TStr("Name"));
    a.Connect(&value, &Watcher::Changed);
    a.Connect(&value, &Watcher::Other);
  }
  EXPECT_TRUE(log.empty());
}

// A slot class of its own, as the view layer makes them.
class CountingSlot : public TNotified::TSlot {
public:
  CountingSlot(TNotified* object, int& calls, TNotified::TSlot*& seen) : TSlot(object, TStr("Own")), calls_(calls), seen_(seen) {}
  void Notify(TShared* shared) override {
    ++calls_;
    seen_ = shared->CurrentSlot();
  }
private:
  int& calls_;
  TNotified::TSlot*& seen_;
};

TEST(SharedValue, OwnSlotClassesAreNotifiedThroughAddSlot) {
  TSharedBoolean value(TStr("On"));
  TNotified observer;
  int calls = 0;
  TNotified::TSlot* seen = nullptr;
  auto* slot = new CountingSlot(&observer, calls, seen);
  value.AddSlot(slot, true);
  EXPECT_EQ(calls, 1);
  EXPECT_EQ(seen, slot);
  value.Toggle(&observer); // the setter is not called back
  EXPECT_EQ(calls, 1);
  value.Toggle();
  EXPECT_EQ(calls, 2);
  EXPECT_EQ(value.NameFor(&observer), TStr("Own"));
  EXPECT_EQ(value.CurrentSlot(), nullptr);
}

TEST(SharedValue, ToggleTurnsZeroIntoOneAndAnythingElseIntoZero) {
  TSharedBoolean value(TStr("b"));
  const int32_t cases[][2] = {{0, 1}, {1, 0}, {5, 0}, {-1, 0}};
  for (auto& c : cases) {
    value.Set(c[0]);
    value.Toggle();
    EXPECT_EQ(value.Get(), c[1]) << c[0];
  }
}

TEST(SharedValue, RangeAndRangeMessage) {
  TSharedCnt channel(0, 127, TStr("Channel"));
  EXPECT_TRUE(channel.IsInRange(0));
  EXPECT_TRUE(channel.IsInRange(127));
  EXPECT_FALSE(channel.IsInRange(128));
  EXPECT_FALSE(channel.IsInRange(-1));
  channel.Set(500); // never refused
  EXPECT_EQ(channel.Get(), 500);

  std::vector<std::string> log;
  Watcher unnamed("U", log), named("N", log), stranger("S", log);
  unnamed.Connect(&channel, &Watcher::Changed);
  named.Connect(&channel, &Watcher::Changed, TStr("Key"));
  struct Case {
    TNotified* subscriber;
    const char* text;
  };
  const Case cases[] = {
      {nullptr, "The value of 'Channel' must be between 0 and 127."},
      {&unnamed, "The value of 'Channel' must be between 0 and 127."},
      {&named, "The value of 'Key' must be between 0 and 127."},
      {&stranger, "The value of 'Channel' must be between 0 and 127."},
  };
  for (const Case& c : cases) EXPECT_EQ(channel.RangeMessage(c.subscriber)->Expand(), TStr(c.text));

  TSharedReal gain(-0.5f, 2.25f, TStr("Gain"));
  EXPECT_TRUE(gain.IsInRange(2.25f));
  EXPECT_FALSE(gain.IsInRange(2.26f));
  EXPECT_EQ(gain.RangeMessage(nullptr)->Expand(), TStr("The value of 'Gain' must be between -0.5 and 2.25."));
  TSharedPnt p(TStr("P"));
  TSharedArea a(TStr("A"));
  EXPECT_TRUE(p.IsInRange(TPnt(-5, 9)));
  EXPECT_EQ(p.RangeMessage(nullptr)->Expand(), TStr(""));
  EXPECT_EQ(a.RangeMessage(nullptr)->Expand(), TStr(""));
  unnamed.Disconnect(&channel);
  named.Disconnect(&channel);
}

// One value of every kind, with the names that the settings use.
struct AllKinds {
  TSharedBoolean b{TStr("Loop")};
  TSharedCnt c{0, 9, TStr("Voices")};
  TSharedReal r{0, 1, TStr("Level")};
  TSharedStr s{TStr("Label")};
  TSharedPnt p{TStr("Pos")};
  TSharedArea a{TStr("Box")};

  void Fill() {
    b.Set(1);
    c.Set(-3);
    r.Set(0.25f);
    s.Set(TStr("Take 1"));
    p.Set(TPnt(-1, 2));
    a.Set(TArea(-1, -2, 30, 40));
  }
  void ExpectFilled() const {
    EXPECT_EQ(b.Get(), 1);
    EXPECT_EQ(c.Get(), -3);
    EXPECT_EQ(r.Get(), 0.25f);
    EXPECT_EQ(s.Get(), TStr("Take 1"));
    EXPECT_EQ(p.Get(), TPnt(-1, 2));
    EXPECT_EQ(a.Get(), TArea(-1, -2, 30, 40));
  }
};

TEST(SharedValue, StreamFormsRoundTripAndReadingNotifiesEveryone) {
  AllKinds one;
  one.Fill();
  TMemInOut out;
  out.SetByteOrder(1);
  out << one.b << one.c << one.r << one.s << one.p << one.a;
  EXPECT_EQ(testkit::Hex(std::vector<unsigned char>(out.Data().begin(), out.Data().begin() + 12)),
            "00 00 00 01 FF FF FF FD 3E 80 00 00");

  TMemInOut in(out.Data());
  in.SetByteOrder(1);
  AllKinds two;
  std::vector<std::string> log;
  Watcher w("W", log);
  w.Connect(&two.c, &Watcher::Changed);
  w.Connect(&two.s, &Watcher::Changed);
  in >> two.b >> two.c >> two.r >> two.s >> two.p >> two.a;
  two.ExpectFilled();
  EXPECT_EQ(log, (Log{"W", "W"}));
  w.Disconnect(&two.c);
  w.Disconnect(&two.s);
}

class SharedSettingsTest : public ::testing::Test {
protected:
  void SetUp() override {
    OpenSettings(TStr(::testing::UnitTest::GetInstance()->current_test_info()->name()));
  }
};

TEST_F(SharedSettingsTest, RealIsStoredAsItsBits) {
  TSharedReal r(0, 1, TStr("Level"));
  r.Set(0.5f);
  r.SaveSetting();
  EXPECT_EQ(ReadSettingInt(TStr("Level"), 0), 1056964608u);
  TSharedReal back(0, 1, TStr("Level"));
  back.LoadSetting(0.0f);
  EXPECT_EQ(back.Get(), 0.5f);
}

TEST_F(SharedSettingsTest, EveryKindSavesAndLoadsUnderItsName) {
  AllKinds one;
  one.Fill();
  one.b.SaveSetting();
  one.c.SaveSetting();
  one.r.SaveSetting();
  one.s.SaveSetting();
  one.p.SaveSetting();
  one.a.SaveSetting();
  EXPECT_EQ(ReadSettingInt(TStr("PosX"), 0), uint32_t(-1));
  EXPECT_EQ(ReadSettingInt(TStr("BoxY1"), 0), 40u);

  AllKinds two;
  std::vector<std::string> log;
  Watcher w("W", log);
  w.Connect(&two.c, &Watcher::Changed);
  two.b.LoadSetting(0);
  two.c.LoadSetting(0);
  two.r.LoadSetting(0.0f);
  two.s.LoadSetting(TStr());
  two.p.LoadSetting(TPnt());
  two.a.LoadSetting(TArea());
  two.ExpectFilled();
  EXPECT_EQ(log, (Log{"W"})); // loading notifies
  w.Disconnect(&two.c);

  TSharedCnt missing(0, 9, TStr("NeverSaved"));
  missing.LoadSetting(4);
  EXPECT_EQ(missing.Get(), 4);
}

} // namespace
