// CFile over a POSIX file descriptor, and CMemFile over a memory buffer. Errors are reported
// as CFileException, as the library's callers expect.
//
// Sharing modes are accepted and not enforced: POSIX has no mandatory sharing locks.
#pragma once

#include <ctime>
#include <vector>

#include "platform/Exceptions.h"
#include "platform/String.h"

struct CFileStatus {
  std::time_t m_ctime = 0;
  std::time_t m_mtime = 0;
  std::time_t m_atime = 0;
  ULONGLONG m_size = 0;
  BYTE m_attribute = 0;
  CString m_szFullName;
};

class KV_PLATFORM_API CFile {
 public:
  enum OpenFlags : UINT {
    modeRead = 0x0000,
    modeWrite = 0x0001,
    modeReadWrite = 0x0002,
    shareCompat = 0x0000,
    shareExclusive = 0x0010,
    shareDenyWrite = 0x0020,
    shareDenyRead = 0x0030,
    shareDenyNone = 0x0040,
    modeNoInherit = 0x0080,
    modeCreate = 0x1000,
    modeNoTruncate = 0x2000,
    typeText = 0x4000,
    typeBinary = 0x8000,
  };
  enum SeekPosition : UINT { begin = 0, current = 1, end = 2 };
  enum Attribute : BYTE {
    normal = 0x00,
    readOnly = 0x01,
    hidden = 0x02,
    system = 0x04,
    volume = 0x08,
    directory = 0x10,
    archive = 0x20,
  };
  static constexpr int hFileNull = -1;

  CFile() = default;
  // Opens or throws CFileException.
  CFile(const wchar_t* path, UINT flags);
  CFile(const CFile&) = delete;
  CFile& operator=(const CFile&) = delete;
  // Closes the file; errors on the way are dropped.
  virtual ~CFile();

  // FALSE on failure, with the cause in *error when given. Never waits: pipes and devices
  // are opened without blocking, and stay so when opened for reading.
  virtual BOOL Open(const wchar_t* path, UINT flags, CFileException* error = nullptr);
  // Reads up to count bytes; fewer only at the end of the file.
  virtual UINT Read(void* buffer, UINT count);
  // Writes count bytes or throws.
  virtual void Write(const void* buffer, UINT count);
  virtual ULONGLONG Seek(LONGLONG offset, UINT from);
  void SeekToBegin() { Seek(0, begin); }
  ULONGLONG SeekToEnd() { return Seek(0, end); }
  virtual ULONGLONG GetPosition() const;
  virtual ULONGLONG GetLength() const;
  virtual void SetLength(ULONGLONG length);
  virtual void Flush();
  virtual void Close();
  // Closes without throwing.
  virtual void Abort();
  virtual BOOL IsOpen() const { return m_hFile != hFileNull; }
  BOOL GetStatus(CFileStatus& status) const;
  CString GetFilePath() const { return m_strFileName; }

  static void Remove(const wchar_t* path);
  static BOOL GetStatus(const wchar_t* path, CFileStatus& status);
  // Applies the attribute byte (read-only maps to the write permission bits) and times.
  static void SetStatus(const wchar_t* path, const CFileStatus& status);

  int m_hFile = hFileNull;

 protected:
  CString m_strFileName;
};

// A file in memory: its own growing buffer, or a caller's buffer attached to it.
class KV_PLATFORM_API CMemFile : public CFile {
 public:
  explicit CMemFile(UINT growBytes = 1024);
  // Uses the caller's buffer as the file's content; growBytes 0 keeps it at that size.
  CMemFile(BYTE* buffer, UINT size, UINT growBytes = 0);
  ~CMemFile() override;

  void Attach(BYTE* buffer, UINT size, UINT growBytes = 0);
  // Gives the buffer back to the caller (or, for an own buffer, hands it over: free with
  // std::free) and empties the file.
  BYTE* Detach();

  BOOL Open(const wchar_t*, UINT, CFileException* error = nullptr) override;
  UINT Read(void* buffer, UINT count) override;
  void Write(const void* buffer, UINT count) override;
  ULONGLONG Seek(LONGLONG offset, UINT from) override;
  ULONGLONG GetPosition() const override { return m_position; }
  ULONGLONG GetLength() const override { return m_length; }
  void SetLength(ULONGLONG length) override;
  void Flush() override {}
  void Close() override;
  void Abort() override { Close(); }
  BOOL IsOpen() const override { return TRUE; }

 private:
  void Grow(std::size_t needed);

  BYTE* m_buffer = nullptr;
  std::size_t m_capacity = 0;
  std::size_t m_length = 0;
  std::size_t m_position = 0;
  UINT m_growBytes = 1024;
  bool m_ownsBuffer = true;
};
