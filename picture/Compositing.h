// Internals of the scaled loads, shared with their tests and benchmark: the zoom geometry and
// the row sampler, which has a vector path and the plain one of KvGetSubpixel_Bilinear.
#pragma once

#include <algorithm>

#include "host/MemBlock.h"
#include "platform/Geometry.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

// Where the first target pixel samples and how far each next one moves, in 24.8 fixed point.
struct KvZoomSteps {
  LONG startX = 0, startY = 0;
  LONG stepX = 0, stepY = 0;
};

// Positions of a picture side beyond this do not fit 24.8 fixed point in 32 bits.
constexpr int kKvMaxZoomSide = (1 << 23) - 1;

// The steps that scale a picture over a target: step = side * 256 / target side + 1,
// start = step / 2 - 128. Sizes positive, picture sides at most kKvMaxZoomSide.
KvZoomSteps KvZoomStepsFor(CSize picture, CSize target);

enum class KvSampler { kBest, kScalar, kVector };

// Writes the `window` of a target of `targetSize` pixels (row pitch its width) with bilinear
// samples of the picture, mixed by `mode` as the scaled loads do: the window's first row and
// column sample at the start, each further one a step on. The window is clipped to the target.
// kBest takes the vector path where there is one; both paths give the same bytes. False, with the
// reason, when memory is short.
bool KvZoomInto(const tagCOLOR32* picture, CSize pictureSize, tagCOLOR32* target, CSize targetSize,
                CRect window, const KvZoomSteps& steps, EMixMode mode,
                KvSampler sampler = KvSampler::kBest);

// The level table in arithmetic form: min(255, trunc(v * 1.0079 + 0.5)) steps up by one at 64
// and again at 190.
constexpr int KvLevelOf(int v) { return std::min(255, v + (v > 63) + (v > 189)); }

#if defined(__SSE2__)
// KvLevelOf on 16-bit lanes holding 0..255; the results still need packing with unsigned
// saturation, which supplies the min.
inline __m128i KvLevelLanes(__m128i v) {
  const __m128i up1 = _mm_cmpgt_epi16(v, _mm_set1_epi16(63));
  const __m128i up2 = _mm_cmpgt_epi16(v, _mm_set1_epi16(189));
  return _mm_sub_epi16(_mm_sub_epi16(v, up1), up2);
}
#endif
