#include "KvMediaFile/DriveBitmaps.h"

#include <array>
#include <string_view>

namespace {

constexpr int kSide = 16;

// The colours the pictures are drawn with, by the character that stands for each below.
struct Ink {
  char key;
  BYTE red, green, blue;
};
constexpr Ink kInks[] = {
    {'.', 255, 255, 255},  // background: the panel's mask colour
    {'k', 0, 0, 0},       {'d', 80, 80, 80},    {'g', 136, 136, 136}, {'l', 192, 192, 192},
    {'s', 232, 232, 232}, {'b', 48, 96, 208},   {'c', 112, 208, 240}, {'G', 40, 200, 72},
    {'y', 248, 208, 48},  {'m', 216, 152, 232}, {'o', 248, 168, 72},
};
constexpr std::size_t kInkCount = std::size(kInks);

// Rows top to bottom, one character a pixel.
using Art = std::array<std::string_view, kSide>;

// The original platform's resource form: the 40-byte information header, the colour table,
// then 8-bit rows from the bottom up (16 bytes each, so no padding).
constexpr std::size_t kResourceBytes = 40 + 4 * kInkCount + kSide * kSide;
using Resource = std::array<BYTE, kResourceBytes>;

constexpr BYTE InkIndex(char key) {
  for (std::size_t i = 0; i < kInkCount; ++i)
    if (kInks[i].key == key) return static_cast<BYTE>(i);
  throw "a drive picture uses a character that is not an ink";
}

constexpr Resource MakeResource(const Art& art) {
  Resource r{};
  auto put = [&r](std::size_t at, DWORD value, int bytes) {
    for (int i = 0; i < bytes; ++i) r[at + i] = static_cast<BYTE>(value >> (8 * i));
  };
  put(0, 40, 4);              // header size
  put(4, kSide, 4);           // width
  put(8, kSide, 4);           // height: positive, bottom row first
  put(12, 1, 2);              // planes
  put(14, 8, 2);              // bits per pixel
  put(20, kSide * kSide, 4);  // image size; compression and resolutions stay 0
  put(32, kInkCount, 4);      // colours used
  std::size_t at = 40;
  for (const Ink& ink : kInks) {
    r[at++] = ink.blue;
    r[at++] = ink.green;
    r[at++] = ink.red;
    r[at++] = 0;
  }
  for (int y = kSide - 1; y >= 0; --y) {
    if (art[y].size() != kSide) throw "a drive picture row is not 16 pixels";
    for (char key : art[y]) r[at++] = InkIndex(key);
  }
  return r;
}

// clang-format off
// A 3.5-inch diskette: shutter with its window above, label below.
constexpr Art kFloppyArt = {
    "................",
    ".kkkkkkkkkkkkk..",
    ".kbblllllllbbbk.",
    ".kbbllllkklbbbk.",
    ".kbbllllkklbbbk.",
    ".kbbllllkklbbbk.",
    ".kbblllllllbbbk.",
    ".kbbbbbbbbbbbbk.",
    ".kbssssssssssbk.",
    ".kbsggggggggsbk.",
    ".kbssssssssssbk.",
    ".kbsggggggggsbk.",
    ".kbssssssssssbk.",
    ".kkbbbbbbbbbbbk.",
    ".kkkkkkkkkkkkkk.",
    "................",
};

// A hard disk case, seen from above the front edge, with its light.
constexpr Art kFixedArt = {
    "................",
    "................",
    "................",
    "................",
    "....kkkkkkkkkkk.",
    "...kssssssssskdk",
    "..kssssssssskddk",
    ".kkkkkkkkkkkkddk",
    ".kllllllllllkddk",
    ".kllllllllllkddk",
    ".kldddddlGGlkdk.",
    ".kllllllllllkk..",
    ".kkkkkkkkkkkk...",
    "................",
    "................",
    "................",
};

// The same case on a network line.
constexpr Art kRemoteArt = {
    "................",
    "....kkkkkkkkkkk.",
    "...kssssssssskdk",
    "..kssssssssskddk",
    ".kkkkkkkkkkkkddk",
    ".kllllllllllkddk",
    ".kldddddlGGlkdk.",
    ".kllllllllllkk..",
    ".kkkkkkkkkkkk...",
    "......kGGk......",
    "......kGGk......",
    "......kGGk......",
    ".kkkkkkGGkkkkkk.",
    ".kGGGGGGGGGGGGk.",
    ".kkkkkkkkkkkkkk.",
    "................",
};

// A disc with the sheen of its recorded side.
constexpr Art kOpticalArt = {
    ".....kkkkkk.....",
    "...kkssssmmkk...",
    "..ksssssmmmmck..",
    ".kssssssmmmccck.",
    ".kssssssmmcccck.",
    "ksssssllllcccllk",
    "kssssllkkllllllk",
    "ksssslk..klllllk",
    "ksssslk..klllllk",
    "kssssllkkllllllk",
    "kssyyylllllllllk",
    ".kyyyyoollllllk.",
    ".kyyyoolllllllk.",
    "..kyooollllllk..",
    "...kkoollllkk...",
    ".....kkkkkk.....",
};
// clang-format on

constexpr Resource kFloppy = MakeResource(kFloppyArt);
constexpr Resource kFixed = MakeResource(kFixedArt);
constexpr Resource kRemote = MakeResource(kRemoteArt);
constexpr Resource kOptical = MakeResource(kOpticalArt);

}  // namespace

const KvBitmapResource kKvDriveBitmaps[kKvDriveBitmapCount] = {
    {KV_IDB_DRIVE_FLOPPY, kFloppy.data(), kFloppy.size()},
    {KV_IDB_DRIVE_FIXED, kFixed.data(), kFixed.size()},
    {KV_IDB_DRIVE_REMOTE, kRemote.data(), kRemote.size()},
    {KV_IDB_DRIVE_OPTICAL, kOptical.data(), kOptical.size()},
};
