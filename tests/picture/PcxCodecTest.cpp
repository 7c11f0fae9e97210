#include <gtest/gtest.h>

#include "KvMediaFile/KvPicture.h"
#include "MediaChecks.h"
#include "fixtures/PcxWriter.h"
#include "picture/PcxCodec.h"
#include "platform/GlobalMemory.h"

namespace {

using kvtest::Bytes;
using kvtest::PcxImage;
using kvtest::PcxPacking;
using kvtest::Px;
using kvtest::U16;

// The same decoder without a file on disk, for inputs tried by the hundred.
bool Decodes(const Bytes& file) {
  CRect rect;
  return KvGlobalPtr(KvDecodePcx(file, rect)) != nullptr;
}

std::vector<DWORD> LoadPixels(const PcxImage& image) {
  return kvtest::PixelsOf(kvtest::LoadBytes(KvMediaLoadPCXFile, "in.pcx", kvtest::WritePcx(image)));
}

Bytes Save(std::vector<DWORD> buffer, CSize size, CRect region) {
  return kvtest::SavedBytes(KvMediaSavePCXFile, "out.pcx", std::move(buffer), size, region);
}

PcxImage Image(int bits, int planes, int w, int h, int bytesPerLine, Bytes lines) {
  PcxImage im{.bitsPerPixel = bits, .xmax = w - 1, .ymax = h - 1, .planes = planes};
  im.bytesPerLine = bytesPerLine, im.lines = std::move(lines);
  return im;
}

// An 8-bit picture with a grey palette (entry i is grey i).
PcxImage Grey8(int w, int h, int bytesPerLine, Bytes lines) {
  PcxImage im = Image(8, 1, w, h, bytesPerLine, std::move(lines));
  for (int i = 0; i < 256; ++i) im.palette256.insert(im.palette256.end(), 3, (unsigned char)i);
  return im;
}

}  // namespace

TEST(PcxSave, HeaderAndPlaneRowsCodedEachOnItsOwn) {
  const Bytes f = Save(kvtest::Gradient(3, 2), CSize(3, 2), CRect(0, 0, 3, 2));
  ASSERT_GE(f.size(), 128u);
  // Manufacturer, version, encoding, bits; xmin, ymin, xmax, ymax, resolutions.
  EXPECT_EQ(Bytes(f.begin(), f.begin() + 4), (Bytes{10, 5, 0, 8}));
  EXPECT_EQ((std::vector<int>{U16(f, 4), U16(f, 6), U16(f, 8), U16(f, 10), U16(f, 12), U16(f, 14)}),
            (std::vector<int>{0, 0, 2, 1, 3, 2}));
  EXPECT_EQ(Bytes(f.begin() + 16, f.begin() + 64), Bytes(48, 0));
  // Reserved, planes, bytes per line (odd: not rounded), palette information, filler.
  EXPECT_EQ((std::vector<int>{f[64], f[65], U16(f, 66), U16(f, 68)}),
            (std::vector<int>{1, 3, 3, 1}));
  EXPECT_EQ(Bytes(f.begin() + 70, f.begin() + 128), Bytes(58, 0));
  // Each plane row is coded on its own. R is 70 times 5; G is 0xC8, 0x41, 0xC0 and 67 zeros;
  // B is 70 times 0xC0.
  std::vector<DWORD> row(70, Px(0xC0, 0, 5));
  row[0] = Px(0xC0, 0xC8, 5);
  row[1] = Px(0xC0, 0x41, 5);
  row[2] = Px(0xC0, 0xC0, 5);
  const Bytes coded = Save(row, CSize(70, 1), CRect(0, 0, 70, 1));
  ASSERT_GE(coded.size(), 128u);
  // 63 + 7 equal bytes; lone bytes (those from 0xC0 up as runs of one), then 63 + 4; 63 + 7.
  EXPECT_EQ(Bytes(coded.begin() + 128, coded.end()),
            (Bytes{0xFF, 0x05, 0xC7, 0x05, 0xC1, 0xC8, 0x41, 0xC1, 0xC0, 0xFF, 0x00, 0xC4, 0x00,
                   0xFF, 0xC0, 0xC7, 0xC0}));
}

// One row per kind of picture: the file's lines in, the picture's pixels out.
TEST(PcxLoad, DecodesEachKind) {
  // 24 bits: R, G and B planes in each line; 0xC0 is a literal, not a run of nothing.
  PcxImage rgb = Image(8, 3, 2, 1, 2, {0xC0, 0x01, 0xC2, 0x07, 0xC1, 0xC5, 0x10});
  rgb.packing = PcxPacking::kAsGiven;
  // 1 and 4 bits take the header's palette; lines longer than the width needs are stepped
  // over by the bytes per line, and their padding is never read as pixels.
  const Bytes palette16{1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12};
  const DWORD c0 = Px(3, 2, 1), c1 = Px(6, 5, 4), c2 = Px(9, 8, 7), c3 = Px(12, 11, 10);
  PcxImage mono = Image(1, 1, 10, 2, 4,
                        {0b10110000, 0b01111111, 0xFF, 0xFF,  //
                         0b01001111, 0b10000000, 0xFF, 0xFF});
  mono.palette16 = palette16;
  PcxImage nibbles = Image(4, 1, 3, 2, 3, {0x12, 0x3F, 0xFF, 0x30, 0x0F, 0xFF});
  nibbles.palette16 = palette16;
  // Four planes of 1 bit, as other programs write 16 colours: pixel x's index takes bit x of
  // plane p as its bit p, here indices 0, 1, 2, ..., 9.
  PcxImage planar = Image(1, 4, 10, 1, 2, {0x55, 0x40, 0x33, 0x00, 0x0F, 0x00, 0x00, 0xC0});
  std::vector<DWORD> indices;
  for (int i = 0; i < 16; ++i) {
    planar.palette16.insert(planar.palette16.end(), {(unsigned char)i, 0, 7});
    if (i < 10) indices.push_back(Px(7, 0, i));
  }
  // A run that overflows the last line is cut there; the palette follows it.
  PcxImage over = Grey8(2, 1, 2, {0xC5, 9});
  over.packing = PcxPacking::kAsGiven;
  const struct {
    const char* name;
    PcxImage image;
    std::vector<DWORD> pixels;
  } rows[] = {
      {"24 bits", rgb, {Px(0xC5, 0x07, 0xC0), Px(0x10, 0x07, 0x01)}},
      // Each plane starts a whole bytes-per-line after the last.
      {"24 bits, lines longer than the width",
       Image(8, 3, 2, 1, 3, {1, 2, 0xEE, 3, 4, 0xEE, 5, 6, 0xEE}),
       {Px(5, 3, 1), Px(6, 4, 2)}},
      {"1 bit", mono, {c1, c0, c1, c1, c0, c0, c0, c0, c0, c1,
                       c0, c1, c0, c0, c1, c1, c1, c1, c1, c0}},
      {"4 bits", nibbles, {c1, c2, c3, c3, c0, c0}},
      {"4 planes of 1 bit", planar, indices},
      // 8 bits: the palette after the data; an odd width's lines are padded to even.
      {"8 bits",
       Grey8(4, 1, 4, {0, 7, 0xC0, 255}),
       {Px(0, 0, 0), Px(7, 7, 7), Px(0xC0, 0xC0, 0xC0), Px(255, 255, 255)}},
      {"8 bits, odd width", Grey8(3, 1, 4, {1, 2, 3, 99}), {Px(1, 1, 1), Px(2, 2, 2), Px(3, 3, 3)}},
      {"run past the last line", over, {Px(9, 9, 9), Px(9, 9, 9)}},
  };
  for (const auto& row : rows) EXPECT_EQ(LoadPixels(row.image), row.pixels) << row.name;
  // Runs may carry on into the next line.
  const int w = 9, h = 6;
  Bytes lines;
  for (int i = 0; i < 3 * w * h; ++i) lines.push_back(static_cast<unsigned char>(i / 7 * 5));
  PcxImage im = Image(8, 3, w, h, w, lines);
  const auto perLine = LoadPixels(im);
  ASSERT_EQ(perLine.size(), std::size_t(w * h));
  im.packing = PcxPacking::kAcrossLines;
  EXPECT_EQ(LoadPixels(im), perLine);
}

TEST(PcxLoad, EachRefusalNamesItsReason) {
  PcxImage grey = Grey8(2, 1, 2, {1, 2});
  grey.palette256.assign(768, 0);
  const auto with = [&](int PcxImage::*field, int value) {
    return kvtest::WritePcx(kvtest::With(grey, field, value));
  };
  const auto planes = [](int bits, int planes, int w, int bytesPerLine, int h = 1) {
    return kvtest::WritePcx(Image(bits, planes, w, h, bytesPerLine, Bytes(64, 1)));
  };
  PcxImage huge = Image(8, 3, 32767, 32767, 65535, Bytes(100, 0xFF));
  huge.xmin = huge.ymin = -32768;  // 65535 x 65535
  huge.packing = PcxPacking::kAsGiven;
  const Bytes file = kvtest::WritePcx(grey);
  kvtest::ExpectDecodeReasons(
      {
          // clang-format off
          {"version 3", with(&PcxImage::version, 3), "PCX version 3 carries no palette"},
          {"2 bits", with(&PcxImage::bitsPerPixel, 2), "2 bits per pixel in 1 planes is not supported"},
          {"8 bits in 2 planes", planes(8, 2, 2, 2), "8 bits per pixel in 2 planes is not supported"},
          {"width -3", with(&PcxImage::xmin, 5), "width -3"},
          {"width 0", with(&PcxImage::xmin, 2), "width 0"},
          {"line too short, planes", planes(8, 3, 4, 3), "3 bytes per line cannot hold a width of 4"},
          {"line too short, 1 bit", planes(1, 1, 9, 1), "1 bytes per line cannot hold a width of 9"},
          {"line too long", planes(8, 1, 3, 5), "5 bytes per line for a width of 3"},
          {"palette marker", with(&PcxImage::paletteMarker, 11), "the 256-colour palette's marker is 11, not 12"},
          {"cut", kvtest::Cut(file, file.size() - 700), "truncated: 199 of 899 bytes"},
          {"height", with(&PcxImage::ymax, 1000), "truncated: 899 of 901 bytes"},
          {"65,535 square", kvtest::WritePcx(huge), "picture of 65,535 x 65,535 exceeds the 1 GiB limit"},
          {"16,000 square", planes(8, 3, 16000, 16000, 16000), "truncated: 131 of 24,381,082 bytes"},
          // clang-format on
      },
      [](CFile& f, CRect& r) { return KvDecodePcx(f, r); });
  // Every prefix of a file is refused.
  kvtest::ExpectEveryPrefixFails(kvtest::WritePcx(Grey8(4, 3, 4, Bytes(12, 200))), Decodes);
}
