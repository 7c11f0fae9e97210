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

struct FindState {
  std::vector<WIN32_FIND_DATAW> entries;
  std::vector<std::size_t> order;  // indices into entries, by name
  std::size_t next = 0;
};

bool Describe(int dirFd, const char* name, WIN32_FIND_DATAW& data) {
  struct stat st {};
  if (::fstatat(dirFd, name, &st, 0) != 0) return false;
  const CString wide = CString::FromUtf8(name);
  if (wide.GetLength() >= MAX_PATH) return false;
  data = {};
  DWORD attributes = 0;
  if (S_ISDIR(st.st_mode))
    attributes |= FILE_ATTRIBUTE_DIRECTORY;
  else if (!S_ISREG(st.st_mode))
    attributes |= FILE_ATTRIBUTE_SYSTEM;
  if ((st.st_mode & 0222) == 0) attributes |= FILE_ATTRIBUTE_READONLY;
  const std::string_view n(name);
  if (n.starts_with('.') && n != "." && n != "..") attributes |= FILE_ATTRIBUTE_HIDDEN;
  data.dwFileAttributes = attributes ? attributes : FILE_ATTRIBUTE_NORMAL;
  data.ftCreationTime = KvUnixTimeToFileTime(st.st_ctim.tv_sec, st.st_ctim.tv_nsec);
  data.ftLastAccessTime = KvUnixTimeToFileTime(st.st_atim.tv_sec, st.st_atim.tv_nsec);
  data.ftLastWriteTime = KvUnixTimeToFileTime(st.st_mtim.tv_sec, st.st_mtim.tv_nsec);
  const auto size = static_cast<ULONGLONG>(st.st_size);
  data.nFileSizeHigh = static_cast<DWORD>(size >> 32);
  data.nFileSizeLow = static_cast<DWORD>(size);
  std::wmemcpy(data.cFileName, wide.GetString(), static_cast<std::size_t>(wide.GetLength()));
  return true;
}

// Case-folded order, then ordinal, so that the order does not depend on the file system.
bool NameBefore(const WIN32_FIND_DATAW& a, const WIN32_FIND_DATAW& b) {
  for (std::size_t i = 0;; ++i) {
    const wchar_t x = Fold(a.cFileName[i]), y = Fold(b.cFileName[i]);
    if (x != y) return x < y;
    if (x == 0) break;
  }
  return std::wcscmp(a.cFileName, b.cFileName) < 0;
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

  const int dirFd = ::open(dir.ToUtf8().c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
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
    WIN32_FIND_DATAW found;
    if (Describe(dirFd, entry->d_name, found)) state->entries.push_back(found);
  }
  ::closedir(folder);
  if (state->entries.empty()) return INVALID_HANDLE_VALUE;
  state->order.resize(state->entries.size());
  for (std::size_t i = 0; i < state->order.size(); ++i) state->order[i] = i;
  std::sort(state->order.begin(), state->order.end(), [&](std::size_t a, std::size_t b) {
    return NameBefore(state->entries[a], state->entries[b]);
  });
  *data = state->entries[state->order[state->next++]];
  return state.release();
}

BOOL FindNextFileW(HANDLE search, WIN32_FIND_DATAW* data) {
  if (!search || search == INVALID_HANDLE_VALUE || !data) return FALSE;
  auto* state = static_cast<FindState*>(search);
  if (state->next >= state->order.size()) return FALSE;
  *data = state->entries[state->order[state->next++]];
  return TRUE;
}

BOOL FindClose(HANDLE search) {
  if (!search || search == INVALID_HANDLE_VALUE) return FALSE;
  delete static_cast<FindState*>(search);
  return TRUE;
}
