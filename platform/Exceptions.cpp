#include "platform/Exceptions.h"

#include <cerrno>
#include <cstring>

#include "platform/Dialogs.h"

BOOL CException::GetErrorMessage(CString& message) const {
  message.Empty();
  return FALSE;
}

int CException::ReportError(UINT type, UINT messageId) const {
  CString text;
  if (!GetErrorMessage(text) || text.IsEmpty()) {
    text.Format(L"Error %u", messageId);
  }
  return AfxMessageBox(text, type);
}

BOOL CMemoryException::GetErrorMessage(CString& message) const {
  message = L"Out of memory.";
  return TRUE;
}

BOOL CInvalidArgException::GetErrorMessage(CString& message) const {
  message = L"Invalid argument.";
  return TRUE;
}

BOOL CFileException::GetErrorMessage(CString& message) const {
  static const wchar_t* const kCauses[] = {L"No error",
                                           L"An unspecified error occurred",
                                           L"File not found",
                                           L"Bad path",
                                           L"Too many open files",
                                           L"Access denied",
                                           L"Invalid file",
                                           L"Cannot remove the current directory",
                                           L"Directory full",
                                           L"Seek failed",
                                           L"Hardware I/O error",
                                           L"Sharing violation",
                                           L"Lock violation",
                                           L"Disk full",
                                           L"Unexpected end of file"};
  const int n = static_cast<int>(sizeof(kCauses) / sizeof(kCauses[0]));
  const wchar_t* cause = (m_cause >= 0 && m_cause < n) ? kCauses[m_cause] : kCauses[1];
  if (m_strFileName.IsEmpty())
    message.Format(L"%s.", cause);
  else
    message.Format(L"%s: %s.", cause, m_strFileName);
  return TRUE;
}

int CFileException::OsErrorToException(int err) {
  switch (err) {
    case 0:
      return none;
    case ENOENT:
      return fileNotFound;
    case ENOTDIR:
    case ENAMETOOLONG:
    case ELOOP:
      return badPath;
    case EMFILE:
    case ENFILE:
      return tooManyOpenFiles;
    case EACCES:
    case EPERM:
    case EROFS:
    case EISDIR:
    case EEXIST:
      return accessDenied;
    case EBADF:
      return invalidFile;
    case ENOSPC:
    case EFBIG:
    case EDQUOT:
      return diskFull;
    case ESPIPE:
    case EOVERFLOW:
      return badSeek;
    case EIO:
      return hardIO;
    case EBUSY:
    case ETXTBSY:
      return sharingViolation;
    default:
      return genericException;
  }
}

void CFileException::ThrowOsError(int err, const CString& fileName) {
  throw CFileException(OsErrorToException(err), err, fileName);
}

BOOL CArchiveException::GetErrorMessage(CString& message) const {
  static const wchar_t* const kCauses[] = {L"No error",
                                           L"An unspecified archive error occurred",
                                           L"Tried to write to an archive opened for loading",
                                           L"Unexpected end of archive",
                                           L"Tried to read from an archive opened for storing",
                                           L"Invalid or damaged archive",
                                           L"Unknown class in archive",
                                           L"Incompatible class version in archive",
                                           L"Archive buffer full"};
  const int n = static_cast<int>(sizeof(kCauses) / sizeof(kCauses[0]));
  message = (m_cause >= 0 && m_cause < n) ? kCauses[m_cause] : kCauses[1];
  if (!m_strFileName.IsEmpty()) message += CString(L": ") + m_strFileName;
  return TRUE;
}

void AfxThrowMemoryException() { throw CMemoryException(); }
void AfxThrowInvalidArgException() { throw CInvalidArgException(); }
void AfxThrowArchiveException(int cause, const CString& fileName) {
  throw CArchiveException(cause, fileName);
}
