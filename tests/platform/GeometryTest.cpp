#include <gtest/gtest.h>

#include <utility>

#include "platform/Geometry.h"

TEST(Rectangles, IntersectUnionAndMembers) {
  CRect r(1, 2, 3, 4);
  const CRect a(0, 0, 10, 10), b(5, 5, 20, 20), far(30, 30, 40, 40), edge(10, 0, 20, 10);
  EXPECT_TRUE(r.IntersectRect(&a, &b));
  EXPECT_EQ(r, CRect(5, 5, 10, 10));
  EXPECT_FALSE(r.IntersectRect(&a, &far));
  EXPECT_EQ(r, CRect(0, 0, 0, 0));
  EXPECT_FALSE(r.IntersectRect(&a, &edge));  // touching edges do not overlap
  const CRect reversed(10, 10, 0, 0), empty(50, 50, 50, 60), c(20, -5, 25, 5);
  EXPECT_FALSE(r.IntersectRect(&a, &reversed));
  EXPECT_TRUE(r.UnionRect(&a, &empty));
  EXPECT_EQ(r, a);
  EXPECT_TRUE(r.UnionRect(&a, &c));
  EXPECT_EQ(r, CRect(0, -5, 25, 10));
  EXPECT_FALSE(r.UnionRect(&empty, &empty));
  r = CRect(10, 20, 30, 60);
  EXPECT_EQ(CSize(r.Width(), r.Height()), CSize(20, 40));
  EXPECT_TRUE(r.PtInRect(CPoint(10, 20)) && !r.PtInRect(CPoint(30, 20)));
  r.OffsetRect(-10, 5);
  EXPECT_EQ(r, CRect(0, 25, 20, 65));
  CRect n(5, 5, 1, 1);
  EXPECT_TRUE(n.IsRectEmpty());
  n.NormalizeRect();
  EXPECT_EQ(n, CRect(1, 1, 5, 5));
}

TEST(Rectangles, SubtractOnlyWhereTheResultIsARectangle) {
  CRect r;
  const CRect a(0, 0, 100, 50);
  // A band covering a whole side is cut off; a hole in the middle, or a corner, leaves the
  // rectangle whole.
  const std::pair<CRect, CRect> cases[] = {{{0, 0, 100, 10}, {0, 10, 100, 50}},
                                           {{-5, -5, 30, 60}, {30, 0, 100, 50}},
                                           {{0, 40, 100, 50}, {0, 0, 100, 40}},
                                           {{10, 10, 20, 20}, a},
                                           {{90, 40, 120, 60}, a}};
  for (const auto& [cut, left] : cases) {
    EXPECT_TRUE(r.SubtractRect(&a, &cut));
    EXPECT_EQ(r, left);
  }
  // Covering it whole leaves nothing.
  const CRect all(-1, -1, 200, 200);
  EXPECT_FALSE(r.SubtractRect(&a, &all));
  EXPECT_TRUE(r.IsRectNull());
  // Two same-sized windows one row apart: the difference is the one new row.
  const CRect window(0, 11, 100, 61), ring(0, 10, 100, 60);
  EXPECT_TRUE(r.SubtractRect(&window, &ring));
  EXPECT_EQ(r, CRect(0, 60, 100, 61));
}
