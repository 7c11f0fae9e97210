// What every fuzz target shares: its start (picture limit, set-up, seeds), the decoding of an
// input as a file in memory, and an in-memory file that an input is laid into for readers that
// take paths (reached through /proc/self/fd, or through links whose names carry the extension
// a reader wants).
#pragma once

#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "ByteOut.h"
#include "SampleFiles.h"
#include "host/MemBlock.h"
#include "platform/File.h"
#include "platform/GlobalMemory.h"
#include "platform/String.h"

// A seed writer: the sample files of the kinds named, as the starting corpus.
inline auto KvFuzzSeeds(std::vector<std::string> kinds) {
  return [kinds](const std::string& dir) {
    for (const std::string& kind : kinds)
      for (const kvtest::SampleFile& file : kvtest::SampleFiles(kind))
        kvtest::WriteBytes(dir + "/" + file.name, file.bytes);
  };
}

// Before the first input: the library's picture limit set below the fuzzer's memory limit, so
// that our own guards fire first (0 keeps the library's), the target's set-up, then with
// KV_FUZZ_SEED_DIR set a few valid files written there as a starting corpus.
template <class SetUp, class Seeds>
void KvFuzzStart(std::size_t maxPictureBytes, SetUp setUp, Seeds writeSeeds) {
  if (maxPictureBytes) KvSetMaxPictureBytes(maxPictureBytes);
  setUp();
  if (const char* dir = std::getenv("KV_FUZZ_SEED_DIR")) writeSeeds(dir);
}

// A target in one line: KV_FUZZ_TARGET(limit, set-up, seed writer, what an input does).
#define KV_FUZZ_TARGET(maxPictureBytes, setUp, writeSeeds, ...)             \
  extern "C" int LLVMFuzzerInitialize(int*, char***) {                      \
    KvFuzzStart(maxPictureBytes, setUp, writeSeeds);                        \
    return 0;                                                               \
  }                                                                         \
  extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) { \
    (__VA_ARGS__)(data, size);                                              \
    return 0;                                                               \
  }

inline void KvFuzzNoSetUp() {}

// Decodes the input as a file in memory: a copy of its own, so that reads past its end are
// caught.
template <class Decode>
void KvFuzzDecode(const uint8_t* data, size_t size, Decode decode) {
  std::vector<BYTE> bytes(data, data + size);
  CMemFile file(bytes.data(), static_cast<UINT>(bytes.size()));
  CRect rect;
  GlobalFree(decode(file, rect));
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
