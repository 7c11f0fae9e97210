// Saving without risk to what is there: the file is written under a short temporary name in
// the target's folder, flushed to disk and renamed over the target only when every byte was
// written. A failed save removes the temporary file and leaves an existing target untouched.
//
// A target the user cannot write is refused; a replaced file keeps its permission bits; a
// symbolic link is followed (the file it points to is replaced, the link stays). When the
// folder cannot take a temporary file but the target itself is writable, the target is
// written in place (a failure then leaves it damaged, as any in-place write would).
//
// A cache the library writes on its own into a folder it only browses is stored with
// KvSaveKind::kCache: only ever as a regular file in that folder. A link, pipe, device or
// folder of the target's name is left alone, and a folder that takes no temporary file gets
// no store (never half a file). Such a store also removes the temporary files that killed
// cache stores left behind there (of its own name form and owner, untouched for a minute).
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "platform/String.h"

enum class KvSaveKind { kUserFile, kCache };

class KV_HOST_API SafeFileWriter {
 public:
  explicit SafeFileWriter(const CString& target, KvSaveKind kind = KvSaveKind::kUserFile);
  ~SafeFileWriter();
  SafeFileWriter(const SafeFileWriter&) = delete;
  SafeFileWriter& operator=(const SafeFileWriter&) = delete;

  // Creates the temporary file; false when the target cannot be written.
  bool Open();
  // Buffered; false once any write has failed.
  bool Write(const void* data, std::size_t bytes);
  // Writes what is buffered, flushes the file to disk and renames it over the target.
  bool Commit();
  // For writers whose half-written file is worse than none (a movie, a clip): after a failure,
  // removes the target written in place, if it is a regular file (never a device). A
  // temporary file goes with the writer anyway.
  void RemoveFailedInPlace() const;
  bool ok() const { return m_fd >= 0 && m_error == 0; }
  // The file being written, for writers that open it by name themselves (they must write it
  // whole; Commit then flushes and renames it): the temporary file, or the target itself
  // when it is written in place.
  const std::string& Path() const { return m_inPlace ? m_final : m_temp; }
  // Whether the target itself is being written (its folder takes no new file).
  bool InPlace() const { return m_inPlace; }
  // The errno of the failure (0 while all is well).
  int error() const { return m_error; }
  // Why it failed, in words ("" while all is well).
  const std::string& reason() const { return m_reason; }

 private:
  bool Fail(int error, const char* why = nullptr);
  bool OpenCache();
  bool Flush();
  bool WriteAll(const void* data, std::size_t bytes);
  void Discard();

  std::string m_target;  // as given
  std::string m_final;   // the file replaced: the target with its symbolic links resolved
  std::string m_temp;
  int m_fd = -1;
  int m_slot = -1;  // this writer's entry among the pending temporary files
  int m_error = 0;
  std::string m_reason;
  KvSaveKind m_kind;
  bool m_inPlace = false;
  std::vector<unsigned char> m_buffer;
};

// Why a cache may not be stored at `path` ("a symbolic link of that name is left alone" ...),
// or null when it may: nothing is there, or a regular file.
KV_HOST_API const char* KvCacheTargetRefusal(const std::string& path);

// Removes every temporary file that a SafeFileWriter of this process is writing. Only calls
// unlink(2) on fixed storage: safe to call from a signal handler (the library installs none;
// a program that exits on a signal calls this first).
KV_HOST_API void KvRemovePendingTemporaryFiles();
