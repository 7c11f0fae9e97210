#include "picture/GifDecoder.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <memory>
#include <span>
#include <utility>

#include "KvMediaFile/KvPicture.h"
#include "host/Failure.h"
#include "host/FileName.h"
#include "host/FileReader.h"
#include "host/RowConversion.h"
#include "picture/CodecEntry.h"
#include "picture/PictureBuffer.h"
#include "platform/GlobalMemory.h"

namespace {

// The file's read-ahead. Small: a title of 1920 x 1080 compresses to a few tens of kilobytes,
// and a load is to take less working memory than the file; the code table takes 16 KiB.
constexpr std::size_t kReadAheadBytes = 1024;
constexpr std::size_t kHeaderBytes = 13;
constexpr std::size_t kDescriptorBytes = 9;
constexpr int kMaxCodeBits = 12;
constexpr int kTableEntries = 1 << kMaxCodeBits;
// The narrowest code: minimum code size 2, plus one.
constexpr int kMinCodeBits = 3;

using Palette = std::array<DWORD, 256>;

// A code's string: its prefix's string, then its suffix index; and its length, so that a
// string is walked once, to write it. In one word (prefix in bits 0-11, suffix in 12-19,
// length in 20-31: up to 4,094 in a table of 4,096 entries), so that a step down a chain is
// one load. A root code of 8 bits or more keeps its low 8 bits as the suffix.
using LzwEntry = std::uint32_t;
constexpr unsigned PrefixOf(LzwEntry e) { return e & 0xFFF; }
constexpr unsigned SuffixOf(LzwEntry e) { return e >> 12 & 0xFF; }
constexpr unsigned LengthOf(LzwEntry e) { return e >> 20; }
constexpr LzwEntry MakeEntry(unsigned prefix, unsigned suffix, unsigned length) {
  return (prefix & 0xFFF) | (suffix & 0xFF) << 12 | std::min(length, 4095u) << 20;
}

// Codes packed least significant bit first across the data sub-blocks. The data ends at an
// empty sub-block or at the end of the file.
class CodeReader {
 public:
  explicit CodeReader(FileReader& in) : m_in(in) {}

  // The next code of `bits` bits, or -1 when the data ends first.
  int Next(int bits) {
    if (m_count < bits) {
      Fill();
      if (m_count < bits) return -1;
    }
    const int code = static_cast<int>(m_bits & ((1u << bits) - 1));
    m_bits >>= bits;
    m_count -= bits;
    return code;
  }

  // After the end code: skips what is left of the data up to its empty sub-block. False
  // when the file ends first.
  bool SkipToTerminator() {
    if (m_ended) return m_terminated;
    for (;;) {
      const BYTE n = m_in.u8();
      if (!m_in.ok()) return false;
      if (n == 0) return true;
      if (!m_in.skip(n)) return false;
    }
  }

 private:
  // Tops the bit buffer up to more than 56 bits, or as far as the data goes. A sub-block is
  // read whole into `m_block` (as far as the file holds it), so that codes are taken from
  // memory here.
  void Fill() {
    while (m_count <= 56) {
      if (m_next == m_end) {
        if (m_ended || !NextBlock()) return;
      }
      m_bits |= static_cast<std::uint64_t>(*m_next++) << m_count;
      m_count += 8;
    }
  }

  bool NextBlock() {
    if (m_cut) {  // the file ended inside the last sub-block
      m_ended = true;
      return false;
    }
    const BYTE n = m_in.u8();
    if (!m_in.ok() || n == 0) {
      m_ended = true;
      m_terminated = m_in.ok();
      return false;
    }
    const auto got = static_cast<std::size_t>(std::min<ULONGLONG>(n, m_in.remaining()));
    m_in.read(m_block.data(), got);
    m_cut = got < n;
    m_next = m_block.data();
    m_end = m_next + got;
    if (got == 0) {
      m_ended = true;
      return false;
    }
    return true;
  }

  FileReader& m_in;
  std::uint64_t m_bits = 0;
  int m_count = 0;
  std::array<BYTE, 255> m_block{};
  const BYTE* m_next = nullptr;
  const BYTE* m_end = nullptr;
  bool m_cut = false;
  bool m_ended = false;
  bool m_terminated = false;  // the data ended with its empty sub-block
};

// Writes decoded indices into the picture as palette colours. Positions count pixels in the
// order the rows are stored; an interlaced image stores them in four passes (every 8th row
// from 0, every 8th from 4, every 4th from 2, every 2nd from 1). Indices beyond the last row
// are dropped, and a row the data does not complete is left transparent black.
class PixelWriter {
 public:
  PixelWriter(PictureBuffer& picture, const Palette& palette, bool interlaced)
      : m_picture(picture),
        m_palette(palette),
        m_width(picture.width()),
        m_height(picture.height()),
        m_total(static_cast<long long>(m_width) * m_height),
        m_interlaced(interlaced) {}

  bool full() const { return m_pos >= m_total; }

  // Writes a string of `length` indices given back to front: `tail` when it is not negative,
  // then the suffixes along the chain from `code` down to its root, which it returns.
  int PutString(int code, int length, int tail, const LzwEntry* table, int firstFree) {
    // The common case, inline: the string lies within the current row.
    if (m_pos + length <= m_total && m_column + length <= m_width) {
      DWORD* __restrict p = m_rowStart + m_column + length - 1;
      const DWORD* __restrict palette = m_palette.data();
      m_pos += length;
      // The picture is far larger than the caches: its lines are asked for ahead of the writes
      // (by address: the line may lie past the picture's end, where a prefetch is harmless).
      __builtin_prefetch(reinterpret_cast<const void*>(reinterpret_cast<std::uintptr_t>(p) + 256),
                         1);
      if ((m_column += length) == m_width) NextRow(m_pos / m_width);
      if (tail >= 0) *p-- = palette[tail & 0xFF];
      // The walk is counted by the length rather than ended by the root, so that the loop's
      // end does not wait for the table's loads.
      auto at = static_cast<unsigned>(code);
      for (int n = length - (tail >= 0 ? 2 : 1); n > 0; --n, --p) {
        const LzwEntry e = table[at];
        *p = palette[SuffixOf(e)];
        at = PrefixOf(e);
      }
      *p = palette[at & 0xFF];
      return static_cast<int>(at);
    }
    return PutStringAcross(code, length, tail, table, firstFree);
  }

  // Clears the rows the data did not complete: the picture is not cleared beforehand.
  void ClearUnfinishedRows() {
    for (long long row = full() ? m_height : m_pos / m_width; row < m_height; ++row)
      std::fill_n(Row(row), m_width, DWORD{0});
  }

 private:
  // A string across rows, or past the last one.
  [[gnu::noinline]] int PutStringAcross(int code, int length, int tail, const LzwEntry* table,
                                        int firstFree) {
    const long long first = m_pos;
    long long at = first + length - 1;
    m_pos += length;
    if (m_pos < m_total) {
      NextRow(m_pos / m_width);
      m_column = static_cast<int>(m_pos % m_width);
    }
    auto next = [&] {
      if (tail >= 0) return std::exchange(tail, -1);
      if (code < firstFree) return code;
      const int index = static_cast<int>(SuffixOf(table[code]));
      code = static_cast<int>(PrefixOf(table[code]));
      return index;
    };
    for (; at >= m_total; --at) next();
    if (at >= first) {
      long long row = at / m_width;
      int x = static_cast<int>(at % m_width);
      DWORD* out = Row(row);
      for (;;) {
        out[x] = m_palette[next() & 0xFF];
        if (at-- == first) break;
        if (x-- == 0) {
          x = m_width - 1;
          out = Row(--row);
        }
      }
    }
    while (code >= firstFree) code = static_cast<int>(PrefixOf(table[code]));
    return code;
  }

  DWORD* Row(long long stored) const { return m_picture.row(m_interlaced ? Pass(stored) : stored); }
  void NextRow(long long stored) {
    m_column = 0;
    if (stored < m_height) m_rowStart = Row(stored);
  }

  // The picture row of the `stored`-th row of an interlaced image.
  long long Pass(long long stored) const {
    const long long h = m_height, rows0 = (h + 7) / 8, rows1 = (h + 3) / 8, rows2 = (h + 1) / 4;
    if (stored < rows0) return 8 * stored;
    stored -= rows0;
    if (stored < rows1) return 8 * stored + 4;
    stored -= rows1;
    if (stored < rows2) return 4 * stored + 2;
    return 2 * (stored - rows2) + 1;
  }

  PictureBuffer& m_picture;
  const Palette& m_palette;
  int m_width;
  int m_height;
  long long m_total;
  bool m_interlaced;
  long long m_pos = 0;
  // Where m_pos stands: its stored row's pixels, and the column in it.
  DWORD* m_rowStart = Row(0);
  int m_column = 0;
};

// The variable-width LZW decoder. A code above the next free slot is counted and decoded as
// if it were that slot; at 12 bits the table stops growing until the next clear code.
// Indices are bytes: with a minimum code size of 9 a root code keeps its low 8 bits.
void DecodeLzw(CodeReader& codes, int minCodeSize, PixelWriter& out, GifDecodeNotes& notes) {
  auto table = std::make_unique<std::array<LzwEntry, kTableEntries>>();  // zeroed
  LzwEntry* entries = table->data();
  const int clear = 1 << minCodeSize, end = clear + 1, firstFree = clear + 2;
  int codeSize = minCodeSize + 1, slot = firstFree, slotLimit = 1 << (minCodeSize + 1);
  int oldCode = 0, firstChar = 0;
  const auto lengthOf = [&](int code) {
    return code < firstFree ? 1 : static_cast<int>(LengthOf(entries[code]));
  };
  // The data ends at the end code, or where it runs out (-1); the notes say which.
  const auto ends = [end](int code) { return code < 0 || code == end; };
  const auto note = [&](int code) {
    notes.endCode = code == end;
    notes.dataEnded = code < 0;
  };
  bool exact = true;  // no code so far was above the free slot
  while (!out.full()) {
    int code = codes.Next(codeSize);
    if (ends(code)) {
      note(code);
      break;
    }
    if (code == clear) {
      codeSize = minCodeSize + 1;
      slot = firstFree;
      slotLimit = 1 << (minCodeSize + 1);
      do code = codes.Next(codeSize);
      while (code == clear);
      if (ends(code)) {
        note(code);
        break;
      }
      if (code >= slot) code = 0;
      oldCode = firstChar = code;
      out.PutString(code, 1, -1, entries, firstFree);
      continue;
    }
    const int read = code;
    int tail = -1;
    if (code >= slot) {
      if (code > slot) {
        ++notes.badCodes;
        exact = false;
      }
      tail = firstChar;
      code = oldCode;
    }
    // The string's length. Once a code has been above the free slot, strings may reach stale
    // entries, which may form a loop: they are measured by walking them, and a string
    // longer than the table ends the data.
    int length = tail >= 0 ? 1 : 0;
    if (exact) {
      length += lengthOf(code);
    } else {
      ++length;
      for (int c = code; c >= firstFree; c = static_cast<int>(PrefixOf(entries[c])))
        if (++length > kTableEntries) {
          out.ClearUnfinishedRows();
          return;
        }
    }
    const int root = out.PutString(code, length, tail, entries, firstFree);
    if (slot < slotLimit) {
      firstChar = root;
      entries[slot] = MakeEntry(static_cast<unsigned>(oldCode), static_cast<unsigned>(root),
                                static_cast<unsigned>(lengthOf(oldCode) + 1));
      ++slot;
      oldCode = read;
    }
    if (slot >= slotLimit && codeSize < kMaxCodeBits) {
      slotLimit <<= 1;
      ++codeSize;
    }
  }
  out.ClearUnfinishedRows();
  if (out.full()) {
    // The last row is written: the end code should follow (clear codes may come first).
    int code;
    do code = codes.Next(codeSize);
    while (code == clear);
    note(code);
  }
}

bool ScanToTrailer(FileReader& in);

DWORD* DecodeImage(FileReader& in, int width, int height, bool interlaced, const Palette& palette,
                   GifDecodeNotes& notes, bool lookForTrailer) {
  const ULONGLONG pixels = static_cast<ULONGLONG>(width) * static_cast<ULONGLONG>(height);
  if (pixels == 0) {
    KvRefusePictureSize(width, height);
    return nullptr;
  }
  // Every code takes at least three bits and gives at most a table's worth of indices: a
  // file too short to hold the image even so is refused before anything is allocated.
  const ULONGLONG maxCodes = in.remaining() * 8 / kMinCodeBits + 1;
  if ((pixels - 1) / kTableEntries >= maxCodes) {
    KvFailf("GIF data of %s bytes cannot hold %d x %d pixels",
            KvGroupDigits(in.remaining()).c_str(), width, height);
    return nullptr;
  }
  // Rows the data does not complete are cleared after the decode.
  PictureBuffer picture = PictureBuffer::Allocate(width, height, false);
  if (!picture) return nullptr;
  const BYTE minCodeSize = in.u8();
  if (!in.ok()) {
    KvFail(in.Reason());
    return nullptr;
  }
  if (minCodeSize < 2 || minCodeSize > 9) {
    KvFailf("GIF minimum code size %d (2 to 9)", minCodeSize);
    return nullptr;
  }
  CodeReader codes(in);
  PixelWriter out(picture, palette, interlaced);
  DecodeLzw(codes, minCodeSize, out, notes);
  notes.allRows = out.full();
  // Codes after the last row other than the end code are passed over, as decoders do.
  if (lookForTrailer && !notes.dataEnded && codes.SkipToTerminator())
    notes.trailer = ScanToTrailer(in);
  return picture.Release();
}

// Skips sub-blocks up to the empty one; false when the file ends first.
bool SkipSubBlocks(FileReader& in) {
  for (;;) {
    const BYTE count = in.u8();
    if (!in.ok()) return false;
    if (count == 0) return true;
    if (!in.skip(count)) return false;
  }
}

// Skips an extension after its introducer. False when the block scan must end: the file
// ends, or a graphic control block is longer than its 4 bytes.
bool SkipExtension(FileReader& in) {
  const BYTE label = in.u8();
  if (label == 0xF9) {
    const BYTE size = in.u8();
    if (size > 4) return KvFailf("GIF graphic control block of %d bytes", size);
    in.skip(size);
  }
  return SkipSubBlocks(in);
}

// Walks the blocks after an image's data up to the trailer, skipping extensions and further
// images whole. False when the file ends first or a block is not known.
bool ScanToTrailer(FileReader& in) {
  for (;;) {
    const BYTE introducer = in.u8();
    if (!in.ok()) return false;
    if (introducer == ';') return true;
    if (introducer == '!') {
      if (!SkipExtension(in)) return false;
      continue;
    }
    if (introducer != ',')
      return KvFailf("GIF block 0x%02X after the image is not known", introducer);
    in.skip(8);  // placement and size
    const BYTE flags = in.u8();
    if (flags & 0x80) in.skip(3 * (std::size_t{2} << (flags & 7)));
    in.skip(1);  // minimum code size
    if (!SkipSubBlocks(in)) return false;
  }
}

// Palette entries of a colour table (every one opaque), or the grey ramp of a file without
// any table. Indices beyond a table give opaque black.
Palette MakePalette(const BYTE* table, int entries) {
  Palette palette;
  if (entries == 0) {
    for (DWORD i = 0; i < palette.size(); ++i) palette[i] = 0xFF000000u | i * 0x010101u;
    return palette;
  }
  palette.fill(0xFF000000u);
  KvConvertRow(RawPixel::Rgb24, table, palette.data(), static_cast<std::size_t>(entries), 255);
  return palette;
}

}  // namespace

DWORD* KvDecodeGif(CFile& file, CRect& rect, GifDecodeNotes* notes) {
  GifDecodeNotes ignored;
  GifDecodeNotes& note = notes ? *notes : ignored;
  return KvGuarded([&]() -> DWORD* {
    file.SeekToBegin();
    FileReader in(file, kReadAheadBytes);
    const auto ended = [&in] {
      KvFail(in.Reason());
      return nullptr;
    };
    std::array<BYTE, kHeaderBytes> header{};
    if (!in.read(header.data(), header.size())) return ended();
    if (std::memcmp(header.data(), "GIF8", 4) != 0) {
      KvFail("not a GIF file (signature)");
      return nullptr;
    }
    // A local table is read into the same place as the global one.
    std::array<BYTE, 3 * 256> table{};
    int entries = 0;
    const BYTE screenFlags = header[10];
    if (screenFlags & 0x80) {
      entries = 2 << (screenFlags & 7);
      if (!in.read(table.data(), 3 * static_cast<std::size_t>(entries))) return ended();
    }
    for (;;) {
      const BYTE introducer = in.u8();
      if (!in.ok()) return ended();
      if (introducer == '!') {
        if (!SkipExtension(in)) return ended();
        continue;
      }
      if (introducer != ',') {
        if (introducer == ';')
          KvFail("GIF holds no image");
        else
          KvFailf("GIF block 0x%02X is not known", introducer);
        return nullptr;
      }
      if (in.remaining() < kDescriptorBytes) in.fail(kDescriptorBytes);  // told whole
      in.skip(4);  // left and top are not used
      const int width = in.u16le(), height = in.u16le();
      const BYTE flags = in.u8();
      if (!in.ok()) return ended();
      rect = CRect(0, 0, width, height);
      if (flags & 0x80) {
        entries = 2 << (flags & 7);
        if (!in.read(table.data(), 3 * static_cast<std::size_t>(entries))) return ended();
      }
      // The first image is the picture: the scan ends here.
      return DecodeImage(in, width, height, (flags & 0x40) != 0, MakePalette(table.data(), entries),
                         note, notes != nullptr);
    }
  });
}

DWORD* KvMediaLoadGIFFile(CString path, CRect& rect) {
  KvClearFailure();
  CFile file;
  return KvOpenForReading(path, file) ? KvDecodeGif(file, rect) : nullptr;
}

int KvGifCheckFile(const CString& path) {
  KvClearFailure();
  CFile file;
  if (!KvOpenForReading(path, file)) return 0;
  CRect rect;
  GifDecodeNotes notes;
  KvGlobalPtr picture(KvDecodeGif(file, rect, &notes));
  if (!picture) return 0;
  // Codes beyond the table come first: they are what a damaged stream shows before it ends.
  if (notes.badCodes)
    return KvFailf("%d %s beyond the table", notes.badCodes,
                   notes.badCodes == 1 ? "code refers to an entry" : "codes refer to entries");
  if (notes.dataEnded) return KvFail("the data ends before the end code");
  if (!notes.allRows)
    return KvFail(notes.endCode ? "the end code comes before the last row"
                                : "a code refers to a string longer than the table");
  if (!notes.trailer) return KvFail("the file ends before its trailer");
  return 1;
}

namespace {

// The logical screen, as picture information reads it from the first 14 bytes.
struct GifScreen {
  WORD width = 0, height = 0;
  int bits = 0;  // (packed AND 7) + 1: the colour-table size, also without a table
};

bool ReadScreen(const CString& path, GifScreen& screen) {
  return KvGuarded([&] {
    CFile file;
    if (!KvOpenForReading(path, file)) return false;
    FileReader in(file, 16);
    BYTE signature[6] = {};
    in.read(signature, sizeof signature);
    const WORD width = in.u16le(), height = in.u16le();
    const BYTE flags = in.u8();
    in.skip(3);  // background index, aspect, and the byte after: 14 are needed
    if (!in.ok()) return KvFail(in.Reason());
    if (std::memcmp(signature, "GIF8", 4) != 0) return KvFail("not a GIF file (signature)");
    if (width == 0 || height == 0) return KvRefusePictureSize(width, height);
    screen = {width, height, (flags & 7) + 1};
    return true;
  });
}

}  // namespace

int KvGifPictureInfo(const CString& path, RECT* rect, int* bits) {
  GifScreen screen;
  if (!ReadScreen(path, screen)) return 0;
  if (rect) *rect = RECT{0, 0, screen.width, screen.height};
  if (bits) *bits = screen.bits;
  return 1;
}

int KvGifPictureFacts(const CString& path, SKvPicFacts& facts) {
  GifScreen screen;
  if (!ReadScreen(path, screen)) return 0;
  facts.width = screen.width;
  facts.height = screen.height;
  facts.storedBits = screen.bits;
  facts.channels = 3;  // every pixel loads opaque
  facts.alpha = false;
  return 1;
}
