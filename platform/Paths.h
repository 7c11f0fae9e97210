// Path splitting and making, wide-path streams and case-insensitive comparison, behaving as
// the original platform's runtime library does, with '/' as the separator.
#pragma once

#include <cstdio>

#include "platform/String.h"

constexpr wchar_t KV_PATH_SEPARATOR = L'/';
constexpr const wchar_t* KV_PATH_SEPARATOR_STR = L"/";

// Buffer sizes in characters, terminating zero included. The splitting functions never
// write more than these into the buffers they are given (longer parts are cut).
constexpr int _MAX_PATH = 4096;
constexpr int _MAX_DRIVE = 3;
constexpr int _MAX_DIR = 4096;
constexpr int _MAX_FNAME = 256;
constexpr int _MAX_EXT = 256;

// Splits a path into drive (always empty here), folder (with its trailing separator),
// name, and extension (from the last dot of the file name, dot included). Any output may be
// null.
KV_PLATFORM_API void _wsplitpath(const wchar_t* path, wchar_t* drive, wchar_t* dir, wchar_t* fname,
                                 wchar_t* ext);
// drive + dir (a separator added when missing) + fname + ext ('.' added when missing).
// Writes at most _MAX_PATH characters.
KV_PLATFORM_API void _wmakepath(wchar_t* path, const wchar_t* drive, const wchar_t* dir,
                                const wchar_t* fname, const wchar_t* ext);
// Opens a stream on a wide path with a wide mode ("rb", "wb" ...).
KV_PLATFORM_API std::FILE* _wfopen(const wchar_t* path, const wchar_t* mode);
// Compares ignoring the case of ASCII letters.
KV_PLATFORM_API int _wcsicmp(const wchar_t* a, const wchar_t* b);
int _wcsnicmp(const wchar_t* a, const wchar_t* b, std::size_t n);

struct KvPathParts {
  CString drive, dir, fname, ext;
};
KV_PLATFORM_API KvPathParts KvSplitPath(const CString& path);
// The extension with its dot ("" when there is none).
KV_PLATFORM_API CString KvPathExtension(const CString& path);
// dir joined with name by one separator.
KV_PLATFORM_API CString KvJoinPath(const CString& dir, const CString& name);
