#include "src/base/area.h"

#include <gtest/gtest.h>

TEST(TArea, SizeAndContains) {
  TArea a(0, 0, 10, 5);
  EXPECT_EQ(a.Width(), 10);
  EXPECT_EQ(a.Height(), 5);
  EXPECT_TRUE(a.Contains(TPnt(0, 0)));
  EXPECT_TRUE(a.Contains(TPnt(9, 4)));
  EXPECT_FALSE(a.Contains(TPnt(10, 0)));
  EXPECT_FALSE(a.Contains(TPnt(0, 5)));

  TArea inverted(10, 0, 5, 5);
  EXPECT_EQ(inverted.Width(), 0);
  EXPECT_TRUE(inverted.IsEmpty());
  EXPECT_EQ(inverted.Left(), 10); // edges stay as set
  EXPECT_TRUE(NoArea.IsEmpty());
  EXPECT_EQ(MaxArea.Width(), 2147483647);
}

TEST(TArea, Combinations) {
  struct Case {
    TArea a, b, intersection, unionArea;
  } cases[] = {
      {{0, 0, 10, 10}, {9, 9, 20, 20}, {9, 9, 10, 10}, {0, 0, 20, 20}},
      {{0, 0, 10, 10}, {0, 0, 0, 0}, {0, 0, 10, 10}, {0, 0, 10, 10}},
      {{0, 0, 0, 0}, {0, 0, 10, 10}, {0, 0, 10, 10}, {0, 0, 10, 10}},
      {{0, 0, 10, 10}, {20, 20, 30, 30}, {20, 20, 10, 10}, {0, 0, 30, 30}},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(TArea::Intersection(c.a, c.b), c.intersection);
    EXPECT_EQ(TArea::Union(c.a, c.b), c.unionArea);
  }
  EXPECT_TRUE(TArea::Intersection({0, 0, 10, 10}, {20, 20, 30, 30}).IsEmpty());
  EXPECT_FALSE(TArea(0, 0, 10, 10).Intersects(TArea(10, 0, 20, 10)));
  EXPECT_TRUE(TArea(0, 0, 10, 10).Intersects(TArea(9, 9, 20, 20)));
  EXPECT_FALSE(TArea(0, 0, 10, 10).Intersects(EmptyArea));
}

TEST(TArea, IncludeMoveClear) {
  EXPECT_EQ(TArea::WithPoint(EmptyArea, TPnt(5, 5)), TArea(5, 5, 6, 6));
  EXPECT_EQ(TArea::WithPoint(TArea(0, 0, 2, 2), TPnt(5, -1)), TArea(0, -1, 6, 2));
  EXPECT_EQ(TArea::WithPoint(TArea(1, 1, 2, 2), NoPnt), TArea(1, 1, 2, 2));

  TArea m(10, 10, 20, 30);
  m.MoveTo(TPnt(3, 4));
  EXPECT_EQ(m, TArea(3, 4, 13, 24));
  m += TPnt(1, 1);
  EXPECT_EQ(m, TArea(4, 5, 14, 25));
  m.SetWidth(2);
  m.SetHeight(3);
  EXPECT_EQ(m, TArea(4, 5, 6, 8));
  m.Clear();
  EXPECT_EQ(m, EmptyArea);
  EXPECT_TRUE(m.IsEmpty());

  TPnt p(1, 2);
  p += TPnt(3, 4);
  p.MoveX(1);
  EXPECT_EQ(p, TPnt(5, 6));
}
