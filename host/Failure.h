// Why the last call on this thread refused what it was given: a short text that a decoder
// records where it gives up ("width 0", "truncated: 1,000 of 8,294,418 bytes"). The exported
// calls clear it when they start, so a reason never outlives the call that set it; the first
// reason recorded in a call is kept, since later ones only follow from it.
#pragma once

#include <string>

#include "platform/Types.h"

KV_HOST_API void KvClearFailure();
// Records `text` unless this call has a reason already. Returns false, so that a decoder can
// `return KvFail("width 0");`.
KV_HOST_API bool KvFail(std::string text);
// The one wording for a file the system will not let us read, in every reader.
inline constexpr char kKvCannotRead[] = "cannot read the file";
// As KvFail, printf-style.
KV_HOST_API bool KvFailf(const char* format, ...) __attribute__((format(printf, 1, 2)));
// Replaces whatever was recorded (for a caller that knows better, such as the dispatch
// telling that the content is another type).
KV_HOST_API void KvSetFailure(std::string text);
KV_HOST_API const std::string& KvLastFailure();
