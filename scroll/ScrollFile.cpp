#include "scroll/ScrollFile.h"

#include <algorithm>
#include <cstdint>
#include <memory>
#include <new>
#include <span>
#include <string>
#include <vector>

#include "host/ByteReader.h"
#include "host/Failure.h"
#include "host/FileReader.h"
#include "host/LineCodec.h"
#include "host/MemBlock.h"

std::array<BYTE, kKvScrollHeaderSize> KvScrollHeaderBytes(const SKvScrollHeader& h) {
  std::array<BYTE, kKvScrollHeaderSize> b{};
  const DWORD fields[] = {h.magic, h.version, h.direction, h.depth,
                          h.lines, h.width,   h.constant,  h.reserved};
  for (std::size_t i = 0; i < 8; ++i) KvPutLe32(&b[i * 4], fields[i]);
  return b;
}

SKvScrollHeader KvParseScrollHeader(const std::array<BYTE, kKvScrollHeaderSize>& bytes) {
  ByteReader r(bytes);
  SKvScrollHeader h;
  h.magic = r.u32le();
  h.version = r.u32le();
  h.direction = r.u32le();
  h.depth = r.u32le();
  h.lines = r.u32le();
  h.width = r.u32le();
  h.constant = r.u32le();
  h.reserved = r.u32le();
  return h;
}

bool KvAcceptScrollHeader(const SKvScrollHeader& h) {
  if (h.magic != kKvScrollMagic) return KvFail("not a scroll file (magic)");
  if (h.version != 1)
    return KvFailf("scroll file version %u is not supported", unsigned{h.version});
  if (h.direction > 3) return KvFailf("scroll direction %u (0 to 3)", unsigned{h.direction});
  if (h.depth != 32) return KvFailf("scroll pixel depth %u is not supported", unsigned{h.depth});
  if (h.constant != 1 || h.reserved != 0) return KvFail("scroll header is damaged");
  if (h.lines == 0) return KvFail("line count 0");
  if (h.width == 0) return KvFail("line width 0");
  return true;
}

namespace {

// Lines are read whole, straight into place; the line reader's buffer serves only short ones.
constexpr std::size_t kDirectReadBuffer = 64;
// A check reads lines in batches of about this many bytes (a longer line alone).
constexpr ULONGLONG kCheckBatchBytes = 4 << 20;

// A stored line is the file's when it fills its width exactly and leaves no words over.
bool IsWholeLine(const KvRLEDecodeResult& r, std::size_t words) {
  return r.status == KvRLEStatus::Ok && r.read == words;
}

// Why line i is not whole, in the words of a check.
std::string LineDamage(DWORD i, const KvRLEDecodeResult& r, std::size_t words, DWORD width) {
  const std::string line = "line " + KvGroupDigits(i), w = KvGroupDigits(width);
  switch (r.status) {
    case KvRLEStatus::SourceEnded:
      return line + " expands to " + KvGroupDigits(r.written) + " of " + w + " pixels";
    case KvRLEStatus::DestinationFull:
      return line + " expands to more than " + w + " pixels";
    case KvRLEStatus::BadPacket:
      return line + " holds a packet that no compressor writes, after " + KvGroupDigits(r.written) +
             " of " + w + " pixels";
    case KvRLEStatus::Ok:
      break;
  }
  const std::size_t over = words - r.read;
  return line + " expands to " + w + " pixels with " + KvGroupDigits(over) +
         (over == 1 ? " word" : " words") + " left over";
}

}  // namespace

// ---------------------------------------------------------------------------------------

CKvScrollFileWrite::~CKvScrollFileWrite() { CloseFile(); }

int CKvScrollFileWrite::OpenFile(const wchar_t* path, DWORD direction, int, DWORD lines,
                                 DWORD width) {
  CloseFile();
  m_header = SKvScrollHeader{kKvScrollMagic, 1, direction, 32, lines, width, 1, 0};
  try {
    if (!Open(path, modeCreate | modeWrite)) throw CFileException();
    SeekToBegin();
    const auto bytes = KvScrollHeaderBytes(m_header);
    Write(bytes.data(), static_cast<UINT>(bytes.size()));
    SetLength(kKvScrollHeaderSize + 4ull * lines);
  } catch (const CException&) {
    return Refuse();
  } catch (const std::bad_alloc&) {
    return Refuse();
  }
  m_appended = 0;
  return 1;
}

int CKvScrollFileWrite::Refuse() {
  Abort();
  m_header = SKvScrollHeader{};
  return 0;
}

int CKvScrollFileWrite::AppendDataLine(DWORD* line) {
  if (m_hFile == hFileNull || !line || m_appended >= m_header.lines) return 0;
  std::vector<DWORD> packed;
  try {
    packed.resize(KvRLEWorstCaseWords(m_header.width));
    const DWORD words = KvRLECompress(line, m_header.width, packed.data(), 0);
    const DWORD bytes = words * 4;
    SeekToEnd();
    Write(packed.data(), bytes);
    BYTE size[4];
    KvPutLe32(size, bytes);
    Seek(static_cast<LONGLONG>(kKvScrollHeaderSize) + 4ll * m_appended, begin);
    Write(size, 4);
  } catch (const CException&) {
    return 0;
  } catch (const std::bad_alloc&) {
    return 0;
  }
  ++m_appended;
  return 1;
}

void CKvScrollFileWrite::CloseFile() {
  if (m_hFile != hFileNull) {
    try {
      Close();
    } catch (const CException&) {
      Abort();
    }
  }
  m_header = SKvScrollHeader{};
  m_appended = 0;
}

// ---------------------------------------------------------------------------------------

CKvScrollFileRead::CKvScrollFileRead() = default;
CKvScrollFileRead::~CKvScrollFileRead() { CloseFile(); }

int CKvScrollFileRead::OpenFile(const wchar_t* path) {
  KvClearFailure();
  CloseFile();
  const auto refuse = [this](const std::string& why) {
    CloseFile();
    return KvFail(why);
  };
  try {
    if (!Open(path, modeRead | shareDenyWrite)) return KvFail("cannot open the file");
    SeekToBegin();
    FileReader in(*this);
    std::array<BYTE, kKvScrollHeaderSize> bytes{};
    if (!in.read(bytes.data(), bytes.size())) return refuse(in.Reason());
    m_header = KvParseScrollHeader(bytes);
    if (!KvAcceptScrollHeader(m_header)) return refuse(std::string());
    // Counts are kept within what frame arithmetic in ints can address.
    if (m_header.lines > kMaxCount || m_header.width > kMaxCount)
      return refuse("scroll of " + KvGroupDigits(m_header.lines) + " lines of " +
                    KvGroupDigits(m_header.width) + " pixels is too large");
    // A size table longer than the file is refused before the table is read.
    const ULONGLONG tableBytes = 4ull * m_header.lines;
    if (tableBytes > in.remaining()) {
      in.fail(tableBytes);
      return refuse(in.Reason());
    }
    m_offsets.resize(static_cast<std::size_t>(m_header.lines) + 1);
    m_offsets[0] = kKvScrollHeaderSize + tableBytes;
    for (DWORD i = 0; i < m_header.lines; ++i) {
      const DWORD size = in.u32le();
      if (size % 4 != 0)
        return refuse("line " + KvGroupDigits(i) + " has " + KvGroupDigits(size) +
                      " bytes, not whole words");
      m_offsets[i + 1] = m_offsets[i] + size;
    }
    if (!in.ok()) return refuse(in.Reason());
    if (m_offsets.back() != in.size())
      return refuse("line sizes add up to " + KvGroupDigits(m_offsets.back()) +
                    " bytes, the file holds " + KvGroupDigits(in.size()));
    m_lineReader = std::make_unique<FileReader>(*this, kDirectReadBuffer);
  } catch (const CException&) {
    return refuse(kKvCannotRead);
  } catch (const std::bad_alloc&) {
    return refuse("out of memory");
  }
  return 1;
}

BYTE* CKvScrollFileRead::GetData() {
  if (!m_lineReader) return nullptr;
  try {
    const ULONGLONG bytes = m_offsets.back() - kKvScrollHeaderSize;
    if (bytes > KvGetMaxPictureBytes() + 4ull * m_header.lines) return nullptr;
    std::unique_ptr<BYTE[]> data(new (std::nothrow) BYTE[static_cast<std::size_t>(bytes)]);
    if (!data) return nullptr;
    if (!m_lineReader->seek(kKvScrollHeaderSize) ||
        !m_lineReader->read(data.get(), static_cast<std::size_t>(bytes)))
      return nullptr;
    return data.release();
  } catch (const CException&) {
    return nullptr;
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
}

bool CKvScrollFileRead::MayHoldPixels(DWORD i) const {
  const ULONGLONG size = m_offsets[i + 1] - m_offsets[i];
  return size != 0 && size <= 8ull * m_header.width;
}

bool CKvScrollFileRead::DecodeLines(const BYTE* data, std::size_t dataBytes, DWORD first,
                                    DWORD count, DWORD* out) const {
  if (m_offsets.empty() || first > m_header.lines || count > m_header.lines - first ||
      reinterpret_cast<std::uintptr_t>(data) % alignof(DWORD) != 0)
    return false;
  const ULONGLONG base = m_offsets[first];
  if (m_offsets[first + count] - base > dataBytes) return false;
  const std::size_t width = m_header.width;
  for (DWORD i = 0; i < count; ++i) {
    const ULONGLONG begin = m_offsets[first + i] - base, end = m_offsets[first + i + 1] - base;
    const std::span<const DWORD> src(reinterpret_cast<const DWORD*>(data + begin),
                                     static_cast<std::size_t>(end - begin) / 4);
    const std::span<DWORD> line(out + i * width, width);
    // A line that does not fill its width exactly, or leaves words over, is not this
    // file's line: it shows transparent rather than shifted or half drawn.
    if (!IsWholeLine(KvRLEDecompress(src, line), src.size()))
      std::fill(line.begin(), line.end(), 0u);
  }
  return true;
}

bool CKvScrollFileRead::DecodeRun(DWORD lo, DWORD hi, DWORD* out) {
  if (!m_lineReader || lo >= hi || hi > m_header.lines) return false;
  const std::size_t width = m_header.width;
  // Lines that cannot hold pixels split the run into stretches read one at a time, so that
  // nothing is read that could not be shown; one buffer fits the longest stretch.
  const auto stretchEnd = [&](DWORD i) {
    while (i < hi && MayHoldPixels(i)) ++i;
    return i;
  };
  ULONGLONG longest = 0;
  for (DWORD i = lo; i < hi; ++i)
    if (MayHoldPixels(i)) {
      const DWORD j = stretchEnd(i);
      longest = std::max(longest, m_offsets[j] - m_offsets[i]);
      i = j;
    }
  std::unique_ptr<DWORD[]> packed;
  if (longest > 0) {
    packed.reset(new (std::nothrow) DWORD[static_cast<std::size_t>(longest / 4)]);
    if (!packed) return false;
  }
  try {
    for (DWORD i = lo; i < hi;) {
      DWORD* line = out + (i - lo) * width;
      if (!MayHoldPixels(i)) {
        std::fill_n(line, width, 0u);
        ++i;
        continue;
      }
      const DWORD j = stretchEnd(i);
      const ULONGLONG bytes = m_offsets[j] - m_offsets[i];
      if (!m_lineReader->seek(m_offsets[i]) ||
          !m_lineReader->read(packed.get(), static_cast<std::size_t>(bytes)) ||
          !DecodeLines(reinterpret_cast<const BYTE*>(packed.get()), static_cast<std::size_t>(bytes),
                       i, j - i, line))
        return false;
      i = j;
    }
  } catch (const CException&) {
    return false;
  } catch (const std::bad_alloc&) {
    return false;
  }
  return true;
}

BYTE* CKvScrollFileRead::GetSpecialFrame(DWORD from, DWORD to) {
  if (m_hFile == hFileNull || m_offsets.empty()) return nullptr;
  const DWORD n = m_header.lines;
  if (from > n) return nullptr;
  to = std::min(to, n);
  if (from == to) return nullptr;
  const DWORD lo = std::min(from, to), hi = std::max(from, to);
  const std::size_t pixelBytes = KvCheckedPictureBytes(m_header.width, hi - lo);
  if (pixelBytes == 0) return nullptr;
  std::unique_ptr<BYTE[]> out(new (std::nothrow) BYTE[pixelBytes]);
  if (!out || !DecodeRun(lo, hi, reinterpret_cast<DWORD*>(out.get()))) return nullptr;
  return out.release();
}

int CKvScrollFileRead::CheckLines() {
  KvClearFailure();
  if (!m_lineReader) return KvFail("no scroll file is open");
  const DWORD n = m_header.lines, width = m_header.width;
  if (!KvCheckedPictureBytes(width, 1))
    return KvFailf("lines of %s pixels are too wide", KvGroupDigits(width).c_str());
  try {
    std::vector<DWORD> line(width), packed;
    for (DWORD i = 0; i < n;) {
      if (!MayHoldPixels(i)) {
        const ULONGLONG size = m_offsets[i + 1] - m_offsets[i];
        return KvFail("line " + KvGroupDigits(i) +
                      (size == 0 ? std::string(" is missing")
                                 : " has " + KvGroupDigits(size) + " bytes, more than a line of " +
                                       KvGroupDigits(width) + " pixels can"));
      }
      DWORD j = i + 1;
      while (j < n && MayHoldPixels(j) && m_offsets[j + 1] - m_offsets[i] <= kCheckBatchBytes) ++j;
      const auto bytes = static_cast<std::size_t>(m_offsets[j] - m_offsets[i]);
      packed.resize(bytes / 4);
      if (!m_lineReader->seek(m_offsets[i]) || !m_lineReader->read(packed.data(), bytes))
        return KvFail(m_lineReader->Reason());
      for (DWORD k = i; k < j; ++k) {
        const std::span<const DWORD> src(
            packed.data() + (m_offsets[k] - m_offsets[i]) / 4,
            static_cast<std::size_t>(m_offsets[k + 1] - m_offsets[k]) / 4);
        const KvRLEDecodeResult r = KvRLEDecompress(src, line);
        if (!IsWholeLine(r, src.size())) return KvFail(LineDamage(k, r, src.size(), width));
      }
      i = j;
    }
  } catch (const CException&) {
    return KvFail(kKvCannotRead);
  } catch (const std::bad_alloc&) {
    return KvFail("out of memory");
  }
  return 1;
}

void CKvScrollFileRead::CloseFile() {
  m_lineReader.reset();
  Abort();
  m_header = SKvScrollHeader{};
  m_offsets.clear();
}
