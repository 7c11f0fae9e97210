// Path wrapper and file-system queries of the host services.
#pragma once

#include "platform/String.h"

class KV_HOST_API CKvFileName {
 public:
  explicit CKvFileName(CString path);
  ~CKvFileName() = default;

  BOOL Exist() const;
  CString GetFilePath() const { return m_path; }
  // Name and extension.
  CString GetFileName() const;
  // Name without extension.
  CString GetFileTitle() const;
  // Extension with its dot; "" when there is none.
  CString GetFileExt() const;

 private:
  CString m_path;
};

// Non-zero when a regular file (or a link to one) is at the path.
KV_HOST_API int KvDoesFileExist(CString path);
// Non-zero when a folder is at the path.
KV_HOST_API int KvDoesDirExist(CString path);
// True when a regular file (or a link to one) is at the path; otherwise false, with the
// reason recorded as the library's last failure in place of any earlier one: "no such
// file", "is a folder" or "not a regular file" (a pipe, a device or a socket, which the
// readers never open).
KV_HOST_API bool KvRequireFile(const CString& path);
// True when both paths name one existing file (same device and inode), however they are
// spelt: through links, "./", "..", or a second hard link. False when either is missing.
KV_HOST_API bool KvIsSameFile(const CString& a, const CString& b);
// The running executable's folder, with a trailing separator.
KV_HOST_API CString KvGetAppModulePath();
