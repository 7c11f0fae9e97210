// The scroll file: one pre-rendered strip of 32-bit pixels stored as data lines (rows of a
// roll, columns of a crawl), each compressed on its own, behind a table of their sizes.
//
//   0  "SVSC"   4  version 1   8  direction 0..3   12  pixel depth 32   16  line count N
//   20 line width W   24  1   28  0   32  N line sizes   32 + 4N  the compressed lines
#pragma once

#include <array>
#include <memory>
#include <vector>

#include "KvMediaFile/KvMediaApi.h"
#include "host/FileReader.h"
#include "platform/File.h"

struct SKvScrollHeader {
  DWORD magic = 0;
  DWORD version = 0;
  DWORD direction = 0;
  DWORD depth = 0;
  DWORD lines = 0;
  DWORD width = 0;
  DWORD constant = 0;
  DWORD reserved = 0;
  static constexpr std::size_t kSize = 32;
  static constexpr DWORD kMagic = 0x43535653;  // "SVSC"
  std::array<BYTE, kSize> Serialize() const;
  static SKvScrollHeader Parse(const std::array<BYTE, kSize>& bytes);
  // Whether this library reads a file with this header; records why not.
  bool Accept() const;
};

class KV_MEDIA_API CKvScrollFileWrite : public CFile {
 public:
  CKvScrollFileWrite() = default;
  ~CKvScrollFileWrite() override;

  // Creates the file for `lines` lines of `width` pixels; the third argument is not used.
  int OpenFile(const wchar_t* path, DWORD direction, int unused, DWORD lines, DWORD width);
  // Compresses and appends the next line of `width` pixels; 0 beyond the announced count.
  int AppendDataLine(DWORD* line);
  void CloseFile();

 private:
  // Gives up opening: closes the file and forgets the header; 0.
  int Refuse();

  SKvScrollHeader m_header;
  DWORD m_appended = 0;
};

class KV_MEDIA_API CKvScrollFileRead : public CFile {
 public:
  CKvScrollFileRead() = default;
  ~CKvScrollFileRead() override;

  // Opens and checks the file: the header, and a size table whose sizes are multiples of 4
  // and add up to the file's length exactly.
  int OpenFile(const wchar_t* path);
  DWORD GetDirection() const { return m_header.direction; }
  DWORD GetDataWidth() const { return m_header.width; }
  DWORD GetDataLines() const { return m_header.lines; }
  // Everything from offset 32 to the end (size table, then the lines), as a new[] buffer
  // that the caller frees with delete[]; null on failure.
  BYTE* GetData();
  // Lines from..to-1 (the two swapped when from > to; `to` cut to the line count)
  // decompressed, as a new[] buffer of (to - from) x W pixels; null when empty, when from
  // lies beyond the line count, or when the file cannot be read or memory is short. A line
  // that is missing or does not expand to exactly W pixels comes out transparent.
  BYTE* GetSpecialFrame(DWORD from, DWORD to);
  void CloseFile();

  // Reads and decompresses lines lo..hi-1 (lo < hi <= N) into `out`, (hi - lo) x W pixels,
  // with one read for each stretch of lines that can hold pixels (the whole run, in a sound
  // file). Missing and damaged lines come out transparent. False when the file cannot be read
  // or memory is short.
  bool DecodeRun(DWORD lo, DWORD hi, DWORD* out);
  // Decompresses `count` lines that lie back to back in `data` (4-byte aligned), starting
  // with line `first`, into `out` (count x W pixels). A line that is missing or does not
  // expand to exactly W pixels is written transparent. False only when the lines are not
  // the file's or do not lie within `dataBytes`.
  bool DecodeLines(const BYTE* data, std::size_t dataBytes, DWORD first, DWORD count,
                   DWORD* out) const;
  // Largest line count and line width accepted.
  static constexpr DWORD kMaxCount = 0x3FFFFFFF;
  // Offset of line i from the start of the file (i = N: the end of the data).
  ULONGLONG LineOffset(DWORD i) const { return m_offsets[i]; }

 private:
  // Whether line i has a stored size that some stream of W pixels can have: not 0, and at
  // most 2 words a pixel (every packet gives at least one pixel for at most two words).
  bool MayHoldPixels(DWORD i) const;

  SKvScrollHeader m_header;
  std::vector<ULONGLONG> m_offsets;
  // Every read after the open goes through it, so that it always knows the file's position
  // and a run of lines that follows the last one read needs no seek.
  std::unique_ptr<FileReader> m_lineReader;
};
