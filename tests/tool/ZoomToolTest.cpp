// kvmedia zoom run as a program: its pictures are the library's scaled loads, byte for byte.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "KvMediaFile/KvPicture.h"
#include "MediaChecks.h"
#include "ProgramRun.h"
#include "TestSupport.h"
#include "platform/GlobalMemory.h"

namespace {

class ZoomTool : public ::testing::Test {
 protected:
  void SetUp() override {
    KvMediaFileOpen();
    std::vector<DWORD> picture = kvtest::Gradient(9, 5);
    picture[3] &= 0x40FFFFFFu;  // some alpha to mix with
    Write("-in.tga", 9, 5, picture);
    Write("bg.tga", 4, 6, std::vector<DWORD>(24, kvtest::Px(200, 100, 50)));
  }
  void Write(const std::string& name, int w, int h, std::vector<DWORD> pixels) {
    ASSERT_EQ(KvMediaSaveTGAFile(dir.File(name), pixels.data(), CSize(w, h), CRect(0, 0, w, h)), 1);
  }
  // Runs kvmedia zoom in the folder; the exit status, standard error in `err`.
  int Run(const std::string& args) {
    std::vector<std::string> argv{"zoom"};
    for (std::size_t at = 0, end; at < args.size(); at = end + 1) {
      end = std::min(args.find(' ', at), args.size());
      argv.push_back(args.substr(at, end - at));
    }
    const kvtest::ProgramResult r = kvtest::RunProgram(KVMEDIA_PATH, argv, {.folder = dir.path()});
    err = r.err;
    return r.status;
  }
  // The library's own result: the background copied in (if any), then the picture mixed.
  std::vector<tagCOLOR32> Expected(CSize size, bool over, EMixMode mode) {
    std::vector<tagCOLOR32> target(static_cast<std::size_t>(size.cx) * size.cy, tagCOLOR32{});
    if (over) KvMediaZoomPicFile(dir.File("bg.tga"), target.data(), size, KV_MIX_COPY);
    KvMediaZoomPicFile(dir.File("-in.tga"), target.data(), size, mode);
    return target;
  }
  std::vector<tagCOLOR32> Written(const std::string& name) {
    CRect rect;
    KvGlobalPtr pixels(KvMediaLoadPicFile(dir.File(name), rect));
    const auto* p = static_cast<const tagCOLOR32*>(pixels.get());
    return p ? std::vector(p, p + static_cast<std::size_t>(rect.Width()) * rect.Height())
             : std::vector<tagCOLOR32>{};
  }
  kvtest::TempDir dir;
  std::string err;
};

TEST_F(ZoomTool, WritesTheLibrarysScaledLoad) {
  struct Row {
    const char* options;
    const char* out;
    CSize size;
    bool over;
    EMixMode mode;
  } rows[] = {
      {"--size 40x20", "plain.png", {40, 20}, false, KV_MIX_COPY},
      {"--size 7X3 --mix 0", "small.png", {7, 3}, false, KV_MIX_OVER},
      {"--size 33x17 --over bg.tga", "over.tga", {33, 17}, true, KV_MIX_OVER},
      {"--over bg.tga --mix 1 --size 20x30", "under.png", {20, 30}, true, KV_MIX_UNDER},
  };
  for (const Row& r : rows) {
    // After "--" a name that starts with '-' is a file.
    ASSERT_EQ(Run(std::string(r.options) + " -- -in.tga " + r.out), 0) << r.out << ": " << err;
    EXPECT_EQ(Written(r.out), Expected(r.size, r.over, r.mode)) << r.out;
  }
}

TEST_F(ZoomTool, UsageAndRefusals) {
  const struct {
    const char* args;
    int status;
    const char* says;
  } rows[] = {
      {"-- -in.tga out.png", 2, "--size is required"},
      {"--size 0x5 -- -in.tga out.png", 2, "--size takes WxH"},
      {"--size 4x4 --mix over -- -in.tga out.png", 2, "--mix takes a whole number"},
      {"--size 4x4 -- -in.tga out.gif", 2, "OUT must end in"},
      {"--size 4x4 -- -in.tga", 2, "expected IN and OUT"},
      {"--size 100000x100000 -- -in.tga out.png", 1, "too large"},
      {"--size 4x4 none.tga out.png", 1, "none.tga: no such file"},
      {"--size 4x4 --over none.bmp -- -in.tga out.png", 1, "none.bmp: no such file"},
  };
  for (const auto& r : rows) {
    EXPECT_EQ(Run(r.args), r.status) << r.args << ": " << err;
    EXPECT_NE(err.find(r.says), std::string::npos) << err;
  }
  EXPECT_TRUE(Written("out.png").empty());  // no refused run left a file
  EXPECT_EQ(Run("--help"), 0);
}

}  // namespace
