// The player of a movie file's type, for the library's own callers that open and prepare it
// themselves (the factory in KvMovie.h prepares without a background).
#pragma once

#include <memory>

#include "KvMediaFile/KvMovie.h"

// A new, unopened player for the path's type (by its extension); null for a type no player
// plays.
std::unique_ptr<CKvPlayMovieBase> KvNewMoviePlayer(const CString& path);
