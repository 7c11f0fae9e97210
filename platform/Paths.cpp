#include "platform/Paths.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cwchar>

namespace {

void CopyCut(wchar_t* dst, int room, const std::wstring& s) {
  if (!dst) return;
  const std::size_t n = std::min<std::size_t>(s.size(), static_cast<std::size_t>(room - 1));
  s.copy(dst, n);
  dst[n] = L'\0';
}

wchar_t Fold(wchar_t c) { return (c >= L'A' && c <= L'Z') ? c - L'A' + L'a' : c; }

}  // namespace

KvPathParts KvSplitPath(const CString& path) {
  const std::wstring& s = path.Str();
  KvPathParts parts;
  const auto slash = s.rfind(KV_PATH_SEPARATOR);
  const std::size_t nameStart = slash == std::wstring::npos ? 0 : slash + 1;
  parts.dir = CString(s.substr(0, nameStart));
  const std::wstring name = s.substr(nameStart);
  const auto dot = name.rfind(L'.');
  if (dot == std::wstring::npos) {
    parts.fname = CString(name);
  } else {
    parts.fname = CString(name.substr(0, dot));
    parts.ext = CString(name.substr(dot));
  }
  return parts;
}

CString KvPathExtension(const CString& path) { return KvSplitPath(path).ext; }

CString KvJoinPath(const CString& dir, const CString& name) {
  if (dir.IsEmpty()) return name;
  if (dir.Right(1) == KV_PATH_SEPARATOR_STR) return dir + name;
  return dir + KV_PATH_SEPARATOR_STR + name;
}

void _wsplitpath(const wchar_t* path, wchar_t* drive, wchar_t* dir, wchar_t* fname, wchar_t* ext) {
  const KvPathParts p = KvSplitPath(CString(path));
  CopyCut(drive, _MAX_DRIVE, p.drive.Str());
  CopyCut(dir, _MAX_DIR, p.dir.Str());
  CopyCut(fname, _MAX_FNAME, p.fname.Str());
  CopyCut(ext, _MAX_EXT, p.ext.Str());
}

void _wmakepath(wchar_t* path, const wchar_t* drive, const wchar_t* dir, const wchar_t* fname,
                const wchar_t* ext) {
  if (!path) return;
  std::wstring s;
  if (drive && *drive) s += drive;
  if (dir && *dir) {
    s += dir;
    if (s.back() != KV_PATH_SEPARATOR) s += KV_PATH_SEPARATOR;
  }
  if (fname) s += fname;
  if (ext && *ext) {
    if (*ext != L'.') s += L'.';
    s += ext;
  }
  CopyCut(path, _MAX_PATH, s);
}

std::FILE* _wfopen(const wchar_t* path, const wchar_t* mode) {
  if (!path || !mode || !*path) return nullptr;
  const std::string p = CString(path).ToUtf8();
  const std::string m = CString(mode).ToUtf8();
  std::FILE* f = nullptr;
  if (m.starts_with('r') && m.find('+') == std::string::npos) {
    // Read without waiting in open or read: a pipe or device named like a picture would
    // otherwise hold the reader for ever.
    const int fd = ::open(p.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    struct stat st {};
    if (fd >= 0 && ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode))
      ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    f = fd >= 0 ? ::fdopen(fd, m.c_str()) : nullptr;
    if (fd >= 0 && !f) ::close(fd);
  } else {
    f = std::fopen(p.c_str(), m.c_str());
  }
  // A folder opens as a stream here; the original platform refuses it.
  struct stat st {};
  if (f && (::fstat(::fileno(f), &st) != 0 || S_ISDIR(st.st_mode))) {
    std::fclose(f);
    return nullptr;
  }
  return f;
}

int _wcsicmp(const wchar_t* a, const wchar_t* b) {
  return _wcsnicmp(a, b, static_cast<std::size_t>(-1));
}

int _wcsnicmp(const wchar_t* a, const wchar_t* b, std::size_t n) {
  if (!a) a = L"";
  if (!b) b = L"";
  for (std::size_t i = 0; i < n; ++i, ++a, ++b) {
    const wchar_t x = Fold(*a), y = Fold(*b);
    if (x != y) return x < y ? -1 : 1;
    if (!x) return 0;
  }
  return 0;
}
