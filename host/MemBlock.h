// The suite's pixel block: width x height tagCOLOR32 pixels, rows top to bottom, no gap
// between rows, with copies that mix a source over or under the block.
#pragma once

#include <cstddef>
#include <string>

#include "host/Color.h"
#include "host/Objects.h"
#include "platform/Geometry.h"

// How a copy combines source and destination pixels. Callers may pass any int (the scaled
// loads copy for values other than 0 and 1), hence the fixed underlying type.
enum EMixMode : int {
  KV_MIX_OVER = 0,   // the source laid over the destination
  KV_MIX_UNDER = 1,  // the destination laid over the source
  KV_MIX_COPY = 2,   // the source replaces the destination
};

// The rows a copy writes: one interlaced field, or the whole frame.
enum EFieldType {
  KV_FIELD_UPPER = 0,  // destination rows 0, 2, 4, ...
  KV_FIELD_LOWER = 1,  // destination rows 1, 3, 5, ...
  KV_FIELD_FRAME = 2,  // every row
};

// Largest block or picture, in bytes of pixels, that the library allocates (1 GiB unless
// set otherwise). Sizes are refused against it before any allocation.
KV_HOST_API std::size_t KvGetMaxPictureBytes();
KV_HOST_API void KvSetMaxPictureBytes(std::size_t bytes);
// The limit as a reason names it: "1 GiB", "512 MiB", or "1,000 bytes" when it is neither.
KV_HOST_API std::string KvPictureLimitText();
// Bytes of width x height pixels, or 0 when that overflows, is not positive or exceeds the
// limit.
KV_HOST_API std::size_t KvCheckedPictureBytes(long long width, long long height);

class KV_HOST_API CKvMemBlock : public CKvObject {
  DECLARE_DYNCREATE(CKvMemBlock)
 public:
  CKvMemBlock() = default;
  CKvMemBlock(const CKvMemBlock& other);
  ~CKvMemBlock() override;

  // Copies size and pixels (the copy owns its pixels).
  CKvObject& operator=(const CKvObject& other) override;
  CKvMemBlock& operator=(const CKvMemBlock& other);

  // Sizes the block. With null pixels it allocates its own, zero-filled; otherwise it uses
  // the caller's `size` pixels in place (the caller frees them after Close). The size
  // (-1, -1) is the output raster of the video standard. The two integers are reserved
  // (callers pass 1, 1). Non-zero on success; sizes that are not positive or above the
  // picture limit fail.
  int InitBlock(CSize size, tagCOLOR32* pixels = nullptr, int reserved1 = 1, int reserved2 = 1);
  void Close();
  bool IsValid() const { return m_pixels != nullptr; }

  tagCOLOR32* GetAddress() const { return m_pixels; }
  // The address of one pixel; null outside the block.
  tagCOLOR32* GetPixelAddress(CPoint pt) const;
  // Pixels before the given line: line x width.
  int GetLineOffset(int line) const { return line * m_size.cx; }
  CRect GetRect() const { return CRect(0, 0, m_size.cx, m_size.cy); }
  CSize GetSize() const { return m_size; }

  // Writes one pixel (column, row); outside the block nothing happens.
  void SetPixel(int x, int y, tagCOLOR32 color);
  tagCOLOR32 GetPixel(int x, int y) const;
  // Fills an area (null: the whole block), clipped to the block.
  void ClearBlock(const RECT* area, tagCOLOR32 color);

  // Copies the area `srcRect` of a source into this block with its top-left corner at the
  // given position. Both sides are clipped; what falls outside is dropped. Non-zero unless
  // a block or the source is missing.
  int Copy(int x, int y, CKvMemBlock* src, CRect srcRect, EMixMode mode);
  int Copy(CPoint pt, DWORD* src, CSize srcSize, CRect srcRect, EMixMode mode);
  int Copy(CPoint pt, CKvMemBlock* src, CRect srcRect, EMixMode mode, EFieldType field);

  // Softens interlace flicker in an area with a vertical 1-2-1 filter; rows at the area's
  // edges count their missing neighbour as themselves. The integer is reserved (0).
  int Deflicker(CRect area, int reserved);

 private:
  int CopyPixels(CPoint pt, const tagCOLOR32* src, CSize srcSize, CRect srcRect, EMixMode mode,
                 EFieldType field);

  tagCOLOR32* m_pixels = nullptr;
  CSize m_size;
  bool m_owned = false;
};

// Fills a block with the suite's colour-bar background.
KV_HOST_API void KvGenBackColorBar(CKvMemBlock* block);
