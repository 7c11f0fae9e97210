#include "KvMediaFile/KvMovie.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <new>
#include <string>

#include "host/ByteReader.h"
#include "host/Failure.h"
#include "host/FileReader.h"
#include "host/PixelOps.h"
#include "host/RowConversion.h"

IMPLEMENT_DYNCREATE(CKvPlayMovieFlick, CKvPlayMovieBase)

namespace {

constexpr std::size_t kFrameHeaderSize = 16;
constexpr std::size_t kChunkHeaderSize = 6;
// Headers and small chunks come through this buffer; chunk data larger than it is read
// straight into the chunk buffer.
constexpr std::size_t kReaderBuffer = 4096;

enum ChunkType : WORD {
  kPalette256 = 4,
  kWordDelta = 7,
  kPalette64 = 11,
  kByteDelta = 12,
  kBlack = 13,
  kByteRun = 15,
  kCopy = 16,
};

// Writes into one line of the index picture; whatever lies beyond its end is dropped.
struct Line {
  BYTE* pixels;
  int width;
  void Copy(int x, const BYTE* src, int n) const {
    if (x < width) std::memcpy(pixels + x, src, static_cast<std::size_t>(std::min(n, width - x)));
  }
  void Fill(int x, BYTE value, int n) const {
    if (x < width) std::memset(pixels + x, value, static_cast<std::size_t>(std::min(n, width - x)));
  }
  void FillPairs(int x, BYTE first, BYTE second, int pairs) const {
    for (int i = 0; i < 2 * pairs && x + i < width; ++i) pixels[x + i] = i & 1 ? second : first;
  }
};

// What the chunk decoders tell a check; playback passes over all of it.
constexpr const char* kDataEndsEarly = "its data ends early";
constexpr const char* kLinesOutside = "lines lie outside the picture";
constexpr const char* kPastLineEnd = "a packet runs past a line's end";

// Reads the 128 header bytes from the start of the file and checks them.
bool ReadHeaderFrom(CFile& file, SKvFlicHeader& header) {
  FileReader in(file, SKvFlicHeader::kSize);
  std::array<BYTE, SKvFlicHeader::kSize> bytes;
  if (!in.seek(0) || !in.read(bytes.data(), bytes.size())) return KvFail(in.Reason());
  ByteReader r(bytes);
  SKvFlicHeader h;
  h.size = r.u32le();
  h.magic = r.u16le();
  h.frames = r.u16le();
  h.width = r.i16le();
  h.height = r.i16le();
  r.skip(4);  // depth and flags
  h.speed = h.magic == SKvFlicHeader::kFli ? r.u16le() : r.u32le();
  if (h.magic != SKvFlicHeader::kFli && h.magic != SKvFlicHeader::kFlc)
    return KvFail("not a FLIC file (magic)");
  if (h.width < 1) return KvFailf("width %d", h.width);
  if (h.height < 1) return KvFailf("height %d", h.height);
  header = h;
  return true;
}

// What the player keeps for a frame: the index picture (a byte a pixel) and the work block
// (four), and the copy of the frame that its callers take (four more: the picture load, the
// movie API, a background mixed under it). All of it is held to the picture limit before
// anything is allocated, so that a tiny file cannot claim gigabytes.
std::size_t KeptBytes(const CSize& size) {
  return std::size_t{9} * static_cast<std::size_t>(size.cx) * static_cast<std::size_t>(size.cy);
}

}  // namespace

bool KvReadFlicHeader(const CString& path, SKvFlicHeader& header) {
  CFile file;
  return KvOpenForReading(path, file) && ReadHeaderFrom(file, header);
}
CKvPlayMovieFlick::CKvPlayMovieFlick() = default;

CKvPlayMovieFlick::~CKvPlayMovieFlick() { Close(); }

int CKvPlayMovieFlick::GetInfo(CString path, CRect& rect, WORD& word, int& frames) {
  rect = CRect();
  word = 0;
  frames = -1;
  CKvPlayMovieFlick probe;
  if (!probe.OpenForRead(path) || !probe.ReadHeader()) return 0;
  probe.GetFrameSize();
  rect = CRect(CPoint(0, 0), probe.m_sizeFrame);
  frames = probe.m_header.frames;
  return 1;
}

int CKvPlayMovieFlick::Open(CString path, int bLoadToMem) {
  KvClearFailure();
  Close();
  if (!OpenForRead(path) || !ReadHeader()) {
    Close();
    return 0;
  }
  GetFrameSize();
  m_nFrames = m_header.frames;
  m_wKeyInterval = 0;
  if (const std::size_t bytes = KeptBytes(m_sizeFrame); bytes > KvGetMaxPictureBytes()) {
    Close();
    return KvFail("frame too large: " + std::to_string(m_sizeFrame.cx) + " x " +
                  std::to_string(m_sizeFrame.cy) + " needs " + KvGroupDigits(bytes) +
                  " bytes (index picture, work block and a copy of the frame), above the " +
                  KvPictureLimitText() + " picture limit");
  }
  try {
    m_index.assign(static_cast<std::size_t>(m_nFramePixels), 0);
  } catch (const std::bad_alloc&) {
    Close();
    return KvFail("out of memory");
  }
  const int result = CKvPlayMovieBase::Open(path, bLoadToMem);
  m_bLoadToMem = 0;
  if (!result) {
    Close();
    KvFail("out of memory");
  }
  return result;
}

void CKvPlayMovieFlick::Close() {
  CKvPlayMovieBase::Close();
  m_reader.reset();
  m_pFile.reset();
  m_memCopy = std::vector<BYTE>();
  m_index = std::vector<BYTE>();
  m_frameTable.clear();
  m_bPrepared = 0;
  m_nCurFrame = -1;
}

int CKvPlayMovieFlick::Prepare(CKvMemBlock* pBack) {
  KvClearFailure();
  CKvPlayMovieBase::Prepare(pBack);
  m_nCurFrame = -1;
  if (!IsOpen()) return 0;
  if (m_bLoadToMem && m_pFile && !LoadToMemory()) return 0;
  if (!ReadFramePosition()) return 0;
  m_bPrepared = 1;
  return 1;
}

int CKvPlayMovieFlick::OpenForRead(const wchar_t* path) {
  if (IsOpen()) Close();
  auto file = std::make_unique<CFile>();
  if (!KvOpenForReading(path, *file)) return 0;
  m_pFile = std::move(file);
  return 1;
}

int CKvPlayMovieFlick::ReadHeader() { return m_pFile && ReadHeaderFrom(*m_pFile, m_header); }

void CKvPlayMovieFlick::GetFrameSize() {
  m_sizeFrame = m_header.FrameSize();
  m_nFramePixels = m_sizeFrame.cx * m_sizeFrame.cy;
  // An FLI plays 200 lines whatever its header says: a header of 480 must not take the
  // decoders below them.
  m_nLines = std::min<int>(m_header.height, m_sizeFrame.cy);
}

std::span<const BYTE> CKvPlayMovieFlick::ReadAt(ULONGLONG pos, std::size_t n) {
  if (!m_memCopy.empty()) {
    ByteReader in(m_memCopy);
    if (pos > m_memCopy.size() || !in.seek(static_cast<std::size_t>(pos))) return {};
    return in.bytes(std::min(n, in.remaining()));
  }
  if (!m_pFile) return {};
  // A failed read leaves the reader failed for good; the next read starts a fresh one.
  if (!m_reader || !m_reader->ok())
    m_reader = std::make_unique<FileReader>(*m_pFile, kReaderBuffer);
  if (!m_reader->seek(pos)) return {};
  n = static_cast<std::size_t>(std::min<ULONGLONG>(n, m_reader->remaining()));
  try {
    if (m_readBuffer.size() < n) m_readBuffer.resize(n);
  } catch (const std::bad_alloc&) {
    return {};  // the chunk then decodes nothing
  }
  if (!m_reader->read(m_readBuffer.data(), n)) return {};
  return {m_readBuffer.data(), n};
}

bool CKvPlayMovieFlick::ReadFrameHeader(ULONGLONG pos, FrameHeader& header) {
  // A header cut short by the end of the file is no frame; its type is not looked at.
  ByteReader in(ReadAt(pos, kFrameHeaderSize));
  header.size = in.u32le();
  header.type = in.u16le();
  header.chunks = in.i16le();
  if (!in.skip(8)) return false;
  if (header.type != kFrameType && header.type != kPrefixType) {
    char reason[80];
    std::snprintf(reason, sizeof reason, "unknown FLIC frame type 0x%04X at byte %s",
                  unsigned{header.type}, KvGroupDigits(pos).c_str());
    KvSetFailure(reason);
    throw CFileException(kKvFlicBadFrameCause, -1, m_strFileName);
  }
  return true;
}

int CKvPlayMovieFlick::ReadFramePosition() {
  if (!IsOpen()) return 0;
  m_nFrames = m_header.frames;
  if (m_nFrames < 1) return KvFail("no frames");
  // Rebuilt from the first frame on every Prepare, so that a second Prepare finds the same
  // table. Frame k lies behind frame k - 1 by that frame's size. The movie ends at a frame
  // whose header the file cuts or whose size is below its header's: the frames the header
  // counts beyond it are not there, and the frame count becomes the frames found (a size of
  // 0 would otherwise make every later frame the same one).
  m_reader.reset();
  m_frameTable.clear();
  ULONGLONG pos = SKvFlicHeader::kSize;
  for (int i = 0; i < m_nFrames; ++i) {
    FrameHeader header;
    if (!ReadFrameHeader(pos, header)) {
      // A movie that ends before its first frame has nothing to play.
      if (i == 0) return KvFail("truncated: the file ends before the first frame");
      break;
    }
    if (header.size < kFrameHeaderSize) {
      if (i == 0)
        return KvFailf("frame 0 at byte %s is %u bytes, shorter than its header",
                       KvGroupDigits(pos).c_str(), unsigned{header.size});
      break;
    }
    m_frameTable.push_back(pos);
    pos += header.size;
  }
  m_nFrames = static_cast<int>(m_frameTable.size());
  return 1;
}

bool CKvPlayMovieFlick::LoadToMemory() {
  // The file's real length, not its header's size field: a field that covers fewer frames
  // than the file holds must not change what plays. A file without a frame is refused by the
  // frame table as in file mode. A copy that does not fit the picture limit beside the
  // frame's own buffers plays from the file instead.
  const ULONGLONG length = m_pFile->GetLength();
  if (length <= SKvFlicHeader::kSize) return true;
  const std::size_t kept = KeptBytes(m_sizeFrame), limit = KvGetMaxPictureBytes();
  if (kept > limit || length > limit - kept) return true;
  std::vector<BYTE> copy;
  try {
    copy.resize(static_cast<std::size_t>(length));
  } catch (const std::bad_alloc&) {
    return true;
  }
  FileReader in(*m_pFile, kReaderBuffer);
  if (!in.seek(0) || !in.read(copy.data(), copy.size())) return KvFail(in.Reason());
  m_memCopy = std::move(copy);
  m_reader.reset();
  m_pFile.reset();
  return true;
}

int CKvPlayMovieFlick::FrameAtTime(float t) const {
  // Frame k starts at k / frames as callers compute it, in float: the frame is the largest k
  // whose float(k) / float(frames) does not pass t. So t = i / frames gives frame i even where
  // the product falls a hair below i, and a t just below 1 (0.99999994f) the last frame, not
  // the next pass. The product is exact in double, so k moves by one at most. Negative times
  // truncate toward zero (and decode nothing), NaN is 0, and times beyond any frame count are
  // held to a range that truncates safely.
  if (std::isnan(t)) return 0;
  const double product = std::clamp(static_cast<double>(m_nFrames) * t, -2e9, 2e9);
  long long k = static_cast<long long>(product);
  if (t > 0 && product < 2e9) {
    const auto start = [&](long long f) {
      return static_cast<float>(f) / static_cast<float>(m_nFrames);
    };
    if (start(k + 1) <= t)
      ++k;
    else if (k > 0 && start(k) > t)
      --k;
  }
  return static_cast<int>(k % m_nFrames);
}

int CKvPlayMovieFlick::GetOneFrame(float t) {
  if (!IsOpen()) return 0;
  if (m_nFrames < 1 || m_frameTable.size() != static_cast<std::size_t>(m_nFrames)) return 0;
  const int n = FrameAtTime(t);
  if (n == m_nCurFrame) return 1;
  // A fresh reader for each call: a file that changed or grew since is read as it is now.
  m_reader.reset();
  const int held = m_nCurFrame;
  m_nCurFrame = n;
  // The held frame is not decoded again: every chunk writes absolute values, so that would
  // change nothing. A step back (or a negative time before) replays from frame 0.
  const int start = n < held ? 0 : std::max(0, held + 1);
  if (start > n) return 1;
  if (start == 0) {
    // From a clean picture and palette, so that a frame looks the same whatever was played
    // before it.
    std::fill(m_index.begin(), m_index.end(), BYTE{0});
    m_palette.fill(0);
  }
  bool painted = false;
  for (int k = start; k <= n; ++k) {
    try {
      const int decoded = DecodeFrame(k);
      if (decoded < 0) break;  // the file ends inside this frame's header
      painted = decoded > 0 || painted;
    } catch (const CFileException&) {
      m_nCurFrame = k - 1;
      if (painted) PaintPalette();
      throw;
    }
  }
  if (painted) PaintPalette();
  return 1;
}

int CKvPlayMovieFlick::DecodeFrame(int frame, std::string* damage) {
  const ULONGLONG pos = m_frameTable[static_cast<std::size_t>(frame)];
  FrameHeader header;
  if (!ReadFrameHeader(pos, header)) return -1;
  if (header.type == kPrefixType) return 0;
  const ULONGLONG end = pos + header.size;
  ULONGLONG at = pos + kFrameHeaderSize;
  const auto note = [&](int c, const char* why) {
    if (damage && why && damage->empty())
      *damage = "chunk " + std::to_string(c) + " at byte " + KvGroupDigits(at) + ": " + why;
  };
  for (int c = 0; c < header.chunks; ++c) {
    ByteReader in(ReadAt(at, kChunkHeaderSize));
    const DWORD size = in.u32le();
    const WORD type = in.u16le();
    // A chunk cut short, smaller than its header or reaching beyond its frame ends the frame.
    if (!in.ok() || size < kChunkHeaderSize || at > end || size > end - at) {
      note(c, in.ok() && size < kChunkHeaderSize ? "shorter than its header"
                                                 : "runs past the end of its frame");
      break;
    }
    const std::size_t length = size - kChunkHeaderSize;
    switch (type) {
      case kPalette256:
      case kPalette64:
        // The palette's length is the low 16 bits of the data's.
        note(c, ChangePalette(type == kPalette256, ReadAt(at + kChunkHeaderSize, length & 0xFFFF)));
        break;
      case kWordDelta:
        note(c, DecodeELC_ToFrame(ReadAt(at + kChunkHeaderSize, length)));
        break;
      case kByteDelta:
        note(c, DecodeLC_ToFrame(ReadAt(at + kChunkHeaderSize, length)));
        break;
      case kBlack:
        BlackToFrame();
        break;
      case kByteRun:
        note(c, DecodeBRUN_ToFrame(ReadAt(at + kChunkHeaderSize, length)));
        break;
      case kCopy:
        note(c, CopyToFrame(ReadAt(at + kChunkHeaderSize, length)));
        break;
      default:
        break;
    }
    at += size;
  }
  return 1;
}

int CKvPlayMovieFlick::CheckFrames() {
  KvClearFailure();
  if (!IsOpen()) return KvFail("no movie is open");
  // The header's count, not the frames a Prepare found: a check reports those missing.
  const int counted = m_header.frames;
  if (counted < 1) return KvFail("the header counts no frames");
  try {
    const ULONGLONG length = m_memCopy.empty() ? m_pFile->GetLength() : m_memCopy.size();
    if (length < m_header.size)
      return KvFail("truncated: " + KvGroupDigits(length) + " of " + KvGroupDigits(m_header.size) +
                    " bytes");
    // Every counted frame whole in the file, found by walking their sizes as playback does.
    std::vector<ULONGLONG> table;
    ULONGLONG pos = SKvFlicHeader::kSize;
    for (int i = 0; i < counted; ++i) {
      FrameHeader header;
      if (!ReadFrameHeader(pos, header) || header.size > length - pos)
        return KvFail("the header counts " + KvGroupDigits(counted) + " frames, the file holds " +
                      KvGroupDigits(static_cast<ULONGLONG>(i)));
      if (header.size < kFrameHeaderSize)
        return KvFailf("frame %d at byte %s is %u bytes, shorter than its header", i,
                       KvGroupDigits(pos).c_str(), unsigned{header.size});
      table.push_back(pos);
      pos += header.size;
    }
    m_frameTable = std::move(table);
    m_nFrames = counted;
    m_reader.reset();
    std::fill(m_index.begin(), m_index.end(), BYTE{0});
    m_palette.fill(0);
    m_nCurFrame = -1;  // the next frame played starts afresh
    m_bPrepared = 1;
    for (int k = 0; k < counted; ++k) {
      std::string damage;
      DecodeFrame(k, &damage);
      if (!damage.empty()) return KvFail("frame " + std::to_string(k) + ": " + damage);
    }
  } catch (const CFileException&) {
    return 0;  // an unknown frame type, with its reason recorded
  } catch (const CException&) {
    return KvFail(kKvCannotRead);
  } catch (const std::bad_alloc&) {
    return KvFail("out of memory");
  }
  return 1;
}

// In every decoder a packet whose data the chunk does not hold ends the chunk, and writes
// beyond the picture's lines or a line's end are dropped.

const char* CKvPlayMovieFlick::ChangePalette(int b8Bit, std::span<const BYTE> data) {
  ByteReader in(data);
  const int packets = in.u16le();
  if (!in.ok()) return kDataEndsEarly;
  const char* damage = nullptr;
  int entry = 0;
  for (int p = 0; p < packets; ++p) {
    entry += in.u8();
    const BYTE count = in.u8();
    const int n = count ? count : 256;
    const std::span<const BYTE> rgb = in.bytes(3 * static_cast<std::size_t>(n));
    if (rgb.empty()) return damage ? damage : kDataEndsEarly;
    // Entries beyond 255 are dropped.
    if (entry + n > 256 && !damage) damage = "palette entries beyond 255";
    for (int i = 0; i < n && entry + i < 256; ++i)
      for (int c = 0; c < 3; ++c) {
        const BYTE v = rgb[3 * static_cast<std::size_t>(i) + c];
        m_palette[3 * static_cast<std::size_t>(entry + i) + c] =
            b8Bit ? v : static_cast<BYTE>(v << 2);
      }
    entry += n;
  }
  return damage;
}

const char* CKvPlayMovieFlick::DecodeLC_ToFrame(std::span<const BYTE> data) {
  ByteReader in(data);
  int y = in.i16le();
  const int lines = in.i16le();
  if (!in.ok()) return kDataEndsEarly;
  // A first line above the picture would write outside it: the chunk is not decoded.
  if (y < 0) return kLinesOutside;
  if (lines < 1) return nullptr;
  const int width = m_sizeFrame.cx;
  const char* damage = nullptr;
  int i = 0;
  for (; i < lines && y < m_nLines; ++i, ++y) {
    const Line line{m_index.data() + m_blockWork.GetLineOffset(y), width};
    const int packets = in.u8();
    int x = 0;
    for (int p = 0; p < packets; ++p) {
      x += in.u8();
      const int size = static_cast<signed char>(in.u8());
      if (size > 0) {
        const std::span<const BYTE> run = in.bytes(static_cast<std::size_t>(size));
        if (run.empty()) return damage ? damage : kDataEndsEarly;
        line.Copy(x, run.data(), size);
        x += size;
      } else {
        const BYTE value = in.u8();
        if (!in.ok()) return damage ? damage : kDataEndsEarly;
        line.Fill(x, value, -size);
        x -= size;
      }
      if (x > width && !damage) damage = kPastLineEnd;
    }
    if (!in.ok()) return damage ? damage : kDataEndsEarly;
  }
  return damage || i == lines ? damage : kLinesOutside;
}

const char* CKvPlayMovieFlick::DecodeBRUN_ToFrame(std::span<const BYTE> data) {
  // The picture is written as one run from its first byte: the packets of a line that
  // write more or less than its width move the lines after it.
  ByteReader in(data);
  const Line picture{m_index.data(), m_nFramePixels};
  const char* damage = nullptr;
  int x = 0;
  for (int y = 0; y < m_nLines && x < m_nFramePixels; ++y) {
    const int lineStart = x;
    const int packets = in.u8();
    for (int p = 0; p < packets; ++p) {
      const int count = static_cast<signed char>(in.u8());
      if (count > 0) {
        const BYTE value = in.u8();
        if (!in.ok()) return damage ? damage : kDataEndsEarly;
        picture.Fill(x, value, count);
        x += count;
      } else {
        const std::span<const BYTE> run = in.bytes(static_cast<std::size_t>(-count));
        if (!in.ok()) return damage ? damage : kDataEndsEarly;
        if (count) picture.Copy(x, run.data(), -count);
        x -= count;
      }
    }
    if (!in.ok()) return damage ? damage : kDataEndsEarly;
    if (x - lineStart != m_sizeFrame.cx && !damage) damage = "a line's runs do not fill its width";
  }
  return damage;
}

const char* CKvPlayMovieFlick::DecodeELC_ToFrame(std::span<const BYTE> data) {
  ByteReader in(data);
  int lines = in.i16le();
  if (!in.ok()) return kDataEndsEarly;
  const int width = m_sizeFrame.cx;
  const char* damage = nullptr;
  int y = 0;
  while (lines > 0 && y < m_nLines) {
    const int word = in.i16le();
    if (!in.ok()) return damage ? damage : kDataEndsEarly;
    if ((word & 0xC000) == 0xC000) {
      y -= word;  // a skip of -word lines
      continue;
    }
    BYTE* const row = m_index.data() + m_blockWork.GetLineOffset(y);
    if ((word & 0xC000) == 0x8000) {
      // The last pixel of a line of odd width; it does not end the line.
      row[width - 1] = static_cast<BYTE>(word);
      continue;
    }
    const Line line{row, width};
    int x = 0;
    for (int p = 0; p < word; ++p) {
      x += in.u8();
      const int count = static_cast<signed char>(in.u8());
      if (count >= 0) {
        const std::span<const BYTE> run = in.bytes(2 * static_cast<std::size_t>(count));
        if (!in.ok()) return damage ? damage : kDataEndsEarly;
        if (count) line.Copy(x, run.data(), 2 * count);
        x += 2 * count;
      } else {
        const BYTE first = in.u8(), second = in.u8();
        if (!in.ok()) return damage ? damage : kDataEndsEarly;
        line.FillPairs(x, first, second, -count);
        x -= 2 * count;
      }
      // A pair may run one pixel past an odd width.
      if (x > width + 1 && !damage) damage = kPastLineEnd;
    }
    if (!in.ok()) return damage ? damage : kDataEndsEarly;
    --lines;
    ++y;
  }
  return damage || lines <= 0 ? damage : kLinesOutside;
}

void CKvPlayMovieFlick::BlackToFrame() { std::fill(m_index.begin(), m_index.end(), BYTE{0}); }

const char* CKvPlayMovieFlick::CopyToFrame(std::span<const BYTE> data) {
  std::memcpy(m_index.data(), data.data(), std::min(data.size(), m_index.size()));
  return data.size() < m_index.size() ? "the copy holds fewer bytes than the picture" : nullptr;
}

void CKvPlayMovieFlick::PaintPalette() {
  if (!m_blockWork.IsValid()) return;
  // Index 0 is transparent whatever colour the palette gives it.
  std::array<DWORD, 256> colours;
  KvConvertRow(RawPixel::Rgb24, m_palette.data(), colours.data(), colours.size(), 255);
  colours[0] = 0;
  auto* work = reinterpret_cast<DWORD*>(m_blockWork.GetAddress());
  if (m_nMixMode != 0 && m_nMixMode != 1) {
    KvConvertRow(RawPixel::Index8, m_index.data(), work, m_index.size(), 255, colours.data(),
                 colours.size());
    return;
  }
  // Where the background does not reach, the frame lies over transparency.
  const CRect area(m_ptPaste, m_sizeFrame);
  if (!m_pBackBlock || !m_pBackBlock->IsValid() || (m_pBackBlock->GetRect() & area) != area)
    m_blockWork.ClearBlock(nullptr, CKvColor32(0, 0, 0, 0));
  if (m_pBackBlock) m_blockWork.Copy(0, 0, m_pBackBlock, area, KV_MIX_COPY);
  // Frame and work block have the same layout, so the frame is mixed in pieces small
  // enough for the cache, whatever its width.
  std::array<DWORD, 512> piece;
  for (std::size_t at = 0; at < m_index.size(); at += piece.size()) {
    const std::size_t n = std::min(piece.size(), m_index.size() - at);
    KvConvertRow(RawPixel::Index8, m_index.data() + at, piece.data(), n, 255, colours.data(),
                 colours.size());
    auto* dst = reinterpret_cast<tagCOLOR32*>(work + at);
    const auto* src = reinterpret_cast<const tagCOLOR32*>(piece.data());
    if (m_nMixMode == 0)
      KvMixRowOver(dst, src, n);
    else
      KvMixRowUnder(dst, src, n);
  }
}
