// kvmedia movie export and movie make from a clip: a movie exported and made again from its
// clip plays the same frames, the summary lines, and the clips and targets refused.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <filesystem>

#include "MotionWriter.h"
#include "ToolRun.h"

namespace fs = std::filesystem;

namespace {

using kvtest::Has;
using Result = kvtest::ProgramResult;

constexpr int kW = 37, kH = 21, kFrames = 12;

// A title sliding in from the left: an opaque block, a half-transparent shadow behind it,
// transparent elsewhere; every channel of every pixel differs from its neighbours'.
std::vector<kvtest::MotionPixels> SlidingTitle() {
  std::vector<kvtest::MotionPixels> frames;
  for (int f = 0; f < kFrames; ++f) {
    kvtest::MotionPixels frame(kW * kH, 0);
    for (int y = 3; y < 17; ++y)
      for (int x = 0; x < kW; ++x) {
        const int from = f * 3 - 8;
        const int alpha = x >= from + 4 && x < from + 18 ? 255
                          : x >= from && x < from + 4    ? 128
                                                         : 0;
        if (alpha)
          frame[y * kW + x] =
              kvtest::Px((x * 7 + f * 13) & 255, (y * 11) & 255, ((x + y) * 5 + f) & 255, alpha);
      }
    frames.push_back(frame);
  }
  return frames;
}

class ClipCommand : public kvtest::SharedToolFolder {
 protected:
  static void SetUpTestSuite() {
    s_tool = new kvtest::ToolFolder;
    ASSERT_TRUE(kvtest::WriteMotionMovie(CString::FromUtf8(Path("title.sve")), SlidingTitle(), 5, 7,
                                         kW, kH));
    std::vector<DWORD> back(40 * 30);
    for (std::size_t i = 0; i < back.size(); ++i) back[i] = kvtest::Px(int(i % 200), 90, 40);
    ASSERT_TRUE(KvMediaSaveTGAFile(CString::FromUtf8(Path("bg.tga")), back.data(), CSize(40, 30),
                                   CRect(0, 0, 40, 30)));
    ASSERT_EQ(Status("movie export title.sve clip.mov"), 0);
  }
  // The frames `movie frames` writes of MOVIE with `options`, as pixels.
  static std::vector<std::vector<DWORD>> Frames(const std::string& movie, const std::string& dir,
                                                const std::string& options = "") {
    EXPECT_EQ(Status("movie frames " + movie + " " + dir + " " + options), 0) << movie;
    std::vector<std::vector<DWORD>> frames;
    for (const std::string& name : s_tool->Files(dir, "frame-"))
      frames.push_back(Load(dir + "/" + name).value_or(kvtest::Picture{}).pixels);
    return frames;
  }
};

TEST_F(ClipCommand, UsageMistakesAreOneLineEach) {
  s_tool->Expect({
      {"movie make clip.mov", 2, "expected CLIP OUT.sve, or PATTERN OUT.sve"},
      {"movie make clip.mov m.sve --first 0", 2, "--first, --last and --digits go together"},
      {"movie make clip.mov m.sve --last 3 --digits 2", 2, "a sequence takes all three"},
      {"movie make p.tga m.sve --first 0 --last 3 --digits 2", 2, "a sequence takes --rect"},
      {"movie make clip.mov m.sve --rect 0,2000,8,8", 2, "outside the 1920 x 1080 video raster"},
      {"movie make clip.mov m.sve --tolerance 1,1,1", 2, "--tolerance goes with --color-key"},
      {"movie export title.sve", 2, "expected MOVIE and OUT. See 'kvmedia movie export --help'."},
      {"movie export title.sve o.sve", 2, "OUT must end in .mov or .mkv", "title.sve"},
      {"movie export title.sve o.mp4", 2, "OUT must end in .mov or .mkv"},
      {"movie export title.sve o.mov --codec h264", 2, "--codec takes qtrle, prores4444 or png"},
      {"movie export title.sve o.mkv", 2, "a .mkv takes --codec png or prores4444"},
      {"movie export title.sve o.MKV --codec 0", 2, "qtrle goes into a .mov"},
      {"movie export title.sve o.mov --fps 0", 2, "--fps takes a whole number from 1 to 240"},
      {"movie export title.sve o.mov --fps=241", 2, "from 1 to 240"},
      {"movie export title.sve o.mov --mix 0", 2, "--background and --mix go together"},
      {"movie export title.sve o.mov --background bg.tga", 2, "--background and --mix go"},
      {"movie export title.sve o.mov --paste 1,2", 2, "--paste goes with --background"},
      {"movie export title.sve o.mov --rect 0,0,8,8", 2, "unknown option '--rect'"},
  });
  EXPECT_FALSE(fs::exists(Path("m.sve")) || fs::exists(Path("o.mov")));
}

// Exported and made again from its clip, a movie plays the same frames (qtrle and png
// exactly, over a background too); each step's summary says what it made.
TEST_F(ClipCommand, ExportedAndMadeAgainAMoviePlaysTheSameFrames) {
  const struct {
    std::string clip, exportOptions, playOptions, makeOptions, exported, made;
    bool exact = true;
  } rows[] = {
      {"qtrle.mov", "", "", "", "title.sve -> qtrle.mov: 12 frames of 37 x 21, qtrle at 25 fps",
       "qtrle.mov -> qtrle.sve: 12 frames of a 25 fps clip; 37 x 21 at 0,0, a key frame every 25"},
      {"png.mkv", "--codec png --fps 8", "", "--key 10", "12 frames of 37 x 21, png at 8 fps",
       "png.mkv -> png.sve: 12 frames of an 8 fps clip, one per video frame; 37 x 21 at 0,0, a "
       "key frame every 10"},
      {"over.mov", "--codec=png", "--background bg.tga --mix 0 --paste 3,2", "",
       "12 frames of 40 x 30, png at 25 fps", "12 frames of a 25 fps clip; 40 x 30 at 0,0"},
      {"prores.mov", "--codec prores4444 --fps 50", "", "--rect 1,2,30,15",
       "12 frames of 37 x 21, prores4444 at 50 fps",
       "12 frames of a 50 fps clip, one per video frame; 30 x 15 at 1,2", false},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.clip);
    const std::string movie = row.clip.substr(0, row.clip.find('.')) + ".sve";
    s_tool->Expect(
        {{"movie export title.sve " + row.clip + " " + row.exportOptions + " " + row.playOptions, 0,
          row.exported},
         {"movie make " + row.clip + " " + movie + " " + row.makeOptions, 0, row.made}});
    if (!row.exact) continue;
    const auto original = Frames("title.sve", "played-" + row.clip, row.playOptions);
    ASSERT_EQ(original.size(), std::size_t(kFrames));
    EXPECT_TRUE(Frames(movie, "again-" + row.clip) == original);
  }
}

// NTSC's 30000/1001 frames a second, as an editing system writes them: the exported clip's
// media time scale and sample duration set so (both big-endian, at fixed places after the
// box names), which makes a 29.97 fps clip.
TEST_F(ClipCommand, AFractionalRateIsGivenWithTwoDecimals) {
  kvtest::Bytes mov = s_tool->Read("clip.mov");
  const auto put = [&](std::size_t at, DWORD value) {
    for (int i = 0; i < 4; ++i) mov.at(at + i) = BYTE(value >> (24 - 8 * i));
  };
  const auto box = [&](const char* name) {
    return std::size_t(std::search(mov.begin(), mov.end(), name, name + 4) - mov.begin());
  };
  put(box("mdhd") + 16, 30000);           // version, flags, two dates, then the time scale
  put(box("mdhd") + 20, kFrames * 1001);  // and the duration
  put(box("stts") + 16, 1001);            // entry 1: its count, then its sample duration
  s_tool->Write("ntsc.mov", mov);
  s_tool->Expect(
      {{"movie make ntsc.mov ntsc.sve", 0, "12 frames of a 29.97 fps clip, one per video frame;"}});
}

// Nothing is written over an input, a refused clip leaves no movie and an old one as it was,
// and a target the clip cannot be written to is refused with the reason. A Matroska clip cut
// in half still holds whole frames, and no count of them: the reader sees that they end
// before the time the file states.
TEST_F(ClipCommand, RefusedClipsAndTargetsLeaveNothingAndKeepWhatWasThere) {
  const kvtest::Bytes clip = s_tool->Read("clip.mov");
  s_tool->Write("half.mov", kvtest::Cut(clip, clip.size() / 2));
  ASSERT_EQ(Status("movie export title.sve whole.mkv --codec png"), 0);
  const kvtest::Bytes mkv = s_tool->Read("whole.mkv");
  s_tool->Write("half.mkv", kvtest::Cut(mkv, mkv.size() / 2));
  s_tool->Write("junk.mov", kvtest::Bytes(300, 7));
  s_tool->Write("old.sve", {'o', 'l', 'd'});
  s_tool->Write("ro.mov", {'o', 'l', 'd'});
  ASSERT_EQ(::chmod(Path("ro.mov").c_str(), 0444), 0);
  ASSERT_EQ(::mkfifo(Path("fifo.mov").c_str(), 0600), 0);
  fs::create_directory(Path("folder.mov"));
  fs::create_symlink("title.sve", Path("title-link.mov"));
  fs::create_symlink("bg.tga", Path("bg-link.mkv"));
  fs::create_symlink("clip.mov", Path("clip-link.sve"));
  s_tool->Expect({
      {"movie export title.sve title-link.mov", 1, "is the input title.sve", "title.sve"},
      {"movie export title.sve bg-link.mkv --codec png --background bg.tga --mix 0", 1,
       "is the input bg.tga", "bg.tga"},
      {"movie make clip.mov clip-link.sve", 1, "is the input clip.mov", "clip.mov"},
      {"movie make missing.mov new.sve", 1, "missing.mov: no such file"},
      {"movie make fifo.mov new.sve", 1, "fifo.mov: not a regular file"},
      {"movie export fifo.mov new.mov", 1, "fifo.mov: not a regular file"},
      {"movie make junk.mov new.sve", 1, "junk.mov: "},
      {"movie make half.mov new.sve", 1, "half.mov: "},
      {"movie make half.mkv old.sve", 1, "half.mkv: ", "old.sve"},
      {"movie export bg.tga new.mov", 1, "bg.tga: "},
      {"movie export title.sve folder.mov", 1, "folder.mov: "},
      {"movie export title.sve ro.mov", 1, "ro.mov: ", "ro.mov"},
  });
  EXPECT_EQ(s_tool->Files(".", "new."), std::vector<std::string>{});
  EXPECT_EQ(s_tool->Files(".", ".kvtmp"), std::vector<std::string>{});
  // A full disk: the clip stops part way, and nothing of it is left.
  const Result full = Line("movie export title.sve full.mov", {.fileSizeLimit = 1024});
  EXPECT_EQ(full.status, 1);
  EXPECT_TRUE(Has(full.err, "kvmedia: full.mov: ")) << full.err;
  EXPECT_EQ(s_tool->Files(".", "full"), std::vector<std::string>{});
  EXPECT_EQ(s_tool->Files(".", ".kvtmp"), std::vector<std::string>{});
}

// Ctrl-C with nearly half of the clip written (46 MB of PNG frames): exit 130, and neither the
// clip nor its temporary file.
TEST_F(ClipCommand, CtrlCHalfwayThroughAnExportLeavesNoFile) {
  std::vector<kvtest::MotionPixels> frames(200, kvtest::MotionPixels(320 * 180));
  unsigned state = 1;
  for (auto& frame : frames)
    for (DWORD& px : frame) px = (state = state * 1103515245u + 12345u) | 0xFF000000u;
  ASSERT_TRUE(
      kvtest::WriteMotionMovie(CString::FromUtf8(Path("noise.sve")), frames, 0, 0, 320, 180));
  const std::string folder = s_tool->path();
  const auto writingFrames = [&](pid_t) {
    for (const std::string& name : s_tool->Files(".", ".kvtmp"))
      if (std::error_code ec; fs::file_size(folder + "/" + name, ec) > (20u << 20) && !ec)
        return true;
    return false;
  };
  const Result r =
      Line("movie export noise.sve noise.mov --codec png", {.interruptWhen = writingFrames});
  EXPECT_EQ(r.status, 130);
  EXPECT_TRUE(Has(r.err, "kvmedia: interrupted\n")) << r.err;
  EXPECT_FALSE(fs::exists(Path("noise.mov")));
  EXPECT_EQ(s_tool->Files(".", ".kvtmp"), std::vector<std::string>{});
}

}  // namespace
