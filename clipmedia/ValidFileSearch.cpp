#include "clipmedia/ValidFileSearch.h"

#include <memory>
#include <new>
#include <optional>
#include <unordered_map>
#include <utility>

#include "clipmedia/ClipMedia.h"
#include "host/Failure.h"
#include "host/FileName.h"
#include "platform/Dialogs.h"
#include "platform/Paths.h"

namespace {

using Record = std::unique_ptr<CKvClipMedia>;

// Paths compare as CompareMedia compares them: ASCII letters without regard to case.
std::wstring PathKey(const CString& path) {
  CString key = path;
  key.MakeUpper();
  return key.Str();
}

bool SameFileState(const CKvClipMedia& a, const CKvClipMedia& b) {
  const FILETIME x = a.GetLastWriteTime(), y = b.GetLastWriteTime();
  return a.GetFileSize() == b.GetFileSize() && x.dwLowDateTime == y.dwLowDateTime &&
         x.dwHighDateTime == y.dwHighDateTime;
}

std::vector<Record> Enumerate(const CString& folder, const CString& extensions) {
  std::vector<Record> found;
  for (const CString& token : KvSplitExtensions(extensions)) {
    WIN32_FIND_DATAW data;
    HANDLE search = FindFirstFileW(KvJoinPath(folder, L"*." + token), &data);
    if (search == INVALID_HANDLE_VALUE) continue;
    do {
      if (data.dwFileAttributes == FILE_ATTRIBUTE_DIRECTORY) continue;
      CString name(data.cFileName);
      if (name.Trim().IsEmpty()) continue;
      auto record = std::make_unique<CKvClipMedia>();
      record->SetBasicInfo(KvJoinPath(folder, name), &data);
      found.push_back(std::move(record));
    } while (FindNextFileW(search, &data));
    FindClose(search);
  }
  return found;
}

// The stored records by path key, each key's records in catalogue order with their index.
struct StoredRecords {
  std::vector<Record> records;
  std::unordered_map<std::wstring, std::vector<std::size_t>> byPath;
  std::unordered_map<std::wstring, std::size_t> nextOfPath;

  explicit StoredRecords(CKvClipMediaFileCollection& catalog) {
    CKvObList& list = catalog.GetList();
    records.reserve(static_cast<std::size_t>(list.GetCount()));
    // Loading guarantees records only, each held once; the list gives them up here.
    for (POSITION pos = list.GetHeadPosition(); pos;)
      records.emplace_back(static_cast<CKvClipMedia*>(list.GetNext(pos)));
    list.RemoveAll();
    for (std::size_t i = 0; i < records.size(); ++i)
      byPath[PathKey(records[i]->GetFileFullPath())].push_back(i);
  }

  // The next unused stored record of this path, or none.
  std::optional<std::size_t> TakeNext(const CString& path) {
    const std::wstring key = PathKey(path);
    auto it = byPath.find(key);
    if (it == byPath.end()) return std::nullopt;
    std::size_t& next = nextOfPath[key];
    if (next >= it->second.size()) return std::nullopt;
    return it->second[next++];
  }
};

// Holds the records' pointers for the time of a store, without owning them.
class BorrowedCollection {
 public:
  explicit BorrowedCollection(const std::vector<Record>& records) {
    for (const Record& r : records) m_collection.GetList().AddTail(r.get());
  }
  ~BorrowedCollection() { m_collection.GetList().RemoveAll(); }
  CKvClipMediaFileCollection& get() { return m_collection; }

 private:
  CKvClipMediaFileCollection m_collection;
};

int Fetch(CKvObList* list, const CString& folder, const CString& catalogPath,
          const CString& extensions, const SKvFetchOptions& options, SKvFetchReport& report) {
  if (!KvDoesDirExist(folder)) return 0;
  std::vector<Record> found = Enumerate(folder, extensions);
  report.found = static_cast<int>(found.size());
  const auto tell = [&](const CKvClipMedia& record, EKvClipState state, const CString& reason) {
    if (options.onRecord) options.onRecord(record, state, reason);
  };

  // Take what the catalogue still describes; the rest is read.
  const bool catalogExists = KvDoesFileExist(catalogPath) != 0;
  CKvClipMediaFileCollection catalog;
  bool differed = !catalogExists;
  if (catalogExists) {
    KvClearFailure();
    if (!KvLoadArchiveFile(catalog, catalogPath)) {
      report.catalogRefused = CString::FromUtf8(KvLastFailure());
      catalog.GetList().DeleteAll();  // nothing of a refused catalogue is used
      differed = true;
    }
  }
  StoredRecords stored(catalog);
  std::vector<EKvClipState> states(found.size(), EKvClipState::kNew);
  std::size_t taken = 0, lastTaken = 0;
  int toRead = 0;
  for (std::size_t i = 0; i < found.size(); ++i) {
    const CString path = found[i]->GetFileFullPath();
    const std::optional<std::size_t> index = stored.TakeNext(path);
    Record* candidate = index ? &stored.records[*index] : nullptr;
    if (candidate && SameFileState(**candidate, *found[i]) && !(*candidate)->GetIcon().IsEmpty()) {
      differed =
          differed || (taken > 0 && *index < lastTaken) || (*candidate)->GetFileFullPath() != path;
      lastTaken = *index;
      ++taken;
      // On a file system that tells case apart, the name that is there now is the one kept.
      (*candidate)->SetFileFullPath(path);
      found[i] = std::move(*candidate);
      states[i] = EKvClipState::kFromCatalog;
      ++report.fromCatalog;
      tell(*found[i], states[i], CString());
      continue;
    }
    states[i] = candidate ? EKvClipState::kReadAgain : EKvClipState::kNew;
    ++toRead;
  }

  int done = 0;
  const auto carryOn = [&] { return !options.onProgress || options.onProgress(done, toRead); };
  std::vector<Record> valid;
  valid.reserve(found.size());
  for (std::size_t i = 0; i < found.size(); ++i) {
    if (states[i] == EKvClipState::kFromCatalog) {
      valid.push_back(std::move(found[i]));
      continue;
    }
    if (!carryOn()) {
      report.cancelled = true;
      return 0;
    }
    const bool made = found[i]->MakeExtInfo() != 0;
    ++done;
    if (!made) {
      ++report.unreadable;
      tell(*found[i], EKvClipState::kUnreadable, CString::FromUtf8(KvLastFailure()));
      continue;
    }
    ++(states[i] == EKvClipState::kNew ? report.added : report.readAgain);
    tell(*found[i], states[i], CString());
    valid.push_back(std::move(found[i]));
  }
  if (toRead > 0 && !carryOn()) {
    report.cancelled = true;
    return 0;
  }

  // Files that do not load are not stored, so they alone do not make the catalogue stale.
  differed = differed || taken != stored.records.size() || valid.size() != taken || valid.empty();
  report.catalogCurrent = !differed;
  if (differed && !valid.empty()) {
    KvClearFailure();
    BorrowedCollection collection(valid);
    if (KvStoreArchiveFile(collection.get(), catalogPath) == KvStoreResult::kStored)
      report.catalogStored = true;
    else
      report.notStoredReason = CString::FromUtf8(KvLastFailure());
  } else if (differed && catalogExists) {
    // Nothing to describe: a stale catalogue goes.
    try {
      CFile::Remove(catalogPath);
      report.catalogStored = true;
    } catch (const CException& e) {
      CString text;
      e.GetErrorMessage(text);
      report.notStoredReason = L"cannot remove the old catalogue: " + text;
      if (options.reportErrors) e.ReportError(MB_OK, 0);
    }
  }

  for (Record& r : valid) list->AddTail(r.release());
  return 1;
}

}  // namespace

std::vector<CString> KvSplitExtensions(const CString& extensions) {
  std::vector<CString> tokens;
  int start = 0;
  for (int comma; (comma = extensions.Find(L',', start)) >= 0; start = comma + 1)
    tokens.push_back(extensions.Mid(start, comma - start));
  tokens.push_back(extensions.Mid(start));
  return tokens;
}

const char* KvClipStateName(EKvClipState state) {
  switch (state) {
    case EKvClipState::kFromCatalog:
      return "taken";
    case EKvClipState::kReadAgain:
      return "read again";
    case EKvClipState::kNew:
      return "new";
    default:
      return "left out";
  }
}

int KvMediaFetchValidFileEx(CKvObList* list, CString folder, CString catalogPath,
                            CString extensions, const SKvFetchOptions& options,
                            SKvFetchReport* report) {
  SKvFetchReport ignored;
  SKvFetchReport& out = report ? *report : ignored;
  out = SKvFetchReport();
  KvClearFailure();
  if (!list) return 0;
  try {
    list->DeleteAll();
    return Fetch(list, folder, catalogPath, extensions, options, out);
  } catch (const CException& e) {
    KvFail(KvArchiveFailureText(e));
  } catch (const std::bad_alloc&) {
    KvFail("out of memory");
  }
  return 0;
}

int KvMediaFetchValidFile(CKvObList* list, CString folder, CString catalogPath,
                          CString extensions) {
  SKvFetchOptions options;
  options.reportErrors = true;
  return KvMediaFetchValidFileEx(list, folder, catalogPath, extensions, options, nullptr);
}
