#include "host/FileReader.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "host/Failure.h"
#include "platform/Exceptions.h"

FileReader::FileReader(CFile& file, std::size_t bufferBytes) : m_file(file) {
  try {
    m_length = file.GetLength();
    m_filePos = file.GetPosition();
  } catch (const CException&) {
    fail();
    return;
  }
  // Small files are buffered whole; at least 16 bytes, so that every field fits.
  m_buffer.resize(static_cast<std::size_t>(
      std::min<ULONGLONG>(std::max<std::size_t>(bufferBytes, 16), m_length)));
}

std::string FileReader::Reason() const {
  if (!m_failed) return std::string();
  const ULONGLONG needed = m_failedAt + m_failedWant;
  if (m_failedWant == 0 || needed <= m_length)
    return "damaged at byte " + KvGroupDigits(m_failedAt);
  return "truncated: " + KvGroupDigits(m_length) + " of " + KvGroupDigits(needed) + " bytes";
}

bool FileReader::fail(ULONGLONG want) {
  if (!m_failed) {
    m_failed = true;
    m_failedAt = position();
    m_failedWant = want;
  }
  return false;
}

bool FileReader::ReadFile(BYTE* out, std::size_t n, std::size_t& got) {
  got = 0;
  try {
    while (got < n) {
      const std::size_t ask = std::min<std::size_t>(n - got, 0x40000000);
      const UINT k = m_file.Read(out + got, static_cast<UINT>(ask));
      if (k == 0) break;
      got += k;
    }
  } catch (const CException&) {
    return false;
  }
  return true;
}

// At least n bytes buffered, reading as many as fit; false when the file has fewer.
bool FileReader::Fill(std::size_t n) {
  const std::size_t buffered = m_end - m_begin;
  if (buffered >= n) return true;
  if (n > m_buffer.size()) return false;
  std::memmove(m_buffer.data(), m_buffer.data() + m_begin, buffered);
  m_begin = 0;
  m_end = buffered;
  const std::size_t room = m_buffer.size() - m_end;
  const std::size_t want =
      static_cast<std::size_t>(std::min<ULONGLONG>(room, m_length - m_filePos));
  std::size_t got = 0;
  const bool read = ReadFile(m_buffer.data() + m_end, want, got);
  m_end += got;
  m_filePos += got;
  return read && m_end >= n;
}

const BYTE* FileReader::Take(std::size_t n) {
  if (m_failed) return nullptr;
  if (n > remaining() || !Fill(n)) {
    fail(n);
    return nullptr;
  }
  const BYTE* p = m_buffer.data() + m_begin;
  m_begin += n;
  return p;
}

BYTE FileReader::u8() {
  const BYTE* p = Take(1);
  return p ? p[0] : 0;
}

WORD FileReader::u16le() {
  const BYTE* p = Take(2);
  return p ? static_cast<WORD>(p[0] | p[1] << 8) : 0;
}

DWORD FileReader::u32le() {
  const BYTE* p = Take(4);
  return p ? static_cast<DWORD>(p[0]) | static_cast<DWORD>(p[1]) << 8 |
                 static_cast<DWORD>(p[2]) << 16 | static_cast<DWORD>(p[3]) << 24
           : 0;
}

WORD FileReader::u16be() {
  const BYTE* p = Take(2);
  return p ? static_cast<WORD>(p[0] << 8 | p[1]) : 0;
}

DWORD FileReader::u32be() {
  const BYTE* p = Take(4);
  return p ? static_cast<DWORD>(p[0]) << 24 | static_cast<DWORD>(p[1]) << 16 |
                 static_cast<DWORD>(p[2]) << 8 | static_cast<DWORD>(p[3])
           : 0;
}

bool FileReader::read(void* out, std::size_t n) {
  if (m_failed) return false;
  if (n > remaining()) return fail(n);
  auto* dst = static_cast<BYTE*>(out);
  const std::size_t buffered = std::min(n, m_end - m_begin);
  if (buffered) std::memcpy(dst, m_buffer.data() + m_begin, buffered);
  const std::size_t rest = n - buffered;
  if (rest == 0) {
    m_begin += buffered;
    return true;
  }
  if (rest < m_buffer.size()) {
    const ULONGLONG at = position();
    m_begin += buffered;
    if (!Fill(rest)) {
      m_begin = m_end = 0;
      m_filePos = at;  // the buffered part was not consumed either
      return fail(n);
    }
    std::memcpy(dst + buffered, m_buffer.data() + m_begin, rest);
    m_begin += rest;
    return true;
  }
  // Large reads bypass the buffer.
  const ULONGLONG at = position();
  std::size_t got = 0;
  const bool read = ReadFile(dst + buffered, rest, got);
  m_begin = m_end = 0;
  m_filePos += got;
  if (!read || got != rest) {
    seek(at);
    return fail(n);
  }
  return true;
}

bool FileReader::skip(ULONGLONG n) {
  if (m_failed) return false;
  if (n > remaining()) return fail(n);
  return seek(position() + n);
}

bool FileReader::seek(ULONGLONG pos) {
  if (m_failed) return false;
  if (pos > m_length) {
    return fail(pos - std::min(pos, position()));
  }
  const ULONGLONG windowStart = m_filePos - m_end;
  if (pos >= windowStart && pos <= m_filePos) {
    m_begin = static_cast<std::size_t>(pos - windowStart);
    return true;
  }
  try {
    m_file.Seek(static_cast<LONGLONG>(pos), CFile::begin);
  } catch (const CException&) {
    return fail();
  }
  m_filePos = pos;
  m_begin = m_end = 0;
  return true;
}

std::span<const BYTE> FileReader::peek(std::size_t n) {
  if (m_failed) return {};
  n = std::min<std::size_t>(
      {n, m_buffer.size(), static_cast<std::size_t>(std::min<ULONGLONG>(remaining(), SIZE_MAX))});
  if (!Fill(n)) n = m_end - m_begin;
  return {m_buffer.data() + m_begin, std::min(n, m_end - m_begin)};
}

std::string KvGroupDigits(ULONGLONG value) {
  std::string digits = std::to_string(value), out;
  for (std::size_t i = 0; i < digits.size(); ++i) {
    if (i && (digits.size() - i) % 3 == 0) out += ',';
    out += digits[i];
  }
  return out;
}

bool KvOpenForReading(const CString& path, CFile& file) {
  CFileException error;
  if (file.Open(path, CFile::modeRead | CFile::shareDenyWrite | CFile::typeBinary, &error))
    return true;
  switch (error.m_lOsError) {
    case ENOENT:
      return KvFail("no such file");
    case EISDIR:
      return KvFail("is a folder");
    default:
      return KvFail(error.m_lOsError > 0 ? std::strerror(error.m_lOsError)
                                         : "the file cannot be opened");
  }
}
