// The picture service: the save dispatch, its prompts and the empty picture.
#include <gtest/gtest.h>

#include <filesystem>
#include <vector>

#include "KvMediaFile/KvPicture.h"
#include "MediaChecks.h"
#include "TestSupport.h"
#include "host/FileName.h"
#include "platform/GlobalMemory.h"

namespace {

using kvtest::Bytes;
namespace fs = std::filesystem;

std::optional<kvtest::Picture> LoadTga(const CString& path) {
  CRect rect = kvtest::kUntouched;
  return kvtest::TakePicture(KvMediaLoadTGAFile(path, rect), rect);
}

}  // namespace

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
  EXPECT_EQ(ui.progressCancellable, std::vector<bool>{false});  // a save runs to its end
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
