#include "host/Failure.h"

#include <cstdarg>
#include <cstdio>

namespace {
thread_local std::string t_failure;
}

void KvClearFailure() { t_failure.clear(); }

bool KvFail(std::string text) {
  if (t_failure.empty()) t_failure = std::move(text);
  return false;
}

bool KvFailf(const char* format, ...) {
  if (!t_failure.empty()) return false;
  char text[256];
  va_list args;
  va_start(args, format);
  std::vsnprintf(text, sizeof text, format, args);
  va_end(args);
  t_failure = text;
  return false;
}

void KvSetFailure(std::string text) { t_failure = std::move(text); }

const std::string& KvLastFailure() { return t_failure; }
