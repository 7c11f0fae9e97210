// Picture compositing: the bilinear sampler, scaled loads into a caller's block, the background
// pictures and the window fills.
//
// The scaled loads run on air, once per target pixel. Their vector path splits the sample:
// the four-term sum c00 w00 + c10 w10 + c01 w01 + c11 w11 equals
// (255 - fy) h(y0) + fy h(y1), with h(r) = (255 - fx) c(r, x0) + fx c(r, x1), exactly, in
// integers. So each source row is interpolated across once into 16-bit lanes (kept while
// target rows still need it) and each target row is one blend of two such rows.
#include "picture/Compositing.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <new>
#include <vector>

#include "KvMediaFile/KvPicture.h"
#include "KvMediaFile/Library.h"
#include "host/Failure.h"
#include "host/FileName.h"
#include "host/PixelOps.h"
#include "host/Thumbnail.h"
#include "host/VideoStd.h"
#include "platform/GlobalMemory.h"
#include "platform/Paths.h"

namespace {

// An outside sample does not depend on how far out it lies (both taps are the clamped edge),
// so positions beyond 32 bits are clamped to it without changing a byte.
LONG ClampPosition(long long v) {
  return static_cast<LONG>(std::clamp<long long>(v, INT32_MIN, INT32_MAX));
}

// Writes a row of samples into the target by the mix mode.
void MixRow(tagCOLOR32* dst, const tagCOLOR32* samples, std::size_t count, EMixMode mode) {
  if (mode == KV_MIX_OVER) {
    KvMixRowOver(dst, samples, count);
  } else if (mode == KV_MIX_UNDER) {
    KvMixRowUnder(dst, samples, count);
  } else {
    std::memcpy(dst, samples, count * sizeof(tagCOLOR32));
  }
}

class ScalarRows {
 public:
  ScalarRows(const tagCOLOR32* picture, CSize size, long long startX, LONG stepX)
      : m_picture(const_cast<tagCOLOR32*>(picture)),
        m_size(size),
        m_offsets(static_cast<std::size_t>(size.cy)),
        m_startX(startX),
        m_stepX(stepX) {
    for (int r = 0; r < size.cy; ++r) m_offsets[r] = static_cast<LONG>(r) * size.cx;
  }
  void Sample(long long y, tagCOLOR32* out, std::size_t count) {
    const LONG sy = ClampPosition(y);
    for (std::size_t i = 0; i < count; ++i)
      out[i] = KvGetSubpixel_Bilinear(m_picture,
                                      ClampPosition(m_startX + m_stepX * static_cast<long long>(i)),
                                      sy, m_size.cx, m_size.cy, m_offsets.data());
  }

 private:
  tagCOLOR32* m_picture;
  CSize m_size;
  std::vector<LONG> m_offsets;
  long long m_startX;
  LONG m_stepX;
};

#if defined(__SSE2__)

__m128i LoadPixelPair(const tagCOLOR32* row, std::int32_t i0, std::int32_t i1) {
  int a, b;
  std::memcpy(&a, row + i0, 4);
  std::memcpy(&b, row + i1, 4);
  return _mm_unpacklo_epi32(_mm_cvtsi32_si128(a), _mm_cvtsi32_si128(b));
}

// a * h0 + b * h1 >> 16 in 16-bit lanes, exact: the low halves of the products are added
// with their carry taken into the high halves.
__m128i BlendHigh(__m128i h0, __m128i h1, __m128i a, __m128i b) {
  const __m128i lo0 = _mm_mullo_epi16(h0, a);
  const __m128i lo = _mm_add_epi16(lo0, _mm_mullo_epi16(h1, b));
  const __m128i bias = _mm_set1_epi16(INT16_MIN);
  const __m128i carry = _mm_cmpgt_epi16(_mm_xor_si128(lo0, bias), _mm_xor_si128(lo, bias));
  return _mm_sub_epi16(_mm_add_epi16(_mm_mulhi_epu16(h0, a), _mm_mulhi_epu16(h1, b)), carry);
}

class VectorRows {
 public:
  // Columns are padded to a multiple of 4 (repeating the last), so that the loops need no
  // tail; the caller takes only `count` samples.
  VectorRows(const tagCOLOR32* picture, CSize size, long long startX, LONG stepX, std::size_t count)
      : m_picture(picture), m_size(size), m_columns((count + 3) & ~std::size_t{3}) {
    m_index0.resize(m_columns);
    m_index1.resize(m_columns);
    m_weight0.resize(m_columns * 4);
    m_weight1.resize(m_columns * 4);
    m_keepAlpha.resize(m_columns);
    for (std::size_t i = 0; i < m_columns; ++i) {
      const long long x = startX + stepX * static_cast<long long>(std::min(i, count - 1));
      const long long x0 = x >> 8;
      const auto fx = static_cast<std::uint16_t>(x & 255);
      m_index0[i] = static_cast<std::int32_t>(std::clamp<long long>(x0, 0, size.cx - 1));
      m_index1[i] = static_cast<std::int32_t>(std::clamp<long long>(x0 + 1, 0, size.cx - 1));
      for (int c = 0; c < 4; ++c) {
        m_weight0[i * 4 + c] = static_cast<std::uint16_t>(255 - fx);
        m_weight1[i * 4 + c] = fx;
      }
      m_keepAlpha[i] = (x0 < -1 || x0 >= size.cx) ? 0x00FFFFFFu : 0xFFFFFFFFu;
    }
    for (auto& lanes : m_lanes) lanes.resize(m_columns * 4);
  }

  std::size_t Padded() const { return m_columns; }

  // Fills `out` (Padded() samples) for the target row at y.
  void Sample(long long y, tagCOLOR32* out) {
    const long long y0 = y >> 8;
    const auto fy = static_cast<short>(y & 255);
    const int r0 = static_cast<int>(std::clamp<long long>(y0, 0, m_size.cy - 1));
    const int r1 = static_cast<int>(std::clamp<long long>(y0 + 1, 0, m_size.cy - 1));
    int k0 = Slot(r0);
    if (k0 < 0) {
      k0 = Slot(r1) == 0 ? 1 : 0;  // keep the other row if it is there
      Interpolate(k0, r0);
    }
    int k1 = Slot(r1);
    if (k1 < 0) {
      k1 = 1 - k0;
      Interpolate(k1, r1);
    }
    const std::uint16_t* h0 = m_lanes[k0].data();
    const std::uint16_t* h1 = m_lanes[k1].data();
    const __m128i a = _mm_set1_epi16(static_cast<short>(255 - fy));
    const __m128i b = _mm_set1_epi16(fy);
    const __m128i rowKeep =
        (y0 < -1 || y0 >= m_size.cy) ? _mm_set1_epi32(0x00FFFFFF) : _mm_set1_epi32(-1);
    for (std::size_t i = 0; i < m_columns; i += 4) {
      const auto* p0 = reinterpret_cast<const __m128i*>(h0 + i * 4);
      const auto* p1 = reinterpret_cast<const __m128i*>(h1 + i * 4);
      const __m128i left = KvLevelLanes(BlendHigh(_mm_loadu_si128(p0), _mm_loadu_si128(p1), a, b));
      const __m128i right =
          KvLevelLanes(BlendHigh(_mm_loadu_si128(p0 + 1), _mm_loadu_si128(p1 + 1), a, b));
      const __m128i keep = _mm_and_si128(
          rowKeep, _mm_loadu_si128(reinterpret_cast<const __m128i*>(&m_keepAlpha[i])));
      _mm_storeu_si128(reinterpret_cast<__m128i*>(out + i),
                       _mm_and_si128(_mm_packus_epi16(left, right), keep));
    }
  }

 private:
  int Slot(int row) const { return m_row[0] == row ? 0 : m_row[1] == row ? 1 : -1; }

  // Source row r interpolated across at every column: (255 - fx) c0 + fx c1 per channel,
  // at most 65025, so 16-bit lanes hold it.
  void Interpolate(int slot, int r) {
    const tagCOLOR32* row = m_picture + static_cast<std::size_t>(r) * m_size.cx;
    std::uint16_t* out = m_lanes[slot].data();
    const __m128i zero = _mm_setzero_si128();
    for (std::size_t i = 0; i < m_columns; i += 2) {
      const __m128i c0 = _mm_unpacklo_epi8(LoadPixelPair(row, m_index0[i], m_index0[i + 1]), zero);
      const __m128i c1 = _mm_unpacklo_epi8(LoadPixelPair(row, m_index1[i], m_index1[i + 1]), zero);
      const __m128i w0 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(&m_weight0[i * 4]));
      const __m128i w1 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(&m_weight1[i * 4]));
      _mm_storeu_si128(reinterpret_cast<__m128i*>(out + i * 4),
                       _mm_add_epi16(_mm_mullo_epi16(c0, w0), _mm_mullo_epi16(c1, w1)));
    }
    m_row[slot] = r;
  }

  const tagCOLOR32* m_picture;
  CSize m_size;
  std::size_t m_columns;
  std::vector<std::int32_t> m_index0, m_index1;
  std::vector<std::uint16_t> m_weight0, m_weight1;
  std::vector<std::uint32_t> m_keepAlpha;
  std::vector<std::uint16_t> m_lanes[2];
  int m_row[2] = {-1, -1};
};

#endif  // __SSE2__

// A loaded picture, freed on every path.
struct LoadedPicture {
  KvGlobalPtr pixels;
  CRect rect;
  CSize size() const { return rect.Size(); }
  const tagCOLOR32* data() const { return static_cast<const tagCOLOR32*>(pixels.get()); }
};

// Loads through the dispatch, which records why it could not.
bool LoadForZoom(const CString& path, LoadedPicture& picture) {
  picture.pixels.reset(KvMediaLoadPicFile(path, picture.rect));
  if (!picture.pixels) return false;
  const CSize size = picture.size();
  if (size.cx > kKvMaxZoomSide || size.cy > kKvMaxZoomSide ||
      static_cast<long long>(size.cx) * size.cy > INT32_MAX)
    return KvFailf("picture of %d x %d is too large to scale", size.cx, size.cy);
  return true;
}

bool TargetUsable(const tagCOLOR32* target, CSize size) {
  if (!target) return KvFail("no target block");
  // The steps divide by the target's sides.
  if (size.cx <= 0 || size.cy <= 0) return KvFailf("target of %d x %d is empty", size.cx, size.cy);
  return true;
}

// Runs an exported call so that nothing is thrown to its caller.
template <class Work>
int Guarded(Work work) {
  try {
    return work();
  } catch (const std::bad_alloc&) {
    KvFail("out of memory");
  } catch (...) {
    KvFail("unexpected error");
  }
  return 0;
}

std::mutex g_backMutex;
CString g_backFolder;

void FillBackground(CKvMemBlock* block, int kind) {
  if (kind == 1) {
    KvMediaFillBack(block, 1, 0);
  } else if (kind == 2) {
    KvMediaFillBack(block, 0, 0);
  } else {
    KvGenBackColorBar(block);
  }
}

// Draws `area` of a pixel buffer stretched into rc, rc's width cut to a multiple of 4, through
// a 24-bit picture as the device context takes it.
int DrawPixels(CDC* dc, DWORD* pixels, CSize size, const CRect& area, const CRect& rc) {
  const int w4 = rc.Width() & ~3;
  const int h = rc.Height();
  if (w4 <= 0 || h <= 0) return KvFailf("cannot draw into %d x %d", rc.Width(), h);
  KvGlobalPtr picture(KvGuiMakeIcon(pixels, size, area, CSize(w4, h), 24));
  if (!picture) return KvFail("cannot convert the picture for drawing");
  KvGuiDrawIcon(dc, CRect(rc.left, rc.top, rc.left + w4, rc.top + h),
                static_cast<BYTE*>(picture.get()), CSize(w4, h), 24);
  return 1;
}

// The window's device context, given back on every path.
class WindowDc {
 public:
  explicit WindowDc(CWnd* window) : m_window(window), m_dc(window->GetDC()) {}
  ~WindowDc() {
    if (m_dc) m_window->ReleaseDC(m_dc);
  }
  WindowDc(const WindowDc&) = delete;
  WindowDc& operator=(const WindowDc&) = delete;
  CDC* get() const { return m_dc; }

 private:
  CWnd* m_window;
  CDC* m_dc;
};

// The client rectangle; a child window asked to fit is narrowed to a multiple of 4 pixels,
// since the 24-bit pictures drawn into it are.
CRect FittedClientRect(CWnd* window, int widthFit) {
  CRect rc;
  window->GetClientRect(&rc);
  if (widthFit && window->IsChildWindow()) {
    const int w4 = std::max(rc.Width(), 0) & ~3;
    const CRect place = window->GetRectInParent();
    window->MoveWindow(CRect(place.left, place.top, place.left + w4, place.bottom), TRUE);
    rc.right = rc.left + w4;
  }
  return rc;
}

int ZoomFile(const CString& path, tagCOLOR32* target, CSize size, EMixMode mode, const CRect* clip,
             const CRect* place) {
  KvClearFailure();
  if (!TargetUsable(target, size)) return 0;
  return Guarded([&] {
    LoadedPicture picture;
    if (!LoadForZoom(path, picture)) return 0;
    CRect window(0, 0, size.cx, size.cy);
    if (clip) {
      const CRect placement = place->IsRectEmpty() ? picture.rect : *place;
      window =
          CRect(std::max({clip->left, placement.left, 0}), std::max({clip->top, placement.top, 0}),
                std::min({clip->right, placement.right, size.cx}),
                std::min({clip->bottom, placement.bottom, size.cy}));
      if (window.IsRectEmpty()) return 1;
    }
    return KvZoomInto(picture.data(), picture.size(), target, size, window,
                      KvZoomStepsFor(picture.size(), size), mode)
               ? 1
               : 0;
  });
}

}  // namespace

tagCOLOR32 KvGetSubpixel_Bilinear(tagCOLOR32* source, LONG x, LONG y, int width, int height,
                                  LONG* offsets) {
  if (!source || !offsets || width <= 0 || height <= 0) return {};
  const WORD* product = KvProductTable();
  const BYTE* level = KvLevelTable();
  int x0 = x >> 8, y0 = y >> 8;
  const int fx = x & 255, fy = y & 255;
  const bool outside = x0 < -1 || x0 >= width || y0 < -1 || y0 >= height;
  const DWORD w00 = product[(255 - fx) * 256 + (255 - fy)];
  const DWORD w10 = product[fx * 256 + (255 - fy)];
  const DWORD w01 = product[(255 - fx) * 256 + fy];
  const DWORD w11 = product[fx * 256 + fy];
  const int x1 = std::clamp(x0 + 1, 0, width - 1), y1 = std::clamp(y0 + 1, 0, height - 1);
  x0 = std::clamp(x0, 0, width - 1);
  y0 = std::clamp(y0, 0, height - 1);
  const tagCOLOR32 p00 = source[offsets[y0] + x0], p10 = source[offsets[y0] + x1];
  const tagCOLOR32 p01 = source[offsets[y1] + x0], p11 = source[offsets[y1] + x1];
  const auto channel = [&](BYTE tagCOLOR32::*c) {
    const DWORD sum = p00.*c * w00 + p10.*c * w10 + p01.*c * w01 + p11.*c * w11;
    return level[(sum >> 16) & 255];
  };
  return {channel(&tagCOLOR32::b), channel(&tagCOLOR32::g), channel(&tagCOLOR32::r),
          outside ? BYTE{0} : channel(&tagCOLOR32::a)};
}

KvZoomSteps KvZoomStepsFor(CSize picture, CSize target) {
  KvZoomSteps s;
  s.stepX = picture.cx * 256 / target.cx + 1;
  s.stepY = picture.cy * 256 / target.cy + 1;
  s.startX = (s.stepX >> 1) - 128;
  s.startY = (s.stepY >> 1) - 128;
  return s;
}

bool KvZoomInto(const tagCOLOR32* picture, CSize pictureSize, tagCOLOR32* target, CSize targetSize,
                CRect window, const KvZoomSteps& steps, EMixMode mode, KvSampler sampler) {
  if (!window.IntersectRect(&window, CRect(0, 0, targetSize.cx, targetSize.cy))) return true;
  const auto count = static_cast<std::size_t>(window.Width());
  if (sampler == KvSampler::kBest) sampler = KvSampler::kVector;
  try {
    const auto rowOf = [&](int j) {
      return target + static_cast<std::size_t>(window.top + j) * targetSize.cx + window.left;
    };
#if defined(__SSE2__)
    if (sampler == KvSampler::kVector) {
      VectorRows rows(picture, pictureSize, steps.startX, steps.stepX, count);
      std::vector<tagCOLOR32> samples(rows.Padded());
      for (int j = 0; j < window.Height(); ++j) {
        rows.Sample(steps.startY + static_cast<long long>(steps.stepY) * j, samples.data());
        MixRow(rowOf(j), samples.data(), count, mode);
      }
      return true;
    }
#endif
    ScalarRows rows(picture, pictureSize, steps.startX, steps.stepX);
    std::vector<tagCOLOR32> samples(count);
    for (int j = 0; j < window.Height(); ++j) {
      rows.Sample(steps.startY + static_cast<long long>(steps.stepY) * j, samples.data(), count);
      MixRow(rowOf(j), samples.data(), count, mode);
    }
    return true;
  } catch (const std::bad_alloc&) {
    return KvFail("out of memory");
  }
}

int KvMediaLoadPicFile(CString path, tagCOLOR32* target, CSize size, EMixMode mode) {
  return ZoomFile(path, target, size, mode, nullptr, nullptr);
}

int KvMediaZoomPicFile(CString path, tagCOLOR32* target, CSize size, EMixMode mode) {
  return ZoomFile(path, target, size, mode, nullptr, nullptr);
}

int KvMediaZoomPicFile(CString path, CRect clip, CRect place, CSize size, tagCOLOR32* target,
                       EMixMode mode) {
  return ZoomFile(path, target, size, mode, &clip, &place);
}

void KvMediaSetBackFolder(CString folder) {
  const std::lock_guard lock(g_backMutex);
  g_backFolder = folder;
}

CString KvMediaGetBackFolder() {
  CString folder;
  {
    const std::lock_guard lock(g_backMutex);
    folder = g_backFolder;
  }
  if (folder.IsEmpty()) {
    const char* env = std::getenv("KVMEDIA_IMG_DIR");
    folder = env && *env ? CString::FromUtf8(env) : CString(L"/opt/VelmoraCG64/App/Img/");
  }
  if (folder[folder.GetLength() - 1] != KV_PATH_SEPARATOR) folder += KV_PATH_SEPARATOR;
  return folder;
}

int KvMediaFillBack(CKvMemBlock* block, int grey, int tile) {
  KvClearFailure();
  if (!block || !block->IsValid()) return KvFail("no block to fill"), 0;
  return Guarded([&] {
    const CSize size = block->GetSize();
    const CString folder = KvMediaGetBackFolder();
    const CString base = grey ? L"BackGray" : L"BackWhite";
    CString path = folder + base + L"UHD.bmp";
    // Without UHD pictures the HD ones stand in, 2 x 2 of them making the UHD picture (a
    // UHD file that is there but unreadable fails like any other).
    int repeat = 1;
    if (!CKvVideoStd::IsUHD() || !KvDoesFileExist(path)) {
      path = folder + base + (CKvVideoStd::IsHD() ? L"HD.bmp" : L".bmp");
      repeat = CKvVideoStd::IsUHD() ? 2 : 1;
    }
    CRect rect;
    KvGlobalPtr pixels(KvMediaLoadBMPFile(path, rect));
    if (!pixels) return 0;
    const CSize picture = rect.Size();
    CKvMemBlock tileBlock;
    if (!tileBlock.InitBlock(picture, static_cast<tagCOLOR32*>(pixels.get()), 1, 1)) return 0;
    const CRect source(0, 0, size.cx, size.cy);
    const int rows = tile ? size.cy / picture.cy : repeat - 1;
    const int columns = tile ? size.cx / picture.cx : repeat - 1;
    for (int r = 0; r <= rows; ++r)
      for (int c = 0; c <= columns; ++c)
        block->Copy(CPoint(picture.cx * c, picture.cy * r), &tileBlock, source, KV_MIX_COPY,
                    KV_FIELD_FRAME);
    tileBlock.Close();
    return 1;
  });
}

int KvMediaColorFillWnd(CWnd* window, tagCOLOR32* color, int composite, int backKind,
                        int widthFit) {
  KvClearFailure();
  if (!window || !color) return KvFail("no window or colour"), 0;
  return Guarded([&] {
    const WindowDc dc(window);
    if (!dc.get()) return KvFail("the window has no device context"), 0;
    const CRect rc = FittedClientRect(window, widthFit);
    if (!composite) {
      dc.get()->FillSolidRect(rc, RGB(color->r, color->g, color->b));
      return 1;
    }
    CKvMemBlock back, front;
    if (!back.InitBlock(rc.Size()) || !front.InitBlock(rc.Size()))
      return KvFailf("cannot make blocks of %d x %d", rc.Width(), rc.Height()), 0;
    FillBackground(&back, backKind);
    front.ClearBlock(nullptr, *color);
    back.Copy(0, 0, &front, front.GetRect(), KV_MIX_OVER);
    return DrawPixels(dc.get(), reinterpret_cast<DWORD*>(back.GetAddress()), rc.Size(), rc, rc);
  });
}

int KvMediaFileFillWnd(CDC* dc, CRect rc, CString path, int back, int backKind) {
  KvClearFailure();
  if (!dc) return KvFail("no device context"), 0;
  return Guarded([&] {
    dc->FillSolidRect(rc, RGB(0, 0, 0));
    CRect rect;
    KvGlobalPtr pixels(KvMediaLoadPicFile(path, rect));
    if (!pixels) return 0;
    auto* picture = static_cast<DWORD*>(pixels.get());
    const CSize size = rect.Size();
    if (!back) return DrawPixels(dc, picture, size, CRect(0, 0, size.cx, size.cy), rc);
    CKvMemBlock backBlock, front;
    if (!backBlock.InitBlock(rc.Size()) || !front.InitBlock(rc.Size()))
      return KvFailf("cannot make blocks of %d x %d", rc.Width(), rc.Height()), 0;
    FillBackground(&backBlock, backKind);
    KvMemZoom(picture, size, reinterpret_cast<DWORD*>(front.GetAddress()), rc.Size());
    backBlock.Copy(0, 0, &front, front.GetRect(), KV_MIX_OVER);
    return DrawPixels(dc, reinterpret_cast<DWORD*>(backBlock.GetAddress()), rc.Size(),
                      CRect(0, 0, rc.Width(), rc.Height()), rc);
  });
}

int KvMediaFileFillWnd(CWnd* window, CString path, int back, int backKind, int widthFit) {
  KvClearFailure();
  if (!window) return KvFail("no window"), 0;
  return Guarded([&] {
    const WindowDc dc(window);
    if (!dc.get()) return KvFail("the window has no device context"), 0;
    return KvMediaFileFillWnd(dc.get(), FittedClientRect(window, widthFit), path, back, backKind);
  });
}
