// What every picture format of the library's table owes, checked once over the table rather
// than in each codec's tests: a missing file, a folder and an empty file are refused with a
// reason; a failed save keeps the old file; a saved region loads back clipped to the buffer;
// the type follows the extension. The facts of each type, which must agree with what loading
// the file gives, are FormatContract.FactsOfEveryTypeAgreeWithItsLoad beside the facts' other
// tests.
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <string>
#include <tuple>
#include <vector>

#include "KvMediaFile/KvMovie.h"
#include "KvMediaFile/KvPicture.h"
#include "KvMediaFile/KvScroll.h"
#include "MediaChecks.h"
#include "TestSupport.h"
#include "fixtures/BmpWriter.h"
#include "fixtures/GifWriter.h"
#include "fixtures/PcxWriter.h"
#include "fixtures/PngWriter.h"
#include "fixtures/PsdWriter.h"
#include "fixtures/TgaWriter.h"
#include "host/MemBlock.h"
#include "picture/PictureFormats.h"
#include "platform/GlobalMemory.h"

namespace {

using kvtest::Bytes;
namespace fs = std::filesystem;
using Call = std::function<bool(const CString&)>;

// A load; with `keepsRect`, a refusal must leave the rect alone (a JPEG's clears it, a PSD's
// tells how far it got).
Call PictureCall(DWORD* (*load)(CString, CRect&), bool keepsRect = false) {
  return [load, keepsRect](const CString& path) {
    CRect rect = kvtest::kUntouched;
    DWORD* picture = load(path, rect);
    return kvtest::TakePicture(picture, rect, keepsRect ? kvtest::kUntouched : rect).has_value();
  };
}

// The table's savers; a JPEG takes the whole buffer and loses detail, so it has no region
// to load back.
std::vector<const KvPictureFormat*> Savers() {
  std::vector<const KvPictureFormat*> out;
  for (const KvPictureFormat& f : KvPictureFormats())
    if (f.save) out.push_back(&f);
  return out;
}

std::string FileName(const KvPictureFormat& f) { return "out" + CString(f.extension).ToUtf8(); }

}  // namespace

// Every reader of the table, and every other exported call that reads a file, refuses a
// missing file, a folder and an empty file, each under the extension it expects, and says why
// (the table's information calls, which the dispatch guards, need not).
TEST(FormatContract, EveryReaderRefusesAMissingFileAFolderAndAnEmptyFile) {
  std::vector<std::tuple<std::string, Call, bool>> calls;
  for (const KvPictureFormat& f : KvPictureFormats()) {
    const std::string ext = CString(f.extension).ToUtf8();
    const bool keepsRect = f.type != KV_PIC_JPG && f.type != KV_PIC_PSD;
    if (f.load) calls.emplace_back(ext, PictureCall(f.load, keepsRect), true);
    if (f.information)
      calls.emplace_back(
          ext, [&f](const CString& p) { return f.information(p, nullptr, nullptr); }, false);
    if (f.facts)
      calls.emplace_back(
          ext,
          [&f](const CString& p) {
            SKvPicFacts facts;
            return f.facts(p, facts) != 0;
          },
          true);
  }
  const auto into = [](int (*load)(CString, tagCOLOR32*, CSize, EMixMode)) {
    return Call([load](const CString& p) {
      std::vector<tagCOLOR32> t(16);
      return load(p, t.data(), CSize(4, 4), KV_MIX_COPY) != 0;
    });
  };
  // A fresh player of the given class each time.
  const auto withPlayer = []<class Player>(Player*, int memory) {
    return Call([memory](const CString& p) { return Player().Open(p, memory) != 0; });
  };
  const auto frame = [](CString p, CRect& r) { return KvMovieGetFrame(p, r, 0); };
  const auto movieInfo = [](const CString& p) {
    return KvMovieGetFileInfo(p, nullptr, nullptr, nullptr) != 0;
  };
  const std::pair<const char*, Call> others[] = {
      // clang-format off
      {".tga", PictureCall(KvMediaLoadPicFile, true)},
      {".png", into(KvMediaLoadPicFile)},
      {".png", into(KvMediaZoomPicFile)},
      {".tga", [](const CString& p) { std::vector<tagCOLOR32> t(16); return KvMediaZoomPicFile(p, CRect(0, 0, 4, 4), {}, CSize(4, 4), t.data(), KV_MIX_COPY) != 0; }},
      {".png", [](const CString& p) { return KvMediaGetPicInfo(p, nullptr, nullptr) != 0; }},
      {".bmp", [](const CString& p) { SKvPicFacts facts; return KvMediaGetPicFacts(p, &facts) != 0; }},
      {".gif", [](const CString& p) { return KvMediaCheckPicFile(p) != 0; }},
      {".sve", PictureCall(frame)},
      {".fli", PictureCall(frame)},
      {".sve", movieInfo},
      {".flc", movieInfo},
      {".sve", [](const CString& p) { CKvMemBlock block; return KvMovieGetFrames(p, 1, &block) != 0; }},
      {".flc", [](const CString& p) { SKvFlicHeader header; return KvReadFlicHeader(p, header); }},
      {".sve", [](const CString& p) { return CKvMotionFileRead().OpenFile(p) != 0; }},
      {".sve", withPlayer(static_cast<CKvPlayMovieMotion*>(nullptr), 1)},
      {".flc", withPlayer(static_cast<CKvPlayMovieFlick*>(nullptr), 0)},
      {".ksc", PictureCall([](CString p, CRect& r) { return KvScrollGetFrame(p, r, 0, 1); })},
      {".ksc", [](const CString& p) { return KvScrollGetFileInfo(p, nullptr, nullptr, nullptr) != 0; }},
      {".ksc", [](const CString& p) { return CKvScrollFileRead().OpenFile(p) != 0; }},
      {".ksc", withPlayer(static_cast<CKvPlayScrollFile*>(nullptr), 0)},
      // clang-format on
  };
  for (const auto& [ext, call] : others) calls.emplace_back(ext, call, true);
  kvtest::TempDir dir;
  int n = 0;
  for (const auto& [ext, call, saysWhy] : calls) {
    const std::string stem = dir.path() + "/" + std::to_string(n++);
    fs::create_directory(stem + "folder" + ext);
    kvtest::WriteFileBytes(stem + "empty" + ext, {});
    for (const std::string kind : {"missing", "folder", "empty"}) {
      const CString path = CString::FromUtf8(stem + kind + ext);
      SCOPED_TRACE(kind + ext + " #" + std::to_string(n - 1));
      KvClearFailure();
      EXPECT_FALSE(call(path));
      EXPECT_TRUE(!saysWhy || !KvMediaGetLastFailure().IsEmpty());
    }
  }
}

TEST(FormatContract, AFailedSaveKeepsTheOldFileAndLeavesNothingElse) {
  auto buffer = kvtest::Gradient(128, 128);
  const CSize size(128, 128);
  for (const KvPictureFormat* f : Savers()) {
    const std::string name = FileName(*f);
    SCOPED_TRACE(name);
    const auto save = [&](DWORD* pixels, CRect region, std::size_t limit = 1 << 30) {
      kvtest::ExpectFullDiskKeepsTheOldFile(
          name, limit, [&](const CString& path) { return f->save(path, pixels, size, region); });
    };
    // The disk "fills" part way through the file.
    save(buffer.data(), CRect(0, 0, 128, 128), 1000);
    // A region with nothing of the buffer in it.
    if (f->type != KV_PIC_JPG)
      for (CRect empty : {CRect(128, 0, 140, 4), CRect(2, 2, 2, 3), CRect(-5, -5, 0, 0)})
        save(buffer.data(), empty);
    // No pixels, whatever size comes with them.
    save(nullptr, CRect(0, 0, 128, 128));
    EXPECT_EQ(f->save(CString(L"/proc/kvtest-no-write/") + CString::FromUtf8(name), buffer.data(),
                      size, CRect(0, 0, 128, 128)),
              0);
  }
}

// A saved region, clipped to the buffer, loads back as it was: TGA keeps its place and its
// alpha, BMP and PCX come back opaque.
TEST(FormatContract, SavedRegionsLoadBackClippedToTheBuffer) {
  const auto buffer = kvtest::Gradient(47, 33);
  for (const KvPictureFormat* f : Savers())
    for (auto [region, clipped] : {std::pair{CRect(0, 0, 47, 33), CRect(0, 0, 47, 33)},
                                   {CRect(5, 7, 6, 8), CRect(5, 7, 6, 8)},
                                   {CRect(-10, 30, 12, 99), CRect(0, 30, 12, 33)}}) {
      if (f->type == KV_PIC_JPG) continue;
      const bool tga = f->type == KV_PIC_TGA;
      std::vector<DWORD> expected;
      for (int y = clipped.top; y < clipped.bottom; ++y)
        for (int x = clipped.left; x < clipped.right; ++x)
          expected.push_back(buffer[y * 47 + x] | (tga ? 0 : 0xFF000000u));
      if (!tga) clipped.OffsetRect(-clipped.left, -clipped.top);
      const std::string name = FileName(*f);
      EXPECT_EQ(kvtest::LoadBytes(f->load, name,
                                  kvtest::SavedBytes(f->save, name, buffer, CSize(47, 33), region)),
                (kvtest::Picture{clipped, expected}))
          << name << " " << region.left;
    }
}

// The type follows the extension whatever its case, not a folder's; a movie's is no picture's.
TEST(FormatContract, TypesFollowTheExtension) {
  for (const auto& [path, expected] :
       {std::pair{L"/a/Photo.Tga", 1}, {L"/x.tga/photo", 0}, {L"p.flc", 0}}) {
    int type = -1;
    EXPECT_EQ(KvMediaGetPicFileType(path, type), expected != 0 ? 1 : 0) << path;
    EXPECT_EQ(type, expected) << path;
  }
}
