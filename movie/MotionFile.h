// The motion-movie file: a header, a locator, frame chunks of pixel patches, a frame index
// and an info block. The writer always writes version 2; the reader reads versions 0 to 2.
//
// Version 2, in order: header (66 bytes) at 0, locator (24) at 66, frame chunks from 90,
// the index (12 bytes a frame), the info block (80) last. The reader finds index and info
// through the locator. All numbers little-endian.
#pragma once

#include <array>
#include <utility>
#include <vector>

#include "KvMediaFile/KvMediaApi.h"
#include "platform/File.h"
#include "platform/Geometry.h"

class FileReader;

struct SKvMotionFileHeader {
  WORD version = 2;
  std::array<BYTE, 64> signature{};
  static constexpr std::size_t kSize = 66;
};

// The locator of any version, widened.
struct SKvMotionLocator {
  WORD keyInterval = 0;
  WORD reserved = 0;
  LONGLONG infoPosition = 0;
  LONGLONG indexPosition = 0;
  DWORD indexSize = 0;
  // 24 bytes in version 2, 16 in version 1, 14 in version 0.
  static constexpr std::size_t SizeOf(WORD version) {
    return version == 2 ? 24 : version == 1 ? 16 : 14;
  }
};

struct SKvMotionInfo {
  short left = 0;
  short top = 0;
  short width = 0;
  short height = 0;
  WORD pixelSize = 0;
  short frameCount = 0;
  DWORD chunkBytes = 0;
  static constexpr std::size_t kSize = 80;
};

// Sizes of the records inside frame chunks.
constexpr std::size_t kKvMotionFrameHeaderSize = 20;
constexpr std::size_t kKvMotionPatchHeaderSize = 16;
// A frame chunk holds at most this many patches (its table size is 16 bits).
constexpr int kKvMotionMaxPatches = 6553;
constexpr std::size_t KvMotionIndexEntrySize(WORD version) { return version == 2 ? 12 : 8; }
constexpr std::size_t KvMotionPatchEntrySize(WORD version) { return version == 2 ? 10 : 6; }

// "Solvane Movie File, Tarquell Solvane, Corp", a zero byte, and 21 zero bytes.
const std::array<BYTE, 64>& KvMotionSignature();
// The key-frame interval as files record it (and the maker keys on it): 10 to 30.
WORD KvClampKeyInterval(WORD interval);

class KV_MEDIA_API CKvMotionFileWrite : public CFile {
 public:
  CKvMotionFileWrite() = default;
  ~CKvMotionFileWrite() override;

  int FileInUse() const { return m_index != nullptr; }
  // Creates the file for `frames` frames (sizing its index) of a movie placed at
  // (left, top) with the given size. The key-frame interval is stored clamped to 10..30.
  int CreateFileW(const wchar_t* path, WORD keyInterval, int frames, int pixelSize, int left,
                  int top, int width, int height);
  // Appends one frame chunk of the given patches (each a movable block of sizes[i] bytes:
  // a patch header and its pixels). The caller keeps the patches. Refused (0, nothing
  // written) beyond the announced frame count or above kKvMotionMaxPatches patches.
  int AppendFrame(int patchCount, void** patches, WORD* sizes);
  // Writes the index, the info block and the final locator, and closes the file.
  int CloseFile();

 private:
  SKvMotionLocator m_locator;
  SKvMotionInfo m_info;
  HGLOBAL m_index = nullptr;
  int m_plannedFrames = 0;
};

class KV_MEDIA_API CKvMotionFileRead : public CFile {
 public:
  CKvMotionFileRead() = default;
  ~CKvMotionFileRead() override;

  int FileInUse() const { return m_index != nullptr; }
  int MemDataInUse() const { return !m_chunks.empty(); }
  // Opens and checks the file: header, locator, info block and index. Positions and sizes
  // that the file cannot hold are refused.
  int OpenFile(const wchar_t* path);
  void CloseFile();
  // Frame chunk `frame` as a new movable block (the caller frees it), or null.
  void* GetFileFC(int frame);
  // Reads every frame chunk into memory; 1 when all were read (those before a failure stay).
  int LoadAllFCToMem();
  // The loaded chunk of `frame`, owned by the reader; null when not loaded.
  void* GetMemFC(int frame);
  void FreeAllMemFC();

  static int GetFileInfo(CString path, CRect& rect, WORD& keyInterval, int& frames);

  WORD GetVersion() const { return m_header.version; }
  const SKvMotionInfo& GetInfo() const { return m_info; }
  const SKvMotionLocator& GetLocator() const { return m_locator; }
  // The chunk position and size of index entry `frame`; false outside the frame count.
  bool GetIndexEntry(int frame, LONGLONG& position, LONG& size) const;

  // Largest frame chunk accepted (sizes above it are damage).
  static constexpr LONG kMaxChunkBytes = 256 << 20;

 private:
  // Header, locator and info block, from the start of the file.
  bool ReadHeaderAndInfo(FileReader& in);

  SKvMotionFileHeader m_header;
  SKvMotionLocator m_locator;
  SKvMotionInfo m_info;
  HGLOBAL m_index = nullptr;
  std::vector<std::pair<HGLOBAL, DWORD>> m_chunks;
};
