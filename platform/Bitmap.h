// Device-independent bitmap headers and bitmap resources of modules.
#pragma once

#include <cstddef>

#include "platform/Module.h"
#include "platform/Types.h"

// The 40-byte information header as the original platform lays it out in memory (the files
// are read field by field, never through this struct).
struct BITMAPINFOHEADER {
  DWORD biSize;
  LONG biWidth;
  LONG biHeight;
  WORD biPlanes;
  WORD biBitCount;
  DWORD biCompression;
  DWORD biSizeImage;
  LONG biXPelsPerMeter;
  LONG biYPelsPerMeter;
  DWORD biClrUsed;
  DWORD biClrImportant;
};
static_assert(sizeof(BITMAPINFOHEADER) == 40);

struct RGBQUAD {
  BYTE rgbBlue;
  BYTE rgbGreen;
  BYTE rgbRed;
  BYTE rgbReserved;
};

struct BITMAPINFO {
  BITMAPINFOHEADER bmiHeader;
  RGBQUAD bmiColors[1];
};

enum : DWORD { BI_RGB = 0, BI_RLE8 = 1, BI_RLE4 = 2, BI_BITFIELDS = 3 };

// Resource names: an integer id stands in the pointer, as on the original platform.
inline const wchar_t* MAKEINTRESOURCEW(UINT id) {
  return reinterpret_cast<const wchar_t*>(static_cast<std::uintptr_t>(id));
}
inline bool IS_INTRESOURCE(const wchar_t* name) {
  return (reinterpret_cast<std::uintptr_t>(name) >> 16) == 0;
}
#define RT_BITMAP MAKEINTRESOURCEW(2)

// A found resource of a module: where its bytes are.
using HRSRC = const KvBitmapResource*;

// Only bitmap resources exist here. Names are integer ids (MAKEINTRESOURCEW) or the id in
// decimal ("#1200" or "1200"); null when the module has no such resource.
KV_PLATFORM_API HRSRC FindResourceW(HINSTANCE module, const wchar_t* name, const wchar_t* type);
KV_PLATFORM_API HGLOBAL LoadResource(HINSTANCE module, HRSRC resource);
KV_PLATFORM_API void* LockResource(HGLOBAL loaded);
KV_PLATFORM_API DWORD SizeofResource(HINSTANCE module, HRSRC resource);
KV_PLATFORM_API BOOL FreeResource(HGLOBAL loaded);
