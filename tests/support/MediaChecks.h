// Pixels, pictures and the rules that every codec's tests check in the same way.
#pragma once

#include <chrono>
#include <cstddef>
#include <functional>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "KvMediaFile/KvPicture.h"
#include "host/Failure.h"
#include "platform/File.h"
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

// A file that exactly one check refuses, and the reason that check gives; an empty reason is
// a file just inside a limit, which must be accepted. `rect` is what a decoder from memory
// leaves in the rect it is given (by default: a refusal leaves it alone).
struct Refusal {
  const char* name;
  Bytes file;
  std::string reason;
  CRect rect = kUntouched;
};

// The one refusal runner: calls `refuses` on each row (true when the file was refused) and
// compares the reason it left, so that a file refused by the wrong check fails its row. With
// a `limit`, the whole table must be done within it: files that claim huge pictures are
// refused at once.
void ExpectReasons(const std::vector<Refusal>& rows,
                   const std::function<bool(const Refusal&)>& refuses,
                   std::chrono::milliseconds limit = {});
void ExpectReasons(const std::vector<Refusal>& rows, const std::function<bool(Bytes)>& refuses,
                   std::chrono::milliseconds limit = {});

// A decoder that reads a picture from a file object, as the codecs' own entries do.
using MemoryDecoder = std::function<DWORD*(CFile&, CRect&)>;

// Decodes `file` through a memory file. With `rect`, the rect is left there whatever
// happens; without, a refusal must leave it alone.
std::optional<Picture> DecodeInMemory(const MemoryDecoder& decode, Bytes file,
                                      CRect* rect = nullptr);

// The runner over a decoder from memory: each row refused with its reason, its rect as the
// row says, the table within two seconds.
void ExpectDecodeReasons(const std::vector<Refusal>& rows, const MemoryDecoder& decode);

// A picture's pixels; none without a picture.
inline std::vector<DWORD> PixelsOf(const std::optional<Picture>& picture) {
  return picture ? picture->pixels : std::vector<DWORD>{};
}

// `image` with one field set to `value`.
template <class Image, class T>
Image With(Image image, T Image::*field, T value) {
  image.*field = value;
  return image;
}

// `file` with the byte at `at` set to `value`.
inline Bytes Changed(Bytes file, std::size_t at, unsigned char value) {
  file.at(at) = value;
  return file;
}

// The library open for the length of a test: the PNG loader needs it.
struct OpenLibrary {
  OpenLibrary() { KvMediaFileOpen(); }
  ~OpenLibrary() { KvMediaFileClose(); }
};

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
