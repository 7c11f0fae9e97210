#include <gtest/gtest.h>

#include "KvMediaFile/KvMediaResources.h"
#include "KvMediaFile/KvPicture.h"
#include "MediaChecks.h"
#include "TestSupport.h"
#include "fixtures/BmpWriter.h"
#include "picture/BmpCodec.h"

namespace {

using kvtest::BmpImage;
using kvtest::Bytes;
using kvtest::Picture;
using kvtest::Px;
constexpr DWORD kClear = 0;  // what no code wrote: black, fully transparent

std::optional<Picture> LoadBmpBytes(const Bytes& file) {
  return kvtest::LoadBytes(KvMediaLoadBMPFile, "in.bmp", file);
}

std::vector<DWORD> LoadPixels(const BmpImage& image) {
  return kvtest::PixelsOf(LoadBmpBytes(kvtest::WriteBmp(image)));
}

// The same decoder without a file on disk, for inputs tried by the hundred.
const auto kDecode = [](CFile& f, CRect& r) { return KvDecodeBmpFile(f, r); };
bool Decodes(const Bytes& file) { return kvtest::DecodeInMemory(kDecode, file).has_value(); }

Bytes Noise(std::size_t count, unsigned seed, int values = 256) {
  return kvtest::NoiseWithRuns(count, 1, values, seed);
}

BmpImage Image(int bits, int w, int h, Bytes pixels, Bytes palette = {}, int compression = 0) {
  BmpImage im{.width = w, .height = h, .bitCount = bits, .compression = compression};
  im.colorsUsed = int(palette.size() / 4), im.palette = std::move(palette);
  im.pixels = std::move(pixels);
  return im;
}

// 3 x 2 pixels behind a header of `header` bytes, as other programs write them.
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

TEST(BmpLoad, AgreesWithAnIndependentDecoder) {
  for (int bits : {1, 4, 8, 24, 32})
    for (int sign : {1, -1})
      for (auto [w, h] : {std::pair{47, 33}, {1, 1}}) {
        SCOPED_TRACE(testing::Message() << bits << " bits, " << w << "x" << sign * h);
        const std::size_t rowBytes = (std::size_t(w) * bits + 31) / 32 * 4;
        const Bytes palette = bits <= 8 ? Noise(4u << bits, bits) : Bytes{};
        const Bytes file = kvtest::WriteBmp(
            Image(bits, w, sign * h, Noise(rowBytes * h, unsigned(w * bits)), palette));
        // A stored alpha is never kept.
        EXPECT_EQ(LoadBmpBytes(file), (Picture{{0, 0, w, h}, kvtest::StbPixels(file, true)}));
      }
  // The headers and bit fields of other programs.
  const std::pair<const char*, BmpImage> cases[] = {
      {"core header, 24 bits", Bmp(12, 24, 0, Noise(24, 3))},
      {"108-byte header, 24 bits", Bmp(108, 24, 0, Noise(24, 4))},
      {"124-byte header, 32-bit bit fields with alpha",
       Bmp(124, 32, 3, Bgra(128), {0xFF0000, 0xFF00, 0xFF, 0xFF000000})},
      {"40-byte header, 16-bit 5-6-5", Bmp(40, 16, 3, Noise(16, 6), {0xF800, 0x07E0, 0x1F})},
  };
  for (const auto& [what, image] : cases) {
    const Bytes file = kvtest::WriteBmp(image);
    EXPECT_EQ(kvtest::DecodeInMemory(kDecode, file),
              (Picture{{0, 0, 3, 2}, kvtest::StbPixels(file)}))
        << what;
  }
}

TEST(BmpLoad, AlphaIsKeptOnlyWhereTheHeaderSaysSo) {
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
    EXPECT_EQ(kvtest::DecodeInMemory(kDecode, kvtest::WriteBmp(image))->pixels[3], first);
  // Other masks: 1-5-5-5 in 16 bits, scaled to 8 bits a channel.
  Bytes p(16, 0);
  p[0] = 0x1F;               // the last row's first pixel: blue 31, alpha 0
  p[8] = 0x00, p[9] = 0xFC;  // the first row's: red 31, alpha 1
  const auto im = Bmp(56, 16, 3, p, {0x7C00, 0x03E0, 0x1F, 0x8000});
  const auto pixels = kvtest::DecodeInMemory(kDecode, kvtest::WriteBmp(im))->pixels;
  EXPECT_EQ(pixels[0], Px(0, 0, 255, 255));
  EXPECT_EQ(pixels[3], Px(255, 0, 0, 0));
}

TEST(BmpLoad, ColourTablesAndChannelConversions) {
  // 1 bit, colours used 0: two entries, and with pixel offset 0 the rows follow them.
  BmpImage mono = Image(1, 3, 1, {0b10100000, 0, 0, 0}, {1, 2, 3, 0, 4, 5, 6, 0});
  mono.colorsUsed = 0;
  mono.pixelOffset = 0;
  EXPECT_EQ(LoadPixels(mono), (std::vector{Px(4, 5, 6), Px(1, 2, 3), Px(4, 5, 6)}));
  // Indices beyond the entries stored give opaque black; the reserved byte is not alpha.
  EXPECT_EQ(LoadPixels(Image(8, 4, 1, {0, 1, 2, 255}, {1, 2, 3, 9, 4, 5, 6, 0})),
            (std::vector{Px(1, 2, 3), Px(4, 5, 6), Px(0, 0, 0), Px(0, 0, 0)}));
  // Core files store 3-byte colours, as many as fit before the pixels.
  EXPECT_EQ(
      kvtest::DecodeInMemory(kDecode, kvtest::WriteBmp(Bmp(12, 8, 0, {0, 1, 2, 0, 2, 1, 0, 0}, {},
                                                           {1, 2, 3, 4, 5, 6, 7, 8, 9})))
          ->pixels,
      (std::vector{Px(7, 8, 9), Px(4, 5, 6), Px(1, 2, 3), Px(1, 2, 3), Px(4, 5, 6), Px(7, 8, 9)}));
  // Row order, padding and the dropped alpha of 32 bits are left to the cross-check above.
  // 16 bits: five bits a channel shifted up by three, so 31 gives 248, not 255; bit 15 is
  // ignored.
  EXPECT_EQ(LoadPixels(Image(16, 3, 1, {0xFF, 0x7F, 0x1F, 0x80, 0x41, 0x04, 0, 0})),
            (std::vector{Px(248, 248, 248), Px(248, 0, 0), Px(8, 16, 8)}));
}

TEST(BmpLoad, RunLengthMatchesUncompressedAndSkipsLeaveTransparentBlack) {
  const int w = 47, h = 33;
  for (int bits : {4, 8}) {
    SCOPED_TRACE(testing::Message() << bits << " bits");
    const Bytes indices = Noise(w * h, 99, 1 << bits);
    const Bytes palette = Noise(4u << bits, 5);
    const auto plain =
        LoadPixels(Image(bits, w, h, kvtest::PackBmpRows(indices, w, bits), palette));
    ASSERT_EQ(plain.size(), std::size_t(w * h));
    const Bytes codes = kvtest::EncodeBmpRle(indices, w, bits);
    EXPECT_EQ(LoadPixels(Image(bits, w, h, codes, palette, bits == 8 ? 1 : 2)), plain);
  }
  const DWORD a = Px(10, 11, 12), b = Px(20, 21, 22), c = Px(30, 31, 32);
  const Bytes colours{10, 11, 12, 0, 20, 21, 22, 0, 30, 31, 32, 0};
  // Bottom row: two of colour 1, then a delta of one right and one up; one of colour 2 and
  // an early end of line; the top row is ended by the end of the bitmap.
  const Bytes codes{2, 1, 0, 2, 1, 1, 1, 2, 0, 0, 0, 1};
  EXPECT_EQ(LoadPixels(Image(8, 4, 3, codes, colours, 1)),
            (std::vector{kClear, kClear, kClear, kClear,  //
                         kClear, kClear, kClear, c,       //
                         b, b, kClear, kClear}));
  // Four bits: an encoded run alternates its two nibbles; an absolute run takes them in
  // order, padded to a 16-bit word.
  const Bytes nibbles{5, 0x12, 0, 0, 0, 3, 0x20, 0x10, 0, 1};
  EXPECT_EQ(LoadPixels(Image(4, 5, 2, nibbles, colours, 2)),
            (std::vector{c, a, b, kClear, kClear, b, c, b, c, b}));
}

TEST(BmpLoad, EachRefusalNamesItsReason) {
  const BmpImage rgb = Image(24, 3, 2, Bytes(24, 1));
  const auto with = [&](int BmpImage::*field, int value) {
    return kvtest::WriteBmp(kvtest::With(rgb, field, value));
  };
  // Over a table of three colours.
  const auto bmp = [](int bits, int w, int h, Bytes pixels, int compression = 0) {
    return kvtest::WriteBmp(Image(bits, w, h, std::move(pixels), Bytes(12, 5), compression));
  };
  const auto rle = [&](Bytes codes) { return bmp(8, 4, 2, std::move(codes), 1); };
  const auto table = [](int entries) {
    return kvtest::WriteBmp(Image(8, 4, 1, {0, 1, 2, 255}, Bytes(4 * entries, 7)));
  };
  BmpImage fields = Image(32, 3, 2, Bytes(24, 1), {}, 3);
  fields.masks = {0xF0F0, 0xFF00, 0xFF};
  const Bytes file = kvtest::WriteBmp(rgb);
  kvtest::ExpectDecodeReasons(
      {
          // clang-format off
          {"signature", kvtest::Changed(file, 0, 'X'), "the signature is not BM"},
          {"header size", with(&BmpImage::headerSize, 64), "information header of 64 bytes is not supported"},
          {"width 0", with(&BmpImage::width, 0), "width 0"},
          {"height 0", with(&BmpImage::height, 0), "height 0"},
          {"width -3", with(&BmpImage::width, -3), "width -3"},
          {"bit count", with(&BmpImage::bitCount, 2), "2 bits per pixel"},
          {"24 bits, compression 3", with(&BmpImage::compression, 3), ""},
          {"16 bits, compression 4", bmp(16, 3, 2, Bytes(16, 1), 4), "16-bit BMP with compression 4 is not supported"},
          {"8 bits, compression 2", bmp(8, 4, 1, {0, 1, 2, 255}, 2), "8-bit BMP with compression 2 is not supported"},
          {"bit fields", kvtest::WriteBmp(fields), "bit fields 0000F0F0 0000FF00 000000FF 00000000 are not runs of bits"},
          {"top-down run-length", bmp(8, 4, -2, {0, 1}, 1), "top-down run-length BMP"},
          {"table of 257", table(257), "colour table of 257 entries exceeds 256"},
          {"table of 256", table(256), ""},
          {"run-length, whole", rle({4, 1, 0, 0, 4, 2, 0, 0, 0, 1}), ""},
          {"no end code", rle({4, 1, 0, 0}), "run-length data ends without an end-of-bitmap code"},
          {"run past the row", rle({3, 1, 2, 1, 0, 1}), "run-length run past the row's end"},
          {"absolute run past the row", rle({2, 1, 0, 3, 1, 1, 1, 0, 0, 1}), "run-length run past the row's end"},
          {"delta to the row's end", rle({0, 2, 4, 0, 0, 1}), "run-length delta outside the picture"},
          {"delta above the top", rle({0, 2, 0, 2, 0, 1}), "run-length delta outside the picture"},
          {"rows past the top", rle({0, 0, 0, 0, 0, 0, 0, 1}), "run-length rows past the top row"},
          {"cut", kvtest::Cut(file, file.size() - 10), "truncated: 68 of 75 bytes"},
          {"pixels 1 MiB on", kvtest::Changed(table(3), 12, 0x10), "truncated: 70 of 1,048,642 bytes"},
          {"70,000 square", kvtest::WriteBmp(kvtest::With(kvtest::With(rgb, &BmpImage::width, 70000), &BmpImage::height, 70000)), "picture of 70,000 x 70,000 exceeds the 1 GiB limit"},
          {"30,000 square, 32 bits", bmp(32, 30000, 30000, Bytes(64, 1)), "picture of 30,000 x 30,000 exceeds the 1 GiB limit"},
          {"2^31 high", bmp(24, 0x7FFFFFFF, -0x7FFFFFFF - 1, Bytes(64, 1)), "picture of 2,147,483,647 x 2,147,483,648 exceeds the 1 GiB limit"},
          {"run-length 16,000 square", bmp(8, 16000, 16000, Bytes(64, 1), 1), "run-length data ends without an end-of-bitmap code"},
          // clang-format on
      },
      kDecode);
  // Every prefix of a file is refused; the last row's padding alone may be missing.
  const Bytes padded =
      kvtest::WriteBmp(Image(8, 5, 3, kvtest::PackBmpRows(Noise(15, 99, 4), 5, 8), Noise(16, 3)));
  kvtest::ExpectEveryPrefixFails(kvtest::Cut(padded, padded.size() - 3), Decodes);
}

// A plain 40-byte header that another decoder reads; bottom row first, alpha as in the buffer.
TEST(BmpSave, FourByTwoIsAnEightySixByteFile) {
  auto buffer = kvtest::Gradient(4, 2);
  const Bytes f =
      kvtest::SavedBytes(KvMediaSaveBMPFile, "out.bmp", buffer, CSize(4, 2), CRect(0, 0, 4, 2));
  ASSERT_EQ(f.size(), 86u);
  EXPECT_EQ(kvtest::U32(f, 54), buffer[4]);
  for (DWORD& p : buffer) p |= 0xFF000000u;
  EXPECT_EQ(kvtest::StbPixels(f, true), buffer);
  // Over 4 GiB the header's 32-bit sizes cannot hold the file: refused, with the reason, before
  // a pixel is read (so one pixel stands in for the buffer).
  kvtest::TempDir dir;
  DWORD pixel = 0;
  EXPECT_EQ(KvMediaSaveBMPFile(dir.File("big.bmp"), &pixel, CSize(65536, 16384),
                               CRect(0, 0, 65536, 16384)),
            0);
  EXPECT_EQ(KvLastFailure(), "a picture of 65536 x 16384 is too large for the format");
  EXPECT_TRUE(kvtest::FileNames(dir.path()).empty());
}

TEST(BmpInfo, DescribesAPictureBufferAndNothingMore) {
  std::vector<BYTE> block(sizeof(BITMAPINFOHEADER) + 16, 0xAB);
  auto* info = reinterpret_cast<BITMAPINFO*>(block.data());
  KvMediaInitBMPInfo(info, CSize(720, 576));
  const BITMAPINFOHEADER& h = info->bmiHeader;
  EXPECT_EQ((std::vector<long long>{h.biSize, h.biWidth, h.biHeight, h.biPlanes, h.biBitCount,
                                    h.biCompression, h.biSizeImage, h.biClrUsed, h.biClrImportant}),
            (std::vector<long long>{40, 720, -576, 1, 32, BI_RGB, 0, 0, 0}));
  EXPECT_EQ(Bytes(block.begin() + 40, block.end()), Bytes(16, 0xAB));
}

TEST(BmpResource, DriveBitmapsLoadFromTheModule) {
  const HINSTANCE module = KvMediaGetResourceHandle();
  const DWORD white = Px(255, 255, 255);
  std::vector<std::vector<DWORD>> pictures;
  for (const wchar_t* id : {MAKEINTRESOURCEW(1200), MAKEINTRESOURCEW(1201), MAKEINTRESOURCEW(1202),
                            MAKEINTRESOURCEW(1203), L"#1202"}) {
    CRect rect;
    const auto p = kvtest::TakePicture(KvMediaLoadBMPInRC(module, id, rect), rect, rect);
    ASSERT_TRUE(p);
    ASSERT_EQ(p->rect, CRect(0, 0, 16, 16));
    // White where the panel masks, a drawing inside, every pixel opaque.
    for (int corner : {0, 15, 240, 255}) EXPECT_EQ(p->pixels[corner], white);
    EXPECT_TRUE(
        std::all_of(p->pixels.begin(), p->pixels.end(), [](DWORD q) { return q >> 24 == 255; }));
    EXPECT_TRUE(pictures.empty() || p->pixels != pictures.back());
    pictures.push_back(p->pixels);
  }
  EXPECT_EQ(pictures[4], pictures[2]);  // by name as by number
  CRect rect(-1, -1, -1, -1);
  EXPECT_EQ(KvMediaLoadBMPInRC(module, MAKEINTRESOURCEW(1204), rect), nullptr);
  EXPECT_EQ(KvMediaLoadBMPInRC(nullptr, MAKEINTRESOURCEW(1200), rect), nullptr);
  EXPECT_EQ(rect, CRect(-1, -1, -1, -1));
}
