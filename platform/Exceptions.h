// The exception classes of the original class library. They are thrown by value and caught
// by reference; "caught and deleted" becomes "caught and dropped".
#pragma once

#include <exception>
#include <string>

#include "platform/String.h"

class KV_PLATFORM_API CException : public std::exception {
 public:
  ~CException() override = default;
  const char* what() const noexcept override { return "CException"; }
  // The text of the error; FALSE when there is none.
  virtual BOOL GetErrorMessage(CString& message) const;
  // Shows the error to the user through the host's message box.
  virtual int ReportError(UINT type = 0, UINT messageId = 0) const;
  void Delete() {}
};

class KV_PLATFORM_API CMemoryException : public CException {
 public:
  const char* what() const noexcept override { return "out of memory"; }
  BOOL GetErrorMessage(CString& message) const override;
};

class KV_PLATFORM_API CInvalidArgException : public CException {
 public:
  const char* what() const noexcept override { return "invalid argument"; }
  BOOL GetErrorMessage(CString& message) const override;
};

class KV_PLATFORM_API CFileException : public CException {
 public:
  enum {
    none,
    genericException,
    fileNotFound,
    badPath,
    tooManyOpenFiles,
    accessDenied,
    invalidFile,
    removeCurrentDir,
    directoryFull,
    badSeek,
    hardIO,
    sharingViolation,
    lockViolation,
    diskFull,
    endOfFile,
  };
  explicit CFileException(int cause = none, LONG osError = -1, CString fileName = CString())
      : m_cause(cause), m_lOsError(osError), m_strFileName(std::move(fileName)) {}
  const char* what() const noexcept override { return "file error"; }
  BOOL GetErrorMessage(CString& message) const override;
  // The cause that matches a POSIX errno value.
  static int OsErrorToException(int err);
  [[noreturn]] static void ThrowOsError(int err, const CString& fileName = CString());

  int m_cause;
  LONG m_lOsError;
  CString m_strFileName;
};

class KV_PLATFORM_API CArchiveException : public CException {
 public:
  enum {
    none,
    genericException,
    readOnly,
    endOfFile,
    writeOnly,
    badIndex,
    badClass,
    badSchema,
    bufferFull,
  };
  explicit CArchiveException(int cause = none, CString fileName = CString())
      : m_cause(cause), m_strFileName(std::move(fileName)) {}
  const char* what() const noexcept override { return "archive error"; }
  BOOL GetErrorMessage(CString& message) const override;

  int m_cause;
  CString m_strFileName;
};

[[noreturn]] KV_PLATFORM_API void AfxThrowMemoryException();
[[noreturn]] KV_PLATFORM_API void AfxThrowInvalidArgException();
[[noreturn]] KV_PLATFORM_API void AfxThrowArchiveException(int cause,
                                                           const CString& fileName = CString());
