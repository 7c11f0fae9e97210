#include <string>

#include "KvMediaFile/KvMediaResources.h"
#include "KvMediaFile/KvMovie.h"
#include "KvMediaFile/KvPicture.h"
#include "host/Failure.h"
#include "host/FileName.h"
#include "host/ModuleResources.h"
#include "host/UiServices.h"
#include "picture/PictureBuffer.h"
#include "picture/PictureFormats.h"
#include "platform/GlobalMemory.h"
#include "platform/Paths.h"

namespace {

constexpr const wchar_t* kEmptyPictureName = L"Velmora_Empty.tga";

// Movie files give their first frame.
DWORD* LoadMovieFrame(const CString& path, CRect& rect) {
  return KvMovieGetFrame(path, rect, 0.0f);
}

}  // namespace

int KvMediaGetPicFileType(CString path, int& type) {
  const KvPictureFormat* format = KvFindPictureFormat(path);
  type = format ? format->type : KV_PIC_UNKNOWN;
  return format ? 1 : 0;
}

DWORD* KvMediaLoadPicFile(CString path, CRect& rect) {
  KvClearFailure();
  if (!KvRequireFile(path)) return nullptr;
  const KvPictureFormat* format = KvFindPictureFormat(path);
  if (format && format->load) {
    DWORD* picture = format->load(path, rect);
    if (!picture) {
      // A file that is another type than its extension says is told as such.
      const int content = KvSniffPictureType(path);
      if (content != KV_PIC_UNKNOWN && content != format->type)
        KvSetFailure(std::string("content is ") + KvPictureFormatOfType(content)->name + ", not " +
                     format->name);
    }
    return picture;
  }
  if (format) return LoadMovieFrame(path, rect);
  for (const KvPictureFormat& f : KvPictureFormats()) {
    if (!f.load || f.type == KV_PIC_UNKNOWN) continue;
    if (DWORD* picture = f.load(path, rect)) {
      KvClearFailure();
      return picture;
    }
  }
  DWORD* frame = LoadMovieFrame(path, rect);
  if (frame)
    KvClearFailure();
  else
    KvSetFailure("not a picture or movie of any type this library reads");
  return frame;
}

int KvMediaCheckPicFile(CString path) {
  const KvPictureFormat* format = KvFindPictureFormat(path);
  if (!format) format = KvPictureFormatOfType(KvSniffPictureType(path));
  if (format && format->check && KvDoesFileExist(path)) return format->check(path);
  // The other loaders refuse whatever damage they meet: a load is the check.
  CRect rect;
  const KvGlobalPtr picture(KvMediaLoadPicFile(path, rect));
  return picture ? 1 : 0;
}

int KvMediaSavePicFile(CString path, DWORD* buffer, CSize size, CRect rect, CWnd* parent) {
  const HINSTANCE module = KvMediaGetResourceHandle();
  KvClearFailure();
  const KvPictureFormat* format = KvFindPictureFormat(path);
  if (!format || !format->savedByDispatch) {
    KvFail("only TGA and BMP files are saved here");
    CKvModuleRC::MessageBoxW(module, 1119, MB_OK);
    return 0;
  }
  CString pattern, text;
  CKvModuleRC::LoadStringW(module, 1117, pattern);
  text.Format(pattern, path);
  CKvProgressDlg progress;
  progress.Create(nullptr, text, 0, 0, 0, parent);
  const int result = format->save(path, buffer, size, rect);
  progress.Close();
  if (!result) CKvModuleRC::MessageBoxW(module, 1118, MB_OK);
  return result;
}

int KvMediaPromptSavePicFile(DWORD* buffer, CSize size, CRect rect, CWnd* parent) {
  if (rect.IsRectEmpty()) {
    CKvModuleRC::MessageBoxW(KvMediaGetResourceHandle(), 1120, MB_OK);
    return 0;
  }
  CKvFileDialog dialog(FALSE, L"", L"", OFN_HIDEREADONLY | OFN_OVERWRITEPROMPT,
                       L"TGA文件(*.tga)|*.tga|BMP文件(*.bmp)|*.bmp||", parent);
  if (dialog.DoModal() != IDOK) return 0;
  const CString path = dialog.GetPathName();
  if (path.IsEmpty()) return 0;
  return KvMediaSavePicFile(path, buffer, size, rect, parent);
}

CString KvMediaGetEmptyPicFile(int create) {
  const CString path = KvGetAppModulePath() + kEmptyPictureName;
  if (create) KvMediaCreateEmptyPicFile(path, CSize(4, 4));
  return path;
}

int KvMediaCreateEmptyPicFile(const wchar_t* path, CSize size) {
  const CString target = path ? CString(path) : KvMediaGetEmptyPicFile(0);
  if (KvDoesFileExist(target)) return 1;
  const long long w = size.cx < 0 ? -static_cast<long long>(size.cx) : size.cx;
  const long long h = size.cy < 0 ? -static_cast<long long>(size.cy) : size.cy;
  // Sizes beyond the picture limit are refused like any allocation failure.
  const PictureBuffer pixels = PictureBuffer::Allocate(w, h);
  if (!pixels) return 0;
  return KvMediaSaveTGAFile(target, pixels.data(), size, CRect(0, 0, size.cx, size.cy));
}
