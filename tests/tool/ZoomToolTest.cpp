// kvmedia zoom run as a program: its pictures are the library's scaled loads, byte for byte.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/wait.h>

#include <vector>

#include "KvMediaFile/KvPicture.h"
#include "MediaChecks.h"
#include "TestSupport.h"
#include "TgaWriter.h"
#include "platform/GlobalMemory.h"

extern char** environ;

namespace {

struct Result {
  int status = -1;
  std::string err;
};

class ZoomTool : public ::testing::Test {
 protected:
  void SetUp() override {
    KvMediaFileOpen();
    std::vector<DWORD> picture = kvtest::Gradient(9, 5);
    picture[3] &= 0x40FFFFFFu;  // some alpha to mix with
    Write("in.tga", 9, 5, picture);
    Write("-in.tga", 9, 5, picture);
    Write("bg.tga", 4, 6, std::vector<DWORD>(24, kvtest::Px(200, 100, 50)));
  }
  void Write(const std::string& name, int w, int h, const std::vector<DWORD>& pixels) {
    kvtest::TgaImage image;
    image.pixelDepth = 32;
    image.descriptor = 0x28;
    image.width = w;
    image.height = h;
    for (DWORD p : pixels)
      for (int s = 0; s < 32; s += 8) image.pixels.push_back(static_cast<unsigned char>(p >> s));
    kvtest::WriteFileBytes(Path(name), kvtest::WriteTga(image));
  }
  std::string Path(const std::string& name) const { return m_dir.path() + "/" + name; }

  Result Run(std::vector<std::string> args) const {
    args.insert(args.begin(), {KVMEDIA_PATH, "zoom"});
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    const std::string err = Path(".stderr");
    posix_spawn_file_actions_t files;
    posix_spawn_file_actions_init(&files);
    posix_spawn_file_actions_addopen(&files, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&files, 2, err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    pid_t pid = 0;
    Result result;
    if (posix_spawn(&pid, KVMEDIA_PATH, &files, nullptr, argv.data(), environ) == 0) {
      int status = 0;
      ::waitpid(pid, &status, 0);
      result.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    }
    posix_spawn_file_actions_destroy(&files);
    const auto bytes = kvtest::ReadFileBytes(err);
    result.err.assign(bytes.begin(), bytes.end());
    return result;
  }

  // What the library itself makes: the background copied in (if any), then IN mixed.
  std::vector<tagCOLOR32> Expected(CSize size, const char* over, EMixMode mode) const {
    std::vector<tagCOLOR32> target(static_cast<std::size_t>(size.cx) * size.cy, tagCOLOR32{});
    if (over) {
      EXPECT_EQ(KvMediaZoomPicFile(m_dir.File(over), target.data(), size, KV_MIX_COPY), 1);
    }
    EXPECT_EQ(KvMediaZoomPicFile(m_dir.File("in.tga"), target.data(), size, mode), 1);
    return target;
  }
  std::vector<tagCOLOR32> Written(const std::string& name) const {
    CRect rect;
    KvGlobalPtr pixels(KvMediaLoadPicFile(m_dir.File(name), rect));
    if (!pixels) return {};
    const auto* p = static_cast<const tagCOLOR32*>(pixels.get());
    return {p, p + static_cast<std::size_t>(rect.Width()) * rect.Height()};
  }

 private:
  kvtest::TempDir m_dir;
};

TEST_F(ZoomTool, WritesTheLibrarysScaledLoad) {
  struct Row {
    std::vector<std::string> options;
    const char* out;
    CSize size;
    const char* over;
    EMixMode mode;
  } rows[] = {
      {{"--size", "40x20"}, "plain.png", {40, 20}, nullptr, KV_MIX_COPY},
      {{"--size", "7X3", "--mix", "0"}, "small.png", {7, 3}, nullptr, KV_MIX_OVER},
      {{"--size", "33x17", "--over", "bg.tga"}, "over.tga", {33, 17}, "bg.tga", KV_MIX_OVER},
      {{"--over", "bg.tga", "--mix", "1", "--size", "20x30"},
       "under.png",
       {20, 30},
       "bg.tga",
       KV_MIX_UNDER},
  };
  for (Row& r : rows) {
    std::vector<std::string> args = {Path("in.tga"), Path(r.out)};
    for (const std::string& o : r.options) args.push_back(o == "bg.tga" ? Path(o) : o);
    const Result result = Run(args);
    ASSERT_EQ(result.status, 0) << r.out << ": " << result.err;
    EXPECT_EQ(Written(r.out), Expected(r.size, r.over, r.mode)) << r.out;
  }
  // After "--" a name that starts with '-' is a file.
  EXPECT_EQ(Run({"--size", "5x5", "--", Path("-in.tga"), Path("dash.png")}).status, 0);
  EXPECT_EQ(Written("dash.png"), Expected(CSize(5, 5), nullptr, KV_MIX_COPY));
}

TEST_F(ZoomTool, UsageAndRefusals) {
  const std::string in = Path("in.tga"), out = Path("out.png");
  struct Row {
    std::vector<std::string> args;
    int status;
    std::string says;
  } rows[] = {
      {{in, out}, 2, "--size is required"},
      {{in, out, "--size", "0x5"}, 2, "--size takes WxH"},
      {{in, out, "--size", "12"}, 2, "--size takes WxH"},
      {{in, out, "--size", "4x4", "--mix", "over"}, 2, "--mix takes a whole number"},
      {{in, Path("out.gif"), "--size", "4x4"}, 2, "OUT must end in"},
      {{in, out, "--size", "4x4", "--fast"}, 2, "unknown option --fast"},
      {{in, "--size", "4x4"}, 2, "expected IN and OUT"},
      {{in, out, "--size", "4x4", "--over"}, 2, "--over takes a picture file"},
      {{in, out, "--size", "100000x100000"}, 1, "too large"},
      {{Path("none.tga"), out, "--size", "4x4"}, 1, "none.tga: no such file"},
      {{in, out, "--size", "4x4", "--over", Path("none.bmp")}, 1, "none.bmp: no such file"},
      {{"--help"}, 0, ""},
  };
  for (const Row& r : rows) {
    const Result result = Run(r.args);
    EXPECT_EQ(result.status, r.status) << r.says << ": " << result.err;
    EXPECT_NE(result.err.find(r.says), std::string::npos) << result.err;
  }
  EXPECT_TRUE(Written("out.png").empty());  // no refused run left a file
}

}  // namespace
