// Folder catalogues of arbitrary bytes: loaded on their own, and met by the folder search
// over a small folder, whose records they may claim to hold. Every outcome must be a refusal
// with a reason or a list the search owns, and the folder is always listed.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "FuzzFile.h"
#include "KvMediaFile/KvClipMedia.h"
#include "KvMediaFile/KvPicture.h"
#include "clipmedia/ClipMedia.h"

namespace {

std::string g_folder;

std::string CataloguePath() { return g_folder + "/PicMedia.pmf"; }

std::vector<unsigned char> ReadAll(const std::string& path) {
  std::vector<unsigned char> bytes;
  if (std::FILE* f = std::fopen(path.c_str(), "rb")) {
    for (int c; (c = std::fgetc(f)) != EOF;) bytes.push_back(static_cast<unsigned char>(c));
    std::fclose(f);
  }
  return bytes;
}

void RemoveFolder() {
  for (const char* name : {"a.tga", "B.TGA", "c.bmp", "PicMedia.pmf"})
    ::unlink((g_folder + "/" + name).c_str());
  ::rmdir(g_folder.c_str());
}

// Three small pictures with fixed times, so that a catalogue from the seed matches them.
void MakeFolder() {
  char dir[] = "/tmp/kvfuzz-catalog-XXXXXX";
  if (!::mkdtemp(dir)) std::abort();
  g_folder = dir;
  std::atexit(RemoveFolder);
  DWORD pixels[12] = {0xFF112233, 0x80445566, 0, 0xFFFFFFFF, 1, 2, 3, 4, 5, 6, 7, 8};
  const char* const names[] = {"a.tga", "B.TGA", "c.bmp"};
  for (int i = 0; i < 3; ++i) {
    const CString path = CString::FromUtf8(g_folder + "/" + names[i]);
    (i < 2 ? KvMediaSaveTGAFile : KvMediaSaveBMPFile)(path, pixels + i, CSize(3, 2),
                                                      CRect(0, 0, 3, 2));
    const timespec times[2] = {{1000000 + i, 0}, {1000000 + i, 0}};
    ::utimensat(AT_FDCWD, path.ToUtf8().c_str(), times, 0);
  }
}

}  // namespace

KV_FUZZ_TARGET(
    0,
    [] {
      KvMediaFileOpen();
      MakeFolder();
    },
    [](const char* seeds) {
      CKvObList list;
      KvMediaFetchValidFile(&list, CString::FromUtf8(g_folder), CString::FromUtf8(CataloguePath()),
                            L"tga,bmp");
      kvtest::WriteBytes(std::string(seeds) + "/seed-catalogue", ReadAll(CataloguePath()));
    },
    [](const uint8_t* data, size_t size) {
      kvtest::WriteBytes(CataloguePath(), std::vector<unsigned char>(data, data + size));
      CKvClipMediaFileCollection alone;
      KvLoadArchiveFile(alone, CString::FromUtf8(CataloguePath()));

      kvtest::WriteBytes(CataloguePath(), std::vector<unsigned char>(data, data + size));
      CKvObList list;
      const int listed = KvMediaFetchValidFile(&list, CString::FromUtf8(g_folder),
                                               CString::FromUtf8(CataloguePath()), L"tga,bmp");
      if (listed != 1 || list.GetCount() != 3) std::abort();
      for (POSITION pos = list.GetHeadPosition(); pos;)
        if (!list.GetNext(pos)->IsKindOf(RUNTIME_CLASS(CKvClipMedia))) std::abort();
    })
