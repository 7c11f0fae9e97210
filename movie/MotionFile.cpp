#include "movie/MotionFile.h"

#include <algorithm>
#include <cstring>
#include <string>

#include "host/ByteReader.h"
#include "host/Failure.h"
#include "host/FileName.h"
#include "host/FileReader.h"
#include "platform/GlobalMemory.h"

namespace {

constexpr std::size_t kMaxRead = 32768;
constexpr std::size_t kSignatureChecked = 43;
// The records and chunks are read whole; the reader's buffer serves only the short ones.
constexpr std::size_t kReaderBuffer = 32;

void PutLe64(BYTE* p, LONGLONG v) {
  KvPutLe32(p, static_cast<DWORD>(static_cast<ULONGLONG>(v)));
  KvPutLe32(p + 4, static_cast<DWORD>(static_cast<ULONGLONG>(v) >> 32));
}

LONGLONG GetLe64(ByteReader& r) {
  const ULONGLONG lo = r.u32le();
  const ULONGLONG hi = r.u32le();
  return static_cast<LONGLONG>(lo | hi << 32);
}

std::array<BYTE, 80> SerializeInfo(const SKvMotionInfo& info) {
  std::array<BYTE, 80> b{};
  KvPutLe16(&b[0], static_cast<WORD>(info.left));
  KvPutLe16(&b[2], static_cast<WORD>(info.top));
  KvPutLe16(&b[4], static_cast<WORD>(info.width));
  KvPutLe16(&b[6], static_cast<WORD>(info.height));
  KvPutLe16(&b[8], info.pixelSize);
  KvPutLe16(&b[10], static_cast<WORD>(info.frameCount));
  KvPutLe32(&b[12], info.chunkBytes);
  return b;
}

SKvMotionInfo ParseInfo(std::span<const BYTE> bytes) {
  ByteReader r(bytes);
  SKvMotionInfo info;
  info.left = r.i16le();
  info.top = r.i16le();
  info.width = r.i16le();
  info.height = r.i16le();
  info.pixelSize = r.u16le();
  info.frameCount = r.i16le();
  info.chunkBytes = r.u32le();
  return info;
}

std::array<BYTE, 24> SerializeLocator(const SKvMotionLocator& l) {
  std::array<BYTE, 24> b{};
  KvPutLe16(&b[0], l.keyInterval);
  KvPutLe16(&b[2], l.reserved);
  PutLe64(&b[4], l.infoPosition);
  PutLe64(&b[12], l.indexPosition);
  KvPutLe32(&b[20], l.indexSize);
  return b;
}

SKvMotionLocator ParseLocator(std::span<const BYTE> bytes, WORD version) {
  ByteReader r(bytes);
  SKvMotionLocator l;
  l.keyInterval = r.u16le();
  l.reserved = r.u16le();
  if (version == 2) {
    l.infoPosition = GetLe64(r);
    l.indexPosition = GetLe64(r);
    l.indexSize = r.u32le();
  } else {
    l.infoPosition = r.i32le();
    l.indexPosition = r.i32le();
    l.indexSize = version == 1 ? r.u32le() : r.u16le();
  }
  return l;
}

// Reads exactly `bytes` in reads of at most kMaxRead (the reader's buffer is smaller, so each
// goes straight into `out`).
bool ReadChunked(FileReader& in, BYTE* out, std::size_t bytes) {
  while (bytes > 0) {
    const std::size_t n = std::min(bytes, kMaxRead);
    if (!in.read(out, n)) return false;
    out += n;
    bytes -= n;
  }
  return true;
}

// Whether `size` bytes at `pos` lie inside a file of `length` bytes.
bool Inside(LONGLONG pos, ULONGLONG size, ULONGLONG length) {
  return pos >= 0 && static_cast<ULONGLONG>(pos) <= length &&
         size <= length - static_cast<ULONGLONG>(pos);
}

}  // namespace

namespace {
// The system's words for a failed write ("No space left on device").
const char* WriteFailure(const CFileException& e) {
  return e.m_lOsError ? std::strerror(static_cast<int>(e.m_lOsError))
                      : "the file cannot be written";
}
}  // namespace

WORD KvClampKeyInterval(WORD k) { return std::clamp<WORD>(k, 10, 30); }

const std::array<BYTE, 64>& KvMotionSignature() {
  static const std::array<BYTE, 64> signature = [] {
    std::array<BYTE, 64> s{};
    const char text[] = "Solvane Movie File, Tarquell Solvane, Corp";
    static_assert(sizeof text == 43);
    std::memcpy(s.data(), text, sizeof text);
    return s;
  }();
  return signature;
}

// ---------------------------------------------------------------------------------------
// Writer

CKvMotionFileWrite::~CKvMotionFileWrite() {
  if (FileInUse()) CloseFile();
}

int CKvMotionFileWrite::CreateFileW(const wchar_t* path, WORD keyInterval, int frames,
                                    int pixelSize, int left, int top, int width, int height) {
  if (FileInUse()) CloseFile();
  // The frame count is stored in 16 bits.
  if (frames < 0 || frames > 32767) return 0;
  if (!Open(path, modeCreate | modeWrite | shareExclusive | typeBinary)) return 0;
  try {
    std::array<BYTE, SKvMotionFileHeader::kSize> header{};
    KvPutLe16(&header[0], 2);
    std::copy(KvMotionSignature().begin(), KvMotionSignature().end(), header.begin() + 2);
    Write(header.data(), static_cast<UINT>(header.size()));
    m_locator = SKvMotionLocator{};
    m_locator.keyInterval = KvClampKeyInterval(keyInterval);
    const auto locator = SerializeLocator(m_locator);
    Write(locator.data(), static_cast<UINT>(locator.size()));
  } catch (const CFileException&) {
    Abort();
    return 0;
  }
  m_info = SKvMotionInfo{};
  m_info.left = static_cast<short>(left);
  m_info.top = static_cast<short>(top);
  m_info.width = static_cast<short>(width);
  m_info.height = static_cast<short>(height);
  m_info.pixelSize = static_cast<WORD>(pixelSize);
  m_locator.indexSize = static_cast<DWORD>(frames) * 12;
  m_index = GlobalAlloc(GHND, m_locator.indexSize);
  if (!m_index) {
    Abort();
    return 0;
  }
  m_plannedFrames = frames;
  return 1;
}

int CKvMotionFileWrite::AppendFrame(int patchCount, void** patches, WORD* sizes) {
  if (!m_index) return 0;
  if (m_info.frameCount >= m_plannedFrames) return 0;
  if (patchCount < 0 || patchCount > kKvMotionMaxPatches) return 0;
  if (patchCount > 0 && (!patches || !sizes)) return 0;
  // Every patch must hold the bytes its size claims.
  for (int i = 0; i < patchCount; ++i)
    if (!patches[i] || GlobalSize(patches[i]) < sizes[i] || sizes[i] < kKvMotionPatchHeaderSize)
      return 0;

  const std::size_t tableSize = static_cast<std::size_t>(patchCount) * 10;
  std::vector<BYTE> head(kKvMotionFrameHeaderSize + tableSize);
  KvPutLe16(&head[0], static_cast<WORD>(patchCount));
  KvPutLe16(&head[2], static_cast<WORD>(tableSize));
  try {
    const ULONGLONG chunkPos = SeekToEnd();
    ULONGLONG chunkSize = head.size();
    Seek(static_cast<LONGLONG>(chunkPos + head.size()), begin);
    for (int i = 0; i < patchCount; ++i) {
      BYTE* entry = &head[kKvMotionFrameHeaderSize + static_cast<std::size_t>(i) * 10];
      PutLe64(entry, static_cast<LONGLONG>(chunkSize));
      KvPutLe16(entry + 8, sizes[i]);
      KvGlobalLock lock(patches[i]);
      if (!lock) return 0;
      Write(lock.get(), sizes[i]);
      chunkSize += sizes[i];
    }
    Seek(static_cast<LONGLONG>(chunkPos), begin);
    Write(head.data(), static_cast<UINT>(head.size()));

    KvGlobalLock index(m_index);
    BYTE* entry =
        static_cast<BYTE*>(index.get()) + static_cast<std::size_t>(m_info.frameCount) * 12;
    PutLe64(entry, static_cast<LONGLONG>(chunkPos));
    KvPutLe32(entry + 8, static_cast<DWORD>(chunkSize));
    m_info.chunkBytes += static_cast<DWORD>(chunkSize);
    ++m_info.frameCount;
  } catch (const CFileException& e) {
    return KvFail(WriteFailure(e));
  } catch (const CException&) {
    return 0;
  }
  return 1;
}

int CKvMotionFileWrite::CloseFile() {
  if (!m_index) return 1;
  int result = 1;
  try {
    m_locator.indexPosition = static_cast<LONGLONG>(SeekToEnd());
    {
      KvGlobalLock index(m_index);
      if (m_locator.indexSize) Write(index.get(), m_locator.indexSize);
    }
    m_locator.infoPosition = static_cast<LONGLONG>(GetPosition());
    const auto info = SerializeInfo(m_info);
    Write(info.data(), static_cast<UINT>(info.size()));
    Seek(static_cast<LONGLONG>(SKvMotionFileHeader::kSize), begin);
    const auto locator = SerializeLocator(m_locator);
    Write(locator.data(), static_cast<UINT>(locator.size()));
    Close();
  } catch (const CFileException& e) {
    KvFail(WriteFailure(e));
    Abort();
    result = 0;
  } catch (const CException&) {
    Abort();
    result = 0;
  }
  GlobalFree(m_index);
  m_index = nullptr;
  m_plannedFrames = 0;
  return result;
}

// ---------------------------------------------------------------------------------------
// Reader

CKvMotionFileRead::~CKvMotionFileRead() {
  FreeAllMemFC();
  CloseFile();
}

bool CKvMotionFileRead::ReadHeaderAndInfo(FileReader& in) {
  std::array<BYTE, SKvMotionFileHeader::kSize> header{};
  if (!in.read(header.data(), header.size())) return KvFail(in.Reason());
  m_header.version = static_cast<WORD>(header[0] | header[1] << 8);
  std::copy(header.begin() + 2, header.end(), m_header.signature.begin());
  if (!std::equal(m_header.signature.begin(), m_header.signature.begin() + kSignatureChecked,
                  KvMotionSignature().begin()))
    return KvFail("not a motion movie (signature)");
  if (m_header.version > 2)
    return KvFailf("motion movie version %u is not supported", m_header.version);

  std::array<BYTE, 24> locator{};
  const std::size_t locatorSize = SKvMotionLocator::SizeOf(m_header.version);
  if (!in.read(locator.data(), locatorSize)) return KvFail(in.Reason());
  m_locator = ParseLocator(std::span<const BYTE>(locator.data(), locatorSize), m_header.version);

  if (!Inside(m_locator.infoPosition, SKvMotionInfo::kSize, in.size()))
    return KvFailf("motion movie info block at %lld lies outside the file",
                   static_cast<long long>(m_locator.infoPosition));
  std::array<BYTE, SKvMotionInfo::kSize> info{};
  if (!in.seek(static_cast<ULONGLONG>(m_locator.infoPosition)) ||
      !in.read(info.data(), info.size()))
    return KvFail(in.Reason());
  m_info = ParseInfo(info);
  return true;
}

namespace {

// The frame index: inside the file and with an entry for every frame. A new movable block,
// or null with the reason recorded.
HGLOBAL ReadIndex(FileReader& in, const SKvMotionLocator& locator, const SKvMotionInfo& info,
                  WORD version) {
  const LONGLONG pos = locator.indexPosition;
  const ULONGLONG size = locator.indexSize;
  const ULONGLONG needed =
      static_cast<ULONGLONG>(std::max<short>(info.frameCount, 0)) * KvMotionIndexEntrySize(version);
  if (info.frameCount < 0) {
    KvFailf("frame count %d", info.frameCount);
  } else if (!Inside(pos, size, in.size())) {
    KvFailf("motion movie index at %lld lies outside the file", static_cast<long long>(pos));
  } else if (size < needed) {
    KvFailf("motion movie index of %llu bytes is too short for %d frames",
            static_cast<unsigned long long>(size), info.frameCount);
  } else {
    KvGlobalPtr index(GlobalAlloc(GHND, size));
    if (!index) {
      KvFail("out of memory");
      return nullptr;
    }
    KvGlobalLock bytes(index.get());
    if (in.seek(static_cast<ULONGLONG>(pos)) &&
        in.read(static_cast<BYTE*>(bytes.get()), static_cast<std::size_t>(size)))
      return index.release();
    KvFail(in.Reason());
  }
  return nullptr;
}

}  // namespace

int CKvMotionFileRead::OpenFile(const wchar_t* path) {
  KvClearFailure();
  CloseFile();
  if (!KvRequireFile(path) || !KvOpenForReading(path, *this)) return 0;
  try {
    FileReader in(*this, kReaderBuffer);
    if (ReadHeaderAndInfo(in)) m_index = ReadIndex(in, m_locator, m_info, m_header.version);
  } catch (const CException&) {
    KvFail(kKvCannotRead);  // the index, if any, was freed on the way out
  }
  if (m_index) return 1;
  Abort();
  return 0;
}

void CKvMotionFileRead::CloseFile() {
  if (m_index) {
    GlobalFree(m_index);
    m_index = nullptr;
  }
  Abort();
}

bool CKvMotionFileRead::GetIndexEntry(int frame, LONGLONG& position, LONG& size) const {
  if (!m_index || frame < 0 || frame >= m_info.frameCount) return false;
  const std::size_t entrySize = KvMotionIndexEntrySize(m_header.version);
  KvGlobalLock index(m_index);
  ByteReader r(std::span<const BYTE>(static_cast<const BYTE*>(index.get()), GlobalSize(m_index)));
  if (!r.seek(static_cast<std::size_t>(frame) * entrySize)) return false;
  if (m_header.version == 2) {
    position = GetLe64(r);
  } else {
    position = r.i32le();
  }
  size = r.i32le();
  return r.ok();
}

void* CKvMotionFileRead::GetFileFC(int frame) {
  KvClearFailure();
  if (m_header.version > 2) return nullptr;
  LONGLONG position = 0;
  LONG size = 0;
  if (!GetIndexEntry(frame, position, size)) {
    KvFailf("no frame %d", frame);
    return nullptr;
  }
  try {
    FileReader in(*this, kReaderBuffer);
    if (size < static_cast<LONG>(kKvMotionFrameHeaderSize) || size > kMaxChunkBytes ||
        !Inside(position, static_cast<ULONGLONG>(size), in.size())) {
      KvFailf("frame %d: a chunk of %ld bytes at %lld does not fit the file", frame,
              static_cast<long>(size), static_cast<long long>(position));
      return nullptr;
    }
    KvGlobalPtr chunk(GlobalAlloc(GHND, static_cast<std::size_t>(size)));
    if (!chunk) {
      KvFail("out of memory");
      return nullptr;
    }
    {
      KvGlobalLock lock(chunk.get());
      if (!in.seek(static_cast<ULONGLONG>(position)) ||
          !ReadChunked(in, static_cast<BYTE*>(lock.get()), static_cast<std::size_t>(size))) {
        KvFail(in.Reason());
        return nullptr;
      }
    }
    return chunk.release();
  } catch (const CException&) {
    KvFail(kKvCannotRead);
    return nullptr;
  }
}

int CKvMotionFileRead::LoadAllFCToMem() {
  if (!m_index) return 0;
  FreeAllMemFC();
  m_chunks.reserve(static_cast<std::size_t>(m_info.frameCount));
  for (int frame = 0; frame < m_info.frameCount; ++frame) {
    void* chunk = GetFileFC(frame);
    if (!chunk) return 0;
    m_chunks.emplace_back(chunk, static_cast<DWORD>(GlobalSize(chunk)));
  }
  return 1;
}

bool KvMotionPatchEntry(std::span<const BYTE> chunk, WORD version, int i, LONGLONG& offset,
                        WORD& size) {
  ByteReader entry(chunk);
  if (i < 0 || !entry.seek(kKvMotionFrameHeaderSize +
                           static_cast<std::size_t>(i) * KvMotionPatchEntrySize(version)))
    return false;
  offset = version == 2 ? GetLe64(entry) : entry.i32le();
  size = entry.u16le();
  return entry.ok();
}

int CKvMotionFileRead::CheckFC(int frame) {
  const KvGlobalPtr handle(GetFileFC(frame));
  if (!handle) return 0;
  const KvGlobalLock lock(handle.get());
  if (!lock) return KvFail("out of memory");
  const std::span<const BYTE> chunk(static_cast<const BYTE*>(lock.get()), GlobalSize(handle.get()));
  const std::string at = "frame " + std::to_string(frame) + ": ";
  const std::string chunkBytes = " the chunk's " + KvGroupDigits(chunk.size()) + " bytes";
  ByteReader header(chunk);
  const short count = header.i16le();
  if (count < 0) return KvFail(at + "patch count " + std::to_string(count));
  const std::size_t tableEnd =
      kKvMotionFrameHeaderSize +
      static_cast<std::size_t>(count) * KvMotionPatchEntrySize(m_header.version);
  if (tableEnd > chunk.size())
    return KvFail(at + "the table of " + std::to_string(count) + " patches runs past" + chunkBytes);
  for (int i = 0; i < count; ++i) {
    const std::string patch = at + "patch " + std::to_string(i);
    LONGLONG offset = 0;
    WORD stored = 0;
    KvMotionPatchEntry(chunk, m_header.version, i, offset, stored);
    ByteReader r(chunk);
    if (offset < static_cast<LONGLONG>(tableEnd) || !r.seek(static_cast<std::size_t>(offset)) ||
        r.remaining() < kKvMotionPatchHeaderSize)
      return KvFail(patch + " at byte " + std::to_string(offset) +
                    " lies outside the patch data of" + chunkBytes);
    const int x = r.i16le(), y = r.i16le(), w = r.i16le(), h = r.i16le();
    const std::string shape = " (" + std::to_string(w) + " x " + std::to_string(h) + " at " +
                              std::to_string(x) + ", " + std::to_string(y) + ")";
    if (w <= 0 || h <= 0) return KvFail(patch + shape + " is empty");
    if (x < 0 || y < 0 || x + w > m_info.width || y + h > m_info.height)
      return KvFail(patch + shape + " lies outside the " + std::to_string(m_info.width) + " x " +
                    std::to_string(m_info.height) + " frame");
    const ULONGLONG bytes = kKvMotionPatchHeaderSize + ULONGLONG{4} * static_cast<ULONGLONG>(w) * h;
    if (bytes > chunk.size() - static_cast<std::size_t>(offset))
      return KvFail(patch + shape + " runs past" + chunkBytes);
    if (bytes != stored)
      return KvFail(patch + shape + " takes " + KvGroupDigits(bytes) +
                    " bytes, its table entry says " + KvGroupDigits(stored));
  }
  return 1;
}

void* CKvMotionFileRead::GetMemFC(int frame) {
  if (frame < 0 || static_cast<std::size_t>(frame) >= m_chunks.size()) return nullptr;
  return m_chunks[static_cast<std::size_t>(frame)].first;
}

void CKvMotionFileRead::FreeAllMemFC() {
  for (auto& [chunk, size] : m_chunks) GlobalFree(chunk);
  m_chunks.clear();
}

int CKvMotionFileRead::GetFileInfo(CString path, CRect& rect, WORD& keyInterval, int& frames) {
  rect = CRect();
  keyInterval = 0;
  frames = 0;
  KvClearFailure();
  CKvMotionFileRead reader;
  if (!KvRequireFile(path) || !KvOpenForReading(path, reader)) return 0;
  try {
    FileReader in(reader, kReaderBuffer);
    if (!reader.ReadHeaderAndInfo(in)) return 0;
  } catch (const CException&) {
    return KvFail(kKvCannotRead);
  }
  keyInterval = reader.m_locator.keyInterval;
  const SKvMotionInfo& info = reader.m_info;
  rect = CRect(info.left, info.top, info.left + info.width, info.top + info.height);
  frames = info.frameCount;
  return 1;
}
