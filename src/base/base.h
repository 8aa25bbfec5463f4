// Object roots and the intrusive list of the whole system.
#pragma once

#include "src/base/str.h"

#include <cstdint>

// Root of every interface. Interfaces derive virtually from it, so that one
// object reached through several interfaces has one IBase part.
class IBase {
public:
  // Destroys the whole object through its virtual destructor.
  void Delete() { delete this; }
  virtual int IsValid() const { return 1; }
  virtual ~IBase() = default;
  virtual void Assign(const IBase&) {}
  virtual bool IsEqual(const IBase&) const { return false; }

  IBase& operator=(const IBase& other) {
    if (&other != this) Assign(other);
    return *this;
  }
  bool operator==(const IBase& other) const { return &other == this || IsEqual(other); }
  bool operator!=(const IBase& other) const { return &other != this && !IsEqual(other); }

protected:
  IBase() = default;
  IBase(const IBase&) = default;
};

// Deletes an object through any of its interfaces; a null pointer is allowed.
template <class I> inline void SafeDelete(I* object) {
  if (object) object->Delete();
}

class TBase : public virtual IBase {
public:
  ~TBase() override { TDestructorScope scope; }
};

// The factory-call check point: returns the object unchanged.
IBase* CheckPtr(IBase* object, const TStr& file, int line);
#define QV_CHECKPTR(p) CheckPtr((p), TStr(__FILE__), __LINE__)

// Checked cast of an object to an interface: null when it lacks it.
template <class I> inline I* CastTo(IBase* object) { return dynamic_cast<I*>(object); }

class TLink : public TBase {
public:
  TLink() = default;
  ~TLink() override { TDestructorScope scope; }
  virtual TLink* Next() const { return next_; }
  virtual TLink* Prev() const { return prev_; }
  virtual bool HasPrev() const { return prev_ != nullptr; }
  TLink* SetNext(TLink* n) { next_ = n; return this; }
  TLink* SetPrev(TLink* p) { prev_ = p; return this; }

private:
  TLink* next_ = nullptr;
  TLink* prev_ = nullptr;
};

// An intrusive doubly linked list. It does not own its nodes.
class TList : public TBase {
public:
  TList() = default;
  TList(const TList&) = delete;
  TList& operator=(const TList&) = delete;
  ~TList() override { TDestructorScope scope; }

  virtual void AddFirst(TLink* node);
  virtual void PrependList(TList& other);
  virtual void AddLast(TLink* node);
  virtual void AppendList(TList& other);
  virtual void Remove(TLink* node);
  virtual TLink* RemoveAtCursor(TLink*& cursor);
  virtual TLink* RemoveAtCursorBackward(TLink*& cursor);
  virtual TLink* RemoveFirst();
  virtual TLink* RemoveLast();
  virtual void RemoveAll();
  virtual void DeleteAll();
  virtual bool IsEmpty() const { return count_ == 0; }
  virtual int32_t Count() const { return count_; }
  virtual TLink* First() const { return first_; }
  virtual TLink* Last() const { return last_; }

private:
  void Clear() { first_ = last_ = nullptr; count_ = 0; }
  TLink* first_ = nullptr;
  TLink* last_ = nullptr;
  int32_t count_ = 0;
};
