// kvmedia catalog run as a user runs it.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "ClipSupport.h"
#include "MediaChecks.h"
#include "ProgramRun.h"
#include "TestSupport.h"

namespace {

using Result = kvtest::ProgramResult;

// Runs kvmedia with `args`; SIGINT is sent once `interruptWhen(pid)` holds.
Result Kvmedia(const std::vector<std::string>& args,
               const std::function<bool(pid_t)>& interruptWhen = {}) {
  return kvtest::RunProgram(KVMEDIA_PATH, args, {.interruptWhen = interruptWhen});
}

std::size_t Count(const std::string& text, const std::string& part) {
  std::size_t n = 0;
  for (auto at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++n;
  return n;
}

class CatalogTool : public ::testing::Test {
 protected:
  std::string Path(const std::string& name) const { return m_dir.path() + "/" + name; }
  kvtest::TempDir m_dir;
};

TEST_F(CatalogTool, UsageAndMissingFolders) {
  for (const std::vector<std::string>& wrong :
       {std::vector<std::string>{"catalog"}, {"catalog", "a", "b"}, {"catalog", ".", "--types"}})
    EXPECT_EQ(Kvmedia(wrong).status, 2);
  const Result missing = Kvmedia({"catalog", Path("nothing")});
  EXPECT_EQ(missing.status, 1);
  EXPECT_EQ(missing.err, "kvmedia: " + Path("nothing") + ": no such folder\n");
}

TEST_F(CatalogTool, TellsWhatCameFromTheCatalogueAndDrawsAContactSheet) {
  kvtest::WritePicture(Path("a.tga"), 24, 16, 1);
  kvtest::WritePicture(Path("b.bmp"), 8, 8, 2);
  kvtest::WriteFileBytes(Path("bad.tga"), {0});
  kvtest::WritePicture(Path("-c.tga"), 8, 8, 3);
  Result r = Kvmedia({"catalog", "--contact-sheet", Path("sheet.png"), "--", m_dir.path()});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(Count(r.out, "catalogue=new"), 3u) << r.out;
  EXPECT_NE(r.out.find("a.tga: width=24 height=16 bits=32 file_size="), std::string::npos);
  EXPECT_NE(r.out.find("bad.tga: left out: "), std::string::npos);
  EXPECT_NE(r.out.find("3 pictures: 0 taken from the catalogue, 0 read again, 3 new, 1 left out;"
                       " catalogue stored"),
            std::string::npos)
      << r.out;
  // Three cells in a row; each thumbnail framed over its name in white.
  const std::vector<DWORD> sheet = kvtest::StbPixels(kvtest::ReadFileBytes(Path("sheet.png")));
  ASSERT_EQ(sheet.size(), 300u * 80u);
  int ink = 0;
  for (int y = 68; y < 76; ++y)
    for (int x = 0; x < 300; ++x) ink += sheet[y * 300 + x] == 0xFFFFFFFFu;
  EXPECT_GT(ink, 3 * 20);

  kvtest::SetWriteTime(Path("b.bmp"), 5);
  r = Kvmedia({"catalog", m_dir.path(), "--json", "--types", "bmp,tga"});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(Count(r.out, "\"catalogue\": \"taken\""), 2u) << r.out;
  EXPECT_NE(r.out.find("{\"file\": \"b.bmp\", \"width\": 8, \"height\": 8, \"bits\": 32, "
                       "\"file_size\": 310, \"catalogue\": \"read again\"}"),
            std::string::npos)
      << r.out;
  EXPECT_NE(r.out.find("\"catalogue\": \"stored\"}"), std::string::npos);
}

TEST_F(CatalogTool, SaysOnceWhyTheCatalogueWasNotStored) {
  kvtest::WritePicture(Path("a.tga"), 24, 16, 1);
  ASSERT_EQ(Kvmedia({"catalog", m_dir.path()}).status, 0);
  kvtest::WritePicture(Path("b.tga"), 24, 16, 2);
  ::chmod(Path("PicMedia.pmf").c_str(), 0444);
  const Result r = Kvmedia({"catalog", m_dir.path()});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(Count(r.err, "kvmedia: catalogue not stored: "), 1u) << r.err;
  EXPECT_EQ(Count(r.out, "catalogue="), 2u);
}

TEST_F(CatalogTool, InterruptedWhileMakingThumbnailsLeavesNoCatalogue) {
  for (int i = 0; i < 80; ++i) kvtest::WritePicture(Path(std::to_string(i) + ".tga"), 600, 400, i);
  const auto readingAPicture = [](pid_t pid) {
    std::error_code ec;
    for (const auto& fd :
         std::filesystem::directory_iterator("/proc/" + std::to_string(pid) + "/fd", ec)) {
      const auto target = std::filesystem::read_symlink(fd.path(), ec).string();
      if (target.ends_with(".tga")) return true;
    }
    return false;
  };
  const Result r = Kvmedia({"catalog", m_dir.path()}, readingAPicture);
  EXPECT_EQ(r.status, 130);
  EXPECT_NE(r.err.find("kvmedia: interrupted"), std::string::npos);
  EXPECT_EQ(kvtest::FileNames(m_dir.path(), "PicMedia").size(), 0u);
  EXPECT_EQ(kvtest::FileNames(m_dir.path()).size(), 80u);  // no temporary file either
}

}  // namespace
