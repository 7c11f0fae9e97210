// Clips of other programs from arbitrary bytes: opened from memory through FFmpeg's libraries
// and decoded frame by frame to their end.
#include <unistd.h>

extern "C" {
#include <libavutil/log.h>
}

#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "FuzzFile.h"
#include "GifWriter.h"
#include "movie/VideoClip.h"

namespace {

// The work one input may cause, well inside the fuzzer's 5 s per input: a clip of many tiny
// frames stops at the frame cap, one of large frames at the pixel budget, and one whose frames
// are slow to decode at the time budget.
constexpr int kMaxFrames = 500;
constexpr std::uint64_t kMaxPixels = std::uint64_t{1} << 26;
constexpr auto kMaxTime = std::chrono::seconds(3);

// Frame f of a title sliding in: transparent, half-transparent and opaque pixels.
std::vector<DWORD> SeedFrame(int w, int h, int f) {
  std::vector<DWORD> px(std::size_t(w) * h, 0);
  for (int y = 1; y < h - 1; ++y)
    for (int x = 0; x < w; ++x) {
      const int from = w - 5 * (f + 1);
      if (x < from) continue;
      const DWORD alpha = y == 1 || y == h - 2 ? 0x80 : 0xFF;
      px[std::size_t(y) * w + x] = alpha << 24 | DWORD(x * 16) << 16 | DWORD(y * 30) << 8 | 0x40;
    }
  return px;
}

// A clip written by the library's own writer, as bytes; empty when it could not be written.
std::vector<unsigned char> WriteSeedClip(const char* container, KvClipCodec codec) {
  constexpr int kW = 16, kH = 8, kFrames = 3;
  char path[] = "/tmp/kvfuzz-clip-XXXXXX";
  const int fd = ::mkstemp(path);
  if (fd < 0) return {};
  ::close(fd);
  std::vector<unsigned char> bytes;
  {
    KvClipWriter writer;
    bool ok = writer.Open(path, container, codec, kW, kH, 25);
    for (int f = 0; ok && f < kFrames; ++f) ok = writer.Add(SeedFrame(kW, kH, f).data());
    if (ok && writer.Finish()) {
      std::ifstream in(path, std::ios::binary);
      bytes.assign(std::istreambuf_iterator<char>(in), {});
    }
  }
  ::unlink(path);
  return bytes;
}

// Three frames of 16 x 8 in each codec the writer has, PNG in Matroska too, and an animated
// GIF.
void WriteSeeds(const std::string& dir) {
  const struct {
    const char* name;
    const char* container;
    KvClipCodec codec;
  } clips[] = {
      {"qtrle.mov", "mov", KvClipCodec::kQtrle},
      {"png.mov", "mov", KvClipCodec::kPng},
      {"prores4444.mov", "mov", KvClipCodec::kProRes4444},
      {"png.mkv", "matroska", KvClipCodec::kPng},
  };
  for (const auto& clip : clips) {
    const std::vector<unsigned char> bytes = WriteSeedClip(clip.container, clip.codec);
    if (bytes.empty()) std::abort();  // a target without its seeds would test nothing
    kvtest::WriteBytes(dir + "/" + clip.name, bytes);
  }
  kvtest::GifFile gif =
      kvtest::OneImageGif(12, 6, std::vector<unsigned char>(72, 1), kvtest::DistinctColours(4));
  gif.otherExtensions = true;  // the looping block makes it an animation
  gif.images[0].control = true;
  gif.images[0].transparentIndex = 0;
  for (int f = 1; f < 3; ++f) {
    kvtest::GifImage image = gif.images[0];
    for (int i = 0; i < 72; ++i) image.indices[i] = static_cast<unsigned char>((i + f) % 4);
    gif.images.push_back(image);
  }
  kvtest::WriteBytes(dir + "/animated.gif", kvtest::WriteGif(gif));
}

}  // namespace

KV_FUZZ_TARGET(
    std::size_t{16} << 20, [] { av_log_set_level(AV_LOG_QUIET); }, WriteSeeds,
    [](const uint8_t* data, size_t size) {
      // A copy of its own, so that reads past its end are caught.
      const std::vector<BYTE> bytes(data, data + size);
      KvClipReader reader;
      if (!reader.OpenMemory(bytes)) return;
      const auto start = std::chrono::steady_clock::now();
      std::vector<DWORD> pixels;
      bool alpha = false;
      std::uint64_t pixelsDecoded = 0;
      for (int f = 0; f < kMaxFrames && pixelsDecoded <= kMaxPixels &&
                      std::chrono::steady_clock::now() - start < kMaxTime;
           ++f) {
        if (reader.Next(pixels, alpha) != KvClipReader::Got::kFrame) break;
        // The first frame may correct the size the container told; every frame has it then.
        const KvClipFormat& format = reader.Format();
        if (pixels.size() != std::size_t(format.width) * std::size_t(format.height)) std::abort();
        pixelsDecoded += pixels.size();
      }
    })
