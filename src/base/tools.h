// Typed lists, iterators and the owning pointer.
#pragma once

#include "src/base/base.h"

#include <utility>

// A TList whose nodes are T (T derives from TLink).
template <class T> class EList : public TList {
public:
  static T* As(TLink* l) { return dynamic_cast<T*>(l); }
  void AddFirst(T* node) { TList::AddFirst(node); }
  void AddLast(T* node) { TList::AddLast(node); }
  void Remove(T* node) { TList::Remove(node); }
  T* RemoveAtCursor(T*& cursor) {
    TLink* c = cursor;
    T* r = As(TList::RemoveAtCursor(c));
    cursor = As(c);
    return r;
  }
  T* RemoveAtCursorBackward(T*& cursor) {
    TLink* c = cursor;
    T* r = As(TList::RemoveAtCursorBackward(c));
    cursor = As(c);
    return r;
  }
  T* RemoveFirst() { return As(TList::RemoveFirst()); }
  T* RemoveLast() { return As(TList::RemoveLast()); }
  T* First() const { return As(TList::First()); }
  T* Last() const { return As(TList::Last()); }
  static T* Next(T* node) { return As(node->Next()); }
  static T* Prev(T* node) { return As(node->Prev()); }
};

template <class T> class EIteratorList;

// Walks an EIteratorList; owns nothing.
template <class T> class EIterator {
public:
  class ELink : public TLink {
  public:
    explicit ELink(T* e) : element(e) {}
    T* element;
  };

  EIterator() = default;
  virtual ~EIterator() = default;
  T* Get() const { return link_ ? link_->element : nullptr; }
  bool AtEnd() const { return link_ == nullptr; }
  void Next() {
    if (link_) link_ = static_cast<ELink*>(link_->Next());
  }

private:
  friend class EIteratorList<T>;
  ELink* link_ = nullptr;
};

// A list of element pointers; the elements are not owned.
template <class T> class EIteratorList : public TList {
  using ELink = typename EIterator<T>::ELink;

public:
  ~EIteratorList() override { DestructorBody([this] { TList::DeleteAll(); }); }

  // Adds at the head of the list.
  void Add(T* element) { TList::AddFirst(new ELink(element)); }
  void AddLast(T* element) { TList::AddLast(new ELink(element)); }
  void Find(T* element, EIterator<T>& it) const {
    it.link_ = static_cast<ELink*>(TList::First());
    while (it.link_ && it.link_->element != element) it.Next();
  }
  bool Contains(T* element) const {
    EIterator<T> it;
    Find(element, it);
    return !it.AtEnd();
  }
  void Seek(int n, EIterator<T>& it) const {
    it.link_ = n < 0 ? nullptr : static_cast<ELink*>(TList::First());
    while (it.link_ && n-- > 0) it.Next();
  }
  void Last(EIterator<T>& it) const { it.link_ = static_cast<ELink*>(TList::Last()); }
  T* Remove(EIterator<T> it) {
    ELink* l = it.link_;
    TList::Remove(l);
    T* e = l->element;
    delete l;
    return e;
  }
  T* RemoveAt(EIterator<T>& it) { return RemoveMoving(it, &TList::RemoveAtCursor); }
  T* RemoveAtBackward(EIterator<T>& it) { return RemoveMoving(it, &TList::RemoveAtCursorBackward); }
  ELink* RemoveFirst() override { return static_cast<ELink*>(TList::RemoveFirst()); }
  ELink* RemoveLast() override { return static_cast<ELink*>(TList::RemoveLast()); }
  // Deletes the links, never the elements.
  void DeleteAll() override { TList::DeleteAll(); }

private:
  T* RemoveMoving(EIterator<T>& it, TLink* (TList::*remove)(TLink*&)) {
    TLink* c = it.link_;
    ELink* l = static_cast<ELink*>((this->*remove)(c));
    it.link_ = static_cast<ELink*>(c);
    T* e = l->element;
    delete l;
    return e;
  }
};

// The sole owner of an object held through interface I. Never copied; the
// object is deleted through the interface when the pointer dies or is reset.
template <class I> class EPtr {
public:
  EPtr() = default;
  explicit EPtr(I* p) : p_(p) {}
  EPtr(const EPtr&) = delete;
  EPtr& operator=(const EPtr&) = delete;
  EPtr(EPtr&& o) noexcept : p_(std::exchange(o.p_, nullptr)) {}
  EPtr& operator=(EPtr&& o) noexcept {
    if (this != &o) Set(std::exchange(o.p_, nullptr));
    return *this;
  }
  virtual ~EPtr() {
    DestructorBody([this] { Set(nullptr); });
  }

  // Deletes the held object (if any) and holds p.
  void Set(I* p) {
    I* old = std::exchange(p_, p);
    if (old && old != p) SafeDelete(old);
  }
  // Gives up ownership without deleting.
  I* Release() { return std::exchange(p_, nullptr); }
  I* Get() const { return p_; }
  I* operator->() const { return p_; }
  I& operator*() const { return *p_; }
  explicit operator bool() const { return p_ != nullptr; }
  bool IsNull() const { return p_ == nullptr; }

private:
  I* p_ = nullptr;
};
