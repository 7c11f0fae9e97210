#include "clipmedia/ValidFileSearch.h"

#include <algorithm>
#include <cstdlib>
#include <memory>
#include <new>
#include <optional>
#include <unordered_map>
#include <unordered_set>
#include <utility>

#include "clipmedia/ClipMedia.h"
#include "host/Failure.h"
#include "host/FileName.h"
#include "host/SafeSave.h"
#include "platform/Dialogs.h"
#include "platform/Paths.h"

namespace {

using Record = std::unique_ptr<CKvClipMedia>;

// Case is folded as CompareMedia folds it: ASCII letters only, whatever the locale.
std::wstring FoldedKey(const CString& path) {
  std::wstring key = path.Str();
  for (wchar_t& c : key)
    if (c >= L'a' && c <= L'z') c = static_cast<wchar_t>(c - (L'a' - L'A'));
  return key;
}

// One folder, one spelling: "./f", "f/" and "/abs/f" give the same paths, so that each finds
// the records the others stored. Links are resolved too (the folder exists here).
CString CanonicalFolder(const CString& folder) {
  std::unique_ptr<char, decltype(&std::free)> resolved(::realpath(folder.ToUtf8().c_str(), nullptr),
                                                       &std::free);
  return resolved ? CString::FromUtf8(resolved.get()) : folder;
}

bool SameFileState(const CKvClipMedia& a, const CKvClipMedia& b) {
  const FILETIME x = a.GetLastWriteTime(), y = b.GetLastWriteTime();
  return a.GetFileSize() == b.GetFileSize() && x.dwLowDateTime == y.dwLowDateTime &&
         x.dwHighDateTime == y.dwHighDateTime;
}

std::vector<Record> Enumerate(const CString& folder, const CString& extensions) {
  std::vector<Record> found;
  for (CString token : KvSplitExtensions(extensions)) {
    // ".tga" is the extension tga, as a user writes it.
    if (token.Left(1) == L".") token = token.Mid(1);
    WIN32_FIND_DATAW data;
    HANDLE search = FindFirstFileW(KvJoinPath(folder, L"*." + token), &data);
    if (search == INVALID_HANDLE_VALUE) continue;
    do {
      if (data.dwFileAttributes == FILE_ATTRIBUTE_DIRECTORY) continue;
      // The name exactly as the folder gives it: " logo.png" is not "logo.png".
      const CString name(data.cFileName);
      if (name.IsEmpty()) continue;
      auto record = std::make_unique<CKvClipMedia>();
      record->SetBasicInfo(KvJoinPath(folder, name), &data);
      found.push_back(std::move(record));
    } while (FindNextFileW(search, &data));
    FindClose(search);
  }
  return found;
}

// The stored records, taken for found paths: a record of the exact path first, in catalogue
// order; failing that, one whose path differs in case only and names no file the folder
// has (a file renamed in case only), so that "logo.tga" never gets the record of a removed
// "Logo.tga" while its own is there.
class StoredRecords {
 public:
  StoredRecords(CKvClipMediaFileCollection& catalog, const std::vector<Record>& found) {
    CKvObList& list = catalog.GetList();
    records.reserve(static_cast<std::size_t>(list.GetCount()));
    // Loading guarantees records only, each held once; the list gives them up here.
    for (POSITION pos = list.GetHeadPosition(); pos;)
      records.emplace_back(static_cast<CKvClipMedia*>(list.GetNext(pos)));
    list.RemoveAll();
    m_used.assign(records.size(), false);
    for (const Record& r : found) m_foundPaths.insert(r->GetFileFullPath().Str());
    for (std::size_t i = 0; i < records.size(); ++i) {
      const CString& path = records[i]->GetFileFullPath();
      m_exact[path.Str()].indices.push_back(i);
      if (!m_foundPaths.count(path.Str())) m_folded[FoldedKey(path)].indices.push_back(i);
    }
  }

  std::optional<std::size_t> TakeNext(const CString& path) {
    if (auto index = Take(m_exact, path.Str())) return index;
    return Take(m_folded, FoldedKey(path));
  }

  // The records not taken that still describe a file of `folder` as it is, which the
  // extensions did not list: a regular file of that exact path, size and time. Records of
  // files that are gone, changed, listed, or of another folder are dropped; each path once.
  std::vector<Record> Unused(const CString& folder) {
    std::vector<Record> kept;
    if (std::find(m_used.begin(), m_used.end(), false) == m_used.end()) return kept;
    std::unordered_map<std::wstring, WIN32_FIND_DATAW> entries;
    WIN32_FIND_DATAW data;
    if (HANDLE search = FindFirstFileW(KvJoinPath(folder, L"*"), &data);
        search != INVALID_HANDLE_VALUE) {
      do {
        if (!(data.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_SYSTEM)))
          entries.emplace(KvJoinPath(folder, data.cFileName).Str(), data);
      } while (FindNextFileW(search, &data));
      FindClose(search);
    }
    for (std::size_t i = 0; i < records.size(); ++i) {
      if (m_used[i] || records[i]->GetIcon().IsEmpty()) continue;
      const std::wstring path = records[i]->GetFileFullPath().Str();
      const auto entry = entries.find(path);
      if (entry == entries.end() || m_foundPaths.count(path)) continue;
      CKvClipMedia now;
      now.SetBasicInfo(records[i]->GetFileFullPath(), &entry->second);
      if (!SameFileState(*records[i], now)) continue;
      entries.erase(entry);  // a second record of the path is dropped
      m_used[i] = true;
      kept.push_back(std::move(records[i]));
    }
    return kept;
  }

  std::vector<Record> records;

 private:
  // Each key's records in catalogue order, and where the unused ones begin.
  struct Queue {
    std::vector<std::size_t> indices;
    std::size_t next = 0;
  };
  using Queues = std::unordered_map<std::wstring, Queue>;

  std::optional<std::size_t> Take(Queues& queues, const std::wstring& key) {
    const auto it = queues.find(key);
    if (it == queues.end()) return std::nullopt;
    Queue& q = it->second;
    while (q.next < q.indices.size() && m_used[q.indices[q.next]]) ++q.next;
    if (q.next == q.indices.size()) return std::nullopt;
    const std::size_t index = q.indices[q.next++];
    m_used[index] = true;
    return index;
  }

  std::vector<bool> m_used;
  std::unordered_set<std::wstring> m_foundPaths;
  Queues m_exact, m_folded;
};

// Holds the records' pointers for the time of a store, without owning them.
class BorrowedCollection {
 public:
  BorrowedCollection(const std::vector<Record>& first, const std::vector<Record>& then) {
    for (const auto* records : {&first, &then})
      for (const Record& r : *records) m_collection.GetList().AddTail(r.get());
  }
  ~BorrowedCollection() { m_collection.GetList().RemoveAll(); }
  CKvClipMediaFileCollection& get() { return m_collection; }

 private:
  CKvClipMediaFileCollection m_collection;
};

void RemoveCatalogue(const CString& catalogPath, const SKvFetchOptions& options,
                     SKvFetchReport& report) {
  try {
    CFile::Remove(catalogPath);
    report.catalogRemoved = true;
  } catch (const CException& e) {
    CString text;
    e.GetErrorMessage(text);
    report.notStoredReason = L"cannot remove the old catalogue: " + text;
    if (options.reportErrors) e.ReportError(MB_OK, 0);
  }
}

// One search: match the catalogue, read what changed, store the catalogue if it is stale.
class Search {
 public:
  Search(const CString& catalogPath, const SKvFetchOptions& options, SKvFetchReport& report)
      : m_catalogPath(catalogPath), m_options(options), m_report(report) {}

  int Run(CKvObList* list, const CString& folderAsGiven, const CString& extensions) {
    if (!KvDoesDirExist(folderAsGiven)) return 0;
    const CString folder = CanonicalFolder(folderAsGiven);
    std::vector<Record> found = Enumerate(folder, extensions);
    m_report.found = static_cast<int>(found.size());
    LoadCatalogue();
    StoredRecords stored(m_catalog, found);
    std::vector<EKvClipState> states = Match(found, stored);
    std::vector<Record> valid = ReadChanged(found, states);
    // Records are per file, whatever the extensions: those of files that the extensions hide
    // stay, after the listed ones, so that another filter reads no unchanged picture again.
    std::vector<Record> kept = stored.Unused(folder);
    m_report.kept = static_cast<int>(kept.size());
    // Files that do not load are not stored, so they alone do not make the catalogue stale;
    // nor does a filter that lists the stored records in their stored order.
    m_differed =
        m_differed || valid.size() != m_taken || m_taken + kept.size() != stored.records.size();
    StoreIfStale(valid, kept);
    // A cancelled listing adds nothing: the caller asked for no list.
    if (m_report.cancelled) return 0;
    for (Record& r : valid) list->AddTail(r.release());
    return 1;
  }

 private:
  void Tell(const CKvClipMedia& record, EKvClipState state, const CString& reason) const {
    if (m_options.onRecord) m_options.onRecord(record, state, reason);
  }

  // A link, pipe, device or folder of the catalogue's name is neither read nor written nor
  // removed; nothing of a refused catalogue is used.
  void LoadCatalogue() {
    m_refusal = KvCacheTargetRefusal(m_catalogPath.ToUtf8());
    if (m_refusal) m_report.catalogRefused = CString::FromUtf8(m_refusal);
    m_catalogExists = !m_refusal && KvDoesFileExist(m_catalogPath) != 0;
    m_differed = !m_catalogExists;
    if (!m_catalogExists) return;
    KvClearFailure();
    if (!KvLoadArchiveFile(m_catalog, m_catalogPath)) {
      m_report.catalogRefused = CString::FromUtf8(KvLastFailure());
      m_catalog.GetList().DeleteAll();
      m_differed = true;
    }
  }

  // Takes for each file found the record that still describes it; the others are to be read.
  std::vector<EKvClipState> Match(std::vector<Record>& found, StoredRecords& stored) {
    std::vector<EKvClipState> states(found.size(), EKvClipState::kNew);
    std::size_t lastTaken = 0;
    for (std::size_t i = 0; i < found.size(); ++i) {
      const CString path = found[i]->GetFileFullPath();
      const std::optional<std::size_t> index = stored.TakeNext(path);
      Record* candidate = index ? &stored.records[*index] : nullptr;
      if (candidate && SameFileState(**candidate, *found[i]) &&
          !(*candidate)->GetIcon().IsEmpty()) {
        m_differed = m_differed || (m_taken > 0 && *index < lastTaken) ||
                     (*candidate)->GetFileFullPath() != path;
        lastTaken = *index;
        ++m_taken;
        // On a file system that tells case apart, the name that is there now is the one kept.
        (*candidate)->SetFileFullPath(path);
        found[i] = std::move(*candidate);
        states[i] = EKvClipState::kFromCatalog;
        ++m_report.fromCatalog;
        Tell(*found[i], states[i], CString());
        continue;
      }
      states[i] = candidate ? EKvClipState::kReadAgain : EKvClipState::kNew;
      ++m_toRead;
    }
    return states;
  }

  // The records in folder order: those taken, and those read again that load.
  std::vector<Record> ReadChanged(std::vector<Record>& found,
                                  const std::vector<EKvClipState>& states) {
    int done = 0;
    const auto carryOn = [&] {
      return !m_options.onProgress || m_options.onProgress(done, m_toRead);
    };
    std::vector<Record> valid;
    valid.reserve(found.size());
    for (std::size_t i = 0; i < found.size(); ++i) {
      if (states[i] == EKvClipState::kFromCatalog) {
        valid.push_back(std::move(found[i]));
        continue;
      }
      if (!carryOn()) {
        m_report.cancelled = true;
        break;
      }
      const bool made = found[i]->MakeExtInfo() != 0;
      ++done;
      if (!made) {
        ++m_report.unreadable;
        Tell(*found[i], EKvClipState::kUnreadable, CString::FromUtf8(KvLastFailure()));
        continue;
      }
      ++(states[i] == EKvClipState::kNew ? m_report.added : m_report.readAgain);
      Tell(*found[i], states[i], CString());
      valid.push_back(std::move(found[i]));
    }
    if (!m_report.cancelled && m_toRead > 0 && !carryOn()) m_report.cancelled = true;
    return valid;
  }

  void StoreIfStale(const std::vector<Record>& valid, const std::vector<Record>& kept) {
    const bool nothingLeft = valid.empty() && kept.empty();
    m_report.catalogCurrent = !m_differed && !nothingLeft && !m_report.cancelled;
    if (nothingLeft) {
      // Nothing to describe: a stale catalogue goes, but not on a cancel, which read nothing
      // that could tell.
      if (m_catalogExists && !m_report.cancelled)
        RemoveCatalogue(m_catalogPath, m_options, m_report);
    } else if (m_differed && m_refusal) {
      m_report.notStoredReason = m_report.catalogRefused;
    } else if (m_differed) {
      // A cancelled listing stores what it has read, so that visits too short to wait for the
      // whole folder still build the catalogue.
      KvClearFailure();
      BorrowedCollection collection(valid, kept);
      if (KvStoreArchiveFile(collection.get(), m_catalogPath, KvSaveKind::kCache) ==
          KvStoreResult::kStored)
        m_report.catalogStored = true;
      else
        m_report.notStoredReason = CString::FromUtf8(KvLastFailure());
    }
  }

  const CString& m_catalogPath;
  const SKvFetchOptions& m_options;
  SKvFetchReport& m_report;
  CKvClipMediaFileCollection m_catalog;
  const char* m_refusal = nullptr;
  bool m_catalogExists = false;
  bool m_differed = false;  // the catalogue no longer says what the folder holds
  std::size_t m_taken = 0;  // records taken from the catalogue
  int m_toRead = 0;
};

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
    return Search(catalogPath, options, out).Run(list, folder, extensions);
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
