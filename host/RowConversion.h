// Turns rows of file pixels into BGRA picture pixels. The decoders unpack their data to raw
// rows; these conversions then serve every format.
#pragma once

#include <cstddef>

#include "platform/Types.h"

enum class RawPixel {
  Index1,  // palette entries of 1-, 2-, 4- and 8-bit indices, most significant bits first
  Index2,
  Index4,
  Index8,
  Grey8,       // g -> B = G = R = g
  GreyAlpha8,  // g, a
  Grey16Be,    // 16-bit samples, most significant byte first: the high byte is kept
  GreyAlpha16Be,
  Rgb555Tga,  // 16-bit word, 5 bits per channel, x(c) = c << 3 | (c ? 7 : 0)
  Rgb555Bmp,  // 16-bit word, 5 bits per channel, c << 3
  Rgb565,     // 16-bit word, 5-6-5, widened by repeating the top bits
  Bgr24,      // B, G, R
  Rgb24,      // R, G, B
  Rgb48Be,    // R, G, B of 16 bits
  Bgra32,     // B, G, R, A
  Bgrx32,     // B, G, R and a byte that is not alpha
  Rgba32,     // R, G, B, A
  Rgba64Be,   // R, G, B, A of 16 bits
};

// Converts `count` pixels from `src` into `dst`. `alpha` is the alpha of formats without
// one (those with alpha keep theirs, indexed ones take the palette's). `palette` holds
// `paletteSize` entries; indices beyond it give opaque black.
KV_HOST_API void KvConvertRow(RawPixel kind, const BYTE* src, DWORD* dst, std::size_t count,
                              BYTE alpha, const DWORD* palette = nullptr,
                              std::size_t paletteSize = 0);

// Channel masks of 16- or 32-bit little-endian pixels. Each mask is one run of bits (or 0:
// the channel is absent; absent colour is 0, absent alpha is the `alpha` given).
struct KvBitFields {
  DWORD red = 0, green = 0, blue = 0, alpha = 0;
  // True when every mask is one run of bits.
  KV_HOST_API bool IsValid() const;
};

KV_HOST_API void KvConvertBitFields(const BYTE* src, DWORD* dst, std::size_t count,
                                    int bytesPerPixel, const KvBitFields& masks, BYTE alpha);

// Pixels from separate planes of 8-bit samples: red, green, blue, and alpha (null: `alpha`
// for every pixel).
KV_HOST_API void KvConvertPlanes8(const BYTE* red, const BYTE* green, const BYTE* blue,
                                  const BYTE* alphas, DWORD* dst, std::size_t count,
                                  BYTE alpha = 255);

// Indices from `planes` planes of 1 bit a pixel (most significant bit first), `stride` bytes
// apart: bit x of plane p is bit p of index x.
KV_HOST_API void KvGatherBitPlanes(const BYTE* src, std::size_t stride, int planes, BYTE* indices,
                                   std::size_t count);

// Sets the alpha byte of every pixel.
KV_HOST_API void KvSetAlpha(DWORD* pixels, std::size_t count, BYTE alpha);
