#include "platform/FindFile.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cwchar>
#include <memory>
#include <string_view>
#include <vector>

#include "platform/String.h"

namespace {

constexpr wchar_t Fold(wchar_t c) { return c >= L'a' && c <= L'z' ? c - (L'a' - L'A') : c; }

// Entries are kept small and made into WIN32_FIND_DATAW (over 1 KiB each) one at a time.
struct FoundEntry {
  std::wstring name;
  DWORD attributes;
  FILETIME created, accessed, written;
  ULONGLONG size;
};

struct FindState {
  std::vector<FoundEntry> entries;
  std::size_t next = 0;
};

bool Describe(int dirFd, const char* name, FoundEntry& entry) {
  struct stat st {};
  if (::fstatat(dirFd, name, &st, 0) != 0) return false;
  entry.name = CString::FromUtf8(name).Str();
  if (entry.name.size() >= MAX_PATH) return false;
  DWORD attributes = 0;
  if (S_ISDIR(st.st_mode))
    attributes |= FILE_ATTRIBUTE_DIRECTORY;
  else if (!S_ISREG(st.st_mode))
    attributes |= FILE_ATTRIBUTE_SYSTEM;
  if ((st.st_mode & 0222) == 0) attributes |= FILE_ATTRIBUTE_READONLY;
  const std::string_view n(name);
  if (n.starts_with('.') && n != "." && n != "..") attributes |= FILE_ATTRIBUTE_HIDDEN;
  entry.attributes = attributes ? attributes : FILE_ATTRIBUTE_NORMAL;
  entry.created = KvUnixTimeToFileTime(st.st_ctim.tv_sec, st.st_ctim.tv_nsec);
  entry.accessed = KvUnixTimeToFileTime(st.st_atim.tv_sec, st.st_atim.tv_nsec);
  entry.written = KvUnixTimeToFileTime(st.st_mtim.tv_sec, st.st_mtim.tv_nsec);
  entry.size = static_cast<ULONGLONG>(st.st_size);
  return true;
}

void Fill(const FoundEntry& entry, WIN32_FIND_DATAW& data) {
  data = {};
  data.dwFileAttributes = entry.attributes;
  data.ftCreationTime = entry.created;
  data.ftLastAccessTime = entry.accessed;
  data.ftLastWriteTime = entry.written;
  data.nFileSizeHigh = static_cast<DWORD>(entry.size >> 32);
  data.nFileSizeLow = static_cast<DWORD>(entry.size);
  std::wmemcpy(data.cFileName, entry.name.c_str(), entry.name.size());
}

// Case-folded order, then ordinal, so that the order does not depend on the file system.
bool NameBefore(const FoundEntry& a, const FoundEntry& b) {
  const std::size_t n = std::min(a.name.size(), b.name.size());
  for (std::size_t i = 0; i < n; ++i) {
    const wchar_t x = Fold(a.name[i]), y = Fold(b.name[i]);
    if (x != y) return x < y;
  }
  if (a.name.size() != b.name.size()) return a.name.size() < b.name.size();
  return a.name < b.name;
}

}  // namespace

bool KvWildcardMatch(const wchar_t* pattern, const wchar_t* name) {
  // Greedy with one back-track point: the last '*' seen.
  const wchar_t* star = nullptr;
  const wchar_t* resume = nullptr;
  while (*name) {
    if (*pattern == L'*') {
      star = pattern++;
      resume = name;
    } else if (*pattern && (*pattern == L'?' || Fold(*pattern) == Fold(*name))) {
      ++pattern;
      ++name;
    } else if (star) {
      pattern = star + 1;
      name = ++resume;
    } else {
      return false;
    }
  }
  while (*pattern == L'*') ++pattern;
  return *pattern == 0;
}

FILETIME KvUnixTimeToFileTime(long long seconds, long nanoseconds) {
  constexpr long long kEpochDifference = 11644473600LL;  // 1601-01-01 to 1970-01-01
  const long long ticks = (seconds + kEpochDifference) * 10000000LL + nanoseconds / 100;
  const auto t = static_cast<ULONGLONG>(ticks < 0 ? 0 : ticks);
  return {static_cast<DWORD>(t), static_cast<DWORD>(t >> 32)};
}

HANDLE FindFirstFileW(const wchar_t* pattern, WIN32_FIND_DATAW* data) {
  if (!pattern || !data) return INVALID_HANDLE_VALUE;
  const std::wstring full = pattern;
  const auto slash = full.rfind(L'/');
  const CString dir =
      slash == std::wstring::npos ? CString(L".") : CString(full.substr(0, slash + 1));
  const std::wstring namePattern = slash == std::wstring::npos ? full : full.substr(slash + 1);
  if (namePattern.empty()) return INVALID_HANDLE_VALUE;

  const int dirFd = ::open(dir.ToUtf8().c_str(), O_RDONLY | O_DIRECTORY | O_NONBLOCK | O_CLOEXEC);
  if (dirFd < 0) return INVALID_HANDLE_VALUE;
  DIR* folder = ::fdopendir(dirFd);
  if (!folder) {
    ::close(dirFd);
    return INVALID_HANDLE_VALUE;
  }
  auto state = std::make_unique<FindState>();
  while (const dirent* entry = ::readdir(folder)) {
    const CString name = CString::FromUtf8(entry->d_name);
    if (!KvWildcardMatch(namePattern.c_str(), name.GetString())) continue;
    FoundEntry found;
    if (Describe(dirFd, entry->d_name, found)) state->entries.push_back(std::move(found));
  }
  ::closedir(folder);
  if (state->entries.empty()) return INVALID_HANDLE_VALUE;
  std::sort(state->entries.begin(), state->entries.end(), NameBefore);
  Fill(state->entries[state->next++], *data);
  return state.release();
}

BOOL FindNextFileW(HANDLE search, WIN32_FIND_DATAW* data) {
  if (!search || search == INVALID_HANDLE_VALUE || !data) return FALSE;
  auto* state = static_cast<FindState*>(search);
  if (state->next >= state->entries.size()) return FALSE;
  Fill(state->entries[state->next++], *data);
  return TRUE;
}

BOOL FindClose(HANDLE search) {
  if (!search || search == INVALID_HANDLE_VALUE) return FALSE;
  delete static_cast<FindState*>(search);
  return TRUE;
}
