// The one table of picture formats: extension, type code, loader, picture information,
// header facts and saver. The type lookup, the load dispatch (and its chain for unknown
// extensions), KvMediaGetPicInfo, KvMediaGetPicFacts, the save dispatch and the tool all read it.
#pragma once

#include <span>

#include "platform/Geometry.h"
#include "platform/String.h"

struct SKvPicFacts;

struct KvPictureFormat {
  using Loader = DWORD* (*)(CString path, CRect& rect);
  using Information = int (*)(const CString& path, RECT* rect, int* bits);
  // Fills all but the type from the header; 0, with the reason recorded, when it is refused.
  using Facts = int (*)(const CString& path, SKvPicFacts& facts);
  using Saver = int (*)(CString path, DWORD* buffer, CSize size, CRect rect);
  // Decodes strictly; 0, with the damage recorded, for what the loader would pass over.
  using Check = int (*)(const CString& path);

  const wchar_t* extension;  // with its dot, upper case; compared without regard to case
  int type;                  // KV_PIC_...; 0 for an extension that only picture information knows
  const char* name;          // "TGA", "motion movie" ...
  Loader load;               // null for movie types, which the movie API plays
  Information information;   // null where picture information knows nothing of the type
  Facts facts;               // null for movie types
  Saver save;                // null where there is no saver
  bool savedByDispatch;      // KvMediaSavePicFile writes it (the others only by their savers)
  Check check;               // null where the loader refuses every damage it meets
};

// Every format, in the order of the type codes (the order the chain for unknown extensions
// tries the loaders in), then the extensions known only to picture information.
std::span<const KvPictureFormat> KvPictureFormats();

// The entry of a path's extension, or null. With `informationOnly`, extensions that have no
// type code count too.
const KvPictureFormat* KvFindPictureFormat(const CString& path, bool informationOnly = false);
const KvPictureFormat* KvPictureFormatOfType(int type);

// The type that a file's first bytes (and, for TGA, its footer) say it is, KV_PIC_UNKNOWN
// when they say nothing: for telling that content and extension disagree.
int KvSniffPictureType(const CString& path);
