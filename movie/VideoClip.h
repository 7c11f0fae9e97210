// Clips of other programs through FFmpeg's libraries: the first video stream of a file (or of
// bytes in memory) decoded frame by frame into BGRA with straight alpha, as the library's
// pictures are; and clips written from BGRA frames with the codecs editing systems take with
// alpha. Nothing here starts a thread: the codecs run on the caller's.
#pragma once

#include <memory>
#include <span>
#include <string>
#include <vector>

#include "platform/Types.h"

struct KvClipFormat {
  int width = 0;
  int height = 0;
  int frames = 0;      // of the first video stream
  double fps = 0;      // its stated rate; 0 when it states none
  bool alpha = false;  // known once a frame is decoded
};

class KvClipReader {
 public:
  KvClipReader();
  ~KvClipReader();
  KvClipReader(const KvClipReader&) = delete;
  KvClipReader& operator=(const KvClipReader&) = delete;

  // Opens the clip and learns its size and frame count without decoding a frame; a clip
  // larger than the picture limit, without a video stream or without frames is refused.
  // False with the reason recorded.
  bool Open(const std::string& path);
  // The same over bytes in memory, which the caller keeps while the reader is open.
  bool OpenMemory(std::span<const BYTE> bytes);
  const KvClipFormat& Format() const;

  enum class Got { kFrame, kEnd, kFailed };
  // The next frame, Format().width x height pixels, into `pixels`; `alpha`: whether its
  // pixels carry alpha (else they are opaque). kFailed records the reason: a frame that does
  // not decode, one of another size than the first, a clip that ends before its count.
  Got Next(std::vector<DWORD>& pixels, bool& alpha);
  // Frames returned so far.
  int Decoded() const;

 private:
  struct Impl;
  std::unique_ptr<Impl> m;
};

enum class KvClipCodec { kQtrle, kProRes4444, kPng };

class KvClipWriter {
 public:
  KvClipWriter();
  ~KvClipWriter();
  KvClipWriter(const KvClipWriter&) = delete;
  KvClipWriter& operator=(const KvClipWriter&) = delete;

  // Creates `path` for frames of width x height at `fps` frames a second; `container` is
  // "mov" or "matroska". False with the reason recorded.
  bool Open(const std::string& path, const char* container, KvClipCodec codec, int width,
            int height, int fps);
  // Encodes one frame of BGRA pixels (straight alpha), width x height of them.
  bool Add(const DWORD* pixels);
  // Drains the encoder and writes the container's index; the file is whole only then.
  bool Finish();

 private:
  struct Impl;
  std::unique_ptr<Impl> m;
};
