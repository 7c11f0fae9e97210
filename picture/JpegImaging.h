// JPEG files through libjpeg-turbo: the header, decoding to 32-bit BGRA, and saving with the
// default settings (quality 75, 4:2:0). No call ends the process or prints anything: a file
// libjpeg refuses is a false result, and its warnings about corrupt data are never printed.
#pragma once

#include <cstddef>
#include <memory>
#include <span>
#include <vector>

#include "platform/String.h"
#include "platform/Types.h"

// Reads one JPEG file: Open reads its headers up to the first scan, Decode its pixels.
class KvJpegReader {
 public:
  KvJpegReader();
  ~KvJpegReader();
  KvJpegReader(const KvJpegReader&) = delete;
  KvJpegReader& operator=(const KvJpegReader&) = delete;

  // Bounds what the decoder takes for itself (the coefficients of progressive files above
  // all); 0 leaves it unbounded. Set before Open.
  void SetMemoryLimit(std::size_t bytes);

  // False when the input is not a JPEG whose headers can be read. One Open per reader; the
  // bytes must outlive it.
  bool Open(const CString& path);
  bool Open(std::span<const BYTE> bytes);

  int width() const;
  int height() const;
  // Colour components of the frame (1 grey, 3 colour, 4 CMYK) and bits a sample.
  int components() const;
  int precision() const;

  // False when the bytes after the headers are too few for the picture they announce: every
  // block of every component codes at least one bit. Arithmetic-coded data gives no bound.
  bool CanHoldPicture() const;

  // Decodes width x height pixels into `pixels` (rows top to bottom, bytes B, G, R, 255).
  // Greyscale and CMYK files are converted too. Data that ends early or is corrupt decodes as
  // far as it goes, as libjpeg fills it in; false only when libjpeg gives up. Once per reader.
  bool Decode(DWORD* pixels);
  // libjpeg's words for the first corrupt data that decoding passed over ("Corrupt JPEG
  // data: ..."); empty when there was none.
  const char* corruption() const;

 private:
  bool ReadHeaders();

  struct State;
  std::unique_ptr<State> m_state;
};

// Encodes width x height pixels (rows top to bottom, bytes B, G, R, A; alpha is dropped)
// as a baseline JPEG of quality 75 with 4:2:0 chroma. False when libjpeg refuses the size
// (above 65500 on either side) or memory is short; `jpeg` is then left empty.
bool KvJpegEncode(const DWORD* pixels, int width, int height, std::vector<BYTE>& jpeg);
