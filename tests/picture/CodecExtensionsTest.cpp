// Files from other programs that the TGA, BMP and PCX decoders read beyond the suite's own
// kinds, and the reason of every refusal.
#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "PictureChecks.h"
#include "fixtures/BmpWriter.h"
#include "fixtures/PcxWriter.h"
#include "fixtures/TgaWriter.h"
#include "host/Failure.h"
#include "picture/BmpCodec.h"
#include "picture/PcxCodec.h"
#include "picture/TgaCodec.h"

namespace {

using kvtest::BmpImage;
using kvtest::Bytes;
using kvtest::Changed;
using kvtest::Cut;
using kvtest::PcxImage;
using kvtest::Px;
using kvtest::TgaImage;
using kvtest::With;

using Decoder = std::function<DWORD*(CFile&, CRect&)>;
const Decoder kBmp = [](CFile& f, CRect& r) { return KvDecodeBmpFile(f, r); };
const Decoder kTga = [](CFile& f, CRect& r) { return KvDecodeTga(f, r); };
const Decoder kPcx = [](CFile& f, CRect& r) { return KvDecodePcx(f, r); };

BmpImage Bmp(int header, int bits, int compression, Bytes pixels, std::vector<unsigned> masks = {},
             Bytes palette = {}) {
  BmpImage im{.width = 3, .height = 2, .bitCount = bits, .compression = compression};
  im.headerSize = header, im.trueHeaderSize = true, im.masks = std::move(masks);
  im.palette = std::move(palette), im.pixels = std::move(pixels);
  return im;
}

// 3 x 2 pixels of 4 bytes, B, G, R, A, rows padded to nothing.
Bytes Bgra(unsigned char alpha) {
  Bytes p;
  for (int i = 0; i < 6; ++i) p.insert(p.end(), {(unsigned char)(10 * i), 77, 200, alpha});
  return p;
}

}  // namespace

TEST(BmpFromOtherPrograms, AgreeWithAnIndependentDecoder) {
  const std::vector<unsigned> bgra = {0xFF0000, 0xFF00, 0xFF, 0xFF000000};
  Bytes rgb565;  // 3 pixels and 2 bytes of padding a row
  for (int row = 0; row < 2; ++row) {
    for (unsigned w : {0xF800u, 0x07E0u, 0x1863u + row})
      rgb565.insert(rgb565.end(), {(unsigned char)w, (unsigned char)(w >> 8)});
    rgb565.insert(rgb565.end(), {0, 0});
  }
  const std::pair<const char*, BmpImage> cases[] = {
      {"core header, 24 bits", Bmp(12, 24, 0, kvtest::NoiseWithRuns(24, 1, 256, 3))},
      {"108-byte header, 24 bits", Bmp(108, 24, 0, kvtest::NoiseWithRuns(24, 1, 256, 4))},
      {"124-byte header, 32-bit bit fields with alpha", Bmp(124, 32, 3, Bgra(128), bgra)},
      {"40-byte header, 16-bit 5-6-5", Bmp(40, 16, 3, rgb565, {0xF800, 0x07E0, 0x1F})},
  };
  for (const auto& [what, image] : cases) {
    const Bytes file = kvtest::WriteBmp(image);
    EXPECT_EQ(kvtest::DecodeInMemory(kBmp, file),
              (kvtest::Picture{{0, 0, 3, 2}, kvtest::StbPixels(file)}))
        << what;
  }
}

TEST(BmpFromOtherPrograms, AlphaIsKeptOnlyWhereTheHeaderSaysSo) {
  const std::vector<unsigned> rgb{0xFF0000, 0xFF00, 0xFF}, rgba{0xFF0000, 0xFF00, 0xFF, 0xFF000000};
  const std::pair<BmpImage, DWORD> cases[] = {
      // The 40-byte header's 32 bits stay opaque, bit fields or not; alpha bit fields keep it.
      {Bmp(40, 32, 0, Bgra(128)), Px(0, 77, 200)},
      {Bmp(40, 32, 3, Bgra(128), rgb), Px(0, 77, 200)},
      {Bmp(40, 32, 6, Bgra(128), rgba), Px(0, 77, 200, 128)},
      // A later header without an alpha mask, or with alpha 0 everywhere, is opaque.
      {Bmp(124, 32, 3, Bgra(0), rgba), Px(0, 77, 200)},
      {Bmp(124, 32, 3, Bgra(128), {0xFF0000, 0xFF00, 0xFF, 0}), Px(0, 77, 200)},
      {Bmp(108, 32, 0, Bgra(0), {0, 0, 0, 0xFF000000}), Px(0, 77, 200)},
      {Bmp(108, 32, 0, Bgra(9), {0, 0, 0, 0xFF000000}), Px(0, 77, 200, 9)},
  };
  for (const auto& [image, first] : cases)
    EXPECT_EQ(kvtest::DecodeInMemory(kBmp, kvtest::WriteBmp(image))->pixels[3], first);
  // Other masks: 1-5-5-5 in 16 bits, scaled to 8 bits a channel.
  Bytes p(16, 0);
  p[0] = 0x1F;               // the last row's first pixel: blue 31, alpha 0
  p[8] = 0x00, p[9] = 0xFC;  // the first row's: red 31, alpha 1
  const auto im = Bmp(56, 16, 3, p, {0x7C00, 0x03E0, 0x1F, 0x8000});
  const auto pixels = kvtest::DecodeInMemory(kBmp, kvtest::WriteBmp(im))->pixels;
  EXPECT_EQ(pixels[0], Px(0, 0, 255, 255));
  EXPECT_EQ(pixels[3], Px(255, 0, 0, 0));
}

// Core files store 3-byte colours, as many as fit before the pixels.
TEST(BmpFromOtherPrograms, CoreHeaderPalettes) {
  const Bytes file =
      kvtest::WriteBmp(Bmp(12, 8, 0, {0, 1, 2, 0, 2, 1, 0, 0}, {}, {1, 2, 3, 4, 5, 6, 7, 8, 9}));
  EXPECT_EQ(
      kvtest::DecodeInMemory(kBmp, file)->pixels,
      (std::vector{Px(7, 8, 9), Px(4, 5, 6), Px(1, 2, 3), Px(1, 2, 3), Px(4, 5, 6), Px(7, 8, 9)}));
}

TEST(PcxFromOtherPrograms, OddWidthsAndFourPlanesLoad) {
  PcxImage odd{.xmax = 2, .bytesPerLine = 4, .lines = {1, 2, 3, 99}};
  for (int i = 0; i < 256; ++i) odd.palette256.insert(odd.palette256.end(), 3, (unsigned char)i);
  EXPECT_EQ(kvtest::DecodeInMemory(kPcx, kvtest::WritePcx(odd))->pixels,
            (std::vector{Px(1, 1, 1), Px(2, 2, 2), Px(3, 3, 3)}));
  // Pixel x's index takes bit x of plane p as its bit p: here indices 0, 1, 2, ..., 9.
  PcxImage planar{.bitsPerPixel = 1, .xmax = 9, .planes = 4, .bytesPerLine = 2};
  planar.lines = {0x55, 0x40, 0x33, 0x00, 0x0F, 0x00, 0x00, 0xC0};
  for (int i = 0; i < 16; ++i)
    planar.palette16.insert(planar.palette16.end(), {(unsigned char)i, 0, 7});
  std::vector<DWORD> expected;
  for (int i = 0; i < 10; ++i) expected.push_back(Px(7, 0, i));
  EXPECT_EQ(kvtest::DecodeInMemory(kPcx, kvtest::WritePcx(planar))->pixels, expected);
}

// Each refusal says why, so that a file refused by the wrong check fails here; files that
// claim huge pictures are refused at once. An empty reason marks a file just inside a limit,
// which loads.
TEST(CodecRefusals, SayWhy) {
  const auto bmp = [](BmpImage im) { return kvtest::WriteBmp(im); };
  const BmpImage bmp24 = Bmp(40, 24, 0, Bytes(24, 1));
  // Over a table of three colours; 4 x 2 run-length codes unless said otherwise.
  const auto indexed = [](Bytes pixels, int compression = 1, int w = 4, int h = 2, int bits = 8) {
    BmpImage im{.width = w, .height = h, .bitCount = bits, .compression = compression};
    im.colorsUsed = 3, im.palette = Bytes(12, 5), im.pixels = std::move(pixels);
    return im;
  };
  const auto rle = [&](Bytes codes) { return bmp(indexed(codes)); };
  const auto table = [&](int entries) {
    BmpImage im = indexed({0, 1, 2, 255}, 0, 4, 1);
    im.colorsUsed = entries, im.palette = Bytes(4 * entries, 7);
    return bmp(im);
  };
  const Bytes bmpFile = bmp(bmp24);

  const auto tga = [](int type, int depth, int w, int h, Bytes pixels) {
    TgaImage im{.imageType = type, .pixelDepth = depth, .width = w, .height = h};
    im.pixels = std::move(pixels), im.packing = kvtest::TgaPacking::kRunsOnly;
    return im;
  };
  const TgaImage tga24 = tga(2, 24, 2, 1, Bytes(6, 1));
  const auto tgaWith = [&](int TgaImage::*field, int value) {
    return kvtest::WriteTga(With(tga24, field, value));
  };
  const auto mapped = [&](int first, int length, int depth = 8) {
    TgaImage im = tga(1, depth, 1, 1, Bytes(depth / 8, 0));
    std::tie(im.colorMapType, im.colorMapFirst, im.colorMapLength, im.colorMapEntryBits) =
        std::tuple(1, first, length, 24);
    im.colorMap = Bytes(3 * length, 7);
    return kvtest::WriteTga(im);
  };
  const auto runs = [&](int w, int h, std::size_t pixels) {
    return kvtest::WriteTga(tga(10, 24, w, h, Bytes(3 * pixels, 9)));
  };
  const Bytes tgaFile = kvtest::WriteTga(tga24);

  const auto pcx = [](int bits, int planes, int w, int h, int bytesPerLine, Bytes lines) {
    PcxImage im{.bitsPerPixel = bits, .xmax = w - 1, .ymax = h - 1, .planes = planes};
    im.bytesPerLine = bytesPerLine, im.lines = std::move(lines);
    return im;
  };
  PcxImage grey = pcx(8, 1, 2, 1, 2, {1, 2});
  grey.palette256 = Bytes(768, 0);
  const auto pcxWith = [&](int PcxImage::*field, int value) {
    return kvtest::WritePcx(With(grey, field, value));
  };
  const auto planes = [&](int bits, int planes, int w, int bytesPerLine, int h = 1) {
    return kvtest::WritePcx(pcx(bits, planes, w, h, bytesPerLine, Bytes(64, 1)));
  };
  PcxImage huge = pcx(8, 3, 32767, 32767, 65535, Bytes(100, 0xFF));
  huge.xmin = huge.ymin = -32768;  // 65535 x 65535
  huge.packing = kvtest::PcxPacking::kAsGiven;
  const Bytes pcxFile = kvtest::WritePcx(grey);

  const std::tuple<Decoder, Bytes, std::string> rows[] = {
      {kBmp, Changed(bmpFile, 0, 'X'), "the signature is not BM"},
      {kBmp, bmp(With(bmp24, &BmpImage::headerSize, 64)),
       "information header of 64 bytes is not supported"},
      {kBmp, bmp(With(bmp24, &BmpImage::width, 0)), "width 0"},
      {kBmp, bmp(With(bmp24, &BmpImage::height, 0)), "height 0"},
      {kBmp, bmp(With(bmp24, &BmpImage::width, -3)), "width -3"},
      {kBmp, bmp(With(bmp24, &BmpImage::bitCount, 2)), "2 bits per pixel"},
      {kBmp, bmp(With(bmp24, &BmpImage::compression, 3)), ""},  // 24 bits: any compression
      {kBmp, bmp(Bmp(40, 16, 4, Bytes(16, 1))), "16-bit BMP with compression 4 is not supported"},
      {kBmp, bmp(indexed({0, 1, 2, 255}, 2, 4, 1)),
       "8-bit BMP with compression 2 is not supported"},
      {kBmp, bmp(Bmp(40, 32, 3, Bytes(24, 1), {0xF0F0, 0xFF00, 0xFF})),
       "bit fields 0000F0F0 0000FF00 000000FF 00000000 are not runs of bits"},
      {kBmp, bmp(indexed({0, 1}, 1, 4, -2)), "top-down run-length BMP"},
      {kBmp, table(257), "colour table of 257 entries exceeds 256"},
      {kBmp, table(256), ""},
      {kBmp, rle({4, 1, 0, 0, 4, 2, 0, 0, 0, 1}), ""},
      {kBmp, rle({4, 1, 0, 0}), "run-length data ends without an end-of-bitmap code"},
      {kBmp, rle({3, 1, 2, 1, 0, 1}), "run-length run past the row's end"},
      {kBmp, rle({2, 1, 0, 3, 1, 1, 1, 0, 0, 1}), "run-length run past the row's end"},  // absolute
      {kBmp, rle({0, 2, 4, 0, 0, 1}), "run-length delta outside the picture"},  // to the row's end
      {kBmp, rle({0, 2, 0, 2, 0, 1}), "run-length delta outside the picture"},  // above the top
      {kBmp, rle({0, 0, 0, 0, 0, 0, 0, 1}), "run-length rows past the top row"},
      {kBmp, Cut(bmpFile, bmpFile.size() - 10), "truncated: 68 of 75 bytes"},
      {kBmp, Changed(table(3), 12, 0x10),
       "truncated: 70 of 1,048,642 bytes"},  // pixels sought 1 MiB on
      {kBmp, bmp(With(With(bmp24, &BmpImage::width, 70000), &BmpImage::height, 70000)),
       "picture of 70,000 x 70,000 exceeds the 1 GiB limit"},
      {kBmp, bmp(indexed(Bytes(64, 1), 0, 30000, 30000, 32)),
       "picture of 30,000 x 30,000 exceeds the 1 GiB limit"},
      {kBmp, bmp(indexed(Bytes(64, 1), 0, 0x7FFFFFFF, -0x7FFFFFFF - 1, 24)),
       "picture of 2,147,483,647 x 2,147,483,648 exceeds the 1 GiB limit"},
      {kBmp, bmp(indexed(Bytes(64, 1), 1, 16000, 16000)),
       "run-length data ends without an end-of-bitmap code"},

      {kTga, tgaWith(&TgaImage::width, 0), "width 0"},
      {kTga, tgaWith(&TgaImage::colorMapType, 2), "colour-map type 2"},
      {kTga, tgaWith(&TgaImage::imageType, 4), "image type 4"},
      {kTga, tgaWith(&TgaImage::imageType, 1), "colour-mapped type 1 without a colour map"},
      {kTga, tgaWith(&TgaImage::pixelDepth, 0), "pixel depth 0"},
      {kTga, tgaWith(&TgaImage::pixelDepth, 33), "pixel depth 33"},
      {kTga, mapped(0, 1, 16), "colour-map indices of 16 bits are not supported"},
      {kTga, mapped(500, 13), "colour map of entries 500 to 512 exceeds 512 entries"},
      {kTga, mapped(500, 12), ""},
      {kTga, mapped(0, 512), ""},
      {kTga, runs(16384, 1, 16384), "run-length picture of 16384 x 1 exceeds 16,383 x 32,767"},
      {kTga, runs(16383, 1, 16383), ""},
      {kTga, runs(1, 32768, 32768), "run-length picture of 1 x 32768 exceeds 16,383 x 32,767"},
      {kTga, runs(1, 32767, 32767), ""},
      {kTga, runs(16383, 32767, 1), "truncated: 22 of 16,775,702 bytes"},
      {kTga, tgaWith(&TgaImage::width, 20000), "truncated: 24 of 60,018 bytes"},
      {kTga, kvtest::WriteTga(tga(2, 32, 65535, 65535, {})),
       "truncated: 18 of 17,179,344,918 bytes"},
      {kTga, kvtest::WriteTga(tga(10, 32, 5, 3, kvtest::NoiseWithRuns(14, 4))),
       "truncated: 38 of 39 bytes"},
      {kTga, Cut(tgaFile, tgaFile.size() - 1), "truncated: 23 of 24 bytes"},
      {kTga, Bytes(10, 0), "truncated: 10 of 18 bytes"},

      {kPcx, pcxWith(&PcxImage::version, 3), "PCX version 3 carries no palette"},
      {kPcx, pcxWith(&PcxImage::bitsPerPixel, 2), "2 bits per pixel in 1 planes is not supported"},
      {kPcx, planes(8, 2, 2, 2), "8 bits per pixel in 2 planes is not supported"},
      {kPcx, pcxWith(&PcxImage::xmin, 5), "width -3"},
      {kPcx, planes(8, 3, 4, 3), "3 bytes per line cannot hold a width of 4"},
      {kPcx, planes(8, 1, 3, 5), "5 bytes per line for a width of 3"},
      {kPcx, pcxWith(&PcxImage::paletteMarker, 11),
       "the 256-colour palette's marker is 11, not 12"},
      {kPcx, Cut(pcxFile, pcxFile.size() - 700), "truncated: 199 of 899 bytes"},
      {kPcx, pcxWith(&PcxImage::ymax, 1000), "truncated: 899 of 901 bytes"},
      {kPcx, kvtest::WritePcx(huge), "picture of 65,535 x 65,535 exceeds the 1 GiB limit"},
      {kPcx, planes(8, 3, 16000, 16000, 16000), "truncated: 131 of 24,381,082 bytes"},
  };
  kvtest::ExpectQuick(std::chrono::seconds(2), [&] {
    for (const auto& [decode, file, why] : rows) {
      KvClearFailure();
      EXPECT_EQ(kvtest::DecodeInMemory(decode, file).has_value(), why.empty()) << why;
      EXPECT_EQ(KvLastFailure(), why);
    }
  });
}
