// The picture service: dispatch by extension, information, the savers' shared rules, prompts
// and the empty picture.
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "KvMediaFile/KvMovie.h"
#include "KvMediaFile/KvPicture.h"
#include "KvMediaFile/KvScroll.h"
#include "PictureChecks.h"
#include "TestSupport.h"
#include "host/Failure.h"
#include "host/FileName.h"
#include "host/MemBlock.h"
#include "platform/GlobalMemory.h"

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
    // No pixels, whatever size comes with them.
    kvtest::ExpectFullDiskKeepsTheOldFile(saver.name, 1 << 30, [&](const CString& path) {
      return saver.save(path, nullptr, size, CRect(0, 0, 128, 128));
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

// Every exported call that reads a file says why it refused one: a missing file, a folder
// and an empty file, each under the extension the call expects.
TEST(Refusals, EveryLoaderAndInformationCallSaysWhy) {
  using Call = std::function<bool(const CString&)>;
  const auto picture = [](DWORD* (*load)(CString, CRect&)) {
    return Call([load](const CString& path) {
      CRect rect;
      KvGlobalPtr p(load(path, rect));
      return p != nullptr;
    });
  };
  const auto into = [](int (*load)(CString, tagCOLOR32*, CSize, EMixMode)) {
    return Call([load](const CString& path) {
      std::vector<tagCOLOR32> target(16);
      return load(path, target.data(), CSize(4, 4), KV_MIX_COPY) != 0;
    });
  };
  // A fresh player of the given class each time.
  const auto withPlayer = []<class Player>(Player*, int memory) {
    return Call([memory](const CString& path) { return Player().Open(path, memory) != 0; });
  };
  const std::pair<const char*, Call> calls[] = {
      {".tga", picture(KvMediaLoadPicFile)},
      {".tga", picture(KvMediaLoadTGAFile)},
      {".bmp", picture(KvMediaLoadBMPFile)},
      {".pcx", picture(KvMediaLoadPCXFile)},
      {".psd", picture(KvMediaLoadPSDFile)},
      {".png", picture(KvMediaLoadPNGFile)},
      {".gif", picture(KvMediaLoadGIFFile)},
      {".jpg", picture(KvMediaLoadJPGFile)},
      {".png", into(KvMediaLoadPicFile)},
      {".png", into(KvMediaZoomPicFile)},
      {".tga",
       [](const CString& path) {
         std::vector<tagCOLOR32> target(16);
         return KvMediaZoomPicFile(path, CRect(0, 0, 4, 4), {}, CSize(4, 4), target.data(),
                                   KV_MIX_COPY) != 0;
       }},
      {".png", [](const CString& path) { return KvMediaGetPicInfo(path, nullptr, nullptr) != 0; }},
      {".bmp",
       [](const CString& path) {
         SKvPicFacts facts;
         return KvMediaGetPicFacts(path, &facts) != 0;
       }},
      {".sve", picture([](CString path, CRect& rect) { return KvMovieGetFrame(path, rect, 0); })},
      {".fli", picture([](CString path, CRect& rect) { return KvMovieGetFrame(path, rect, 0); })},
      {".sve",
       [](const CString& path) {
         return KvMovieGetFileInfo(path, nullptr, nullptr, nullptr) != 0;
       }},
      {".flc",
       [](const CString& path) {
         return KvMovieGetFileInfo(path, nullptr, nullptr, nullptr) != 0;
       }},
      {".sve",
       [](const CString& path) {
         CKvMemBlock block;
         return KvMovieGetFrames(path, 1, &block) != 0;
       }},
      {".flc",
       [](const CString& path) {
         SKvFlicHeader header;
         return KvReadFlicHeader(path, header);
       }},
      {".sve", [](const CString& path) { return CKvMotionFileRead().OpenFile(path) != 0; }},
      {".sve", withPlayer(static_cast<CKvPlayMovieMotion*>(nullptr), 1)},
      {".flc", withPlayer(static_cast<CKvPlayMovieFlick*>(nullptr), 0)},
      {".ksc",
       picture([](CString path, CRect& rect) { return KvScrollGetFrame(path, rect, 0, 1); })},
      {".ksc",
       [](const CString& path) {
         return KvScrollGetFileInfo(path, nullptr, nullptr, nullptr) != 0;
       }},
      {".ksc", [](const CString& path) { return CKvScrollFileRead().OpenFile(path) != 0; }},
      {".ksc", withPlayer(static_cast<CKvPlayScrollFile*>(nullptr), 0)},
  };
  kvtest::TempDir dir;
  int n = 0;
  for (const auto& [ext, call] : calls) {
    const std::string stem = dir.path() + "/" + std::to_string(n++);
    fs::create_directory(stem + "folder" + ext);
    kvtest::WriteFileBytes(stem + "empty" + ext, {});
    for (const char* kind : {"missing", "folder", "empty"}) {
      const CString path = CString::FromUtf8(stem + kind + ext);
      KvClearFailure();
      EXPECT_FALSE(call(path)) << kind << ext << " #" << n - 1;
      EXPECT_FALSE(KvMediaGetLastFailure().IsEmpty()) << kind << ext << " #" << n - 1;
    }
  }
}
