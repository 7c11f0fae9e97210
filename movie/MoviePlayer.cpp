#include "KvMediaFile/KvMovie.h"

#include <algorithm>
#include <cstring>
#include <memory>

#include "KvMediaFile/KvMediaResources.h"
#include "host/Failure.h"
#include "host/FileName.h"
#include "host/ModuleResources.h"
#include "host/PixelOps.h"
#include "host/UiServices.h"
#include "movie/MoviePlayers.h"
#include "platform/GlobalMemory.h"
#include "platform/Paths.h"

IMPLEMENT_DYNCREATE(CKvPlayMovieBase, CKvObject)

CKvPlayMovieBase::~CKvPlayMovieBase() { m_blockWork.Close(); }

CKvObject& CKvPlayMovieBase::operator=(const CKvObject& other) {
  if (const auto* p = dynamic_cast<const CKvPlayMovieBase*>(&other)) *this = *p;
  return *this;
}

CKvPlayMovieBase& CKvPlayMovieBase::operator=(const CKvPlayMovieBase& other) {
  if (this == &other) return *this;
  CKvObject::operator=(other);
  m_strFileName = other.m_strFileName;
  m_sizeFrame = other.m_sizeFrame;
  m_wKeyInterval = other.m_wKeyInterval;
  m_nFrames = other.m_nFrames;
  m_nFramePixels = other.m_nFramePixels;
  m_blockWork = other.m_blockWork;
  m_bLoadToMem = other.m_bLoadToMem;
  m_pBackBlock = other.m_pBackBlock;
  m_ptPaste = other.m_ptPaste;
  m_bPrepared = other.m_bPrepared;
  m_nMixMode = other.m_nMixMode;
  m_nLastPass = other.m_nLastPass;
  return *this;
}

int CKvPlayMovieBase::GetInfo(CString, CRect& rect, WORD& word, int& frames) {
  rect = CRect();
  word = 0;
  frames = -1;
  return 0;
}

int CKvPlayMovieBase::Open(CString path, int bLoadToMem) {
  m_strFileName = path;
  m_bLoadToMem = bLoadToMem;
  if (m_nFramePixels == 0 || m_sizeFrame.cx < 1 || m_sizeFrame.cy < 1) return 0;
  return m_blockWork.InitBlock(m_sizeFrame, nullptr, 1, 1);
}

void CKvPlayMovieBase::Close() { m_blockWork.Close(); }

int CKvPlayMovieBase::Prepare(CKvMemBlock* pBack) {
  m_pBackBlock = pBack;
  m_bPrepared = 0;
  m_nLastPass = -1;
  return 1;
}

int CKvPlayMovieBase::GetOneFrame(float) { return 0; }

ENUMMOVIETYPE CKvPlayMovieBase::MovieCategory(CString path) {
  CString ext = KvPathExtension(path);
  ext.MakeUpper();
  if (ext == L".FLC" || ext == L".FLI") return MOVIE_FLIC;
  if (ext == L".SVE") return MOVIE_SVE;
  if (ext == L".KVX") return MOVIE_KVX;
  return MOVIE_UNKNOWN;
}

std::unique_ptr<CKvPlayMovieBase> KvNewMoviePlayer(const CString& path) {
  switch (CKvPlayMovieBase::MovieCategory(path)) {
    case MOVIE_SVE:
    case MOVIE_KVX:
      return std::make_unique<CKvPlayMovieMotion>();
    case MOVIE_FLIC:
      return std::make_unique<CKvPlayMovieFlick>();
    default:
      return nullptr;
  }
}

CKvPlayMovieBase* CKvPlayMovieBase::CreatePlayMovieObj(CString path, int bLoadToMem) {
  std::unique_ptr<CKvPlayMovieBase> player = KvNewMoviePlayer(path);
  if (!player) return nullptr;
  if (!player->Open(path, bLoadToMem)) return nullptr;
  // The FLIC player throws for a frame of unknown type; the factory's callers get null.
  try {
    if (!player->Prepare(nullptr)) return nullptr;
  } catch (const CFileException&) {
    return nullptr;
  }
  return player.release();
}

// ---------------------------------------------------------------------------------------
// The movie API

int KvMovieSelectFile(int bOpen, int type, CString& path, CWnd* parent) {
  static const UINT kFilters[] = {1502, 1503, 1504, 1505, 1506};
  static const UINT kExtensions[] = {1507, 1508, 1509, 1510, 1511};
  path.Empty();
  if (type < 0 || type > 4) return 0;
  const HINSTANCE module = KvMediaGetResourceHandle();
  CString filter, ext, title;
  CKvModuleRC::LoadStringW(module, kFilters[type], filter);
  CKvModuleRC::LoadStringW(module, kExtensions[type], ext);
  CKvModuleRC::LoadStringW(module, bOpen ? 1500 : 1501, title);
  const DWORD flags =
      bOpen ? OFN_HIDEREADONLY | OFN_FILEMUSTEXIST : OFN_HIDEREADONLY | OFN_OVERWRITEPROMPT;
  CKvFileDialog dialog(bOpen, ext, L"", flags, filter, parent);
  dialog.SetTitle(title);
  if (dialog.DoModal() != IDOK) return 0;
  path = dialog.GetPathName();
  return path.IsEmpty() ? 0 : 1;
}

int KvMovieGetFrames(CString path, int count, CKvMemBlock* blocks) {
  KvClearFailure();
  if (!KvRequireFile(path)) {
    CKvModuleRC::MessageBoxW(KvMediaGetResourceHandle(), 1512, MB_OK);
    return 0;
  }
  std::unique_ptr<CKvPlayMovieBase> player(CKvPlayMovieBase::CreatePlayMovieObj(path, 0));
  if (!player) return 0;
  if (!blocks) return 0;
  // The caller's array holds `count` blocks; frames beyond it are not asked for.
  const int frames = std::min(player->m_nFrames, count);
  try {
    for (int i = 0; i < frames; ++i) {
      if (!player->GetOneFrame(static_cast<float>(i) / static_cast<float>(player->m_nFrames)))
        return 0;
      blocks[i] = player->m_blockWork;
    }
  } catch (const CFileException&) {
    return 0;  // a FLIC frame of unknown type
  }
  return 1;
}

int KvMovieGetFileInfo(CString path, CRect* pRect, WORD* pWord, int* pFrames) {
  std::unique_ptr<CKvPlayMovieBase> player(CKvPlayMovieBase::CreatePlayMovieObj(path, 0));
  if (!player) return 0;
  CRect rect;
  WORD word = 0;
  int frames = 0;
  if (!player->GetInfo(path, rect, word, frames)) return 0;
  if (pRect) *pRect = rect;
  if (pWord) *pWord = word;
  if (pFrames) *pFrames = frames;
  return 1;
}

DWORD* KvMovieGetFrame(CString path, CRect& rect, float t) {
  CRect movieRect;
  WORD word = 0;
  int frames = 0;
  rect = CRect();
  KvClearFailure();
  // One player answers both the movie's rectangle and the frame.
  std::unique_ptr<CKvPlayMovieBase> player(CKvPlayMovieBase::CreatePlayMovieObj(path, 0));
  if (!player || !player->GetInfo(path, movieRect, word, frames)) return nullptr;
  rect = movieRect;
  if (movieRect.IsRectEmpty() || frames < 1) return nullptr;
  try {
    if (!player->GetOneFrame(t)) return nullptr;
  } catch (const CFileException&) {
    return nullptr;  // a FLIC frame of unknown type
  }
  const CSize size = player->m_blockWork.GetSize();
  const std::size_t bytes = static_cast<std::size_t>(size.cx) * size.cy * 4;
  auto* frame = static_cast<DWORD*>(GlobalAlloc(GPTR, bytes));
  if (!frame) return nullptr;
  KvFstMemCopy(frame, player->m_blockWork.GetAddress(), bytes);
  return frame;
}
