// Movies: the motion-movie file, the player interface and factory, the motion and FLIC
// players, and the movie API.
#pragma once

#include "host/Color.h"
#include "movie/FlicPlayer.h"
#include "movie/MotionFile.h"
#include "movie/MotionPlayer.h"
#include "movie/MoviePlayer.h"

// Makes a movie from a numbered sequence of pictures. The base makes nothing (1).
class KV_MEDIA_API CKvMakeMovieBase : public CKvObject {
  DECLARE_DYNCREATE(CKvMakeMovieBase)
 public:
  CKvMakeMovieBase() = default;
  ~CKvMakeMovieBase() override = default;
  CKvObject& operator=(const CKvObject& other) override;
  CKvMakeMovieBase& operator=(const CKvMakeMovieBase& other);

  virtual int Sink(const wchar_t* pszPicFile, int nFirst, int nLast, int nDigits, int bColorKey,
                   CKvColor32 clrKey, CKvColor32 clrTolerance, int bDeflicker, const RECT* pRect,
                   const wchar_t* pszMovieFile, WORD wKeyInterval, CWnd* pParent);
};

class KV_MEDIA_API CKvMakeMovieMotion : public CKvMakeMovieBase {
  DECLARE_DYNCREATE(CKvMakeMovieMotion)
 public:
  CKvMakeMovieMotion() = default;
  ~CKvMakeMovieMotion() override = default;
  CKvObject& operator=(const CKvObject& other) override;
  CKvMakeMovieMotion& operator=(const CKvMakeMovieMotion& other);

  // Writes pictures nFirst..nLast of the template pszPicFile (see MakeFileName) as a motion
  // movie of the rectangle *pRect of the raster, under a temporary name that takes the
  // movie's name only when every frame is written. A key colour within the tolerance becomes
  // transparent; pictures without alpha come out opaque. Shows a progress dialog that can
  // cancel. 1 when every frame was written; 0 leaves no movie file (and an existing one as
  // it was), with the reason recorded.
  int Sink(const wchar_t* pszPicFile, int nFirst, int nLast, int nDigits, int bColorKey,
           CKvColor32 clrKey, CKvColor32 clrTolerance, int bDeflicker, const RECT* pRect,
           const wchar_t* pszMovieFile, WORD wKeyInterval, CWnd* pParent) override;

  // Encodes the rectangle *pRect of pCur against pPrev (a difference frame) or, with pPrev
  // null, as a key frame: one movable block per run of changed 8-pixel cells of each band of
  // 8 rows. The caller owns the blocks. 1 on success; on failure *pCount is 0 and nothing
  // is left allocated.
  static int MakeFrame(int nFrame, CKvMemBlock* pCur, CKvMemBlock* pPrev, int* pCount,
                       void** patches, WORD* sizes, const RECT* pRect);
  // The path of picture nNumber: the template's name followed by the number zero-padded to
  // nDigits digits, folder and extension kept. pszOut holds _MAX_PATH characters.
  static void MakeFileName(const wchar_t* pszPath, int nNumber, int nDigits, wchar_t* pszOut);
};
