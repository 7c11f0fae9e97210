// Writes the fixture part of the corpus that ./kv corpus reads: the sample files of every
// kind, and from each a cut copy, a copy cut inside its header and a copy with one byte
// changed, so that both the decoders and their refusals are compared.
#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "ByteOut.h"
#include "SampleFiles.h"

namespace fs = std::filesystem;
using Bytes = std::vector<unsigned char>;

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s FOLDER\n", argv[0]);
    return 2;
  }
  const fs::path dir = argv[1];
  fs::create_directories(dir);
  for (const kvtest::SampleFile& file : kvtest::AllSampleFiles()) {
    const Bytes& bytes = file.bytes;
    Bytes flipped = bytes;
    if (!flipped.empty()) flipped[flipped.size() * 2 / 3] ^= 0x5A;
    const std::pair<const char*, Bytes> copies[] = {
        {"good-", bytes},
        {"cut-", Bytes(bytes.begin(), bytes.begin() + bytes.size() / 2)},
        {"head-", Bytes(bytes.begin(), bytes.begin() + std::min<std::size_t>(bytes.size(), 20))},
        {"flip-", flipped}};
    for (const auto& [prefix, copy] : copies)
      if (!kvtest::WriteBytes((dir / (prefix + file.name)).string(), copy)) return 1;
  }
  return 0;
}
