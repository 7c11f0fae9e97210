#include <gtest/gtest.h>

#include "KvMediaFile/KvMediaResources.h"
#include "KvMediaFile/KvPicture.h"
#include "PictureChecks.h"
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
  auto p = LoadBmpBytes(kvtest::WriteBmp(image));
  return p ? p->pixels : std::vector<DWORD>{};
}

// The same decoder without a file on disk, for inputs tried by the hundred.
bool Decodes(const Bytes& file) {
  return kvtest::DecodeInMemory([](CFile& f, CRect& r) { return KvDecodeBmpFile(f, r); }, file)
      .has_value();
}

Bytes Noise(std::size_t count, unsigned seed, int values = 256) {
  return kvtest::NoiseWithRuns(count, 1, values, seed);
}

BmpImage Image(int bits, int w, int h, Bytes pixels, Bytes palette = {}, int compression = 0) {
  BmpImage im{.width = w, .height = h, .bitCount = bits, .compression = compression};
  im.colorsUsed = int(palette.size() / 4), im.palette = std::move(palette);
  im.pixels = std::move(pixels);
  return im;
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

TEST(BmpLoad, ShortFilesFail) {
  const BmpImage indexed =
      Image(8, 4, 3, kvtest::PackBmpRows(Noise(12, 99, 4), 4, 8), Noise(16, 3));
  kvtest::ExpectEveryPrefixFails(kvtest::WriteBmp(indexed), Decodes);
  // The last row's padding may be missing.
  const Bytes padded =
      kvtest::WriteBmp(Image(8, 5, 3, kvtest::PackBmpRows(Noise(15, 99, 4), 5, 8), Noise(16, 3)));
  EXPECT_TRUE(Decodes(kvtest::Cut(padded, padded.size() - 3)));
}

TEST(BmpSave, FourByTwoIsAnEightySixByteFile) {
  const auto buffer = kvtest::Gradient(4, 2);
  const Bytes f =
      kvtest::SavedBytes(KvMediaSaveBMPFile, "out.bmp", buffer, CSize(4, 2), CRect(0, 0, 4, 2));
  ASSERT_EQ(f.size(), 86u);
  using kvtest::U16, kvtest::U32;
  // Magic, file size, pixel offset; header size, width, height, planes, bits, compression,
  // image size, resolutions.
  EXPECT_EQ((std::vector<DWORD>{DWORD(U16(f, 0)), U32(f, 2), U32(f, 10), U32(f, 14), U32(f, 18),
                                U32(f, 22), DWORD(U16(f, 26)), DWORD(U16(f, 28)), U32(f, 30),
                                U32(f, 34), U32(f, 38), U32(f, 42)}),
            (std::vector<DWORD>{0x4D42, 86, 54, 40, 4, 2, 1, 32, 0, 32, 4, 2}));
  EXPECT_EQ(U32(f, 54), buffer[4]);  // bottom row first, alpha as in the buffer
  EXPECT_EQ(U32(f, 70), buffer[0]);
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
    EXPECT_GT(
        std::count_if(p->pixels.begin(), p->pixels.end(), [&](DWORD q) { return q != white; }), 60);
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
