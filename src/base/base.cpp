#include "src/base/base.h"

IBase* CheckPtr(IBase* object, const TStr&, int) { return object; }

void TList::AddFirst(TLink* node) {
  node->SetPrev(nullptr)->SetNext(first_);
  if (first_) first_->SetPrev(node);
  else last_ = node;
  first_ = node;
  ++count_;
}

void TList::AddLast(TLink* node) {
  node->SetNext(nullptr)->SetPrev(last_);
  if (last_) last_->SetNext(node);
  else first_ = node;
  last_ = node;
  ++count_;
}

void TList::PrependList(TList& other) {
  // A list moved onto itself would become a ring: nothing to do.
  if (&other == this || other.IsEmpty()) return;
  TLink* oFirst = other.First();
  TLink* oLast = other.Last();
  int32_t n = other.Count();
  other.Clear();
  oLast->SetNext(first_);
  if (first_) first_->SetPrev(oLast);
  else last_ = oLast;
  first_ = oFirst;
  count_ += n;
}

void TList::AppendList(TList& other) {
  if (&other == this || other.IsEmpty()) return;
  TLink* oFirst = other.First();
  TLink* oLast = other.Last();
  int32_t n = other.Count();
  other.Clear();
  oFirst->SetPrev(last_);
  if (last_) last_->SetNext(oFirst);
  else first_ = oFirst;
  last_ = oLast;
  count_ += n;
}

void TList::Remove(TLink* node) {
  TLink* next = node->Next();
  TLink* prev = node->Prev();
  if (node == first_) {
    first_ = next;
    if (next) next->SetPrev(nullptr);
  } else if (prev) {
    prev->SetNext(next);
  }
  if (node == last_) {
    last_ = prev;
    if (prev) prev->SetNext(nullptr);
  } else if (next) {
    next->SetPrev(prev);
  }
  node->SetNext(nullptr)->SetPrev(nullptr);
  --count_;
}

TLink* TList::RemoveAtCursor(TLink*& cursor) {
  TLink* node = cursor;
  cursor = node->Next();
  Remove(node);
  return node;
}

TLink* TList::RemoveAtCursorBackward(TLink*& cursor) {
  TLink* node = cursor;
  cursor = node->Prev();
  Remove(node);
  return node;
}

TLink* TList::RemoveFirst() {
  if (IsEmpty()) return nullptr;
  TLink* node = First();
  Remove(node);
  return node;
}

TLink* TList::RemoveLast() {
  if (IsEmpty()) return nullptr;
  TLink* node = Last();
  Remove(node);
  return node;
}

void TList::RemoveAll() {
  while (!IsEmpty()) RemoveFirst();
}

void TList::DeleteAll() {
  while (!IsEmpty()) SafeDelete(RemoveFirst());
}
