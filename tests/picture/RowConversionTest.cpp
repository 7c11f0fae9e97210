#include <gtest/gtest.h>

#include <vector>

#include "MediaChecks.h"
#include "host/RowConversion.h"

using kvtest::Px;

// One row per kind: file bytes in, picture pixels out; rows without alpha take 0x80.
TEST(RowConversion, EveryKind) {
  const DWORD palette[] = {Px(1, 2, 3), Px(4, 5, 6, 7), Px(8, 9, 10), Px(11, 12, 13)};
  const DWORD black = Px(0, 0, 0);
  const struct {
    RawPixel kind;
    std::vector<BYTE> in;
    std::vector<DWORD> out;
  } cases[] = {
      {RawPixel::Index1, {0b10100000}, {palette[1], palette[0], palette[1]}},
      {RawPixel::Index2, {0b11100100}, {palette[3], palette[2], palette[1], palette[0]}},
      {RawPixel::Index4, {0x31, 0xF0}, {palette[3], palette[1], black}},
      {RawPixel::Index8, {2, 4}, {palette[2], black}},
      {RawPixel::Grey8, {0, 200}, {Px(0, 0, 0, 0x80), Px(200, 200, 200, 0x80)}},
      {RawPixel::GreyAlpha8, {200, 9}, {Px(200, 200, 200, 9)}},
      {RawPixel::Grey16Be, {200, 1}, {Px(200, 200, 200, 0x80)}},
      {RawPixel::GreyAlpha16Be, {200, 1, 9, 2}, {Px(200, 200, 200, 9)}},
      // 0b0'11111'00001'00000: red 31, green 1, blue 0.
      {RawPixel::Rgb555Tga, {0x20, 0x7C}, {Px(0, 15, 255, 0x80)}},
      {RawPixel::Rgb555Bmp, {0x20, 0x7C}, {Px(0, 8, 248, 0x80)}},
      // 0b11111'000001'00001: red 31, green 1, blue 1.
      {RawPixel::Rgb565, {0x21, 0xF8}, {Px(8, 4, 255, 0x80)}},
      {RawPixel::Bgr24, {1, 2, 3, 4, 5, 6}, {Px(1, 2, 3, 0x80), Px(4, 5, 6, 0x80)}},
      {RawPixel::Rgb24, {1, 2, 3}, {Px(3, 2, 1, 0x80)}},
      {RawPixel::Rgb48Be, {1, 0, 2, 0, 3, 0}, {Px(3, 2, 1, 0x80)}},
      {RawPixel::Bgra32, {1, 2, 3, 4}, {Px(1, 2, 3, 4)}},
      {RawPixel::Bgrx32, {1, 2, 3, 4}, {Px(1, 2, 3, 0x80)}},
      {RawPixel::Rgba32, {1, 2, 3, 4}, {Px(3, 2, 1, 4)}},
      {RawPixel::Rgba64Be, {1, 0, 2, 0, 3, 0, 4, 0}, {Px(3, 2, 1, 4)}},
  };
  for (const auto& c : cases) {
    std::vector<DWORD> out(c.out.size(), 0xDEADBEEF);
    KvConvertRow(c.kind, c.in.data(), out.data(), out.size(), 0x80, palette, 4);
    EXPECT_EQ(out, c.out) << static_cast<int>(c.kind);
  }
}

TEST(RowConversion, BitFields) {
  // 5-6-5 and 5-5-5 with one bit of alpha in 16 bits; 10-10-10 with 2 bits of alpha in 32.
  const BYTE in16[] = {0x21, 0xF8};
  DWORD out[2] = {};
  KvConvertBitFields(in16, out, 1, 2, {.red = 0xF800, .green = 0x07E0, .blue = 0x001F}, 9);
  EXPECT_EQ(out[0], Px(8, 4, 255, 9));
  KvConvertBitFields(in16, out, 1, 2,
                     {.red = 0x7C00, .green = 0x03E0, .blue = 0x001F, .alpha = 0x8000}, 9);
  EXPECT_EQ(out[0], Px(8, 8, 247, 255));
  const BYTE in32[] = {0xFF, 0x03, 0x00, 0x40};  // blue 1023, green 0, red 0, alpha 1 of 3
  KvConvertBitFields(in32, out, 1, 4,
                     {.red = 0x3FF00000, .green = 0x000FFC00, .blue = 0x3FF, .alpha = 0xC0000000},
                     9);
  EXPECT_EQ(out[0], Px(255, 0, 0, 85));
}

// The word-at-a-time, shuffle and streaming paths of 24- and 32-bit rows and of 8-bit rows
// through a full palette (which need no index checks): their tails and unaligned output.
TEST(RowConversion, FastPathsAtEveryLengthAndAlignment) {
  const kvtest::Bytes src = kvtest::NoiseWithRuns(4 * 1100, 1, 256, 5);
  std::vector<DWORD> palette(256);
  for (int i = 0; i < 256; ++i) palette[i] = Px(i, 255 - i, i / 2, i);
  const auto want = [&](RawPixel kind, std::size_t i) {
    if (kind == RawPixel::Index8) return palette[src[i]];
    const BYTE* p = &src[(kind == RawPixel::Bgr24 ? 3 : 4) * i];
    return kind == RawPixel::Bgr24 ? Px(p[0], p[1], p[2], 200) : Px(p[2], p[1], p[0], p[3]);
  };
  std::vector<DWORD> out(1101);
  for (RawPixel kind : {RawPixel::Bgr24, RawPixel::Rgba32, RawPixel::Index8})
    for (std::size_t count : {1u, 3u, 4u, 5u, 17u, 18u, 35u, 1023u, 1024u, 1027u, 1100u})
      for (std::size_t shift : {0u, 1u}) {
        KvConvertRow(kind, src.data(), out.data() + shift, count, 200, palette.data(), 256);
        for (std::size_t i = 0; i < count; ++i)
          ASSERT_EQ(out[shift + i], want(kind, i))
              << int(kind) << " " << count << " " << shift << " " << i;
      }
}
