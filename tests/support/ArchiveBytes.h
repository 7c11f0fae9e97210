// Archives in memory: what `write` stores, and `read` over given bytes.
#pragma once

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

}  // namespace kvtest
