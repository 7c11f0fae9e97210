// kvmedia on FLIC files: info, movie frames and convert, on good and broken files.
#include <gtest/gtest.h>

#include "FlicWriter.h"
#include "KvMediaFile/KvPicture.h"
#include "MediaChecks.h"
#include "ProgramRun.h"
#include "TestSupport.h"

namespace {

// Frame f is all index f + 1, colour f + 1 of a grey ramp; frame 2 can be of an unknown type.
kvtest::FlicBytes Movie(bool fli, bool broken = false) {
  const int w = fli ? 320 : 16, h = fli ? 200 : 8;
  kvtest::FlicFile file{
      .magic = fli ? 0xAF11 : 0xAF12, .width = w, .height = h, .speed = fli ? 5 : 40};
  kvtest::FlicBytes grey;
  for (int i = 0; i < 256; ++i) grey.insert(grey.end(), 3, BYTE(fli ? i / 4 : i));
  for (int f = 0; f < 4; ++f)
    file.frames.push_back({.chunks = {kvtest::FlicPaletteChunk({{0, grey}}, fli),
                                      {16, kvtest::FlicBytes(w * h, BYTE(f + 1))}},
                           .type = broken && f == 2 ? 0x1234 : 0xF1FA});
  return kvtest::WriteFlic(file);
}

}  // namespace

TEST(KvmediaFlic, InfoFramesAndConvertPlayFlicFiles) {
  kvtest::TempDir dir;
  const auto run = [&](std::vector<std::string> args) {
    return kvtest::RunProgram(KVMEDIA_PATH, args, {.folder = dir.path()});
  };
  const auto flc = Movie(false);
  dir.Write("clip.flc", flc);
  dir.Write("clip.fli", Movie(true));
  dir.Write("broken.flc", Movie(false, true));
  dir.Write("cut.flc", kvtest::Cut(flc, flc.size() - 10));
  const auto info = run({"info", "--check", "clip.flc", "clip.fli"});
  EXPECT_EQ(info.status, 0);
  for (const std::string& part :
       {"type=FLIC movie width=16 height=8 bits_per_pixel=8 channels=4 alpha=yes file_size=" +
            std::to_string(flc.size()) + " x=0 y=0 frames=4 speed_ms=40 check=ok",
        std::string("width=320 height=200"), std::string("frames=4 speed_ms=71 check=ok")})
    EXPECT_NE(info.out.find(part), std::string::npos) << info.out;

  // Every frame, from the file and from memory, and one frame by its time.
  ASSERT_EQ(run({"movie", "frames", "clip.flc", "file"}).status, 0);
  ASSERT_EQ(run({"movie", "frames", "clip.flc", "memory", "--memory"}).status, 0);
  ASSERT_EQ(run({"convert", "clip.flc", "half.png", "--time", "0.5"}).status, 0);
  KvMediaFileOpen();
  const auto load = [&](const std::string& name) {
    CRect rect;
    return kvtest::TakePicture(KvMediaLoadPicFile(dir.File(name), rect), rect, rect);
  };
  for (const std::string folder : {"file", "memory"})
    for (int f = 0; f < 4; ++f) {
      const auto frame = load(folder + "/frame-0000" + std::to_string(f) + ".png");
      ASSERT_TRUE(frame) << folder << f;
      EXPECT_EQ(frame->pixels, std::vector<DWORD>(16 * 8, kvtest::Rgb(f + 1, f + 1, f + 1)));
    }
  EXPECT_EQ(load("half.png"), load("file/frame-00002.png"));

  // A frame of unknown type, and a file shorter than its header says.
  for (const std::vector<std::string>& args :
       {std::vector<std::string>{"movie", "frames", "broken.flc", "broken"},
        {"convert", "broken.flc", "b.png", "--time", "0.5"},
        {"info", "--check", "broken.flc"},
        {"info", "--check", "cut.flc"}}) {
    const auto r = run(args);
    EXPECT_EQ(r.status, 1) << args[2];
    EXPECT_NE(r.err.find(args[2] == "cut.flc" ? "damaged: truncated: "
                                              : "unknown FLIC frame type 0x1234"),
              std::string::npos)
        << args[2] << ": " << r.err;
  }
}
