// Pixel arithmetic of the host services: mixing, line interpolation, zoom, colour bars.
#pragma once

#include <cstddef>

#include "host/Color.h"
#include "platform/Geometry.h"

// The pixel that results from laying `top` over `bottom`: Porter-Duff "over" on straight
// (non-premultiplied) alpha in 8-bit integer arithmetic. A top of alpha 255 gives `top`,
// a top of alpha 0 gives `bottom`, exactly (all four bytes). Otherwise, with / truncating:
//   db = (bottom.a * (255 - top.a) + 127) / 255, outA = top.a + db,
//   c  = (top.c * top.a + bottom.c * db + outA / 2) / outA for each colour channel c,
// so an opaque bottom gives an opaque result.
KV_HOST_API tagCOLOR32 KvPublicMixColor(tagCOLOR32 top, tagCOLOR32 bottom);

// Row kernels of the block copies, bit-exact with KvPublicMixColor.
// dst[i] = KvPublicMixColor(src[i], dst[i])
KV_HOST_API void KvMixRowOver(tagCOLOR32* dst, const tagCOLOR32* src, std::size_t count);
// dst[i] = KvPublicMixColor(dst[i], src[i])
KV_HOST_API void KvMixRowUnder(tagCOLOR32* dst, const tagCOLOR32* src, std::size_t count);

// out = line0 * (1 - weight) + line1 * weight, channel by channel, over `pixels` BGRA
// pixels. Weight 0 gives line0 and weight 1 gives line1 exactly; it is clamped to 0..1 and
// rounded to steps of 1/256. `out` may be either line. Null lines or pixels <= 0: nothing.
KV_HOST_API void KvIntpLines_BGRA(BYTE* line0, BYTE* line1, BYTE* out, int pixels, float weight);

// Resamples `height` rows of `width` pixels between each source row and the row below it:
// dst row y = src row y * weight + src row y+1 * (1 - weight). `srcEnd` is the end of the
// readable source: a row below that does not lie wholly before it counts as fully
// transparent, so nothing is read past it. Strides are in bytes. dst may be src itself
// (same stride): rows are done top to bottom.
KV_HOST_API void KvSubPixel_BGRA(void* src, void* srcEnd, int srcStride, void* dst, int dstStride,
                                 int width, int height, float weight);

// Scales a whole buffer of srcSize pixels into a buffer of dstSize pixels (box filter when
// shrinking, bilinear on pixel centres when enlarging, per axis; each channel on its own).
// A same-size zoom copies exactly. Does nothing for empty or null buffers.
KV_HOST_API void KvMemZoom(DWORD* src, CSize srcSize, DWORD* dst, CSize dstSize);

// Fills width x height opaque pixels with the suite's colour-bar background: seven 75 %
// bars with edges at x = i * width / 7 over the top two thirds, reverse-blue castellations
// below, and a black strip with a white block at the bottom.
KV_HOST_API void KvGenColorBars(tagCOLOR32* pixels, int width, int height);

// A plain copy of `bytes` bytes; returns dst.
KV_HOST_API void* KvFstMemCopy(void* dst, const void* src, std::size_t bytes);
