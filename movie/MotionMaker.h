// The motion-movie maker's own declarations (its class, CKvMakeMovieMotion, is exported from
// KvMovie.h): the frame loop, apart from where its pictures come from. Each picture is placed
// in the raster and keyed, de-flickered on a copy, then stored as a key frame or as the cells
// that changed since the previous frame.
#pragma once

#include <functional>
#include <vector>

#include "KvMediaFile/KvMovie.h"
#include "host/Color.h"
#include "host/MemBlock.h"
#include "platform/GlobalMemory.h"

struct KvMovieKeying {
  bool colorKey = false;
  CKvColor32 key;        // red, green and blue are used
  CKvColor32 tolerance;  // per channel, around the key
  bool deflicker = false;
};

class KvMovieEncoder {
 public:
  KvMovieEncoder() = default;
  ~KvMovieEncoder();
  KvMovieEncoder(const KvMovieEncoder&) = delete;
  KvMovieEncoder& operator=(const KvMovieEncoder&) = delete;

  // `rect`: the movie rectangle, already within the raster. False when a raster block or the
  // patch tables cannot be had.
  bool Init(const CRect& rect, const KvMovieKeying& keying, WORD keyInterval);

  // Makes frame `frame` from a picture of `picRect`'s size placed at `picRect`, and appends
  // it to `writer`. `hasAlpha`: the picture's own alpha counts (a 32-bit file). False when
  // the frame could not be encoded or written; the reason is recorded.
  bool AddFrame(int frame, const DWORD* picture, const CRect& picRect, bool hasAlpha,
                CKvMotionFileWrite& writer);

  // The frame just made, in raster coordinates.
  const CKvMemBlock& Current() const { return m_keying.deflicker ? m_filtered[m_made] : m_current; }

 private:
  void Place(const DWORD* picture, const CRect& picRect);
  void SetAlpha(bool hasAlpha);
  bool Deflicker(CKvMemBlock& made);

  CRect m_rect;
  KvMovieKeying m_keying;
  WORD m_keyInterval = 10;
  CKvMemBlock m_current;      // the raster, the pictures as placed
  CKvMemBlock m_previous;     // the raster before this frame's picture
  CKvMemBlock m_filtered[2];  // de-flickered: the frames stored, m_made the last one
  int m_made = 0;
  int m_filteredFrames = 0;
  std::vector<char> m_changedRows;  // rows of the rectangle whose filter input last changed
  std::vector<void*> m_patches;
  std::vector<WORD> m_sizes;
  std::vector<HGLOBAL> m_spare;  // the last frame's patch blocks, for the next one
};

// MakeFrame with the patch blocks from `allocate` (a zero-filled-or-not movable block of the
// size asked, or null).
int KvEncodeMovieFrame(CKvMemBlock* pCur, CKvMemBlock* pPrev, int* pCount, void** patches,
                       WORD* sizes, const RECT* pRect,
                       const std::function<HGLOBAL(std::size_t)>& allocate);
