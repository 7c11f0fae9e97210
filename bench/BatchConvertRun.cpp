// kvmedia's batch conversion against mogrify on the same 500 mixed pictures: TGA, BMP, PCX,
// JPEG, PNG and GIF of the sizes a titling suite keeps (full frames, lower thirds, logos,
// thumbnails), each turned into PNG in a folder of its own. Both programs run several times in
// turn; the medians and their ratio are printed, and the program fails when kvmedia takes more
// than half of mogrify's time.
//   bench_batch [--runs=N] [--pictures=N] [--limit-percent=P] [--with-j1=1]
// (--with-j1=1 also times kvmedia on one thread; --benchmark_* arguments are ignored).
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "ByteOut.h"
#include "GifWriter.h"
#include "KvMediaFile/KvPicture.h"
#include "PcxWriter.h"
#include "PngWriter.h"
#include "TitleFrame.h"

extern char** environ;

namespace fs = std::filesystem;

namespace {

struct Size {
  int width, height;
};
// Full HD and HD titles, SD frames, lower thirds, logos, stills and thumbnails.
constexpr Size kSizes[] = {{1920, 1080}, {1280, 720}, {720, 576}, {1920, 270}, {800, 450},
                           {640, 360},   {512, 512},  {400, 200}, {320, 240},  {160, 90}};
const char* const kTypes[] = {"tga", "bmp", "pcx", "jpg", "png", "gif"};

// A w x h part of a 1920 x 1080 frame, from a place that moves with n.
std::vector<DWORD> Crop(const std::vector<DWORD>& frame, Size s, int n) {
  const int x0 = n * 37 % (kvbench::kFrameWidth - s.width + 1);
  const int y0 = n * 53 % (kvbench::kFrameHeight - s.height + 1);
  std::vector<DWORD> out(static_cast<std::size_t>(s.width) * s.height);
  for (int y = 0; y < s.height; ++y)
    std::copy_n(frame.begin() + static_cast<std::ptrdiff_t>(y0 + y) * kvbench::kFrameWidth + x0,
                s.width, out.begin() + static_cast<std::ptrdiff_t>(y) * s.width);
  return out;
}

// A 24-bit PCX of three planes, run-length coded line by line. The library's own saver marks
// its coded data as uncompressed (byte 2 is 0), which the peer refuses: these files are the
// common kind that both read.
kvtest::PcxImage Pcx24(const std::vector<DWORD>& px, Size s) {
  kvtest::PcxImage pcx{.xmax = s.width - 1, .ymax = s.height - 1, .planes = 3};
  pcx.bytesPerLine = (s.width + 1) & ~1;
  for (int y = 0; y < s.height; ++y)
    for (const int shift : {16, 8, 0})
      for (int x = 0; x < pcx.bytesPerLine; ++x)
        pcx.lines.push_back(
            x < s.width
                ? static_cast<unsigned char>(px[static_cast<std::size_t>(y) * s.width + x] >> shift)
                : 0);
  return pcx;
}

// Picture n: titles (with alpha) as TGA and PNG, camera pictures as the others.
bool MakePicture(const std::string& path, const std::string& type, Size s, int n) {
  const bool title = type == "tga" || type == "png";
  std::vector<DWORD> px = Crop(title ? kvbench::TitleFrame() : kvbench::VideoFrame(), s, n);
  const CString name = CString::FromUtf8(path);
  const CRect all(0, 0, s.width, s.height);
  if (type == "tga") return KvMediaSaveTGAFile(name, px.data(), CSize(s.width, s.height), all);
  if (type == "bmp") return KvMediaSaveBMPFile(name, px.data(), CSize(s.width, s.height), all);
  if (type == "pcx") return kvtest::WriteBytes(path, kvtest::WritePcx(Pcx24(px, s)));
  if (type == "jpg") return KvMediaSaveJPGFile(name, px.data(), CSize(s.width, s.height), all);
  if (type == "png") {
    kvtest::PngImage png{.width = s.width, .height = s.height};
    for (const DWORD p : px)
      png.samples.insert(png.samples.end(),
                         {static_cast<unsigned char>(p >> 16), static_cast<unsigned char>(p >> 8),
                          static_cast<unsigned char>(p), static_cast<unsigned char>(p >> 24)});
    return kvtest::WritePng(path, png);
  }
  // GIF: 3-3-2 bits of red, green and blue as the index.
  std::vector<unsigned char> table, indices;
  for (int i = 0; i < 256; ++i)
    table.insert(table.end(), {static_cast<unsigned char>((i >> 5) * 255 / 7),
                               static_cast<unsigned char>((i >> 2 & 7) * 255 / 7),
                               static_cast<unsigned char>((i & 3) * 255 / 3)});
  for (const DWORD p : px)
    indices.push_back(
        static_cast<unsigned char>((p >> 16 & 0xE0) | (p >> 11 & 0x1C) | (p >> 6 & 3)));
  return kvtest::WriteBytes(
      path, kvtest::WriteGif(kvtest::OneImageGif(s.width, s.height, std::move(indices), table)));
}

// Seconds that `args` took; -1 when it could not run or did not exit with 0.
double Timed(const std::vector<std::string>& args) {
  std::vector<char*> argv;
  for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
  const auto start = std::chrono::steady_clock::now();
  pid_t pid = 0;
  const int spawned = ::posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  int status = 0;
  if (spawned != 0 || ::waitpid(pid, &status, 0) != pid) return -1;
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  return WIFEXITED(status) && WEXITSTATUS(status) == 0 ? seconds : -1;
}

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v.size() % 2 ? v[v.size() / 2] : (v[v.size() / 2 - 1] + v[v.size() / 2]) / 2;
}

long Option(int argc, char** argv, const char* name, long fallback) {
  const std::size_t n = std::strlen(name);
  for (int i = 1; i < argc; ++i)
    if (std::strncmp(argv[i], name, n) == 0 && argv[i][n] == '=') return std::atol(argv[i] + n + 1);
  return fallback;
}

std::size_t Count(const fs::path& dir) {
  return static_cast<std::size_t>(std::distance(fs::directory_iterator(dir), {}));
}

}  // namespace

int main(int argc, char** argv) {
  const long runs = std::max(1L, Option(argc, argv, "--runs", 3));
  const long pictures = std::max(1L, Option(argc, argv, "--pictures", 500));
  const double limit = static_cast<double>(Option(argc, argv, "--limit-percent", 50)) / 100;
  char pattern[] = "/tmp/kv-bench-batch-XXXXXX";
  if (!::mkdtemp(pattern)) return std::perror("mkdtemp"), 1;
  const fs::path root = pattern;
  KvMediaFileOpen();
  std::vector<std::string> inputs;
  double megapixels = 0;
  for (long n = 0; n < pictures; ++n) {
    const Size s = kSizes[n % std::size(kSizes)];
    const std::string type = kTypes[n / std::size(kSizes) % std::size(kTypes)];
    char name[32];
    std::snprintf(name, sizeof name, "in/p%03ld.%s", n, type.c_str());
    fs::create_directories(root / "in");
    inputs.push_back((root / name).string());
    megapixels += s.width * s.height / 1e6;
    if (!MakePicture(inputs.back(), type, s, static_cast<int>(n))) {
      std::fprintf(stderr, "cannot write %s\n", inputs.back().c_str());
      return 1;
    }
  }
  std::printf(
      "%ld pictures (TGA, BMP, PCX, JPEG, PNG, GIF; %.0f megapixels, %.0f MB) to PNG, "
      "%ld runs each\n",
      pictures, megapixels,
      [&] {
        double bytes = 0;
        for (const auto& f : inputs) bytes += static_cast<double>(fs::file_size(f));
        return bytes / 1e6;
      }(),
      runs);

  const auto command = [&](const char* which, const fs::path& out) {
    std::vector<std::string> args;
    if (std::strcmp(which, "mogrify") == 0)
      args = {"mogrify", "-format", "png", "-path", out.string()};
    else
      args = {KVMEDIA_PATH, "convert", "-q", "--to", "png", "--outdir", out.string()};
    if (std::strcmp(which, "kvmedia -j 1") == 0) args.insert(args.end(), {"-j", "1"});
    args.push_back("--");
    if (std::strcmp(which, "mogrify") == 0) args.pop_back();
    args.insert(args.end(), inputs.begin(), inputs.end());
    return args;
  };
  const char* const kWho[] = {"kvmedia", "mogrify", "kvmedia -j 1"};
  const int who = Option(argc, argv, "--with-j1", 0) ? 3 : 2;
  std::vector<double> times[3];
  for (long run = 0; run < runs; ++run)
    for (int w = 0; w < who; ++w) {
      const fs::path out = root / ("out" + std::to_string(w));
      fs::remove_all(out);
      fs::create_directories(out);
      const double t = Timed(command(kWho[w], out));
      if (t < 0 || Count(out) != inputs.size()) {
        std::fprintf(stderr, "%s failed (run %ld)\n", kWho[w], run + 1);
        fs::remove_all(root);
        return 1;
      }
      times[w].push_back(t);
    }
  if (Option(argc, argv, "--keep", 0))
    std::printf("pictures kept in %s/in\n", root.c_str());
  else
    fs::remove_all(root);
  const double ours = Median(times[0]), peer = Median(times[1]);
  std::printf("median kvmedia convert --to png --outdir (%u cores) %8.3f s\n",
              std::thread::hardware_concurrency(), ours);
  if (who == 3)
    std::printf("median kvmedia convert --to png --outdir -j 1       %8.3f s\n", Median(times[2]));
  std::printf("median mogrify -format png -path                    %8.3f s\n", peer);
  const double ratio = ours / peer;
  std::printf("ratio kvmedia / mogrify = %.3f  (limit %.2f: %s)\n", ratio, limit,
              ratio <= limit ? "ok" : "OVER");
  return ratio <= limit ? 0 : 1;
}
