// Turns rows of file pixels into BGRA picture pixels. The decoders unpack their data to raw
// rows; these conversions then serve every format.
#pragma once

#include <cstddef>

#include "platform/Types.h"

enum class RawPixel {
  Grey8,      // g -> B = G = R = g
  Rgb555Tga,  // 16-bit word, 5 bits per channel, x(c) = c << 3 | (c ? 7 : 0)
  Rgb555Bmp,  // 16-bit word, 5 bits per channel, c << 3
  Bgr24,      // B, G, R
  Bgra32,     // B, G, R, A
  Rgb24,      // R, G, B
  Index8,     // palette entry of the byte
};

// Converts `count` pixels from `src` into `dst`. `alpha` is the alpha of formats without
// one (Bgra32 keeps its own, Index8 takes the palette's). `palette` holds `paletteSize`
// entries; indices beyond it give opaque black.
void KvConvertRow(RawPixel kind, const BYTE* src, DWORD* dst, std::size_t count, BYTE alpha,
                  const DWORD* palette = nullptr, std::size_t paletteSize = 0);

// Sets the alpha byte of every pixel.
void KvSetAlpha(DWORD* pixels, std::size_t count, BYTE alpha);
