// Clip media: a serialisable record of one picture file (path, name, picture size and bits,
// file size and last-write time, an 80 x 60 thumbnail), the collection of such records that
// is stored as a folder's catalogue, and the search of a folder for its valid pictures.
//
// Archive form of a record, after the base's (empty) part: version (16 bits, written 0, not
// looked at when loading), full path and name (strings), picture size (cx, cy: 8 bytes),
// bits (16), file size high and low (32 each), last write high then low (32 each), the
// icon. A collection: version (16 bits), then its list (a count and the records as objects).
#pragma once

#include <functional>

#include "KvMediaFile/KvMediaApi.h"
#include "host/Objects.h"
#include "platform/FindFile.h"
#include "platform/Geometry.h"
#include "platform/String.h"

class KV_MEDIA_API CKvClipMedia : public CKvObject {
  DECLARE_SERIAL(CKvClipMedia)
 public:
  static constexpr int kIconWidth = 80;
  static constexpr int kIconHeight = 60;

  CKvClipMedia() = default;
  CKvClipMedia(const CKvClipMedia& other);
  ~CKvClipMedia() override = default;

  CKvObject& operator=(const CKvObject& other) override;
  CKvClipMedia& operator=(const CKvClipMedia& other);
  void Serialize(CArchive& ar) override;
  CKvObject* MakeCopy() const override;

  // Path, file size and last-write time from a folder entry; name, picture size and bits
  // cleared; the icon kept. Returns 1.
  int SetBasicInfo(CString path, WIN32_FIND_DATAW* findData);
  // Name, picture size, bits and thumbnail from the picture itself. 1 when the picture
  // loaded and the thumbnail was made; 0 for an extension that is not a picture's (".jpeg"
  // is not one), a picture that does not load (the library's reason is kept), or no
  // thumbnail.
  int MakeExtInfo();

  CString GetFileFullPath() const { return m_fullPath; }
  CString GetPureFileName() const;
  CString GetFileTitle() const;
  // With its dot.
  CString GetFileExtName() const;
  CString GetName() const { return m_name; }
  CSize GetPicSize() const { return m_picSize; }
  WORD GetBits() const { return m_bits; }
  ULONGLONG GetFileSize() const { return (ULONGLONG{m_fileSizeHigh} << 32) | m_fileSizeLow; }
  FILETIME GetLastWriteTime() const { return m_lastWrite; }
  const CKvIconObj& GetIcon() const { return m_icon; }

  // 1 when both describe the same file as it was: full paths equal ignoring case, equal file
  // sizes and last-write times. Name, picture size, bits and icon are not compared.
  int CompareMedia(CKvClipMedia* other) const;

  // For the search, which takes a stored record for a file whose path changed case only:
  // the display name follows the path.
  void SetFileFullPath(const CString& path);

 private:
  CString m_fullPath;
  CString m_name;
  CSize m_picSize;
  WORD m_bits = 0;
  DWORD m_fileSizeHigh = 0;
  DWORD m_fileSizeLow = 0;
  FILETIME m_lastWrite{};
  CKvIconObj m_icon;
};

// A serialisable list of clip-media records; it owns them. Loading accepts only records.
class KV_MEDIA_API CKvClipMediaFileCollection : public CKvObject {
  DECLARE_SERIAL(CKvClipMediaFileCollection)
 public:
  CKvClipMediaFileCollection() = default;
  ~CKvClipMediaFileCollection() override = default;

  void Serialize(CArchive& ar) override;
  CKvObject* MakeCopy() const override;
  // The base's assignment, then copies of the other collection's records.
  virtual void CopyFrom(const CKvObject& other);

  CKvObList& GetList() { return m_list; }
  const CKvObList& GetList() const { return m_list; }

 private:
  CKvObList m_list;
};

// Loads `object` from the archive file at `path`: 0 when there is no such file or the
// archive is damaged (the reason is kept), else 1 (also when the file cannot be opened).
KV_MEDIA_API int LoadObjectFromFile(CKvObject* object, CString path);
// Stores `object` at `path` through the safe writer: 0 when the archive could not be made,
// else 1 (also when the file cannot be written: the reason is kept).
KV_MEDIA_API int StoreObjectToFile(CKvObject* object, CString path);

// What the search did with each file.
enum class EKvClipState {
  kFromCatalog,  // unchanged since the catalogue was written: its stored record was taken
  kReadAgain,    // the catalogue has it with another size or time: read again
  kNew,          // not in the catalogue: read
  kUnreadable,   // not a picture that loads: left out
};

// The state's name as the tool and scripts print it: "taken", "read again", "new", "left out".
KV_MEDIA_API const char* KvClipStateName(EKvClipState state);

struct SKvFetchOptions {
  // Each record once its state is known, with the library's reason for kUnreadable. The
  // record of kUnreadable is deleted after the call; the others belong to the list.
  std::function<void(const CKvClipMedia& record, EKvClipState state, const CString& reason)>
      onRecord;
  // Before each picture is read and after the last: pictures read so far of those to read.
  // Returning false cancels the search: nothing is added to the list (the result is 0 and
  // `cancelled` is set), but the records read so far are stored in the catalogue.
  std::function<bool(int done, int total)> onProgress;
  // Show an error on removing a stale catalogue in a message box (the panel's way) rather
  // than only in the report.
  bool reportErrors = false;
};

struct SKvFetchReport {
  int found = 0;  // folder entries that matched (a file matched twice counts twice)
  int fromCatalog = 0, readAgain = 0, added = 0, unreadable = 0;
  // Stored records of files that the extensions did not list, kept in the catalogue.
  int kept = 0;
  bool cancelled = false;
  // Why the catalogue on disk was not used at all ("" when it was, or there was none).
  CString catalogRefused;
  // The catalogue described the folder exactly: nothing was written.
  bool catalogCurrent = false;
  // A new catalogue was written.
  bool catalogStored = false;
  // The catalogue described no file of the folder any more: it was removed.
  bool catalogRemoved = false;
  // Why it was not, when it should have been ("" otherwise).
  CString notStoredReason;
};

// The picture types a folder is searched for when the caller names none, in the one order
// the panel, the tool and the Python module share (the catalogue keeps the order).
inline constexpr const wchar_t* kKvClipPictureTypes = L"bmp,tga,jpg,gif,pcx,png,psd";

// Appends the valid pictures of `folder` whose extensions are among the comma-separated
// `extensions` ("tga" or ".tga") to `list`, as records, using and renewing the catalogue at
// `catalogPath`. The records' paths start with the folder's one absolute spelling (links
// resolved), however it was given. The catalogue is only ever a regular file: a link, pipe,
// device or folder of its name is left alone (catalogRefused and notStoredReason say so).
// One catalogue serves every choice of extensions: it keeps the records of files that the
// extensions hide while they are unchanged, and holds only files that exist.
// The list is emptied first (its records deleted). 0 when the folder does not exist (or the
// search was cancelled), else 1.
KV_MEDIA_API int KvMediaFetchValidFile(CKvObList* list, CString folder, CString catalogPath,
                                       CString extensions);
KV_MEDIA_API int KvMediaFetchValidFileEx(CKvObList* list, CString folder, CString catalogPath,
                                         CString extensions, const SKvFetchOptions& options,
                                         SKvFetchReport* report);
