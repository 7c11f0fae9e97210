// kvmedia's usage lines, and convert's batch (many pictures into one folder over threads), run
// as its users run them.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <sstream>

#include "GifWriter.h"
#include "KvMediaFile/KvPicture.h"
#include "MediaChecks.h"
#include "Pictures.h"
#include "PngWriter.h"
#include "ProgramRun.h"
#include "TestSupport.h"

namespace fs = std::filesystem;

namespace {

using Result = kvtest::ProgramResult;

class KvmediaBatch : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { KvMediaFileOpen(); }
  kvtest::TempDir m_dir;
  Result Run(const std::vector<std::string>& args, kvtest::ProgramOptions options = {}) {
    options.folder = m_dir.path();
    return kvtest::RunProgram(KVMEDIA_PATH, args, options);
  }
  // Through a terminal (script(1)), where the progress line is drawn.
  Result OnTerminal(const std::string& args) {
    return kvtest::RunProgram("/usr/bin/script", {"-qec", KVMEDIA_PATH " " + args, "/dev/null"},
                              {.folder = m_dir.path()});
  }
  std::string Path(const std::string& name) const { return m_dir.path() + "/" + name; }
  std::optional<kvtest::Picture> Load(const std::string& name) const {
    CRect rect;
    return kvtest::TakePicture(KvMediaLoadPicFile(CString::FromUtf8(Path(name)), rect), rect, rect);
  }
  void Folder(const std::string& name) { fs::create_directories(Path(name)); }
  // A PNG with alpha, through libpng (the library loads it through its locked loader).
  void WritePng(const std::string& name, int w, int h) {
    kvtest::PngImage png{.width = w, .height = h};
    for (int i = 0; i < w * h * 4; ++i) png.samples.push_back(static_cast<unsigned char>(i * 7));
    ASSERT_TRUE(kvtest::WritePng(Path(name), png));
  }
};

bool Has(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

// Every usage mistake is one line: the mistake, the nearest word when one is near, and where
// the help is. --opt=value is --opt value; a value may look like an option.
TEST_F(KvmediaBatch, AUsageMistakeIsOneLineWithTheNearestWord) {
  kvtest::WritePicture(Path("in.tga"), 6, 4, 1);
  const struct {
    std::vector<std::string> args;
    const char* line;  // the whole of standard error
  } mistakes[] = {
      {{"movie", "make", "p.tga", "o.sve", "--rects", "1"},
       "unknown option '--rects'; did you mean '--rect'? See 'kvmedia movie make --help'."},
      {{"conver", "in.tga", "o.png"},
       "unknown command 'conver'; did you mean 'convert'? See 'kvmedia --help'."},
      {{"mvoie"}, "unknown command 'mvoie'; did you mean 'movie'? See 'kvmedia --help'."},
      {{"--verison"},
       "unknown option '--verison'; did you mean '--version'? See 'kvmedia --help'."},
      {{"info", "--xyzzy", "in.tga"}, "unknown option '--xyzzy'. See 'kvmedia info --help'."},
      {{"movie", "mkae"},
       "unknown subcommand 'mkae'; did you mean 'make'? See 'kvmedia movie --help'."},
      {{"scroll"}, "expected a subcommand: make or frames. See 'kvmedia scroll --help'."},
      {{"help", "zom"}, "unknown command 'zom'; did you mean 'zoom'? See 'kvmedia --help'."},
      {{"info", "--json=yes", "in.tga"}, "'--json' takes no value. See 'kvmedia info --help'."},
      {{"movie", "frames", "m.sve", "o", "--every"},
       "'--every' needs a value. See 'kvmedia movie frames --help'."},
      {{"zoom", "--size=0x5", "in.tga", "o.png"},
       "--size takes WxH with W and H above 0. See 'kvmedia zoom --help'."},
      {{"convert", "in.tga"}, "expected IN and OUT. See 'kvmedia convert --help'."},
      {{"catalog", "a", "b"}, "expected one FOLDER. See 'kvmedia catalog --help'."},
      {{"scroll", "frames", "r.ksc", "o", "--frames=0"},
       "--frames takes a whole number from 1 to 100000. See 'kvmedia scroll frames --help'."},
      // A value that starts with '-' is the option's value, not another option.
      {{"zoom", "--size", "3x2", "--mix", "-1", "in.tga", "o.png"},
       "--mix takes a whole number from 0 to 2. See 'kvmedia zoom --help'."},
  };
  for (const auto& m : mistakes) {
    const Result r = Run(m.args);
    EXPECT_EQ(r.status, 2) << m.line;
    EXPECT_EQ(r.err, "kvmedia: " + std::string(m.line) + "\n");
    EXPECT_EQ(r.out, "");
  }
  const Result none = Run({});
  EXPECT_EQ(none.status, 2);
  EXPECT_EQ(std::count(none.err.begin(), none.err.end(), '\n'), 1) << none.err;

  const Result zoomed = Run({"zoom", "--size=3x2", "--mix=2", "--", "in.tga", "o.png"});
  EXPECT_EQ(zoomed.status, 0) << zoomed.err;
  EXPECT_EQ(Load("o.png")->rect, CRect(0, 0, 3, 2));
  for (const std::vector<std::string>& help : std::vector<std::vector<std::string>>{
           {"help", "movie"}, {"help", "movie", "make"}, {"movie", "make", "--help"}}) {
    const Result r = Run(help);
    EXPECT_EQ(r.status, 0);
    EXPECT_TRUE(r.out.starts_with("usage: kvmedia movie make ")) << r.out;
  }
}

// Every option a command's help names is one that bash offers, and so one the command takes:
// the option lines come from the command's table, but its synopsis and prose are written by hand.
TEST_F(KvmediaBatch, EveryOptionOfTheHelpIsOffered) {
  const std::string completion = Run({"--bash-completion"}).out;
  kvtest::WriteFileBytes(Path("c.bash"), {completion.begin(), completion.end()});
  const auto offered = [&](const std::string& words) {
    return kvtest::RunProgram("/bin/bash",
                              {"-c", ". ./c.bash; COMP_WORDS=(kvmedia " + words +
                                         " -); COMP_CWORD=$((${#COMP_WORDS[@]} - 1)); "
                                         "_kvmedia; echo \" ${COMPREPLY[*]} \""},
                              {.folder = m_dir.path()})
        .out;
  };
  for (const std::string c : {"catalog", "convert", "info", "movie", "scroll", "zoom"}) {
    const std::string help = Run({c, "--help"}).out;
    const std::string words =
        c == "movie" || c == "scroll" ? offered(c + " make") + offered(c + " frames") : offered(c);
    for (std::size_t at = help.find("--"); at != std::string::npos; at = help.find("--", at + 2)) {
      std::size_t end = at + 2;
      while (end < help.size() && (std::islower(help[end]) || help[end] == '-')) ++end;
      const std::string option = help.substr(at, end - at);
      EXPECT_TRUE(option.size() == 2 || Has(words, " " + option + " ")) << c << " " << option;
    }
  }
}

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
  Folder("a");
  Folder("b");
  Folder("dir.tga");
  kvtest::WritePicture(Path("a/x.tga"), 21, 13, 1);
  kvtest::WritePicture(Path("b/x.bmp"), 9, 5, 2);
  kvtest::WritePicture(Path("c.bmp"), 33, 17, 3);
  WritePng("d.png", 17, 9);
  kvtest::WriteFileBytes(Path("e.gif"),
                         kvtest::WriteGif(kvtest::OneImageGif(7, 3, kvtest::Bytes(21, 2),
                                                              kvtest::DistinctColours(4))));
  kvtest::WriteFileBytes(Path("bad.tga"), {1, 2, 3});
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
  const auto b = kvtest::ReadFileBytes(Path("p/b.bmp")), c = kvtest::ReadFileBytes(Path("p/c.png"));
  Result r = Run({"convert", "p/c.png", "p/a.tga", "--to", "png", "--outdir", "p"});
  EXPECT_EQ(r.status, 1);
  EXPECT_TRUE(Has(r.err, "kvmedia: p/c.png: p/c.png is an input; it is not overwritten\n"))
      << r.err;
  EXPECT_EQ(kvtest::ReadFileBytes(Path("p/c.png")), c);
  EXPECT_EQ(Load("p/a.png"), Load("p/a.tga"));
  r = Run({"convert", "p/b.bmp", "--to", "tga", "--outdir", "p"});
  EXPECT_EQ(r.status, 1);
  EXPECT_TRUE(Has(r.err, "p/b.tga is an input")) << r.err;
  EXPECT_EQ(kvtest::ReadFileBytes(Path("p/b.bmp")), b);
  EXPECT_TRUE(fs::is_symlink(Path("p/b.tga")));
}

TEST_F(KvmediaBatch, UsageAndFolderMistakes) {
  kvtest::WritePicture(Path("in.tga"), 4, 4, 1);
  kvtest::WriteFileBytes(Path("file"), {1});
  const struct {
    std::vector<std::string> args;
    int status;
    const char* says;
  } cases[] = {
      {{"convert", "in.tga", "--to", "png"}, 2, "--to TYPE and --outdir DIR go together"},
      {{"convert", "in.tga", "--outdir", "o", "--to", "gif"}, 2, "--to takes tga, bmp, pcx"},
      {{"convert", "in.tga", "--outdir", "o", "--to", "png", "-j", "33"},
       2,
       "-j takes a whole number from 1 to 32"},
      {{"convert", "--to=png", "--outdir=o"}, 2, "expected at least one IN"},
      {{"convert", "in.tga", "--outdir", "o", "--to", "png", "--time", "1"},
       2,
       "--time goes with one IN and OUT"},
      {{"convert", "in.tga", "--outdir", "file", "--to", "png"}, 1, "file is not a folder"},
      {{"convert", "in.tga", "--outdir", "o/deep", "--to", ".JPG", "--region", "1,1,2,2"},
       0,
       "1 of 1 pictures converted into o/deep\n"},
  };
  for (const auto& c : cases) {
    const Result r = Run(c.args);
    EXPECT_EQ(r.status, c.status) << c.says << ": " << r.err;
    EXPECT_TRUE(Has(r.out + r.err, c.says)) << c.says << ": " << r.out << r.err;
  }
  EXPECT_EQ(Load("o/deep/in.jpg")->rect, CRect(0, 0, 2, 2));
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
