// convert's batch (many pictures into one folder over threads) and the progress lines, run as
// their users run them.
#include <gtest/gtest.h>

#include <filesystem>

#include "GifWriter.h"
#include "Pictures.h"
#include "PngWriter.h"
#include "ToolRun.h"

namespace fs = std::filesystem;

namespace {

using Result = kvtest::ProgramResult;
using kvtest::Has;

class KvmediaBatch : public ::testing::Test, protected kvtest::ToolFolder {
 protected:
  using kvtest::ToolFolder::Run;
  static void SetUpTestSuite() { KvMediaFileOpen(); }
  void Folder(const std::string& name) { fs::create_directories(Path(name)); }
  // A PNG with alpha, through libpng (the library loads it through its locked loader).
  void WritePng(const std::string& name, int w, int h) {
    kvtest::PngImage png{.width = w, .height = h};
    for (int i = 0; i < w * h * 4; ++i) png.samples.push_back(static_cast<unsigned char>(i * 7));
    ASSERT_TRUE(kvtest::WritePng(Path(name), png));
  }
};

TEST_F(KvmediaBatch, ShowsTheMakersProgressInTheToolsWords) {
  Folder("seq");
  for (int n = 0; n < 3; ++n)
    kvtest::WritePicture(Path("seq/p" + std::to_string(n) + ".tga"), 8, 8, n);
  const Result r =
      OnTerminal("movie make seq/p.tga made.sve --first 0 --last 2 --digits 1 --rect 0,0,8,8");
  EXPECT_TRUE(Has(r.out, "making made.sve: 0 of 3 frames")) << r.out;
  EXPECT_FALSE(Has(r.out, "\xe8\xaf\xb7")) << r.out;  // no word of the library's dialog
  // A finished line is cleared before the summary that follows it.
  const Result frames = OnTerminal("movie frames made.sve frames");
  EXPECT_TRUE(Has(frames.out, "\r\033[Kmade.sve: 3 of 3 frames")) << frames.out;
}

// Each picture into the folder under its own name; what cannot be read, or would land on
// another's output, is refused with a line while the others go on; exit 1.
TEST_F(KvmediaBatch, ConvertsEachPictureAndRefusesWithALineEach) {
  for (const char* folder : {"a", "b", "dir.tga"}) Folder(folder);
  kvtest::WritePicture(Path("a/x.tga"), 21, 13, 1);
  kvtest::WritePicture(Path("b/x.bmp"), 9, 5, 2);
  kvtest::WritePicture(Path("c.bmp"), 33, 17, 3);
  WritePng("d.png", 17, 9);
  Write("e.gif", kvtest::WriteGif(
                     kvtest::OneImageGif(7, 3, kvtest::Bytes(21, 2), kvtest::DistinctColours(4))));
  Write("bad.tga", {1, 2, 3});
  const Result r = Run({"convert", "a/x.tga", "b/x.bmp", "c.bmp", "d.png", "e.gif", "bad.tga",
                        "missing.tga", "dir.tga", "--to", "PNG", "--outdir=out/new", "-j", "3"});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.out, "4 of 8 pictures converted into out/new, 4 refused\n");
  for (const char* line : {"kvmedia: b/x.bmp: out/new/x.png is already the output of a/x.tga\n",
                           "kvmedia: bad.tga: ", "kvmedia: missing.tga: no such file\n",
                           "kvmedia: dir.tga: is a folder\n"})
    EXPECT_TRUE(Has(r.err, line)) << line << " in " << r.err;
  EXPECT_EQ(kvtest::FileNames(Path("out/new")),
            (std::vector<std::string>{"c.png", "d.png", "e.png", "x.png"}));
  for (const auto& [in, out] :
       {std::pair{"a/x.tga", "x.png"}, {"c.bmp", "c.png"}, {"d.png", "d.png"}, {"e.gif", "e.png"}})
    EXPECT_EQ(Load(in), Load(std::string("out/new/") + out)) << in;
}

// Never over an input: not the picture itself, not another input of the batch, not through a
// link.
TEST_F(KvmediaBatch, AnOutputThatIsAnInputIsRefused) {
  Folder("p");
  kvtest::WritePicture(Path("p/a.tga"), 8, 8, 1);
  kvtest::WritePicture(Path("p/b.bmp"), 8, 8, 2);
  WritePng("p/c.png", 5, 5);
  fs::create_symlink("b.bmp", Path("p/b.tga"));  // b.bmp's output in TGA is b.bmp itself
  Expect({{"convert p/c.png p/a.tga --to png --outdir p", 1,
           "kvmedia: p/c.png: p/c.png is an input; it is not overwritten\n", "p/c.png"},
          {"convert p/b.bmp --to tga --outdir p", 1, "p/b.tga is an input", "p/b.bmp"}});
  EXPECT_EQ(Load("p/a.png"), Load("p/a.tga"));
  EXPECT_TRUE(fs::is_symlink(Path("p/b.tga")));
}

// One line for the batch on a terminal; Ctrl-C stops it with whole outputs and no temporary
// file, and exits 130.
TEST_F(KvmediaBatch, ShowsOneLineAndStopsCleanlyOnCtrlC) {
  Folder("many");
  std::string names;
  std::vector<std::string> args{"convert", "--to", "png", "--outdir", "out", "-j", "2"};
  for (int i = 0; i < 120; ++i) {
    const std::string name = "many/" + std::to_string(i) + ".tga";
    if (i < 2) kvtest::WritePicture(Path(name), 700, 500, i);
    if (i >= 2) fs::create_symlink(std::to_string(i % 2) + ".tga", Path(name));
    args.push_back(name);
    if (i < 3) names += " " + name;
  }
  const Result shown = OnTerminal("convert --to png --outdir shown" + names);
  EXPECT_TRUE(Has(shown.out, "converting to shown: 0 of 3 pictures")) << shown.out;
  // The line is cleared before the summary, not after it.
  EXPECT_TRUE(shown.out.ends_with("\r\033[K3 of 3 pictures converted into shown\r\n")) << shown.out;

  const Result r =
      Run(args, {.interruptWhen = [&](pid_t) {
            return fs::exists(Path("out")) && kvtest::FileNames(Path("out"), ".png").size() >= 2;
          }});
  EXPECT_EQ(r.status, 130);
  EXPECT_TRUE(Has(r.err, "kvmedia: interrupted\n")) << r.err;
  const auto written = kvtest::FileNames(Path("out"));
  EXPECT_LT(written.size(), 120u);
  for (const std::string& name : written) {
    EXPECT_TRUE(name.ends_with(".png")) << name;  // no temporary file
    EXPECT_TRUE(Load("out/" + name)) << name;
  }
}

}  // namespace
