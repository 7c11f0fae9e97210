// A fuzz target without libFuzzer: feeds it the files named on the command line, and every
// file in the folders named there (names starting with '.' left out), one by one. CI runs each
// target this way over its seeds and its kept findings (fuzz/findings/NAME/, the inputs whose
// faults were mended), in the sanitizer build.
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);
extern "C" __attribute__((weak)) int LLVMFuzzerInitialize(int* argc, char*** argv);

namespace fs = std::filesystem;

int main(int argc, char** argv) {
  // The target writes its seeds into KV_FUZZ_SEED_DIR when it starts: make the folder first.
  if (const char* seeds = std::getenv("KV_FUZZ_SEED_DIR")) {
    std::error_code ec;
    fs::create_directories(seeds, ec);
  }
  if (LLVMFuzzerInitialize) LLVMFuzzerInitialize(&argc, &argv);

  std::vector<fs::path> inputs;
  for (int i = 1; i < argc; ++i) {
    std::error_code ec;
    if (!fs::is_directory(argv[i], ec)) {
      inputs.emplace_back(argv[i]);
      continue;
    }
    for (const fs::directory_entry& e : fs::directory_iterator(argv[i], ec))
      if (e.is_regular_file() && e.path().filename().string()[0] != '.') inputs.push_back(e.path());
    if (ec) {
      std::fprintf(stderr, "%s: %s\n", argv[i], ec.message().c_str());
      return 1;
    }
  }
  std::sort(inputs.begin(), inputs.end());
  for (const fs::path& path : inputs) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
      std::fprintf(stderr, "%s: %s\n", path.c_str(), std::strerror(errno));
      return 1;
    }
    // Named before it runs, so that a crash's report says which input it was.
    std::fprintf(stderr, "replaying %s\n", path.c_str());
    const std::vector<uint8_t> bytes{std::istreambuf_iterator<char>(in), {}};
    // An input that hangs the target (some findings were hangs) ends the run here, named
    // above, rather than at the test's overall timeout.
    ::alarm(60);
    LLVMFuzzerTestOneInput(bytes.data(), bytes.size());
    ::alarm(0);
  }
  std::printf("%zu inputs replayed\n", inputs.size());
  // A target whose seeds went missing would pass without testing anything.
  return inputs.empty() ? 1 : 0;
}
