// CString: wide-character text (UTF-32 on Linux) with the members the library uses.
// Text crosses into the file system as UTF-8 and into archives as UTF-16LE.
#pragma once

#include <cstdarg>
#include <string>
#include <string_view>
#include <type_traits>

#include "platform/Types.h"

class KV_PLATFORM_API CString {
 public:
  CString() = default;
  CString(const wchar_t* s) : m_s(s ? s : L"") {}  // NOLINT: converts like the host type
  CString(const wchar_t* s, int length) : m_s(s ? std::wstring(s, length > 0 ? length : 0) : L"") {}
  CString(std::wstring s) : m_s(std::move(s)) {}  // NOLINT
  CString(std::wstring_view s) : m_s(s) {}        // NOLINT
  explicit CString(wchar_t c, int repeat = 1) : m_s(repeat > 0 ? repeat : 0, c) {}

  // File names are bytes: a byte that is not part of valid UTF-8 becomes an escaped byte
  // (see KvIsEscapedByte) and ToUtf8 turns it back into that byte, so any name round-trips.
  static CString FromUtf8(std::string_view utf8);
  std::string ToUtf8() const;

  int GetLength() const { return static_cast<int>(m_s.size()); }
  bool IsEmpty() const { return m_s.empty(); }
  void Empty() { m_s.clear(); }
  const wchar_t* GetString() const { return m_s.c_str(); }
  operator const wchar_t*() const { return m_s.c_str(); }  // NOLINT: as the host type
  const std::wstring& Str() const { return m_s; }
  wchar_t GetAt(int i) const { return (i >= 0 && i < GetLength()) ? m_s[i] : L'\0'; }
  wchar_t operator[](int i) const { return GetAt(i); }
  void SetAt(int i, wchar_t c) {
    if (i >= 0 && i < GetLength()) m_s[i] = c;
  }

  CString& operator=(const wchar_t* s) {
    m_s = s ? s : L"";
    return *this;
  }
  CString& operator+=(const CString& o) {
    m_s += o.m_s;
    return *this;
  }
  CString& operator+=(const wchar_t* s) {
    if (s) m_s += s;
    return *this;
  }
  CString& operator+=(wchar_t c) {
    m_s += c;
    return *this;
  }
  friend CString operator+(const CString& a, const CString& b) { return CString(a.m_s + b.m_s); }
  friend CString operator+(const CString& a, const wchar_t* b) { return a + CString(b); }
  friend CString operator+(const wchar_t* a, const CString& b) { return CString(a) + b; }
  friend CString operator+(const CString& a, wchar_t c) { return CString(a.m_s + c); }

  friend bool operator==(const CString& a, const CString& b) { return a.m_s == b.m_s; }
  friend bool operator==(const CString& a, const wchar_t* b) { return a.m_s == (b ? b : L""); }
  friend bool operator<(const CString& a, const CString& b) { return a.m_s < b.m_s; }

  // Ordinal comparison; the case-insensitive form folds ASCII letters only, as the
  // C locale of the original platform does.
  int Compare(const wchar_t* s) const;
  int CompareNoCase(const wchar_t* s) const;

  CString& MakeUpper();
  CString Left(int n) const;
  CString Right(int n) const;
  CString Mid(int first) const;
  CString Mid(int first, int n) const;
  int Find(wchar_t c, int start = 0) const;
  int Find(const wchar_t* s, int start = 0) const;
  int ReverseFind(wchar_t c) const;
  CString& Trim();
  CString& TrimLeft();
  CString& TrimRight();
  int Replace(const wchar_t* from, const wchar_t* to);

  // printf-style formatting with the wide semantics of the original platform: %s and %c
  // take wide arguments, %S and %C narrow ones, %d an int. CString arguments may be passed
  // directly.
  template <typename... Args>
  void Format(const wchar_t* format, Args&&... args) {
    FormatImpl(format, Pass(std::forward<Args>(args))...);
  }
  void FormatV(const wchar_t* format, va_list args);

 private:
  template <typename T>
  static decltype(auto) Pass(T&& v) {
    if constexpr (std::is_same_v<std::decay_t<T>, CString>)
      return v.GetString();
    else
      return std::forward<T>(v);
  }
  void FormatImpl(const wchar_t* format, ...);

  std::wstring m_s;
};

// Bytes 0x80..0xFF that are not valid UTF-8 are held as the lone low surrogates
// U+DC80..U+DCFF, which no valid text contains.
inline constexpr wchar_t kKvEscapedByteBase = 0xDC00;
constexpr bool KvIsEscapedByte(wchar_t c) { return c >= 0xDC80 && c <= 0xDCFF; }

// Converts between wide text and UTF-16 code units (surrogate pairs for characters above
// U+FFFF; escaped bytes stay single units; other unpaired surrogates become U+FFFD).
KV_PLATFORM_API std::u16string KvToUtf16(std::wstring_view s);
KV_PLATFORM_API std::wstring KvFromUtf16(std::u16string_view s);
