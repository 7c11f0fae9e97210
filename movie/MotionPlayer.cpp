#include "KvMediaFile/KvMovie.h"
#include "movie/MotionFile.h"

#include <fcntl.h>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include <algorithm>
#include <cmath>
#include <limits>
#include <new>

#include "host/ByteReader.h"
#include "platform/GlobalMemory.h"

IMPLEMENT_DYNCREATE(CKvPlayMovieMotion, CKvPlayMovieBase)

namespace {

// Bytes read from the file at a time: about what the cache keeps while the patches in them
// are laid.
constexpr std::size_t kReadSlice = 256 << 10;

// Whether every pixel of the patch has alpha 255 (bytes B, G, R, A).
bool Opaque(std::span<const BYTE> pixels) {
  const BYTE* p = pixels.data();
  const std::size_t n = pixels.size();
  std::size_t i = 0;
#if defined(__SSE2__)
  // 64 bytes a step, stopping at the first step with a pixel that is not opaque.
  const __m128i others = _mm_set1_epi32(0x00FFFFFF), ones = _mm_set1_epi32(-1);
  const auto load = [p](std::size_t at) {
    return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + at));
  };
  for (; i + 64 <= n; i += 64) {
    const __m128i all = _mm_and_si128(_mm_and_si128(load(i), load(i + 16)),
                                      _mm_and_si128(load(i + 32), load(i + 48)));
    if (_mm_movemask_epi8(_mm_cmpeq_epi8(_mm_or_si128(all, others), ones)) != 0xFFFF) return false;
  }
#endif
  for (; i + 4 <= n; i += 4)
    if (p[i + 3] != 0xFF) return false;
  return true;
}

// Lays `patch` at (x, y) of `work` in mix mode `mode`: 0 over the background `back`
// (pasted at `paste`), 1 under it, any other as it is.
void LayPatch(CKvMemBlock& work, CKvMemBlock* back, CPoint paste, int mode, int x, int y,
              CKvMemBlock& patch, std::span<const BYTE> pixels) {
  const int w = patch.GetSize().cx, h = patch.GetSize().cy;
  const CRect under(x + paste.x, y + paste.y, x + paste.x + w, y + paste.y + h);
  switch (mode) {
    case 0:
      // An opaque patch hides the background whole: laying it over gives its own pixels,
      // so the background is not copied first (a full-change movie is all such patches).
      // It is copied before it is looked at, so that the look finds it in the cache; a
      // patch that is not opaque is then laid again over the background.
      work.Copy(x, y, &patch, patch.GetRect(), KV_MIX_COPY);
      if (Opaque(pixels)) break;
      // Where the background does not reach, the patch lies over transparency rather than
      // over whatever the block held.
      if (!back || (back->GetRect() & under) != under) {
        const CRect area(x, y, x + w, y + h);
        work.ClearBlock(&area, CKvColor32(0, 0, 0, 0));
      }
      work.Copy(x, y, back, under, KV_MIX_COPY);
      work.Copy(x, y, &patch, patch.GetRect(), KV_MIX_OVER);
      break;
    case 1:
      work.Copy(x, y, &patch, patch.GetRect(), KV_MIX_COPY);
      work.Copy(x, y, back, under, KV_MIX_OVER);
      break;
    default:
      work.Copy(x, y, &patch, patch.GetRect(), KV_MIX_COPY);
      break;
  }
}

}  // namespace

CKvPlayMovieMotion::~CKvPlayMovieMotion() { m_file.CloseFile(); }

int CKvPlayMovieMotion::GetInfo(CString path, CRect& rect, WORD& word, int& frames) {
  return CKvMotionFileRead::GetFileInfo(path, rect, word, frames);
}

int CKvPlayMovieMotion::Open(CString path, int bLoadToMem) {
  m_nFrames = 0;
  m_wKeyInterval = 0;
  CRect rect;
  if (!GetInfo(path, rect, m_wKeyInterval, m_nFrames)) return 0;
  if (rect.IsRectEmpty() || m_wKeyInterval == 0 || m_nFrames < 1) return 0;
  m_sizeFrame = CSize(rect.Width(), rect.Height());
  m_nFramePixels = rect.Width() * rect.Height();
  m_nCurFrame = -1;
  return CKvPlayMovieBase::Open(path, bLoadToMem);
}

void CKvPlayMovieMotion::Close() {
  m_file.CloseFile();
  std::vector<BYTE>().swap(m_chunk);
  CKvPlayMovieBase::Close();
}

int CKvPlayMovieMotion::Prepare(CKvMemBlock* pBack) {
  CKvPlayMovieBase::Prepare(pBack);
  if (!m_file.OpenFile(m_strFileName)) return 0;
  // The work block's pages are touched here rather than by the first frame on air (it was
  // allocated zeroed, so its pixels do not change).
  m_blockWork.ClearBlock(nullptr, CKvColor32(0, 0, 0, 0));
  int result = 1;
  if (m_bLoadToMem) {
    result = m_file.LoadAllFCToMem();
  } else {
    // Room for the largest chunk the file can hold is taken now, not during playback; the
    // first key-frame group is read now and the next asked for.
    const ULONGLONG length = m_file.GetLength();
    std::size_t largest = 0;
    for (int f = 0; f < m_nFrames; ++f) {
      LONGLONG position = 0;
      LONG size = 0;
      if (m_file.GetIndexEntry(f, position, size) && size > 0 &&
          size <= CKvMotionFileRead::kMaxChunkBytes && static_cast<ULONGLONG>(size) <= length)
        largest = std::max(largest, static_cast<std::size_t>(size));
    }
    try {
      m_chunk.assign(largest, 0);
    } catch (const std::bad_alloc&) {
      m_chunk.clear();  // grown frame by frame instead
    }
    const int K = m_wKeyInterval ? m_wKeyInterval : 1;
    for (int f = 0; f < std::min(m_nFrames, 2 * K); ++f) ReadAhead(f);
    // The first frame's chunk is read now, so that it is in memory when it goes on air.
    if (const std::size_t bytes = SeekFileChunk(0)) {
      try {
        m_file.Read(m_chunk.data(), static_cast<UINT>(bytes));
      } catch (const CException&) {
      }
    }
  }
  m_bPrepared = 1;
  return result;
}

int CKvPlayMovieMotion::GetOneFrame(float t) {
  const int n = m_nFrames;
  if (n < 1 || !m_blockWork.IsValid()) return 1;
  // Times before the start play the first frame; very late ones are held to a range in
  // which the frame arithmetic cannot overflow.
  if (!(t > 0)) t = 0;
  const float product = static_cast<float>(n) * t + 0.001f;
  const int idx = product >= 1e9f ? static_cast<int>(1e9f) : static_cast<int>(product);

  const int pass = idx / n;
  if (pass != m_nLastPass) {
    m_nLastPass = pass;
    // The reset block holds no frame, so the requested frame's key frame must be applied
    // again even when the held frame lies in the same group.
    m_nCurFrame = -1;
    // A background that covers the movie's place writes every pixel: no clearing first.
    const CRect area(m_ptPaste, m_sizeFrame);
    const bool fromBack = m_nMixMode == 0 || m_nMixMode == 1;
    if (!fromBack || !m_pBackBlock || (m_pBackBlock->GetRect() & area) != area)
      m_blockWork.ClearBlock(nullptr, CKvColor32(0, 0, 0, 0));
    if (fromBack) m_blockWork.Copy(0, 0, m_pBackBlock, area, KV_MIX_COPY);
  }
  const int r = idx % n;
  const int K = m_wKeyInterval ? m_wKeyInterval : 1;
  const int k = (r / K) * K;
  if (r < m_nCurFrame || (m_nCurFrame / K) * K != k) {
    GetFCDiff(k, m_bLoadToMem);
    m_nCurFrame = k;
  }
  while (m_nCurFrame < r) {
    ++m_nCurFrame;
    GetFCDiff(m_nCurFrame, m_bLoadToMem);
  }
  return 1;
}

std::size_t CKvPlayMovieMotion::SeekFileChunk(int frame) {
  LONGLONG position = 0;
  LONG size = 0;
  if (!m_file.GetIndexEntry(frame, position, size) || position < 0 ||
      size < static_cast<LONG>(kKvMotionFrameHeaderSize) ||
      size > CKvMotionFileRead::kMaxChunkBytes)
    return 0;
  const auto bytes = static_cast<std::size_t>(size);
  try {
    if (m_chunk.size() < bytes) {
      // Only an index that Prepare could not size grows it: never beyond the file.
      if (static_cast<ULONGLONG>(position) + bytes > m_file.GetLength()) return 0;
      m_chunk.resize(bytes);
    }
    m_file.Seek(position, CFile::begin);
  } catch (const CException&) {
    return 0;
  } catch (const std::bad_alloc&) {
    return 0;
  }
  return bytes;
}

void CKvPlayMovieMotion::ReadAhead(int frame) const {
  LONGLONG position = 0;
  LONG size = 0;
  if (m_file.m_hFile != CFile::hFileNull && m_file.GetIndexEntry(frame, position, size) &&
      position >= 0 && size > 0)
    ::posix_fadvise(m_file.m_hFile, position, size, POSIX_FADV_WILLNEED);
}

int CKvPlayMovieMotion::GetFCDiff(int frame, int bFromMem) {
  const WORD version = m_file.GetVersion();
  if (version > 2) return 0;
  std::span<const BYTE> chunk;
  void* handle = bFromMem ? m_file.GetMemFC(frame) : nullptr;
  KvGlobalLock lock(handle);
  if (bFromMem) {
    if (!lock) return 0;
    chunk = {static_cast<const BYTE*>(lock.get()), GlobalSize(handle)};
  } else {
    chunk = {m_chunk.data(), SeekFileChunk(frame)};
    // The chunk a key-frame group ahead is asked for now, one a frame, so that a file that is
    // not in memory is read from the disk before it is needed (round again at the end).
    const int K = m_wKeyInterval ? m_wKeyInterval : 1;
    if (m_nFrames > 0) ReadAhead((frame + K) % m_nFrames);
    if (chunk.empty()) return 0;
  }
  // From the file the chunk is read only as far as the next patch needs, a slice at a time,
  // so that the pixels are laid while they are still in the cache. Bytes not yet read are
  // never looked at: every read below first asks for them.
  std::size_t have = bFromMem ? chunk.size() : 0;
  const auto readTo = [&](ULONGLONG end) {
    if (end <= have) return true;
    const std::size_t wanted = static_cast<std::size_t>(std::min<ULONGLONG>(end, chunk.size()));
    const std::size_t to = std::min(chunk.size(), std::max(wanted, have + kReadSlice));
    try {
      const auto n = static_cast<UINT>(to - have);
      if (m_file.Read(m_chunk.data() + have, n) != n) return false;
    } catch (const CException&) {
      return false;
    }
    have = to;
    return true;
  };
  if (!readTo(kKvMotionFrameHeaderSize)) return 0;
  ByteReader header(chunk);
  const short count = header.i16le();
  if (!header.ok() || count <= 0) return 1;

  for (int i = 0; i < count; ++i) {
    LONGLONG offset = 0;
    WORD stored = 0;  // not used: a patch's extent is its header's
    // The table runs past the chunk: nothing more to read.
    if (!readTo(kKvMotionFrameHeaderSize + (i + 1) * KvMotionPatchEntrySize(version)) ||
        !KvMotionPatchEntry(chunk, version, i, offset, stored))
      break;
    // A patch must lie wholly inside its chunk; one that does not is skipped.
    ByteReader patch(chunk);
    if (offset < 0 || !readTo(static_cast<ULONGLONG>(offset) + kKvMotionPatchHeaderSize) ||
        !patch.seek(static_cast<std::size_t>(offset)))
      continue;
    const short x = patch.i16le(), y = patch.i16le(), w = patch.i16le(), h = patch.i16le();
    if (!patch.skip(8) || w <= 0 || h <= 0) continue;
    const std::size_t pixelBytes = static_cast<std::size_t>(w) * static_cast<std::size_t>(h) * 4;
    if (!readTo(static_cast<ULONGLONG>(offset) + kKvMotionPatchHeaderSize + pixelBytes)) break;
    const std::span<const BYTE> pixels = patch.bytes(pixelBytes);
    if (pixels.empty()) continue;

    CKvMemBlock block;
    if (!block.InitBlock(CSize(w, h),
                         reinterpret_cast<tagCOLOR32*>(const_cast<BYTE*>(pixels.data()))))
      continue;
    LayPatch(m_blockWork, m_pBackBlock, m_ptPaste, m_nMixMode, x, y, block, pixels);
    block.Close();
  }
  return 1;
}
