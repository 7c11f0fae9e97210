#include <gtest/gtest.h>

#include <array>
#include <ctime>
#include <tuple>

#include "KvMediaFile/KvPicture.h"
#include "MediaChecks.h"
#include "TestSupport.h"
#include "fixtures/TgaWriter.h"
#include "picture/TgaCodec.h"

namespace {

using kvtest::Bytes;
using kvtest::Picture;
using kvtest::Px;
using kvtest::TgaImage;
using kvtest::TgaPacking;
using kvtest::U16;
using kvtest::U32;

std::optional<Picture> LoadTgaBytes(const Bytes& file) {
  return kvtest::LoadBytes(KvMediaLoadTGAFile, "in.tga", file);
}

std::vector<DWORD> LoadPixels(const TgaImage& image) {
  return kvtest::PixelsOf(LoadTgaBytes(kvtest::WriteTga(image)));
}

TgaImage Image(int type, int depth, int w, int h, Bytes pixels, int descriptor = 0x20) {
  TgaImage im{.imageType = type, .pixelDepth = depth, .descriptor = descriptor, .width = w};
  im.height = h, im.pixels = std::move(pixels);
  return im;
}

TgaImage ColourMapped(int type, int first, int length, int entryBits, Bytes entries,
                      Bytes indices) {
  TgaImage im = Image(type, 8, int(indices.size()), 1, {});
  std::tie(im.colorMapType, im.colorMapFirst, im.colorMapLength, im.colorMapEntryBits) =
      std::tuple(1, first, length, entryBits);
  im.colorMap = std::move(entries);
  im.pixels = std::move(indices);
  return im;
}

const auto kDecode = [](CFile& f, CRect& r) { return KvDecodeTga(f, r); };

Bytes Save(const std::vector<DWORD>& buffer, CSize size, CRect region) {
  return kvtest::SavedBytes(KvMediaSaveTGAFile, "out.tga", buffer, size, region);
}

}  // namespace

// One row per pixel kind: the file's pixels in, the picture's out.
TEST(TgaLoad, ConvertsEachPixelSize) {
  // Five bits a channel, widened so that 0 stays 0, 1 gives 15 and 31 gives 255; bit 15
  // carries nothing.
  const Bytes words{0x00, 0x00, 0xFF, 0x7F, 0x00, 0x80, 0x1F, 0x80, 0x41, 0x7C};
  const std::vector<DWORD> grey{Px(0, 0, 0), Px(1, 1, 1), Px(200, 200, 200), Px(255, 255, 255)},
      colours{Px(0, 0, 0), Px(255, 255, 255), Px(0, 0, 0), Px(255, 0, 0), Px(15, 23, 255)};
  // Colour maps: entries 2, 3 and 4 are stored; every other index is black. The map follows
  // the identification field.
  const Bytes indices{0, 2, 3, 4, 5, 255};
  const std::vector<DWORD> lookedUp{Px(0, 0, 0), Px(1, 2, 3), Px(4, 5, 6),
                                    Px(7, 8, 9), Px(0, 0, 0), Px(0, 0, 0)};
  TgaImage withId = ColourMapped(1, 2, 3, 24, {1, 2, 3, 4, 5, 6, 7, 8, 9}, indices);
  withId.id = {'m', 'a', 'p'};
  // A true-colour picture may carry a colour map; its pixels start after it.
  TgaImage trueWithMap = ColourMapped(2, 0, 2, 24, Bytes(6, 9), {1, 2, 3});
  trueWithMap.width = 1, trueWithMap.pixelDepth = 24;
  const struct {
    const char* name;
    TgaImage image;
    std::vector<DWORD> pixels;
  } rows[] = {
      // clang-format off
      {"grey", Image(3, 8, 4, 1, {0, 1, 200, 255}), grey},
      {"true colour of one byte is grey", Image(2, 8, 4, 1, {0, 1, 200, 255}), grey},
      {"15 bits", Image(2, 15, 5, 1, words), colours},
      {"16 bits", Image(2, 16, 5, 1, words), colours},
      // Four bytes keep their alpha only at depth 32 (24 and 32 are left to the cross-check).
      {"31 bits", Image(2, 31, 2, 1, {1, 2, 3, 0, 4, 5, 6, 77}), {Px(1, 2, 3), Px(4, 5, 6)}},
      // Rows are top first only when the descriptor's origin bits are 0x20 (the cross-check
      // covers 0x00 and 0x20): 0x30 is bottom-up.
      {"origin bits 0x30", Image(2, 24, 1, 2, {1, 2, 3, 4, 5, 6}, 0x30), {Px(4, 5, 6), Px(1, 2, 3)}},
      {"colour map after an id", withId, lookedUp},
      {"run-length colour map after an id", kvtest::With(withId, &TgaImage::imageType, 9), lookedUp},
      // Entries follow the pixel rules: 16-bit words, and no alpha since the depth is 8.
      {"16-bit entries", ColourMapped(1, 0, 2, 16, {0x1F, 0x00, 0xE0, 0x87}, {0, 1}), {Px(255, 0, 0), Px(0, 255, 15)}},
      {"16-bit entries, run-length", ColourMapped(9, 0, 2, 16, {0x1F, 0x00, 0xE0, 0x87}, {0, 1}), {Px(255, 0, 0), Px(0, 255, 15)}},
      {"32-bit entries", ColourMapped(1, 0, 1, 32, {1, 2, 3, 0}, {0}), {Px(1, 2, 3)}},
      {"32-bit entries, run-length", ColourMapped(9, 0, 1, 32, {1, 2, 3, 0}, {0}), {Px(1, 2, 3)}},
      {"true colour after a colour map", trueWithMap, {Px(1, 2, 3)}},
      // clang-format on
  };
  for (const auto& row : rows) EXPECT_EQ(LoadPixels(row.image), row.pixels) << row.name;
  // Through a memory file as well, where packets are read through the buffered reader. An
  // empty colour map declared at entry 65280 (a fuzzing find) is never read: every index is
  // black. Cut anywhere, even inside its last packet, it is refused.
  const Bytes emptyMap = kvtest::WriteTga(ColourMapped(9, 65280, 0, 24, {}, indices));
  EXPECT_EQ(kvtest::PixelsOf(kvtest::DecodeInMemory(kDecode, emptyMap)),
            std::vector<DWORD>(indices.size(), Px(0, 0, 0)));
  kvtest::ExpectEveryPrefixFails(emptyMap,
                                 [](const Bytes& f) { return LoadTgaBytes(f).has_value(); });
}

// Rows wider than one read, as wide as the saver writes, in file order or bottom-up.
TEST(TgaLoad, WideRowsLoad) {
  for (auto [w, depth, descriptor] : {std::tuple{65535, 32, 0x20}, {40000, 24, 0x00}}) {
    const Bytes file = kvtest::WriteTga(
        Image(2, depth, w, 2, kvtest::NoiseWithRuns(w * 2, depth / 8), descriptor));
    EXPECT_EQ(LoadTgaBytes(file), (Picture{{0, 0, w, 2}, kvtest::StbPixels(file, depth == 24)}));
  }
}

TEST(TgaLoad, EachRefusalNamesItsReason) {
  const TgaImage rgb = Image(2, 24, 2, 1, Bytes(6, 1));
  const auto with = [&](int TgaImage::*field, int value) {
    return kvtest::WriteTga(kvtest::With(rgb, field, value));
  };
  const auto mapped = [](int first, int length, int depth = 8) {
    TgaImage im = ColourMapped(1, first, length, 24, Bytes(3 * length, 7), Bytes(depth / 8, 0));
    im.width = 1, im.pixelDepth = depth;
    return kvtest::WriteTga(im);
  };
  const auto runs = [](int w, int h, Bytes pixels, int depth = 24) {
    TgaImage im = Image(10, depth, w, h, std::move(pixels));
    im.packing = TgaPacking::kRunsOnly;
    return kvtest::WriteTga(im);
  };
  const Bytes file = kvtest::WriteTga(rgb);
  kvtest::ExpectDecodeReasons(
      {
          // clang-format off
          {"width", with(&TgaImage::width, 0), "width 0"},
          {"map type", with(&TgaImage::colorMapType, 2), "colour-map type 2"},
          {"image type", with(&TgaImage::imageType, 4), "image type 4"},
          {"no map", with(&TgaImage::imageType, 1), "colour-mapped type 1 without a colour map"},
          {"depth 0", with(&TgaImage::pixelDepth, 0), "pixel depth 0"},
          {"depth 33", with(&TgaImage::pixelDepth, 33), "pixel depth 33"},
          {"16-bit indices", mapped(0, 1, 16), "colour-map indices of 16 bits are not supported"},
          {"map past 512", mapped(500, 13), "colour map of entries 500 to 512 exceeds 512 entries"},
          {"map to 511", mapped(500, 12), ""},
          {"whole map", mapped(0, 512), ""},
          {"run-length width", runs(16384, 1, Bytes(3 * 16384, 9)), "run-length picture of 16384 x 1 exceeds 16,383 x 32,767"},
          {"run-length widest", runs(16383, 1, Bytes(3 * 16383, 9)), ""},
          {"run-length height", runs(1, 32768, Bytes(3 * 32768, 9)), "run-length picture of 1 x 32768 exceeds 16,383 x 32,767"},
          {"run-length tallest", runs(1, 32767, Bytes(3 * 32767, 9)), ""},
          {"run-length data", runs(16383, 32767, Bytes(3, 9)), "truncated: 22 of 16,775,702 bytes"},
          {"raw data", with(&TgaImage::width, 20000), "truncated: 24 of 60,018 bytes"},
          {"huge", kvtest::WriteTga(Image(2, 32, 65535, 65535, {})), "truncated: 18 of 17,179,344,918 bytes"},
          // Whole packets, one pixel short.
          {"packets", runs(5, 3, kvtest::NoiseWithRuns(14, 4), 32), "truncated: 38 of 39 bytes"},
          {"last byte", kvtest::Cut(file, file.size() - 1), "truncated: 23 of 24 bytes"},
          {"header", Bytes(10, 0), "truncated: 10 of 18 bytes"},
          // clang-format on
      },
      kDecode);
  // Every prefix of a file is refused, whatever field it cuts.
  TgaImage withMap = ColourMapped(1, 1, 3, 24, Bytes(9, 5), {1, 2, 3, 1, 2, 3});
  withMap.id = {'i', 'd'};
  kvtest::ExpectEveryPrefixFails(kvtest::WriteTga(withMap),
                                 [](const Bytes& f) { return LoadTgaBytes(f).has_value(); });
}

// Each type, origin and packing against stb_image, on odd sizes; 16-bit grey is grey and
// alpha, as other programs write it.
TEST(TgaLoad, AgreesWithAnIndependentDecoder) {
  for (auto [type, depth] : {std::pair{2, 24}, {10, 32}, {11, 8}, {3, 16}, {11, 16}})
    for (auto packing : {TgaPacking::kCrossRows, TgaPacking::kRawOnly, TgaPacking::kRunsOnly})
      for (int descriptor : {0x00, 0x20})
        for (auto [w, h] : {std::pair{47, 33}, {1, 1}}) {
          if (type < 9 && packing != TgaPacking::kCrossRows) continue;
          SCOPED_TRACE(testing::Message()
                       << "type " << type << " depth " << depth << " packing " << int(packing)
                       << " descriptor " << descriptor << " " << w << "x" << h);
          TgaImage im =
              Image(type, depth, w, h, kvtest::NoiseWithRuns(w * h, depth / 8), descriptor);
          im.packing = packing;
          im.extensionAndFooter = w > 1;
          const Bytes file = kvtest::WriteTga(im);
          const bool alpha = depth == 32 || depth == 16;
          EXPECT_EQ(LoadTgaBytes(file), (Picture{{0, 0, w, h}, kvtest::StbPixels(file, !alpha)}));
        }
}

// The header holds 16-bit sizes.
TEST(TgaSave, RefusesARegionWiderThanItsHeaderCanSay) {
  const kvtest::TempDir dir;
  std::vector<DWORD> wide(65536, Px(1, 2, 3, 4));
  EXPECT_EQ(
      KvMediaSaveTGAFile(dir.File("w.tga"), wide.data(), CSize(65536, 1), CRect(0, 0, 65536, 1)),
      0);
  EXPECT_EQ(KvMediaGetLastFailure().ToUtf8(), "a picture of 65536 x 1 is too large for the format");
  EXPECT_EQ(
      KvMediaSaveTGAFile(dir.File("w.tga"), wide.data(), CSize(65536, 1), CRect(1, 0, 65536, 1)),
      1);
}

TEST(TgaSave, WritesTheRegionWithStampExtensionAndFooter) {
  const auto buffer = kvtest::Gradient(64, 64);
  // The local time as the extension area stores it: year, month, day, hour, minute, second.
  const auto now = [] {
    const std::time_t t = std::time(nullptr);
    std::tm tm{};
    localtime_r(&t, &tm);
    return std::array{tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday,
                      tm.tm_hour,        tm.tm_min,     tm.tm_sec};
  };
  const auto before = now();
  const Bytes f = Save(buffer, CSize(64, 64), CRect(10, 10, 30, 20));
  const auto after = now();
  const std::size_t stamp = 82 + 4 * 20 * 10, ext = stamp + 2 + 4 * 64 * 48;
  ASSERT_EQ(f.size(), ext + 495 + 26);
  EXPECT_EQ(Bytes(f.begin(), f.begin() + 18),
            (Bytes{64, 0, 2, 0, 0, 0, 0, 0, 10, 0, 10, 0, 20, 0, 10, 0, 32, 0x20}));
  EXPECT_EQ(std::string(f.begin() + 18, f.begin() + 82),
            "Drevlock-32Bit-TrueColor-TGA" + std::string(36, '\0'));
  // The region as it is, rows top first; then a 64 x 48 stamp whose corners are the region's.
  const auto at = [&](int x, int y) { return buffer[(10 + y) * 64 + 10 + x]; };
  EXPECT_EQ(std::pair(U32(f, 82), U32(f, stamp - 4)), std::pair(at(0, 0), at(19, 9)));
  EXPECT_EQ(U16(f, stamp), 64 + 48 * 256);  // its width and height
  for (auto [r, c] : {std::pair{0, 0}, {0, 63}, {47, 0}, {47, 63}})
    EXPECT_EQ(U32(f, stamp + 2 + 4 * (r * 64 + c)), at(c / 63 * 19, r / 47 * 9));
  EXPECT_EQ(U16(f, ext), 495);
  EXPECT_EQ(U32(f, ext + 486), stamp);
  const std::array<int, 6> saved{U16(f, ext + 371), U16(f, ext + 367), U16(f, ext + 369),
                                 U16(f, ext + 373), U16(f, ext + 375), U16(f, ext + 377)};
  EXPECT_TRUE(before <= saved && saved <= after);
  EXPECT_EQ(f[ext + 469], 0x20);
  EXPECT_EQ(U32(f, ext + 495), ext);
  EXPECT_EQ(U32(f, ext + 499), 0u);
  EXPECT_EQ(std::string(f.end() - 18, f.end()), std::string("TRUEVISION-XFILE.", 18));
  // The stamp of a small uniform picture is uniform.
  const Bytes s = Save(std::vector<DWORD>(6, Px(1, 2, 3, 4)), CSize(3, 2), CRect(0, 0, 3, 2));
  ASSERT_EQ(s.size(), 82 + 4 * 6 + 2 + 4 * 64 * 48 + 495 + 26);
  for (int i = 0; i < 64 * 48; ++i) ASSERT_EQ(U32(s, 82 + 4 * 6 + 2 + 4 * i), Px(1, 2, 3, 4)) << i;
}
