// An in-memory file that each fuzz input is laid into, for readers that take paths: reached
// through /proc/self/fd, or through links whose names carry the extension a reader wants.
#pragma once

#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "host/MemBlock.h"
#include "platform/String.h"

// Writes one seed of the starting corpus.
inline void WriteSeedFile(const std::string& path, const std::vector<unsigned char>& bytes) {
  if (std::FILE* f = std::fopen(path.c_str(), "wb")) {
    std::fwrite(bytes.data(), 1, bytes.size(), f);
    std::fclose(f);
  }
}

// A small half-transparent background for players to mix their frames with.
inline void MakeFuzzBackground(CKvMemBlock& back) {
  back.InitBlock(CSize(24, 20));
  back.ClearBlock(nullptr, CKvColor32(10, 20, 30, 128));
}

class FuzzFile {
 public:
  explicit FuzzFile(const char* name) : m_fd(::memfd_create(name, 0)) {
    if (m_fd < 0) std::abort();
  }
  FuzzFile(const FuzzFile&) = delete;
  FuzzFile& operator=(const FuzzFile&) = delete;

  CString Path() const { return CString::FromUtf8(Target()); }

  // A new name for the file ending in `ext` (".png" ...), in a folder of its own.
  CString LinkWithExtension(const char* ext) {
    if (m_dir.empty()) {
      char dir[] = "/tmp/kvfuzz-XXXXXX";
      if (!::mkdtemp(dir)) std::abort();
      m_dir = dir;
    }
    const std::string link = m_dir + "/input" + ext;
    if (::symlink(Target().c_str(), link.c_str()) != 0) std::abort();
    return CString::FromUtf8(link);
  }

  // Makes the file's content the input; false when that fails.
  bool Write(const uint8_t* data, size_t size) {
    return ::ftruncate(m_fd, 0) == 0 && ::pwrite(m_fd, data, size, 0) == static_cast<ssize_t>(size);
  }

 private:
  std::string Target() const { return "/proc/self/fd/" + std::to_string(m_fd); }

  int m_fd;
  std::string m_dir;
};
