// kvmedia run as a user runs it: its command lines (usage, refusals, ranges, limits) in
// tables, odd names, refused and full targets, frame folders, FLIC files, interruptions, the
// facts of `info` for every type.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <sstream>

#include "FlicWriter.h"
#include "MotionWriter.h"
#include "Pictures.h"
#include "TgaWriter.h"
#include "ToolRun.h"

namespace fs = std::filesystem;

namespace {

using Result = kvtest::ProgramResult;
using kvtest::Has;

// Every test runs kvmedia in the suite's folder, which holds one picture of each type, a
// movie, a roll and the inputs that the tables name.
class Kvmedia : public kvtest::SharedToolFolder {
 protected:
  static void SetUpTestSuite();
  static std::vector<std::string> Files(const std::string& folder, const std::string& part) {
    return s_tool->Files(folder, part);
  }
  // A roll of `height` lines of `width` pixels, made from a generated picture.
  static void MakeScroll(const std::string& name, int width, int height, const char* direction) {
    kvtest::TgaImage tga{
        .imageType = 2, .pixelDepth = 32, .descriptor = 0x28, .width = width, .height = height};
    for (int y = 0; y < height; ++y)
      for (int i = 0; i < width * 4; ++i)
        tga.pixels.push_back(static_cast<unsigned char>(i * 7 + y * 13));
    s_tool->Write(name + ".tga", kvtest::WriteTga(tga));
    ASSERT_EQ(Status("scroll make " + name + ".tga " + name + " --direction " + direction), 0);
  }
};

std::string FrameName(int f) { return "/frame-0000" + std::to_string(f) + ".png"; }

// Frame f is all index f + 1, colour f + 1 of a grey ramp; frame 2 can be of an unknown type.
kvtest::FlicBytes FlicMovie(bool fli, bool broken = false) {
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

constexpr int kW = 40, kH = 30;
constexpr DWORD kMovieColour = 0xFF20C040u;

void Kvmedia::SetUpTestSuite() {
  s_tool = new kvtest::ToolFolder;
  KvMediaFileOpen();
  kvtest::TgaImage tga{.imageType = 2, .pixelDepth = 32, .width = kW, .height = kH};
  for (int i = 0; i < kW * kH; ++i)
    tga.pixels.insert(tga.pixels.end(), {static_cast<unsigned char>(i), 0x80, 0x40, 0xC0});
  s_tool->Write("pic.tga", kvtest::WriteTga(tga));
  // 16 KiB that no compression shrinks.
  tga.width = tga.height = 64;
  tga.pixels.resize(64 * 64 * 4);
  unsigned state = 1;
  for (unsigned char& b : tga.pixels)
    b = static_cast<unsigned char>((state = state * 1103515245u + 12345u) >> 24);
  s_tool->Write("noise.tga", kvtest::WriteTga(tga));
  ASSERT_EQ(Status("convert pic.tga pic.png"), 0);
  // Six opaque frames of 16 x 8, made to stand at (5, 7).
  std::vector<kvtest::MotionPixels> frames(6, kvtest::MotionPixels(16 * 8, kMovieColour));
  ASSERT_TRUE(
      kvtest::WriteMotionMovie(CString::FromUtf8(Path("movie.sve")), frames, 5, 7, 16, 8, 3));
  MakeScroll("roll.ksc", kW, kH, "0");
  // A small picture to zoom, with some alpha to mix with, and a background.
  std::vector<DWORD> zoom = kvtest::Gradient(9, 5), back(24, kvtest::Px(200, 100, 50));
  zoom[3] &= 0x40FFFFFFu;
  ASSERT_TRUE(KvMediaSaveTGAFile(CString::FromUtf8(Path("-in.tga")), zoom.data(), CSize(9, 5),
                                 CRect(0, 0, 9, 5)));
  ASSERT_TRUE(KvMediaSaveTGAFile(CString::FromUtf8(Path("bg.tga")), back.data(), CSize(4, 6),
                                 CRect(0, 0, 4, 6)));
  // Files that the refusals name: a pipe never opened (no command waits), a file that is no
  // folder, read-only targets, and inputs that an output must not replace.
  ASSERT_EQ(::mkfifo(Path("fifo.ksc").c_str(), 0600), 0);
  s_tool->Write("plain", {1});
  for (const char* name : {"ro.png", "ro.tga"})
    s_tool->Write(name, {'o', 'l', 'd'}), ::chmod(Path(name).c_str(), 0444);
  fs::create_directories(Path("own/fr"));
  for (const char* name :
       {"own/p0.tga", "own/p1.tga", "own/p2.tga", "range/p0.tga", "range/p1.tga"})
    fs::create_directories(fs::path(Path(name)).parent_path()),
        fs::copy_file(Path("pic.tga"), Path(name));
  fs::copy_file(Path("pic.png"), Path("own/a.png"));
  fs::copy_file(Path("pic.png"), Path("own/fr/frame-00000.png"));
  fs::create_symlink("p1.tga", Path("own/link.sve"));
  fs::create_symlink("p0.tga", Path("own/c.ksc"));
}

// The arguments of a movie made from a numbered sequence, from frame 0.
std::string Make(const std::string& inOut, const std::string& more) {
  return "movie make " + inOut + " --first 0 --digits 1 " + more;
}

// Each usage mistake is one line: the mistake, the nearest word when one is near, the range a
// value takes, and where the help is. --opt=value is --opt value; a value may look like an
// option.
TEST_F(Kvmedia, UsageMistakesAreOneLineEach) {
  // clang-format off
  s_tool->Expect({
      {"", 2, "kvmedia: "},
      {"frobnicate", 2, "unknown command 'frobnicate'"},
      {"conver pic.tga o.png", 2,
       "unknown command 'conver'; did you mean 'convert'? See 'kvmedia --help'."},
      {"mvoie", 2, "unknown command 'mvoie'; did you mean 'movie'? See 'kvmedia --help'."},
      {"help zom", 2, "unknown command 'zom'; did you mean 'zoom'? See 'kvmedia --help'."},
      {"--verison", 2,
       "unknown option '--verison'; did you mean '--version'? See 'kvmedia --help'."},
      {"movie make p.tga o.sve --rects 1", 2,
       "unknown option '--rects'; did you mean '--rect'? See 'kvmedia movie make --help'."},
      {"info --xyzzy pic.tga", 2,
       "kvmedia: unknown option '--xyzzy'. See 'kvmedia info --help'.\n"},
      {"movie mkae", 2,
       "unknown subcommand 'mkae'; did you mean 'make'? See 'kvmedia movie --help'."},
      {"scroll", 2, "expected a subcommand: make or frames. See 'kvmedia scroll --help'."},
      {"info --json=yes pic.tga", 2, "'--json' takes no value. See 'kvmedia info --help'."},
      {"movie frames movie.sve o --paste 1,2", 2, "--paste goes with --background"},
      {"movie frames m.sve o --every", 2,
       "'--every' needs a value. See 'kvmedia movie frames --help'."},
      {"convert pic.tga", 2, "expected IN and OUT. See 'kvmedia convert --help'."},
      {"convert pic.tga out.gif", 2, ".jpeg or .png"},
      {"catalog", 2, "expected one FOLDER"},
      {"catalog a b", 2, "expected one FOLDER. See 'kvmedia catalog --help'."},
      {"scroll make pic.tga x.ksc --direction sideways", 2, "up, down, left"},
      {"scroll frames r.ksc o --frames=0", 2,
       "--frames takes a whole number from 1 to 100000. See 'kvmedia scroll frames --help'."},
      {"zoom -- -in.tga out.png", 2, "--size is required"},
      {"zoom --size=0x5 pic.tga o.png", 2,
       "--size takes WxH with W and H above 0. See 'kvmedia zoom --help'."},
      {"zoom --size 4x4 --mix over -- -in.tga out.png", 2, "whole number"},
      // A value that starts with '-' is the option's value, not another option.
      {"zoom --size 3x2 --mix -1 pic.tga o.png", 2,
       "--mix takes a whole number from 0 to 2. See 'kvmedia zoom --help'."},
      {"zoom --size 4x4 -- -in.tga out.gif", 2, "OUT must end in"},
      {"zoom --size 4x4 -- -in.tga", 2, "expected IN and OUT"},
      {"convert pic.tga --to png", 2, "--to TYPE and --outdir DIR go together"},
      {"convert pic.tga --outdir o --to gif", 2, "--to takes tga, bmp, pcx"},
      {"convert pic.tga --outdir o --to png -j 33", 2, "-j takes a whole number from 1 to 32"},
      {"convert --to=png --outdir=o", 2, "expected at least one IN"},
      {"convert pic.tga --outdir o --to png --time 1", 2, "--time goes with one IN and OUT"},
      {"convert movie.sve range/t.png --time -1", 2, "from 0 to 10000"},
      {"convert roll.ksc range/t.png --time 1.5", 2, "from 0 to 1"},
      {"convert pic.tga range/r.png --region 40,0,5,5", 2, "the 40 x 30 picture"},
      {"scroll frames roll.ksc range/s --from 2", 2, "from 0 to 1"},
      {"scroll frames roll.ksc range/s --to -1", 2, "from 0 to 1"},
      // The raster follows --standard, given before the command or among its options.
      {"--standard uhd " + Make("range/p.tga range/m.sve", "--last 1 --rect 3840,0,8,8"), 2,
       "outside the 3840 x 2160 video raster"},
      {Make("range/p.tga range/m.sve", "--last 1 --rect 720,0,8,8 --standard=sd"), 2,
       "outside the 720 x 576 video raster"},
      {"--standard=4k info pic.tga", 2, "--standard is sd, hd or uhd, not '4k'. See 'kvmedia --help'."},
      {"info pic.tga --standard", 2, "'--standard' needs a value. See 'kvmedia info --help'."},
      {Make("range/p.tga range/m.sve", "--last 40000 --rect 0,0,8,8"), 2, "at most 32767 frames"},
      {Make("own/p.tga own/p0.tga", "--last 2 --rect 0,0,40,30"), 2,
       "OUT must end in .sve", "own/p0.tga"},
      {"scroll make own/p0.tga own/p0.tga --direction up", 2, "OUT must end in .ksc", "own/p0.tga"},
      {"catalog own --contact-sheet own/p0.tga", 2, "must end in .png", "own/p0.tga"},
      {"convert pic.tga limit.png", 2,
       "KV_MAX_PICTURE_BYTES must be a number of bytes from 1, not '12k'", {}, "12k"},
      {"convert pic.tga limit.png", 2, "not '0'", {}, "0"},
      {"convert pic.tga limit.png", 2, "not '9", {}, "99999999999999999999999"},
  });
  // clang-format on
  EXPECT_FALSE(fs::exists(Path("out.png")));
  EXPECT_FALSE(fs::exists(Path("limit.png")));
  // What the mistakes above got wrong, written right.
  ASSERT_EQ(Status("zoom --size=3x2 --mix=2 -- pic.tga o.png"), 0);
  EXPECT_EQ(Load("o.png")->rect, CRect(0, 0, 3, 2));
}

// What cannot be read or written is refused with the reason, and the file the command would
// have replaced stays as it was: no command writes over one of its inputs, however the output
// is spelt, nor a movie that does not read back.
TEST_F(Kvmedia, RefusalsSayWhyAndKeepTheTarget) {
  // A device of its own that takes a movie and gives nothing back (where nodes can be made).
  const bool device = ::mknod(Path("own/null.sve").c_str(), S_IFCHR | 0666, makedev(1, 3)) == 0;
  fs::create_directories(Path("dm/round.gif"));  // the demo's GIF cannot take its place
  // clang-format off
  std::vector<kvtest::CommandLine> rows = {
      {"convert pic.tga no/such/folder/out.png", 1, "No such file or directory"},
      {"convert missing.tga out.png", 1, "missing.tga: no such file"},
      {"info -q -- --help", 1, "--help: no such file"},
      {"info fifo.ksc", 1, "fifo.ksc: not a regular file"},
      {"scroll frames fifo.ksc frames", 1, "fifo.ksc: not a regular file"},
      {"convert fifo.ksc out.png", 1, "fifo.ksc: not a regular file"},
      {"zoom --size 100000x100000 -- -in.tga out.png", 1, "too large"},
      {"zoom --size 4x4 none.tga out.png", 1, "none.tga: no such file"},
      {"zoom --size 4x4 --over none.bmp -- -in.tga out.png", 1, "none.bmp: no such file"},
      {"convert pic.tga ro.png", 1, "Permission denied", "ro.png"},
      {"convert pic.tga ro.tga", 1, "Permission denied", "ro.tga"},
      {"convert pic.tga --outdir plain --to png", 1, "plain is not a folder"},
      {"convert pic.tga limit.png", 1, "pic.tga", {}, "4799"},
      {Make("own/p.tga own/link.sve", "--last 2 --rect 0,0,40,30"), 1,
       "own/link.sve: is the input own/p1.tga", "own/p1.tga"},
      {"scroll make own/p0.tga own/c.ksc --direction up", 1,
       "is the input own/p0.tga", "own/p0.tga"},
      {"convert own/p0.tga ./own/../own/p0.tga", 1, "is the input", "own/p0.tga"},
      {"zoom --size 4x4 --over own/p2.tga own/p0.tga own/p2.tga", 1,
       "is the input own/p2.tga", "own/p2.tga"},
      {"catalog own --contact-sheet own/a.png", 1, "is the input", "own/a.png"},
      {"movie frames movie.sve own/fr --background own/fr/frame-00000.png --mix 0 --force", 1,
       "which is the input own/fr/frame-00000.png", "own/fr/frame-00000.png"},
      {"catalog none", 1, "kvmedia: none: no such folder\n"},
      {"demo dm", 1, "kvmedia: cannot write dm/round.gif: Is a directory\n"},
  };
  // clang-format on
  if (device)
    rows.push_back({Make("own/p.tga own/null.sve", "--last 2 --rect 0,0,40,30"), 1,
                    "the movie written cannot be read back", "own/p0.tga"});
  s_tool->Expect(rows);
  EXPECT_FALSE(fs::exists(Path("out.png")));
  EXPECT_EQ(fs::is_character_file(Path("own/null.sve")), device);
  EXPECT_EQ(Files("own", "PicMedia").size(), 0u);  // refused before the folder was listed
}

// What the tool asks for and what it says, where the command works: help, the version, a
// picture limit just large enough, and a rectangle that was cut.
TEST_F(Kvmedia, WorkingLinesSayWhatTheyDid) {
  // clang-format off
  s_tool->Expect({
      {"--version", 0, "kvmedia 0."},
      {"convert --help", 0, "loading a BMP keeps no alpha"},
      {"scroll --help", 0, "up (0) and down (1)"},
      {"help movie", 0, "usage: kvmedia movie make "},
      {"help movie make", 0, "usage: kvmedia movie make "},
      {"movie make --help", 0, "usage: kvmedia movie make "},
      {"convert pic.tga limit.png", 0, "", {}, "4800"},  // 40 x 30 x 4 bytes
      {Make("range/p.tga range/m.sve", "--last 1 --rect 1900,1070,40,30"), 0,
       "the movie is 1900,1070,20,10"},
      {"convert pic.tga range/r.png --region 30,20,20,20", 0, "saved is 30,20,10,10"},
      {"convert pic.tga --outdir o/deep --to .JPG --region 1,1,2,2", 0,
       "1 of 1 pictures converted into o/deep\n"},
  });
  // clang-format on
  EXPECT_EQ(Load("range/r.png")->rect, CRect(0, 0, 10, 10));
  EXPECT_EQ(Load("o/deep/pic.jpg")->rect, CRect(0, 0, 2, 2));
  EXPECT_TRUE(Has(Line("info range/m.sve").out, "width=20 height=10"));
}

// Every command of the list in --help: its own help, its place in the manual page and in the
// bash completion, and every option its help names is one that bash offers (the option lines
// come from the command's table, its synopsis and prose are written by hand).
TEST_F(Kvmedia, EveryCommandHelpsAndIsInTheManualAndTheCompletion) {
  const std::string help = Line("--help").out, man = Line("--man").out;
  std::vector<std::string> commands;
  std::string all;
  const auto list = help.find("\ncommands:\n");
  ASSERT_NE(list, std::string::npos);
  for (std::size_t at = list + 11; help.compare(at, 2, "  ") == 0; at = help.find('\n', at) + 1)
    all += commands.emplace_back(help.substr(at + 2, help.find(' ', at + 2) - at - 2)) + " ";
  ASSERT_GE(commands.size(), 7u) << help;
  EXPECT_EQ(s_tool->Complete("\"\""), all + "--help --version --man --standard --bash-completion");
  for (const std::string& c : commands) {
    const Result r = Line(c + " --help");
    EXPECT_EQ(r.status, 0) << c;
    EXPECT_TRUE(r.out.starts_with("usage: kvmedia " + c + " ")) << r.out;
    EXPECT_FALSE(Has(r.out, "road") || Has(r.out, "passes through it")) << c << " is vague";
    EXPECT_TRUE(Has(man, "\n.SS " + c + "\n")) << c;
    if (c == "demo") continue;
    std::string offered = " ";
    for (const char* sub : {" make -", " frames -", " export -"})
      offered += s_tool->Complete(c == "movie" || c == "scroll" ? c + sub : c + " -") + " ";
    for (std::size_t at = r.out.find("--"); at != std::string::npos;
         at = r.out.find("--", at + 2)) {
      std::size_t end = at + 2;
      while (end < r.out.size() && (std::islower(r.out[end]) || r.out[end] == '-')) ++end;
      const std::string option = r.out.substr(at, end - at);
      EXPECT_TRUE(option.size() == 2 || Has(offered, " " + option + " ")) << c << " " << option;
    }
  }
}

// The page in 80 columns without a warning, with the sections a page has, and examples that
// kvmedia takes as written (each run with --help last, after its options are checked).
TEST_F(Kvmedia, TheManualPageFitsEightyColumnsAndItsExamplesRun) {
  const std::string man = Line("--man").out;
  s_tool->Write("kvmedia.1", {man.begin(), man.end()});
  const Result wide = s_tool->Shell(
      "{ groff -man -Tascii -P-cbou -rLL=80n -ww kvmedia.1 | awk 'length > 80'; } 2>&1");
  EXPECT_EQ(wide.status, 0);
  EXPECT_EQ(wide.out, "");  // neither a wide line nor a warning
  for (const char* section : {"SYNOPSIS", "COMMANDS", "EXIT STATUS", "ENVIRONMENT", "EXAMPLES"})
    EXPECT_TRUE(Has(man, std::string("\n.SH ") + section + "\n")) << section;
  EXPECT_TRUE(Has(man, "KVMEDIA_IMG_DIR"));

  const auto from = man.find("\n.SH EXAMPLES\n");
  std::istringstream lines(man.substr(from, man.find("\n.SH ", from + 1) - from));
  int examples = 0;
  bool verbatim = false;
  std::string command;
  for (std::string line; std::getline(lines, line);) {
    verbatim = line == ".nf" || (verbatim && line != ".fi");
    if (!verbatim || line == ".nf") continue;
    for (std::size_t at; (at = line.find("\\-")) != std::string::npos;) line.erase(at, 1);
    command += line;
    if (command.ends_with("\\e")) {
      command.resize(command.size() - 2);
      continue;
    }
    ASSERT_TRUE(command.starts_with("kvmedia ")) << command;
    const Result r = Line(command.substr(8) + " --help");
    EXPECT_EQ(r.status, 0) << command << ": " << r.err;
    command.clear();
    ++examples;
  }
  EXPECT_GE(examples, 6);
}

// What bash offers: the subcommands, the options of the subcommand being typed (-q may come
// before it), the values of an option that takes one of a set (after a space or the '=' bash
// splits off, item by item in a list), and bash's own file names for any other value and
// after "--".
TEST_F(Kvmedia, TheCompletionOffersTheSubcommandsOptionsAndAnOptionsValues) {
  const std::string frames =
      "--background --every --force --help --memory --mix --paste --standard";
  const struct {
    std::string words, offered;
  } cases[] = {
      {"movie \"\"", "export frames make"},
      {"convert --re", "--region"},
      {"info p", ""},
      {"movie frames --", frames},
      {"movie -q frames m.sve --", frames},
      {"movie -q \"\"", "export frames make"},
      {"movie export m.sve c.mov --codec p", "prores4444 png"},
      {"scroll make p.tga --direction \"\"", "up down left right"},
      {"scroll make --direction = l", "left"},
      {"scroll make --direction =", "up down left right"},
      {"convert --to j", "jpg jpeg"},
      {"catalog pictures --types tga,p", "tga,pcx tga,png tga,psd"},
      {"zoom --mix \"\"", "0 1 2"},
      {"info --standard u", "uhd"},
      {"movie frames --background \"\"", ""},
      {"movie frames -- -", ""},
  };
  for (const auto& c : cases) EXPECT_EQ(s_tool->Complete(c.words), c.offered) << c.words;
}

TEST_F(Kvmedia, OddNamesAreWrittenAsGiven) {
  for (const std::string name : {"with space é.jpeg", "-dash.bmp", "UPPER.PCX", "caf\xe9.tga"}) {
    EXPECT_EQ(Run({"convert", "--", "pic.tga", name}).status, 0) << name;
    EXPECT_EQ(Run({"info", "--", name}).status, 0) << name;
  }
  const std::string longName = std::string(236, 'n') + ".png";
  EXPECT_EQ(Status("convert pic.tga " + longName), 0);
  EXPECT_TRUE(fs::exists(Path(longName)));
  EXPECT_TRUE(fs::exists(Path("caf\xe9.tga")));  // bytes that are not UTF-8 stay the name's
}

TEST_F(Kvmedia, AnUnwritableOrOverfullTargetKeepsItsOldBytes) {
  const kvtest::Bytes old{'o', 'l', 'd'};
  // Over a file-size limit the PNG stops part way: the old file stays whole.
  s_tool->Write("full.png", old);
  ASSERT_EQ(::chmod(Path("full.png").c_str(), 0640), 0);
  const Result r = Line("convert noise.tga full.png", {.fileSizeLimit = 4096});
  EXPECT_EQ(r.status, 1) << r.err;
  EXPECT_TRUE(Has(r.err, "File too large")) << r.err;
  EXPECT_EQ(s_tool->Read("full.png"), old);
  ASSERT_EQ(Status("convert noise.tga full.png"), 0);
  EXPECT_EQ(kvtest::FileMode(Path("full.png")), 0640);
  // Standard output on a full disk: a failure, not a silent success.
  for (const char* line : {"info --json pic.tga", "--man", "convert --help"}) {
    const Result full = Line(line, {.stdoutPath = "/dev/full"});
    EXPECT_EQ(full.status, 1) << line;
    EXPECT_EQ(full.err, "kvmedia: standard output: No space left on device\n") << line;
  }
  // Through a link: the file it points to is replaced, the link stays.
  fs::create_symlink("full.png", Path("link.png"));
  ASSERT_EQ(Status("convert pic.tga link.png"), 0);
  EXPECT_TRUE(fs::is_symlink(Path("link.png")));
  EXPECT_EQ(Files(".", ".kvtmp"), std::vector<std::string>{});
}

TEST_F(Kvmedia, FrameFoldersNeverMixNewAndStaleFrames) {
  // Missing parents are made; frames are named by their index in the movie.
  const Result first = Line("movie frames movie.sve out/movie");
  ASSERT_EQ(first.status, 0);
  EXPECT_EQ(first.err, "");  // no progress line where standard error is no terminal
  EXPECT_EQ(Files("out/movie", "frame-").size(), 6u);
  s_tool->Expect({{"movie frames movie.sve out/movie --every 2", 1, "--force"},
                  {"movie frames movie.sve out/movie --every 2 --force", 0, ""},
                  {"scroll frames roll.ksc out/movie --frames 2", 1, "--force"}});
  EXPECT_EQ(Files("out/movie", "frame-"),
            (std::vector<std::string>{"frame-00000.png", "frame-00002.png", "frame-00004.png"}));
  // Over a background: its size, the movie where it was made to stand.
  ASSERT_EQ(Status("movie frames movie.sve out/back --background pic.tga --mix 0 --every 5"), 0);
  const auto frame = Load("out/back/frame-00005.png"), back = Load("pic.tga");
  ASSERT_TRUE(frame && back);
  auto expected = back->pixels;  // with the movie's 16 x 8 at (5, 7)
  for (int y = 7; y < 15; ++y) std::fill_n(expected.begin() + y * kW + 5, 16, kMovieColour);
  EXPECT_EQ(frame->rect, CRect(0, 0, kW, kH));
  EXPECT_EQ(frame->pixels, expected);
}

// Streamed frames come from a ring of rows or columns that the tool unrolls; from memory
// they are whole: the same pictures in every direction.
TEST_F(Kvmedia, ScrollFramesStreamedAndFromMemoryAgree) {
  for (const auto& [direction, shown] : {std::pair{"up", "roll up"},
                                         {"down", "roll down"},
                                         {"left", "crawl left"},
                                         {"right", "crawl right"}}) {
    const std::string name = std::string("agree-") + direction;
    MakeScroll(name + ".ksc", kW, kH, direction);
    // The picture's sides, whichever way its lines run.
    const std::string info = Line("info " + name + ".ksc").out;
    EXPECT_TRUE(Has(info, "width=40 height=30 ") && Has(info, std::string("direction=") + shown))
        << info;
    for (const std::string memory : {"", "--memory"})
      ASSERT_EQ(Status("scroll frames " + name + ".ksc " + name + memory + " --frames 5 " + memory),
                0);
    // From memory a roll moves by fractions of a line: only whole lines (0, 0.5, 1 of this
    // one) agree there.
    const bool isRoll = shown[0] == 'r';
    for (int f = 0; f < 5; f += isRoll ? 2 : 1)
      EXPECT_EQ(s_tool->Read(name + FrameName(f)), s_tool->Read(name + "--memory" + FrameName(f)))
          << direction << " " << f;
    EXPECT_NE(s_tool->Read(name + FrameName(0)), s_tool->Read(name + FrameName(2)));
  }
}

// A field frame holds the rows of two whole frames half a step apart, the first in time on the
// top field (tff) or on the bottom one (bff).
TEST_F(Kvmedia, ScrollFieldFramesInterleaveTwoWholeFrames) {
  ASSERT_EQ(Status("scroll frames roll.ksc fields --from 0.4 --to 0.5 --frames 2"), 0);
  const auto first = Load("fields" + FrameName(0)), second = Load("fields" + FrameName(1));
  ASSERT_TRUE(first && second);
  for (const std::string order : {"tff", "bff"}) {
    ASSERT_EQ(Status("scroll frames roll.ksc fields-" + order +
                     " --from 0.2 --to 0.6 --frames 3 --fields " + order),
              0);
    const auto frame = Load("fields-" + order + FrameName(1));
    ASSERT_TRUE(frame);
    std::vector<DWORD> expected = first->pixels;
    for (int y = order == "tff" ? 1 : 0; y < kH; y += 2)
      std::copy_n(second->pixels.begin() + y * kW, kW, expected.begin() + y * kW);
    EXPECT_EQ(frame->pixels, expected) << order;
  }
}

// The demo puts every part of the library through its paces: what it lists is written and
// reads back whole.
TEST_F(Kvmedia, DemoWritesWhatItListsAndAllOfItReads) {
  const Result demo = Line("demo demo");
  ASSERT_EQ(demo.status, 0) << demo.err;
  // Run again, its contact sheet is not among the pictures it draws. (The folder after "--",
  // which ends the options of every command.)
  const Result again = Line("demo -- demo");
  ASSERT_EQ(again.status, 0) << again.err;
  const auto catalogued = [](const std::string& out) {
    return out.substr(out.find("catalogue of "), 16);
  };
  EXPECT_EQ(catalogued(again.out), catalogued(demo.out));
  std::vector<std::string> check{"info", "-q", "--check"};
  std::istringstream lines(demo.out);
  for (std::string line; std::getline(lines, line);) {
    // "  NAME.EXT   what it shows"; other indented lines are notes.
    const std::string name = line.substr(2, line.find(' ', 2) - 2);
    if (!line.starts_with("  ") || name.find('.') == std::string::npos) continue;
    EXPECT_TRUE(fs::exists(Path("demo/" + name))) << name;
    if (fs::is_regular_file(Path("demo/" + name)) && !name.ends_with(".pmf"))
      check.push_back("demo/" + name);
  }
  ASSERT_GE(check.size(), 20u) << demo.out;
  const Result r = Run(check);
  EXPECT_EQ(r.status, 0) << r.err;
}

// The header's facts of each type are the picture suite's; here, that they reach the line:
// a picture, PNG (whose library figure needs a decode), a roll and a movie.
TEST_F(Kvmedia, InfoGivesTheSameFactsForEveryType) {
  const auto facts = [](const char* file) {
    return "width=40 height=30 bits_per_pixel=32 channels=4 alpha=yes file_size=" +
           std::to_string(fs::file_size(Path(file)));
  };
  // Uncompressed grey with alpha (the library's table has the run-length kind).
  s_tool->Write("ga.tga",
                kvtest::WriteTga({.imageType = 3, .pixelDepth = 16, .width = 1, .height = 1}));
  // Headers only, unless --check: then everything is decoded, and the library's figure for
  // PNG (its information call decodes the file) is given.
  s_tool->Write("cut.tga", kvtest::Cut(s_tool->Read("pic.tga"), kW * kH * 4));
  s_tool->Expect({
      {"info pic.tga", 0, facts("pic.tga") + " library_bits=32"},
      {"info pic.png", 0, facts("pic.png")},
      {"info roll.ksc", 0, facts("roll.ksc") + " direction=roll up line_width=40"},
      {"info movie.sve", 0, "width=16 height=8 bits_per_pixel=32 channels=4 alpha=yes file_size="},
      {"info ga.tga", 0, "bits_per_pixel=16 channels=2 alpha=yes"},
      {"info cut.tga", 0, "type=TGA"},
      {"info --check cut.tga pic.png", 1, "cut.tga: truncated: "},
  });
  EXPECT_TRUE(Has(Line("info --check cut.tga pic.png").out, "library_bits=4 check=ok"));
}

TEST_F(Kvmedia, InfoJsonIsValidWhateverTheNames) {
  const Result r = Run({"info", "--json", "pic.tga", "movie.sve", "roll.ksc", "no\xe9\x01.png"});
  EXPECT_EQ(r.status, 1);
  // One document by Python's strict parser: no NaN, no control characters in strings,
  // nothing after the value.
  s_tool->Write("info.json", {r.out.begin(), r.out.end()});
  EXPECT_EQ(s_tool
                ->Shell("python3 -c 'import json, sys; json.load(open(\"info.json\", \"rb\"), "
                        "parse_constant=lambda c: sys.exit(1))'")
                .status,
            0)
      << r.out;
  EXPECT_TRUE(Has(r.out, "\"no\\udce9\\u0001.png\"")) << r.out;
  EXPECT_TRUE(Has(r.out, "\"alpha\": true"));
}

// A movie from a numbered sequence; Ctrl-C while a longer one is made cancels it through the
// maker, which leaves the old movie of that name as it was.
TEST_F(Kvmedia, MovieMakeAndItsCancel) {
  fs::create_directory(Path("seq"));
  for (int n = 0; n < 2000; ++n) {
    char name[32];
    std::snprintf(name, sizeof name, "seq/p%04d.tga", n);
    if (n < 3)
      fs::copy_file(Path(n == 1 ? "noise.tga" : "pic.tga"), Path(name));
    else
      fs::create_symlink(Path("noise.tga"), Path(name));
  }
  const std::string make = "movie make seq/p.tga made.sve --first 0 --digits 4 --rect 8,4,48,24";
  s_tool->Expect({{make + " --last 2", 0, "3 frames of 48 x 24 at 8,4"},
                  {"info made.sve", 0, "frames=3 key_interval=25"},
                  {make + " --last 3000", 1, "seq/p2000.tga is missing", "made.sve"}});
  const kvtest::Bytes old = s_tool->Read("made.sve");
  const Result cancelled =
      Line(make + " --last 1999",
           {.interruptWhen = [](pid_t) { return !Files(".", ".kvtmp").empty(); }});
  EXPECT_EQ(cancelled.status, 130);
  EXPECT_TRUE(Has(cancelled.err, "kvmedia: interrupted\n")) << cancelled.err;
  EXPECT_EQ(s_tool->Read("made.sve"), old);
  EXPECT_EQ(Files(".", ".kvtmp"), std::vector<std::string>{});
}

// kvmedia zoom: its pictures are the library's scaled loads, byte for byte.
TEST_F(Kvmedia, ZoomWritesTheLibrarysScaledLoad) {
  const struct {
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
  for (const auto& r : rows) {
    // After "--" a name with '-' is a file.
    ASSERT_EQ(Status(std::string("zoom ") + r.options + " -- -in.tga " + r.out), 0) << r.out;
    // The library's own result: the background copied in (if any), then the picture mixed.
    std::vector<DWORD> expected(static_cast<std::size_t>(r.size.cx) * r.size.cy, 0);
    auto* target = reinterpret_cast<tagCOLOR32*>(expected.data());
    if (r.over) KvMediaZoomPicFile(CString::FromUtf8(Path("bg.tga")), target, r.size, KV_MIX_COPY);
    KvMediaZoomPicFile(CString::FromUtf8(Path("-in.tga")), target, r.size, r.mode);
    EXPECT_EQ(Load(r.out).value_or(kvtest::Picture{}).pixels, expected) << r.out;
  }
}

TEST_F(Kvmedia, InfoFramesAndConvertPlayFlicFiles) {
  const auto flc = FlicMovie(false);
  s_tool->Write("clip.flc", flc);
  s_tool->Write("clip.fli", FlicMovie(true));
  s_tool->Write("broken.flc", FlicMovie(false, true));
  s_tool->Write("cut.flc", kvtest::Cut(flc, flc.size() - 10));
  const Result info = Line("info --check clip.flc clip.fli");
  EXPECT_EQ(info.status, 0);
  for (const std::string& part :
       {"type=FLIC movie width=16 height=8 bits_per_pixel=8 channels=4 alpha=yes file_size=" +
            std::to_string(flc.size()) + " x=0 y=0 frames=4 speed_ms=40 check=ok",
        std::string("width=320 height=200"), std::string("frames=4 speed_ms=71 check=ok")})
    EXPECT_TRUE(Has(info.out, part)) << info.out;
  // Every frame, from the file and from memory, and one frame by its time.
  for (const char* line : {"movie frames clip.flc file", "movie frames clip.flc memory --memory",
                           "convert clip.flc half.png --time 0.5"})
    ASSERT_EQ(Status(line), 0) << line;
  for (const std::string folder : {"file", "memory"})
    for (int f = 0; f < 4; ++f)
      EXPECT_EQ(Load(folder + FrameName(f)).value_or(kvtest::Picture{}).pixels,
                std::vector<DWORD>(16 * 8, kvtest::Rgb(f + 1, f + 1, f + 1)))
          << folder << f;
  EXPECT_EQ(Load("half.png"), Load("file" + FrameName(2)));
  // A frame of unknown type, and a file shorter than its header says.
  const std::string unknown = "unknown FLIC frame type 0x1234";
  s_tool->Expect({{"movie frames broken.flc broken", 1, unknown},
                  {"convert broken.flc b.png --time 0.5", 1, unknown},
                  {"info --check broken.flc", 1, unknown},
                  {"info --check cut.flc", 1, "damaged: truncated: "}});
}

// kvmedia catalog, each test in a folder of its own.
class KvmediaCatalog : public Kvmedia {
 protected:
  kvtest::TempDir m_dir;
  const std::string folder = m_dir.path();
};

std::size_t Count(const std::string& text, const std::string& part) {
  std::size_t n = 0;
  for (auto at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++n;
  return n;
}

TEST_F(KvmediaCatalog, TellsWhatCameFromTheCatalogueAndDrawsAContactSheet) {
  kvtest::WritePicture(folder + "/a.tga", 24, 16, 1);
  kvtest::WritePicture(folder + "/b.bmp", 8, 8, 2);
  kvtest::WriteFileBytes(folder + "/bad.tga", {0});
  kvtest::WritePicture(folder + "/-c.tga", 8, 8, 3);
  Result r = Line("catalog --contact-sheet sheet.png -- " + folder);
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(Count(r.out, "catalogue=new"), 3u) << r.out;
  EXPECT_TRUE(Has(r.out, "a.tga: width=24 height=16 bits=32 file_size="));
  EXPECT_TRUE(Has(r.out, "bad.tga: left out: "));
  EXPECT_TRUE(Has(r.out,
                  "3 pictures: 0 taken from the catalogue, 0 read again, 3 new, 1 left "
                  "out; catalogue stored"))
      << r.out;
  // Three cells in a row; each thumbnail framed over its name in white.
  const std::vector<DWORD> sheet = kvtest::StbPixels(s_tool->Read("sheet.png"));
  ASSERT_EQ(sheet.size(), 300u * 80u);
  int ink = 0;
  for (int y = 68; y < 76; ++y)
    for (int x = 0; x < 300; ++x) ink += sheet[y * 300 + x] == 0xFFFFFFFFu;
  EXPECT_GT(ink, 3 * 20);

  const timespec fiveSeconds[2] = {{5, 0}, {5, 0}};
  ::utimensat(AT_FDCWD, (folder + "/b.bmp").c_str(), fiveSeconds, 0);
  r = Line("catalog " + folder + " --json --types bmp,tga");
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(Count(r.out, "\"catalogue\": \"taken\""), 2u) << r.out;
  EXPECT_TRUE(Has(r.out,
                  "{\"file\": \"b.bmp\", \"width\": 8, \"height\": 8, \"bits\": 32, "
                  "\"file_size\": 310, \"catalogue\": \"read again\"}"))
      << r.out;
  EXPECT_TRUE(Has(r.out, "\"catalogue\": \"stored\"}"));
}

// What was read before the interrupt is stored, so that the next run need not read it again.
TEST_F(KvmediaCatalog, InterruptedWhileMakingThumbnailsStoresWhatWasRead) {
  for (int i = 0; i < 80; ++i)
    kvtest::WritePicture(folder + "/" + std::to_string(i) + ".tga", 600, 400, i);
  const auto readingAPicture = [](pid_t pid) {
    std::error_code ec;
    for (const auto& fd : fs::directory_iterator("/proc/" + std::to_string(pid) + "/fd", ec))
      if (fs::read_symlink(fd.path(), ec).string().ends_with(".tga")) return true;
    return false;
  };
  const Result r = Line("catalog " + folder, {.interruptWhen = readingAPicture});
  EXPECT_EQ(r.status, 130);
  EXPECT_TRUE(Has(r.err, "kvmedia: interrupted"));
  EXPECT_EQ(kvtest::FileNames(folder, "PicMedia").size(), 1u);
  EXPECT_EQ(kvtest::FileNames(folder).size(), 81u);  // no temporary file
}

// One catalogue per folder whatever its spelling, kept only as a regular file.
TEST_F(KvmediaCatalog, EverySpellingSharesOneCatalogueThatIsOnlyEverARegularFile) {
  kvtest::WritePicture(folder + "/a.tga", 24, 16, 1);
  kvtest::WritePicture(folder + "/b.tga", 8, 8, 2);
  ASSERT_EQ(Status("catalog " + folder), 0);
  const fs::path at(folder);
  const std::string base = at.filename().string();
  for (const std::string& spelt :
       {"./" + base, base + "/", folder + "/.", base + " --types .tga"}) {
    const Result r = kvtest::RunProgram(KVMEDIA_PATH, kvtest::Words("catalog " + spelt),
                                        {.folder = at.parent_path().string()});
    EXPECT_TRUE(Has(r.out,
                    "2 pictures: 2 taken from the catalogue, 0 read again, 0 new, 0 left "
                    "out; catalogue unchanged"))
        << spelt << ": " << r.out;
  }
  fs::remove(folder + "/a.tga"), fs::remove(folder + "/b.tga");
  Result r = Line("catalog " + folder);
  EXPECT_TRUE(Has(r.out,
                  "0 pictures: 0 taken from the catalogue, 0 read again, 0 new, 0 left "
                  "out; catalogue removed"))
      << r.out;
  // A link of the catalogue's name is never written through, and that is said once.
  kvtest::WritePicture(folder + "/a.tga", 24, 16, 1);
  kvtest::WritePicture(folder + "/b.tga", 8, 8, 2);
  s_tool->Write("catalogue-link-target", {7});
  ASSERT_EQ(::symlink(Path("catalogue-link-target").c_str(), (folder + "/PicMedia.pmf").c_str()),
            0);
  r = Line("catalog " + folder);
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(Count(r.out, "catalogue=new"), 2u) << r.out;
  EXPECT_EQ(r.err, "kvmedia: catalogue not stored: a symbolic link of that name is left alone\n");
  EXPECT_EQ(s_tool->Read("catalogue-link-target"), kvtest::Bytes{7});
}

}  // namespace
