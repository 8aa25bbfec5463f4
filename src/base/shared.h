// Shared values and their observers.
//
// A shared value is a named, typed value that any number of observers follow:
// setting it calls every observer except the setter at once, in the order they
// connected. A shared value is itself an observer, so one value can follow
// another. Values are set and observed on one thread (the GUI thread); other
// threads reach observers through a posted notification, never directly.
#pragma once

#include "src/base/area.h"
#include "src/base/inout.h"
#include "src/base/tools.h"

#include <cstdint>
#include <cstring>
#include <type_traits>

class TShared;

// The observer side.
class TNotified : public TLink {
public:
  // One subscription of one observer to one shared value, owned by the value.
  // The user-interface layer derives slots of its own with their own Notify.
  class TSlot : public TLink {
  public:
    TSlot(TNotified* object, const TStr& name);
    ~TSlot() override;
    // Calls the callback on the observer. The callback may delete this slot.
    virtual void Notify(TShared* shared);
    TStr Name() const { return name_; }
    TNotified* Object() const { return object_; }

  private:
    friend class TNotified;
    using Thunk = void (*)(void* self, const unsigned char* method);
    TStr name_;
    TNotified* object_;
    void* self_ = nullptr;
    Thunk thunk_ = nullptr;
    alignas(void*) unsigned char method_[2 * sizeof(void*)] = {};
  };

  TNotified() = default;
  ~TNotified() override;

  // Subscribes this observer to the shared value with a member function of
  // its own class; with callNow the callback runs once at once. The slot
  // belongs to the shared value.
  template <class C>
  TSlot* Connect(TShared* shared, void (C::*callback)(), const TStr& name = TStr(), bool callNow = false) {
    static_assert(std::is_base_of_v<TNotified, C>, "the callback must be a member of an observer class");
    static_assert(sizeof(callback) <= sizeof(TSlot::method_), "member function pointer too large");
    C* self = dynamic_cast<C*>(this);
    if (!self) {
      AssertFailed("self", "The callback is not a member of this observer.", __FILE__, __LINE__);
      return nullptr;
    }
    TSlot* slot = new TSlot(this, name);
    slot->self_ = self;
    std::memcpy(slot->method_, &callback, sizeof callback);
    slot->thunk_ = [](void* target, const unsigned char* method) {
      void (C::*f)();
      std::memcpy(&f, method, sizeof f);
      (static_cast<C*>(target)->*f)();
    };
    return Attach(shared, slot, callNow);
  }

  // Removes and deletes the first slot of this observer in the shared value;
  // does nothing when there is none. Safe inside a notification of that value.
  virtual void Disconnect(TShared* shared);

private:
  TSlot* Attach(TShared* shared, TSlot* slot, bool callNow);
};

// The observable side.
class TShared : public TNotified {
public:
  explicit TShared(const TStr& name);
  // Deletes every slot without calling the observers.
  ~TShared() override;

  // current slot = slot; the slot's Notify; the current slot is then what it
  // was before (so a nested notification does not lose it).
  virtual void NotifySlot(TSlot* slot);

  // Appends the slot (owned from now on); with callNow it is notified at once.
  void AddSlot(TSlot* slot, bool callNow);
  // Takes the slot out of the list without deleting it. A notification in
  // progress goes on with the slot that followed it.
  void RemoveSlot(TSlot* slot);
  // The first slot of the object, or null.
  TSlot* FindSlot(TNotified* object) const;
  // Notifies every slot whose observer is not except, in list order. Slots
  // removed meanwhile are skipped; the others are called in order.
  void NotifyAll(TNotified* except);
  // The slot being notified, null outside a notification.
  TSlot* CurrentSlot() const { return current_; }
  // The subscriber's slot name when it has a non-empty one here, else the
  // value's own name.
  TStr NameFor(TNotified* subscriber) const;
  TStr Name() const { return name_; }
  int32_t SlotCount() const { return slots_.Count(); }

private:
  struct TFrame {
    bool notifying;   // a NotifySlot frame (else a NotifyAll walk)
    TSlot* slot;      // the slot being notified; null once it was removed
    TSlot* next;      // the walk's next slot
    TFrame* outer;
  };
  struct TFramePop;
  TSlot* OuterCurrent() const;

  TStr name_;
  EList<TSlot> slots_;
  TSlot* current_ = nullptr;
  TFrame* frames_ = nullptr;
};

// ---------------------------------------------------------------- values

// The read side of a value of type T; every value starts cleared.
template <class T> class ERead : public TShared {
public:
  explicit ERead(const TStr& name) : TShared(name) {}
  T Get() const { return value_; }

protected:
  // Stores the value, then notifies every observer but except (no test for
  // a change, no range check).
  void Store(const T& value, TNotified* except) {
    value_ = value;
    NotifyAll(except);
  }
  T value_{};
};

class TReadBoolean : public ERead<int32_t> {
public:
  using ERead::ERead;
};

class TSharedBoolean : public TReadBoolean {
public:
  explicit TSharedBoolean(const TStr& name) : TReadBoolean(name) {}
  void Set(int32_t value, TNotified* except = nullptr) { Store(value, except); }
  // 1 when the value was 0, else 0.
  void Toggle(TNotified* except = nullptr);
  void LoadSetting(int32_t defaultValue);
  void SaveSetting() const;
};

class TReadCnt : public ERead<int32_t> {
public:
  using ERead::ERead;
};

class TSharedCnt : public TReadCnt {
public:
  TSharedCnt(int32_t min, int32_t max, const TStr& name) : TReadCnt(name), min_(min), max_(max) {}
  // Stores any value: callers that need the bounds ask IsInRange first.
  void Set(int32_t value, TNotified* except = nullptr) { Store(value, except); }
  virtual bool IsInRange(int32_t value) const { return min_ <= value && value <= max_; }
  // "The value of '$1' must be between $2 and $3." for the subscriber's name.
  virtual TParamStr* RangeMessage(TNotified* subscriber) const;
  int32_t Min() const { return min_; }
  int32_t Max() const { return max_; }
  void LoadSetting(int32_t defaultValue);
  void SaveSetting() const;
private:
  int32_t min_, max_;
};

class TReadReal : public ERead<float> {
public:
  using ERead::ERead;
};

class TSharedReal : public TReadReal {
public:
  TSharedReal(float min, float max, const TStr& name) : TReadReal(name), min_(min), max_(max) {}
  void Set(float value, TNotified* except = nullptr) { Store(value, except); }
  virtual bool IsInRange(float value) const { return min_ <= value && value <= max_; }
  virtual TParamStr* RangeMessage(TNotified* subscriber) const;
  float Min() const { return min_; }
  float Max() const { return max_; }
  // Stored as an integer holding the float's 32 bits.
  void LoadSetting(float defaultValue);
  void SaveSetting() const;
private:
  float min_, max_;
};

class TReadStr : public ERead<TStr> {
public:
  using ERead::ERead;
};

class TSharedStr : public TReadStr {
public:
  explicit TSharedStr(const TStr& name) : TReadStr(name) {}
  void Set(const TStr& value, TNotified* except = nullptr) { Store(value, except); }
  virtual bool IsInRange(const TStr&) const { return true; }
  void LoadSetting(const TStr& defaultValue);
  void SaveSetting() const;
};

class TReadPnt : public ERead<TPnt> {
public:
  using ERead::ERead;
};

class TSharedPnt : public TReadPnt {
public:
  explicit TSharedPnt(const TStr& name) : TReadPnt(name) {}
  void Set(const TPnt& value, TNotified* except = nullptr) { Store(value, except); }
  virtual bool IsInRange(const TPnt&) const { return true; }
  // The empty message: every point is in range.
  virtual TParamStr* RangeMessage(TNotified* subscriber) const;
  void LoadSetting(const TPnt& defaultValue);
  void SaveSetting() const;
};

class TReadArea : public ERead<TArea> {
public:
  using ERead::ERead;
};

class TSharedArea : public TReadArea {
public:
  explicit TSharedArea(const TStr& name) : TReadArea(name) {}
  void Set(const TArea& value, TNotified* except = nullptr) { Store(value, except); }
  virtual bool IsInRange(const TArea&) const { return true; }
  virtual TParamStr* RangeMessage(TNotified* subscriber) const;
  void LoadSetting(const TArea& defaultValue);
  void SaveSetting() const;
};

// Stream forms: writing takes a read side; reading sets the value and
// notifies every observer.
TInOut& operator<<(TInOut& s, const TReadBoolean& v);
TInOut& operator<<(TInOut& s, const TReadCnt& v);
TInOut& operator<<(TInOut& s, const TReadReal& v);
TInOut& operator<<(TInOut& s, const TReadStr& v);
TInOut& operator<<(TInOut& s, const TReadPnt& v);
TInOut& operator<<(TInOut& s, const TReadArea& v);
TInOut& operator>>(TInOut& s, TSharedBoolean& v);
TInOut& operator>>(TInOut& s, TSharedCnt& v);
TInOut& operator>>(TInOut& s, TSharedReal& v);
TInOut& operator>>(TInOut& s, TSharedStr& v);
TInOut& operator>>(TInOut& s, TSharedPnt& v);
TInOut& operator>>(TInOut& s, TSharedArea& v);
