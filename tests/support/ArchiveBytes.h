// Archives in memory: what `write` stores, and `read` over given bytes.
#pragma once

#include <string>
#include <vector>

#include "platform/Archive.h"

namespace kvtest {

template <typename F>
std::vector<BYTE> StoreArchive(F&& write) {
  CMemFile file;
  {
    CArchive ar(&file, CArchive::store);
    write(ar);
    ar.Close();
  }
  std::vector<BYTE> out(static_cast<size_t>(file.GetLength()));
  file.SeekToBegin();
  file.Read(out.data(), static_cast<UINT>(out.size()));
  return out;
}

template <typename F>
void LoadArchive(std::vector<BYTE> bytes, F&& read) {
  CMemFile file(bytes.data(), static_cast<UINT>(bytes.size()));
  CArchive ar(&file, CArchive::load);
  read(ar);
}

// Archive bytes by hand, as the archive lays out its fields (little-endian).
inline std::vector<BYTE> operator+(std::vector<BYTE> a, const std::vector<BYTE>& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}
inline std::vector<BYTE> Le16(unsigned v) { return {BYTE(v), BYTE(v >> 8)}; }
inline std::vector<BYTE> Le32(unsigned v) { return Le16(v & 0xFFFF) + Le16(v >> 16); }
// A string in its UTF-16 form (shorter than 255 units).
inline std::vector<BYTE> ArchiveString(const std::u16string& s) {
  std::vector<BYTE> b{0xFF, 0xFE, 0xFF, BYTE(s.size())};
  for (char16_t c : s) b = b + Le16(c);
  return b;
}
// A class met for the first time: the new-class tag, the schema and the name.
inline std::vector<BYTE> NewClassTag(const std::string& name, unsigned schema = 0) {
  return Le16(0xFFFF) + Le16(schema) + Le16(unsigned(name.size())) +
         std::vector<BYTE>(name.begin(), name.end());
}

}  // namespace kvtest
