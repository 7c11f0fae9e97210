// Helpers of the picture tests: decoding from memory, and images with one field changed.
#pragma once

#include <optional>

#include "MediaChecks.h"
#include "platform/File.h"

namespace kvtest {

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

}  // namespace kvtest
