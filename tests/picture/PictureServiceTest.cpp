// The picture service: dispatch by extension, information, the savers' shared rules, prompts
// and the empty picture.
#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <tuple>

#include "KvMediaFile/KvPicture.h"
#include "PictureChecks.h"
#include "TestSupport.h"
#include "fixtures/BmpWriter.h"
#include "fixtures/GifWriter.h"
#include "fixtures/PcxWriter.h"
#include "fixtures/PngWriter.h"
#include "fixtures/PsdWriter.h"
#include "fixtures/TgaWriter.h"
#include "host/FileName.h"

namespace {

using kvtest::Bytes;
using kvtest::Px;
namespace fs = std::filesystem;

std::optional<kvtest::Picture> LoadTga(const CString& path) {
  CRect rect = kvtest::kUntouched;
  return kvtest::TakePicture(KvMediaLoadTGAFile(path, rect), rect);
}

// Two pixels standing at (3, 300).
kvtest::TgaImage SmallTga() {
  return {.xOrigin = 3, .yOrigin = 300, .width = 2, .height = 1, .pixels = {1, 2, 3, 4, 5, 6}};
}

struct Saver {
  const char* name;
  kvtest::PathSaver save;
  kvtest::PathLoader load;
  bool usesRegion;  // a JPEG takes the whole buffer
};
const Saver kSavers[] = {{"out.tga", KvMediaSaveTGAFile, KvMediaLoadTGAFile, true},
                         {"out.bmp", KvMediaSaveBMPFile, KvMediaLoadBMPFile, true},
                         {"out.pcx", KvMediaSavePCXFile, KvMediaLoadPCXFile, true},
                         {"out.jpg", KvMediaSaveJPGFile, KvMediaLoadJPGFile, false}};

}  // namespace

TEST(PictureSave, AFailedSaveKeepsTheOldFileAndLeavesNothingElse) {
  auto buffer = kvtest::Gradient(128, 128);
  const CSize size(128, 128);
  for (const Saver& saver : kSavers) {
    SCOPED_TRACE(saver.name);
    // The disk "fills" part way through the file.
    kvtest::ExpectFullDiskKeepsTheOldFile(saver.name, 1000, [&](const CString& path) {
      return saver.save(path, buffer.data(), size, CRect(0, 0, 128, 128));
    });
    // A region with nothing of the buffer in it.
    if (saver.usesRegion)
      for (CRect empty : {CRect(128, 0, 140, 4), CRect(2, 2, 2, 3), CRect(-5, -5, 0, 0)})
        kvtest::ExpectFullDiskKeepsTheOldFile(saver.name, 1 << 30, [&](const CString& path) {
          return saver.save(path, buffer.data(), size, empty);
        });
    EXPECT_EQ(saver.save(CString(L"/proc/kvtest-no-write/") + CString::FromUtf8(saver.name),
                         buffer.data(), size, CRect(0, 0, 128, 128)),
              0);
  }
}

// A saved region, clipped to the buffer, loads back as it was: TGA keeps its place and its
// alpha, BMP and PCX come back opaque.
TEST(PictureSave, RegionsLoadBackClippedToTheBuffer) {
  const auto buffer = kvtest::Gradient(47, 33);
  for (const Saver& f : kSavers)
    for (auto [region, clipped] : {std::pair{CRect(0, 0, 47, 33), CRect(0, 0, 47, 33)},
                                   {CRect(5, 7, 6, 8), CRect(5, 7, 6, 8)},
                                   {CRect(-10, 30, 12, 99), CRect(0, 30, 12, 33)}}) {
      if (!f.usesRegion) continue;
      const bool tga = f.load == KvMediaLoadTGAFile;
      std::vector<DWORD> expected;
      for (int y = clipped.top; y < clipped.bottom; ++y)
        for (int x = clipped.left; x < clipped.right; ++x)
          expected.push_back(buffer[y * 47 + x] | (tga ? 0 : 0xFF000000u));
      if (!tga) clipped.OffsetRect(-clipped.left, -clipped.top);
      EXPECT_EQ(
          kvtest::LoadBytes(f.load, f.name,
                            kvtest::SavedBytes(f.save, f.name, buffer, CSize(47, 33), region)),
          (kvtest::Picture{clipped, expected}))
          << f.name << " " << region.left;
    }
}

// The information of every format, from its header. A header that is not what the extension
// says leaves the results alone; a JPEG's bits are 32 before the file is looked at.
TEST(PictureInfo, EveryFormatFromItsHeader) {
  kvtest::TempDir dir;
  const auto bmp = [](int height, char magic = 'M') {
    Bytes b = kvtest::WriteBmp({.width = 5, .height = height, .bitCount = 8, .pixels = Bytes(24)});
    b[1] = magic;
    return b;
  };
  const kvtest::BmpImage core{
      .width = 131, .height = 64, .headerSize = 12, .trueHeaderSize = true, .pixels = Bytes(24)};
  kvtest::PcxImage pcx{.xmin = 1, .ymin = 2, .xmax = 4, .ymax = 3, .planes = 3, .bytesPerLine = 4};
  pcx.lines = Bytes(24, 9);
  kvtest::GifFile gif = kvtest::OneImageGif(3, 2, {0, 1, 2, 3, 0, 1}, kvtest::DistinctColours(32));
  std::tie(gif.screenWidth, gif.screenHeight) = std::tuple(300, 200);
  kvtest::GifFile noTable = gif;  // the size code counts even without a global table
  noTable.globalTable.clear(), noTable.globalSizeCode = 7;
  const Bytes gifHead{'G', 'I', 'F', '8', '9', 'a', 1, 0, 1, 0, 0, 0, 0, 0};
  // Compressed with ZIP, which the decoder refuses; the header is right.
  const Bytes psd = kvtest::WritePsd(
      {.height = 1, .width = 2, .depth = 16, .compression = 2, .planes = {1, 2, 3, 4, 5, 6}});
  KvMediaFileOpen();  // for PNG
  kvtest::WritePng(dir.path() + "/p",
                   {.width = 5, .height = 2, .colorType = 2, .samples = Bytes(30, 7)});
  const Bytes png = kvtest::ReadFileBytes(dir.path() + "/p");
  const Bytes jpeg =
      kvtest::SavedBytes(KvMediaSaveJPGFile, "a.jpg", kvtest::Gradient(5, 4), CSize(5, 4), CRect());
  const CRect none(1, 2, 3, 4);
  const struct {
    const char* name;
    Bytes file;
    int result;
    CRect rect;
    int bits;
  } cases[] = {
      {"a.bmp", bmp(3), 1, {0, 0, 5, 3}, 8},
      {"top-down.bmp", bmp(-3), 1, {0, 0, 5, 3}, 8},
      {"core.bmp", kvtest::WriteBmp(core), 1, {0, 0, 131, 64}, 24},
      {"b.bmp", bmp(3, 'A'), 0, none, -1},
      {"tall.bmp", bmp(INT32_MIN), 0, none, -1},
      {"a.tga", kvtest::WriteTga(SmallTga()), 1, {3, 300, 5, 301}, 24},
      {"b.tga", kvtest::WriteTga({.imageType = 4, .width = 1, .height = 1}), 0, none, -1},
      {"a.pcx", kvtest::WritePcx(pcx), 1, {1, 2, 5, 4}, 24},
      {"b.pcx", Bytes(128, 11), 0, none, -1},
      {"a.gif", kvtest::WriteGif(gif), 1, {0, 0, 300, 200}, 5},
      {"b.gif", kvtest::WriteGif(noTable), 1, {0, 0, 300, 200}, 8},
      {"c.gif", gifHead, 1, {0, 0, 1, 1}, 1},
      {"short.gif", kvtest::Cut(gifHead, 13), 0, none, -1},
      {"87.gif", kvtest::Changed(gifHead, 3, '7'), 0, none, -1},
      {"no-width.gif", kvtest::Changed(gifHead, 6, 0), 0, none, -1},
      {"no-height.gif", kvtest::Changed(gifHead, 8, 0), 0, none, -1},
      {"a.psd", psd, 1, {0, 0, 2, 1}, 16},
      {"signature.psd", kvtest::Changed(psd, 3, 'X'), 0, none, -1},
      {"Info.PNG", png, 1, {0, 0, 5, 2}, 3},  // bytes, not bits, per pixel
      {"b.png", {0x89, 'P', 'N', 'G', 1, 2, 3}, 0, none, -1},
      {"a.jpg", jpeg, 1, {0, 0, 5, 4}, 32},
      {"gif.jpg", kvtest::WriteGif(gif), 0, none, 32},
      {"empty.jpg", {}, 0, none, 32},
      {"soi.jpg", {0xFF, 0xD8}, 0, none, 32},
      {"a.sve", {1}, 1, none, -1},  // nothing read, nothing known
  };
  for (const auto& c : cases) {
    kvtest::WriteFileBytes(dir.path() + "/" + c.name, c.file);
    RECT rect = none;
    int bits = -1;
    EXPECT_EQ(KvMediaGetPicInfo(dir.File(c.name), &rect, &bits), c.result) << c.name;
    EXPECT_EQ(std::pair(CRect(rect), bits), std::pair(c.rect, c.bits)) << c.name;
    EXPECT_EQ(KvMediaGetPicInfo(dir.File(c.name), nullptr, nullptr), c.result) << c.name;
  }
  EXPECT_EQ(KvMediaGetPicInfo(dir.File("missing.png"), nullptr, nullptr), 0);
  KvMediaFileClose();
}

TEST(PictureService, TypesFollowTheExtensionAndTgaLoadsByContentToo) {
  kvtest::TempDir dir;
  kvtest::TgaImage im = SmallTga();
  im.id = {'i', 'd'};
  for (const char* name : {"x.tga", "x.dat", "x.bmp"})
    kvtest::WriteFileBytes(dir.path() + "/" + name, kvtest::WriteTga(im));
  CRect rect;
  EXPECT_EQ(KvMediaLoadPicFile(dir.File("missing.tga"), rect), nullptr);
  EXPECT_EQ(KvMediaLoadPicFile(dir.File("x.bmp"), rect), nullptr);  // no second guess
  for (const char* name : {"x.tga", "x.dat"})
    EXPECT_EQ(kvtest::TakePicture(KvMediaLoadPicFile(dir.File(name), rect), rect, rect),
              (kvtest::Picture{{3, 300, 5, 301}, {Px(1, 2, 3), Px(4, 5, 6)}}))
        << name;
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

TEST(PictureService, SavesWithProgressAndMessagesAndAPromptAsksForATgaOrBmpName) {
  kvtest::TempDir dir;
  auto buffer = kvtest::Gradient(8, 8);
  const CRect all(0, 0, 8, 8);
  kvtest::RecordingUi ui;
  EXPECT_EQ(KvMediaSavePicFile(dir.File("out.png"), buffer.data(), CSize(8, 8), all, nullptr), 0);
  EXPECT_TRUE(fs::is_empty(dir.path()));
  const CString path = dir.File("out.TGA");
  EXPECT_EQ(KvMediaSavePicFile(path, buffer.data(), CSize(8, 8), all, nullptr), 1);
  EXPECT_EQ(ui.progressTexts, std::vector<CString>{L"正在保存图像文件" + path + L"，请稍侯..."});
  EXPECT_EQ(ui.progressOpen, 0);
  EXPECT_TRUE(LoadTga(path));
  // A prompted save refuses a region that is no picture, then asks for a TGA or BMP name.
  EXPECT_EQ(KvMediaPromptSavePicFile(buffer.data(), CSize(8, 8), CRect(2, 2, 2, 8), nullptr), 0);
  EXPECT_TRUE(ui.fileRequests.empty());
  ASSERT_EQ(ui.messages.size(), 2u);
  EXPECT_EQ(ui.messages[0].text, L"无法保存该文件格式，请选择BMP或TGA文件后缀名！");
  EXPECT_EQ(ui.messages[1].text, L"不符合图像文件尺寸，不能保存！");
  EXPECT_EQ(KvMediaPromptSavePicFile(buffer.data(), CSize(8, 8), all, nullptr), 0);  // cancelled
  ui.chosenPath = dir.File("chosen.tga");
  EXPECT_EQ(KvMediaPromptSavePicFile(buffer.data(), CSize(8, 8), CRect(0, 0, 4, 2), nullptr), 1);
  EXPECT_EQ(ui.messages.size(), 2u);
  ASSERT_EQ(ui.fileRequests.size(), 2u);
  EXPECT_FALSE(ui.fileRequests[1].open);
  EXPECT_EQ(ui.fileRequests[1].flags, 6u);
  EXPECT_EQ(ui.fileRequests[1].filter, L"TGA文件(*.tga)|*.tga|BMP文件(*.bmp)|*.bmp||");
  const auto back = LoadTga(ui.chosenPath);
  ASSERT_TRUE(back);
  EXPECT_EQ(back->rect, CRect(0, 0, 4, 2));
}

TEST(PictureService, EmptyPictureIsTransparentAndNeverOverwrites) {
  kvtest::TempDir dir;
  const CString path = dir.File("empty.tga");
  EXPECT_EQ(KvMediaCreateEmptyPicFile(path, CSize(4, 4)), 1);
  EXPECT_EQ(LoadTga(path), (kvtest::Picture{{0, 0, 4, 4}, std::vector<DWORD>(16, 0)}));
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
