// The motion-movie maker: CKvMakeMovieMotion and its frame loop, KvMovieEncoder.
#include "movie/MotionMaker.h"

#include <algorithm>
#include <cstring>
#include <cwchar>
#include <functional>
#include <new>

#include "KvMediaFile/KvPicture.h"
#include "host/ByteReader.h"
#include "host/Failure.h"
#include "host/FileName.h"
#include "host/SafeSave.h"
#include "host/UiServices.h"
#include "host/VideoStd.h"
#include "movie/MotionFile.h"
#include "movie/VideoClip.h"
#include "platform/GlobalMemory.h"
#include "platform/Paths.h"

IMPLEMENT_DYNCREATE(CKvMakeMovieBase, CKvObject)
IMPLEMENT_DYNCREATE(CKvMakeMovieMotion, CKvMakeMovieBase)

namespace {

constexpr int kCell = 8;
constexpr int kBand = 8;
// The patch tables' room; a frame chunk holds fewer (kKvMotionMaxPatches), and no frame is
// made with more than a chunk holds.
constexpr int kPatchSlots = 6912;
constexpr std::size_t kPatchHeader = 16;
constexpr std::size_t kMaxPatchBytes = 0xFFFF;  // a patch's size is stored in 16 bits
// Digits beyond this make no sensible file name; more are taken as this many.
constexpr int kMaxDigits = 32;

const BYTE* RowAt(const CKvMemBlock& block, int x, int y) {
  return reinterpret_cast<const BYTE*>(block.GetAddress() +
                                       static_cast<std::size_t>(y) * block.GetSize().cx + x);
}

// Whether the area (x, y, x + w, y + h) of `cur` holds the same bytes as that of `ref`.
bool SameArea(const CKvMemBlock& cur, const CKvMemBlock& ref, int x, int y, int w, int h) {
  const std::size_t bytes = static_cast<std::size_t>(w) * 4;
  for (int row = y; row < y + h; ++row)
    if (std::memcmp(RowAt(cur, x, row), RowAt(ref, x, row), bytes) != 0) return false;
  return true;
}

// A run of changed pixels in one band, in raster coordinates.
struct Span {
  int x, y, w, h;
};

// The widest patch of h rows within the 16-bit size, in whole cells (2,040 pixels for 8
// rows): a wider span is stored as several patches side by side.
int MaxPatchWidth(int h) {
  return static_cast<int>((kMaxPatchBytes - kPatchHeader) / (static_cast<std::size_t>(h) * 4)) /
         kCell * kCell;
}

std::size_t PatchCount(const std::vector<Span>& spans) {
  std::size_t n = 0;
  for (const Span& s : spans) {
    const int most = MaxPatchWidth(s.h);
    n += static_cast<std::size_t>((s.w + most - 1) / most);
  }
  return n;
}

bool Contains(const CRect& outer, const CRect& inner) {
  return inner.left >= outer.left && inner.top >= outer.top && inner.right <= outer.right &&
         inner.bottom <= outer.bottom;
}

void FreePatches(void** patches, WORD* sizes, int count) {
  for (int i = 0; i < count; ++i) {
    GlobalFree(patches[i]);
    patches[i] = nullptr;
    sizes[i] = 0;
  }
}

// The runs of changed cells of each band of `rc`, every cell of it for a key frame (no
// `prev`): the player starts a key frame from a cleared block.
std::vector<Span> ChangedSpans(const CKvMemBlock& cur, const CKvMemBlock* prev, const CRect& rc) {
  std::vector<Span> spans;
  const int width = rc.Width();
  for (int y = rc.top; y < rc.bottom; y += kBand) {
    const int h = std::min(kBand, static_cast<int>(rc.bottom - y));
    if (!prev) {
      spans.push_back({static_cast<int>(rc.left), y, width, h});
      continue;
    }
    if (SameArea(cur, *prev, rc.left, y, width, h)) continue;
    // Every column is compared: the last cell of a band is as narrow as what is left, so
    // that a change in the last columns is stored too.
    const auto cellDiffers = [&](int cx) {
      return !SameArea(cur, *prev, cx, y, std::min(kCell, static_cast<int>(rc.right - cx)), h);
    };
    for (int x = rc.left; x < rc.right;) {
      int start = x;
      while (start < rc.right && !cellDiffers(start)) start += kCell;
      if (start >= rc.right) break;
      int end = start + kCell;
      while (end < rc.right && cellDiffers(end)) end += kCell;
      end = std::min(end, static_cast<int>(rc.right));
      spans.push_back({start, y, end - start, h});
      x = end;
    }
  }
  return spans;
}

// A busy frame (snow, noise) whose runs would overflow a frame chunk is stored as one span
// per changed band, from its first changed cell to its last: the unchanged cells between
// them are stored as they are, which every player applies alike.
void MergeBusyBands(std::vector<Span>& spans) {
  if (PatchCount(spans) <= static_cast<std::size_t>(kKvMotionMaxPatches)) return;
  std::size_t kept = 0;
  for (std::size_t i = 0; i < spans.size(); ++i) {
    if (kept > 0 && spans[kept - 1].y == spans[i].y)
      spans[kept - 1].w = spans[i].x + spans[i].w - spans[kept - 1].x;
    else
      spans[kept++] = spans[i];
  }
  spans.resize(kept);
}

// A patch of the w x h pixels of `cur` at (x, y), placed relative to `origin`: its header
// (x, y, width and height, then 8 bytes of 0, as a reused block holds an old header) and
// its rows.
void WritePatch(BYTE* bytes, const CKvMemBlock& cur, CPoint origin, int x, int y, int w, int h) {
  KvPutLe16(bytes, static_cast<unsigned>(x - origin.x));
  KvPutLe16(bytes + 2, static_cast<unsigned>(y - origin.y));
  KvPutLe16(bytes + 4, static_cast<unsigned>(w));
  KvPutLe16(bytes + 6, static_cast<unsigned>(h));
  std::memset(bytes + 8, 0, kPatchHeader - 8);
  for (int row = 0; row < h; ++row)
    std::memcpy(bytes + kPatchHeader + static_cast<std::size_t>(row) * w * 4,
                RowAt(cur, x, y + row), static_cast<std::size_t>(w) * 4);
}

}  // namespace

CKvObject& CKvMakeMovieBase::operator=(const CKvObject& other) {
  CKvObject::operator=(other);
  return *this;
}

CKvMakeMovieBase& CKvMakeMovieBase::operator=(const CKvMakeMovieBase& other) {
  CKvObject::operator=(other);
  return *this;
}

int CKvMakeMovieBase::Sink(const wchar_t*, int, int, int, int, CKvColor32, CKvColor32, int,
                           const RECT*, const wchar_t*, WORD, CWnd*) {
  return 1;
}

CKvObject& CKvMakeMovieMotion::operator=(const CKvObject& other) {
  CKvObject::operator=(other);
  return *this;
}

CKvMakeMovieMotion& CKvMakeMovieMotion::operator=(const CKvMakeMovieMotion& other) {
  CKvObject::operator=(other);
  return *this;
}

void CKvMakeMovieMotion::MakeFileName(const wchar_t* pszPath, int nNumber, int nDigits,
                                      wchar_t* pszOut) {
  if (!pszOut) return;
  pszOut[0] = 0;
  if (!pszPath) return;
  static thread_local wchar_t dir[_MAX_DIR], name[_MAX_FNAME], ext[_MAX_EXT];
  _wsplitpath(pszPath, nullptr, dir, name, ext);
  wchar_t numbered[_MAX_FNAME + kMaxDigits + 16];
  // Taken apart as "%s%0" and the digits, as the name pattern always was; a negative count
  // pads nothing.
  std::swprintf(numbered, std::size(numbered), L"%ls%0*d", name, std::clamp(nDigits, 0, kMaxDigits),
                nNumber);
  _wmakepath(pszOut, L"", dir, numbered, ext);
}

int CKvMakeMovieMotion::MakeFrame(int, CKvMemBlock* pCur, CKvMemBlock* pPrev, int* pCount,
                                  void** patches, WORD* sizes, const RECT* pRect) {
  return KvEncodeMovieFrame(pCur, pPrev, pCount, patches, sizes, pRect,
                            [](std::size_t size) { return GlobalAlloc(GHND, size); });
}

int KvEncodeMovieFrame(CKvMemBlock* pCur, CKvMemBlock* pPrev, int* pCount, void** patches,
                       WORD* sizes, const RECT* pRect,
                       const std::function<HGLOBAL(std::size_t)>& allocate) {
  KvClearFailure();
  if (!pCount) return KvFail("no patch count");
  *pCount = 0;
  if (!pCur || !pCur->IsValid()) return KvFail("no frame");
  if (!pRect || !patches || !sizes) return KvFail("no rectangle or patch tables");
  CRect rc(*pRect);
  rc.NormalizeRect();
  if (rc.IsRectEmpty()) return 1;
  // Cells outside the blocks cannot be compared: the rectangle must lie within them.
  if (!Contains(pCur->GetRect(), rc) ||
      (pPrev && (!pPrev->IsValid() || !Contains(pPrev->GetRect(), rc))))
    return KvFail("the movie rectangle lies outside the frame");
  // Patch positions and sizes are signed 16-bit values.
  if (rc.Width() > 0x7FFF || rc.Height() > 0x7FFF)
    return KvFail("the movie rectangle is wider or taller than 32,767 pixels");
  int count = 0;
  const auto fail = [&] {
    FreePatches(patches, sizes, count);
    *pCount = 0;
    return 0;
  };
  try {
    std::vector<Span> spans = ChangedSpans(*pCur, pPrev, rc);
    MergeBusyBands(spans);
    if (PatchCount(spans) > static_cast<std::size_t>(kKvMotionMaxPatches))
      return KvFailf("a frame needs more than %d patches", kKvMotionMaxPatches);
    for (const Span& span : spans) {
      const int most = MaxPatchWidth(span.h);
      for (int start = span.x; start < span.x + span.w; start += most) {
        const int w = std::min(most, span.x + span.w - start), h = span.h;
        const std::size_t size = kPatchHeader + static_cast<std::size_t>(w) * h * 4;
        HGLOBAL block = allocate(size);
        if (!block) {
          KvFail("no memory for a patch");
          return fail();
        }
        {
          KvGlobalLock lock(block);
          WritePatch(static_cast<BYTE*>(lock.get()), *pCur, rc.TopLeft(), start, span.y, w, h);
        }
        patches[count] = block;
        sizes[count] = static_cast<WORD>(size);
        ++count;
      }
    }
  } catch (const std::bad_alloc&) {
    KvFail("no memory for the frame");
    return fail();
  }
  *pCount = count;
  return 1;
}

KvMovieEncoder::~KvMovieEncoder() {
  for (HGLOBAL spare : m_spare) GlobalFree(spare);
}

bool KvMovieEncoder::Init(const CRect& rect, const KvMovieKeying& keying, WORD keyInterval) {
  m_rect = rect;
  m_keying = keying;
  m_keyInterval = KvClampKeyInterval(keyInterval);
  // De-flickered, the frames stored alternate between two blocks, so that the one made last
  // is the next one's reference without a copy.
  const auto raster = [](CKvMemBlock& block) {
    return block.InitBlock(CSize(-1, -1), nullptr, 1, 1) != 0;
  };
  if (!raster(m_current) || !raster(m_previous) ||
      (keying.deflicker && (!raster(m_filtered[0]) || !raster(m_filtered[1]))))
    return KvFail("no memory for the raster");
  try {
    m_patches.assign(kPatchSlots, nullptr);
    m_sizes.assign(kPatchSlots, 0);
  } catch (const std::bad_alloc&) {
    return KvFail("no memory for the patch tables");
  }
  return true;
}

void KvMovieEncoder::Place(const DWORD* picture, const CRect& picRect) {
  CRect visible;
  const CRect raster = m_current.GetRect();
  if (!visible.IntersectRect(&picRect, &raster)) return;
  CRect source = visible;
  source.OffsetRect(-picRect.left, -picRect.top);
  // The copy takes a non-const source but only reads it.
  m_current.Copy(visible.TopLeft(), const_cast<DWORD*>(picture), picRect.Size(), source,
                 KV_MIX_COPY);
}

void KvMovieEncoder::SetAlpha(bool hasAlpha) {
  if (!m_keying.colorKey && hasAlpha) return;
  const auto range = [](BYTE key, BYTE tolerance) {
    return std::pair{int{key} - tolerance, int{key} + tolerance};
  };
  const CKvColor32 k = m_keying.key, t = m_keying.tolerance;
  const auto [rLo, rHi] = range(k.R(), t.R());
  const auto [gLo, gHi] = range(k.G(), t.G());
  const auto [bLo, bHi] = range(k.B(), t.B());
  const bool keyed = m_keying.colorKey;
  const auto width = static_cast<std::size_t>(m_rect.Width());
  for (int y = m_rect.top; y < m_rect.bottom; ++y) {
    tagCOLOR32* px =
        m_current.GetAddress() + static_cast<std::size_t>(y) * m_current.GetSize().cx + m_rect.left;
    for (std::size_t x = 0; x < width; ++x) {
      tagCOLOR32& p = px[x];
      if (keyed && p.r >= rLo && p.r <= rHi && p.g >= gLo && p.g <= gHi && p.b >= bLo && p.b <= bHi)
        p.a = 0;
      else if (!hasAlpha)
        p.a = 255;
    }
  }
}

bool KvMovieEncoder::Deflicker(CKvMemBlock& made) {
  // The raster keeps the pictures as placed and `made` is de-flickered from it: filtered in
  // place, pixels carried over from earlier frames would be blurred again on every frame.
  // `made` holds the frame before the last one; only rows whose filter input changed in the
  // last frame or in this one are filtered again.
  const int rows = m_rect.Height(), left = m_rect.left, top = m_rect.top;
  const std::size_t bytes = static_cast<std::size_t>(m_rect.Width()) * 4;
  try {
    std::vector<char> changed(static_cast<std::size_t>(rows), m_filteredFrames < 2);
    for (int r = 0; r < rows; ++r)
      if (std::memcmp(RowAt(m_current, left, top + r), RowAt(m_previous, left, top + r), bytes))
        for (int n = std::max(0, r - 1); n <= std::min(rows - 1, r + 1); ++n) changed[n] = 1;
    m_changedRows.resize(changed.size(), 1);
    std::vector<char> redo(changed);
    for (std::size_t r = 0; r < redo.size(); ++r) redo[r] |= m_changedRows[r];
    m_changedRows.swap(changed);
    ++m_filteredFrames;
    std::vector<BYTE> above(bytes), below(bytes);
    const auto row = [&](int r) {
      return reinterpret_cast<BYTE*>(made.GetAddress()) +
             (static_cast<std::size_t>(top + r) * made.GetSize().cx + left) * 4;
    };
    for (int r = 0; r < rows;) {
      if (!redo[r]) {
        ++r;
        continue;
      }
      int end = r;
      while (end < rows && redo[end]) ++end;
      // Rows r to end - 1 have their neighbours taken from the raster too; those two rows,
      // not to be changed, are put back after the filter (which takes them as edges).
      const int a = std::max(0, r - 1), b = std::min(rows, end + 1);
      if (a < r) std::memcpy(above.data(), row(a), bytes);
      if (b > end) std::memcpy(below.data(), row(b - 1), bytes);
      const CRect area(left, top + a, static_cast<int>(m_rect.right), top + b);
      made.Copy(area.left, area.top, &m_current, area, KV_MIX_COPY);
      made.Deflicker(area, 0);
      if (a < r) std::memcpy(row(a), above.data(), bytes);
      if (b > end) std::memcpy(row(b - 1), below.data(), bytes);
      r = end;
    }
  } catch (const std::bad_alloc&) {
    return false;
  }
  return true;
}

bool KvMovieEncoder::AddFrame(int frame, const DWORD* picture, const CRect& picRect, bool hasAlpha,
                              CKvMotionFileWrite& writer) {
  // The previous frame, kept before this picture changes the current one.
  std::memcpy(m_previous.GetAddress(), m_current.GetAddress(),
              static_cast<std::size_t>(m_current.GetSize().cx) * m_current.GetSize().cy * 4);
  Place(picture, picRect);
  SetAlpha(hasAlpha);
  CKvMemBlock* made = &m_current;
  CKvMemBlock* previous = &m_previous;
  if (m_keying.deflicker) {
    previous = &m_filtered[m_made];
    m_made ^= 1;
    made = &m_filtered[m_made];
    if (!Deflicker(*made)) return KvFail("no memory for the frame");
  }
  int count = 0;
  const bool key = frame % m_keyInterval == 0;
  // Fresh memory for every patch would cost a page fault per page of every frame: blocks of
  // the previous frame are taken again where a patch has the same size.
  const auto allocate = [this](std::size_t size) -> HGLOBAL {
    for (auto it = m_spare.begin(); it != m_spare.end(); ++it)
      if (GlobalSize(*it) == size) {
        HGLOBAL block = *it;
        *it = m_spare.back();
        m_spare.pop_back();
        return block;
      }
    return GlobalAlloc(GHND, size);
  };
  if (!KvEncodeMovieFrame(made, key ? nullptr : previous, &count, m_patches.data(), m_sizes.data(),
                          &m_rect, allocate))
    return false;
  const int appended = writer.AppendFrame(count, m_patches.data(), m_sizes.data());
  // This frame's patch blocks serve the next frame's patches of the same sizes; those that
  // the previous frame left unused are freed.
  for (HGLOBAL spare : m_spare) GlobalFree(spare);
  m_spare.assign(m_patches.begin(), m_patches.begin() + count);
  std::fill_n(m_patches.begin(), count, nullptr);
  return appended || KvFailf("frame %d could not be written", frame);
}

namespace {

// The picture name of frame `i` of the sequence.
CString PictureName(const wchar_t* pszPicFile, int number, int nDigits) {
  wchar_t name[_MAX_PATH];
  CKvMakeMovieMotion::MakeFileName(pszPicFile, number, nDigits, name);
  return name;
}

// Before anything is written: a movie written over one of its own pictures would destroy it,
// and a gap in the sequence would only be met part way, when a movie that must be written in
// place (its folder takes no new file) is already cut short.
bool CheckSequence(const wchar_t* pszPicFile, int nFirst, int frames, int nDigits,
                   const CString& movie) {
  for (int i = 0; i < frames; ++i) {
    const CString name = PictureName(pszPicFile, nFirst + i, nDigits);
    if (KvIsSameFile(name, movie))
      return KvFailf("the movie %s is picture %s of its own sequence", movie.ToUtf8().c_str(),
                     name.ToUtf8().c_str());
    if (!KvDoesFileExist(name)) return KvFailf("picture %s is missing", name.ToUtf8().c_str());
  }
  return true;
}

// Loads one picture and makes frame `i` of it.
bool AddPicture(KvMovieEncoder& encoder, int i, const CString& name, CKvMotionFileWrite& writer) {
  if (!KvDoesFileExist(name)) return KvFailf("picture %s is missing", name.ToUtf8().c_str());
  CRect picRect;
  KvGlobalPtr picture(KvMediaLoadPicFile(name, picRect));
  if (!picture) {
    KvSetFailure(name.ToUtf8() + ": " + KvLastFailure());
    return false;
  }
  // The information call gives a PNG file's bytes per pixel, not its bits, so "32 bits" never
  // holds for PNG and an RGBA sequence would lose its transparency (and it decodes a PNG whole
  // a second time): the header's own account of alpha decides where it can be read, the bit
  // figure only where it cannot.
  SKvPicFacts facts{};
  bool hasAlpha = false;
  if (KvMediaGetPicFacts(name, &facts)) {
    hasAlpha = facts.alpha;
  } else {
    int bits = 8;
    KvMediaGetPicInfo(name, nullptr, &bits);
    hasAlpha = bits == 32;
  }
  return encoder.AddFrame(i, static_cast<const DWORD*>(picture.get()), picRect, hasAlpha, writer);
}

// Frame `i` of the movie, from wherever its picture comes.
using AddFrameFn = std::function<bool(int i, KvMovieEncoder&, CKvMotionFileWrite&)>;

// Every frame, under a progress dialog that can cancel.
bool AddFrames(KvMovieEncoder& encoder, int frames, const AddFrameFn& addFrame,
               CKvMotionFileWrite& writer, CWnd* pParent) {
  CKvProgressDlg progress;
  progress.Create(nullptr, L"正在生成动画文件，请稍候...", 1, 1, 0, pParent);
  progress.SetProgressPercent(0);
  bool ok = true;
  for (int i = 0, shown = -1; i < frames && ok; ++i) {
    progress.PumpMessages();
    if (progress.CheckCancel()) {
      ok = KvFail("cancelled");
      break;
    }
    const int percent =
        std::clamp(static_cast<int>(static_cast<float>(i) * 100.0f / frames), 0, 100);
    if (percent != shown) progress.SetProgressPercent(shown = percent);
    ok = addFrame(i, encoder, writer);
  }
  progress.Close();
  return ok;
}

// Read back before it takes the movie's name: a movie that does not open with every frame
// (written into a device, say) is a failure, and the old movie stays.
bool ReadsBack(const CString& written, int frames) {
  CKvMotionFileRead check;
  const bool whole = check.OpenFile(written) && check.GetInfo().frameCount == frames;
  check.CloseFile();
  if (!whole)
    KvSetFailure("the movie written cannot be read back" +
                 (KvLastFailure().empty() ? std::string() : ": " + KvLastFailure()));
  return whole;
}

// Makes the movie of `frames` frames of the rectangle `rc` under a temporary name, which it
// takes only when every frame is written and the movie reads back.
int WriteMovie(const CRect& rc, const KvMovieKeying& keying, WORD wKeyInterval, int frames,
               const wchar_t* pszMovieFile, const AddFrameFn& addFrame, CWnd* pParent) {
  KvMovieEncoder encoder;
  if (!encoder.Init(rc, keying, wKeyInterval)) return 0;
  // The movie is written under a temporary name, so that a run that stops leaves an existing
  // movie of that name as it was.
  SafeFileWriter target{CString(pszMovieFile)};
  if (!target.Open()) return 0;
  const CString written = CString::FromUtf8(target.Path());
  CKvMotionFileWrite writer;
  if (!writer.CreateFileW(written, wKeyInterval, frames, 4, rc.left, rc.top, rc.Width(),
                          rc.Height()))
    return KvFail("the movie file cannot be created");
  bool ok = AddFrames(encoder, frames, addFrame, writer, pParent);
  // The index is written at the close: a movie whose close fails is not whole.
  if (!writer.CloseFile() && ok) ok = KvFail("the movie file could not be finished");
  ok = ok && ReadsBack(written, frames) && target.Commit();
  if (!ok) target.RemoveFailedInPlace();
  return ok ? 1 : 0;
}

}  // namespace

int CKvMakeMovieMotion::Sink(const wchar_t* pszPicFile, int nFirst, int nLast, int nDigits,
                             int bColorKey, CKvColor32 clrKey, CKvColor32 clrTolerance,
                             int bDeflicker, const RECT* pRect, const wchar_t* pszMovieFile,
                             WORD wKeyInterval, CWnd* pParent) {
  KvClearFailure();
  if (!pszPicFile || !*pszPicFile) return KvFail("no picture name");
  if (nFirst < 0 || nLast < 0) return KvFail("picture numbers below 0");
  // An empty or backward range would make an empty or impossible index.
  if (nLast < nFirst)
    return KvFailf("the last picture %d comes before the first %d", nLast, nFirst);
  if (nLast - nFirst >= 32767) return KvFail("more than 32,767 frames");
  CRect rc;
  const CRect raster = CKvVideoStd::GetResRect();
  if (!pRect || !rc.IntersectRect(pRect, &raster))
    return KvFail("the movie rectangle lies outside the raster");
  if (!pszMovieFile || !*pszMovieFile) return KvFail("no movie name");
  const int frames = nLast - nFirst + 1;
  if (!CheckSequence(pszPicFile, nFirst, frames, nDigits, pszMovieFile)) return 0;

  const auto addPicture = [&](int i, KvMovieEncoder& encoder, CKvMotionFileWrite& writer) {
    return AddPicture(encoder, i, PictureName(pszPicFile, nFirst + i, nDigits), writer);
  };
  return WriteMovie(rc, {bColorKey != 0, clrKey, clrTolerance, bDeflicker != 0}, wKeyInterval,
                    frames, pszMovieFile, addPicture, pParent);
}

int CKvMakeMovieMotion::SinkClip(const wchar_t* pszClipFile, int bColorKey, CKvColor32 clrKey,
                                 CKvColor32 clrTolerance, int bDeflicker, const RECT* pRect,
                                 const wchar_t* pszMovieFile, WORD wKeyInterval, CWnd* pParent) {
  KvClearFailure();
  if (!pszClipFile || !*pszClipFile) return KvFail("no clip name");
  CRect rc;
  const CRect raster = CKvVideoStd::GetResRect();
  if (!pRect || !rc.IntersectRect(pRect, &raster))
    return KvFail("the movie rectangle lies outside the raster");
  if (!pszMovieFile || !*pszMovieFile) return KvFail("no movie name");
  if (KvIsSameFile(pszClipFile, pszMovieFile)) return KvFail("the movie is the clip itself");
  KvClipReader clip;
  if (!clip.Open(CString(pszClipFile).ToUtf8())) return 0;
  const int frames = clip.Format().frames;
  if (frames > 32767) return KvFail("the clip holds more than 32,767 frames");
  std::vector<DWORD> pixels;
  const auto addFrame = [&](int i, KvMovieEncoder& encoder, CKvMotionFileWrite& writer) {
    bool alpha = false;
    if (clip.Next(pixels, alpha) != KvClipReader::Got::kFrame) return false;
    // Each frame stands at the raster's top-left corner, as a picture without an origin
    // does; its size is the decoder's (which the first frame may correct).
    const CRect picRect(0, 0, clip.Format().width, clip.Format().height);
    return encoder.AddFrame(i, pixels.data(), picRect, alpha, writer);
  };
  return WriteMovie(rc, {bColorKey != 0, clrKey, clrTolerance, bDeflicker != 0}, wKeyInterval,
                    frames, pszMovieFile, addFrame, pParent);
}
