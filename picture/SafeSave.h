// Saving without risk to what is there: the file is written under a temporary name in the
// target's folder and renamed over the target only when every byte was written. A failed
// save removes the temporary file and leaves an existing target untouched.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "platform/String.h"

class SafeFileWriter {
 public:
  explicit SafeFileWriter(const CString& target);
  ~SafeFileWriter();
  SafeFileWriter(const SafeFileWriter&) = delete;
  SafeFileWriter& operator=(const SafeFileWriter&) = delete;

  // Creates the temporary file; false when the folder cannot take it.
  bool Open();
  // Buffered; false once any write has failed.
  bool Write(const void* data, std::size_t bytes);
  // Writes what is buffered, closes the file and renames it over the target.
  bool Commit();
  bool ok() const { return m_fd >= 0 && !m_failed; }

 private:
  bool Flush();
  bool WriteAll(const void* data, std::size_t bytes);
  void Discard();

  std::string m_target;
  std::string m_temp;
  int m_fd = -1;
  bool m_failed = false;
  std::vector<unsigned char> m_buffer;
};
