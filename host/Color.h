// The suite's one pixel type and its colour object.
#pragma once

#include "platform/Types.h"

// One pixel: bytes in memory order blue, green, red, alpha. As a number,
// alpha << 24 | red << 16 | green << 8 | blue. Alpha 255 is opaque, 0 transparent.
struct tagCOLOR32 {
  BYTE b;
  BYTE g;
  BYTE r;
  BYTE a;

  constexpr DWORD Value() const {
    return static_cast<DWORD>(b) | (static_cast<DWORD>(g) << 8) | (static_cast<DWORD>(r) << 16) |
           (static_cast<DWORD>(a) << 24);
  }
  static constexpr tagCOLOR32 FromValue(DWORD v) {
    return {static_cast<BYTE>(v), static_cast<BYTE>(v >> 8), static_cast<BYTE>(v >> 16),
            static_cast<BYTE>(v >> 24)};
  }
  friend constexpr bool operator==(tagCOLOR32 x, tagCOLOR32 y) { return x.Value() == y.Value(); }
};
static_assert(sizeof(tagCOLOR32) == 4);

// A colour built from red, green, blue and alpha.
class CKvColor32 {
 public:
  constexpr CKvColor32() : m_c{0, 0, 0, 0} {}
  constexpr CKvColor32(BYTE red, BYTE green, BYTE blue, BYTE alpha)
      : m_c{blue, green, red, alpha} {}
  constexpr CKvColor32(tagCOLOR32 c) : m_c(c) {}  // NOLINT: converts like the host type

  constexpr operator tagCOLOR32() const { return m_c; }  // NOLINT
  BYTE& R() { return m_c.r; }
  BYTE& G() { return m_c.g; }
  BYTE& B() { return m_c.b; }
  BYTE& A() { return m_c.a; }
  constexpr BYTE R() const { return m_c.r; }
  constexpr BYTE G() const { return m_c.g; }
  constexpr BYTE B() const { return m_c.b; }
  constexpr BYTE A() const { return m_c.a; }

 private:
  tagCOLOR32 m_c;
};
