// Files from other programs that the TGA, BMP and PCX decoders read beyond the suite's own
// kinds, the picture information their headers give, and the reason of every refusal.
#include <gtest/gtest.h>
#include <stb/stb_image.h>

#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "MediaChecks.h"
#include "fixtures/BmpWriter.h"
#include "fixtures/PcxWriter.h"
#include "fixtures/TgaWriter.h"
#include "host/Failure.h"
#include "picture/BmpCodec.h"
#include "picture/PcxCodec.h"
#include "picture/TgaCodec.h"
#include "platform/File.h"

namespace {

using kvtest::BmpImage;
using kvtest::Bytes;
using kvtest::PcxImage;
using kvtest::Px;
using kvtest::TgaImage;

using Decoder = std::function<DWORD*(CFile&, CRect&)>;
const Decoder kBmp = [](CFile& f, CRect& r) { return KvDecodeBmpFile(f, r); };
const Decoder kTga = [](CFile& f, CRect& r) { return KvDecodeTga(f, r); };
const Decoder kPcx = [](CFile& f, CRect& r) { return KvDecodePcx(f, r); };

// Decodes `file` from memory; on failure the reason recorded is returned in `reason`.
std::optional<kvtest::Picture> Decode(const Decoder& decode, Bytes file,
                                      std::string* reason = nullptr) {
  KvClearFailure();
  CMemFile memory(file.data(), static_cast<UINT>(file.size()));
  CRect rect = kvtest::kUntouched;
  auto picture = kvtest::TakePicture(decode(memory, rect), rect);
  memory.Detach();
  if (reason) *reason = KvLastFailure();
  return picture;
}

// stb_image's reading of the same bytes, as picture pixels.
std::vector<DWORD> StbPixels(const Bytes& file) {
  int w = 0, h = 0, n = 0;
  unsigned char* rgba = stbi_load_from_memory(file.data(), int(file.size()), &w, &h, &n, 4);
  std::vector<DWORD> out;
  for (int i = 0; rgba && i < w * h; ++i)
    out.push_back(Px(rgba[4 * i + 2], rgba[4 * i + 1], rgba[4 * i], rgba[4 * i + 3]));
  stbi_image_free(rgba);
  return out;
}

BmpImage Bmp(int header, int bits, int compression, Bytes pixels, std::vector<unsigned> masks = {},
             Bytes palette = {}) {
  return {.width = 3,
          .height = 2,
          .bitCount = bits,
          .compression = compression,
          .headerSize = header,
          .trueHeaderSize = true,
          .masks = std::move(masks),
          .palette = std::move(palette),
          .pixels = std::move(pixels)};
}

// 3 x 2 pixels of 4 bytes, B, G, R, A, rows padded to nothing.
Bytes Bgra(unsigned char alpha) {
  Bytes p;
  for (int i = 0; i < 6; ++i) p.insert(p.end(), {(unsigned char)(10 * i), 77, 200, alpha});
  return p;
}

TEST(BmpFromOtherPrograms, AgreeWithAnIndependentDecoder) {
  const std::vector<unsigned> bgra = {0xFF0000, 0xFF00, 0xFF, 0xFF000000};
  Bytes rgb565;  // 3 pixels and 2 bytes of padding a row
  for (int row = 0; row < 2; ++row) {
    for (unsigned w : {0xF800u, 0x07E0u, 0x1863u + row})
      rgb565.insert(rgb565.end(), {(unsigned char)w, (unsigned char)(w >> 8)});
    rgb565.insert(rgb565.end(), {0, 0});
  }
  Bytes core8 = {0, 1, 2, 0, 2, 1, 0, 0};
  const std::pair<const char*, BmpImage> cases[] = {
      {"core header, 24 bits", Bmp(12, 24, 0, kvtest::NoiseWithRuns(24, 1, 256, 3))},
      {"108-byte header, 24 bits", Bmp(108, 24, 0, kvtest::NoiseWithRuns(24, 1, 256, 4))},
      {"124-byte header, 32-bit bit fields with alpha", Bmp(124, 32, 3, Bgra(128), bgra)},
      {"40-byte header, 16-bit 5-6-5", Bmp(40, 16, 3, rgb565, {0xF800, 0x07E0, 0x1F})},
  };
  for (const auto& [what, image] : cases) {
    const Bytes file = kvtest::WriteBmp(image);
    const auto ours = Decode(kBmp, file);
    ASSERT_TRUE(ours) << what;
    EXPECT_EQ(ours->rect, CRect(0, 0, 3, 2)) << what;
    EXPECT_EQ(ours->pixels, StbPixels(file)) << what;
  }
}

TEST(BmpFromOtherPrograms, AlphaIsKeptOnlyWhereTheHeaderSaysSo) {
  const auto first = [](const BmpImage& im) {
    return Decode(kBmp, kvtest::WriteBmp(im))->pixels[3];
  };
  // The 40-byte header's 32 bits stay opaque, bit fields or not; alpha bit fields keep it.
  EXPECT_EQ(first(Bmp(40, 32, 0, Bgra(128))), Px(0, 77, 200));
  EXPECT_EQ(first(Bmp(40, 32, 3, Bgra(128), {0xFF0000, 0xFF00, 0xFF})), Px(0, 77, 200));
  EXPECT_EQ(first(Bmp(40, 32, 6, Bgra(128), {0xFF0000, 0xFF00, 0xFF, 0xFF000000})),
            Px(0, 77, 200, 128));
  // A later header without an alpha mask, or with alpha 0 everywhere, is opaque.
  EXPECT_EQ(first(Bmp(124, 32, 3, Bgra(0), {0xFF0000, 0xFF00, 0xFF, 0xFF000000})), Px(0, 77, 200));
  EXPECT_EQ(first(Bmp(124, 32, 3, Bgra(128), {0xFF0000, 0xFF00, 0xFF, 0})), Px(0, 77, 200));
  EXPECT_EQ(first(Bmp(108, 32, 0, Bgra(0), {0, 0, 0, 0xFF000000})), Px(0, 77, 200));
  EXPECT_EQ(first(Bmp(108, 32, 0, Bgra(9), {0, 0, 0, 0xFF000000})), Px(0, 77, 200, 9));
  // Other masks: 1-5-5-5 in 16 bits, scaled to 8 bits a channel.
  Bytes p(16, 0);
  p[0] = 0x1F;               // the last row's first pixel: blue 31, alpha 0
  p[8] = 0x00, p[9] = 0xFC;  // the first row's: red 31, alpha 1
  const auto im = Bmp(56, 16, 3, p, {0x7C00, 0x03E0, 0x1F, 0x8000});
  const auto pixels = Decode(kBmp, kvtest::WriteBmp(im))->pixels;
  EXPECT_EQ(pixels[0], Px(0, 0, 255, 255));
  EXPECT_EQ(pixels[3], Px(255, 0, 0, 0));
}

// Core files store 3-byte colours, as many as fit before the pixels.
TEST(BmpFromOtherPrograms, CoreHeaderPalettes) {
  const auto p = Decode(kBmp, kvtest::WriteBmp(Bmp(12, 8, 0, {0, 1, 2, 0, 2, 1, 0, 0}, {},
                                                   {1, 2, 3, 4, 5, 6, 7, 8, 9})));
  ASSERT_TRUE(p);
  EXPECT_EQ(p->pixels, (std::vector{Px(7, 8, 9), Px(4, 5, 6), Px(1, 2, 3), Px(1, 2, 3), Px(4, 5, 6),
                                    Px(7, 8, 9)}));
}

TEST(PcxFromOtherPrograms, OddWidthsAndFourPlanesLoad) {
  PcxImage odd{.xmax = 2, .bytesPerLine = 4, .lines = {1, 2, 3, 99}};
  for (int i = 0; i < 256; ++i) odd.palette256.insert(odd.palette256.end(), 3, (unsigned char)i);
  const auto grey = Decode(kPcx, kvtest::WritePcx(odd));
  ASSERT_TRUE(grey);
  EXPECT_EQ(grey->pixels, (std::vector{Px(1, 1, 1), Px(2, 2, 2), Px(3, 3, 3)}));

  // Pixel x's index takes bit x of plane p as its bit p: here indices 0, 1, 2, ..., 9.
  PcxImage planar{.bitsPerPixel = 1, .xmax = 9, .planes = 4, .bytesPerLine = 2};
  planar.lines = {0x55, 0x40, 0x33, 0x00, 0x0F, 0x00, 0x00, 0xC0};
  for (int i = 0; i < 16; ++i)
    planar.palette16.insert(planar.palette16.end(), {(unsigned char)i, 0, 7});
  const auto colours = Decode(kPcx, kvtest::WritePcx(planar));
  ASSERT_TRUE(colours);
  std::vector<DWORD> expected;
  for (int i = 0; i < 10; ++i) expected.push_back(Px(7, 0, i));
  EXPECT_EQ(colours->pixels, expected);
}

TEST(TgaFromOtherPrograms, SixteenBitGreyKeepsItsAlpha) {
  for (int type : {3, 11}) {
    TgaImage im{.imageType = type, .pixelDepth = 16, .descriptor = 0x20, .width = 5, .height = 3};
    im.pixels = kvtest::NoiseWithRuns(15, 2, 256, 8);
    const Bytes file = kvtest::WriteTga(im);
    const auto ours = Decode(kTga, file);
    ASSERT_TRUE(ours) << type;
    EXPECT_EQ(ours->pixels, StbPixels(file)) << type;
    EXPECT_EQ(ours->pixels[0], Px(im.pixels[0], im.pixels[0], im.pixels[0], im.pixels[1]));
  }
}

TEST(PictureInfoFromHeaders, TrueSizesForEveryHeader) {
  const auto info = [](int (*read)(CFile&, RECT*, int*), Bytes file) {
    CMemFile memory(file.data(), static_cast<UINT>(file.size()));
    RECT rect{};
    int bits = 0;
    const int ok = read(memory, &rect, &bits);
    memory.Detach();
    return std::tuple(ok, CRect(rect), bits);
  };
  auto core = Bmp(12, 24, 0, Bytes(24, 1));
  core.width = 131;
  core.height = 64;
  EXPECT_EQ(info(KvBmpHeaderInfo, kvtest::WriteBmp(core)), std::tuple(1, CRect(0, 0, 131, 64), 24));
  auto topDown = Bmp(124, 32, 3, Bgra(1), {0xFF0000, 0xFF00, 0xFF, 0xFF000000});
  topDown.height = -2;
  EXPECT_EQ(info(KvBmpHeaderInfo, kvtest::WriteBmp(topDown)), std::tuple(1, CRect(0, 0, 3, 2), 32));
  TgaImage tga{.pixelDepth = 16, .xOrigin = 10, .yOrigin = 20, .width = 100, .height = 50};
  EXPECT_EQ(info(KvTgaHeaderInfo, kvtest::WriteTga(tga)),
            std::tuple(1, CRect(10, 20, 110, 70), 16));
  PcxImage pcx{.bitsPerPixel = 1, .xmax = 639, .ymax = 479, .planes = 4, .bytesPerLine = 80};
  EXPECT_EQ(info(KvPcxHeaderInfo, kvtest::WritePcx(pcx)), std::tuple(1, CRect(0, 0, 640, 480), 4));
  pcx.manufacturer = 9;
  EXPECT_EQ(std::get<0>(info(KvPcxHeaderInfo, kvtest::WritePcx(pcx))), 0);
}

// B, G, R rows of every length through the wide paths (shuffled, streamed past the caches)
// and their tails, at either alignment.
// Each refusal says why, so that a case refused by the wrong check fails here.
TEST(CodecRefusals, SayWhy) {
  const auto bmp = [](BmpImage im) { return kvtest::WriteBmp(im); };
  const BmpImage bmp24 = Bmp(40, 24, 0, Bytes(24, 1));
  auto with = [](BmpImage im, int BmpImage::*field, int value) {
    im.*field = value;
    return im;
  };
  Bytes notBm = bmp(bmp24);
  notBm[0] = 'X';
  Bytes shortBmp = bmp(bmp24);
  shortBmp.resize(shortBmp.size() - 10);
  BmpImage huge = with(with(bmp24, &BmpImage::width, 70000), &BmpImage::height, 70000);
  const TgaImage tga{.width = 2, .height = 1, .pixels = Bytes(6, 1)};
  auto tgaWith = [&](int TgaImage::*field, int value) {
    TgaImage im = tga;
    im.*field = value;
    return kvtest::WriteTga(im);
  };
  Bytes shortTga = kvtest::WriteTga(tga);
  shortTga.pop_back();
  PcxImage pcx{.xmax = 1, .bytesPerLine = 2, .lines = {1, 2}, .palette256 = Bytes(768, 0)};
  auto pcxWith = [&](int PcxImage::*field, int value) {
    PcxImage im = pcx;
    im.*field = value;
    return kvtest::WritePcx(im);
  };
  Bytes shortPcx = kvtest::WritePcx(pcx);
  shortPcx.resize(shortPcx.size() - 700);

  const std::tuple<Decoder, Bytes, std::string> refused[] = {
      {kBmp, notBm, "the signature is not BM"},
      {kBmp, bmp(with(bmp24, &BmpImage::headerSize, 64)),
       "information header of 64 bytes is not supported"},
      {kBmp, bmp(with(bmp24, &BmpImage::width, 0)), "width 0"},
      {kBmp, bmp(with(bmp24, &BmpImage::height, 0)), "height 0"},
      {kBmp, bmp(with(bmp24, &BmpImage::width, -3)), "width -3"},
      {kBmp, bmp(with(bmp24, &BmpImage::bitCount, 2)), "2 bits per pixel"},
      {kBmp, bmp(Bmp(40, 16, 4, Bytes(16, 1))), "16-bit BMP with compression 4 is not supported"},
      {kBmp, bmp(Bmp(40, 32, 3, Bytes(24, 1), {0xF0F0, 0xFF00, 0xFF})),
       "bit fields 0000F0F0 0000FF00 000000FF 00000000 are not runs of bits"},
      {kBmp, bmp(with(Bmp(40, 8, 1, {0, 1}, {}, Bytes(1024, 0)), &BmpImage::height, -2)),
       "top-down run-length BMP"},
      {kBmp, bmp(with(Bmp(40, 8, 0, Bytes(8, 0)), &BmpImage::colorsUsed, 300)),
       "colour table of 300 entries exceeds 256"},
      {kBmp, bmp(Bmp(40, 8, 1, {3, 1, 0, 0}, {}, Bytes(1024, 0))),
       "run-length data ends without an end-of-bitmap code"},
      {kBmp, shortBmp, "truncated: 68 of 75 bytes"},
      {kBmp, bmp(huge), "picture of 70,000 x 70,000 exceeds the 1 GiB limit"},
      {kTga, tgaWith(&TgaImage::width, 0), "width 0"},
      {kTga, tgaWith(&TgaImage::colorMapType, 2), "colour-map type 2"},
      {kTga, tgaWith(&TgaImage::imageType, 4), "image type 4"},
      {kTga, tgaWith(&TgaImage::imageType, 1), "colour-mapped type 1 without a colour map"},
      {kTga, tgaWith(&TgaImage::pixelDepth, 40), "pixel depth 40"},
      {kTga, tgaWith(&TgaImage::width, 20000), "truncated: 24 of 60,018 bytes"},
      {kTga, shortTga, "truncated: 23 of 24 bytes"},
      {kTga, Bytes(10, 0), "truncated: 10 of 18 bytes"},
      {kPcx, pcxWith(&PcxImage::version, 3), "PCX version 3 carries no palette"},
      {kPcx, pcxWith(&PcxImage::bitsPerPixel, 2), "2 bits per pixel in 1 planes is not supported"},
      {kPcx, pcxWith(&PcxImage::xmin, 5), "width -3"},
      {kPcx, pcxWith(&PcxImage::bytesPerLine, 4), "4 bytes per line for a width of 2"},
      {kPcx, pcxWith(&PcxImage::paletteMarker, 11),
       "the 256-colour palette's marker is 11, not 12"},
      {kPcx, shortPcx, "truncated: 199 of 899 bytes"},
      {kPcx, pcxWith(&PcxImage::ymax, 1000), "truncated: 899 of 901 bytes"},
  };
  for (const auto& [decode, file, why] : refused) {
    std::string reason;
    EXPECT_FALSE(Decode(decode, file, &reason)) << why;
    EXPECT_EQ(reason, why);
  }
}

}  // namespace
