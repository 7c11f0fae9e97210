// Scrolls: the scroll file, and playback of rolls and crawls from it, streaming into a ring of
// rows (or columns) in the caller's frame buffer, or cut out of the whole strip held in memory.
//
//   0  "SVSC"   4  version 1   8  direction 0..3   12  pixel depth 32   16  line count N
//   20 line width W   24  1   28  0   32  N line sizes   32 + 4N  the compressed lines
#pragma once

#include <memory>
#include <vector>

#include "KvMediaFile/KvMediaApi.h"
#include "host/MemBlock.h"
#include "platform/File.h"

class FileReader;

// The file's header words, as stored.
struct SKvScrollHeader {
  DWORD magic = 0;
  DWORD version = 0;
  DWORD direction = 0;
  DWORD depth = 0;
  DWORD lines = 0;
  DWORD width = 0;
  DWORD constant = 0;
  DWORD reserved = 0;
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
  CKvScrollFileRead();
  ~CKvScrollFileRead() override;

  // Opens and checks the file: the header, and a size table whose sizes are multiples of 4
  // and add up to the file's length exactly.
  int OpenFile(const wchar_t* path);
  DWORD GetDirection() const { return m_header.direction; }
  DWORD GetDataWidth() const { return m_header.width; }
  DWORD GetDataLines() const { return m_header.lines; }
  // Largest line count and line width accepted.
  static constexpr DWORD kMaxCount = 0x3FFFFFFF;
  // Everything from offset 32 to the end (size table, then the lines), as a new[] buffer
  // that the caller frees with delete[]; null on failure.
  BYTE* GetData();
  // Lines from..to-1 (the two swapped when from > to; `to` cut to the line count)
  // decompressed, as a new[] buffer of (to - from) x W pixels; null when empty, when from
  // lies beyond the line count, or when the file cannot be read or memory is short. A line
  // that is missing or does not expand to exactly W pixels comes out transparent.
  BYTE* GetSpecialFrame(DWORD from, DWORD to);
  // Expands every line strictly, with the codec the players use: 1 when each expands to
  // exactly the line width and uses all its stored words; else 0 with the first that does not
  // ("line 50 expands to 312 of 480 pixels"), which the players show transparent.
  int CheckLines();
  void CloseFile();

 private:
  friend class CKvPlayScrollFile;

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
  // Offset of line i from the start of the file (i = N: the end of the data).
  ULONGLONG LineOffset(DWORD i) const { return m_offsets[i]; }

  // Whether line i has a stored size that some stream of W pixels can have: not 0, and at
  // most 2 words a pixel (every packet gives at least one pixel for at most two words).
  bool MayHoldPixels(DWORD i) const;

  SKvScrollHeader m_header;
  std::vector<ULONGLONG> m_offsets;
  // Every read after the open goes through it, so that it always knows the file's position
  // and a run of lines that follows the last one read needs no seek.
  std::unique_ptr<FileReader> m_lineReader;
};

enum ENUMSCROLLTYPE {
  SCROLL_UNKNOWN = -1,
  SCROLL_FILE = 0,     // ".KSC"
  SCROLL_PAINTER = 1,  // ".KSU"
};

// Scroll directions: 0 roll, content moving up (the strip enters at the bottom); 1 roll,
// content moving down; 2 crawl, content moving left (the strip enters at the right); 3 crawl,
// content moving right.
enum : DWORD {
  KV_SCROLL_UP = 0,
  KV_SCROLL_DOWN = 1,
  KV_SCROLL_LEFT = 2,
  KV_SCROLL_RIGHT = 3,
};

// The caller's frame buffer and what a frame call reports about it.
struct SKvScrollBuffer {
  DWORD* pFrame = nullptr;  // frame width x height pixels, rows top to bottom
  CRect rcUpdate;           // out: the rows (or columns) rewritten, streaming; may run past
                            // the frame's edge, to be taken modulo its height (width)
  CRect rcSource;           // out: the window shown, in strip coordinates
  float fMotion = 0.0f;     // out: movement since the anchor position, in frame extents
};

class KV_MEDIA_API CKvPlayScrollBase : public CKvObject {
  DECLARE_DYNCREATE(CKvPlayScrollBase)
 public:
  CKvPlayScrollBase() = default;
  ~CKvPlayScrollBase() override = default;
  CKvObject& operator=(const CKvObject& other) override;
  CKvPlayScrollBase& operator=(const CKvPlayScrollBase& other);

  virtual int Open(CString path, int bInMemory);
  virtual void Close();
  virtual int GetInfo(DWORD* direction, DWORD* width, DWORD* lines);
  virtual void GetPrimalRect(CRect& rect);
  virtual int InitExtData();
  virtual int GetOneFrame(float position, SKvScrollBuffer* buffer);

  void SetFrameSize(CSize size) { m_sizeFrame = size; }
  void GetFrameSize(CSize& size) const { size = m_sizeFrame; }
  void IntpLinesFrame(int, CKvMemBlock*, float) {}

  static ENUMSCROLLTYPE GetScrollCategory(CString path);
  // A new, opened player for the path (the caller deletes it), or null.
  static CKvPlayScrollBase* CreatePlayScrollObj(CString path, int bInMemory);

  int m_bOpened = 0;
  CString m_strPath;
  DWORD m_dwDirection = 0xFFFFFFFF;
  DWORD m_dwLines = 0xFFFFFFFF;
  int m_bInMemory = 0;
  CSize m_sizeFrame;
};

// ".KSU" scrolls are drawn by the suite's painter: they open, and give no pixels here.
class KV_MEDIA_API CKvPlayScrollPainter : public CKvPlayScrollBase {
  DECLARE_DYNCREATE(CKvPlayScrollPainter)
};

class KV_MEDIA_API CKvPlayScrollFile : public CKvPlayScrollBase {
  DECLARE_DYNCREATE(CKvPlayScrollFile)
 public:
  CKvPlayScrollFile() = default;
  ~CKvPlayScrollFile() override;

  int Open(CString path, int bInMemory) override;
  void Close() override;
  int GetInfo(DWORD* direction, DWORD* width, DWORD* lines) override;
  void GetPrimalRect(CRect& rect) override;
  // Starts the next streamed frame afresh.
  int InitExtData() override;
  // The frame at `position` (0 to 1 along the scroll; negative: GetRenderPos()).
  int GetOneFrame(float position, SKvScrollBuffer* buffer) override;
  // A frame for interlaced play-out, its two fields taken half a frame apart: the first in
  // time at `position` (as for GetOneFrame), the second at position + step / 2, where step is
  // the distance between frames. The first is the top field (rows 0, 2, 4 ...), or the bottom
  // one (rows 1, 3, 5 ...) when bBottomFirst. rcSource and fMotion tell of the first field.
  // Streamed, the frame is written whole over the ring (rcUpdate: the whole frame) with the
  // ring point where a fresh start puts it, and the next GetOneFrame starts afresh.
  int GetFieldFrame(float position, float step, int bBottomFirst, SKvScrollBuffer* buffer);
  // Sets the anchor of the motion offset and starts the next streamed frame afresh.
  void SetAsyncPosPoint(float position);
  // Where, in streaming mode, the next line entering in the scroll's direction is written:
  // for rolls a row (y), for crawls a column (x). Rolls up and crawls left keep the window's
  // first row (column) at this slot; rolls down and crawls right keep it one slot further.
  CPoint GetRingPoint() const { return m_ptRing; }
  CRect GetStripRect() const { return m_rcStrip; }

 protected:
  int GetSyncFrame(void* pixels, CRect& window);
  int GetHostMemFrame(void* pixels, CRect& window, float fraction);
  // The position at which the window first lies wholly on the strip.
  float GetRenderPos();

 private:
  bool IsRoll() const { return m_dwDirection <= KV_SCROLL_DOWN; }
  // Where a frame at `position` (held to 0..1) is: its window on the strip, the motion
  // reported with it, and in memory the fraction of a line beyond the window.
  struct SPlace {
    CRect window;
    float offset = 0;
    float fraction = 0;
  };
  SPlace PlaceAt(float position) const;
  // Decodes the strip's lines lo..hi-1 into `store`, line i at slot (i - origin) mod slots;
  // lines off the strip are transparent.
  bool LoadFieldLines(long long lo, long long hi, DWORD* store, long long origin, int slots);
  // Makes the field store hold lines lo..hi-1 (at most m_fieldSlots), decoding only those it
  // does not hold yet.
  bool HoldFieldLines(long long lo, long long hi);
  // Opening without the clean-up of a failure; false on failure.
  bool OpenFile(const CString& path, int bInMemory);
  // Decompresses the whole strip into the strip block.
  bool LoadStrip();
  // The strip's lines lo..hi-1 (rows of a roll, columns of a crawl) as count x line-width
  // pixels; lines outside the strip are transparent. Null when the file cannot give them or
  // memory is short.
  std::unique_ptr<DWORD[]> ReadLines(long long lo, long long hi);
  void ResetRingPoint();
  int Fail();
  void FadeEnteringRow(DWORD* out, const CRect& window, float fraction);
  int UpdateRing(DWORD* pixels, const CRect& window, SKvScrollBuffer* buffer);

  CRect m_rcStrip;
  CKvMemBlock m_blockStrip;
  CKvScrollFileRead m_reader;
  CRect m_rcRing;
  CPoint m_ptRing;
  float m_fAnchor = 0.0f;
  CKvMemBlock m_blockFrameCopy;
  // A transparent strip row: what a roll in memory mixes with beyond the strip's ends.
  std::unique_ptr<DWORD[]> m_transparentRow;
  // Field frames: in memory, the second field's whole frame; streamed, the lines the two
  // fields show, line i at slot i mod m_fieldSlots, lines m_fieldLo..m_fieldHi-1 held.
  std::unique_ptr<DWORD[]> m_fieldStore;
  int m_fieldSlots = 0;
  long long m_fieldLo = 0, m_fieldHi = 0;
};

// The direction, line width and line count of a scroll file. 1 on success.
KV_MEDIA_API int KvScrollGetFileInfo(CString path, DWORD* direction, DWORD* width, DWORD* lines);
// The frame at `position` as a new picture buffer (free with GlobalFree), with its size in
// `rect`; null on failure.
KV_MEDIA_API DWORD* KvScrollGetFrame(CString path, CRect& rect, float position, int bInMemory);
