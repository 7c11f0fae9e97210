#include "picture/RowConversion.h"

#include <cstring>

namespace {

constexpr DWORD Pack(DWORD b, DWORD g, DWORD r, DWORD a) { return b | g << 8 | r << 16 | a << 24; }

constexpr DWORD ExpandTga(DWORD c) { return c ? (c << 3) | 7 : 0; }

}  // namespace

void KvConvertRow(RawPixel kind, const BYTE* src, DWORD* dst, std::size_t count, BYTE alpha,
                  const DWORD* palette, std::size_t paletteSize) {
  const DWORD a = static_cast<DWORD>(alpha) << 24;
  switch (kind) {
    case RawPixel::Grey8:
      for (std::size_t i = 0; i < count; ++i) dst[i] = a | src[i] * 0x010101u;
      break;
    case RawPixel::Rgb555Tga:
      for (std::size_t i = 0; i < count; ++i) {
        const DWORD w = src[2 * i] | src[2 * i + 1] << 8;
        dst[i] =
            a | Pack(ExpandTga(w & 31), ExpandTga((w >> 5) & 31), ExpandTga((w >> 10) & 31), 0);
      }
      break;
    case RawPixel::Rgb555Bmp:
      for (std::size_t i = 0; i < count; ++i) {
        const DWORD w = src[2 * i] | src[2 * i + 1] << 8;
        dst[i] = a | Pack((w & 31) << 3, ((w >> 5) & 31) << 3, ((w >> 10) & 31) << 3, 0);
      }
      break;
    case RawPixel::Bgr24:
      for (std::size_t i = 0; i < count; ++i)
        dst[i] = a | Pack(src[3 * i], src[3 * i + 1], src[3 * i + 2], 0);
      break;
    case RawPixel::Rgb24:
      for (std::size_t i = 0; i < count; ++i)
        dst[i] = a | Pack(src[3 * i + 2], src[3 * i + 1], src[3 * i], 0);
      break;
    case RawPixel::Bgra32:
      std::memcpy(dst, src, count * 4);
      break;
    case RawPixel::Index8:
      for (std::size_t i = 0; i < count; ++i)
        dst[i] = src[i] < paletteSize && palette ? palette[src[i]] : 0xFF000000u;
      break;
  }
}

void KvSetAlpha(DWORD* pixels, std::size_t count, BYTE alpha) {
  const DWORD a = static_cast<DWORD>(alpha) << 24;
  for (std::size_t i = 0; i < count; ++i) pixels[i] = (pixels[i] & 0x00FFFFFFu) | a;
}
