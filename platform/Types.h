// Integer, handle and geometry types of the platform the library was written for,
// mapped onto fixed-width C++ types.
#pragma once

#include <cstddef>
#include <cstdint>

// What libKvPlatform and libKvHost export: each is compiled hidden, and these mark the classes
// and functions that the other libraries, the tools and consumers call (listed in
// platform/exported-symbols.txt and host/exported-symbols.txt). Both are here because every
// header of the two folders includes this one.
#if defined(__GNUC__)
#define KV_PLATFORM_API __attribute__((visibility("default")))
#define KV_HOST_API __attribute__((visibility("default")))
#else
#define KV_PLATFORM_API
#define KV_HOST_API
#endif

using BYTE = std::uint8_t;
using WORD = std::uint16_t;
using DWORD = std::uint32_t;
using LONG = std::int32_t;
using ULONG = std::uint32_t;
using UINT = std::uint32_t;
using INT = std::int32_t;
using BOOL = int;
using LONGLONG = std::int64_t;
using ULONGLONG = std::uint64_t;
using UINT_PTR = std::uintptr_t;
using DWORD_PTR = std::uintptr_t;
using INT_PTR = std::intptr_t;
using COLORREF = DWORD;
using LPVOID = void*;
using LPCVOID = const void*;

#ifndef TRUE
#define TRUE 1
#endif
#ifndef FALSE
#define FALSE 0
#endif

using HGLOBAL = void*;
using HWND = void*;

struct KvModule;
// A module handle is a pointer to the module's resource table (platform/Module.h).
using HINSTANCE = const KvModule*;
using HMODULE = HINSTANCE;

struct RECT {
  LONG left;
  LONG top;
  LONG right;
  LONG bottom;
};

struct POINT {
  LONG x;
  LONG y;
};

struct SIZE {
  LONG cx;
  LONG cy;
};

struct FILETIME {
  DWORD dwLowDateTime;
  DWORD dwHighDateTime;
};

static_assert(sizeof(RECT) == 16 && sizeof(POINT) == 8 && sizeof(SIZE) == 8);
static_assert(sizeof(FILETIME) == 8);

constexpr COLORREF RGB(BYTE r, BYTE g, BYTE b) {
  return static_cast<COLORREF>(r) | (static_cast<COLORREF>(g) << 8) |
         (static_cast<COLORREF>(b) << 16);
}
constexpr BYTE GetRValue(COLORREF c) { return static_cast<BYTE>(c & 0xFF); }
constexpr BYTE GetGValue(COLORREF c) { return static_cast<BYTE>((c >> 8) & 0xFF); }
constexpr BYTE GetBValue(COLORREF c) { return static_cast<BYTE>((c >> 16) & 0xFF); }

constexpr WORD LOWORD(DWORD v) { return static_cast<WORD>(v & 0xFFFF); }
constexpr WORD HIWORD(DWORD v) { return static_cast<WORD>(v >> 16); }
