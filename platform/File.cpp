#include "platform/File.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>

namespace {

[[noreturn]] void ThrowErrno(const CString& path) {
  const int err = errno;
  throw CFileException(CFileException::OsErrorToException(err), err, path);
}

}  // namespace

CFile::CFile(const wchar_t* path, UINT flags) {
  CFileException error;
  if (!Open(path, flags, &error)) throw error;
}

CFile::~CFile() { Abort(); }

BOOL CFile::Open(const wchar_t* path, UINT flags, CFileException* error) {
  if (m_hFile != hFileNull) Abort();
  m_strFileName = path ? path : L"";
  int oflags = O_CLOEXEC;
  switch (flags & 3) {
    case modeWrite:
      oflags |= O_WRONLY;
      break;
    case modeReadWrite:
      oflags |= O_RDWR;
      break;
    default:
      oflags |= O_RDONLY;
      break;
  }
  if (flags & modeCreate) {
    oflags |= O_CREAT;
    if (!(flags & modeNoTruncate)) oflags |= O_TRUNC;
  }
  // Never waits in open: a pipe with no one at the other end, or a device, would hold the
  // caller (and a folder search with it) for ever. A pipe opened for writing with no reader
  // fails at once (ENXIO).
  oflags |= O_NONBLOCK;
  const std::string native = m_strFileName.ToUtf8();
  const int fd = (path && *path) ? ::open(native.c_str(), oflags, 0666) : (errno = ENOENT, -1);
  int err = fd < 0 ? errno : 0;
  if (fd >= 0) {
    struct stat st {};
    if (::fstat(fd, &st) != 0 || S_ISDIR(st.st_mode)) {
      err = S_ISDIR(st.st_mode) ? EISDIR : errno;
      ::close(fd);
    } else {
      // Files and writes wait as usual; reading a pipe or device stays non-blocking, so that
      // a read never waits either (it fails with EAGAIN instead).
      const int status = ::fcntl(fd, F_GETFL);
      if (status >= 0 && (S_ISREG(st.st_mode) || (flags & 3) != modeRead))
        ::fcntl(fd, F_SETFL, status & ~O_NONBLOCK);
      m_hFile = fd;
      return TRUE;
    }
  }
  if (error) *error = CFileException(CFileException::OsErrorToException(err), err, m_strFileName);
  return FALSE;
}

UINT CFile::Read(void* buffer, UINT count) {
  if (m_hFile == hFileNull) throw CFileException(CFileException::invalidFile, EBADF, m_strFileName);
  auto* p = static_cast<BYTE*>(buffer);
  UINT done = 0;
  while (done < count) {
    const ssize_t n = ::read(m_hFile, p + done, count - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      ThrowErrno(m_strFileName);
    }
    if (n == 0) break;
    done += static_cast<UINT>(n);
  }
  return done;
}

void CFile::Write(const void* buffer, UINT count) {
  if (m_hFile == hFileNull) throw CFileException(CFileException::invalidFile, EBADF, m_strFileName);
  const auto* p = static_cast<const BYTE*>(buffer);
  UINT done = 0;
  while (done < count) {
    const ssize_t n = ::write(m_hFile, p + done, count - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      ThrowErrno(m_strFileName);
    }
    if (n == 0) throw CFileException(CFileException::diskFull, ENOSPC, m_strFileName);
    done += static_cast<UINT>(n);
  }
}

ULONGLONG CFile::Seek(LONGLONG offset, UINT from) {
  if (m_hFile == hFileNull) throw CFileException(CFileException::invalidFile, EBADF, m_strFileName);
  const int whence = from == current ? SEEK_CUR : from == end ? SEEK_END : SEEK_SET;
  const off_t pos = ::lseek(m_hFile, static_cast<off_t>(offset), whence);
  if (pos < 0) throw CFileException(CFileException::badSeek, errno, m_strFileName);
  return static_cast<ULONGLONG>(pos);
}

ULONGLONG CFile::GetPosition() const {
  if (m_hFile == hFileNull) throw CFileException(CFileException::invalidFile, EBADF, m_strFileName);
  const off_t pos = ::lseek(m_hFile, 0, SEEK_CUR);
  if (pos < 0) throw CFileException(CFileException::badSeek, errno, m_strFileName);
  return static_cast<ULONGLONG>(pos);
}

ULONGLONG CFile::GetLength() const {
  if (m_hFile == hFileNull) throw CFileException(CFileException::invalidFile, EBADF, m_strFileName);
  struct stat st {};
  if (::fstat(m_hFile, &st) != 0) ThrowErrno(m_strFileName);
  return static_cast<ULONGLONG>(st.st_size);
}

void CFile::SetLength(ULONGLONG length) {
  if (m_hFile == hFileNull) throw CFileException(CFileException::invalidFile, EBADF, m_strFileName);
  if (length > static_cast<ULONGLONG>(LLONG_MAX) ||
      ::ftruncate(m_hFile, static_cast<off_t>(length)) != 0)
    ThrowErrno(m_strFileName);
}

void CFile::Flush() {
  if (m_hFile != hFileNull && ::fsync(m_hFile) != 0 && errno != EINVAL) ThrowErrno(m_strFileName);
}

void CFile::Close() {
  if (m_hFile == hFileNull) return;
  const int fd = m_hFile;
  m_hFile = hFileNull;
  if (::close(fd) != 0 && errno != EINTR) ThrowErrno(m_strFileName);
}

void CFile::Abort() {
  if (m_hFile == hFileNull) return;
  ::close(m_hFile);
  m_hFile = hFileNull;
}

BOOL CFile::GetStatus(CFileStatus& status) const {
  if (m_hFile == hFileNull) return FALSE;
  if (!GetStatus(m_strFileName, status)) return FALSE;
  return TRUE;
}

void CFile::Remove(const wchar_t* path) {
  const CString p(path);
  if (::unlink(p.ToUtf8().c_str()) != 0) ThrowErrno(p);
}

BOOL CFile::GetStatus(const wchar_t* path, CFileStatus& status) {
  const CString p(path);
  struct stat st {};
  if (p.IsEmpty() || ::stat(p.ToUtf8().c_str(), &st) != 0) return FALSE;
  status.m_ctime = st.st_ctime;
  status.m_mtime = st.st_mtime;
  status.m_atime = st.st_atime;
  status.m_size = static_cast<ULONGLONG>(st.st_size);
  status.m_attribute = 0;
  if (S_ISDIR(st.st_mode)) status.m_attribute |= directory;
  if (!(st.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH))) status.m_attribute |= readOnly;
  const int slash = p.ReverseFind(L'/');
  if (p.Mid(slash + 1).Left(1) == L".") status.m_attribute |= hidden;
  status.m_szFullName = p;
  return TRUE;
}

void CFile::SetStatus(const wchar_t* path, const CFileStatus& status) {
  const CString p(path);
  const std::string native = p.ToUtf8();
  struct stat st {};
  if (::stat(native.c_str(), &st) != 0) ThrowErrno(p);
  mode_t mode = st.st_mode & 07777;
  if (status.m_attribute & readOnly)
    mode &= ~static_cast<mode_t>(S_IWUSR | S_IWGRP | S_IWOTH);
  else
    mode |= S_IWUSR;
  if (mode != (st.st_mode & 07777) && ::chmod(native.c_str(), mode) != 0) ThrowErrno(p);
}

// ---------------------------------------------------------------------------------------

CMemFile::CMemFile(UINT growBytes) : m_growBytes(growBytes) {}

CMemFile::CMemFile(BYTE* buffer, UINT size, UINT growBytes) { Attach(buffer, size, growBytes); }

CMemFile::~CMemFile() { Close(); }

void CMemFile::Attach(BYTE* buffer, UINT size, UINT growBytes) {
  Close();
  m_buffer = buffer;
  m_capacity = size;
  m_length = growBytes == 0 ? size : 0;
  m_position = 0;
  m_growBytes = growBytes;
  m_ownsBuffer = false;
}

BYTE* CMemFile::Detach() {
  BYTE* b = m_buffer;
  m_buffer = nullptr;
  m_capacity = m_length = m_position = 0;
  m_ownsBuffer = true;
  return b;
}

BOOL CMemFile::Open(const wchar_t*, UINT, CFileException* error) {
  if (error) *error = CFileException(CFileException::genericException);
  return FALSE;
}

UINT CMemFile::Read(void* buffer, UINT count) {
  if (count == 0 || m_position >= m_length) return 0;
  const std::size_t n = std::min<std::size_t>(count, m_length - m_position);
  std::memcpy(buffer, m_buffer + m_position, n);
  m_position += n;
  return static_cast<UINT>(n);
}

void CMemFile::Grow(std::size_t needed) {
  if (needed <= m_capacity) return;
  if (m_growBytes == 0) throw CMemoryException();
  std::size_t cap = std::max<std::size_t>(m_capacity, m_growBytes);
  while (cap < needed) cap = cap > SIZE_MAX / 2 ? needed : cap * 2;
  BYTE* p = nullptr;
  if (m_ownsBuffer) {
    p = static_cast<BYTE*>(std::realloc(m_buffer, cap));
    if (!p) throw CMemoryException();
  } else {
    p = static_cast<BYTE*>(std::malloc(cap));
    if (!p) throw CMemoryException();
    if (m_length) std::memcpy(p, m_buffer, m_length);
    m_ownsBuffer = true;
  }
  m_buffer = p;
  m_capacity = cap;
}

void CMemFile::Write(const void* buffer, UINT count) {
  if (count == 0) return;
  if (m_position > SIZE_MAX - count) throw CMemoryException();
  const std::size_t endPos = m_position + count;
  Grow(endPos);
  if (m_position > m_length) std::memset(m_buffer + m_length, 0, m_position - m_length);
  std::memcpy(m_buffer + m_position, buffer, count);
  m_position = endPos;
  m_length = std::max(m_length, endPos);
}

ULONGLONG CMemFile::Seek(LONGLONG offset, UINT from) {
  const LONGLONG base = from == current ? static_cast<LONGLONG>(m_position)
                        : from == end   ? static_cast<LONGLONG>(m_length)
                                        : 0;
  if ((offset < 0 && base + offset < 0) || (offset > 0 && base > LLONG_MAX - offset))
    throw CFileException(CFileException::badSeek);
  m_position = static_cast<std::size_t>(base + offset);
  return m_position;
}

void CMemFile::SetLength(ULONGLONG length) {
  if (length > SIZE_MAX) throw CMemoryException();
  const auto n = static_cast<std::size_t>(length);
  Grow(n);
  if (n > m_length) std::memset(m_buffer + m_length, 0, n - m_length);
  m_length = n;
  if (m_position > m_length) m_position = m_length;
}

void CMemFile::Close() {
  if (m_ownsBuffer) std::free(m_buffer);
  m_buffer = nullptr;
  m_capacity = m_length = m_position = 0;
  m_ownsBuffer = true;
}
