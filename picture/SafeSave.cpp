#include "picture/SafeSave.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <random>

namespace {
constexpr std::size_t kBufferBytes = 1 << 16;
}

SafeFileWriter::SafeFileWriter(const CString& target) : m_target(target.ToUtf8()) {}

SafeFileWriter::~SafeFileWriter() { Discard(); }

bool SafeFileWriter::Open() {
  if (m_target.empty() || m_target.back() == '/') return false;
  const auto slash = m_target.rfind('/');
  const std::string dir =
      slash == std::string::npos ? std::string() : m_target.substr(0, slash + 1);
  const std::string name = slash == std::string::npos ? m_target : m_target.substr(slash + 1);
  static std::atomic<unsigned> counter{0};
  std::random_device random;
  for (int attempt = 0; attempt < 16 && m_fd < 0; ++attempt) {
    char suffix[48];
    std::snprintf(suffix, sizeof suffix, ".kvtmp-%d-%u-%08x", static_cast<int>(::getpid()),
                  counter.fetch_add(1), random());
    m_temp = dir + "." + name + suffix;
    m_fd = ::open(m_temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (m_fd < 0 && errno != EEXIST) break;
  }
  if (m_fd < 0) {
    m_temp.clear();
    return false;
  }
  // A replaced file keeps its permissions.
  struct stat st {};
  if (::stat(m_target.c_str(), &st) == 0 && S_ISREG(st.st_mode)) ::fchmod(m_fd, st.st_mode & 07777);
  m_buffer.reserve(kBufferBytes);
  return true;
}

bool SafeFileWriter::WriteAll(const void* data, std::size_t bytes) {
  const auto* p = static_cast<const unsigned char*>(data);
  while (bytes > 0) {
    const ssize_t n = ::write(m_fd, p, bytes);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      m_failed = true;
      return false;
    }
    p += n;
    bytes -= static_cast<std::size_t>(n);
  }
  return true;
}

bool SafeFileWriter::Flush() {
  if (m_buffer.empty()) return ok();
  const bool done = WriteAll(m_buffer.data(), m_buffer.size());
  m_buffer.clear();
  return done;
}

bool SafeFileWriter::Write(const void* data, std::size_t bytes) {
  if (!ok()) return false;
  if (m_buffer.size() + bytes <= kBufferBytes) {
    const auto* p = static_cast<const unsigned char*>(data);
    m_buffer.insert(m_buffer.end(), p, p + bytes);
    return true;
  }
  if (!Flush()) return false;
  if (bytes >= kBufferBytes) return WriteAll(data, bytes);
  const auto* p = static_cast<const unsigned char*>(data);
  m_buffer.insert(m_buffer.end(), p, p + bytes);
  return true;
}

bool SafeFileWriter::Commit() {
  if (!ok() || !Flush()) {
    Discard();
    return false;
  }
  const int fd = m_fd;
  m_fd = -1;
  if (::close(fd) != 0 || ::rename(m_temp.c_str(), m_target.c_str()) != 0) {
    ::unlink(m_temp.c_str());
    m_temp.clear();
    return false;
  }
  m_temp.clear();
  return true;
}

void SafeFileWriter::Discard() {
  if (m_fd >= 0) {
    ::close(m_fd);
    m_fd = -1;
  }
  if (!m_temp.empty()) {
    ::unlink(m_temp.c_str());
    m_temp.clear();
  }
}
