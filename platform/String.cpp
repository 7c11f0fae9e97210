#include "platform/String.h"

#include <algorithm>
#include <cwchar>
#include <cwctype>
#include <vector>

namespace {

wchar_t FoldAscii(wchar_t c) { return (c >= L'a' && c <= L'z') ? c - L'a' + L'A' : c; }

bool IsSpace(wchar_t c) { return c == L' ' || (c >= L'\t' && c <= L'\r'); }

// Rewrites a format string from the wide conventions of the original platform to those
// of the C library here: %s -> %ls, %c -> %lc, %S -> %s, %C -> %c.
std::wstring TranslateFormat(const wchar_t* f) {
  std::wstring out;
  for (const wchar_t* p = f; *p; ++p) {
    out += *p;
    if (*p != L'%') continue;
    ++p;
    if (*p == L'%') {
      out += *p;
      continue;
    }
    // Flags, width, precision.
    while (*p && std::wcschr(L"-+ #0123456789.*", *p)) out += *p++;
    // Length modifiers the original platform writes for wide and narrow text.
    bool wide = false, narrow = false;
    while (*p && std::wcschr(L"hlLqjztwI", *p)) {
      if (*p == L'l' || *p == L'w') wide = true;
      if (*p == L'h') narrow = true;
      if (*p == L'I') {  // I64 / I32
        if (p[1] == L'6' && p[2] == L'4') {
          out += L"ll";
          p += 3;
          continue;
        }
        if (p[1] == L'3' && p[2] == L'2') {
          p += 3;
          continue;
        }
      }
      if (*p != L'w') out += *p;
      ++p;
    }
    if (!*p) break;
    const wchar_t conv = *p;
    if (conv == L's' || conv == L'c') {
      if (!narrow && !wide) out += L'l';
      out += conv;
    } else if (conv == L'S' || conv == L'C') {
      out += (conv == L'S') ? L's' : L'c';
    } else {
      out += conv;
    }
  }
  return out;
}

}  // namespace

CString CString::FromUtf8(std::string_view in) {
  std::wstring out;
  out.reserve(in.size());
  size_t i = 0;
  while (i < in.size()) {
    const auto c = static_cast<unsigned char>(in[i]);
    const int extra = c < 0x80         ? 0
                      : (c >> 5) == 6  ? 1
                      : (c >> 4) == 14 ? 2
                      : (c >> 3) == 30 ? 3
                                       : -1;
    char32_t cp = extra == 0 ? c : extra == 1 ? (c & 0x1F) : extra == 2 ? (c & 0x0F) : (c & 0x07);
    bool ok = extra >= 0 && in.size() - i > static_cast<size_t>(extra < 0 ? 0 : extra);
    for (int k = 1; ok && k <= extra; ++k) {
      const auto cc = static_cast<unsigned char>(in[i + k]);
      if ((cc >> 6) != 2) ok = false;
      cp = (cp << 6) | (cc & 0x3F);
    }
    if (ok && extra > 0) {
      const char32_t minimum = extra == 1 ? 0x80 : extra == 2 ? 0x800 : 0x10000;
      if (cp < minimum || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) ok = false;
    }
    if (!ok) {  // a byte that is not UTF-8 is kept, escaped, so that ToUtf8 gives it back
      out += static_cast<wchar_t>(kKvEscapedByteBase + c);
      ++i;
      continue;
    }
    out += static_cast<wchar_t>(cp);
    i += extra + 1;
  }
  return CString(std::move(out));
}

std::string CString::ToUtf8() const {
  std::string out;
  out.reserve(m_s.size());
  for (wchar_t wc : m_s) {
    auto cp = static_cast<char32_t>(wc);
    if (KvIsEscapedByte(wc)) {
      out += static_cast<char>(cp - kKvEscapedByteBase);
      continue;
    }
    if (cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) cp = 0xFFFD;
    if (cp < 0x80) {
      out += static_cast<char>(cp);
    } else if (cp < 0x800) {
      out += static_cast<char>(0xC0 | (cp >> 6));
      out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
      out += static_cast<char>(0xE0 | (cp >> 12));
      out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
      out += static_cast<char>(0xF0 | (cp >> 18));
      out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
      out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (cp & 0x3F));
    }
  }
  return out;
}

int CString::Compare(const wchar_t* s) const { return m_s.compare(s ? s : L""); }

int CString::CompareNoCase(const wchar_t* s) const {
  if (!s) s = L"";
  const wchar_t* a = m_s.c_str();
  for (;; ++a, ++s) {
    const wchar_t x = FoldAscii(*a), y = FoldAscii(*s);
    if (x != y) return x < y ? -1 : 1;
    if (!x) return 0;
  }
}

CString& CString::MakeUpper() {
  for (auto& c : m_s) c = static_cast<wchar_t>(std::towupper(c));
  return *this;
}

CString CString::Left(int n) const {
  n = std::clamp(n, 0, GetLength());
  return CString(m_s.substr(0, n));
}

CString CString::Right(int n) const {
  n = std::clamp(n, 0, GetLength());
  return CString(m_s.substr(m_s.size() - n));
}

CString CString::Mid(int first) const { return Mid(first, GetLength()); }

CString CString::Mid(int first, int n) const {
  first = std::clamp(first, 0, GetLength());
  n = std::clamp(n, 0, GetLength() - first);
  return CString(m_s.substr(first, n));
}

int CString::Find(wchar_t c, int start) const {
  if (start < 0 || start >= GetLength()) return -1;
  const auto p = m_s.find(c, start);
  return p == std::wstring::npos ? -1 : static_cast<int>(p);
}

int CString::Find(const wchar_t* s, int start) const {
  if (!s || start < 0 || start > GetLength()) return -1;
  const auto p = m_s.find(s, start);
  return p == std::wstring::npos ? -1 : static_cast<int>(p);
}

int CString::ReverseFind(wchar_t c) const {
  const auto p = m_s.rfind(c);
  return p == std::wstring::npos ? -1 : static_cast<int>(p);
}

CString& CString::Trim() { return TrimRight().TrimLeft(); }

CString& CString::TrimLeft() {
  size_t i = 0;
  while (i < m_s.size() && IsSpace(m_s[i])) ++i;
  m_s.erase(0, i);
  return *this;
}

CString& CString::TrimRight() {
  while (!m_s.empty() && IsSpace(m_s.back())) m_s.pop_back();
  return *this;
}

int CString::Replace(const wchar_t* from, const wchar_t* to) {
  if (!from || !*from) return 0;
  const std::wstring f(from), t(to ? to : L"");
  int count = 0;
  for (size_t p = m_s.find(f); p != std::wstring::npos; p = m_s.find(f, p + t.size())) {
    m_s.replace(p, f.size(), t);
    ++count;
  }
  return count;
}

void CString::FormatImpl(const wchar_t* format, ...) {
  va_list args;
  va_start(args, format);
  FormatV(format, args);
  va_end(args);
}

void CString::FormatV(const wchar_t* format, va_list args) {
  if (!format) {
    m_s.clear();
    return;
  }
  const std::wstring f = TranslateFormat(format);
  std::vector<wchar_t> buf(256);
  for (;;) {
    va_list copy;
    va_copy(copy, args);
    const int n = std::vswprintf(buf.data(), buf.size(), f.c_str(), copy);
    va_end(copy);
    if (n >= 0 && static_cast<size_t>(n) < buf.size()) {
      m_s.assign(buf.data(), n);
      return;
    }
    // vswprintf does not say how much room it needs; grow until it fits, within reason.
    if (buf.size() >= (1u << 24)) {
      m_s.clear();
      return;
    }
    buf.resize(buf.size() * 4);
  }
}

std::u16string KvToUtf16(std::wstring_view s) {
  std::u16string out;
  out.reserve(s.size());
  for (wchar_t wc : s) {
    auto cp = static_cast<char32_t>(wc);
    if (cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF && !KvIsEscapedByte(wc))) cp = 0xFFFD;
    if (cp < 0x10000) {
      out += static_cast<char16_t>(cp);
    } else {
      cp -= 0x10000;
      out += static_cast<char16_t>(0xD800 + (cp >> 10));
      out += static_cast<char16_t>(0xDC00 + (cp & 0x3FF));
    }
  }
  return out;
}

std::wstring KvFromUtf16(std::u16string_view s) {
  std::wstring out;
  out.reserve(s.size());
  for (size_t i = 0; i < s.size(); ++i) {
    const char16_t u = s[i];
    if (u >= 0xD800 && u <= 0xDBFF && i + 1 < s.size() && s[i + 1] >= 0xDC00 &&
        s[i + 1] <= 0xDFFF) {
      out += static_cast<wchar_t>(0x10000 + ((u - 0xD800) << 10) + (s[i + 1] - 0xDC00));
      ++i;
    } else if (u >= 0xD800 && u <= 0xDFFF && !KvIsEscapedByte(static_cast<wchar_t>(u))) {
      out += static_cast<wchar_t>(0xFFFD);
    } else {
      out += static_cast<wchar_t>(u);
    }
  }
  return out;
}
