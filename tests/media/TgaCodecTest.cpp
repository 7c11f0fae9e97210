#include <gtest/gtest.h>
#include <signal.h>
#include <stb/stb_image.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <optional>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "KvMediaFile/KvPicture.h"
#include "TestSupport.h"
#include "fixtures/TgaWriter.h"
#include "host/FileName.h"
#include "platform/GlobalMemory.h"

namespace {

using Bytes = std::vector<unsigned char>;
using kvtest::TgaImage;
using kvtest::TgaPacking;
namespace fs = std::filesystem;

// A picture-buffer pixel: bytes B, G, R, A in memory.
constexpr DWORD Px(int b, int g, int r, int a = 255) {
  return DWORD(b) | DWORD(g) << 8 | DWORD(r) << 16 | DWORD(a) << 24;
}

int U16(const Bytes& f, std::size_t at) { return f[at] | f[at + 1] << 8; }
DWORD U32(const Bytes& f, std::size_t at) { return U16(f, at) | DWORD(U16(f, at + 2)) << 16; }

struct Picture {
  CRect rect;
  std::vector<DWORD> pixels;
};

// Loads through the codec and copies the buffer out. A failed load must leave the rect alone.
std::optional<Picture> LoadTga(const CString& path) {
  const CRect untouched(-7, -7, -7, -7);
  CRect rect = untouched;
  DWORD* buffer = KvMediaLoadTGAFile(path, rect);
  if (!buffer) {
    EXPECT_EQ(rect, untouched);
    return std::nullopt;
  }
  Picture p{rect, std::vector<DWORD>(buffer, buffer + std::size_t(rect.Width()) * rect.Height())};
  GlobalFree(buffer);
  return p;
}

std::optional<Picture> LoadTgaBytes(const Bytes& file) {
  kvtest::TempDir dir;
  kvtest::WriteFileBytes(dir.path() + "/in.tga", file);
  return LoadTga(dir.File("in.tga"));
}

std::vector<DWORD> LoadPixels(const TgaImage& image) {
  auto p = LoadTgaBytes(kvtest::WriteTga(image));
  return p ? p->pixels : std::vector<DWORD>{};
}

// Noisy file pixels with runs of repeats, some longer than a packet or crossing row ends.
Bytes Pattern(int count, int bytesPerPixel) {
  unsigned s = 12345;
  auto next = [&] { return (s = s * 1103515245u + 12345u) >> 16 & 0xFF; };
  Bytes out;
  while (out.size() < std::size_t(count) * bytesPerPixel) {
    Bytes px(bytesPerPixel);
    for (auto& b : px) b = static_cast<unsigned char>(next());
    const unsigned repeat = next() % 6 == 0 ? 1 + next() % 200 : 1;
    for (unsigned i = 0; i < repeat; ++i) out.insert(out.end(), px.begin(), px.end());
  }
  out.resize(std::size_t(count) * bytesPerPixel);
  return out;
}

// A buffer whose pixels all differ (for widths and heights up to 256), alpha included.
std::vector<DWORD> Gradient(int w, int h) {
  std::vector<DWORD> px;
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) px.push_back(Px(x & 255, y & 255, (x ^ y) & 255, (x + y) & 255));
  return px;
}

TgaImage Image(int type, int depth, int w, int h, Bytes pixels, int descriptor = 0x20) {
  return {.imageType = type,
          .pixelDepth = depth,
          .descriptor = descriptor,
          .width = w,
          .height = h,
          .pixels = std::move(pixels)};
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

// Saves a region and returns the file's bytes (empty when the save failed).
Bytes Save(const std::vector<DWORD>& buffer, CSize size, CRect region) {
  kvtest::TempDir dir;
  if (!KvMediaSaveTGAFile(dir.File("out.tga"), const_cast<DWORD*>(buffer.data()), size, region))
    return {};
  return kvtest::ReadFileBytes(dir.path() + "/out.tga");
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

TEST(TgaLoad, ConvertsEachPixelSize) {
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

  // Four bytes keep their alpha only at depth 32; three bytes get an opaque one.
  const Bytes bgra{1, 2, 3, 0, 4, 5, 6, 77};
  EXPECT_EQ(LoadPixels(Image(2, 32, 2, 1, bgra)), (std::vector{Px(1, 2, 3, 0), Px(4, 5, 6, 77)}));
  EXPECT_EQ(LoadPixels(Image(2, 31, 2, 1, bgra)), (std::vector{Px(1, 2, 3), Px(4, 5, 6)}));
  EXPECT_EQ(LoadPixels(Image(2, 24, 2, 1, {1, 2, 3, 4, 5, 6})),
            (std::vector{Px(1, 2, 3), Px(4, 5, 6)}));
}

TEST(TgaLoad, LooksColoursUpByTheStoredIndex) {
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

TEST(TgaLoad, RunLengthPacketsGiveTheUncompressedPicture) {
  // A run of four crossing the end of the first row, then two raw pixels.
  TgaImage crossing = Image(10, 24, 3, 2, {0x83, 1, 2, 3, 0x01, 4, 5, 6, 7, 8, 9});
  crossing.packing = TgaPacking::kAsGiven;
  EXPECT_EQ(LoadPixels(crossing), (std::vector{Px(1, 2, 3), Px(1, 2, 3), Px(1, 2, 3), Px(1, 2, 3),
                                               Px(4, 5, 6), Px(7, 8, 9)}));

  const int w = 47, h = 33;
  for (auto [packedType, plainType, depth] : {std::tuple{10, 2, 32}, {11, 3, 8}}) {
    const TgaImage plain = Image(plainType, depth, w, h, Pattern(w * h, depth / 8), 0x00);
    const auto expected = LoadPixels(plain);
    ASSERT_EQ(expected.size(), std::size_t(w * h));
    TgaImage packed = plain;
    packed.imageType = packedType;
    ASSERT_NE(kvtest::PackTgaPixels(plain.pixels, depth / 8, w, TgaPacking::kCrossRows),
              kvtest::PackTgaPixels(plain.pixels, depth / 8, w, TgaPacking::kPerRow))
        << "the pattern must make packets that cross rows";
    for (auto packing : {TgaPacking::kCrossRows, TgaPacking::kRawOnly, TgaPacking::kRunsOnly}) {
      packed.packing = packing;
      EXPECT_EQ(LoadPixels(packed), expected)
          << "type " << packedType << " depth " << depth << " packing " << int(packing);
    }
  }
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

TEST(TgaLoad, SizeLimitsHoldAtTheirEdges) {
  for (auto [type, w, h] : {std::tuple{10, 16383, 1}, {10, 1, 32767}})
    for (int over : {0, 1}) {  // one past the limit, across or down
      auto im = Image(type, 24, w + (h == 1) * over, h + (h > 1) * over, {});
      im.pixels.assign(std::size_t(im.width) * im.height * 3, 9);
      im.packing = TgaPacking::kRunsOnly;
      EXPECT_EQ(LoadTgaBytes(kvtest::WriteTga(im)).has_value(), !over) << w << "x" << h;
    }
}

// Every width the saver writes loads back, also rows wider than one read, in file order
// or bottom-up.
TEST(TgaLoad, WideRowsLoad) {
  kvtest::TempDir dir;
  for (int w : {8192, 65535}) {
    std::vector<DWORD> px(std::size_t(w) * 2);
    for (std::size_t i = 0; i < px.size(); ++i) px[i] = DWORD(i * 2654435761u);
    ASSERT_EQ(KvMediaSaveTGAFile(dir.File("wide.tga"), px.data(), CSize(w, 2), CRect(0, 0, w, 2)),
              1);
    const auto loaded = LoadTga(dir.File("wide.tga"));
    ASSERT_TRUE(loaded) << w;
    EXPECT_EQ(loaded->pixels, px) << w;
  }
  const int w = 40000;  // 120,000 bytes a row at 24 bits
  TgaImage colour = Image(2, 24, w, 2, Pattern(w * 2, 3), 0x00);
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
  const Bytes file = kvtest::WriteTga(mapped);
  ASSERT_TRUE(LoadTgaBytes(file));
  for (std::size_t n = 0; n < file.size(); ++n)
    EXPECT_FALSE(LoadTgaBytes(Bytes(file.begin(), file.begin() + n))) << "prefix " << n;
  TgaImage packed = Image(10, 32, 5, 3, Pattern(15, 4));
  // Whole packets, one pixel short.
  packed.pixels.resize(14 * 4);
  EXPECT_FALSE(LoadTgaBytes(kvtest::WriteTga(packed)));

  // Headers claiming gigabytes on files that hold almost nothing.
  const auto start = std::chrono::steady_clock::now();
  EXPECT_FALSE(LoadTgaBytes(kvtest::WriteTga(Image(2, 32, 65535, 65535, {}))));
  EXPECT_FALSE(LoadTgaBytes(kvtest::WriteTga(Image(10, 32, 16383, 32767, Bytes(4, 1)))));
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
}

TEST(TgaLoad, AgreesWithAnIndependentDecoder) {
  for (auto [type, depth] : {std::pair{2, 24}, {10, 32}, {11, 8}})
    for (int descriptor : {0x00, 0x20})
      for (auto [w, h] : {std::pair{47, 33}, {1, 1}}) {
        SCOPED_TRACE(testing::Message() << "type " << type << " depth " << depth << " descriptor "
                                        << descriptor << " " << w << "x" << h);
        TgaImage im = Image(type, depth, w, h, Pattern(w * h, depth / 8), descriptor);
        im.extensionAndFooter = w > 1;
        const Bytes file = kvtest::WriteTga(im);
        const auto ours = LoadTgaBytes(file);
        int sw = 0, sh = 0, channels = 0;
        unsigned char* rgba =
            stbi_load_from_memory(file.data(), int(file.size()), &sw, &sh, &channels, 4);
        ASSERT_TRUE(ours);
        ASSERT_TRUE(rgba);
        ASSERT_EQ(ours->rect, CRect(0, 0, sw, sh));
        std::vector<DWORD> theirs;
        for (int i = 0; i < sw * sh; ++i) {
          const unsigned char* p = rgba + 4 * i;
          theirs.push_back(Px(p[2], p[1], p[0], depth == 32 ? p[3] : 255));
        }
        stbi_image_free(rgba);
        EXPECT_EQ(ours->pixels, theirs);
      }
}

TEST(TgaSave, WritesTheRegionWithStampExtensionAndFooter) {
  const auto buffer = Gradient(64, 64);
  const Bytes f = Save(buffer, CSize(64, 64), CRect(10, 10, 30, 20));
  const std::size_t stamp = 82 + 4 * 20 * 10, ext = stamp + 2 + 4 * 64 * 48;
  ASSERT_EQ(f.size(), ext + 495 + 26);
  EXPECT_EQ(Bytes(f.begin(), f.begin() + 18),
            (Bytes{64, 0, 2, 0, 0, 0, 0, 0, 10, 0, 10, 0, 20, 0, 10, 0, 32, 0x20}));
  EXPECT_EQ(std::string(f.begin() + 18, f.begin() + 82),
            "Drevlock-32Bit-TrueColor-TGA" + std::string(36, '\0'));
  std::vector<DWORD> stored, region;
  for (int r = 0; r < 10; ++r)
    for (int c = 0; c < 20; ++c) {
      stored.push_back(U32(f, 82 + 4 * (r * 20 + c)));
      region.push_back(buffer[(10 + r) * 64 + 10 + c]);
    }
  EXPECT_EQ(stored, region);

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

  const auto back = LoadTgaBytes(f);
  ASSERT_TRUE(back);
  EXPECT_EQ(back->rect, CRect(10, 10, 30, 20));
  EXPECT_EQ(back->pixels, region);

  // The stamp of a small uniform picture is uniform.
  const Bytes s = Save(std::vector<DWORD>(6, Px(1, 2, 3, 4)), CSize(3, 2), CRect(0, 0, 3, 2));
  ASSERT_EQ(s.size(), 82 + 4 * 6 + 2 + 4 * 64 * 48 + 495 + 26);
  for (int i = 0; i < 64 * 48; ++i) ASSERT_EQ(U32(s, 82 + 4 * 6 + 2 + 4 * i), Px(1, 2, 3, 4)) << i;
}

TEST(TgaSave, ClipsTheRegionAndRefusesAnEmptyOne) {
  auto buffer = Gradient(4, 4);
  kvtest::TempDir dir;
  const auto p = LoadTgaBytes(Save(buffer, CSize(4, 4), CRect(-5, -5, 3, 2)));
  ASSERT_TRUE(p);
  EXPECT_EQ(p->rect, CRect(0, 0, 3, 2));
  EXPECT_EQ(p->pixels,
            (std::vector{buffer[0], buffer[1], buffer[2], buffer[4], buffer[5], buffer[6]}));
  for (CRect empty : {CRect(4, 0, 8, 4), CRect(2, 2, 2, 3), CRect(-3, -3, -1, -1)})
    EXPECT_EQ(KvMediaSaveTGAFile(dir.File("e.tga"), buffer.data(), CSize(4, 4), empty), 0);
  EXPECT_FALSE(fs::exists(dir.path() + "/e.tga"));
}

TEST(TgaSave, AFailedSaveLeavesNoFileAndKeepsTheOldOne) {
  auto buffer = Gradient(128, 128);
  const CRect all(0, 0, 128, 128);
  if (geteuid() != 0) {
    kvtest::TempDir dir;
    ASSERT_EQ(::chmod(dir.path().c_str(), 0555), 0);
    EXPECT_EQ(KvMediaSaveTGAFile(dir.File("out.tga"), buffer.data(), CSize(128, 128), all), 0);
    ::chmod(dir.path().c_str(), 0755);
    EXPECT_TRUE(fs::is_empty(dir.path()));
  }

  // The disk "fills" part way through the pixels.
  kvtest::TempDir dir;
  const Bytes old{1, 2, 3, 4, 5};
  kvtest::WriteFileBytes(dir.path() + "/out.tga", old);
  rlimit saved{};
  ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
  rlimit small = saved;
  small.rlim_cur = 20000;
  const auto oldHandler = signal(SIGXFSZ, SIG_IGN);
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
  const int saved_ok = KvMediaSaveTGAFile(dir.File("out.tga"), buffer.data(), CSize(128, 128), all);
  setrlimit(RLIMIT_FSIZE, &saved);
  signal(SIGXFSZ, oldHandler);
  EXPECT_EQ(saved_ok, 0);
  EXPECT_EQ(kvtest::ReadFileBytes(dir.path() + "/out.tga"), old);
  std::vector<std::string> left;
  for (const auto& entry : fs::directory_iterator(dir.path()))
    left.push_back(entry.path().filename().string());
  EXPECT_EQ(left, std::vector<std::string>{"out.tga"});
}

TEST(PictureService, TypesFollowTheExtension) {
  const std::pair<const wchar_t*, int> cases[] = {
      {L"/a/Photo.Tga", 1}, {L"p.bmp", 2},      {L"p.gif", 3},        {L"p.pcx", 4},
      {L"p.JPG", 5},        {L"p.png", 6},      {L"p.psd", 7},        {L"p.sve", 8},
      {L"p.fli", 9},        {L"photo.jpeg", 0}, {L"/x.tga/photo", 0}, {L"p.flc", 0}};
  for (const auto& [path, expected] : cases) {
    int type = -1;
    EXPECT_EQ(KvMediaGetPicFileType(path, type), expected != 0 ? 1 : 0) << path;
    EXPECT_EQ(type, expected) << path;
  }
}

TEST(PictureService, LoadsTgaByExtensionOrContent) {
  kvtest::TempDir dir;
  TgaImage im = Image(2, 24, 2, 1, {1, 2, 3, 4, 5, 6});
  im.xOrigin = 3;
  im.yOrigin = 300;
  im.id = {'i', 'd'};
  for (const char* name : {"x.tga", "x.dat", "x.bmp"})
    kvtest::WriteFileBytes(dir.path() + "/" + name, kvtest::WriteTga(im));
  CRect rect;
  EXPECT_EQ(KvMediaLoadPicFile(dir.File("missing.tga"), rect), nullptr);
  EXPECT_EQ(KvMediaLoadPicFile(dir.File("x.bmp"), rect), nullptr);  // no second guess
  for (const char* name : {"x.tga", "x.dat"}) {
    rect = CRect();
    DWORD* pixels = KvMediaLoadPicFile(dir.File(name), rect);
    ASSERT_NE(pixels, nullptr) << name;
    EXPECT_EQ(rect, CRect(3, 300, 5, 301));
    EXPECT_EQ(std::vector(pixels, pixels + 2), (std::vector{Px(1, 2, 3), Px(4, 5, 6)}));
    GlobalFree(pixels);
  }
}

TEST(PictureService, SavesWithProgressAndMessages) {
  kvtest::TempDir dir;
  auto buffer = Gradient(8, 8);
  const CRect all(0, 0, 8, 8);
  {
    kvtest::RecordingUi ui;
    EXPECT_EQ(KvMediaSavePicFile(dir.File("out.png"), buffer.data(), CSize(8, 8), all, nullptr), 0);
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_EQ(ui.messages[0].text, L"无法保存该文件格式，请选择BMP或TGA文件后缀名！");
    EXPECT_TRUE(fs::is_empty(dir.path()));
  }
  {
    kvtest::RecordingUi ui;
    const CString path = dir.File("out.TGA");
    EXPECT_EQ(KvMediaSavePicFile(path, buffer.data(), CSize(8, 8), all, nullptr), 1);
    EXPECT_TRUE(ui.messages.empty());
    EXPECT_EQ(ui.progressTexts, std::vector<CString>{L"正在保存图像文件" + path + L"，请稍侯..."});
    EXPECT_EQ(ui.progressOpen, 0);
    EXPECT_TRUE(LoadTga(path));
  }
  {
    kvtest::RecordingUi ui;
    EXPECT_EQ(KvMediaSavePicFile(L"/proc/kvtest-no-write/out.tga", buffer.data(), CSize(8, 8), all,
                                 nullptr),
              0);
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_EQ(ui.messages[0].text, L"保存图像文件出错！");
  }
}

TEST(PictureService, PromptedSaveAsksForATgaOrBmpName) {
  kvtest::TempDir dir;
  auto buffer = Gradient(8, 8);
  {
    kvtest::RecordingUi ui;
    EXPECT_EQ(KvMediaPromptSavePicFile(buffer.data(), CSize(8, 8), CRect(2, 2, 2, 8), nullptr), 0);
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_EQ(ui.messages[0].text, L"不符合图像文件尺寸，不能保存！");
    EXPECT_TRUE(ui.fileRequests.empty());
  }
  {
    kvtest::RecordingUi ui;  // cancelled
    EXPECT_EQ(KvMediaPromptSavePicFile(buffer.data(), CSize(8, 8), CRect(0, 0, 8, 8), nullptr), 0);
    EXPECT_TRUE(ui.messages.empty());
    EXPECT_EQ(ui.fileRequests.size(), 1u);
  }
  kvtest::RecordingUi ui;
  ui.chosenPath = dir.File("chosen.tga");
  EXPECT_EQ(KvMediaPromptSavePicFile(buffer.data(), CSize(8, 8), CRect(0, 0, 4, 2), nullptr), 1);
  ASSERT_EQ(ui.fileRequests.size(), 1u);
  EXPECT_FALSE(ui.fileRequests[0].open);
  EXPECT_EQ(ui.fileRequests[0].flags, 6u);
  EXPECT_EQ(ui.fileRequests[0].filter, L"TGA文件(*.tga)|*.tga|BMP文件(*.bmp)|*.bmp||");
  const auto back = LoadTga(ui.chosenPath);
  ASSERT_TRUE(back);
  EXPECT_EQ(back->rect, CRect(0, 0, 4, 2));
}

TEST(PictureService, EmptyPictureIsTransparentAndNeverOverwrites) {
  kvtest::TempDir dir;
  const CString path = dir.File("empty.tga");
  EXPECT_EQ(KvMediaCreateEmptyPicFile(path, CSize(4, 4)), 1);
  const auto p = LoadTga(path);
  ASSERT_TRUE(p);
  EXPECT_EQ(p->rect, CRect(0, 0, 4, 4));
  EXPECT_EQ(p->pixels, std::vector<DWORD>(16, 0));

  const Bytes other{'n', 'o', 't', ' ', 't', 'g', 'a'};
  kvtest::WriteFileBytes(dir.path() + "/other.tga", other);
  EXPECT_EQ(KvMediaCreateEmptyPicFile(dir.File("other.tga"), CSize(4, 4)), 1);
  EXPECT_EQ(kvtest::ReadFileBytes(dir.path() + "/other.tga"), other);

  const CString expected = KvGetAppModulePath() + L"Velmora_Empty.tga";
  const bool existed = fs::exists(expected.ToUtf8());
  const CString first = KvMediaGetEmptyPicFile(1);
  EXPECT_EQ(first, expected);
  EXPECT_EQ(KvMediaGetEmptyPicFile(1), first);
  EXPECT_TRUE(LoadTga(expected));
  if (!existed) fs::remove(expected.ToUtf8());
}
