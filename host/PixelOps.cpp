// Pixel arithmetic of the host services. The mix kernels run for every frame played to air.
// SSE2 paths carry the load; each has a scalar fallback that gives the same bytes.
#include "host/PixelOps.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <vector>

#if defined(__SSE2__)
#include <emmintrin.h>
#define KV_PIXEL_SSE2 1
#if defined(__GNUC__)
// Wider kernels for machines that have them, chosen at run time.
#include <immintrin.h>
#define KV_PIXEL_AVX2 1
#endif
#endif

namespace {

// Exact division by an output alpha d (1..255) of every numerator the mix can produce
// (n <= 255 * d + d / 2), with 16-bit lanes only. The numerator is scaled by 2^k so that
// the divisor D = d * 2^k lies in (128, 256]; then q = floor(n * 2^k / D) is taken with the
// usual multiply-high, add-back and shift by 8 for a 16-bit dividend. Entry 0 is all zero:
// a zero alpha only occurs where the result is masked off.
struct alignas(16) DivEntry {
  std::uint16_t scale[4];  // 2^k, one per channel lane of a pixel
  std::uint16_t magic[4];  // floor(2^16 * (256 - D) / D) + 1
};

constexpr std::array<DivEntry, 256> MakeDivTable() {
  std::array<DivEntry, 256> t{};
  for (unsigned d = 1; d < 256; ++d) {
    unsigned k = 0;
    while ((d << k) <= 128) ++k;
    const unsigned bigD = d << k;
    const auto magic = static_cast<std::uint16_t>((65536u * (256u - bigD)) / bigD + 1u);
    for (int lane = 0; lane < 4; ++lane) {
      t[d].scale[lane] = static_cast<std::uint16_t>(1u << k);
      t[d].magic[lane] = magic;
    }
  }
  return t;
}

constexpr std::array<DivEntry, 256> kDivTable = MakeDivTable();

#if KV_PIXEL_SSE2

inline __m128i DivideLanes(__m128i n, __m128i scale, __m128i magic) {
  const __m128i ns = _mm_mullo_epi16(n, scale);
  const __m128i t = _mm_mulhi_epu16(ns, magic);
  return _mm_srli_epi16(_mm_add_epi16(t, _mm_srli_epi16(_mm_sub_epi16(ns, t), 1)), 7);
}

// round(x / 255) for 0 <= x <= 65025, which is (x + 127) / 255 of the scalar mix there; the
// tests run every value the mix can produce through the kernels.
inline __m128i Div255Lanes(__m128i x) {
  x = _mm_add_epi16(x, _mm_set1_epi16(128));
  return _mm_srli_epi16(_mm_add_epi16(x, _mm_srli_epi16(x, 8)), 8);
}

inline __m128i BroadcastAlpha(__m128i px16) {
  return _mm_shufflehi_epi16(_mm_shufflelo_epi16(px16, 0xFF), 0xFF);
}

// Two pixels widened to 16 bits per channel, over any bottom.
inline __m128i MixPairGeneral(__m128i top, __m128i bottom) {
  const __m128i k255 = _mm_set1_epi16(255);
  const __m128i ta = BroadcastAlpha(top);
  const __m128i ba = BroadcastAlpha(bottom);
  const __m128i db = Div255Lanes(_mm_mullo_epi16(ba, _mm_sub_epi16(k255, ta)));
  const __m128i outA = _mm_add_epi16(ta, db);
  // Sums stay <= 255 * outA, so nothing wraps in 16 bits.
  const __m128i num = _mm_add_epi16(_mm_mullo_epi16(top, ta), _mm_mullo_epi16(bottom, db));
  const __m128i n = _mm_add_epi16(num, _mm_srli_epi16(outA, 1));

  const auto* e0 = reinterpret_cast<const __m128i*>(&kDivTable[_mm_extract_epi16(outA, 0)]);
  const auto* e1 = reinterpret_cast<const __m128i*>(&kDivTable[_mm_extract_epi16(outA, 4)]);
  const __m128i x0 = _mm_load_si128(e0);
  const __m128i x1 = _mm_load_si128(e1);
  const __m128i q = DivideLanes(n, _mm_unpacklo_epi64(x0, x1), _mm_unpackhi_epi64(x0, x1));

  const __m128i alphaLane = _mm_set_epi16(-1, 0, 0, 0, -1, 0, 0, 0);
  return _mm_or_si128(_mm_andnot_si128(alphaLane, q), _mm_and_si128(alphaLane, outA));
}

// Four pixels, any bottom. A zero top alpha must give the bottom bytes even where the
// bottom is transparent too (outA 0), so those pixels are selected afterwards.
inline __m128i MixQuadGeneral(__m128i top, __m128i bottom) {
  const __m128i zero = _mm_setzero_si128();
  const __m128i lo = MixPairGeneral(_mm_unpacklo_epi8(top, zero), _mm_unpacklo_epi8(bottom, zero));
  const __m128i hi = MixPairGeneral(_mm_unpackhi_epi8(top, zero), _mm_unpackhi_epi8(bottom, zero));
  const __m128i mixed = _mm_packus_epi16(lo, hi);
  const __m128i alphaMask = _mm_set1_epi32(static_cast<int>(0xFF000000u));
  const __m128i clear = _mm_cmpeq_epi32(_mm_and_si128(top, alphaMask), zero);
  return _mm_or_si128(_mm_and_si128(clear, bottom), _mm_andnot_si128(clear, mixed));
}

// Four pixels over an opaque bottom: outA is 255 and the division is by 255.
inline __m128i MixQuadOpaqueBottom(__m128i top, __m128i bottom) {
  const __m128i zero = _mm_setzero_si128();
  const __m128i k255 = _mm_set1_epi16(255);
  const auto pair = [&](__m128i t, __m128i b) {
    const __m128i ta = BroadcastAlpha(t);
    const __m128i num =
        _mm_add_epi16(_mm_mullo_epi16(t, ta), _mm_mullo_epi16(b, _mm_sub_epi16(k255, ta)));
    return Div255Lanes(num);
  };
  const __m128i lo = pair(_mm_unpacklo_epi8(top, zero), _mm_unpacklo_epi8(bottom, zero));
  const __m128i hi = pair(_mm_unpackhi_epi8(top, zero), _mm_unpackhi_epi8(bottom, zero));
  return _mm_or_si128(_mm_packus_epi16(lo, hi), _mm_set1_epi32(static_cast<int>(0xFF000000u)));
}

// Bit 3 of each nibble of a byte movemask is a pixel's alpha byte.
constexpr int kAlphaBits = 0x8888;

inline int AlphaZeroMask(__m128i px) {
  return _mm_movemask_epi8(_mm_cmpeq_epi8(px, _mm_setzero_si128())) & kAlphaBits;
}
inline int AlphaOpaqueMask(__m128i px) {
  return _mm_movemask_epi8(_mm_cmpeq_epi8(px, _mm_set1_epi8(-1))) & kAlphaBits;
}

#endif  // KV_PIXEL_SSE2

// dst[i] = mix(top, bottom) where the top is src (over) or dst (under). Groups of pixels whose
// top is wholly transparent or wholly opaque cost a compare, which is most of a title.
template <bool kUnder>
void MixRow(tagCOLOR32* dst, const tagCOLOR32* src, std::size_t count) {
  if (!dst || !src) return;
  std::size_t i = 0;
#if KV_PIXEL_SSE2
  auto* d = reinterpret_cast<__m128i*>(dst);
  const auto* s = reinterpret_cast<const __m128i*>(src);
  for (; i + 4 <= count; i += 4, ++d, ++s) {
    // Long transparent runs of an over-mix are skipped 16 pixels at a time without
    // touching dst.
    if constexpr (!kUnder) {
      while (i + 16 <= count) {
        const __m128i any =
            _mm_or_si128(_mm_or_si128(_mm_loadu_si128(s), _mm_loadu_si128(s + 1)),
                         _mm_or_si128(_mm_loadu_si128(s + 2), _mm_loadu_si128(s + 3)));
        if (AlphaZeroMask(any) != kAlphaBits) break;
        i += 16;
        d += 4;
        s += 4;
      }
      // Opaque runs (glyph interiors, whole opaque frames) are copied without reading dst.
      std::size_t run = 0;
      while (i + run + 16 <= count) {
        const __m128i* g = s + run / 4;
        const __m128i all =
            _mm_and_si128(_mm_and_si128(_mm_loadu_si128(g), _mm_loadu_si128(g + 1)),
                          _mm_and_si128(_mm_loadu_si128(g + 2), _mm_loadu_si128(g + 3)));
        if (AlphaOpaqueMask(all) != kAlphaBits) break;
        run += 16;
      }
      if (run > 0) {
        std::memcpy(dst + i, src + i, run * sizeof(tagCOLOR32));
        i += run;
        d += run / 4;
        s += run / 4;
      }
      if (i + 4 > count) break;
    }
    const __m128i sp = _mm_loadu_si128(s);
    const __m128i dp = _mm_loadu_si128(d);
    const __m128i top = kUnder ? dp : sp;
    const __m128i bottom = kUnder ? sp : dp;
    if (AlphaZeroMask(top) == kAlphaBits) {
      if (kUnder) _mm_storeu_si128(d, bottom);
    } else if (AlphaOpaqueMask(top) == kAlphaBits) {
      if (!kUnder) _mm_storeu_si128(d, top);
    } else if (AlphaOpaqueMask(bottom) == kAlphaBits) {
      _mm_storeu_si128(d, MixQuadOpaqueBottom(top, bottom));
    } else {
      _mm_storeu_si128(d, MixQuadGeneral(top, bottom));
    }
  }
#endif
  for (; i < count; ++i) {
    dst[i] = kUnder ? KvPublicMixColor(dst[i], src[i]) : KvPublicMixColor(src[i], dst[i]);
  }
}

// out = (line0 * (256 - w) + line1 * w + 128) >> 8 per byte, w in 0..256. A null line
// stands for zero bytes. The sum equals (line0 << 8) + (line1 - line0) * w, which lies in
// 0..65280 and so can be formed with wrapping 16-bit arithmetic and one multiply. Works in
// place.
#if KV_PIXEL_AVX2
__attribute__((target("avx2"))) inline __m256i Lerp256(__m256i a, __m256i b, __m256i vw,
                                                       __m256i round) {
  const __m256i sum =
      _mm256_add_epi16(_mm256_slli_epi16(a, 8), _mm256_mullo_epi16(_mm256_sub_epi16(b, a), vw));
  return _mm256_srli_epi16(_mm256_add_epi16(sum, round), 8);
}

__attribute__((target("avx2"))) std::size_t IntpBytesAvx2(const BYTE* line0, const BYTE* line1,
                                                          BYTE* out, std::size_t bytes,
                                                          unsigned w) {
  const __m256i zero = _mm256_setzero_si256();
  const __m256i vw = _mm256_set1_epi16(static_cast<short>(w));
  const __m256i round = _mm256_set1_epi16(128);
  std::size_t i = 0;
  for (; i + 32 <= bytes; i += 32) {
    const __m256i a =
        line0 ? _mm256_loadu_si256(reinterpret_cast<const __m256i*>(line0 + i)) : zero;
    const __m256i b =
        line1 ? _mm256_loadu_si256(reinterpret_cast<const __m256i*>(line1 + i)) : zero;
    const __m256i lo =
        Lerp256(_mm256_unpacklo_epi8(a, zero), _mm256_unpacklo_epi8(b, zero), vw, round);
    const __m256i hi =
        Lerp256(_mm256_unpackhi_epi8(a, zero), _mm256_unpackhi_epi8(b, zero), vw, round);
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + i), _mm256_packus_epi16(lo, hi));
  }
  return i;
}

bool HasAvx2() {
  static const bool has = __builtin_cpu_supports("avx2");
  return has;
}
#endif

void IntpBytes(const BYTE* line0, const BYTE* line1, BYTE* out, std::size_t bytes, unsigned w) {
  const unsigned w0 = 256 - w;
  std::size_t i = 0;
#if KV_PIXEL_AVX2
  if (HasAvx2()) i = IntpBytesAvx2(line0, line1, out, bytes, w);
#endif
#if KV_PIXEL_SSE2
  const __m128i zero = _mm_setzero_si128();
  const __m128i vw = _mm_set1_epi16(static_cast<short>(w));
  const __m128i round = _mm_set1_epi16(128);
  const auto lerp = [&](__m128i a, __m128i b) {
    const __m128i sum =
        _mm_add_epi16(_mm_slli_epi16(a, 8), _mm_mullo_epi16(_mm_sub_epi16(b, a), vw));
    return _mm_srli_epi16(_mm_add_epi16(sum, round), 8);
  };
  for (; i + 16 <= bytes; i += 16) {
    const __m128i a = line0 ? _mm_loadu_si128(reinterpret_cast<const __m128i*>(line0 + i)) : zero;
    const __m128i b = line1 ? _mm_loadu_si128(reinterpret_cast<const __m128i*>(line1 + i)) : zero;
    const __m128i lo = lerp(_mm_unpacklo_epi8(a, zero), _mm_unpacklo_epi8(b, zero));
    const __m128i hi = lerp(_mm_unpackhi_epi8(a, zero), _mm_unpackhi_epi8(b, zero));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + i), _mm_packus_epi16(lo, hi));
  }
#endif
  for (; i < bytes; ++i) {
    const unsigned a = line0 ? line0[i] : 0;
    const unsigned b = line1 ? line1[i] : 0;
    out[i] = static_cast<BYTE>((a * w0 + b * w + 128) >> 8);
  }
}

// The float weight as 0..256; NaN counts as 0.
unsigned WeightOf(float weight) {
  if (!(weight > 0.0f)) return 0;
  if (weight >= 1.0f) return 256;
  return static_cast<unsigned>(weight * 256.0f + 0.5f);
}

// ---- zoom ----------------------------------------------------------------------------

// Filter weights sum to 2^14: small enough for 16-bit multiplies, fine enough that the
// rounding of a weight never moves a result by more than one step.
constexpr int kZoomBits = 14;
constexpr std::uint32_t kZoomOne = 1u << kZoomBits;

// For each output position along one axis: its first source index and its weights.
struct AxisTaps {
  std::vector<int> first;
  std::vector<int> count;
  std::vector<std::size_t> offset;  // into weights
  std::vector<std::uint16_t> weights;
};

AxisTaps PlanAxis(int srcLen, int dstLen) {
  AxisTaps a;
  a.first.resize(dstLen);
  a.count.resize(dstLen);
  a.offset.resize(dstLen);
  const std::int64_t s = srcLen;
  const std::int64_t d = dstLen;
  for (int i = 0; i < dstLen; ++i) {
    a.offset[i] = a.weights.size();
    if (dstLen < srcLen) {
      // Box: output i covers [i*s, (i+1)*s) in units where a source pixel is d wide.
      const std::int64_t lo = i * s;
      const std::int64_t hi = lo + s;
      const int j0 = static_cast<int>(lo / d);
      const int j1 = static_cast<int>((hi - 1) / d);
      // Weights are differences of the rounded cumulative coverage, so they sum to exactly
      // one and none can go negative, whatever the ratio.
      std::int64_t prev = 0;
      for (int j = j0; j <= j1; ++j) {
        const std::int64_t covered = std::min(hi, (j + 1) * d) - lo;
        const std::int64_t cum = (covered * kZoomOne + s / 2) / s;
        a.weights.push_back(static_cast<std::uint16_t>(cum - prev));
        prev = cum;
      }
      a.first[i] = j0;
      a.count[i] = j1 - j0 + 1;
    } else {
      // Bilinear on pixel centres: position ((2i+1)s - d) / 2d in source pixels, clamped at
      // the edges so that the first and last outputs are the first and last inputs.
      std::int64_t pos = ((2 * i + 1) * s - d) * 32768 / d;  // 16 fractional bits
      pos = std::clamp<std::int64_t>(pos, 0, (s - 1) * 65536);
      int j = static_cast<int>(pos >> 16);
      std::uint32_t f = static_cast<std::uint32_t>(((pos & 0xFFFF) + 2) >> 2);
      if (f == kZoomOne) {
        ++j;
        f = 0;
      }
      a.first[i] = j;
      if (f == 0) {
        a.count[i] = 1;
        a.weights.push_back(static_cast<std::uint16_t>(kZoomOne));
      } else {
        a.count[i] = 2;
        a.weights.push_back(static_cast<std::uint16_t>(kZoomOne - f));
        a.weights.push_back(static_cast<std::uint16_t>(f));
      }
    }
  }
  return a;
}

// Resamples each of `rows` rows from srcW to dstW pixels.
void ZoomRows(const BYTE* src, int srcW, BYTE* dst, int dstW, int rows) {
  const AxisTaps taps = PlanAxis(srcW, dstW);
  for (int y = 0; y < rows; ++y) {
    const BYTE* in = src + static_cast<std::size_t>(y) * srcW * 4;
    BYTE* out = dst + static_cast<std::size_t>(y) * dstW * 4;
    for (int x = 0; x < dstW; ++x) {
      const BYTE* p = in + static_cast<std::size_t>(taps.first[x]) * 4;
      const std::uint16_t* w = &taps.weights[taps.offset[x]];
      const int n = taps.count[x];
#if KV_PIXEL_SSE2
      // Two neighbouring taps at a time: their channels interleaved as 16-bit pairs, so that
      // one madd gives a * wa + b * wb per channel. A last odd tap loads only its own pixel.
      const __m128i zero = _mm_setzero_si128();
      __m128i acc = _mm_set1_epi32(static_cast<int>(kZoomOne / 2));
      int k = 0;
      for (; k + 2 <= n; k += 2) {
        const __m128i ab =
            _mm_unpacklo_epi8(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(p + k * 4)), zero);
        const __m128i pairs = _mm_unpacklo_epi16(ab, _mm_srli_si128(ab, 8));
        const __m128i wab = _mm_set1_epi32(static_cast<int>(w[k] | std::uint32_t{w[k + 1]} << 16));
        acc = _mm_add_epi32(acc, _mm_madd_epi16(pairs, wab));
      }
      if (k < n) {
        std::uint32_t bits;
        std::memcpy(&bits, p + k * 4, 4);
        const __m128i px = _mm_unpacklo_epi16(
            _mm_unpacklo_epi8(_mm_cvtsi32_si128(static_cast<int>(bits)), zero), zero);
        acc = _mm_add_epi32(acc, _mm_madd_epi16(px, _mm_set1_epi32(w[k])));
      }
      const __m128i r = _mm_srli_epi32(acc, kZoomBits);
      const __m128i r8 = _mm_packus_epi16(_mm_packs_epi32(r, zero), zero);
      const auto v = static_cast<std::uint32_t>(_mm_cvtsi128_si32(r8));
      std::memcpy(out + x * 4, &v, 4);
#else
      for (int c = 0; c < 4; ++c) {
        std::uint32_t acc = kZoomOne / 2;
        for (int k = 0; k < n; ++k) acc += p[k * 4 + c] * std::uint32_t{w[k]};
        out[x * 4 + c] = static_cast<BYTE>(acc >> kZoomBits);
      }
#endif
    }
  }
}

// acc[i] += row[i] * w over `bytes` bytes.
void AccumulateRow(std::uint32_t* acc, const BYTE* row, std::size_t bytes, std::uint32_t w) {
  std::size_t i = 0;
#if KV_PIXEL_SSE2
  const __m128i zero = _mm_setzero_si128();
  const __m128i vw = _mm_set1_epi32(static_cast<int>(w));
  for (; i + 16 <= bytes; i += 16) {
    const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(row + i));
    const __m128i lo = _mm_unpacklo_epi8(b, zero);
    const __m128i hi = _mm_unpackhi_epi8(b, zero);
    const __m128i parts[4] = {_mm_unpacklo_epi16(lo, zero), _mm_unpackhi_epi16(lo, zero),
                              _mm_unpacklo_epi16(hi, zero), _mm_unpackhi_epi16(hi, zero)};
    for (int k = 0; k < 4; ++k) {
      auto* a = reinterpret_cast<__m128i*>(acc + i + k * 4);
      _mm_storeu_si128(a, _mm_add_epi32(_mm_loadu_si128(a), _mm_madd_epi16(parts[k], vw)));
    }
  }
#endif
  for (; i < bytes; ++i) acc[i] += row[i] * w;
}

// Resamples the columns of a srcH x width image to dstH rows.
void ZoomColumns(const BYTE* src, int srcH, BYTE* dst, int dstH, int width) {
  const AxisTaps taps = PlanAxis(srcH, dstH);
  const std::size_t rowBytes = static_cast<std::size_t>(width) * 4;
  std::vector<std::uint32_t> acc(rowBytes);
  for (int y = 0; y < dstH; ++y) {
    const std::uint16_t* w = &taps.weights[taps.offset[y]];
    BYTE* out = dst + static_cast<std::size_t>(y) * rowBytes;
    if (taps.count[y] == 2) {
      // Two-tap rows, which is every bilinear row, blend like lines with an 8-bit weight and
      // need no accumulator.
      const BYTE* r0 = src + static_cast<std::size_t>(taps.first[y]) * rowBytes;
      IntpBytes(r0, r0 + rowBytes, out, rowBytes, (w[1] + (1u << 5)) >> 6);
      continue;
    }
    std::fill(acc.begin(), acc.end(), kZoomOne / 2);
    for (int k = 0; k < taps.count[y]; ++k) {
      AccumulateRow(acc.data(), src + static_cast<std::size_t>(taps.first[y] + k) * rowBytes,
                    rowBytes, w[k]);
    }
    for (std::size_t i = 0; i < rowBytes; ++i) out[i] = static_cast<BYTE>(acc[i] >> kZoomBits);
  }
}

}  // namespace

// The divider of the mix kernel, one divisor per 16-bit lane, for the exhaustive proof in the
// tests that it equals integer division for every numerator the mix can produce.
void KvPixelDivideLanesForTest(const std::uint16_t* n, const BYTE* d, std::uint16_t* q) {
#if KV_PIXEL_SSE2
  alignas(16) std::uint16_t scale[8];
  alignas(16) std::uint16_t magic[8];
  for (int i = 0; i < 8; ++i) {
    scale[i] = kDivTable[d[i]].scale[0];
    magic[i] = kDivTable[d[i]].magic[0];
  }
  const __m128i r = DivideLanes(_mm_loadu_si128(reinterpret_cast<const __m128i*>(n)),
                                _mm_load_si128(reinterpret_cast<const __m128i*>(scale)),
                                _mm_load_si128(reinterpret_cast<const __m128i*>(magic)));
  _mm_storeu_si128(reinterpret_cast<__m128i*>(q), r);
#else
  for (int i = 0; i < 8; ++i) q[i] = static_cast<std::uint16_t>(n[i] / d[i]);
#endif
}

tagCOLOR32 KvPublicMixColor(tagCOLOR32 top, tagCOLOR32 bottom) {
  const unsigned ta = top.a;
  if (ta == 255) return top;
  if (ta == 0) return bottom;
  // The bottom's share, rounded to nearest; outA <= 255 because db <= 255 - ta.
  const unsigned db = (bottom.a * (255u - ta) + 127u) / 255u;
  const unsigned outA = ta + db;
  const unsigned half = outA / 2;
  // A weighted mean of the two channels, rounded half up: always between them, so an
  // opaque bottom (outA 255) and every other case stay in 0..255.
  const auto mix = [&](unsigned t, unsigned b) {
    return static_cast<BYTE>((t * ta + b * db + half) / outA);
  };
  return {mix(top.b, bottom.b), mix(top.g, bottom.g), mix(top.r, bottom.r),
          static_cast<BYTE>(outA)};
}

void KvMixRowOver(tagCOLOR32* dst, const tagCOLOR32* src, std::size_t count) {
  MixRow<false>(dst, src, count);
}

void KvMixRowUnder(tagCOLOR32* dst, const tagCOLOR32* src, std::size_t count) {
  MixRow<true>(dst, src, count);
}

void KvIntpLines_BGRA(BYTE* line0, BYTE* line1, BYTE* out, int pixels, float weight) {
  if (!line0 || !line1 || !out || pixels <= 0) return;
  IntpBytes(line0, line1, out, static_cast<std::size_t>(pixels) * 4, WeightOf(weight));
}

void KvSubPixel_BGRA(void* src, void* srcEnd, int srcStride, void* dst, int dstStride, int width,
                     int height, float weight) {
  if (!src || !srcEnd || !dst || width <= 0 || height <= 0) return;
  // Rows are located with integer arithmetic: a row outside the buffer is never formed as a
  // pointer, let alone read.
  const auto begin = reinterpret_cast<std::uintptr_t>(src);
  const auto end = reinterpret_cast<std::uintptr_t>(srcEnd);
  const std::size_t rowBytes = static_cast<std::size_t>(width) * 4;
  const auto rowAt = [&](int y) -> const BYTE* {
    const auto start = static_cast<std::uintptr_t>(static_cast<std::intptr_t>(begin) +
                                                   static_cast<std::intptr_t>(y) * srcStride);
    if (start < begin || start > end || end - start < rowBytes) return nullptr;
    return reinterpret_cast<const BYTE*>(start);
  };
  const unsigned w = WeightOf(weight);
  auto* out = static_cast<BYTE*>(dst);
  // Top to bottom, so that dst may be src itself: row y+1 is read before it is written.
  for (int y = 0; y < height; ++y) {
    IntpBytes(rowAt(y + 1), rowAt(y), out + static_cast<std::ptrdiff_t>(y) * dstStride, rowBytes,
              w);
  }
}

void KvMemZoom(DWORD* src, CSize srcSize, DWORD* dst, CSize dstSize) {
  if (!src || !dst || srcSize.cx <= 0 || srcSize.cy <= 0 || dstSize.cx <= 0 || dstSize.cy <= 0)
    return;
  const int sw = srcSize.cx, sh = srcSize.cy, dw = dstSize.cx, dh = dstSize.cy;
  const auto* in = reinterpret_cast<const BYTE*>(src);
  auto* out = reinterpret_cast<BYTE*>(dst);
  if (sw == dw && sh == dh) {
    std::memmove(dst, src, static_cast<std::size_t>(sw) * sh * 4);
    return;
  }
  if (sw == dw) return ZoomColumns(in, sh, out, dh, sw);
  if (sh == dh) return ZoomRows(in, sw, out, dw, sh);
  // Two passes through an 8-bit intermediate, in the cheaper order. A horizontal pass costs
  // about twice a vertical one per pixel: it gathers taps pixel by pixel where the vertical
  // pass blends whole rows.
  const double rowsFirst = 2.0 * std::max(sw, dw) * sh + double(dw) * std::max(sh, dh);
  const double colsFirst = double(sw) * std::max(sh, dh) + 2.0 * std::max(sw, dw) * dh;
  if (rowsFirst <= colsFirst) {
    std::vector<BYTE> mid(static_cast<std::size_t>(dw) * sh * 4);
    ZoomRows(in, sw, mid.data(), dw, sh);
    ZoomColumns(mid.data(), sh, out, dh, dw);
  } else {
    std::vector<BYTE> mid(static_cast<std::size_t>(sw) * dh * 4);
    ZoomColumns(in, sh, mid.data(), dh, sw);
    ZoomRows(mid.data(), sw, out, dw, dh);
  }
}

void KvGenColorBars(tagCOLOR32* pixels, int width, int height) {
  if (!pixels || width <= 0 || height <= 0) return;
  // 75 % bars as R, G, B; below them the reverse-blue castellations, then a black strip
  // with a full white block under the second bar for level checks.
  static constexpr BYTE kBars[7][3] = {{191, 191, 191}, {191, 191, 0}, {0, 191, 191}, {0, 191, 0},
                                       {191, 0, 191},   {191, 0, 0},   {0, 0, 191}};
  static constexpr BYTE kCastle[7][3] = {{0, 0, 191},   {0, 0, 0}, {191, 0, 191},  {0, 0, 0},
                                         {0, 191, 191}, {0, 0, 0}, {191, 191, 191}};
  // Rounded up, so that even a very short picture shows the bars.
  const int barsEnd = static_cast<int>((static_cast<std::int64_t>(height) * 2 + 2) / 3);
  const int castleEnd = static_cast<int>(static_cast<std::int64_t>(height) * 3 / 4);
  std::vector<tagCOLOR32> row(width);
  for (int y = 0; y < height; ++y) {
    if (y == 0 || y == barsEnd || y == castleEnd) {
      for (int i = 0; i < 7; ++i) {
        const int x0 = static_cast<int>(static_cast<std::int64_t>(i) * width / 7);
        const int x1 = static_cast<int>(static_cast<std::int64_t>(i + 1) * width / 7);
        BYTE rgb[3] = {0, 0, 0};
        if (y < barsEnd) {
          std::memcpy(rgb, kBars[i], 3);
        } else if (y < castleEnd) {
          std::memcpy(rgb, kCastle[i], 3);
        } else if (i == 1) {
          rgb[0] = rgb[1] = rgb[2] = 255;
        }
        std::fill(row.begin() + x0, row.begin() + x1, tagCOLOR32{rgb[2], rgb[1], rgb[0], 255});
      }
    }
    std::memcpy(pixels + static_cast<std::size_t>(y) * width, row.data(),
                static_cast<std::size_t>(width) * sizeof(tagCOLOR32));
  }
}

void* KvFstMemCopy(void* dst, const void* src, std::size_t bytes) {
  if (bytes != 0) std::memcpy(dst, src, bytes);
  return dst;
}
