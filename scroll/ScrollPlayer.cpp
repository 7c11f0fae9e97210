#include "KvMediaFile/KvScroll.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>
#include <new>
#include <utility>

#include "host/Failure.h"
#include "host/FileName.h"
#include "host/ModuleResources.h"
#include "host/PixelOps.h"
#include "host/VideoStd.h"
#include "platform/GlobalMemory.h"
#include "platform/Paths.h"

IMPLEMENT_DYNCREATE(CKvPlayScrollBase, CKvObject)
IMPLEMENT_DYNCREATE(CKvPlayScrollPainter, CKvPlayScrollBase)
IMPLEMENT_DYNCREATE(CKvPlayScrollFile, CKvPlayScrollBase)

namespace {

int Mod(long long v, int m) {
  const long long r = v % m;
  return static_cast<int>(r < 0 ? r + m : r);
}

// Positions along the scroll are 0 to 1; NaN is 0.
float Clamp01(float position) { return position > 0 ? std::min(position, 1.0f) : 0.0f; }

// Writes the rows of one field (parity 0: rows 0, 2, 4 ...; 1: rows 1, 3, 5 ...) of the frame
// whose window starts at strip line `first`, from lines held at slot (i - origin) mod slots of
// `lines`: for a roll each slot a row of the frame, for a crawl each a column of a block whose
// rows are `stride` pixels apart, so that a field's row is copied in at most two pieces.
void ComposeField(DWORD* frame, CSize size, bool roll, int parity, long long first,
                  const DWORD* lines, long long origin, int slots, std::size_t stride) {
  const auto fw = static_cast<std::size_t>(size.cx), fh = static_cast<std::size_t>(size.cy);
  for (std::size_t y = static_cast<std::size_t>(parity); y < fh; y += 2) {
    DWORD* row = frame + y * fw;
    if (roll) {
      const auto slot =
          static_cast<std::size_t>(Mod(first + static_cast<long long>(y) - origin, slots));
      std::memcpy(row, lines + slot * fw, fw * 4);
      continue;
    }
    const auto slot = static_cast<std::size_t>(Mod(first - origin, slots));
    const std::size_t head = std::min(fw, static_cast<std::size_t>(slots) - slot);
    const DWORD* source = lines + y * stride;
    std::memcpy(row, source + slot, head * 4);
    std::memcpy(row + head, source, (fw - head) * 4);
  }
}

// Crawl columns are decoded this many at a time and written across the rows, so that each
// row's cache line is filled by one batch.
constexpr std::size_t kColumnBatch = 16;

// Lays crawl lines, each a strip column of `length` pixels stored one after the other, into
// rows: pixel first + y of line i goes to row y, column i of `dst`, for `rows` rows. Columns
// go a batch at a time, so that each row's cache line is filled by one batch.
void ColumnsToRows(const DWORD* lines, std::size_t length, std::size_t count, std::size_t first,
                   std::size_t rows, DWORD* dst, std::size_t dstStride) {
  constexpr std::size_t kBatch = 16;
  for (std::size_t x0 = 0; x0 < count; x0 += kBatch) {
    const std::size_t n = std::min(kBatch, count - x0);
    const DWORD* column = lines + x0 * length + first;
    for (std::size_t y = 0; y < rows; ++y) {
      DWORD* row = dst + y * dstStride + x0;
      for (std::size_t j = 0; j < n; ++j) row[j] = column[j * length + y];
    }
  }
}

}  // namespace

// ---------------------------------------------------------------------------------------
// Base

CKvObject& CKvPlayScrollBase::operator=(const CKvObject& other) {
  if (const auto* p = dynamic_cast<const CKvPlayScrollBase*>(&other)) *this = *p;
  return *this;
}

CKvPlayScrollBase& CKvPlayScrollBase::operator=(const CKvPlayScrollBase& other) {
  if (this == &other) return *this;
  CKvObject::operator=(other);
  m_bOpened = other.m_bOpened;
  m_strPath = other.m_strPath;
  m_dwDirection = other.m_dwDirection;
  m_dwLines = other.m_dwLines;
  m_bInMemory = other.m_bInMemory;
  m_sizeFrame = other.m_sizeFrame;
  return *this;
}

int CKvPlayScrollBase::Open(CString path, int bInMemory) {
  try {
    m_strPath = path;
  } catch (const std::bad_alloc&) {
    return 0;
  }
  m_bInMemory = bInMemory;
  m_bOpened = 1;
  return 1;
}

void CKvPlayScrollBase::Close() {}

int CKvPlayScrollBase::GetInfo(DWORD* direction, DWORD* width, DWORD* lines) {
  if (direction) *direction = 0;
  if (width) *width = 0;
  if (lines) *lines = 0;
  return 1;
}

void CKvPlayScrollBase::GetPrimalRect(CRect& rect) { rect = CRect(); }

int CKvPlayScrollBase::InitExtData() { return 1; }

int CKvPlayScrollBase::GetOneFrame(float, SKvScrollBuffer*) { return 1; }

ENUMSCROLLTYPE CKvPlayScrollBase::GetScrollCategory(CString path) {
  try {
    CString ext = KvPathExtension(path);
    ext.MakeUpper();
    if (ext == L".KSC") return SCROLL_FILE;
    if (ext == L".KSU") return SCROLL_PAINTER;
  } catch (const std::bad_alloc&) {
  }
  return SCROLL_UNKNOWN;
}

CKvPlayScrollBase* CKvPlayScrollBase::CreatePlayScrollObj(CString path, int bInMemory) {
  std::unique_ptr<CKvPlayScrollBase> player;
  switch (GetScrollCategory(path)) {
    case SCROLL_FILE:
      player.reset(new (std::nothrow) CKvPlayScrollFile);
      break;
    case SCROLL_PAINTER:
      player.reset(new (std::nothrow) CKvPlayScrollPainter);
      break;
    default:
      return nullptr;
  }
  return player && player->Open(path, bInMemory) ? player.release() : nullptr;
}

// ---------------------------------------------------------------------------------------
// Scroll files

CKvPlayScrollFile::~CKvPlayScrollFile() { Close(); }

int CKvPlayScrollFile::Open(CString path, int bInMemory) {
  Close();
  try {
    return OpenFile(path, bInMemory) ? 1 : Fail();
  } catch (const std::bad_alloc&) {
    return Fail();
  } catch (const CException&) {
    return Fail();
  }
}

bool CKvPlayScrollFile::OpenFile(const CString& path, int bInMemory) {
  if (!m_reader.OpenFile(path)) return false;
  if (!CKvPlayScrollBase::Open(path, bInMemory)) return false;
  m_dwDirection = m_reader.GetDirection();
  m_dwLines = m_reader.GetDataLines();
  CRect primal;
  GetPrimalRect(primal);
  m_sizeFrame = primal.Size();
  // Frames are refused against the picture limit like any other picture.
  if (KvCheckedPictureBytes(m_sizeFrame.cx, m_sizeFrame.cy) == 0) return false;
  const auto width = static_cast<int>(m_reader.GetDataWidth());
  const auto lines = static_cast<int>(m_dwLines);
  m_rcStrip = IsRoll() ? CRect(0, 0, width, lines) : CRect(0, 0, lines, width);
  InitExtData();
  if (bInMemory && !LoadStrip()) return false;
  return !CKvModuleSetting::Is2DEnvion() || m_blockFrameCopy.InitBlock(m_sizeFrame);
}

bool CKvPlayScrollFile::LoadStrip() {
  // The strip is refused against the picture limit before anything is allocated; the
  // buffers beside it, never larger than it, come before it.
  if (KvCheckedPictureBytes(m_rcStrip.Width(), m_rcStrip.Height()) == 0) return false;
  const std::size_t W = static_cast<std::size_t>(m_rcStrip.Width());
  const std::size_t H = static_cast<std::size_t>(m_rcStrip.Height());
  // A crawl's data lines are columns of the strip: they are decoded a batch at a time and
  // written across the rows, so that each row's cache line is filled by one batch.
  constexpr std::size_t kBatch = 16;
  std::unique_ptr<DWORD[]> batch;
  if (IsRoll()) {
    m_transparentRow.reset(new (std::nothrow) DWORD[W]());
    if (!m_transparentRow) return false;
  } else {
    batch.reset(new (std::nothrow) DWORD[std::min(kBatch, W) * H]);
    if (!batch) return false;
  }
  if (!m_blockStrip.InitBlock(m_rcStrip.Size())) return false;
  std::unique_ptr<BYTE[]> data(m_reader.GetData());
  if (!data) return false;
  const std::size_t table = 4 * static_cast<std::size_t>(m_dwLines);
  const BYTE* lines = data.get() + table;
  const std::size_t bytes =
      static_cast<std::size_t>(m_reader.LineOffset(m_dwLines) - m_reader.LineOffset(0));
  auto* strip = reinterpret_cast<DWORD*>(m_blockStrip.GetAddress());
  if (IsRoll()) return m_reader.DecodeLines(lines, bytes, 0, m_dwLines, strip);
  const ULONGLONG first = m_reader.LineOffset(0);
  for (std::size_t x0 = 0; x0 < W; x0 += kBatch) {
    const std::size_t n = std::min(kBatch, W - x0);
    const auto at = static_cast<std::size_t>(m_reader.LineOffset(static_cast<DWORD>(x0)) - first);
    if (!m_reader.DecodeLines(lines + at, bytes - at, static_cast<DWORD>(x0), static_cast<DWORD>(n),
                              batch.get()))
      return false;
    ColumnsToRows(batch.get(), H, n, 0, H, strip + x0, W);
  }
  return true;
}

int CKvPlayScrollFile::Fail() {
  Close();
  return 0;
}

void CKvPlayScrollFile::Close() {
  m_fieldStore.reset();
  m_fieldLo = m_fieldHi = 0;
  m_blockStrip.Close();
  m_transparentRow.reset();
  m_blockFrameCopy.Close();
  m_reader.CloseFile();
  m_bOpened = 0;
}

int CKvPlayScrollFile::GetInfo(DWORD* direction, DWORD* width, DWORD* lines) {
  if (!m_bOpened) return 0;
  if (direction) *direction = m_reader.GetDirection();
  if (width) *width = m_reader.GetDataWidth();
  if (lines) *lines = m_reader.GetDataLines();
  return 1;
}

void CKvPlayScrollFile::GetPrimalRect(CRect& rect) {
  rect = CRect();
  DWORD direction = 0, width = 0, lines = 0;
  if (!GetInfo(&direction, &width, &lines)) return;
  const auto w = static_cast<long long>(width), n = static_cast<long long>(lines);
  if (direction <= KV_SCROLL_DOWN)
    rect = CRect(0, 0, static_cast<int>(w),
                 static_cast<int>(std::min<long long>(n, CKvVideoStd::GetResHeight())));
  else
    rect = CRect(0, 0, static_cast<int>(std::min<long long>(n, CKvVideoStd::GetResWidth())),
                 static_cast<int>(w));
}

int CKvPlayScrollFile::InitExtData() {
  m_rcRing.SetRectEmpty();
  m_ptRing = CPoint(0, 0);
  return 1;
}

void CKvPlayScrollFile::SetAsyncPosPoint(float position) {
  InitExtData();
  m_fAnchor = position;
}

float CKvPlayScrollFile::GetRenderPos() {
  if (!m_bOpened || m_dwLines == 0) return 0.0f;
  const float extent = static_cast<float>(IsRoll() ? m_sizeFrame.cy : m_sizeFrame.cx);
  return extent / static_cast<float>(m_dwLines);
}

void CKvPlayScrollFile::ResetRingPoint() {
  switch (m_dwDirection) {
    case KV_SCROLL_DOWN:
      m_ptRing = CPoint(0, m_sizeFrame.cy - 1);
      break;
    case KV_SCROLL_RIGHT:
      m_ptRing = CPoint(m_sizeFrame.cx - 1, 0);
      break;
    default:
      m_ptRing = CPoint(0, 0);
      break;
  }
}

int CKvPlayScrollFile::GetOneFrame(float position, SKvScrollBuffer* buffer) {
  if (!m_bOpened || !buffer || !buffer->pFrame) return 0;
  if (position < 0) position = GetRenderPos();
  buffer->rcUpdate.SetRectEmpty();
  SPlace place = PlaceAt(position);
  buffer->rcSource = place.window;
  buffer->fMotion = place.offset;
  if (m_bInMemory) return GetHostMemFrame(buffer->pFrame, place.window, place.fraction);
  return UpdateRing(buffer->pFrame, place.window, buffer);
}

CKvPlayScrollFile::SPlace CKvPlayScrollFile::PlaceAt(float position) const {
  position = Clamp01(position);
  const float L = static_cast<float>(m_dwLines);
  const float p = position * L;
  const float motion = (position - m_fAnchor) * L;
  const long long n = std::min<long long>(static_cast<long long>(p + (m_bInMemory ? 0.01f : 0.5f)),
                                          static_cast<long long>(m_dwLines));
  const long long fw = m_sizeFrame.cx, fh = m_sizeFrame.cy, lines = m_dwLines;
  SPlace place;
  place.fraction = p - static_cast<float>(n);
  switch (m_dwDirection) {
    case KV_SCROLL_UP:
      place.window = CRect(0, static_cast<int>(n - fh), static_cast<int>(fw), static_cast<int>(n));
      place.offset = motion / static_cast<float>(fh);
      break;
    case KV_SCROLL_DOWN:
      place.window = CRect(0, static_cast<int>(lines - n), static_cast<int>(fw),
                           static_cast<int>(lines - n + fh));
      place.offset = -motion / static_cast<float>(fh);
      break;
    case KV_SCROLL_LEFT:
      place.window = CRect(static_cast<int>(n - fw), 0, static_cast<int>(n), static_cast<int>(fh));
      place.offset = motion / static_cast<float>(fw);
      break;
    default:
      place.window = CRect(static_cast<int>(lines - n), 0, static_cast<int>(lines - n + fw),
                           static_cast<int>(fh));
      place.offset = -motion / static_cast<float>(fw);
      break;
  }
  return place;
}

std::unique_ptr<DWORD[]> CKvPlayScrollFile::ReadLines(long long lo, long long hi) {
  const long long lineWidth = m_reader.GetDataWidth(), total = m_dwLines;
  // a..b: the lines that lie on the strip.
  const long long a = std::min(std::max(lo, 0ll), hi), b = std::max(std::min(hi, total), a);
  // Never more than a frame's worth of lines, which passed the picture limit at opening.
  const std::size_t pixels = KvCheckedPictureBytes(lineWidth, hi - lo) / 4;
  if (pixels == 0) return nullptr;
  std::unique_ptr<DWORD[]> out(new (std::nothrow) DWORD[pixels]);
  if (!out) return nullptr;
  // Lines before or after the strip are transparent.
  const auto at = [&](long long line) { return out.get() + (line - lo) * lineWidth; };
  std::fill(at(lo), at(a), 0u);
  std::fill(at(b), at(hi), 0u);
  if (a < b && !m_reader.DecodeRun(static_cast<DWORD>(a), static_cast<DWORD>(b), at(a)))
    return nullptr;
  return out;
}

int CKvPlayScrollFile::GetSyncFrame(void* pixels, CRect& window) {
  CKvMemBlock block;
  if (!block.InitBlock(window.Size(), static_cast<tagCOLOR32*>(pixels))) return 0;
  CRect visible;
  if (!visible.IntersectRect(&window, &m_rcStrip)) {
    block.ClearBlock(nullptr, CKvColor32(0, 0, 0, 0));
  } else {
    std::unique_ptr<DWORD[]> lines =
        IsRoll() ? ReadLines(visible.top, visible.bottom) : ReadLines(visible.left, visible.right);
    if (!lines) return 0;
    // The part of the window beyond the strip is transparent.
    CRect outside[4] = {
        {0, 0, window.Width(), visible.top - window.top},
        {0, visible.bottom - window.top, window.Width(), window.Height()},
        {0, visible.top - window.top, visible.left - window.left, visible.bottom - window.top},
        {visible.right - window.left, visible.top - window.top, window.Width(),
         visible.bottom - window.top}};
    for (const CRect& r : outside)
      if (!r.IsRectEmpty()) block.ClearBlock(&r, CKvColor32(0, 0, 0, 0));
    const auto vw = static_cast<std::size_t>(visible.Width());
    const auto vh = static_cast<std::size_t>(visible.Height());
    const std::size_t fw = static_cast<std::size_t>(window.Width());
    DWORD* dst = static_cast<DWORD*>(pixels) +
                 static_cast<std::size_t>(visible.top - window.top) * fw +
                 static_cast<std::size_t>(visible.left - window.left);
    if (IsRoll()) {
      // Rows of the strip, whose lines are as wide as the strip.
      const std::size_t W = static_cast<std::size_t>(m_rcStrip.Width());
      const DWORD* src = lines.get() + visible.left;
      for (std::size_t y = 0; y < vh; ++y) std::memcpy(dst + y * fw, src + y * W, vw * 4);
    } else {
      // Line i is column i; the frame wants rows.
      ColumnsToRows(lines.get(), static_cast<std::size_t>(m_rcStrip.Height()), vw,
                    static_cast<std::size_t>(visible.top), vh, dst, fw);
    }
  }
  // The ring starts with a frame that was built.
  if (m_rcRing.IsRectEmpty()) {
    ResetRingPoint();
    m_rcRing = window;
  }
  return 1;
}

int CKvPlayScrollFile::UpdateRing(DWORD* pixels, const CRect& window, SKvScrollBuffer* buffer) {
  const int fw = m_sizeFrame.cx, fh = m_sizeFrame.cy;
  const CRect whole(0, 0, fw, fh);
  CRect win = window;
  auto refreshCopy = [&] {
    if (m_blockFrameCopy.IsValid())
      std::memcpy(m_blockFrameCopy.GetAddress(), pixels, static_cast<std::size_t>(fw) * fh * 4);
  };

  CRect common;
  if (m_rcRing.IsRectEmpty() || m_rcRing.Size() != m_sizeFrame ||
      !common.IntersectRect(&m_rcRing, &window)) {
    // A fresh start or a jump of a frame or more: the whole frame, in row (column) order,
    // with the ring point where that order puts it.
    const bool jump = !m_rcRing.IsRectEmpty() && m_rcRing.Size() == m_sizeFrame;
    const CRect ring = std::exchange(m_rcRing, CRect());
    if (!GetSyncFrame(pixels, win)) {
      m_rcRing = ring;  // the buffer still holds that window
      return 0;
    }
    buffer->rcUpdate = whole;
    if (jump) buffer->fMotion = 0;
    refreshCopy();
    return 1;
  }
  if (m_rcRing == window) return 1;

  const bool roll = IsRoll();
  const bool forward = roll ? window.top > m_rcRing.top : window.left > m_rcRing.left;
  CRect band;
  band.SubtractRect(&window, &m_rcRing);
  const long long lo = roll ? band.top : band.left;
  const long long hi = roll ? band.bottom : band.right;
  const int count = static_cast<int>(hi - lo);
  const std::unique_ptr<DWORD[]> lines = ReadLines(lo, hi);
  if (!lines) return 0;
  if (m_blockFrameCopy.IsValid())
    std::memcpy(pixels, m_blockFrameCopy.GetAddress(), static_cast<std::size_t>(fw) * fh * 4);

  // The slot of the window's first row (column) before and after the step; the entering
  // lines go to the slots that the leaving ones free.
  const int extent = roll ? fh : fw;
  const bool firstAtPoint = m_dwDirection == KV_SCROLL_UP || m_dwDirection == KV_SCROLL_LEFT;
  const int point = roll ? m_ptRing.y : m_ptRing.x;
  const int first = Mod(point + (firstAtPoint ? 0 : 1), extent);
  const int start = forward ? first : Mod(first - count, extent);
  const int newFirst = forward ? Mod(first + count, extent) : start;
  const int newPoint = Mod(newFirst - (firstAtPoint ? 0 : 1), extent);
  const DWORD* src = lines.get();
  if (roll) {
    for (int i = 0; i < count; ++i)
      std::memcpy(pixels + static_cast<std::size_t>(Mod(start + i, extent)) * fw,
                  src + static_cast<std::size_t>(i) * fw, static_cast<std::size_t>(fw) * 4);
    m_ptRing = CPoint(0, newPoint);
    buffer->rcUpdate = CRect(0, start, fw, start + count);
  } else {
    for (int i = 0; i < count; ++i) {
      const int column = Mod(start + i, extent);
      const DWORD* line = src + static_cast<std::size_t>(i) * fh;
      for (int y = 0; y < fh; ++y) pixels[static_cast<std::size_t>(y) * fw + column] = line[y];
    }
    m_ptRing = CPoint(newPoint, 0);
    buffer->rcUpdate = CRect(start, 0, start + count, fh);
  }
  m_rcRing = window;
  refreshCopy();
  return 1;
}

int CKvPlayScrollFile::GetHostMemFrame(void* pixels, CRect& window, float fraction) {
  if (!pixels || !m_blockStrip.IsValid()) return 0;
  auto* out = static_cast<DWORD*>(pixels);
  const int fw = m_sizeFrame.cx, fh = m_sizeFrame.cy;
  const bool roll = IsRoll();
  bool interpolate = false;
  if (roll && fraction > 0.01f) {
    fraction = std::fmod(fraction, 1.0f);
    interpolate = true;
  }
  CRect win = window;
  win.NormalizeRect();
  CRect visible;
  const auto clearRows = [&](int y0, int y1) {
    if (y1 > y0)
      std::memset(out + static_cast<std::size_t>(y0) * fw, 0,
                  static_cast<std::size_t>(y1 - y0) * fw * 4);
  };
  if (!visible.IntersectRect(&win, &m_rcStrip)) {
    clearRows(0, fh);
    if (interpolate) FadeEnteringRow(out, win, fraction);
    return 1;
  }
  const int dx = visible.left - win.left, dy = visible.top - win.top;
  const int vw = visible.Width(), vh = visible.Height();
  // Only what the strip does not cover is cleared; the rest is written below.
  clearRows(0, dy);
  clearRows(dy + vh, fh);
  if (dx > 0 || dx + vw < fw)
    for (int y = dy; y < dy + vh; ++y) {
      DWORD* row = out + static_cast<std::size_t>(y) * fw;
      std::fill(row, row + dx, 0u);
      std::fill(row + dx + vw, row + fw, 0u);
    }

  const std::size_t W = static_cast<std::size_t>(m_rcStrip.Width());
  const std::size_t H = static_cast<std::size_t>(m_rcStrip.Height());
  auto* strip = reinterpret_cast<BYTE*>(m_blockStrip.GetAddress());
  const std::size_t stride = W * 4, dstStride = static_cast<std::size_t>(fw) * 4;
  BYTE* dst = reinterpret_cast<BYTE*>(out) + static_cast<std::size_t>(dy) * dstStride + dx * 4;
  BYTE* src = strip + static_cast<std::size_t>(visible.top) * stride + visible.left * 4;
  if (!interpolate) {
    for (int y = 0; y < vh; ++y)
      std::memcpy(dst + y * dstStride, src + y * stride, static_cast<std::size_t>(vw) * 4);
    return 1;
  }
  // Sub-pixel rolls. Content moving up shows each row mixed with the row below it, moving
  // down with the row above it; beyond the strip's ends that neighbour is transparent.
  BYTE* transparent = reinterpret_cast<BYTE*>(m_transparentRow.get());
  FadeEnteringRow(out, win, fraction);
  if (m_dwDirection == KV_SCROLL_UP) {
    if (reinterpret_cast<std::uintptr_t>(src) % 16 == 0) {
      for (int y = 0; y < vh; ++y) {
        const std::size_t r = static_cast<std::size_t>(visible.top + y);
        BYTE* next = r + 1 < H ? src + (y + 1) * stride : transparent;
        KvIntpLines_BGRA(src + y * stride, next, dst + y * dstStride, vw, fraction);
      }
    } else {
      KvSubPixel_BGRA(src, strip + H * stride, static_cast<int>(stride), dst,
                      static_cast<int>(dstStride), vw, vh, 1.0f - fraction);
    }
  } else {
    for (int y = 0; y < vh; ++y) {
      const long long r = visible.top + y;
      BYTE* above = r > 0 ? src + (y - 1) * static_cast<long long>(stride) : transparent;
      KvIntpLines_BGRA(above, src + y * stride, dst + y * dstStride, vw, 1.0f - fraction);
    }
  }
  return 1;
}

// Between two lines, the row just beyond the strip's entering end shows the end row mixed
// with transparency: row 0 above the strip for a roll up, the last row below it for a roll
// down.
void CKvPlayScrollFile::FadeEnteringRow(DWORD* out, const CRect& window, float fraction) {
  const int fw = m_sizeFrame.cx;
  const long long H = m_rcStrip.Height();
  const long long beyond = m_dwDirection == KV_SCROLL_UP ? -1 : H;
  if (m_dwDirection > KV_SCROLL_DOWN || beyond < window.top || beyond >= window.bottom) return;
  const std::size_t W = static_cast<std::size_t>(m_rcStrip.Width());
  const int x = std::max(0, -window.left);
  const int width =
      static_cast<int>(std::min<long long>(W, window.right) - std::max(0, window.left));
  if (width <= 0) return;
  auto* transparent = reinterpret_cast<BYTE*>(m_transparentRow.get());
  const auto* strip = reinterpret_cast<BYTE*>(m_blockStrip.GetAddress());
  BYTE* row = reinterpret_cast<BYTE*>(out + static_cast<std::size_t>(beyond - window.top) * fw + x);
  const BYTE* end = strip +
                    (m_dwDirection == KV_SCROLL_UP ? 0 : static_cast<std::size_t>(H - 1) * W * 4) +
                    std::max(0, window.left) * 4;
  if (m_dwDirection == KV_SCROLL_UP)
    KvIntpLines_BGRA(transparent, const_cast<BYTE*>(end), row, width, fraction);
  else
    KvIntpLines_BGRA(const_cast<BYTE*>(end), transparent, row, width, 1.0f - fraction);
}

// Field frames. From memory, each field is the same rows of a whole frame made the usual way,
// the second in a frame of the player's own. Streamed, the store keeps the lines both fields
// show, so that a step decodes only the lines entering; fields more than a frame apart are
// decoded whole, each into its half of the store.
int CKvPlayScrollFile::GetFieldFrame(float position, float step, int bBottomFirst,
                                     SKvScrollBuffer* buffer) {
  if (!m_bOpened || !buffer || !buffer->pFrame) return 0;
  position = position < 0 ? GetRenderPos() : Clamp01(position);
  if (!std::isfinite(step)) step = 0;
  buffer->rcUpdate.SetRectEmpty();
  SPlace first = PlaceAt(position), second = PlaceAt(position + step / 2);
  buffer->rcSource = first.window;
  buffer->fMotion = first.offset;
  SPlace& top = bBottomFirst ? second : first;
  SPlace& bottom = bBottomFirst ? first : second;
  DWORD* out = buffer->pFrame;
  const bool roll = IsRoll();
  const int extent = roll ? m_sizeFrame.cy : m_sizeFrame.cx;
  const int length = roll ? m_sizeFrame.cx : m_sizeFrame.cy;
  if (!m_fieldStore) {
    // Checked like a picture: two frames' worth streamed (and a batch of crawl columns), one
    // in memory.
    const long long slots = m_bInMemory ? extent : 2ll * extent + (roll ? 0 : kColumnBatch);
    const std::size_t bytes = KvCheckedPictureBytes(length, slots);
    if (bytes == 0) return 0;
    m_fieldStore.reset(new (std::nothrow) DWORD[bytes / 4]);
    if (!m_fieldStore) return 0;
    m_fieldSlots = 2 * extent;
    m_fieldLo = m_fieldHi = 0;
  }
  const auto fw = static_cast<std::size_t>(m_sizeFrame.cx);
  if (m_bInMemory) {
    DWORD* other = m_fieldStore.get();
    if (!GetHostMemFrame(out, top.window, top.fraction) ||
        !GetHostMemFrame(other, bottom.window, bottom.fraction))
      return 0;
    for (std::size_t y = 1; y < static_cast<std::size_t>(m_sizeFrame.cy); y += 2)
      std::memcpy(out + y * fw, other + y * fw, fw * 4);
    return 1;
  }
  // The buffer no longer holds a ring of one window.
  m_rcRing.SetRectEmpty();
  ResetRingPoint();
  const long long a = roll ? top.window.top : top.window.left;
  const long long b = roll ? bottom.window.top : bottom.window.left;
  const long long lo = std::min(a, b), hi = std::max(a, b) + extent;
  DWORD* store = m_fieldStore.get();
  const auto stride = static_cast<std::size_t>(m_fieldSlots);
  if (hi - lo <= m_fieldSlots) {
    if (!HoldFieldLines(lo, hi)) return 0;
    ComposeField(out, m_sizeFrame, roll, 0, a, store, 0, m_fieldSlots, stride);
    ComposeField(out, m_sizeFrame, roll, 1, b, store, 0, m_fieldSlots, stride);
  } else {
    // Each window in its half: rows of a roll, columns of a crawl.
    m_fieldLo = m_fieldHi = 0;
    DWORD* half = store + static_cast<std::size_t>(extent) * (roll ? length : 1);
    if (!LoadFieldLines(a, a + extent, store, a, extent) ||
        !LoadFieldLines(b, b + extent, half, b, extent))
      return 0;
    ComposeField(out, m_sizeFrame, roll, 0, a, store, a, extent, stride);
    ComposeField(out, m_sizeFrame, roll, 1, b, half, b, extent, stride);
  }
  buffer->rcUpdate = CRect(0, 0, m_sizeFrame.cx, m_sizeFrame.cy);
  return 1;
}

bool CKvPlayScrollFile::HoldFieldLines(long long lo, long long hi) {
  const long long keepLo = std::max(lo, m_fieldLo), keepHi = std::min(hi, m_fieldHi);
  // Until the lines are in, the store holds nothing that can be trusted.
  m_fieldLo = m_fieldHi = 0;
  DWORD* store = m_fieldStore.get();
  const bool loaded = keepLo < keepHi ? LoadFieldLines(lo, keepLo, store, 0, m_fieldSlots) &&
                                            LoadFieldLines(keepHi, hi, store, 0, m_fieldSlots)
                                      : LoadFieldLines(lo, hi, store, 0, m_fieldSlots);
  if (!loaded) return false;
  m_fieldLo = lo;
  m_fieldHi = hi;
  return true;
}

bool CKvPlayScrollFile::LoadFieldLines(long long lo, long long hi, DWORD* store, long long origin,
                                       int slots) {
  const long long total = m_dwLines;
  const auto length = static_cast<std::size_t>(m_reader.GetDataWidth());
  const bool roll = IsRoll();
  // Crawl columns go into rows m_fieldSlots apart, through the batch after the store's lines.
  const auto stride = static_cast<std::size_t>(m_fieldSlots);
  DWORD* batch = m_fieldStore.get() + stride * length;
  while (lo < hi) {
    // A piece runs to the store's end or the strip's next edge, whichever comes first; a
    // crawl's no further than a batch.
    const int slot = Mod(lo - origin, slots);
    long long end = std::min(hi, lo + (slots - slot));
    if (lo < 0)
      end = std::min(end, 0ll);
    else if (lo < total)
      end = std::min(end, total);
    if (!roll) end = std::min(end, lo + static_cast<long long>(kColumnBatch));
    const auto count = static_cast<std::size_t>(end - lo);
    DWORD* at = roll ? store + static_cast<std::size_t>(slot) * length : batch;
    if (lo < 0 || lo >= total)
      std::fill_n(at, count * length, 0u);
    else if (!m_reader.DecodeRun(static_cast<DWORD>(lo), static_cast<DWORD>(end), at))
      return false;
    if (!roll) ColumnsToRows(batch, length, count, 0, length, store + slot, stride);
    lo = end;
  }
  return true;
}

// ---------------------------------------------------------------------------------------

int KvScrollGetFileInfo(CString path, DWORD* direction, DWORD* width, DWORD* lines) {
  KvClearFailure();
  try {
    if (!KvRequireFile(path)) return 0;
    std::unique_ptr<CKvPlayScrollBase> player(CKvPlayScrollBase::CreatePlayScrollObj(path, 0));
    if (!player) return 0;
    DWORD d = 0, w = 0, n = 0;
    if (!player->GetInfo(&d, &w, &n)) return 0;
    if (direction) *direction = d;
    if (width) *width = w;
    if (lines) *lines = n;
    player->Close();
    return 1;
  } catch (const std::bad_alloc&) {
    return 0;
  }
}

DWORD* KvScrollGetFrame(CString path, CRect& rect, float position, int bInMemory) {
  KvClearFailure();
  try {
    if (!KvRequireFile(path)) return nullptr;
    std::unique_ptr<CKvPlayScrollBase> player(
        CKvPlayScrollBase::CreatePlayScrollObj(path, bInMemory));
    if (!player) return nullptr;
    player->GetPrimalRect(rect);
    if (rect.IsRectEmpty()) return nullptr;
    KvGlobalPtr frame(
        GlobalAlloc(GPTR, static_cast<std::size_t>(rect.Width()) * rect.Height() * 4));
    if (!frame) return nullptr;
    SKvScrollBuffer buffer;
    buffer.pFrame = static_cast<DWORD*>(frame.get());
    if (!player->GetOneFrame(position, &buffer)) return nullptr;
    player->Close();
    return static_cast<DWORD*>(frame.release());
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
}
