// Thumbnails: 24-bit (or 32-bit) bottom-up pictures, rows padded to 4 bytes, made from an
// area of a pixel buffer and drawn into a device context.
#pragma once

#include "platform/Geometry.h"
#include "platform/Window.h"

// Scales the area `srcArea` of a buffer of `srcSize` pixels to `dstSize` and returns it as a
// new fixed global block (free with GlobalFree) of `bits` (24 or 32) per pixel, rows
// bottom-up. Null when the arguments describe nothing (or memory is short).
KV_HOST_API BYTE* KvGuiMakeIcon(DWORD* src, CSize srcSize, CRect srcArea, CSize dstSize, int bits);

// Draws such a picture, stretched into `rect`.
KV_HOST_API BOOL KvGuiDrawIcon(CDC* dc, CRect rect, BYTE* bits, CSize size, int bitCount);
