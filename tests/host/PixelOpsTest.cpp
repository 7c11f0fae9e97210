#include "host/PixelOps.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <random>
#include <vector>

// The mix kernel's divider, exported by PixelOps.cpp for the exhaustive proof below.
void KvPixelDivideLanesForTest(const std::uint16_t* n, const BYTE* d, std::uint16_t* q);

namespace {

tagCOLOR32 Bgra(BYTE b, BYTE g, BYTE r, BYTE a) { return {b, g, r, a}; }

// Every (top alpha, bottom alpha) pair with the given top and bottom colour bytes.
void AllAlphaPairs(BYTE tc, BYTE bc, std::vector<tagCOLOR32>& top,
                   std::vector<tagCOLOR32>& bottom) {
  top.clear();
  bottom.clear();
  for (int ta = 0; ta < 256; ++ta)
    for (int ba = 0; ba < 256; ++ba) {
      top.push_back(Bgra(tc, bc, static_cast<BYTE>(tc ^ 0x5A), static_cast<BYTE>(ta)));
      bottom.push_back(Bgra(bc, tc, static_cast<BYTE>(bc ^ 0xA5), static_cast<BYTE>(ba)));
    }
}

void ExpectKernelsMatch(const std::vector<tagCOLOR32>& top, const std::vector<tagCOLOR32>& bottom) {
  std::vector<tagCOLOR32> over = bottom, under = top;
  KvMixRowOver(over.data(), top.data(), top.size());
  KvMixRowUnder(under.data(), bottom.data(), top.size());
  for (std::size_t i = 0; i < top.size(); ++i) {
    const tagCOLOR32 want = KvPublicMixColor(top[i], bottom[i]);
    ASSERT_EQ(over[i].Value(), want.Value())
        << i << " top " << std::hex << top[i].Value() << " bottom " << bottom[i].Value();
    ASSERT_EQ(under[i].Value(), want.Value()) << i;
  }
}

TEST(PixelMix, ExtremeTopAlphaGivesOneSideExactly) {
  const tagCOLOR32 bottoms[] = {Bgra(12, 34, 56, 0), Bgra(1, 2, 3, 77), Bgra(200, 100, 50, 255)};
  for (const tagCOLOR32 bottom : bottoms) {
    EXPECT_EQ(KvPublicMixColor(Bgra(9, 8, 7, 255), bottom), Bgra(9, 8, 7, 255));
    EXPECT_EQ(KvPublicMixColor(Bgra(9, 8, 7, 0), bottom), bottom);
  }
}

TEST(PixelMix, ResultLiesBetweenInputsAndKeepsCoverage) {
  std::vector<tagCOLOR32> top, bottom;
  for (const auto& [tc, bc] : {std::pair<BYTE, BYTE>{0, 255}, {255, 0}, {17, 200}}) {
    AllAlphaPairs(tc, bc, top, bottom);
    for (std::size_t i = 0; i < top.size(); ++i) {
      const tagCOLOR32 t = top[i], b = bottom[i], m = KvPublicMixColor(t, b);
      ASSERT_GE(m.a, std::max(t.a, b.a)) << i;
      if (b.a == 255) {
        ASSERT_EQ(m.a, 255) << i;
      }
      if (t.a == 0) continue;  // the bottom's bytes, checked above
      ASSERT_TRUE(m.b >= std::min(t.b, b.b) && m.b <= std::max(t.b, b.b)) << i;
      ASSERT_TRUE(m.r >= std::min(t.r, b.r) && m.r <= std::max(t.r, b.r)) << i;
    }
  }
}

TEST(PixelMix, DividerIsExactForEveryReachableNumerator) {
  // Output alpha d in 1..255 divides numerators up to 255 * d + d / 2.
  std::uint16_t n[8], q[8];
  BYTE d[8];
  int lane = 0;
  const auto flush = [&](int lanes) {
    KvPixelDivideLanesForTest(n, d, q);
    for (int i = 0; i < lanes; ++i) ASSERT_EQ(q[i], n[i] / d[i]) << n[i] << " / " << int(d[i]);
  };
  for (unsigned den = 1; den < 256; ++den)
    for (unsigned num = 0; num <= 255 * den + den / 2; ++num) {
      n[lane] = static_cast<std::uint16_t>(num);
      d[lane] = static_cast<BYTE>(den);
      if (++lane == 8) {
        flush(8);
        lane = 0;
      }
    }
  for (int i = lane; i < 8; ++i) n[i] = 0, d[i] = 1;
  flush(lane);
}

TEST(PixelMix, KernelsMatchPublicMixOnAllAlphaPairs) {
  std::vector<tagCOLOR32> top, bottom;
  for (const auto& [tc, bc] : {std::pair<BYTE, BYTE>{0, 255}, {255, 1}, {128, 127}, {33, 190}}) {
    AllAlphaPairs(tc, bc, top, bottom);
    ExpectKernelsMatch(top, bottom);
  }
}

TEST(PixelMix, KernelsMatchPublicMixOverOpaqueBottomForEveryChannelPair) {
  // Every top alpha with every (top, bottom) channel pair proves the divide-by-255 path.
  std::vector<tagCOLOR32> top, bottom;
  for (int ta = 0; ta < 256; ++ta)
    for (int pair = 0; pair < 65536; pair += 3) {
      const auto ch = [&](int k, bool hi) {
        return static_cast<BYTE>(((pair + k) % 65536) >> (hi ? 8 : 0));
      };
      top.push_back(Bgra(ch(0, true), ch(1, true), ch(2, true), static_cast<BYTE>(ta)));
      bottom.push_back(Bgra(ch(0, false), ch(1, false), ch(2, false), 255));
    }
  ExpectKernelsMatch(top, bottom);
}

TEST(PixelMix, KernelsMatchPublicMixOnRandomTitleLikeRows) {
  // Runs of clear, opaque and edge pixels over mixed bottoms, with odd lengths, so that the
  // skip, the copy, both blends and the scalar tail all meet.
  std::mt19937 rng(1234);
  for (int round = 0; round < 400; ++round) {
    const std::size_t count = rng() % 3000;
    std::vector<tagCOLOR32> top(count), bottom(count);
    const bool opaqueBottom = rng() % 2;
    for (std::size_t i = 0; i < count;) {
      const std::size_t run = std::min<std::size_t>(count - i, 1 + rng() % 40);
      const unsigned kind = rng() % 4;
      for (std::size_t k = 0; k < run; ++k, ++i) {
        top[i] = tagCOLOR32::FromValue(static_cast<DWORD>(rng()));
        bottom[i] = tagCOLOR32::FromValue(static_cast<DWORD>(rng()));
        if (kind == 0) top[i].a = 0;
        if (kind == 1) top[i].a = 255;
        if (opaqueBottom) bottom[i].a = 255;
      }
    }
    ExpectKernelsMatch(top, bottom);
  }
}

TEST(PixelIntp, EndpointsMidpointAndClamping) {
  const int pixels = 37;  // not a whole number of vectors
  std::vector<BYTE> a(pixels * 4), b(pixels * 4), out(pixels * 4);
  for (int i = 0; i < pixels * 4; ++i) a[i] = BYTE(i * 7), b[i] = BYTE(255 - i * 3);
  for (const float w : {0.0f, -2.0f}) {
    KvIntpLines_BGRA(a.data(), b.data(), out.data(), pixels, w);
    EXPECT_EQ(out, a);
  }
  for (const float w : {1.0f, 3.0f}) {
    KvIntpLines_BGRA(a.data(), b.data(), out.data(), pixels, w);
    EXPECT_EQ(out, b);
  }
  std::vector<BYTE> inPlace = a;
  KvIntpLines_BGRA(inPlace.data(), b.data(), inPlace.data(), pixels, 0.5f);
  for (int i = 0; i < pixels * 4; ++i) ASSERT_EQ(inPlace[i], (a[i] + b[i] + 1) / 2) << i;
}

TEST(PixelSubPixel, RowBelowTheEndCountsAsTransparent) {
  // Three padded rows; the buffer ends either where the third row's pixels end or four
  // bytes short of a whole fourth row. Either way the fourth row must not be read (the
  // sanitizer build catches an over-read) and counts as transparent.
  const int width = 5, stride = 24, rows = 3;
  for (const int size : {2 * stride + width * 4, 3 * stride + width * 4 - 4}) {
    std::vector<BYTE> src(size);
    for (std::size_t i = 0; i < src.size(); ++i) src[i] = BYTE(20 + i);
    std::vector<BYTE> dst(rows * stride, 0xEE);
    const auto at = [&](std::vector<BYTE>& v, int y, int x) -> BYTE& { return v[y * stride + x]; };

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

std::vector<DWORD> Zoomed(const std::vector<DWORD>& src, CSize from, CSize to) {
  // Guard pixels on both sides of the destination must survive.
  const DWORD guard = 0xDEADBEEF;
  std::vector<DWORD> buf(static_cast<std::size_t>(to.cx) * to.cy + 8, guard);
  std::vector<DWORD> in = src;  // sized exactly, for the sanitizer
  KvMemZoom(in.data(), from, buf.data() + 4, to);
  for (int i = 0; i < 4; ++i) {
    EXPECT_EQ(buf[i], guard);
    EXPECT_EQ(buf[buf.size() - 1 - i], guard);
  }
  return {buf.begin() + 4, buf.end() - 4};
}

TEST(PixelZoom, SameSizeCopiesAndFlatAreasStayFlat) {
  std::vector<DWORD> noise(7 * 5);
  std::mt19937 rng(5);
  for (DWORD& p : noise) p = rng();
  EXPECT_EQ(Zoomed(noise, CSize(7, 5), CSize(7, 5)), noise);

  const DWORD flat = 0x80C0402A;
  const CSize sizes[] = {{1, 1}, {3, 2}, {13, 7}, {40, 3}, {5, 31}, {1000, 1}};
  for (const CSize from : sizes)
    for (const CSize to : sizes) {
      const auto out = Zoomed(std::vector<DWORD>(from.cx * from.cy, flat), from, to);
      ASSERT_EQ(out, std::vector<DWORD>(to.cx * to.cy, flat))
          << from.cx << "x" << from.cy << " -> " << to.cx << "x" << to.cy;
    }
}

TEST(PixelZoom, HalvingACheckerGivesTheAverage) {
  const DWORD a = 0xFF102030, b = 0x80F0E0D1;
  std::vector<DWORD> checker(8 * 6);
  for (int y = 0; y < 6; ++y)
    for (int x = 0; x < 8; ++x) checker[y * 8 + x] = (x + y) % 2 ? b : a;
  // Channels rounded half up: (FF+80)/2, (10+F0)/2, (20+E0)/2, (30+D1)/2.
  EXPECT_EQ(Zoomed(checker, CSize(8, 6), CSize(4, 3)), std::vector<DWORD>(12, 0xC0808081));
}

TEST(PixelZoom, EnlargingKeepsTheCornersAndInterpolatesBetween) {
  // A 2x1 black-to-white ramp grows to 9x4: ends exact, inside non-decreasing.
  const std::vector<DWORD> ramp = {0xFF000000, 0xFFFFFFFF};
  const auto out = Zoomed(ramp, CSize(2, 1), CSize(9, 4));
  for (int y = 0; y < 4; ++y) {
    EXPECT_EQ(out[y * 9], ramp[0]);
    EXPECT_EQ(out[y * 9 + 8], ramp[1]);
    for (int x = 1; x < 9; ++x) EXPECT_GE(out[y * 9 + x] & 0xFF, out[y * 9 + x - 1] & 0xFF);
  }
  EXPECT_EQ(out[4] & 0xFF, 0x80u) << "centre of a symmetric ramp";
}

TEST(PixelZoom, IgnoresEmptyAndNullBuffers) {
  std::vector<DWORD> src(4, 1), dst(4, 7);
  KvMemZoom(src.data(), CSize(0, 2), dst.data(), CSize(2, 2));
  KvMemZoom(src.data(), CSize(2, 2), dst.data(), CSize(2, -1));
  KvMemZoom(nullptr, CSize(2, 2), dst.data(), CSize(2, 2));
  EXPECT_EQ(dst, std::vector<DWORD>(4, 7));
}

TEST(PixelColorBars, BarsSitAtTheirEdgesAndAreOpaque) {
  const int w = 100, h = 30;
  std::vector<tagCOLOR32> px(w * h);
  KvGenColorBars(px.data(), w, h);
  const DWORD bars[7] = {0xFFBFBFBF, 0xFFBFBF00, 0xFF00BFBF, 0xFF00BF00,
                         0xFFBF00BF, 0xFFBF0000, 0xFF0000BF};
  for (int i = 0; i < 7; ++i) {
    EXPECT_EQ(px[i * w / 7].Value(), bars[i]) << i;
    EXPECT_EQ(px[(i + 1) * w / 7 - 1].Value(), bars[i]) << i;
  }
  EXPECT_EQ(px[w - 1].Value(), 0xFF0000BFu);
  for (const tagCOLOR32 p : px) ASSERT_EQ(p.a, 255);
}

}  // namespace
