#include "host/PixelOps.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <random>
#include <vector>

#include "host/MemBlock.h"

// The mix kernel's divider, exported by PixelOps.cpp for the exhaustive proof below.
void KvPixelDivideLanesForTest(const std::uint16_t* n, const BYTE* d, std::uint16_t* q);

namespace {

using Pixels = std::vector<tagCOLOR32>;

tagCOLOR32 Bgra(int b, int g, int r, int a) { return {BYTE(b), BYTE(g), BYTE(r), BYTE(a)}; }

void ExpectKernelsMatch(const Pixels& top, const Pixels& bottom) {
  Pixels over = bottom, under = top;
  KvMixRowOver(over.data(), top.data(), top.size());
  KvMixRowUnder(under.data(), bottom.data(), top.size());
  for (std::size_t i = 0; i < top.size(); ++i) {
    const tagCOLOR32 want = KvPublicMixColor(top[i], bottom[i]);
    ASSERT_EQ(over[i].Value(), want.Value())
        << i << " top " << std::hex << top[i].Value() << " bottom " << bottom[i].Value();
    ASSERT_EQ(under[i].Value(), want.Value()) << i;
  }
}

TEST(PixelMix, AllAlphaPairsKeepTheRulesAndKernelsAgree) {
  for (const auto& [tc, bc] : {std::pair{0, 255}, {255, 1}, {128, 127}, {33, 190}}) {
    Pixels top, bottom;
    for (int ta = 0; ta < 256; ++ta)
      for (int ba = 0; ba < 256; ++ba) {
        top.push_back(Bgra(tc, bc, tc ^ 0x5A, ta));
        bottom.push_back(Bgra(bc, tc, bc ^ 0xA5, ba));
        const tagCOLOR32 t = top.back(), b = bottom.back(), m = KvPublicMixColor(t, b);
        ASSERT_GE(m.a, std::max(t.a, b.a));
        ASSERT_TRUE(b.a < 255 || m.a == 255) << "opaque bottom lost coverage";
        if (ta == 0 || ta == 255) {  // one side exactly, even a transparent bottom's colour
          ASSERT_EQ(m, ta ? t : b) << ba;
          continue;
        }
        ASSERT_TRUE(m.b >= std::min(t.b, b.b) && m.b <= std::max(t.b, b.b)) << ta << " " << ba;
        ASSERT_TRUE(m.r >= std::min(t.r, b.r) && m.r <= std::max(t.r, b.r)) << ta << " " << ba;
      }
    ExpectKernelsMatch(top, bottom);
  }
}

TEST(PixelMix, DividerIsExactForEveryReachableNumerator) {
  // Output alpha d (1..255) divides numerators up to 255 * d + d / 2.
  std::uint16_t n[8] = {}, q[8];
  BYTE d[8] = {1, 1, 1, 1, 1, 1, 1, 1};
  int lane = 0;
  const auto check = [&] {
    KvPixelDivideLanesForTest(n, d, q);
    for (int i = 0; i < 8; ++i) ASSERT_EQ(q[i], n[i] / d[i]) << n[i] << " / " << int(d[i]);
  };
  for (unsigned den = 1; den < 256; ++den)
    for (unsigned num = 0; num <= 255 * den + den / 2; ++num) {
      n[lane] = std::uint16_t(num);
      d[lane] = BYTE(den);
      if (++lane == 8) check(), lane = 0;
    }
  check();  // the last partial group, beside earlier valid lanes
}

TEST(PixelIntp, WeightsOutsideZeroToOneGiveTheEnds) {
  std::vector<BYTE> a(40, 10), b(40, 250), out(40);
  for (const float w : {0.0f, -2.0f, 1.0f, 3.0f}) {
    KvIntpLines_BGRA(a.data(), b.data(), out.data(), 10, w);
    EXPECT_EQ(out, w > 0 ? b : a) << w;
  }
}

TEST(PixelSubPixel, RowBelowTheEndCountsAsTransparent) {
  // Three padded rows; the buffer ends where the third row's pixels end, or four bytes short
  // of a whole fourth row. The fourth row must not be read (the sanitizer build catches an
  // over-read) and counts as transparent.
  const int width = 5, stride = 24, rows = 3;
  for (const int size : {2 * stride + width * 4, 3 * stride + width * 4 - 4}) {
    std::vector<BYTE> src(size), dst(rows * stride, 0xEE);
    for (int i = 0; i < size; ++i) src[i] = BYTE(20 + i);
    const auto at = [&](std::vector<BYTE>& v, int y, int x) { return int(v[y * stride + x]); };
    KvSubPixel_BGRA(src.data(), src.data() + size, stride, dst.data(), stride, width, rows, 0.0f);
    for (int x = 0; x < width * 4; ++x) {
      EXPECT_EQ(at(dst, 0, x), at(src, 1, x));
      EXPECT_EQ(at(dst, 1, x), at(src, 2, x));
      EXPECT_EQ(at(dst, 2, x), 0);
    }
    KvSubPixel_BGRA(src.data(), src.data() + size, stride, dst.data(), stride, width, rows, 0.5f);
    for (int x = 0; x < width * 4; ++x) {
      EXPECT_EQ(at(dst, 0, x), (at(src, 0, x) + at(src, 1, x) + 1) / 2);
      EXPECT_EQ(at(dst, 2, x), (at(src, 2, x) + 1) / 2);
    }
    EXPECT_EQ(at(dst, 0, width * 4), 0xEE) << "padding written";
  }
}

// Zooms from an exactly sized source into a destination between guard pixels, which must
// survive.
std::vector<DWORD> Zoomed(std::vector<DWORD> src, CSize from, CSize to) {
  std::vector<DWORD> buf(std::size_t(to.cx) * to.cy + 8, 0xDEADBEEF);
  KvMemZoom(src.data(), from, buf.data() + 4, to);
  const std::vector<DWORD> guards(4, 0xDEADBEEF);
  EXPECT_TRUE(std::equal(guards.begin(), guards.end(), buf.begin()) &&
              std::equal(guards.begin(), guards.end(), buf.end() - 4));
  return {buf.begin() + 4, buf.end() - 4};
}

TEST(PixelZoom, SameSizeCopiesEnlargingInterpolatesShrinkingAverages) {
  std::vector<DWORD> noise(7 * 5);
  std::mt19937 rng(5);
  for (DWORD& p : noise) p = DWORD(rng());
  EXPECT_EQ(Zoomed(noise, CSize(7, 5), CSize(7, 5)), noise);
  std::vector<DWORD> dst(4, 7);
  KvMemZoom(noise.data(), CSize(0, 2), dst.data(), CSize(2, 2));
  KvMemZoom(noise.data(), CSize(2, 2), dst.data(), CSize(2, -1));
  EXPECT_EQ(dst, std::vector<DWORD>(4, 7)) << "empty sizes must do nothing";
  // A two-pixel black-to-white ramp grows to 9 along it and to 4 across it, once per axis:
  // ends exact, non-decreasing between, half at the centre.
  const std::vector<DWORD> ramp = {0xFF000000, 0xFFFFFFFF};
  for (const bool vertical : {false, true}) {
    const auto out =
        Zoomed(ramp, vertical ? CSize(1, 2) : CSize(2, 1), vertical ? CSize(4, 9) : CSize(9, 4));
    const auto at = [&](int along, int across) {
      return vertical ? out[along * 4 + across] : out[across * 9 + along];
    };
    for (int across = 0; across < 4; ++across) {
      EXPECT_EQ(at(0, across), ramp[0]) << vertical;
      EXPECT_EQ(at(8, across), ramp[1]) << vertical;
      EXPECT_EQ(at(4, across) & 0xFF, 0x80u) << vertical;
      for (int i = 1; i < 9; ++i) EXPECT_GE(at(i, across) & 0xFF, at(i - 1, across) & 0xFF);
    }
  }
  // Shrinking averages the covered area: a 2x2-cell checker halves to the average, rounded half up
  // per channel.
  const DWORD a = 0xFF102030, b = 0x80F0E0D1;
  std::vector<DWORD> checker(8 * 6);
  for (int i = 0; i < 48; ++i) checker[i] = (i % 8 + i / 8) % 2 ? b : a;
  EXPECT_EQ(Zoomed(checker, CSize(8, 6), CSize(4, 3)), std::vector<DWORD>(12, 0xC0808081));
  // Noise against the exact area average, allowing for the roundings of the two passes.
  rng.seed(11);
  for (const auto& [from, to] : {std::pair{CSize(12, 9), CSize(4, 3)},
                                 {{7, 5}, {3, 2}},
                                 {{50, 1}, {7, 1}},
                                 {{3, 40}, {3, 6}}}) {
    std::vector<DWORD> src(from.cx * from.cy);
    for (DWORD& p : src) p = DWORD(rng());
    const auto out = Zoomed(src, from, to);
    const double sx = double(from.cx) / to.cx, sy = double(from.cy) / to.cy;
    const auto cover = [](int j, double lo, double size) {
      return std::max(0.0, std::min(lo + size, j + 1.0) - std::max(lo, double(j)));
    };
    for (int i = 0; i < to.cx * to.cy; ++i)
      for (int c = 0; c < 32; c += 8) {
        double sum = 0;
        for (int j = 0; j < from.cx * from.cy; ++j)
          sum += cover(j % from.cx, i % to.cx * sx, sx) * cover(j / from.cx, i / to.cx * sy, sy) *
                 ((src[j] >> c) & 0xFF);
        ASSERT_NEAR((out[i] >> c) & 0xFF, sum / (sx * sy), 1.0) << from.cx << "x" << from.cy;
      }
  }
}

// No pixels is nothing to do, whatever size comes with them.
TEST(PixelOps, NoPixelsWithASizeIsNothingToDo) {
  std::vector<DWORD> px(16);
  KvGenColorBars(nullptr, 4, 4);
  KvMemZoom(nullptr, CSize(4, 4), px.data(), CSize(4, 4));
  KvMemZoom(px.data(), CSize(4, 4), nullptr, CSize(4, 4));
  BYTE* bytes = reinterpret_cast<BYTE*>(px.data());
  KvIntpLines_BGRA(bytes, bytes, nullptr, 4, 0.5f);
  KvSubPixel_BGRA(bytes, nullptr, 16, bytes, 16, 4, 2, 0.5f);
  EXPECT_EQ(px, std::vector<DWORD>(16));
}

}  // namespace
