// kvmedia catalog run as a user runs it.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "ClipSupport.h"
#include "MediaChecks.h"
#include "TestSupport.h"

namespace {

struct Result {
  int status = -1;
  std::string out, err;
};

// Runs kvmedia with `args`; SIGINT is sent once `interruptWhen(pid)` holds.
Result Kvmedia(const std::vector<std::string>& args,
               const std::function<bool(pid_t)>& interruptWhen = {}) {
  kvtest::TempDir io;
  const std::string out = io.path() + "/out", err = io.path() + "/err";
  const pid_t pid = ::fork();
  if (pid == 0) {
    if (!std::freopen(out.c_str(), "w", stdout) || !std::freopen(err.c_str(), "w", stderr))
      ::_exit(99);
    std::vector<char*> argv{const_cast<char*>(KVMEDIA_PATH)};
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    ::execv(KVMEDIA_PATH, argv.data());
    ::_exit(98);
  }
  const auto deadline =
      std::chrono::steady_clock::now() + kvtest::TimeLimit(std::chrono::minutes(1));
  int status = 0;
  bool interrupted = false;
  while (::waitpid(pid, &status, WNOHANG) == 0) {
    if (!interrupted && interruptWhen && interruptWhen(pid)) interrupted = ::kill(pid, SIGINT) == 0;
    if (std::chrono::steady_clock::now() > deadline) ::kill(pid, SIGKILL);
    std::this_thread::sleep_for(std::chrono::microseconds(200));
  }
  EXPECT_EQ(interrupted, bool(interruptWhen)) << "finished before it was interrupted";
  const auto text = [](const std::string& p) {
    const auto b = kvtest::ReadFileBytes(p);
    return std::string(b.begin(), b.end());
  };
  return {WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status), text(out), text(err)};
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
