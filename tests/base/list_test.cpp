#include "src/base/tools.h"

#include <gtest/gtest.h>

#include <vector>

namespace {
struct Node : TLink {
  explicit Node(int v, int* alive = nullptr) : value(v), alive(alive) {
    if (alive) ++*alive;
  }
  ~Node() override {
    if (alive) --*alive;
  }
  int value;
  int* alive;
};

std::vector<int> Values(const EList<Node>& l) {
  std::vector<int> r;
  for (Node* n = l.First(); n; n = EList<Node>::Next(n)) r.push_back(n->value);
  return r;
}
std::vector<int> ValuesBackward(const EList<Node>& l) {
  std::vector<int> r;
  for (Node* n = l.Last(); n; n = EList<Node>::Prev(n)) r.push_back(n->value);
  return r;
}
} // namespace

TEST(TList, AddAndRemove) {
  EList<Node> l;
  Node a(1), b(2), c(3);
  l.AddFirst(&a);
  EXPECT_EQ(l.First(), &a);
  EXPECT_EQ(l.Last(), &a);
  EXPECT_EQ(l.Count(), 1);
  l.AddLast(&b);
  l.AddFirst(&c);
  EXPECT_EQ(Values(l), (std::vector<int>{3, 1, 2}));
  EXPECT_EQ(ValuesBackward(l), (std::vector<int>{2, 1, 3}));

  l.Remove(&a);
  EXPECT_EQ(Values(l), (std::vector<int>{3, 2}));
  EXPECT_EQ(a.Next(), nullptr);
  EXPECT_EQ(a.Prev(), nullptr);
  EXPECT_EQ(l.RemoveFirst(), &c);
  EXPECT_EQ(l.RemoveLast(), &b);
  EXPECT_TRUE(l.IsEmpty());
  EXPECT_EQ(l.First(), nullptr);
  EXPECT_EQ(l.Last(), nullptr);
  EXPECT_EQ(l.RemoveFirst(), nullptr);
  EXPECT_EQ(l.RemoveLast(), nullptr);
}

TEST(TList, Cursors) {
  EList<Node> l;
  Node a(1), b(2);
  l.AddLast(&a);
  l.AddLast(&b);
  Node* cursor = &b;
  EXPECT_EQ(l.RemoveAtCursor(cursor), &b);
  EXPECT_EQ(cursor, nullptr);
  cursor = &a;
  EXPECT_EQ(l.RemoveAtCursorBackward(cursor), &a);
  EXPECT_EQ(cursor, nullptr);
  EXPECT_EQ(l.Count(), 0);
}

TEST(TList, AppendPrependAndSelf) {
  EList<Node> x, y;
  Node n[5] = {Node(1), Node(2), Node(3), Node(4), Node(5)};
  x.AddLast(&n[0]);
  x.AddLast(&n[1]);
  y.AddLast(&n[2]);
  y.AddLast(&n[3]);
  y.AddLast(&n[4]);
  x.AppendList(y);
  EXPECT_EQ(Values(x), (std::vector<int>{1, 2, 3, 4, 5}));
  EXPECT_EQ(x.Count(), 5);
  EXPECT_EQ(y.Count(), 0);
  EXPECT_EQ(y.First(), nullptr);

  x.AppendList(x); // onto itself: nothing happens
  x.PrependList(x);
  EXPECT_EQ(Values(x), (std::vector<int>{1, 2, 3, 4, 5}));
  EXPECT_EQ(ValuesBackward(x), (std::vector<int>{5, 4, 3, 2, 1}));

  y.AddLast(x.RemoveLast());
  y.AddLast(x.RemoveLast());
  x.PrependList(y);
  EXPECT_EQ(Values(x), (std::vector<int>{5, 4, 1, 2, 3}));
  x.AppendList(y); // empty other: nothing happens
  EXPECT_EQ(x.Count(), 5);
  x.RemoveAll();
  for (auto& node : n) {
    EXPECT_EQ(node.Next(), nullptr);
    EXPECT_EQ(node.Prev(), nullptr);
  }
}

TEST(TList, DeleteAllDestroysNodes) {
  int alive = 0;
  EList<Node> l;
  for (int i = 0; i < 4; ++i) l.AddLast(new Node(i, &alive));
  EXPECT_EQ(alive, 4);
  l.DeleteAll();
  EXPECT_EQ(alive, 0);
  EXPECT_TRUE(l.IsEmpty());
}

TEST(EIteratorList, OrderFindSeekRemove) {
  int a = 1, b = 2, c = 3, d = 4;
  EIteratorList<int> l;
  l.Add(&a);
  l.Add(&b);
  l.AddLast(&c);
  EXPECT_EQ(l.Count(), 3);
  EIterator<int> it;
  l.Seek(0, it);
  std::vector<int> seen;
  for (; !it.AtEnd(); it.Next()) seen.push_back(*it.Get());
  EXPECT_EQ(seen, (std::vector<int>{2, 1, 3}));

  l.Find(&d, it);
  EXPECT_TRUE(it.AtEnd());
  l.Seek(7, it);
  EXPECT_TRUE(it.AtEnd());
  l.Last(it);
  EXPECT_EQ(it.Get(), &c);

  l.Find(&a, it);
  EXPECT_EQ(l.RemoveAt(it), &a);
  EXPECT_EQ(it.Get(), &c);
  EXPECT_EQ(l.RemoveAtBackward(it), &c);
  EXPECT_EQ(it.Get(), &b);
  EXPECT_EQ(l.Remove(it), &b);
  EXPECT_TRUE(l.IsEmpty());
  EXPECT_EQ(a + b + c, 6); // elements are never deleted
}

namespace {
class IThing : public virtual IBase {
public:
  virtual int Value() const = 0;
};
class TThing : public TBase, public virtual IThing {
public:
  explicit TThing(int* alive) : alive_(alive) { ++*alive_; }
  ~TThing() override { --*alive_; }
  int Value() const override { return 5; }

private:
  int* alive_;
};
} // namespace

TEST(EPtr, OwnsAndDeletesThroughTheInterface) {
  int alive = 0;
  {
    EPtr<IThing> p(CastTo<IThing>(QV_CHECKPTR(new TThing(&alive))));
    EXPECT_EQ(alive, 1);
    EXPECT_EQ(p->Value(), 5);
    p.Set(new TThing(&alive));
    EXPECT_EQ(alive, 1);
    EPtr<IThing> q(std::move(p));
    EXPECT_TRUE(p.IsNull());
    EXPECT_EQ(alive, 1);
  }
  EXPECT_EQ(alive, 0);
  EPtr<IThing> none;
  none.Set(nullptr);
  SafeDelete<IThing>(nullptr);

  TThing t1(&alive), t2(&alive);
  const IBase& r1 = t1;
  EXPECT_TRUE(r1 == t1);
  EXPECT_FALSE(r1 == t2);
  EXPECT_TRUE(r1 != t2);
  EXPECT_EQ(CastTo<IThing>(static_cast<IBase*>(&t1)), &t1);
}
