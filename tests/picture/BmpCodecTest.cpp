#include <gtest/gtest.h>

#include "KvMediaFile/KvMediaResources.h"
#include "KvMediaFile/KvPicture.h"
#include "MediaChecks.h"
#include "fixtures/BmpWriter.h"
#include "picture/BmpCodec.h"

namespace {

using kvtest::BmpImage;
using kvtest::Bytes;
using kvtest::Picture;
using kvtest::Px;
using kvtest::U16;
using kvtest::U32;
constexpr DWORD kClear = 0;  // what no code wrote: black, fully transparent

std::optional<Picture> LoadBmpBytes(const Bytes& file) {
  return kvtest::LoadBytes(KvMediaLoadBMPFile, "in.bmp", file);
}

// The same decoder without a file on disk, for inputs tried by the hundred.
bool Decodes(Bytes file) {
  CMemFile memory(file.data(), static_cast<UINT>(file.size()));
  CRect rect = kvtest::kUntouched;
  DWORD* buffer = KvDecodeBmpFile(memory, rect);
  return kvtest::TakePicture(buffer, rect).has_value();
}

std::optional<Picture> Load(const BmpImage& image) { return LoadBmpBytes(kvtest::WriteBmp(image)); }

std::vector<DWORD> LoadPixels(const BmpImage& image) {
  auto p = Load(image);
  return p ? p->pixels : std::vector<DWORD>{};
}

Bytes Noise(std::size_t count, unsigned seed) { return kvtest::NoiseWithRuns(count, 1, 256, seed); }

// Indices below `colours` with runs of repeats, some as long as a row.
Bytes IndicesWithRuns(std::size_t count, int colours) {
  return kvtest::NoiseWithRuns(count, 1, colours, 99);
}

BmpImage Image(int bits, int w, int h, Bytes pixels, Bytes palette = {}, int compression = 0) {
  BmpImage im{.width = w, .height = h, .bitCount = bits, .compression = compression};
  im.colorsUsed = int(palette.size() / 4), im.palette = std::move(palette);
  im.pixels = std::move(pixels);
  return im;
}

// 8-bit run-length pictures over a palette of three colours.
const Bytes kThreeColours{10, 11, 12, 0, 20, 21, 22, 0, 30, 31, 32, 0};
BmpImage Rle8(int w, int h, Bytes codes) {
  return Image(8, w, h, std::move(codes), kThreeColours, 1);
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
  BmpImage few = Image(8, 4, 1, {0, 1, 2, 255}, {1, 2, 3, 9, 4, 5, 6, 0});
  few.colorsUsed = 2;
  EXPECT_EQ(LoadPixels(few), (std::vector{Px(1, 2, 3), Px(4, 5, 6), Px(0, 0, 0), Px(0, 0, 0)}));
  // At most 256 entries.
  BmpImage full = Image(8, 4, 1, {0, 1, 2, 255}, Bytes(4 * 257, 7));
  full.colorsUsed = 257;
  EXPECT_FALSE(Load(full));
  full.colorsUsed = 256;
  full.palette.resize(4 * 256);
  EXPECT_TRUE(Load(full));
  // Row order, padding and the dropped alpha of 32 bits are left to the cross-check above.
  // 16 bits: five bits a channel shifted up by three, so 31 gives 248, not 255; bit 15 is
  // ignored.
  EXPECT_EQ(LoadPixels(Image(16, 3, 1, {0xFF, 0x7F, 0x1F, 0x80, 0x41, 0x04, 0, 0})),
            (std::vector{Px(248, 248, 248), Px(248, 0, 0), Px(8, 16, 8)}));
}

TEST(BmpLoad, RunLengthMatchesUncompressed) {
  const int w = 47, h = 33;
  for (int bits : {4, 8}) {
    SCOPED_TRACE(testing::Message() << bits << " bits");
    const Bytes indices = IndicesWithRuns(w * h, 1 << bits);
    const Bytes palette = Noise(4u << bits, 5);
    const auto plain =
        LoadPixels(Image(bits, w, h, kvtest::PackBmpRows(indices, w, bits), palette));
    ASSERT_EQ(plain.size(), std::size_t(w * h));
    const Bytes codes = kvtest::EncodeBmpRle(indices, w, bits);
    EXPECT_EQ(LoadPixels(Image(bits, w, h, codes, palette, bits == 8 ? 1 : 2)), plain);
  }
}

TEST(BmpLoad, RunLengthSkipsLeaveTransparentBlack) {
  const DWORD a = Px(10, 11, 12), b = Px(20, 21, 22), c = Px(30, 31, 32);
  // Bottom row: two of colour 1, then a delta of one right and one up; one of colour 2 and
  // an early end of line; the top row is ended by the end of the bitmap.
  const Bytes codes{2, 1, 0, 2, 1, 1, 1, 2, 0, 0, 0, 1};
  EXPECT_EQ(LoadPixels(Rle8(4, 3, codes)), (std::vector{kClear, kClear, kClear, kClear,  //
                                                        kClear, kClear, kClear, c,       //
                                                        b, b, kClear, kClear}));
  // Four bits: an encoded run alternates its two nibbles; an absolute run takes them in
  // order, padded to a 16-bit word.
  BmpImage nibbles = Rle8(5, 2, {5, 0x12, 0, 0, 0, 3, 0x20, 0x10, 0, 1});
  nibbles.bitCount = 4;
  nibbles.compression = 2;
  EXPECT_EQ(LoadPixels(nibbles), (std::vector{c, a, b, kClear, kClear, b, c, b, c, b}));
}

TEST(BmpLoad, RejectsHeadersItDoesNotReadAndCodesOutsideThePicture) {
  const auto valid = Image(24, 1, 1, {1, 2, 3, 0});
  ASSERT_TRUE(Load(valid));
  ASSERT_TRUE(Load(Rle8(4, 2, {4, 1, 0, 0, 4, 2, 0, 0, 0, 1})));
  auto with = [](BmpImage im, int BmpImage::*field, int value) {
    im.*field = value;
    return im;
  };
  const std::pair<const char*, BmpImage> refused[] = {
      {"64-byte header", with(valid, &BmpImage::headerSize, 64)},
      {"width 0", with(valid, &BmpImage::width, 0)},
      {"height 0", with(valid, &BmpImage::height, 0)},
      {"2 bits", with(valid, &BmpImage::bitCount, 2)},
      {"48 bits", with(Image(48, 1, 1, Bytes(8, 1)), &BmpImage::bitCount, 48)},
      {"8 bits, 4-bit run-length", Image(8, 2, 1, {0, 0, 0, 1}, Bytes(1024, 0), 2)},
      {"run past the row's end", Rle8(4, 2, {3, 1, 2, 1, 0, 1})},
      {"absolute run past the row's end", Rle8(4, 2, {2, 1, 0, 3, 1, 1, 1, 0, 0, 1})},
      {"delta to the row's end", Rle8(4, 2, {0, 2, 4, 0, 0, 1})},
      {"delta above the top row", Rle8(4, 2, {0, 2, 0, 2, 0, 1})},
      {"more rows than the height", Rle8(4, 2, {0, 0, 0, 0, 0, 0, 0, 1})},
      {"no end of bitmap", Rle8(4, 2, {4, 1, 0, 0})},
      {"top-down run-length", Rle8(4, -2, {0, 1})},
  };
  for (const auto& [what, image] : refused) EXPECT_FALSE(Load(image)) << what;
  Bytes notBm = kvtest::WriteBmp(valid);
  notBm[1] = 'A';
  EXPECT_FALSE(LoadBmpBytes(notBm));
  // 24 bits may say any compression.
  EXPECT_TRUE(Load(with(valid, &BmpImage::compression, 3)));
}

TEST(BmpLoad, ShortAndLyingFilesFailQuickly) {
  BmpImage indexed =
      Image(8, 4, 3, kvtest::PackBmpRows(IndicesWithRuns(12, 4), 4, 8), Noise(16, 3));
  kvtest::ExpectEveryPrefixFails(kvtest::WriteBmp(indexed), Decodes);
  // The last row's padding may be missing.
  indexed = Image(8, 5, 3, kvtest::PackBmpRows(IndicesWithRuns(15, 4), 5, 8), Noise(16, 3));
  const Bytes padded = kvtest::WriteBmp(indexed);
  EXPECT_TRUE(Decodes(Bytes(padded.begin(), padded.end() - 3)));
  // Pixel data sought past the end.
  indexed.pixelOffset = 1 << 20;
  EXPECT_FALSE(Load(indexed));
  // Headers claiming huge pictures on files that hold almost nothing.
  kvtest::ExpectQuick(std::chrono::seconds(2), [] {
    EXPECT_FALSE(Load(Image(32, 30000, 30000, Bytes(64, 1))));
    EXPECT_FALSE(Load(Image(24, 0x7FFFFFFF, -0x7FFFFFFF - 1, Bytes(64, 1))));
    EXPECT_FALSE(Load(Rle8(16000, 16000, Bytes(64, 1))));
  });
}

TEST(BmpSave, FourByTwoIsAnEightySixByteFile) {
  const auto buffer = kvtest::Gradient(4, 2);
  const Bytes f =
      kvtest::SavedBytes(KvMediaSaveBMPFile, "out.bmp", buffer, CSize(4, 2), CRect(0, 0, 4, 2));
  ASSERT_EQ(f.size(), 86u);
  // Magic, file size, pixel offset; header size, width, height, planes, bits, compression,
  // image size, resolutions.
  EXPECT_EQ((std::vector<DWORD>{DWORD(U16(f, 0)), U32(f, 2), U32(f, 10), U32(f, 14), U32(f, 18),
                                U32(f, 22), DWORD(U16(f, 26)), DWORD(U16(f, 28)), U32(f, 30),
                                U32(f, 34), U32(f, 38), U32(f, 42)}),
            (std::vector<DWORD>{0x4D42, 86, 54, 40, 4, 2, 1, 32, 0, 32, 4, 2}));
  EXPECT_EQ(U32(f, 54), buffer[4]);  // bottom row first, alpha as in the buffer
  EXPECT_EQ(U32(f, 70), buffer[0]);
  auto opaque = buffer;
  for (DWORD& px : opaque) px |= 0xFF000000u;
  EXPECT_EQ(LoadBmpBytes(f), (Picture{{0, 0, 4, 2}, opaque}));
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
