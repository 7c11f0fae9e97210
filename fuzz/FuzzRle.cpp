// Garbage into the bounded decoder, and the input's words through a compress round trip.
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "FuzzFile.h"
#include "host/LineCodec.h"

namespace {

void Check(bool ok) {
  if (!ok) __builtin_trap();
}

void RoundTrip(std::vector<DWORD> line) {
  const DWORD n = static_cast<DWORD>(line.size());
  // Exactly the promised room, so that the sanitizer sees any word written past it.
  std::vector<DWORD> packed(KvRLEWorstCaseWords(n));
  const DWORD size = KvRLECompress(line.data(), n, packed.data(), 0);
  Check(size <= n + 1 && size <= packed.size());
  packed.resize(size);
  std::vector<DWORD> out(n);
  Check(KvRLEDecompress(packed.data(), out.data(), n) == n && out == line);
  out.assign(n, 0);
  const KvRLEDecodeResult r = KvRLEDecompress(packed, out);
  Check(r.status == KvRLEStatus::Ok && r.written == n && r.read == size && out == line);
}

// Lines of runs, of distinct words and of both, packed: an input is the line's length in two
// bytes, then the packed words.
void WriteSeeds(const char* dir) {
  std::vector<std::vector<DWORD>> lines(3);
  for (DWORD i = 0; i < 40; ++i) {
    lines[0].push_back(i < 25 ? 0xFF000000u : 0x80FFFFFFu);
    lines[1].push_back(i * 0x01030507u);
    lines[2].push_back(i % 9 < 5 ? 0u : i);
  }
  int n = 0;
  for (std::vector<DWORD>& line : lines) {
    std::vector<DWORD> packed(KvRLEWorstCaseWords(line.size()));
    packed.resize(KvRLECompress(line.data(), DWORD(line.size()), packed.data(), 0));
    std::vector<unsigned char> bytes{static_cast<unsigned char>(line.size()), 0};
    const auto* p = reinterpret_cast<const unsigned char*>(packed.data());
    bytes.insert(bytes.end(), p, p + packed.size() * sizeof(DWORD));
    kvtest::WriteBytes(std::string(dir) + "/seed-" + std::to_string(n++), bytes);
  }
}

}  // namespace

KV_FUZZ_TARGET(0, KvFuzzNoSetUp, WriteSeeds, [](const uint8_t* data, size_t size) {
  if (size < 2) return;
  const std::size_t dstSize = data[0] | data[1] << 8;
  std::vector<DWORD> src((size - 2) / sizeof(DWORD));
  if (!src.empty()) std::memcpy(src.data(), data + 2, src.size() * sizeof(DWORD));

  std::vector<DWORD> dst(dstSize);
  const KvRLEDecodeResult r = KvRLEDecompress(src, dst);
  Check(r.written <= dst.size() && r.read <= src.size());
  Check(r.status == KvRLEStatus::SourceEnded ? r.read == src.size() && r.written < dst.size()
        : r.status == KvRLEStatus::BadPacket ? r.read < src.size() && r.written < dst.size()
                                             : r.written == dst.size());
  if (r.status == KvRLEStatus::Ok || r.status == KvRLEStatus::DestinationFull) {
    // Then the stream holds dst's words, and the trusting form must agree.
    std::vector<DWORD> again(dstSize);
    Check(KvRLEDecompress(src.data(), again.data(), DWORD(dstSize)) == dstSize && again == dst);
  }

  RoundTrip(src);
  // The bytes widened to words, one each, so that runs and zeros are common.
  RoundTrip(std::vector<DWORD>(data + 2, data + size));
})
