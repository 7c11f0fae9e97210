// The movie player interface, its factory, and the movie API.
#pragma once

#include "KvMediaFile/KvMediaApi.h"
#include "host/MemBlock.h"
#include "platform/Geometry.h"
#include "platform/Window.h"

enum ENUMMOVIETYPE {
  MOVIE_UNKNOWN = -1,
  MOVIE_SVE = 0,
  MOVIE_FLIC = 1,
  MOVIE_KVX = 2,
};

// A movie player renders the frame for a time (in passes through the movie) into its work
// block, alone or with a background. Open, Prepare, GetOneFrame any number of times, Close.
class KV_MEDIA_API CKvPlayMovieBase : public CKvObject {
  DECLARE_DYNCREATE(CKvPlayMovieBase)
 public:
  CKvPlayMovieBase() = default;
  ~CKvPlayMovieBase() override;

  CKvObject& operator=(const CKvObject& other) override;
  CKvPlayMovieBase& operator=(const CKvPlayMovieBase& other);

  // The movie's rectangle, a word (the key-frame interval of motion movies) and its frame
  // count, read from the path.
  virtual int GetInfo(CString path, CRect& rect, WORD& word, int& frames);
  // Stores the path and the flag and creates the work block of m_sizeFrame; derived players
  // set the size first and call this last.
  virtual int Open(CString path, int bLoadToMem);
  virtual void Close();
  // Takes the background block (borrowed, may be null); derived players call this first.
  virtual int Prepare(CKvMemBlock* pBack);
  virtual int GetOneFrame(float t);

  static ENUMMOVIETYPE MovieCategory(CString path);
  // Creates, opens and prepares (without background) the player for a path; null when
  // that fails. The caller deletes the player.
  static CKvPlayMovieBase* CreatePlayMovieObj(CString path, int bLoadToMem);

  CString m_strFileName;
  CSize m_sizeFrame;
  WORD m_wKeyInterval = 0;
  int m_nFrames = -1;
  int m_nFramePixels = 0;
  CKvMemBlock m_blockWork;
  int m_bLoadToMem = 0;
  CKvMemBlock* m_pBackBlock = nullptr;
  CPoint m_ptPaste;
  int m_bPrepared = 0;
  // -1 the frame alone, 0 the frame over the background, 1 the background over the frame.
  int m_nMixMode = -1;
  int m_nLastPass = -1;
};

// The movie API. Types: 0 all movie files, 1 FLIC, 2 SVE, 3 KVI, 4 AVI. Shows the host's
// file dialog; 1 with the chosen path, else 0 and an empty path.
KV_MEDIA_API int KvMovieSelectFile(int bOpen, int type, CString& path, CWnd* parent);
// Frames 0, 1, ... into blocks[0], blocks[1], ..., at most `count` of them. 1 on success.
KV_MEDIA_API int KvMovieGetFrames(CString path, int count, CKvMemBlock* blocks);
// Any pointer may be null. 1 on success.
KV_MEDIA_API int KvMovieGetFileInfo(CString path, CRect* pRect, WORD* pWord, int* pFrames);
// The frame at time t as a new picture buffer, with the movie's rectangle; null on failure.
KV_MEDIA_API DWORD* KvMovieGetFrame(CString path, CRect& rect, float t);
