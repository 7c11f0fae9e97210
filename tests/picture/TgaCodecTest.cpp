#include <gtest/gtest.h>

#include <tuple>

#include "KvMediaFile/KvPicture.h"
#include "MediaChecks.h"
#include "fixtures/TgaWriter.h"

namespace {

using kvtest::Bytes;
using kvtest::Px;
using kvtest::TgaImage;
using kvtest::TgaPacking;
using kvtest::U16;
using kvtest::U32;

std::optional<kvtest::Picture> LoadTgaBytes(const Bytes& file) {
  return kvtest::LoadBytes(KvMediaLoadTGAFile, "in.tga", file);
}

std::vector<DWORD> LoadPixels(const TgaImage& image) {
  auto p = LoadTgaBytes(kvtest::WriteTga(image));
  return p ? p->pixels : std::vector<DWORD>{};
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

Bytes Save(const std::vector<DWORD>& buffer, CSize size, CRect region) {
  return kvtest::SavedBytes(KvMediaSaveTGAFile, "out.tga", buffer, size, region);
}

// `image` with one header field changed.
TgaImage With(TgaImage image, int TgaImage::*field, int value) {
  image.*field = value;
  return image;
}

}  // namespace

// One colour per corner catches row order, channel order and alpha handling at once.
TEST(TgaLoad, CornersLandWhereTheDescriptorPutsThem) {
  const DWORD a = Px(10, 20, 30, 0), b = Px(40, 50, 60, 128), c = Px(70, 80, 90, 200),
              d = Px(100, 110, 120, 255);
  for (int descriptor : {0x00, 0x20, 0x30})
    for (auto [type, depth] : {std::pair{2, 24}, {10, 32}}) {
      SCOPED_TRACE(testing::Message()
                   << "descriptor " << descriptor << " type " << type << " depth " << depth);
      Bytes file;  // file row 0 holds a b, file row 1 holds c d
      for (DWORD p : {a, b, c, d})
        for (int i = 0; i < depth / 8; ++i) file.push_back((p >> 8 * i) & 0xFF);
      auto alpha = [&](DWORD p) { return depth == 32 ? p : (p | 0xFF000000u); };
      const bool topDown = descriptor == 0x20;
      const std::vector<DWORD> expected = topDown
                                              ? std::vector{alpha(a), alpha(b), alpha(c), alpha(d)}
                                              : std::vector{alpha(c), alpha(d), alpha(a), alpha(b)};
      EXPECT_EQ(LoadPixels(Image(type, depth, 2, 2, file, descriptor)), expected);
    }
}

TEST(TgaLoad, ConvertsEachPixelSizeAndLooksColoursUpByTheStoredIndex) {
  // Grey, also when a true-colour type stores one byte.
  const std::vector<DWORD> grey{Px(0, 0, 0), Px(1, 1, 1), Px(200, 200, 200), Px(255, 255, 255)};
  EXPECT_EQ(LoadPixels(Image(3, 8, 4, 1, {0, 1, 200, 255})), grey);
  EXPECT_EQ(LoadPixels(Image(2, 8, 4, 1, {0, 1, 200, 255})), grey);
  // Five bits a channel, widened so that 0 stays 0, 1 gives 15 and 31 gives 255; bit 15
  // carries nothing.
  const Bytes words{0x00, 0x00, 0xFF, 0x7F, 0x00, 0x80, 0x1F, 0x80, 0x41, 0x7C};
  const std::vector<DWORD> colours{Px(0, 0, 0), Px(255, 255, 255), Px(0, 0, 0), Px(255, 0, 0),
                                   Px(15, 23, 255)};
  for (int depth : {15, 16}) EXPECT_EQ(LoadPixels(Image(2, depth, 5, 1, words)), colours);
  // Four bytes keep their alpha only at depth 32 (24 and 32 are left to the cross-check).
  EXPECT_EQ(LoadPixels(Image(2, 31, 2, 1, {1, 2, 3, 0, 4, 5, 6, 77})),
            (std::vector{Px(1, 2, 3), Px(4, 5, 6)}));
  // Colour maps: entries 2, 3 and 4 are stored; every other index is black.
  // Entries 2, 3 and 4 are stored; every other index is black.
  const Bytes indices{0, 2, 3, 4, 5, 255};
  const std::vector<DWORD> expected{Px(0, 0, 0), Px(1, 2, 3), Px(4, 5, 6),
                                    Px(7, 8, 9), Px(0, 0, 0), Px(0, 0, 0)};
  for (int type : {1, 9}) {
    TgaImage im = ColourMapped(type, 2, 3, 24, {1, 2, 3, 4, 5, 6, 7, 8, 9}, indices);
    im.id = {'m', 'a', 'p'};  // the map follows the identification field
    EXPECT_EQ(LoadPixels(im), expected);
    // Entries follow the pixel rules: 16-bit words, and no alpha since the depth is 8.
    EXPECT_EQ(LoadPixels(ColourMapped(type, 0, 2, 16, {0x1F, 0x00, 0xE0, 0x87}, {0, 1})),
              (std::vector{Px(255, 0, 0), Px(0, 255, 15)}));
    EXPECT_EQ(LoadPixels(ColourMapped(type, 0, 1, 32, {1, 2, 3, 0}, {0})),
              std::vector{Px(1, 2, 3)});
  }
  // A true-colour picture may carry a colour map; its pixels start after it.
  const auto mapped = With(ColourMapped(2, 0, 2, 24, Bytes(6, 9), {1, 2, 3}), &TgaImage::width, 1);
  EXPECT_EQ(LoadPixels(With(mapped, &TgaImage::pixelDepth, 24)), std::vector{Px(1, 2, 3)});
}

TEST(TgaLoad, RejectsHeadersItCannotLoad) {
  const auto valid = Image(2, 24, 2, 1, {1, 2, 3, 4, 5, 6});
  ASSERT_TRUE(LoadTgaBytes(kvtest::WriteTga(valid)));
  auto fivePerPixel = valid;
  fivePerPixel.pixels.resize(10);
  const auto oneIndex = ColourMapped(1, 0, 1, 24, {1, 2, 3}, {0});
  const auto twoByteIndex = With(ColourMapped(1, 0, 1, 24, {1, 2, 3}, {0, 0}), &TgaImage::width, 1);
  const std::pair<const char*, TgaImage> rejected[] = {
      {"width 0", With(valid, &TgaImage::width, 0)},
      {"colour-map type 2", With(valid, &TgaImage::colorMapType, 2)},
      {"image type 0", With(valid, &TgaImage::imageType, 0)},
      {"image type 4", With(valid, &TgaImage::imageType, 4)},
      {"depth 0", With(valid, &TgaImage::pixelDepth, 0)},
      {"depth 33", With(fivePerPixel, &TgaImage::pixelDepth, 33)},
      {"type 1 without map", With(oneIndex, &TgaImage::colorMapType, 0)},
      {"map past 512", ColourMapped(1, 500, 13, 24, Bytes(39, 7), {0})},
      {"map of 513", ColourMapped(1, 0, 513, 24, Bytes(3 * 513, 7), {0})},
      {"16-bit indices", With(twoByteIndex, &TgaImage::pixelDepth, 16)},
  };
  for (const auto& [what, image] : rejected)
    EXPECT_FALSE(LoadTgaBytes(kvtest::WriteTga(image))) << what;
  EXPECT_TRUE(LoadTgaBytes(kvtest::WriteTga(ColourMapped(1, 500, 12, 24, Bytes(36, 7), {0}))));
  EXPECT_TRUE(LoadTgaBytes(kvtest::WriteTga(ColourMapped(9, 0, 512, 24, Bytes(3 * 512, 7), {0}))));
}

// Every width the saver writes loads back, also rows wider than one read, in file order
// or bottom-up.
TEST(TgaLoad, WideRowsLoad) {
  for (int w : {8192, 65535}) {
    std::vector<DWORD> px(std::size_t(w) * 2);
    for (std::size_t i = 0; i < px.size(); ++i) px[i] = DWORD(i * 2654435761u);
    const Bytes file = Save(px, CSize(w, 2), CRect(0, 0, w, 2));
    const auto loaded = LoadTgaBytes(file);
    ASSERT_TRUE(loaded) << w;
    EXPECT_EQ(loaded->pixels, px) << w;
  }
  const int w = 40000;  // 120,000 bytes a row at 24 bits
  TgaImage colour = Image(2, 24, w, 2, kvtest::NoiseWithRuns(w * 2, 3), 0x00);
  const auto pixels = LoadPixels(colour);
  ASSERT_EQ(pixels.size(), std::size_t(w) * 2);
  const std::size_t last = std::size_t(w) - 1;  // bottom-up: file row 0 is the lower row
  EXPECT_EQ(pixels[w + last],
            Px(colour.pixels[last * 3], colour.pixels[last * 3 + 1], colour.pixels[last * 3 + 2]));
  EXPECT_EQ(pixels[0],
            Px(colour.pixels[w * 3], colour.pixels[w * 3 + 1], colour.pixels[w * 3 + 2]));
}

TEST(TgaLoad, ShortAndLyingFilesFailQuickly) {
  // Every prefix fails, whatever part of the file it cuts: id, map or pixels.
  TgaImage mapped = ColourMapped(1, 1, 3, 24, Bytes(9, 5), {1, 2, 3, 1, 2, 3});
  mapped.id = {'i', 'd'};
  kvtest::ExpectEveryPrefixFails(kvtest::WriteTga(mapped),
                                 [](const Bytes& f) { return LoadTgaBytes(f).has_value(); });
  TgaImage packed = Image(10, 32, 5, 3, kvtest::NoiseWithRuns(15, 4));
  // Whole packets, one pixel short.
  packed.pixels.resize(14 * 4);
  EXPECT_FALSE(LoadTgaBytes(kvtest::WriteTga(packed)));
  // Headers claiming gigabytes on files that hold almost nothing.
  kvtest::ExpectQuick(std::chrono::seconds(2), [] {
    EXPECT_FALSE(LoadTgaBytes(kvtest::WriteTga(Image(2, 32, 65535, 65535, {}))));
    EXPECT_FALSE(LoadTgaBytes(kvtest::WriteTga(Image(10, 32, 16383, 32767, Bytes(4, 1)))));
  });
  // The size limits hold at their edges.
  for (auto [type, w, h] : {std::tuple{10, 16383, 1}, {10, 1, 32767}})
    for (int over : {0, 1}) {  // one past the limit, across or down
      auto im = Image(type, 24, w + (h == 1) * over, h + (h > 1) * over, {});
      im.pixels.assign(std::size_t(im.width) * im.height * 3, 9);
      im.packing = TgaPacking::kRunsOnly;
      EXPECT_EQ(LoadTgaBytes(kvtest::WriteTga(im)).has_value(), !over) << w << "x" << h;
    }
}

// Each type, origin and packing against stb_image, on odd sizes.
TEST(TgaLoad, AgreesWithAnIndependentDecoder) {
  ASSERT_NE(kvtest::PackTgaPixels(kvtest::NoiseWithRuns(47 * 33, 4), 4, 47, TgaPacking::kCrossRows),
            kvtest::PackTgaPixels(kvtest::NoiseWithRuns(47 * 33, 4), 4, 47, TgaPacking::kPerRow))
      << "the pattern must make packets that cross rows";
  for (auto [type, depth] : {std::pair{2, 24}, {10, 32}, {11, 8}})
    for (auto packing : {TgaPacking::kCrossRows, TgaPacking::kRawOnly, TgaPacking::kRunsOnly})
      for (int descriptor : {0x00, 0x20})
        for (auto [w, h] : {std::pair{47, 33}, {1, 1}}) {
          if (type == 2 && packing != TgaPacking::kCrossRows) continue;
          SCOPED_TRACE(testing::Message() << "type " << type << " packing " << int(packing)
                                          << " descriptor " << descriptor << " " << w << "x" << h);
          TgaImage im =
              Image(type, depth, w, h, kvtest::NoiseWithRuns(w * h, depth / 8), descriptor);
          im.packing = packing;
          im.extensionAndFooter = w > 1;
          const Bytes file = kvtest::WriteTga(im);
          EXPECT_EQ(LoadTgaBytes(file),
                    (kvtest::Picture{{0, 0, w, h}, kvtest::StbPixels(file, depth != 32)}));
        }
}

TEST(TgaSave, WritesTheRegionClippedWithStampExtensionAndFooter) {
  const auto buffer = kvtest::Gradient(64, 64);
  const Bytes f = Save(buffer, CSize(64, 64), CRect(10, 10, 30, 20));
  const std::size_t stamp = 82 + 4 * 20 * 10, ext = stamp + 2 + 4 * 64 * 48;
  ASSERT_EQ(f.size(), ext + 495 + 26);
  EXPECT_EQ(Bytes(f.begin(), f.begin() + 18),
            (Bytes{64, 0, 2, 0, 0, 0, 0, 0, 10, 0, 10, 0, 20, 0, 10, 0, 32, 0x20}));
  EXPECT_EQ(std::string(f.begin() + 18, f.begin() + 82),
            "Drevlock-32Bit-TrueColor-TGA" + std::string(36, '\0'));
  std::vector<DWORD> region;  // stored as it is, rows top first
  for (int r = 0; r < 10; ++r)
    region.insert(region.end(), &buffer[(10 + r) * 64 + 10], &buffer[(10 + r) * 64 + 30]);
  EXPECT_EQ(U32(f, 82), region[0]);
  EXPECT_EQ(U32(f, stamp - 4), region.back());
  EXPECT_EQ(f[stamp], 64);
  EXPECT_EQ(f[stamp + 1], 48);
  for (auto [r, c] : {std::pair{0, 0}, {0, 63}, {47, 0}, {47, 63}})  // the region's corners
    EXPECT_EQ(U32(f, stamp + 2 + 4 * (r * 64 + c)), region[r / 47 * 180 + c / 63 * 19]);
  EXPECT_EQ(U16(f, ext), 495);
  EXPECT_EQ(U32(f, ext + 486), stamp);
  const int month = U16(f, ext + 367), day = U16(f, ext + 369), year = U16(f, ext + 371);
  EXPECT_TRUE(month >= 1 && month <= 12 && day >= 1 && day <= 31 && year >= 2024 &&
              U16(f, ext + 373) < 24 && U16(f, ext + 375) < 60 && U16(f, ext + 377) < 60);
  EXPECT_EQ(f[ext + 469], 0x20);
  EXPECT_EQ(U32(f, ext + 495), ext);
  EXPECT_EQ(U32(f, ext + 499), 0u);
  EXPECT_EQ(std::string(f.end() - 18, f.end()), std::string("TRUEVISION-XFILE.", 18));
  EXPECT_EQ(LoadTgaBytes(f), (kvtest::Picture{{10, 10, 30, 20}, region}));
  // The stamp of a small uniform picture is uniform.
  const Bytes s = Save(std::vector<DWORD>(6, Px(1, 2, 3, 4)), CSize(3, 2), CRect(0, 0, 3, 2));
  ASSERT_EQ(s.size(), 82 + 4 * 6 + 2 + 4 * 64 * 48 + 495 + 26);
  for (int i = 0; i < 64 * 48; ++i) ASSERT_EQ(U32(s, 82 + 4 * 6 + 2 + 4 * i), Px(1, 2, 3, 4)) << i;
  // A region is clipped to the buffer.
  EXPECT_EQ(
      LoadTgaBytes(Save(buffer, CSize(64, 64), CRect(-5, -5, 3, 2))),
      (kvtest::Picture{{0, 0, 3, 2},
                       {buffer[0], buffer[1], buffer[2], buffer[64], buffer[65], buffer[66]}}));
}
