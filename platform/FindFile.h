// Folder search by wildcard pattern, as the FindFirstFileW family does it on Windows: "dir/*.tga"
// lists the entries of dir whose names match "*.tga" without regard to case.
#pragma once

#include "platform/Types.h"

using HANDLE = void*;
inline HANDLE const INVALID_HANDLE_VALUE = reinterpret_cast<HANDLE>(~std::uintptr_t{0});

constexpr int MAX_PATH = 260;

enum : DWORD {
  FILE_ATTRIBUTE_READONLY = 0x01,
  FILE_ATTRIBUTE_HIDDEN = 0x02,
  FILE_ATTRIBUTE_SYSTEM = 0x04,
  FILE_ATTRIBUTE_DIRECTORY = 0x10,
  FILE_ATTRIBUTE_ARCHIVE = 0x20,
  FILE_ATTRIBUTE_NORMAL = 0x80,
};

struct WIN32_FIND_DATAW {
  DWORD dwFileAttributes;
  FILETIME ftCreationTime;
  FILETIME ftLastAccessTime;
  FILETIME ftLastWriteTime;
  DWORD nFileSizeHigh;
  DWORD nFileSizeLow;
  DWORD dwReserved0;
  DWORD dwReserved1;
  wchar_t cFileName[MAX_PATH];
  wchar_t cAlternateFileName[14];
};

// Attributes: DIRECTORY for folders (links to folders too), READONLY when nobody may write
// the entry, HIDDEN for names starting with '.', SYSTEM for devices, pipes and sockets, and
// NORMAL when none of these applies. Entries whose status cannot be read (dangling links,
// entries removed meanwhile) are not listed. Names come in ascending order, ignoring case.
//
// The first match, or INVALID_HANDLE_VALUE when the folder cannot be read or nothing matches.
KV_PLATFORM_API HANDLE FindFirstFileW(const wchar_t* pattern, WIN32_FIND_DATAW* data);
// The next match; FALSE at the end.
KV_PLATFORM_API BOOL FindNextFileW(HANDLE search, WIN32_FIND_DATAW* data);
KV_PLATFORM_API BOOL FindClose(HANDLE search);

// Whether `name` matches a pattern of '*' (any run) and '?' (any one character), ignoring
// the case of ASCII letters.
KV_PLATFORM_API bool KvWildcardMatch(const wchar_t* pattern, const wchar_t* name);

// Seconds and nanoseconds since 1970 as a FILETIME (100 ns units since 1601).
KV_PLATFORM_API FILETIME KvUnixTimeToFileTime(long long seconds, long nanoseconds);
