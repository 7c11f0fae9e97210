// Pixels, pictures and the rules that every codec's tests check in the same way.
#pragma once

#include <chrono>
#include <cstddef>
#include <functional>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "platform/Geometry.h"
#include "platform/String.h"
#include "platform/Types.h"

class CKvMemBlock;

#ifndef KV_TEST_TIME_FACTOR
#define KV_TEST_TIME_FACTOR 1
#endif

namespace kvtest {

using Bytes = std::vector<unsigned char>;

// A picture-buffer pixel: bytes B, G, R, A in memory.
constexpr DWORD Px(int b, int g, int r, int a = 255) {
  return DWORD(b) | DWORD(g) << 8 | DWORD(r) << 16 | DWORD(a) << 24;
}
// The same, channels named in the order the formats that store RGB give them.
constexpr DWORD Rgb(int r, int g, int b, int a = 255) { return Px(b, g, r, a); }

// Little-endian fields of a file's bytes.
inline int U16(const Bytes& f, std::size_t at) { return f[at] | f[at + 1] << 8; }
inline DWORD U32(const Bytes& f, std::size_t at) {
  return DWORD(U16(f, at)) | DWORD(U16(f, at + 2)) << 16;
}

// Noise of `units` units of `unitBytes` bytes below `values`, with runs of repeated units,
// some longer than any codec's packet.
Bytes NoiseWithRuns(std::size_t units, int unitBytes = 1, int values = 256, unsigned seed = 12345);

// A block's pixels, row after row (none when it holds no picture).
std::vector<DWORD> BlockPixels(const CKvMemBlock& block);

// A buffer whose pixels all differ (for sides up to 256), alpha included.
std::vector<DWORD> Gradient(int w, int h);

struct Picture {
  CRect rect;
  std::vector<DWORD> pixels;
  bool operator==(const Picture& other) const {
    return rect == other.rect && pixels == other.pixels;
  }
};
void PrintTo(const Picture& picture, std::ostream* out);

// What the loaders leave in the rect they are given; a failed load must not change it.
inline const CRect kUntouched(-7, -7, -7, -7);

// Takes over a decoded buffer (freed here). Without one, checks that `rect` is still `before`.
std::optional<Picture> TakePicture(void* buffer, const CRect& rect,
                                   const CRect& before = kUntouched);

// Writes `file` as `name` in a fresh folder, loads it with `load` and takes the picture over;
// a failed load must leave the rect alone.
using PathLoader = DWORD* (*)(CString path, CRect& rect);
std::optional<Picture> LoadBytes(PathLoader load, const std::string& name, const Bytes& file);

// stb_image's decode of a file (empty when it refuses it), alpha kept unless `opaque`: the
// independent decoder that the loaders are compared with.
std::vector<DWORD> StbPixels(const Bytes& file, bool opaque = false);

// Saves `region` of a `size` buffer through `save` as `name` in a fresh folder, and gives the
// file's bytes (none when the save failed).
using PathSaver = int (*)(CString path, DWORD* buffer, CSize size, CRect region);
Bytes SavedBytes(PathSaver save, const std::string& name, std::vector<DWORD> buffer, CSize size,
                 CRect region);

// Every proper prefix of a valid file is refused (`decodes` false), whatever field it cuts.
void ExpectEveryPrefixFails(const Bytes& file, const std::function<bool(const Bytes&)>& decodes);

// The failed-save rule: `save` writes to the path it is given, in a folder that holds an old
// file of that name, while the disk "fills" after `limit` bytes. The save reports failure,
// the old file keeps its bytes, and nothing else is left in the folder.
void ExpectFullDiskKeepsTheOldFile(const std::string& name, std::size_t limit,
                                   const std::function<int(const CString& path)>& save);

// A file that exactly one check refuses, and the reason that check gives.
struct Refusal {
  const char* name;
  Bytes file;
  std::string reason;
};

// Runs `refuses` on each file (true when it was refused) and compares the reason it left, so
// that a file refused by the wrong check fails its row.
void ExpectReasons(const std::vector<Refusal>& rows, const std::function<bool(Bytes)>& refuses);

// The first `n` bytes of `b`; `b` with `more` inserted at `at`.
Bytes Cut(Bytes b, std::size_t n);
Bytes Insert(Bytes b, std::size_t at, const Bytes& more);

// A wall-clock limit, stretched in the instrumented builds, which run several times slower.
constexpr std::chrono::milliseconds TimeLimit(std::chrono::milliseconds normal) {
  return normal * KV_TEST_TIME_FACTOR;
}

// Runs `work` and checks that it took less than `limit` (stretched as above).
void ExpectQuick(std::chrono::milliseconds limit, const std::function<void()>& work);

}  // namespace kvtest

// GoogleTest prints rectangles by their sides.
void PrintTo(const CRect& rect, std::ostream* out);
