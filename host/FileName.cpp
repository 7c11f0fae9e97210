#include "host/FileName.h"

#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <string>

#include "host/Failure.h"
#include "platform/Paths.h"

CKvFileName::CKvFileName(CString path) : m_path(std::move(path)) {}

BOOL CKvFileName::Exist() const { return KvDoesFileExist(m_path); }
CString CKvFileName::GetFileName() const {
  const KvPathParts p = KvSplitPath(m_path);
  return p.fname + p.ext;
}
CString CKvFileName::GetFileTitle() const { return KvSplitPath(m_path).fname; }
CString CKvFileName::GetFileExt() const { return KvSplitPath(m_path).ext; }

int KvDoesFileExist(CString path) {
  struct stat st {};
  return !path.IsEmpty() && ::stat(path.ToUtf8().c_str(), &st) == 0 && S_ISREG(st.st_mode) ? 1 : 0;
}

int KvDoesDirExist(CString path) {
  struct stat st {};
  return !path.IsEmpty() && ::stat(path.ToUtf8().c_str(), &st) == 0 && S_ISDIR(st.st_mode) ? 1 : 0;
}

bool KvRequireFile(const CString& path) {
  // No file is the whole story: it replaces whatever an earlier step recorded.
  const auto refuse = [](const char* why) {
    KvSetFailure(why);
    return false;
  };
  struct stat st {};
  if (path.IsEmpty() || ::stat(path.ToUtf8().c_str(), &st) != 0) return refuse("no such file");
  if (S_ISDIR(st.st_mode)) return refuse("is a folder");
  return S_ISREG(st.st_mode) || refuse("not a regular file");
}

bool KvIsSameFile(const CString& a, const CString& b) {
  struct stat x {
  }, y{};
  return !a.IsEmpty() && !b.IsEmpty() && ::stat(a.ToUtf8().c_str(), &x) == 0 &&
         ::stat(b.ToUtf8().c_str(), &y) == 0 && x.st_dev == y.st_dev && x.st_ino == y.st_ino;
}

CString KvGetAppModulePath() {
  std::string buf(PATH_MAX, '\0');
  const ssize_t n = ::readlink("/proc/self/exe", buf.data(), buf.size() - 1);
  if (n <= 0) return CString(KV_PATH_SEPARATOR_STR);
  buf.resize(static_cast<std::size_t>(n));
  const auto slash = buf.rfind('/');
  return CString::FromUtf8(slash == std::string::npos ? std::string("/")
                                                      : buf.substr(0, slash + 1));
}
