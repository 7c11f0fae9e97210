// KvMediaGetPicFacts and KvMediaGetPicInfo over files of every type: the header's facts, that
// they agree with what loading the file gives (size, and whether any pixel keeps its
// transparency), and the older information call's rect and bits.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <tuple>
#include <vector>

#include "BmpWriter.h"
#include "GifWriter.h"
#include "KvMediaFile/KvPicture.h"
#include "MediaChecks.h"
#include "PcxWriter.h"
#include "PngWriter.h"
#include "PsdWriter.h"
#include "TestSupport.h"
#include "TgaWriter.h"
#include "host/Failure.h"
#include "picture/CodecEntry.h"
#include "picture/GifDecoder.h"
#include "picture/JpegCodec.h"
#include "picture/PsdReader.h"
#include "platform/GlobalMemory.h"

namespace {

using kvtest::Bytes;
const CRect kNone(1, 2, 3, 4);  // what the information call must leave alone

// A 2 x 2 PNG.
Bytes Png(int colorType, int bitDepth, Bytes samples, Bytes palette = {}, Bytes alphas = {}) {
  kvtest::TempDir dir;
  const std::string path = dir.path() + "/a.png";
  const kvtest::PngImage image{2, 2, colorType, bitDepth, samples, palette, alphas};
  return kvtest::WritePng(path, image) ? kvtest::ReadFileBytes(path) : Bytes{};
}

// A 2 x 2 BMP with bit fields under a header of `header` bytes.
Bytes Fields(int header, int bits, std::vector<unsigned> masks, Bytes pixels) {
  kvtest::BmpImage im{.width = 2, .height = 2, .bitCount = bits, .compression = 3};
  im.headerSize = header, im.trueHeaderSize = true, im.masks = masks, im.pixels = pixels;
  return kvtest::WriteBmp(im);
}

// Rows of 2 x 2 pictures unless said otherwise; where a file stores alpha, one pixel has
// some, so that loading shows whether it is kept. The information call gives the facts' rect
// and `bits`, its own figure for each type (for PNG the bytes a pixel of its decoded form); -1:
// nothing read (no type for the extension).
struct Row {
  const char* name;
  Bytes file;
  struct {
    SKvPicFacts facts;
    int bits;
  } want;
};

std::vector<Row> Rows() {
  const Bytes bgra = {1, 2, 3, 255, 4, 5, 6, 0x80, 7, 8, 9, 255, 10, 11, 12, 255};
  const std::vector<std::uint32_t> pixels = {0xFF010203, 0x80040506, 0xFF070809, 0xFF0A0B0C};
  using kvtest::WriteTga;
  const auto tga = [](int type, int depth, Bytes pixels) {
    kvtest::TgaImage im{.imageType = type, .pixelDepth = depth, .width = 2, .height = 2};
    im.pixels = std::move(pixels);
    return im;
  };
  kvtest::TgaImage placed = kvtest::Tga32(2, 2, pixels), mapped = tga(1, 8, {0, 1, 1, 0});
  placed.xOrigin = 10, placed.yOrigin = 20;
  std::tie(mapped.colorMapType, mapped.colorMapLength, mapped.colorMapEntryBits) =
      std::tuple(1, 2, 32);
  mapped.colorMap = {1, 2, 3, 0x40, 4, 5, 6, 0x40};
  kvtest::PcxImage planes{.bitsPerPixel = 1, .xmin = 5, .ymin = 6, .xmax = 12, .ymax = 7};
  planes.planes = 4, planes.bytesPerLine = 2, planes.lines = Bytes(2 * 4 * 2, 0xA5);
  // clang-format off
  return {
      {"a.tga", WriteTga(placed), {{KV_PIC_TGA, 2, 2, 10, 20, 32, 4, true}, 32}},
      {"grey-alpha.tga", WriteTga(tga(11, 16, {9, 255, 9, 0x80, 9, 255, 9, 255})), {{KV_PIC_TGA, 2, 2, 0, 0, 16, 2, true}, 16}},
      // 32-bit colour-map entries, but indexed pictures load opaque.
      {"mapped.tga", WriteTga(mapped), {{KV_PIC_TGA, 2, 2, 0, 0, 8, 3, false}, 8}},
      // The 12-byte header: 16-bit sizes.
      {"core.bmp", kvtest::WriteBmp({.width = 3, .height = 2, .headerSize = 12, .trueHeaderSize = true, .pixels = Bytes(24, 0x55)}), {{KV_PIC_BMP, 3, 2, 0, 0, 24, 3, false}, 24}},
      {"v4.bmp", Fields(108, 32, {0xFF0000, 0xFF00, 0xFF, 0xFF000000}, bgra), {{KV_PIC_BMP, 2, 2, 0, 0, 32, 4, true}, 32}},
      // 16-bit 4444 with an alpha mask; the extension without a type code.
      {"v5.dib", Fields(124, 16, {0xF00, 0xF0, 0xF, 0xF000}, {0x12, 0xF3, 0x45, 0x86, 0x12, 0xF3, 0x45, 0xF6}), {{KV_PIC_BMP, 2, 2, 0, 0, 16, 4, true}, 16}},
      // 16 colours in four bit planes, placed at (5, 6).
      {"planes.pcx", kvtest::WritePcx(planes), {{KV_PIC_PCX, 8, 2, 5, 6, 4, 3, false}, 4}},
      {"a.jpg", kvtest::SavedBytes(KvMediaSaveJPGFile, "a.jpg", std::vector<DWORD>(15, 0x80FF8040), CSize(5, 3), CRect(0, 0, 5, 3)), {{KV_PIC_JPG, 5, 3, 0, 0, 24, 3, false}, 32}},
      {"rgb.png", Png(2, 8, Bytes(12, 7)), {{KV_PIC_PNG, 2, 2, 0, 0, 24, 3, false}, 3}},
      // A transparency chunk adds alpha to the palette's colours.
      {"palette.png", Png(3, 8, {0, 1, 1, 1}, {1, 2, 3, 4, 5, 6}, {0x40}), {{KV_PIC_PNG, 2, 2, 0, 0, 8, 4, true}, 4}},
      {"rgb.psd", kvtest::WritePsd({.channels = 3, .height = 2, .width = 2, .planes = kvtest::PsdRgbPlanes(pixels, false)}), {{KV_PIC_PSD, 2, 2, 0, 0, 24, 3, false}, 8}},
      {"rgba.psd", kvtest::WritePsd({.channels = 4, .height = 2, .width = 2, .planes = kvtest::PsdRgbPlanes(pixels, true)}), {{KV_PIC_PSD, 2, 2, 0, 0, 32, 4, true}, 8}},
      // Four channels, but only RGB takes the fourth as alpha.
      {"cmyk.psd", kvtest::WritePsd({.channels = 4, .height = 2, .width = 2, .mode = 4, .planes = Bytes(16, 0x80)}), {{KV_PIC_PSD, 2, 2, 0, 0, 32, 4, false}, 8}},
      // No picture extension: the content decides.
      {"gif.dat", kvtest::WriteGif(kvtest::OneImageGif(4, 3, Bytes(12, 1), kvtest::DistinctColours(2))), {{KV_PIC_GIF, 4, 3, 0, 0, 1, 3, false}, -1}},
  };
  // clang-format on
}

// The facts as a tuple, which the test macros compare and print.
auto Tied(const SKvPicFacts& f) {
  return std::tuple(f.type, f.width, f.height, f.x, f.y, f.storedBits, f.channels, f.alpha);
}

}  // namespace

// The format contracts facts rule, over a row of each type and of each layout that changes
// the facts.
TEST(FormatContract, FactsOfEveryTypeAgreeWithItsLoad) {
  const kvtest::OpenLibrary library;
  kvtest::TempDir dir;
  for (const Row& row : Rows()) {
    SCOPED_TRACE(row.name);
    ASSERT_FALSE(row.file.empty());
    const CString path = dir.Write(row.name, row.file);
    SKvPicFacts facts;
    ASSERT_TRUE(KvMediaGetPicFacts(path, &facts)) << KvMediaGetLastFailure().ToUtf8();
    EXPECT_EQ(Tied(facts), Tied(row.want.facts));
    EXPECT_TRUE(KvMediaGetLastFailure().IsEmpty());
    CRect loaded;
    const auto picture = kvtest::TakePicture(KvMediaLoadPicFile(path, loaded), loaded, loaded);
    ASSERT_TRUE(picture);
    EXPECT_EQ(picture->rect.Size(), CSize(facts.width, facts.height));
    bool transparent = false;
    for (DWORD p : picture->pixels) transparent = transparent || (p >> 24) != 255;
    EXPECT_EQ(transparent, facts.alpha);
    RECT rect = kNone;
    int bits = -1;
    EXPECT_EQ(KvMediaGetPicInfo(path, &rect, &bits), 1);
    EXPECT_EQ(KvMediaGetPicInfo(path, nullptr, nullptr), 1);
    EXPECT_EQ(std::pair(CRect(rect), bits),
              std::pair(row.want.bits < 0 ? kNone
                                          : CRect(facts.x, facts.y, facts.x + facts.width,
                                                  facts.y + facts.height),
                        row.want.bits));
  }
}

TEST(PictureFacts, RefusalsGiveTheLoadersReason) {
  const kvtest::OpenLibrary library;
  kvtest::TempDir dir;
  Bytes png = Png(6, 8, Bytes(16, 1));
  Bytes pngWithoutHeader = png;
  pngWithoutHeader[12] = 'X';  // IHDR's name
  // Each file is refused by the facts and by the load, with the same reason.
  kvtest::ExpectReasons(
      {
          {"png.tga", png, "content is PNG, not TGA"},
          {"a.png", pngWithoutHeader, "IHDR is not the first chunk"},
          {"fields8.bmp",  // a layout the loader does not read: its alpha cannot be told
           kvtest::WriteBmp({.width = 2, .height = 2, .bitCount = 8, .compression = 3}),
           "8-bit BMP with compression 3 is not supported"},
          {"core.bmp",
           kvtest::Cut(kvtest::WriteBmp(
                           {.width = 3, .height = 2, .headerSize = 12, .trueHeaderSize = true}),
                       20),
           "truncated: 20 of 22 bytes"},
          {"empty.psd", kvtest::WritePsd({.height = 0, .width = 2}), "height 0"},
          {"empty.bmp", kvtest::WriteBmp({.width = 0, .height = 2}), "width 0"},
          {"empty.pcx", kvtest::WritePcx({.xmin = 1, .xmax = 0}), "width 0"},
          {"a.jpg", Bytes(64, 0xFF), "not a JPEG file, or its header is damaged"},
          {"missing.gif", {}, "no such file"},
      },
      [&](const kvtest::Refusal& row) {
        const CString path = row.file.empty() ? dir.File(row.name) : dir.Write(row.name, row.file);
        SKvPicFacts facts{.type = -1};
        EXPECT_FALSE(KvMediaGetPicFacts(path, &facts));
        EXPECT_EQ(KvMediaGetLastFailure().ToUtf8(), row.reason);
        EXPECT_EQ(facts.type, -1);  // not written
        CRect rect;
        return !KvGlobalPtr(KvMediaLoadPicFile(path, rect));
      });
  SKvPicFacts facts;
  // A PNG of width 0: refused by its header (the decoder, which fails later, words it its way).
  Bytes zeroWide = png;
  std::fill(zeroWide.begin() + 16, zeroWide.begin() + 20, 0);
  EXPECT_FALSE(KvMediaGetPicFacts(dir.Write("zero.png", zeroWide), &facts));
  EXPECT_EQ(KvMediaGetLastFailure().ToUtf8(), "width 0");
  EXPECT_FALSE(KvMediaGetPicFacts(CString::FromUtf8(dir.path()), &facts));
  EXPECT_EQ(KvMediaGetLastFailure().ToUtf8(), "is a folder");
  EXPECT_FALSE(KvMediaGetPicFacts(dir.Write("text.dat", Bytes(40, 'x')), &facts));
  EXPECT_EQ(KvMediaGetLastFailure().ToUtf8(), "not a picture type this library reads");
}

// Where the information call refuses a header, or reads one that the facts do not: the
// screen of a GIF, its table's size code even without a table, a PSD that does not load. A
// refusal leaves the results alone, but a JPEG's bits are 32 before the file is looked at.
TEST(PictureInfo, RefusedAndOtherHeaders) {
  const kvtest::OpenLibrary library;
  kvtest::TempDir dir;
  const auto bmp = [](int height, char magic = 'M') {
    return kvtest::Changed(
        kvtest::WriteBmp({.width = 5, .height = height, .bitCount = 8, .pixels = Bytes(24)}), 1,
        magic);
  };
  kvtest::GifFile gif = kvtest::OneImageGif(3, 2, {0, 1, 2, 3, 0, 1}, kvtest::DistinctColours(32));
  std::tie(gif.screenWidth, gif.screenHeight) = std::tuple(300, 200);
  kvtest::GifFile noTable = gif;
  noTable.globalTable.clear(), noTable.globalSizeCode = 7;
  const Bytes gifHead{'G', 'I', 'F', '8', '9', 'a', 1, 0, 1, 0, 0, 0, 0, 0};
  // Compressed with ZIP, which the decoder refuses; the header is right.
  const Bytes psd = kvtest::WritePsd(
      {.height = 1, .width = 2, .depth = 16, .compression = 2, .planes = {1, 2, 3, 4, 5, 6}});
  const struct {
    const char* name;
    Bytes file;
    int result;
    CRect rect;
    int bits;
  } cases[] = {
      {"b.bmp", bmp(3, 'A'), 0, kNone, -1},
      {"tall.bmp", bmp(INT32_MIN), 0, kNone, -1},
      {"narrow.bmp", kvtest::WriteBmp({.width = 0, .height = 2, .pixels = Bytes(8)}), 0, kNone, -1},
      {"b.tga", kvtest::WriteTga({.imageType = 4, .width = 1, .height = 1}), 0, kNone, -1},
      {"b.pcx", Bytes(128, 11), 0, kNone, -1},
      {"a.gif", kvtest::WriteGif(gif), 1, {0, 0, 300, 200}, 5},
      {"b.gif", kvtest::WriteGif(noTable), 1, {0, 0, 300, 200}, 8},
      {"c.gif", gifHead, 1, {0, 0, 1, 1}, 1},
      {"short.gif", kvtest::Cut(gifHead, 13), 0, kNone, -1},
      {"87.gif", kvtest::Changed(gifHead, 3, '7'), 0, kNone, -1},
      {"no-width.gif", kvtest::Changed(gifHead, 6, 0), 0, kNone, -1},
      {"no-height.gif", kvtest::Changed(gifHead, 8, 0), 0, kNone, -1},
      {"a.psd", psd, 1, {0, 0, 2, 1}, 16},
      {"signature.psd", kvtest::Changed(psd, 3, 'X'), 0, kNone, -1},
      {"b.png", {0x89, 'P', 'N', 'G', 1, 2, 3}, 0, kNone, -1},
      {"gif.jpg", kvtest::WriteGif(gif), 0, kNone, 32},
      {"empty.jpg", {}, 0, kNone, 32},
      {"soi.jpg", {0xFF, 0xD8}, 0, kNone, 32},
      {"a.sve", {1}, 1, kNone, -1},  // a type without information: nothing read, nothing known
  };
  for (const auto& c : cases) {
    const CString path = dir.Write(c.name, c.file);
    RECT rect = kNone;
    int bits = -1;
    EXPECT_EQ(KvMediaGetPicInfo(path, &rect, &bits), c.result) << c.name;
    EXPECT_EQ(std::pair(CRect(rect), bits), std::pair(c.rect, c.bits)) << c.name;
    EXPECT_EQ(KvMediaGetPicInfo(path, nullptr, nullptr), c.result) << c.name;
  }
}

// Every codec's entry: a file error or a short allocation ends the read as a refusal with
// its reason, and a refusal or a result passes through.
TEST(CodecEntry, TurnsExceptionsIntoReasons) {
  const struct {
    int (*work)();
    int result;
    const char* reason;
  } cases[] = {
      {[]() -> int { throw CFileException(CFileException::genericException); }, 0,
       "cannot read the file"},
      {[]() -> int { throw std::bad_alloc(); }, 0, "out of memory"},
      {[]() -> int { return KvFail("width 0"); }, 0, "width 0"},
      {[] { return 1; }, 1, ""},
  };
  for (const auto& c : cases) {
    KvClearFailure();
    EXPECT_EQ(KvGuarded(c.work), c.result) << c.reason;
    EXPECT_EQ(KvLastFailure(), c.reason);
  }
}
