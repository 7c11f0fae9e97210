// Text between CString and QString without loss: a byte of a file name that is not UTF-8 is
// an escaped unit in a CString (see KvIsEscapedByte) and stays one lone UTF-16 unit in a
// QString, which Qt keeps as it is and draws as a replacement mark.
#pragma once

#include <QString>
#include <string>
#include <string_view>

#include "platform/String.h"

inline QString KvQString(const CString& s) {
  const std::u16string units = KvToUtf16(s.Str());
  return QString(reinterpret_cast<const QChar*>(units.data()),
                 static_cast<qsizetype>(units.size()));
}

inline CString KvCString(const QString& s) {
  return CString(KvFromUtf16(std::u16string_view(reinterpret_cast<const char16_t*>(s.utf16()),
                                                 static_cast<std::size_t>(s.size()))));
}
