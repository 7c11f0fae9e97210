#include "clipmedia/ClipMedia.h"

#include <sys/stat.h>

#include <cstdlib>
#include <cstring>
#include <new>

#include "KvMediaFile/KvPicture.h"
#include "host/Failure.h"
#include "host/FileName.h"
#include "host/SafeSave.h"
#include "host/Thumbnail.h"
#include "platform/GlobalMemory.h"

IMPLEMENT_SERIAL(CKvClipMedia, CKvObject, 0)
IMPLEMENT_SERIAL(CKvClipMediaFileCollection, CKvObject, 0)

namespace {
constexpr const wchar_t* kPictureExtensions[] = {L".TGA", L".BMP", L".GIF", L".PCX",
                                                 L".JPG", L".PNG", L".PSD"};

// What an opened file is; CFile opens pipes and devices without waiting, and reading one here
// must not wait either.
bool IsRegularFile(const CFile& file) {
  struct stat st {};
  return ::fstat(file.m_hFile, &st) == 0 && S_ISREG(st.st_mode);
}
}  // namespace

CKvClipMedia::CKvClipMedia(const CKvClipMedia& other) : CKvObject(other) { *this = other; }

CKvObject& CKvClipMedia::operator=(const CKvObject& other) {
  if (const auto* media = dynamic_cast<const CKvClipMedia*>(&other)) *this = *media;
  return *this;
}

CKvClipMedia& CKvClipMedia::operator=(const CKvClipMedia& other) {
  if (this == &other) return *this;
  CKvObject::operator=(other);
  m_fullPath = other.m_fullPath;
  m_name = other.m_name;
  m_picSize = other.m_picSize;
  m_bits = other.m_bits;
  m_fileSizeHigh = other.m_fileSizeHigh;
  m_fileSizeLow = other.m_fileSizeLow;
  m_lastWrite = other.m_lastWrite;
  static_cast<CKvObject&>(m_icon) = other.m_icon;
  return *this;
}

CKvObject* CKvClipMedia::MakeCopy() const {
  auto* copy = new (std::nothrow) CKvClipMedia;
  if (!copy) return nullptr;
  try {
    *copy = *this;
  } catch (const CException&) {
    delete copy;
    return nullptr;
  }
  return copy;
}

void CKvClipMedia::Serialize(CArchive& ar) {
  CKvObject::Serialize(ar);
  if (ar.IsStoring()) {
    ar << WORD{0} << m_fullPath << m_name;
    ar << static_cast<LONG>(m_picSize.cx) << static_cast<LONG>(m_picSize.cy);
    ar << m_bits << m_fileSizeHigh << m_fileSizeLow << m_lastWrite.dwHighDateTime
       << m_lastWrite.dwLowDateTime;
  } else {
    WORD version = 0;  // any value loads
    ar >> version >> m_fullPath >> m_name;
    BYTE size[8];
    ar.EnsureRead(size, sizeof size);
    LONG cx = 0, cy = 0;
    std::memcpy(&cx, size, 4);
    std::memcpy(&cy, size + 4, 4);
    m_picSize = CSize(cx, cy);
    ar >> m_bits >> m_fileSizeHigh >> m_fileSizeLow >> m_lastWrite.dwHighDateTime >>
        m_lastWrite.dwLowDateTime;
  }
  m_icon.Serialize(ar);
}

int CKvClipMedia::SetBasicInfo(CString path, WIN32_FIND_DATAW* findData) {
  m_fullPath = path;
  if (findData) {
    m_fileSizeHigh = findData->nFileSizeHigh;
    m_fileSizeLow = findData->nFileSizeLow;
    m_lastWrite = findData->ftLastWriteTime;
  }
  m_name.Empty();
  m_picSize = CSize();
  m_bits = 0;
  return 1;
}

void CKvClipMedia::SetFileFullPath(const CString& path) {
  m_fullPath = path;
  if (!m_name.IsEmpty()) m_name = GetPureFileName();
}

CString CKvClipMedia::GetPureFileName() const { return CKvFileName(m_fullPath).GetFileName(); }
CString CKvClipMedia::GetFileTitle() const { return CKvFileName(m_fullPath).GetFileTitle(); }
CString CKvClipMedia::GetFileExtName() const { return CKvFileName(m_fullPath).GetFileExt(); }

int CKvClipMedia::MakeExtInfo() {
  KvClearFailure();
  const CString ext = GetFileExtName();
  bool known = false;
  // Compared as CompareMedia compares: ASCII letters without regard to case, whatever the
  // locale (towupper would make ".gif" ".GİF" in a Turkish one).
  for (const wchar_t* picture : kPictureExtensions)
    known = known || ext.CompareNoCase(picture) == 0;
  if (!known) return KvFail("not a picture extension"), 0;
  m_name = GetPureFileName();
  // A pipe or device is never opened: reading one could wait for ever.
  struct stat st {};
  if (::stat(m_fullPath.ToUtf8().c_str(), &st) == 0 && !S_ISREG(st.st_mode) && !S_ISDIR(st.st_mode))
    return KvFail("not a regular file"), 0;

  RECT info{};
  int bits = 0;
  KvMediaGetPicInfo(m_fullPath, &info, &bits);
  m_picSize = CSize(static_cast<LONG>(static_cast<long long>(info.right) - info.left),
                    static_cast<LONG>(static_cast<long long>(info.bottom) - info.top));
  m_bits = static_cast<WORD>(bits);

  CRect rect;
  KvGlobalPtr picture(KvMediaLoadPicFile(m_fullPath, rect));
  if (!picture) return 0;  // the loader gave its reason
  if (rect.IsRectEmpty() ||
      (rect.left == 0 && rect.top == 0 && rect.right == 0 && rect.bottom == 0))
    return KvFail("empty picture"), 0;
  const CSize size(rect.Width(), rect.Height());
  BYTE* icon = KvGuiMakeIcon(static_cast<DWORD*>(picture.get()), size, CRect(CPoint(0, 0), size),
                             CSize(kIconWidth, kIconHeight), 24);
  if (!icon) return KvFail("no thumbnail could be made"), 0;
  m_icon.SetIcon(icon, CSize(kIconWidth, kIconHeight));
  return 1;
}

int CKvClipMedia::CompareMedia(CKvClipMedia* other) const {
  if (!other) return 0;
  return m_fullPath.CompareNoCase(other->m_fullPath) == 0 &&
                 m_fileSizeHigh == other->m_fileSizeHigh && m_fileSizeLow == other->m_fileSizeLow &&
                 m_lastWrite.dwHighDateTime == other->m_lastWrite.dwHighDateTime &&
                 m_lastWrite.dwLowDateTime == other->m_lastWrite.dwLowDateTime
             ? 1
             : 0;
}

// ---------------------------------------------------------------------------------------

void CKvClipMediaFileCollection::Serialize(CArchive& ar) {
  CKvObject::Serialize(ar);
  if (ar.IsStoring()) {
    ar << WORD{0};
    m_list.Serialize(ar);
    return;
  }
  WORD version = 0;
  ar >> version;
  m_list.Serialize(ar);
  // The list takes any CKvObject; a catalogue holds records only.
  for (POSITION pos = m_list.GetHeadPosition(); pos;)
    if (!m_list.GetNext(pos)->IsKindOf(RUNTIME_CLASS(CKvClipMedia)))
      AfxThrowArchiveException(CArchiveException::badClass);
}

void CKvClipMediaFileCollection::CopyFrom(const CKvObject& other) {
  CKvObject::operator=(other);
  if (const auto* collection = dynamic_cast<const CKvClipMediaFileCollection*>(&other))
    m_list.CopyFrom(collection->m_list);
}

CKvObject* CKvClipMediaFileCollection::MakeCopy() const {
  auto* copy = new (std::nothrow) CKvClipMediaFileCollection;
  if (!copy) return nullptr;
  try {
    copy->CopyFrom(*this);
  } catch (const CException&) {
    delete copy;
    return nullptr;
  }
  return copy;
}

// ---------------------------------------------------------------------------------------

std::string KvArchiveFailureText(const CException& e) {
  if (const auto* a = dynamic_cast<const CArchiveException*>(&e)) {
    switch (a->m_cause) {
      case CArchiveException::endOfFile:
        return "truncated";
      case CArchiveException::badClass:
        return "holds an object of an unknown or unexpected class";
      case CArchiveException::badSchema:
        return "holds an object of another schema";
      default:
        return "damaged";
    }
  }
  if (dynamic_cast<const CMemoryException*>(&e)) return "out of memory";
  CString text;
  e.GetErrorMessage(text);
  return text.IsEmpty() ? kKvCannotRead : text.ToUtf8();
}

bool KvLoadArchiveFile(CKvObject& object, const CString& path) {
  try {
    CFile file;
    CFileException error;
    if (!file.Open(path, CFile::modeRead | CFile::shareDenyWrite, &error)) {
      CString text;
      error.GetErrorMessage(text);
      return KvFail("cannot be opened: " + text.ToUtf8());
    }
    if (!IsRegularFile(file)) return KvFail("not a regular file");
    CArchive ar(&file, CArchive::load, 4096);
    object.Serialize(ar);
    BYTE more = 0;
    if (ar.Read(&more, 1) != 0) return KvFail("has bytes past its end");
    ar.Close();
  } catch (const CException& e) {
    return KvFail(KvArchiveFailureText(e));
  } catch (const std::bad_alloc&) {
    return KvFail("out of memory");
  }
  return true;
}

KvStoreResult KvStoreArchiveFile(CKvObject& object, const CString& path, KvSaveKind kind) {
  CMemFile memory(64 * 1024);
  try {
    CArchive ar(&memory, CArchive::store, 4096);
    object.Serialize(ar);
    ar.Close();
  } catch (const CException& e) {
    KvFail(KvArchiveFailureText(e));
    return KvStoreResult::kArchiveFailed;
  } catch (const std::bad_alloc&) {
    KvFail("out of memory");
    return KvStoreResult::kArchiveFailed;
  }
  const auto length = static_cast<std::size_t>(memory.GetLength());
  BYTE* bytes = memory.Detach();
  SafeFileWriter writer(path, kind);
  const bool written = writer.Open() && writer.Write(bytes, length) && writer.Commit();
  std::free(bytes);
  if (!written) {
    KvSetFailure(writer.reason());
    return KvStoreResult::kNotWritten;
  }
  return KvStoreResult::kStored;
}

int LoadObjectFromFile(CKvObject* object, CString path) {
  KvClearFailure();
  if (!object || !KvDoesFileExist(path)) return 0;
  try {
    CFile file;
    if (!file.Open(path, CFile::modeRead))
      return 1;  // nothing read: callers take 1 as "no catalogue to use"
    if (!IsRegularFile(file)) return KvFail("not a regular file"), 0;
    CArchive ar(&file, CArchive::load, 4096);
    object->Serialize(ar);
    ar.Close();
  } catch (const CException& e) {
    KvFail(KvArchiveFailureText(e));
    return 0;
  } catch (const std::bad_alloc&) {
    KvFail("out of memory");
    return 0;
  }
  return 1;
}

int StoreObjectToFile(CKvObject* object, CString path) {
  KvClearFailure();
  if (!object) return 0;
  // A file that cannot be written still gives 1: the catalogue is a cache, and callers list
  // the folder all the same (the reason is kept).
  return KvStoreArchiveFile(*object, path) == KvStoreResult::kArchiveFailed ? 0 : 1;
}
