#include "picture/PictureService.h"

#include <array>

#include "KvMediaFile/KvMediaResources.h"
#include "KvMediaFile/KvMovie.h"
#include "KvMediaFile/KvPicture.h"
#include "host/FileName.h"
#include "host/ModuleResources.h"
#include "host/UiServices.h"
#include "picture/ImageLoader.h"
#include "picture/PictureBuffer.h"
#include "platform/Paths.h"

namespace {

std::array<WORD, 256 * 256> g_product{};
std::array<BYTE, 256> g_level{};

constexpr const wchar_t* kEmptyPictureName = L"Velmora_Empty.tga";

struct TypeEntry {
  const wchar_t* ext;
  int type;
};
constexpr TypeEntry kTypes[] = {
    {L".TGA", KV_PIC_TGA}, {L".BMP", KV_PIC_BMP}, {L".GIF", KV_PIC_GIF},
    {L".PCX", KV_PIC_PCX}, {L".JPG", KV_PIC_JPG}, {L".PNG", KV_PIC_PNG},
    {L".PSD", KV_PIC_PSD}, {L".SVE", KV_PIC_SVE}, {L".FLI", KV_PIC_FLI},
};

using Loader = DWORD* (*)(CString, CRect&);

// The loader of each picture type; types whose codec is not in this build load as null and
// are skipped by the chain for unknown extensions.
Loader LoaderOf(int type) {
  switch (type) {
    case KV_PIC_TGA:
      return &KvMediaLoadTGAFile;
    case KV_PIC_BMP:
      return &KvMediaLoadBMPFile;
    case KV_PIC_GIF:
      return &KvMediaLoadGIFFile;
    case KV_PIC_PCX:
      return &KvMediaLoadPCXFile;
    case KV_PIC_JPG:
      return &KvMediaLoadJPGFile;
    case KV_PIC_PNG:
      return &KvMediaLoadPNGFile;
    case KV_PIC_PSD:
      return &KvMediaLoadPSDFile;
    default:
      return nullptr;
  }
}

// Movie files give their first frame.
DWORD* LoadMovieFrame(const CString& path, CRect& rect) {
  return KvMovieGetFrame(path, rect, 0.0f);
}

}  // namespace

const WORD* KvProductTable() { return g_product.data(); }
const BYTE* KvLevelTable() { return g_level.data(); }

int KvMediaFileOpen() {
  for (int a = 0; a < 256; ++a)
    for (int b = 0; b < 256; ++b) g_product[a * 256 + b] = static_cast<WORD>(a * b);
  for (int v = 0; v < 256; ++v) {
    const int t = static_cast<int>(v * 1.0079 + 0.5);
    g_level[v] = static_cast<BYTE>(t > 255 ? 255 : t);
  }
  if (!KvImageLoader()) {
    try {
      KvSetImageLoader(new CImageLoader);
    } catch (...) {
      KvSetImageLoader(nullptr);  // the loaders that need it then fail, as without it
    }
  }
  return 1;
}

int KvMediaFileClose() {
  if (CImageLoader* loader = KvImageLoader()) {
    KvSetImageLoader(nullptr);
    delete loader;
  }
  return 1;
}

int KvMediaGetPicFileType(CString path, int& type) {
  type = KV_PIC_UNKNOWN;
  const CString ext = KvPathExtension(path);
  for (const TypeEntry& e : kTypes) {
    if (_wcsicmp(ext, e.ext) == 0) {
      type = e.type;
      return 1;
    }
  }
  return 0;
}

DWORD* KvMediaLoadPicFile(CString path, CRect& rect) {
  if (!KvDoesFileExist(path)) return nullptr;
  int type = KV_PIC_UNKNOWN;
  KvMediaGetPicFileType(path, type);
  if (type >= KV_PIC_TGA && type <= KV_PIC_PSD) {
    const Loader load = LoaderOf(type);
    return load ? load(path, rect) : nullptr;
  }
  if (type == KV_PIC_SVE || type == KV_PIC_FLI) return LoadMovieFrame(path, rect);
  for (int t = KV_PIC_TGA; t <= KV_PIC_PSD; ++t) {
    if (const Loader load = LoaderOf(t))
      if (DWORD* picture = load(path, rect)) return picture;
  }
  return LoadMovieFrame(path, rect);
}

int KvMediaSavePicFile(CString path, DWORD* buffer, CSize size, CRect rect, CWnd* parent) {
  const HINSTANCE module = KvMediaGetResourceHandle();
  int type = KV_PIC_UNKNOWN;
  KvMediaGetPicFileType(path, type);
  if (type != KV_PIC_TGA && type != KV_PIC_BMP) {
    CKvModuleRC::MessageBoxW(module, 1119, MB_OK);
    return 0;
  }
  CString format, text;
  CKvModuleRC::LoadStringW(module, 1117, format);
  text.Format(format, path);
  CKvProgressDlg progress;
  progress.Create(nullptr, text, 0, 0, 0, parent);
  const int result = type == KV_PIC_TGA ? KvMediaSaveTGAFile(path, buffer, size, rect)
                                        : KvMediaSaveBMPFile(path, buffer, size, rect);
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
