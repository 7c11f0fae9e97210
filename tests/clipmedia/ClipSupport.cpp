#include "ClipSupport.h"

#include <sys/stat.h>

#include <fcntl.h>

#include "KvMediaFile/KvPicture.h"
#include "TestSupport.h"
#include "platform/Paths.h"

namespace kvtest {

void WritePicture(const std::string& path, int w, int h, int seed) {
  std::vector<DWORD> pixels(static_cast<std::size_t>(w) * h);
  for (std::size_t i = 0; i < pixels.size(); ++i)
    pixels[i] = 0xFF000000u | static_cast<DWORD>(i * 2654435761u + seed * 97u);
  const CString p = CString::FromUtf8(path);
  const bool bmp = KvPathExtension(p).CompareNoCase(L".bmp") == 0;
  (bmp ? KvMediaSaveBMPFile : KvMediaSaveTGAFile)(p, pixels.data(), CSize(w, h), CRect(0, 0, w, h));
}

void SetWriteTime(const std::string& path, long long seconds) {
  const timespec times[2] = {{seconds, 0}, {seconds, 0}};
  ::utimensat(AT_FDCWD, path.c_str(), times, 0);
}

void SpoilKeepingState(const std::string& path) {
  struct stat st {};
  ::stat(path.c_str(), &st);
  WriteFileBytes(path, std::vector<unsigned char>(static_cast<std::size_t>(st.st_size), 0xEE));
  const timespec times[2] = {st.st_atim, st.st_mtim};
  ::utimensat(AT_FDCWD, path.c_str(), times, 0);
}

bool SameRecord(const CKvClipMedia& a, const CKvClipMedia& b) {
  CKvClipMedia& other = const_cast<CKvClipMedia&>(b);
  return a.CompareMedia(&other) && a.GetFileFullPath() == b.GetFileFullPath() &&
         a.GetName() == b.GetName() && a.GetPicSize() == b.GetPicSize() &&
         a.GetBits() == b.GetBits() && a.GetIcon().Compare(&b.GetIcon());
}

std::vector<const CKvClipMedia*> Records(CKvObList& list) {
  std::vector<const CKvClipMedia*> out;
  for (POSITION pos = list.GetHeadPosition(); pos;)
    out.push_back(dynamic_cast<const CKvClipMedia*>(list.GetNext(pos)));
  return out;
}

}  // namespace kvtest
