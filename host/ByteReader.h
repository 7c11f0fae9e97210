// A bounds-checked little- and big-endian reader over a byte span. A read past the end
// fails: it yields 0, leaves the position where it was and marks the reader as failed, so
// a header can be read field by field and checked once at the end.
#pragma once

#include <cstddef>
#include <cstring>
#include <span>

#include "platform/Types.h"

class ByteReader {
 public:
  explicit ByteReader(std::span<const BYTE> data) : m_data(data) {}

  std::size_t position() const { return m_pos; }
  std::size_t size() const { return m_data.size(); }
  std::size_t remaining() const { return m_data.size() - m_pos; }
  bool ok() const { return !m_failed; }

  BYTE u8() {
    const BYTE* p = Take(1);
    return p ? p[0] : 0;
  }
  WORD u16le() {
    const BYTE* p = Take(2);
    return p ? static_cast<WORD>(p[0] | p[1] << 8) : 0;
  }
  DWORD u32le() {
    const BYTE* p = Take(4);
    return p ? static_cast<DWORD>(p[0]) | static_cast<DWORD>(p[1]) << 8 |
                   static_cast<DWORD>(p[2]) << 16 | static_cast<DWORD>(p[3]) << 24
             : 0;
  }
  WORD u16be() {
    const BYTE* p = Take(2);
    return p ? static_cast<WORD>(p[0] << 8 | p[1]) : 0;
  }
  DWORD u32be() {
    const BYTE* p = Take(4);
    return p ? static_cast<DWORD>(p[0]) << 24 | static_cast<DWORD>(p[1]) << 16 |
                   static_cast<DWORD>(p[2]) << 8 | static_cast<DWORD>(p[3])
             : 0;
  }
  short i16le() { return static_cast<short>(u16le()); }
  LONG i32le() { return static_cast<LONG>(u32le()); }
  short i16be() { return static_cast<short>(u16be()); }
  LONG i32be() { return static_cast<LONG>(u32be()); }

  // The next n bytes, or an empty span (and failure) when fewer remain.
  std::span<const BYTE> bytes(std::size_t n) {
    const BYTE* p = Take(n);
    return p ? std::span<const BYTE>(p, n) : std::span<const BYTE>();
  }
  bool copy(void* out, std::size_t n) {
    const BYTE* p = Take(n);
    if (p && n) std::memcpy(out, p, n);
    return p != nullptr;
  }
  bool skip(std::size_t n) { return Take(n) != nullptr; }
  bool seek(std::size_t pos) {
    if (pos > m_data.size()) return Fail();
    m_pos = pos;
    return true;
  }

 private:
  const BYTE* Take(std::size_t n) {
    if (n > remaining()) {
      Fail();
      return nullptr;
    }
    const BYTE* p = m_data.data() + m_pos;
    m_pos += n;
    return p;
  }
  bool Fail() {
    m_failed = true;
    return false;
  }

  std::span<const BYTE> m_data;
  std::size_t m_pos = 0;
  bool m_failed = false;
};

// Little-endian stores into a byte buffer that the caller has sized.
inline void KvPutLe16(BYTE* p, unsigned v) {
  p[0] = static_cast<BYTE>(v);
  p[1] = static_cast<BYTE>(v >> 8);
}
inline void KvPutLe32(BYTE* p, DWORD v) {
  KvPutLe16(p, v & 0xFFFF);
  KvPutLe16(p + 2, v >> 16);
}
