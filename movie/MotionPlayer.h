// Playback of motion movies: frame chunks of patches applied from the nearest key frame.
#pragma once

#include "movie/MotionFile.h"
#include "movie/MoviePlayer.h"

class KV_MEDIA_API CKvPlayMovieMotion : public CKvPlayMovieBase {
  DECLARE_DYNCREATE(CKvPlayMovieMotion)
 public:
  CKvPlayMovieMotion() = default;
  ~CKvPlayMovieMotion() override;

  int GetInfo(CString path, CRect& rect, WORD& word, int& frames) override;
  int Open(CString path, int bLoadToMem) override;
  void Close() override;
  int Prepare(CKvMemBlock* pBack) override;
  // Brings the work block to the frame at time t (negative times play as 0); always 1.
  int GetOneFrame(float t) override;

  int m_nCurFrame = -1;

 protected:
  // Applies the patches of one frame chunk to the work block. Patches that the chunk cannot
  // hold are skipped; what lies outside the work block or the background is clipped.
  int GetFCDiff(int frame, int bFromMem);

  CKvMotionFileRead m_file;
};
