// Movies: the motion-movie file, the player interface and its factory, the motion and FLIC
// players, the motion-movie maker, and the movie API.
//
// The motion-movie file: a header, a locator, frame chunks of pixel patches, a frame index
// and an info block. The writer always writes version 2; the reader reads versions 0 to 2.
//
// Version 2, in order: header (66 bytes) at 0, locator (24) at 66, frame chunks from 90,
// the index (12 bytes a frame), the info block (80) last. The reader finds index and info
// through the locator. All numbers little-endian.
#pragma once

#include <array>
#include <memory>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "KvMediaFile/KvMediaApi.h"
#include "host/Color.h"
#include "host/MemBlock.h"
#include "platform/File.h"
#include "platform/Geometry.h"
#include "platform/Window.h"

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
  // Reads frame chunk `frame` and checks it strictly: its patch table lies within it, and each
  // patch within it, of the size its table entry gives, and within the movie's rectangle. 1
  // when whole; else 0 with the first damage ("frame 4: patch 2 (16 x 8 at 30, 0) lies
  // outside the 40 x 30 frame"). Playback skips or clips such patches.
  int CheckFC(int frame);
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

enum ENUMMOVIETYPE {
  MOVIE_UNKNOWN = -1,
  MOVIE_SVE = 0,
  MOVIE_FLIC = 1,
  MOVIE_KVX = 2,
};

// A movie player renders the frame for a time (in passes through the movie) into its work
// block, alone or with a background. Open, Prepare, GetOneFrame any number of times, Close.
class KV_MEDIA_API CKvPlayMovieBase : public CKvObject {
  DECLARE_DYNCREATE(CKvPlayMovieBase)
 public:
  CKvPlayMovieBase() = default;
  ~CKvPlayMovieBase() override;

  CKvObject& operator=(const CKvObject& other) override;
  CKvPlayMovieBase& operator=(const CKvPlayMovieBase& other);

  // The movie's rectangle, a word (the key-frame interval of motion movies) and its frame
  // count, read from the path.
  virtual int GetInfo(CString path, CRect& rect, WORD& word, int& frames);
  // Stores the path and the flag and creates the work block of m_sizeFrame; derived players
  // set the size first and call this last.
  virtual int Open(CString path, int bLoadToMem);
  virtual void Close();
  // Takes the background block (borrowed, may be null); derived players call this first.
  virtual int Prepare(CKvMemBlock* pBack);
  virtual int GetOneFrame(float t);

  static ENUMMOVIETYPE MovieCategory(CString path);
  // Creates, opens and prepares (without background) the player for a path; null when
  // that fails. The caller deletes the player.
  static CKvPlayMovieBase* CreatePlayMovieObj(CString path, int bLoadToMem);

  CString m_strFileName;
  CSize m_sizeFrame;
  WORD m_wKeyInterval = 0;
  int m_nFrames = -1;
  int m_nFramePixels = 0;
  CKvMemBlock m_blockWork;
  int m_bLoadToMem = 0;
  CKvMemBlock* m_pBackBlock = nullptr;
  CPoint m_ptPaste;
  int m_bPrepared = 0;
  // -1 the frame alone, 0 the frame over the background, 1 the background over the frame.
  int m_nMixMode = -1;
  int m_nLastPass = -1;
};

// Playback of motion movies: frame chunks of patches applied from the nearest key frame.
class KV_MEDIA_API CKvPlayMovieMotion : public CKvPlayMovieBase {
  DECLARE_DYNCREATE(CKvPlayMovieMotion)
 public:
  CKvPlayMovieMotion() = default;
  ~CKvPlayMovieMotion() override;

  int GetInfo(CString path, CRect& rect, WORD& word, int& frames) override;
  int Open(CString path, int bLoadToMem) override;
  void Close() override;
  int Prepare(CKvMemBlock* pBack) override;
  // Brings the work block to the frame at time t (negative times play as 0); always 1.
  int GetOneFrame(float t) override;

  int m_nCurFrame = -1;

 protected:
  // Applies the patches of one frame chunk to the work block. Patches that the chunk cannot
  // hold are skipped; what lies outside the work block or the background is clipped.
  int GetFCDiff(int frame, int bFromMem);
  // Seeks the file to frame `frame`'s chunk and gives its size, with room for it in m_chunk
  // (which keeps the largest chunk's size from Prepare on); 0 when the file cannot give it.
  std::size_t SeekFileChunk(int frame);
  // Asks the system to start reading frame `frame`'s chunk from the disk; returns at once.
  void ReadAhead(int frame) const;

  CKvMotionFileRead m_file;
  std::vector<BYTE> m_chunk;
};

// Playback of FLIC animations (FLI and FLC): the chunks of each frame are decoded into an
// 8-bit index picture, which is then painted through the palette into the work block.

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
  // Builds the frame table (and, with m_bLoadToMem, reads the file into memory). The movie
  // ends at a frame whose header the file cuts or whose size is below 16: m_nFrames becomes
  // the frames found before it (0 of them is refused). Throws CFileException
  // (kKvFlicBadFrameCause) for a frame header of unknown type.
  int Prepare(CKvMemBlock* pBack) override;
  // Decodes the frames up to the one at time t and paints it; 0 when nothing is prepared.
  // Throws like Prepare.
  int GetOneFrame(float t) override;
  // After Open: decodes the whole movie strictly. 1 when the file is as long as its header
  // says, holds every frame the header counts, each of a known type and within the file, and
  // each chunk lies within its frame and decodes exactly (no data missing, nothing written
  // past a line or the picture); else 0 with the first damage ("the header counts 65,535
  // frames, the file holds 2"), which playback passes over. Throws nothing; leaves the player
  // prepared, the next frame played decoded afresh.
  int CheckFrames();

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
  // file ends inside its header. With `damage`, the first chunk the frame cannot hold or
  // that does not decode exactly is told there.
  int DecodeFrame(int frame, std::string* damage = nullptr);

  // The chunk decoders write what they can and say what they passed over (null: nothing).
  const char* ChangePalette(int b8Bit, std::span<const BYTE> data);
  const char* DecodeLC_ToFrame(std::span<const BYTE> data);
  const char* DecodeBRUN_ToFrame(std::span<const BYTE> data);
  const char* DecodeELC_ToFrame(std::span<const BYTE> data);
  void BlackToFrame();
  const char* CopyToFrame(std::span<const BYTE> data);
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

// Makes a movie from a numbered sequence of pictures. The base makes nothing (1).
class KV_MEDIA_API CKvMakeMovieBase : public CKvObject {
  DECLARE_DYNCREATE(CKvMakeMovieBase)
 public:
  CKvMakeMovieBase() = default;
  ~CKvMakeMovieBase() override = default;
  CKvObject& operator=(const CKvObject& other) override;
  CKvMakeMovieBase& operator=(const CKvMakeMovieBase& other);

  virtual int Sink(const wchar_t* pszPicFile, int nFirst, int nLast, int nDigits, int bColorKey,
                   CKvColor32 clrKey, CKvColor32 clrTolerance, int bDeflicker, const RECT* pRect,
                   const wchar_t* pszMovieFile, WORD wKeyInterval, CWnd* pParent);
};

class KV_MEDIA_API CKvMakeMovieMotion : public CKvMakeMovieBase {
  DECLARE_DYNCREATE(CKvMakeMovieMotion)
 public:
  CKvMakeMovieMotion() = default;
  ~CKvMakeMovieMotion() override = default;
  CKvObject& operator=(const CKvObject& other) override;
  CKvMakeMovieMotion& operator=(const CKvMakeMovieMotion& other);

  // Writes pictures nFirst..nLast of the template pszPicFile (see MakeFileName) as a motion
  // movie of the rectangle *pRect of the raster, under a temporary name that takes the
  // movie's name only when every frame is written. A key colour within the tolerance becomes
  // transparent; pictures without alpha come out opaque. Shows a progress dialog that can
  // cancel. 1 when every frame was written; 0 leaves no movie file (and an existing one as
  // it was), with the reason recorded.
  int Sink(const wchar_t* pszPicFile, int nFirst, int nLast, int nDigits, int bColorKey,
           CKvColor32 clrKey, CKvColor32 clrTolerance, int bDeflicker, const RECT* pRect,
           const wchar_t* pszMovieFile, WORD wKeyInterval, CWnd* pParent) override;

  // The same from a clip of another program (QuickTime Animation, ProRes 4444, PNG in a
  // movie, animated GIF or PNG, anything FFmpeg's libraries read): every frame of its first
  // video stream, one frame of the movie each whatever the clip's own rate, placed at the
  // raster's top-left corner. A clip without alpha comes out opaque. A clip larger than the
  // picture limit is refused before any frame is decoded, and one whose frames change size
  // part way is refused with the frame's number.
  int SinkClip(const wchar_t* pszClipFile, int bColorKey, CKvColor32 clrKey,
               CKvColor32 clrTolerance, int bDeflicker, const RECT* pRect,
               const wchar_t* pszMovieFile, WORD wKeyInterval, CWnd* pParent);

  // Encodes the rectangle *pRect of pCur against pPrev (a difference frame) or, with pPrev
  // null, as a key frame: one movable block per run of changed 8-pixel cells of each band of
  // 8 rows. The caller owns the blocks. 1 on success; on failure *pCount is 0 and nothing
  // is left allocated.
  static int MakeFrame(int nFrame, CKvMemBlock* pCur, CKvMemBlock* pPrev, int* pCount,
                       void** patches, WORD* sizes, const RECT* pRect);
  // The path of picture nNumber: the template's name followed by the number zero-padded to
  // nDigits digits, folder and extension kept. pszOut holds _MAX_PATH characters.
  static void MakeFileName(const wchar_t* pszPath, int nNumber, int nDigits, wchar_t* pszOut);
};

// The movie API. Types: 0 all movie files, 1 FLIC, 2 SVE, 3 KVI, 4 AVI. Shows the host's
// file dialog; 1 with the chosen path, else 0 and an empty path.
KV_MEDIA_API int KvMovieSelectFile(int bOpen, int type, CString& path, CWnd* parent);
// Frames 0, 1, ... into blocks[0], blocks[1], ..., at most `count` of them. 1 on success.
KV_MEDIA_API int KvMovieGetFrames(CString path, int count, CKvMemBlock* blocks);
// Any pointer may be null. 1 on success.
KV_MEDIA_API int KvMovieGetFileInfo(CString path, CRect* pRect, WORD* pWord, int* pFrames);
// The frame at time t as a new picture buffer, with the movie's rectangle; null on failure.
KV_MEDIA_API DWORD* KvMovieGetFrame(CString path, CRect& rect, float t);

// Clips of other programs, read and written through FFmpeg's libraries.
struct SKvClipInfo {
  int width = 0;
  int height = 0;
  int frames = 0;      // of its first video stream
  double fps = 0;      // its frame rate; 0 when it states none
  BOOL alpha = FALSE;  // its first frame's pixels carry alpha
};
// What the clip holds; its first frame is decoded to learn whether it has alpha. 1 on
// success; 0 with the reason recorded.
KV_MEDIA_API int KvMovieGetClipInfo(const wchar_t* pszClipFile, SKvClipInfo* pInfo);

// Frame `frame` (from 0) of the clip as a new picture buffer of its size (BGRA, straight
// alpha; opaque where the clip has none), decoded from its first frame on; null with the
// reason recorded.
KV_MEDIA_API DWORD* KvMovieGetClipFrame(const wchar_t* pszClipFile, int frame, CRect& rect);

enum EKvClipCodec {
  KV_CLIP_QTRLE = 0,       // QuickTime Animation, 32-bit ARGB: lossless with alpha
  KV_CLIP_PRORES4444 = 1,  // ProRes 4444 with alpha, 10-bit 4:4:4 Y'CbCr (BT.709; BT.601 for SD)
  KV_CLIP_PNG = 2,         // PNG frames, RGBA: lossless with alpha
};
// The video standard's frame rate, the clip's unless told otherwise.
constexpr int kKvVideoFramesPerSecond = 25;
struct SKvClipExport {
  int codec = KV_CLIP_QTRLE;
  int fps = kKvVideoFramesPerSecond;  // 1 to 240
  // A picture the frames are played over (the clip then has its size); null: the frames
  // alone, the movie's own size.
  const wchar_t* background = nullptr;
  int mixMode = 0;               // with a background: 0 the movie over it, 1 it over the movie
  const POINT* paste = nullptr;  // where the movie's top-left corner stands on the background;
                                 // null: where it was made to stand
};
// Plays every frame of a motion movie or FLIC (through its player) into a clip, a .mov or a
// .mkv by the name's extension, written under a temporary name that takes the clip's name
// only when whole. Shows a progress dialog that can cancel. 1 on success; 0 leaves no clip
// file (and an existing one as it was), with the reason recorded.
KV_MEDIA_API int KvMovieExportClip(const wchar_t* pszMovieFile, const wchar_t* pszClipFile,
                                   const SKvClipExport* pSettings, CWnd* pParent);
