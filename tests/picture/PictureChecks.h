// Helpers of the picture tests: decoding from memory, changed images and files, refusal tables.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "KvMediaFile/KvPicture.h"
#include "MediaChecks.h"
#include "host/Failure.h"
#include "platform/File.h"

namespace kvtest {

// The library open for the length of a test: the PNG loader needs it.
struct OpenLibrary {
  OpenLibrary() { KvMediaFileOpen(); }
  ~OpenLibrary() { KvMediaFileClose(); }
};

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

// A picture's pixels; none without a picture.
inline std::vector<DWORD> PixelsOf(const std::optional<Picture>& picture) {
  return picture ? picture->pixels : std::vector<DWORD>{};
}

// Decodes `file` from a memory file through `decode(CFile&, CRect&)`. With `rect`, the rect is
// left there whatever happens; without, a refusal must leave it alone.
template <class Decode>
std::optional<Picture> DecodeInMemory(Decode decode, Bytes file, CRect* rect = nullptr) {
  CMemFile memory(file.data(), static_cast<UINT>(file.size()));
  CRect r = kUntouched;
  DWORD* buffer = decode(memory, r);
  if (rect) *rect = r;
  return TakePicture(buffer, r, rect ? r : kUntouched);
}

// Each file is refused by `decode` with the reason given, or loads when the reason is empty (a
// file just inside a limit), so that a file refused by the wrong check fails its row; files
// that claim huge pictures are refused at once.
template <class Decode>
void ExpectRefusals(Decode decode, const std::vector<std::pair<Bytes, std::string>>& rows) {
  ExpectQuick(std::chrono::seconds(2), [&] {
    for (const auto& [file, why] : rows) {
      KvClearFailure();
      EXPECT_EQ(DecodeInMemory(decode, file).has_value(), why.empty()) << why;
      EXPECT_EQ(KvLastFailure(), why);
    }
  });
}

}  // namespace kvtest
