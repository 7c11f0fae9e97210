// The picture service: dispatch by extension, information, the savers' shared rules, prompts
// and the empty picture.
#include <gtest/gtest.h>

#include <filesystem>

#include "KvMediaFile/KvPicture.h"
#include "PictureChecks.h"
#include "TestSupport.h"
#include "host/FileName.h"

namespace {

using kvtest::Bytes;
namespace fs = std::filesystem;

std::optional<kvtest::Picture> LoadTga(const CString& path) {
  CRect rect = kvtest::kUntouched;
  return kvtest::TakePicture(KvMediaLoadTGAFile(path, rect), rect);
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

// Loading by content and refusing a file whose extension names another type are the picture
// facts tests' rows.
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
  EXPECT_EQ(KvMediaCreateEmptyPicFile(dir.Write("other.tga", other), CSize(4, 4)), 1);
  EXPECT_EQ(kvtest::ReadFileBytes(dir.path() + "/other.tga"), other);
  const CString expected = KvGetAppModulePath() + L"Velmora_Empty.tga";
  const bool existed = fs::exists(expected.ToUtf8());
  EXPECT_EQ(KvMediaGetEmptyPicFile(1), expected);
  EXPECT_TRUE(LoadTga(expected));
  if (!existed) fs::remove(expected.ToUtf8());
}
