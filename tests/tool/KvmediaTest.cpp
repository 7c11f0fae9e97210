// kvmedia run as a user runs it: odd names, refused and full targets, frame folders,
// interruptions, the facts of `info` for every type.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "GifWriter.h"
#include "KvMediaFile/KvPicture.h"
#include "MotionWriter.h"
#include "PsdWriter.h"
#include "TestSupport.h"
#include "TgaWriter.h"
#include "platform/GlobalMemory.h"

namespace fs = std::filesystem;

namespace {

// Wall-clock limits stretch under the sanitizers, which run the tool several times slower.
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr int kSlowdown = 10;
#else
constexpr int kSlowdown = 1;
#endif

struct Result {
  int status = -1;  // the exit status, or 128 + the signal that ended it
  std::string out, err;
};

struct RunOptions {
  std::function<bool()> interruptWhen;  // polled; SIGINT is sent once it holds
  rlim_t fileSizeLimit = RLIM_INFINITY;
};

std::string Slurp(const std::string& path) {
  const auto bytes = kvtest::ReadFileBytes(path);
  return std::string(bytes.begin(), bytes.end());
}

class Kvmedia : public ::testing::Test {
 protected:
  static void SetUpTestSuite();
  static void TearDownTestSuite() { delete s_dir; }

  // Runs kvmedia in the suite's folder.
  static Result Run(const std::vector<std::string>& args, const RunOptions& options = {}) {
    const std::string out = s_dir->path() + "/.stdout", err = s_dir->path() + "/.stderr";
    const pid_t pid = ::fork();
    if (pid == 0) {
      const rlimit limit{options.fileSizeLimit, RLIM_INFINITY};
      if (::chdir(s_dir->path().c_str()) != 0 || ::setrlimit(RLIMIT_FSIZE, &limit) != 0 ||
          !std::freopen(out.c_str(), "w", stdout) || !std::freopen(err.c_str(), "w", stderr))
        ::_exit(99);
      std::vector<char*> argv{const_cast<char*>(KVMEDIA_PATH)};
      for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
      argv.push_back(nullptr);
      ::execv(KVMEDIA_PATH, argv.data());
      ::_exit(98);
    }
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60 * kSlowdown);
    bool interrupted = false;
    int status = 0;
    while (::waitpid(pid, &status, WNOHANG) == 0) {
      if (!interrupted && options.interruptWhen && options.interruptWhen()) {
        ::kill(pid, SIGINT);
        interrupted = true;
      }
      if (std::chrono::steady_clock::now() > deadline) {
        ::kill(pid, SIGKILL);
        ADD_FAILURE() << "kvmedia took too long";
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    if (options.interruptWhen) {
      EXPECT_TRUE(interrupted) << "finished before it was interrupted";
    }
    return {WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status), Slurp(out),
            Slurp(err)};
  }

  static std::string Path(const std::string& name) { return s_dir->path() + "/" + name; }
  // Names in a folder of the suite that hold `part`.
  static std::vector<std::string> Files(const std::string& folder, const std::string& part) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(Path(folder)))
      if (entry.path().filename().string().find(part) != std::string::npos)
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
  }
  static int Mode(const std::string& name) {
    struct stat st {};
    return ::stat(Path(name).c_str(), &st) == 0 ? static_cast<int>(st.st_mode & 07777) : -1;
  }
  // A roll of `height` lines of `width` pixels, from a generated picture.
  static void MakeScroll(const std::string& name, int width, int height, const char* direction) {
    const std::string picture = name + ".tga";
    std::ofstream out(Path(picture), std::ios::binary);
    const unsigned char header[18] = {0,
                                      0,
                                      2,
                                      0,
                                      0,
                                      0,
                                      0,
                                      0,
                                      0,
                                      0,
                                      0,
                                      0,
                                      static_cast<unsigned char>(width),
                                      static_cast<unsigned char>(width >> 8),
                                      static_cast<unsigned char>(height),
                                      static_cast<unsigned char>(height >> 8),
                                      32,
                                      0x28};
    out.write(reinterpret_cast<const char*>(header), sizeof header);
    std::vector<char> row(static_cast<std::size_t>(width) * 4);
    for (int y = 0; y < height; ++y) {
      for (std::size_t i = 0; i < row.size(); ++i) row[i] = static_cast<char>(i * 7 + y * 13);
      out.write(row.data(), static_cast<std::streamsize>(row.size()));
    }
    out.close();
    ASSERT_EQ(Run({"scroll", "make", picture, name, "--direction", direction}).status, 0);
  }

  static kvtest::TempDir* s_dir;
};
kvtest::TempDir* Kvmedia::s_dir = nullptr;

constexpr int kW = 40, kH = 30;
constexpr DWORD kMovieColour = 0xFF20C040u;

void Kvmedia::SetUpTestSuite() {
  s_dir = new kvtest::TempDir;
  kvtest::TgaImage tga;
  tga.imageType = 2;
  tga.pixelDepth = 32;
  tga.width = kW;
  tga.height = kH;
  for (int i = 0; i < kW * kH; ++i)
    tga.pixels.insert(tga.pixels.end(), {static_cast<unsigned char>(i), 0x80, 0x40, 0xC0});
  kvtest::WriteFileBytes(Path("pic.tga"), kvtest::WriteTga(tga));
  // 16 KiB that no compression shrinks.
  tga.width = tga.height = 64;
  tga.pixels.resize(64 * 64 * 4);
  unsigned state = 1;
  for (unsigned char& b : tga.pixels)
    b = static_cast<unsigned char>((state = state * 1103515245u + 12345u) >> 24);
  kvtest::WriteFileBytes(Path("noise.tga"), kvtest::WriteTga(tga));
  for (const char* out : {"pic.bmp", "pic.pcx", "pic.jpg", "pic.png"})
    ASSERT_EQ(Run({"convert", "pic.tga", out}).status, 0) << out;
  std::vector<unsigned char> indices(kW * kH, 3);
  kvtest::WriteFileBytes(Path("pic.gif"), kvtest::WriteGif(kvtest::OneImageGif(
                                              kW, kH, indices, kvtest::DistinctColours(16))));
  kvtest::PsdImage psd;
  psd.channels = 4;
  psd.width = kW;
  psd.height = kH;
  psd.planes = kvtest::PsdRgbPlanes(std::vector<std::uint32_t>(kW * kH, 0x80112233u), true);
  kvtest::WriteFileBytes(Path("pic.psd"), kvtest::WritePsd(psd));
  // Six opaque frames of 16 x 8, made to stand at (5, 7).
  std::vector<kvtest::MotionPixels> frames(6, kvtest::MotionPixels(16 * 8, kMovieColour));
  ASSERT_TRUE(
      kvtest::WriteMotionMovie(CString::FromUtf8(Path("movie.sve")), frames, 5, 7, 16, 8, 3));
  MakeScroll("roll.ksc", kW, kH, "0");
}

TEST_F(Kvmedia, WrongUsageAndHelp) {
  struct Case {
    std::vector<std::string> args;
    int status;
    const char* says;  // in standard output or error
  };
  const Case cases[] = {
      {{"--version"}, 0, "kvmedia 0."},
      {{"convert", "pic.tga"}, 2, "expected IN and OUT"},
      {{"convert", "pic.tga", "out.gif"}, 2, ".jpeg or .png"},
      {{"convert", "pic.tga", "no/such/folder/out.png"}, 1, "No such file or directory"},
      {{"convert", "missing.tga", "out.png"}, 1, "missing.tga: no such file"},
      {{"scroll", "make", "pic.tga", "x.ksc", "--direction", "sideways"}, 2, "up, down, left"},
      {{"info", "--frobnicate", "pic.tga"}, 2, "unknown option --frobnicate"},
      {{"info", "-q", "--", "--help"}, 1, "--help: no such file"},
  };
  for (const Case& c : cases) {
    const Result r = Run(c.args);
    EXPECT_EQ(r.status, c.status) << c.args[0] << " " << r.err;
    EXPECT_NE((r.out + r.err).find(c.says), std::string::npos) << c.says << ": " << r.err;
  }
  for (const char* command : {"info", "convert", "movie", "scroll", "demo"}) {
    const Result r = Run({command, "--help"});
    EXPECT_EQ(r.status, 0);
    for (const char* vague : {"road", "passes through it"})
      EXPECT_EQ(r.out.find(vague), std::string::npos) << command << " says " << vague;
  }
  EXPECT_NE(Run({"convert", "--help"}).out.find("loading a BMP keeps no alpha"), std::string::npos);
  EXPECT_NE(Run({"scroll", "--help"}).out.find("up (0) and down (1)"), std::string::npos);
}

TEST_F(Kvmedia, OddNamesAreWrittenAsGiven) {
  const std::string longName = std::string(236, 'n') + ".png";
  for (const std::string& name : {std::string("with space é.jpeg"), std::string("-dash.bmp"),
                                  longName, std::string("UPPER.TGA")}) {
    const Result r = Run({"convert", "--", "pic.tga", name});
    EXPECT_EQ(r.status, 0) << name << ": " << r.err;
    EXPECT_EQ(Run({"info", "--", name}).status, 0) << name;
    fs::remove(Path(name));
  }
  // Bytes that are not UTF-8 stay the name's bytes, on disk and (escaped) in JSON.
  const std::string latin1 = "caf\xe9.tga";
  ASSERT_EQ(Run({"convert", "pic.tga", latin1}).status, 0);
  EXPECT_TRUE(fs::exists(Path(latin1)));
  EXPECT_NE(Run({"info", "--json", latin1}).out.find("\"caf\\udce9.tga\""), std::string::npos);
  fs::remove(Path(latin1));
}

TEST_F(Kvmedia, AnUnwritableOrOverfullTargetKeepsItsOldBytes) {
  const std::vector<unsigned char> old{'o', 'l', 'd'};
  for (const char* name : {"ro.png", "ro.tga"}) {
    kvtest::WriteFileBytes(Path(name), old);
    ASSERT_EQ(::chmod(Path(name).c_str(), 0444), 0);
    const Result r = Run({"convert", "pic.tga", name});
    EXPECT_EQ(r.status, 1) << name;
    EXPECT_NE(r.err.find("Permission denied"), std::string::npos) << r.err;
    EXPECT_EQ(kvtest::ReadFileBytes(Path(name)), old) << name;
  }
  // Over a file-size limit the PNG stops part way: the old file stays whole.
  kvtest::WriteFileBytes(Path("full.png"), old);
  ASSERT_EQ(::chmod(Path("full.png").c_str(), 0640), 0);
  RunOptions small;
  small.fileSizeLimit = 4096;
  const Result r = Run({"convert", "noise.tga", "full.png"}, small);
  EXPECT_EQ(r.status, 1) << r.err;
  EXPECT_NE(r.err.find("File too large"), std::string::npos) << r.err;
  EXPECT_EQ(kvtest::ReadFileBytes(Path("full.png")), old);
  ASSERT_EQ(Run({"convert", "noise.tga", "full.png"}).status, 0);
  EXPECT_EQ(Mode("full.png"), 0640);
  // Through a link: the file it points to is replaced, the link stays.
  fs::create_symlink("full.png", Path("link.png"));
  ASSERT_EQ(Run({"convert", "pic.tga", "link.png"}).status, 0);
  EXPECT_TRUE(fs::is_symlink(Path("link.png")));
  EXPECT_EQ(Files(".", ".kvtmp"), std::vector<std::string>{});
}

TEST_F(Kvmedia, FrameFoldersNeverMixNewAndStaleFrames) {
  // Missing parents are made; frames are named by their index in the movie.
  const Result first = Run({"movie", "frames", "movie.sve", "out/movie"});
  ASSERT_EQ(first.status, 0);
  EXPECT_EQ(first.err, "");  // no progress line where standard error is no terminal
  EXPECT_EQ(Files("out/movie", "frame-").size(), 6u);
  const Result refused = Run({"movie", "frames", "movie.sve", "out/movie", "--every", "2"});
  EXPECT_EQ(refused.status, 1);
  EXPECT_NE(refused.err.find("--force"), std::string::npos) << refused.err;
  ASSERT_EQ(Run({"movie", "frames", "movie.sve", "out/movie", "--every", "2", "--force"}).status,
            0);
  EXPECT_EQ(Files("out/movie", "frame-"),
            (std::vector<std::string>{"frame-00000.png", "frame-00002.png", "frame-00004.png"}));
  EXPECT_EQ(Run({"scroll", "frames", "roll.ksc", "out/movie", "--frames", "2"}).status, 1);

  // Over a background: its size, the movie where it was made to stand.
  ASSERT_EQ(Run({"movie", "frames", "movie.sve", "out/back", "--background", "pic.tga", "--mix",
                 "0", "--every", "5"})
                .status,
            0);
  KvMediaFileOpen();
  CRect rect, backRect;
  KvGlobalPtr frame(KvMediaLoadPicFile(CString::FromUtf8(Path("out/back/frame-00005.png")), rect));
  KvGlobalPtr back(KvMediaLoadPicFile(CString::FromUtf8(Path("pic.tga")), backRect));
  ASSERT_TRUE(frame && back);
  ASSERT_EQ(rect, CRect(0, 0, kW, kH));
  const auto* px = static_cast<const DWORD*>(frame.get());
  const auto* bg = static_cast<const DWORD*>(back.get());
  for (int y = 0; y < kH; ++y)
    for (int x = 0; x < kW; ++x) {
      const bool inMovie = x >= 5 && x < 21 && y >= 7 && y < 15;
      ASSERT_EQ(px[y * kW + x], inMovie ? kMovieColour : bg[y * kW + x]) << x << "," << y;
    }
}

TEST_F(Kvmedia, DirectionsHaveNames) {
  const std::pair<const char*, const char*> names[] = {
      {"up", "roll up"}, {"down", "roll down"}, {"left", "crawl left"}, {"3", "crawl right"}};
  for (const auto& [direction, shown] : names) {
    ASSERT_EQ(Run({"scroll", "make", "pic.tga", "named.ksc", "--direction", direction}).status, 0);
    EXPECT_NE(Run({"info", "named.ksc"}).out.find(std::string("direction=") + shown),
              std::string::npos)
        << direction;
  }
}

TEST_F(Kvmedia, InfoGivesTheSameFactsForEveryType) {
  struct Case {
    const char* file;
    const char* facts;  // after type=..., before file_size
    const char* after;  // after file_size
  };
  const Case cases[] = {
      {"pic.tga", "bits_per_pixel=32 channels=4 alpha=yes", " library_bits=32"},
      {"pic.bmp", "bits_per_pixel=32 channels=3 alpha=no", " library_bits=32"},
      {"pic.pcx", "bits_per_pixel=24 channels=3 alpha=no", " library_bits=24"},
      {"pic.jpg", "bits_per_pixel=24 channels=3 alpha=no", " library_bits=32"},
      {"pic.png", "bits_per_pixel=32 channels=4 alpha=yes", ""},
      {"pic.gif", "bits_per_pixel=4 channels=3 alpha=no", " library_bits=4"},
      {"pic.psd", "bits_per_pixel=32 channels=4 alpha=yes", " library_bits=8"},
      {"roll.ksc", "bits_per_pixel=32 channels=4 alpha=yes", " direction=roll up line_width=40"},
  };
  for (const Case& c : cases) {
    const Result r = Run({"info", c.file});
    EXPECT_EQ(r.status, 0) << c.file << ": " << r.err;
    const std::string size = std::to_string(fs::file_size(Path(c.file)));
    EXPECT_NE(
        r.out.find("width=40 height=30 " + std::string(c.facts) + " file_size=" + size + c.after),
        std::string::npos)
        << r.out;
  }
  EXPECT_NE(Run({"info", "movie.sve"})
                .out.find("width=16 height=8 bits_per_pixel=32 channels=4 alpha=yes file_size="),
            std::string::npos);

  // Headers only, unless --check: then everything is decoded, and the library's figure for
  // PNG (its information call decodes the file) is given.
  auto tga = kvtest::ReadFileBytes(Path("pic.tga"));
  tga.resize(tga.size() - 40);
  kvtest::WriteFileBytes(Path("cut.tga"), tga);
  EXPECT_EQ(Run({"info", "cut.tga"}).status, 0);
  const Result checked = Run({"info", "--check", "cut.tga", "pic.png"});
  EXPECT_EQ(checked.status, 1);
  EXPECT_NE(checked.err.find("cut.tga: truncated: "), std::string::npos) << checked.err;
  EXPECT_NE(checked.out.find("library_bits=4 check=ok"), std::string::npos) << checked.out;
}

// JSON text: objects, arrays, strings with escapes, numbers, true, false, null.
bool JsonValue(const std::string& s, std::size_t& i) {
  const auto space = [&] {
    while (i < s.size() && std::strchr(" \t\r\n", s[i])) ++i;
  };
  space();
  if (i >= s.size()) return false;
  if (s[i] == '{' || s[i] == '[') {
    const char close = s[i] == '{' ? '}' : ']';
    const bool object = close == '}';
    ++i;
    space();
    if (i < s.size() && s[i] == close) return ++i, true;
    for (;;) {
      if (object && !(JsonValue(s, i) && (space(), i < s.size() && s[i++] == ':'))) return false;
      if (!JsonValue(s, i)) return false;
      space();
      if (i < s.size() && s[i] == close) return ++i, true;
      if (i >= s.size() || s[i++] != ',') return false;
    }
  }
  if (s[i] == '"') {
    for (++i; i < s.size() && s[i] != '"'; ++i) {
      if (static_cast<unsigned char>(s[i]) < 0x20) return false;
      if (s[i] == '\\' && (++i >= s.size() || !std::strchr("\"\\/bfnrtu", s[i]))) return false;
    }
    return i++ < s.size();
  }
  for (const char* word : {"true", "false", "null"})
    if (s.compare(i, std::strlen(word), word) == 0) return i += std::strlen(word), true;
  const std::size_t start = i;
  while (i < s.size() && std::strchr("-+.eE0123456789", s[i])) ++i;
  return i > start;
}

TEST_F(Kvmedia, InfoJsonIsValidWhateverTheNames) {
  const Result r = Run({"info", "--json", "pic.tga", "movie.sve", "roll.ksc", "no\xe9\x01.png"});
  EXPECT_EQ(r.status, 1);
  std::size_t at = 0;
  EXPECT_TRUE(JsonValue(r.out, at)) << r.out;
  EXPECT_EQ(r.out.find_first_not_of(" \n", at), std::string::npos);
  EXPECT_NE(r.out.find("\"no\\udce9\\u0001.png\""), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("\"alpha\": true"), std::string::npos);
}

TEST_F(Kvmedia, AnInterruptionLeavesNoTemporaryFileAndNoDamage) {
  // Long work: many frames of a big scroll, stopped once some are written.
  MakeScroll("big.ksc", 1920, 4000, "0");
  RunOptions whileFrames;
  whileFrames.interruptWhen = [] { return fs::exists(Path("frames/frame-00002.png")); };
  const Result frames =
      Run({"scroll", "frames", "big.ksc", "frames", "--frames", "2000"}, whileFrames);
  EXPECT_EQ(frames.status, 130);
  EXPECT_NE(frames.err.find("kvmedia: interrupted\n"), std::string::npos) << frames.err;
  EXPECT_EQ(Files("frames", ".kvtmp"), std::vector<std::string>{});

  // Replacing a scroll file: stopped while the new one is written, the old one stays.
  const auto old = kvtest::ReadFileBytes(Path("roll.ksc"));
  RunOptions whileWriting;
  whileWriting.interruptWhen = [] { return !Files(".", ".kvtmp").empty(); };
  const Result make =
      Run({"scroll", "make", "big.ksc.tga", "roll.ksc", "--direction", "2"}, whileWriting);
  EXPECT_EQ(make.status, 130);
  EXPECT_EQ(kvtest::ReadFileBytes(Path("roll.ksc")), old);
  EXPECT_EQ(Files(".", ".kvtmp"), std::vector<std::string>{});
}

}  // namespace
