// Playback of FLIC animations (FLI and FLC): the chunks of each frame are decoded into an
// 8-bit index picture, which is then painted through the palette into the work block.
#pragma once

#include <array>
#include <memory>
#include <span>
#include <vector>

#include "movie/MoviePlayer.h"
#include "platform/File.h"

class FileReader;

// The fields of a FLIC file header that are read (little-endian, 128 bytes at offset 0).
struct SKvFlicHeader {
  DWORD size = 0;  // the file's length as its writer saw it
  WORD magic = 0;  // 0xAF11 FLI, 0xAF12 FLC
  WORD frames = 0;
  short width = 0;
  short height = 0;
  DWORD speed = 0;  // FLI: 16 bits in 1/70 s; FLC: 32 bits in milliseconds
  static constexpr std::size_t kSize = 128;
  static constexpr WORD kFli = 0xAF11, kFlc = 0xAF12;

  // FLI files always play at 320 x 200, whatever the header says.
  CSize FrameSize() const { return magic == kFli ? CSize(320, 200) : CSize(width, height); }
  double MillisecondsPerFrame() const { return magic == kFli ? speed * 1000.0 / 70 : speed; }
};

// Reads and checks the header of a FLIC file; false with the reason recorded.
KV_MEDIA_API bool KvReadFlicHeader(const CString& path, SKvFlicHeader& header);

// The cause code of the file exception for a frame of unknown type.
constexpr int kKvFlicBadFrameCause = 5;

class KV_MEDIA_API CKvPlayMovieFlick : public CKvPlayMovieBase {
  DECLARE_DYNCREATE(CKvPlayMovieFlick)
 public:
  CKvPlayMovieFlick();
  ~CKvPlayMovieFlick() override;

  // (0, 0, width, height), the word 0 and the frame count, from the header alone.
  int GetInfo(CString path, CRect& rect, WORD& word, int& frames) override;
  // Reads the header and sizes the index picture and the work block. The flag is stored and
  // then cleared: a caller that wants the movie in memory sets m_bLoadToMem before Prepare.
  int Open(CString path, int bLoadToMem) override;
  void Close() override;
  // Builds the frame table (and, with m_bLoadToMem, reads the file into memory). Throws
  // CFileException (kKvFlicBadFrameCause) for a frame header of unknown type.
  int Prepare(CKvMemBlock* pBack) override;
  // Decodes the frames up to the one at time t and paints it; 0 when nothing is prepared.
  // Throws like Prepare.
  int GetOneFrame(float t) override;

 protected:
  struct FrameHeader {
    DWORD size = 0;
    WORD type = 0;
    short chunks = 0;
  };
  static constexpr WORD kFrameType = 0xF1FA, kPrefixType = 0xF100;

  int OpenForRead(const wchar_t* path);
  int ReadHeader();
  // False when the file ends inside the header; throws for an unknown type.
  bool ReadFrameHeader(ULONGLONG pos, FrameHeader& header);
  void GetFrameSize();
  int ReadFramePosition();
  bool LoadToMemory();
  // The frame's chunks into the index picture: 1 for a frame, 0 for a prefix, -1 when the
  // file ends inside its header.
  int DecodeFrame(int frame);

  void ChangePalette(int b8Bit, std::span<const BYTE> data);
  void DecodeLC_ToFrame(std::span<const BYTE> data);
  void DecodeBRUN_ToFrame(std::span<const BYTE> data);
  void DecodeELC_ToFrame(std::span<const BYTE> data);
  void BlackToFrame();
  void CopyToFrame(std::span<const BYTE> data);
  void PaintPalette();

  bool IsOpen() const { return m_pFile || !m_memCopy.empty(); }
  // Up to n bytes of the movie from pos (fewer where it ends), from the file or the copy.
  std::span<const BYTE> ReadAt(ULONGLONG pos, std::size_t n);
  int FrameAtTime(float t) const;

  std::unique_ptr<CFile> m_pFile;
  std::unique_ptr<FileReader> m_reader;
  std::vector<BYTE> m_memCopy;
  SKvFlicHeader m_header;
  std::array<BYTE, 768> m_palette{};
  std::vector<BYTE> m_index;
  // Lines every decoder may write: the header's height, within the picture.
  int m_nLines = 0;
  int m_nCurFrame = -1;
  std::vector<ULONGLONG> m_frameTable;
  std::vector<BYTE> m_readBuffer;
};
