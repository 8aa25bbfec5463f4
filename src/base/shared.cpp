#include "src/base/shared.h"

#include "src/base/settings.h"

// ---------------------------------------------------------------- observers

TNotified::TSlot::TSlot(TNotified* object, const TStr& name) : name_(name), object_(object) {}

TNotified::TSlot::~TSlot() { TDestructorScope scope; }

void TNotified::TSlot::Notify(TShared*) {
  // Copied first: the callback may delete this slot.
  Thunk thunk = thunk_;
  void* self = self_;
  unsigned char method[sizeof method_];
  std::memcpy(method, method_, sizeof method);
  if (thunk) thunk(self, method);
}

TNotified::~TNotified() { TDestructorScope scope; }

TNotified::TSlot* TNotified::Attach(TShared* shared, TSlot* slot, bool callNow) {
  shared->AddSlot(slot, callNow);
  return slot;
}

void TNotified::Disconnect(TShared* shared) {
  TSlot* slot = shared->FindSlot(this);
  if (!slot) return;
  shared->RemoveSlot(slot);
  slot->Delete();
}

// ---------------------------------------------------------------- shared value

// Pops a frame however the callback ends, exception included.
struct TShared::TFramePop {
  TShared* shared;
  TFrame* frame;
  ~TFramePop() {
    shared->frames_ = frame->outer;
    shared->current_ = shared->OuterCurrent();
  }
};

TShared::TShared(const TStr& name) : name_(name) {}

TShared::~TShared() {
  DestructorBody([this] {
    current_ = nullptr;
    while (TSlot* slot = slots_.RemoveFirst()) slot->Delete();
  });
}

TNotified::TSlot* TShared::OuterCurrent() const {
  for (TFrame* f = frames_; f; f = f->outer)
    if (f->notifying) return f->slot;
  return nullptr;
}

void TShared::NotifySlot(TSlot* slot) {
  TFrame frame{true, slot, nullptr, frames_};
  frames_ = &frame;
  current_ = slot;
  TFramePop pop{this, &frame};
  slot->Notify(this);
}

void TShared::AddSlot(TSlot* slot, bool callNow) {
  slots_.AddLast(slot);
  if (callNow) NotifySlot(slot);
}

void TShared::RemoveSlot(TSlot* slot) {
  TSlot* following = EList<TSlot>::Next(slot);
  slots_.Remove(slot);
  slot->SetNext(nullptr)->SetPrev(nullptr);
  for (TFrame* f = frames_; f; f = f->outer) {
    if (f->next == slot) f->next = following;
    if (f->slot == slot) f->slot = nullptr;
  }
  if (current_ == slot) current_ = nullptr;
}

TNotified::TSlot* TShared::FindSlot(TNotified* object) const {
  for (TSlot* s = slots_.First(); s; s = EList<TSlot>::Next(s))
    if (s->Object() == object) return s;
  return nullptr;
}

void TShared::NotifyAll(TNotified* except) {
  TFrame walk{false, nullptr, slots_.First(), frames_};
  frames_ = &walk;
  TFramePop pop{this, &walk};
  while (TSlot* slot = walk.next) {
    // Fetched before the callback; RemoveSlot moves it on when the callback
    // takes that slot out.
    walk.next = EList<TSlot>::Next(slot);
    if (slot->Object() != except) NotifySlot(slot);
  }
}

TStr TShared::NameFor(TNotified* subscriber) const {
  if (subscriber) {
    TSlot* slot = FindSlot(subscriber);
    if (slot && !slot->Name().IsEmpty()) return slot->Name();
  }
  return name_;
}

// ---------------------------------------------------------------- values

namespace {
TParamStr* BoundsMessage(const TShared& shared, TNotified* subscriber, float min, float max) {
  TParamStr& m = ::RangeMessage();
  m.SetParam(1, shared.NameFor(subscriber));
  m.SetParamReal(2, min);
  m.SetParamReal(3, max);
  return &m;
}
} // namespace

void TSharedBoolean::Toggle(TNotified* except) { Store(value_ == 0 ? 1 : 0, except); }
void TSharedBoolean::LoadSetting(int32_t defaultValue) {
  Set(int32_t(ReadSettingInt(Name(), uint32_t(defaultValue))));
}
void TSharedBoolean::SaveSetting() const { WriteSettingInt(Name(), uint32_t(value_)); }

TParamStr* TSharedCnt::RangeMessage(TNotified* subscriber) const {
  return BoundsMessage(*this, subscriber, float(min_), float(max_));
}
void TSharedCnt::LoadSetting(int32_t defaultValue) { Set(int32_t(ReadSettingInt(Name(), uint32_t(defaultValue)))); }
void TSharedCnt::SaveSetting() const { WriteSettingInt(Name(), uint32_t(value_)); }

TParamStr* TSharedReal::RangeMessage(TNotified* subscriber) const { return BoundsMessage(*this, subscriber, min_, max_); }
void TSharedReal::LoadSetting(float defaultValue) {
  uint32_t bits;
  std::memcpy(&bits, &defaultValue, 4);
  bits = ReadSettingInt(Name(), bits);
  float value;
  std::memcpy(&value, &bits, 4);
  Set(value);
}
void TSharedReal::SaveSetting() const {
  uint32_t bits;
  std::memcpy(&bits, &value_, 4);
  WriteSettingInt(Name(), bits);
}

void TSharedStr::LoadSetting(const TStr& defaultValue) { Set(ReadSettingStr(Name(), defaultValue)); }
void TSharedStr::SaveSetting() const { WriteSettingStr(Name(), value_); }

TParamStr* TSharedPnt::RangeMessage(TNotified*) const { return &EmptyMessage(); }
void TSharedPnt::LoadSetting(const TPnt& defaultValue) { Set(ReadSettingPnt(Name(), defaultValue)); }
void TSharedPnt::SaveSetting() const { WriteSettingPnt(Name(), value_); }

TParamStr* TSharedArea::RangeMessage(TNotified*) const { return &EmptyMessage(); }
void TSharedArea::LoadSetting(const TArea& defaultValue) { Set(ReadSettingArea(Name(), defaultValue)); }
void TSharedArea::SaveSetting() const { WriteSettingArea(Name(), value_); }

// ---------------------------------------------------------------- streams

TInOut& operator<<(TInOut& s, const TReadBoolean& v) { return s.WriteLong(v.Get()); }
TInOut& operator<<(TInOut& s, const TReadCnt& v) { return s.WriteLong(v.Get()); }
TInOut& operator<<(TInOut& s, const TReadReal& v) { return s.WriteFloat(v.Get()); }
TInOut& operator<<(TInOut& s, const TReadStr& v) { return s.WriteStr(v.Get()); }
TInOut& operator<<(TInOut& s, const TReadPnt& v) { return s.WritePnt(v.Get()); }
TInOut& operator<<(TInOut& s, const TReadArea& v) { return s.WriteArea(v.Get()); }

namespace {
// Reads a value in its stream form and sets it, notifying everyone. A short
// stream leaves the value as it was (the stream raises for texts).
template <class V, class T> TInOut& ReadValue(TInOut& s, V& v, TInOut& (TInOut::*read)(T&)) {
  T x = v.Get();
  (s.*read)(x);
  v.Set(x);
  return s;
}
} // namespace

TInOut& operator>>(TInOut& s, TSharedBoolean& v) { return ReadValue(s, v, &TInOut::ReadLong); }
TInOut& operator>>(TInOut& s, TSharedCnt& v) { return ReadValue(s, v, &TInOut::ReadLong); }
TInOut& operator>>(TInOut& s, TSharedReal& v) { return ReadValue(s, v, &TInOut::ReadFloat); }
TInOut& operator>>(TInOut& s, TSharedStr& v) { return ReadValue(s, v, &TInOut::ReadStr); }
TInOut& operator>>(TInOut& s, TSharedPnt& v) { return ReadValue(s, v, &TInOut::ReadPnt); }
TInOut& operator>>(TInOut& s, TSharedArea& v) { return ReadValue(s, v, &TInOut::ReadArea); }
