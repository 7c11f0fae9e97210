// Points, sizes and rectangles with the semantics the library relies on: right and bottom
// are exclusive, an empty rectangle is one whose right <= left or bottom <= top.
#pragma once

#include "platform/Types.h"

KV_PLATFORM_API BOOL SetRect(RECT* r, int left, int top, int right, int bottom);
KV_PLATFORM_API BOOL SetRectEmpty(RECT* r);
KV_PLATFORM_API BOOL CopyRect(RECT* dst, const RECT* src);
KV_PLATFORM_API BOOL IsRectEmpty(const RECT* r);
KV_PLATFORM_API BOOL EqualRect(const RECT* a, const RECT* b);
KV_PLATFORM_API BOOL OffsetRect(RECT* r, int dx, int dy);
KV_PLATFORM_API BOOL InflateRect(RECT* r, int dx, int dy);
KV_PLATFORM_API BOOL PtInRect(const RECT* r, POINT pt);
// Sets dst to the common part of a and b; an empty result is stored as (0, 0, 0, 0) and
// gives FALSE.
KV_PLATFORM_API BOOL IntersectRect(RECT* dst, const RECT* a, const RECT* b);
// The smallest rectangle holding both; empty operands are ignored.
KV_PLATFORM_API BOOL UnionRect(RECT* dst, const RECT* a, const RECT* b);
// a minus b, but only where the result is a rectangle (b covers a whole side of a);
// otherwise dst is a. FALSE when the result is empty.
KV_PLATFORM_API BOOL SubtractRect(RECT* dst, const RECT* a, const RECT* b);

class CSize : public SIZE {
 public:
  constexpr CSize() : SIZE{0, 0} {}
  constexpr CSize(int x, int y) : SIZE{x, y} {}
  constexpr CSize(SIZE s) : SIZE(s) {}  // NOLINT
  friend constexpr bool operator==(const CSize& a, const CSize& b) {
    return a.cx == b.cx && a.cy == b.cy;
  }
};

class CPoint : public POINT {
 public:
  constexpr CPoint() : POINT{0, 0} {}
  constexpr CPoint(int x_, int y_) : POINT{x_, y_} {}
  constexpr CPoint(POINT p) : POINT(p) {}  // NOLINT
  void Offset(int dx, int dy) {
    x += dx;
    y += dy;
  }
  friend constexpr bool operator==(const CPoint& a, const CPoint& b) {
    return a.x == b.x && a.y == b.y;
  }
  constexpr CPoint operator+(const POINT& o) const { return CPoint(x + o.x, y + o.y); }
  constexpr CPoint operator-(const POINT& o) const { return CPoint(x - o.x, y - o.y); }
};

class KV_PLATFORM_API CRect : public RECT {
 public:
  constexpr CRect() : RECT{0, 0, 0, 0} {}
  constexpr CRect(int l, int t, int r, int b) : RECT{l, t, r, b} {}
  constexpr CRect(const RECT& r) : RECT(r) {}  // NOLINT
  constexpr CRect(POINT topLeft, SIZE size)
      : RECT{topLeft.x, topLeft.y, topLeft.x + size.cx, topLeft.y + size.cy} {}

  constexpr int Width() const { return right - left; }
  constexpr int Height() const { return bottom - top; }
  constexpr CSize Size() const { return CSize(Width(), Height()); }
  constexpr CPoint TopLeft() const { return CPoint(left, top); }
  constexpr CPoint BottomRight() const { return CPoint(right, bottom); }
  constexpr bool IsRectEmpty() const { return right <= left || bottom <= top; }
  constexpr bool IsRectNull() const { return left == 0 && top == 0 && right == 0 && bottom == 0; }
  constexpr bool PtInRect(POINT p) const {
    return p.x >= left && p.x < right && p.y >= top && p.y < bottom;
  }

  void SetRect(int l, int t, int r, int b) { *this = CRect(l, t, r, b); }
  void SetRectEmpty() { *this = CRect(); }
  void OffsetRect(int dx, int dy) { ::OffsetRect(this, dx, dy); }
  void OffsetRect(POINT p) { ::OffsetRect(this, p.x, p.y); }
  void InflateRect(int dx, int dy) { ::InflateRect(this, dx, dy); }
  void DeflateRect(int dx, int dy) { ::InflateRect(this, -dx, -dy); }
  void NormalizeRect();
  BOOL IntersectRect(const RECT* a, const RECT* b) { return ::IntersectRect(this, a, b); }
  BOOL UnionRect(const RECT* a, const RECT* b) { return ::UnionRect(this, a, b); }
  BOOL SubtractRect(const RECT* a, const RECT* b) { return ::SubtractRect(this, a, b); }
  BOOL EqualRect(const RECT* o) const { return ::EqualRect(this, o); }

  friend constexpr bool operator==(const CRect& a, const CRect& b) {
    return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom;
  }
  CRect operator&(const RECT& o) const {
    CRect r;
    ::IntersectRect(&r, this, &o);
    return r;
  }
  CRect& operator&=(const RECT& o) {
    ::IntersectRect(this, this, &o);
    return *this;
  }
  CRect& operator|=(const RECT& o) {
    ::UnionRect(this, this, &o);
    return *this;
  }
  operator RECT*() { return this; }              // NOLINT: as the host classes convert
  operator const RECT*() const { return this; }  // NOLINT
};
