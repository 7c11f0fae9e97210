// The entry of every codec: a decode or header read runs inside KvGuarded, so that a file
// error or a short allocation ends it as a refusal with its reason, never as an exception.
#pragma once

#include <new>
#include <type_traits>

#include "host/Failure.h"
#include "host/FileReader.h"
#include "platform/Exceptions.h"
#include "platform/Types.h"

// Runs `work`; when it throws a file error or runs out of memory, records why and returns
// the empty result (null, 0 or false).
template <class Work>
std::invoke_result_t<Work&> KvGuarded(Work&& work) {
  try {
    return work();
  } catch (const CException&) {
    KvFail(kKvCannotRead);
  } catch (const std::bad_alloc&) {
    KvFail("out of memory");
  }
  return {};
}

// Marks the reader failed for `want` bytes at its position and records "truncated: ...";
// false, for `return KvFailTruncated(in, n);`.
inline bool KvFailTruncated(FileReader& in, ULONGLONG want) {
  in.fail(want);
  return KvFail(in.Reason());
}

// Null for a refusal already recorded: `return KvRefused(KvFail("width 0"));`.
inline DWORD* KvRefused(bool) { return nullptr; }
