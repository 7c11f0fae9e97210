#include "host/RowConversion.h"

#include <bit>
#include <cstdint>
#include <cstring>
#if defined(__x86_64__) || defined(__SSE2__)
#include <immintrin.h>
#endif
#include <initializer_list>

namespace {

constexpr DWORD Pack(DWORD b, DWORD g, DWORD r, DWORD a) { return b | g << 8 | r << 16 | a << 24; }

constexpr DWORD ExpandTga(DWORD c) { return c ? (c << 3) | 7 : 0; }

DWORD Word16(const BYTE* p) { return p[0] | p[1] << 8; }

std::uint64_t Load64(const BYTE* p) {
  std::uint64_t v;
  std::memcpy(&v, p, 8);
  return v;
}

DWORD Load32(const BYTE* p) {
  DWORD v;
  std::memcpy(&v, p, 4);
  return v;
}

#if defined(__x86_64__)
// B, G, R to words by byte shuffles, 16 pixels a turn from 16-byte loads that stay within
// the row. Returns how many pixels it converted.
__attribute__((target("ssse3"))) std::size_t Bgr24Ssse3(const BYTE* src, DWORD* dst,
                                                        std::size_t count, DWORD a) {
  const __m128i shuffle = _mm_setr_epi8(0, 1, 2, -1, 3, 4, 5, -1, 6, 7, 8, -1, 9, 10, 11, -1);
  const __m128i alpha = _mm_set1_epi32(static_cast<int>(a));
  std::size_t i = 0;
  // Rows this long belong to pictures larger than the caches: they are stored past them,
  // which spares reading the destination in first.
  if (count >= 1024 && reinterpret_cast<std::uintptr_t>(dst) % 16 == 0) {
    for (; i + 18 <= count; i += 16)
      for (std::size_t k = 0; k < 16; k += 4) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src + 3 * (i + k)));
        _mm_stream_si128(reinterpret_cast<__m128i*>(dst + i + k),
                         _mm_or_si128(_mm_shuffle_epi8(v, shuffle), alpha));
      }
    _mm_sfence();
    return i;
  }
  for (; i + 18 <= count; i += 16)
    for (std::size_t k = 0; k < 16; k += 4) {
      const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src + 3 * (i + k)));
      _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + i + k),
                       _mm_or_si128(_mm_shuffle_epi8(v, shuffle), alpha));
    }
  return i;
}

// R, G, B, A to B, G, R, A by byte shuffles, 4 pixels a turn; stored past the caches as
// above. Returns how many pixels it converted.
__attribute__((target("ssse3"))) std::size_t Rgba32Ssse3(const BYTE* src, DWORD* dst,
                                                         std::size_t count) {
  const __m128i shuffle = _mm_setr_epi8(2, 1, 0, 3, 6, 5, 4, 7, 10, 9, 8, 11, 14, 13, 12, 15);
  std::size_t i = 0;
  if (count >= 1024 && reinterpret_cast<std::uintptr_t>(dst) % 16 == 0) {
    for (; i + 4 <= count; i += 4)
      _mm_stream_si128(
          reinterpret_cast<__m128i*>(dst + i),
          _mm_shuffle_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(src + 4 * i)),
                           shuffle));
    _mm_sfence();
    return i;
  }
  for (; i + 4 <= count; i += 4)
    _mm_storeu_si128(
        reinterpret_cast<__m128i*>(dst + i),
        _mm_shuffle_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(src + 4 * i)), shuffle));
  return i;
}

bool HasSsse3() {
  static const bool ssse3 = __builtin_cpu_supports("ssse3");
  return ssse3;
}

std::size_t Bgr24Vector(const BYTE* src, DWORD* dst, std::size_t count, DWORD a) {
  return HasSsse3() ? Bgr24Ssse3(src, dst, count, a) : 0;
}
std::size_t Rgba32Vector(const BYTE* src, DWORD* dst, std::size_t count) {
  return HasSsse3() ? Rgba32Ssse3(src, dst, count) : 0;
}
#else
std::size_t Bgr24Vector(const BYTE*, DWORD*, std::size_t, DWORD) { return 0; }
std::size_t Rgba32Vector(const BYTE*, DWORD*, std::size_t) { return 0; }
#endif

// 8-bit indices through a palette of all 256 entries, so that no index needs a check.
void Index8Full(const BYTE* src, DWORD* dst, std::size_t count, const DWORD* palette) {
  std::size_t i = 0;
#if defined(__x86_64__)
  // Rows this long belong to pictures larger than the caches (whole movie frames): they are
  // stored past them, which spares reading the destination in first.
  if (count >= 1024 && reinterpret_cast<std::uintptr_t>(dst) % 16 == 0) {
    for (; i + 4 <= count; i += 4)
      _mm_stream_si128(
          reinterpret_cast<__m128i*>(dst + i),
          _mm_setr_epi32(static_cast<int>(palette[src[i]]), static_cast<int>(palette[src[i + 1]]),
                         static_cast<int>(palette[src[i + 2]]),
                         static_cast<int>(palette[src[i + 3]])));
    _mm_sfence();
  }
#endif
  for (; i < count; ++i) dst[i] = palette[src[i]];
}

// Indices of `bits` bits, most significant first.
void ExpandIndices(const BYTE* src, DWORD* dst, std::size_t count, unsigned bits,
                   const DWORD* palette, std::size_t paletteSize) {
  const unsigned perByte = 8 / bits, mask = (1u << bits) - 1;
  for (std::size_t i = 0; i < count; ++i) {
    const unsigned shift = 8 - bits * (1 + i % perByte);
    const unsigned index = (src[i / perByte] >> shift) & mask;
    dst[i] = index < paletteSize && palette ? palette[index] : 0xFF000000u;
  }
}

// One channel of a bit-field pixel, widened to 8 bits.
struct Channel {
  DWORD mask = 0;
  int shift = 0;
  DWORD max = 0;
  explicit Channel(DWORD m) : mask(m) {
    if (!m) return;
    shift = std::countr_zero(m);
    max = m >> shift;
  }
  DWORD Scale(DWORD v) const {
    return max ? static_cast<DWORD>((((v & mask) >> shift) * 255ull + max / 2) / max) : 0;
  }
};

}  // namespace

void KvConvertRow(RawPixel kind, const BYTE* src, DWORD* dst, std::size_t count, BYTE alpha,
                  const DWORD* palette, std::size_t paletteSize) {
  const DWORD a = static_cast<DWORD>(alpha) << 24;
  switch (kind) {
    case RawPixel::Index1:
      ExpandIndices(src, dst, count, 1, palette, paletteSize);
      break;
    case RawPixel::Index2:
      ExpandIndices(src, dst, count, 2, palette, paletteSize);
      break;
    case RawPixel::Index4:
      ExpandIndices(src, dst, count, 4, palette, paletteSize);
      break;
    case RawPixel::Index8:
      if (palette && paletteSize >= 256) {
        Index8Full(src, dst, count, palette);
        break;
      }
      for (std::size_t i = 0; i < count; ++i)
        dst[i] = src[i] < paletteSize && palette ? palette[src[i]] : 0xFF000000u;
      break;
    case RawPixel::Grey8:
      for (std::size_t i = 0; i < count; ++i) dst[i] = a | src[i] * 0x010101u;
      break;
    case RawPixel::GreyAlpha8:
      for (std::size_t i = 0; i < count; ++i)
        dst[i] = src[2 * i] * 0x010101u | static_cast<DWORD>(src[2 * i + 1]) << 24;
      break;
    case RawPixel::Grey16Be:
      for (std::size_t i = 0; i < count; ++i) dst[i] = a | src[2 * i] * 0x010101u;
      break;
    case RawPixel::GreyAlpha16Be:
      for (std::size_t i = 0; i < count; ++i)
        dst[i] = src[4 * i] * 0x010101u | static_cast<DWORD>(src[4 * i + 2]) << 24;
      break;
    case RawPixel::Rgb555Tga:
      for (std::size_t i = 0; i < count; ++i) {
        const DWORD w = Word16(src + 2 * i);
        dst[i] =
            a | Pack(ExpandTga(w & 31), ExpandTga((w >> 5) & 31), ExpandTga((w >> 10) & 31), 0);
      }
      break;
    case RawPixel::Rgb555Bmp:
      for (std::size_t i = 0; i < count; ++i) {
        const DWORD w = Word16(src + 2 * i);
        dst[i] = a | Pack((w & 31) << 3, ((w >> 5) & 31) << 3, ((w >> 10) & 31) << 3, 0);
      }
      break;
    case RawPixel::Rgb565:
      for (std::size_t i = 0; i < count; ++i) {
        const DWORD w = Word16(src + 2 * i), b = w & 31, g = (w >> 5) & 63, r = w >> 11;
        dst[i] = a | Pack(b << 3 | b >> 2, g << 2 | g >> 4, r << 3 | r >> 2, 0);
      }
      break;
    case RawPixel::Bgr24: {
      // Four pixels at a time from two overlapping 64-bit loads within their 12 bytes; then
      // whole words for all but the last pixel, which must not read past its three bytes.
      if (count == 0) break;
      std::size_t i = Bgr24Vector(src, dst, count, a);
      const std::uint64_t a2 = static_cast<std::uint64_t>(a) * 0x100000001ull;
      for (; i + 4 <= count; i += 4) {
        const std::uint64_t lo = Load64(src + 3 * i), hi = Load64(src + 3 * i + 4);
        const std::uint64_t first = (lo & 0xFFFFFF) | (lo >> 24 & 0xFFFFFF) << 32 | a2;
        const std::uint64_t second = (hi >> 16 & 0xFFFFFF) | (hi >> 40) << 32 | a2;
        std::memcpy(dst + i, &first, 8);
        std::memcpy(dst + i + 2, &second, 8);
      }
      for (; i + 1 < count; ++i) dst[i] = (Load32(src + 3 * i) & 0xFFFFFFu) | a;
      if (i < count)
        dst[count - 1] = a | Pack(src[3 * count - 3], src[3 * count - 2], src[3 * count - 1], 0);
      break;
    }
    case RawPixel::Rgb24:
      for (std::size_t i = 0; i < count; ++i)
        dst[i] = a | Pack(src[3 * i + 2], src[3 * i + 1], src[3 * i], 0);
      break;
    case RawPixel::Rgb48Be:
      for (std::size_t i = 0; i < count; ++i)
        dst[i] = a | Pack(src[6 * i + 4], src[6 * i + 2], src[6 * i], 0);
      break;
    case RawPixel::Bgra32:
      std::memcpy(dst, src, count * 4);
      break;
    case RawPixel::Bgrx32:
      for (std::size_t i = 0; i < count; ++i) dst[i] = (Load32(src + 4 * i) & 0xFFFFFFu) | a;
      break;
    case RawPixel::Rgba32:
      for (std::size_t i = Rgba32Vector(src, dst, count); i < count; ++i) {
        const DWORD p = Load32(src + 4 * i);
        dst[i] = (p & 0xFF00FF00u) | (p >> 16 & 0xFFu) | (p & 0xFFu) << 16;
      }
      break;
    case RawPixel::Rgba64Be:
      for (std::size_t i = 0; i < count; ++i)
        dst[i] = Pack(src[8 * i + 4], src[8 * i + 2], src[8 * i], src[8 * i + 6]);
      break;
  }
}

bool KvBitFields::IsValid() const {
  for (DWORD m : {red, green, blue, alpha})
    if (m && !std::has_single_bit((m >> std::countr_zero(m)) + 1)) return false;
  return true;
}

void KvConvertBitFields(const BYTE* src, DWORD* dst, std::size_t count, int bytesPerPixel,
                        const KvBitFields& masks, BYTE alpha) {
  const Channel r(masks.red), g(masks.green), b(masks.blue), al(masks.alpha);
  const DWORD fixedAlpha = masks.alpha ? 0 : static_cast<DWORD>(alpha) << 24;
  for (std::size_t i = 0; i < count; ++i) {
    const DWORD v = bytesPerPixel == 2 ? Word16(src + 2 * i) : Load32(src + 4 * i);
    dst[i] = Pack(b.Scale(v), g.Scale(v), r.Scale(v), al.Scale(v)) | fixedAlpha;
  }
}

// The raw PSD load's hot loop: sixteen pixels a step.
void KvConvertPlanes8(const BYTE* r, const BYTE* g, const BYTE* b, const BYTE* a, DWORD* out,
                      std::size_t count, BYTE alpha) {
  std::size_t i = 0;
#ifdef __SSE2__
  const __m128i fixed = _mm_set1_epi8(static_cast<char>(alpha));
  for (; i + 16 <= count; i += 16) {
    const auto load = [i](const BYTE* p) {
      return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i));
    };
    const __m128i rv = load(r), gv = load(g), bv = load(b), av = a ? load(a) : fixed;
    const __m128i bgLo = _mm_unpacklo_epi8(bv, gv), bgHi = _mm_unpackhi_epi8(bv, gv);
    const __m128i raLo = _mm_unpacklo_epi8(rv, av), raHi = _mm_unpackhi_epi8(rv, av);
    auto* o = reinterpret_cast<__m128i*>(out + i);
    _mm_storeu_si128(o, _mm_unpacklo_epi16(bgLo, raLo));
    _mm_storeu_si128(o + 1, _mm_unpackhi_epi16(bgLo, raLo));
    _mm_storeu_si128(o + 2, _mm_unpacklo_epi16(bgHi, raHi));
    _mm_storeu_si128(o + 3, _mm_unpackhi_epi16(bgHi, raHi));
  }
#endif
  for (; i < count; ++i) out[i] = Pack(b[i], g[i], r[i], a ? a[i] : alpha);
}

void KvGatherBitPlanes(const BYTE* src, std::size_t stride, int planes, BYTE* indices,
                       std::size_t count) {
  for (std::size_t x = 0; x < count; ++x) {
    const std::size_t byte = x / 8, shift = 7 - x % 8;
    unsigned index = 0;
    for (int p = 0; p < planes; ++p) index |= (src[p * stride + byte] >> shift & 1u) << p;
    indices[x] = static_cast<BYTE>(index);
  }
}

void KvSetAlpha(DWORD* pixels, std::size_t count, BYTE alpha) {
  const DWORD a = static_cast<DWORD>(alpha) << 24;
  for (std::size_t i = 0; i < count; ++i) pixels[i] = (pixels[i] & 0x00FFFFFFu) | a;
}
