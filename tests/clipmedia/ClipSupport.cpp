#include "ClipSupport.h"

#include <sys/stat.h>

#include <fcntl.h>

#include "TestSupport.h"

namespace kvtest {

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

std::vector<CKvClipMedia*> Records(CKvObList& list) {
  std::vector<CKvClipMedia*> out;
  for (POSITION pos = list.GetHeadPosition(); pos;)
    out.push_back(dynamic_cast<CKvClipMedia*>(list.GetNext(pos)));
  return out;
}

}  // namespace kvtest
