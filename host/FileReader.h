// Buffered, bounds-checked reading of a file, the file-side twin of ByteReader. A read the
// file cannot satisfy fails: it yields 0, does not move, and marks the reader as failed for
// good, recording where the data ran out, so a decoder can read a run of fields and check
// once. Sizes are compared with the file's length before anything is read, so a lying size
// costs nothing. File errors are failures too; nothing is thrown.
#pragma once

#include <cstddef>
#include <span>
#include <string>
#include <vector>

#include "platform/File.h"
#include "platform/Types.h"

class KV_HOST_API FileReader {
 public:
  static constexpr std::size_t kDefaultBufferBytes = 64 * 1024;

  // Reads `file` from its current position; the buffer is never larger than the file.
  explicit FileReader(CFile& file, std::size_t bufferBytes = kDefaultBufferBytes);
  FileReader(const FileReader&) = delete;
  FileReader& operator=(const FileReader&) = delete;

  ULONGLONG position() const { return m_filePos - (m_end - m_begin); }
  ULONGLONG size() const { return m_length; }
  ULONGLONG remaining() const { return m_length > position() ? m_length - position() : 0; }
  bool ok() const { return !m_failed; }
  // Where the first failed read started and how many bytes it wanted.
  ULONGLONG failedAt() const { return m_failedAt; }
  ULONGLONG failedWant() const { return m_failedWant; }
  // "truncated: 1,000 of 8,294,418 bytes" after a read past the end; empty while ok.
  std::string Reason() const;

  BYTE u8();
  WORD u16le();
  DWORD u32le();
  WORD u16be();
  DWORD u32be();
  short i16le() { return static_cast<short>(u16le()); }
  LONG i32le() { return static_cast<LONG>(u32le()); }
  short i16be() { return static_cast<short>(u16be()); }
  LONG i32be() { return static_cast<LONG>(u32be()); }

  // n bytes into `out`; reads of a buffer's size or more go straight into `out`.
  bool read(void* out, std::size_t n);
  bool skip(ULONGLONG n);
  bool seek(ULONGLONG pos);
  // Up to n bytes from the position without consuming them (n is cut to the buffer's size);
  // fewer only at the end of the file.
  std::span<const BYTE> peek(std::size_t n);
  // Consumes n bytes of what peek gave.
  void consume(std::size_t n) { m_begin += n <= m_end - m_begin ? n : m_end - m_begin; }
  // Marks the reader as failed at the position, for data found inconsistent.
  bool fail(ULONGLONG want = 0);

 private:
  // The next n bytes, buffered (n at most the buffer's size), or null and failure.
  const BYTE* Take(std::size_t n);
  bool Fill(std::size_t n);
  bool ReadFile(BYTE* out, std::size_t n, std::size_t& got);

  CFile& m_file;
  ULONGLONG m_length = 0;
  ULONGLONG m_filePos = 0;  // where the file's next read starts: just past the buffered bytes
  std::vector<BYTE> m_buffer;
  std::size_t m_begin = 0, m_end = 0;
  bool m_failed = false;
  ULONGLONG m_failedAt = 0, m_failedWant = 0;
};

// Opens a file for reading, as every decoder does; false with the reason recorded ("no such
// file", "is a folder", or the system's words) when it cannot be opened.
KV_HOST_API bool KvOpenForReading(const CString& path, CFile& file);

// 8294418 -> "8,294,418", for reasons that quote sizes.
KV_HOST_API std::string KvGroupDigits(ULONGLONG value);
