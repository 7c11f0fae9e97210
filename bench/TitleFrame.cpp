#include "TitleFrame.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <random>

namespace kvbench {
namespace {

constexpr int kWidth = kFrameWidth;
constexpr int kHeight = kFrameHeight;
constexpr int kBandHeight = 40;
constexpr int kBandTops[] = {90, 760, 860, 960};  // a headline and a lower third

// Pixel coverage of the span [x0, x1) in pixel x.
float Overlap(int x, float x0, float x1) {
  return std::max(0.0f, std::min(x + 1.0f, x1) - std::max<float>(x, x0));
}

// Adds a stroke to a band's coverage: on each row from y0 to y1 (fractional, so the first and
// last rows are partly covered) a span of `width` starting at x0 and leaning by `slope`.
void Stroke(std::vector<float>& cover, float x0, float width, float slope, float y0, float y1) {
  for (int y = std::max(0, int(y0)); y < std::min(kBandHeight, int(std::ceil(y1))); ++y) {
    const float rowCover = std::min(y + 1.0f, y1) - std::max<float>(y, y0);
    const float left = x0 + slope * (y - y0);
    for (int x = std::max(0, int(left)); x < std::min(kWidth, int(left + width) + 1); ++x)
      cover[y * kWidth + x] += rowCover * Overlap(x, left, left + width);
  }
}

// The frame, deterministic: glyphs of vertical, slanted and horizontal strokes with soft edges
// at fractional positions, in a colour that changes from row to row.
std::vector<DWORD> MakeTitleFrame() {
  std::vector<DWORD> frame(std::size_t{kWidth} * kHeight, 0);
  std::mt19937 rng(20240611);
  auto uniform = [&](float lo, float hi) { return lo + (hi - lo) * (rng() / 4294967296.0f); };
  for (int top : kBandTops) {
    std::vector<float> cover(std::size_t{kWidth} * kBandHeight, 0.0f);
    float x = uniform(150, 250);
    const float right = uniform(1500, 1750);
    while (x < right) {
      const int glyphs = 2 + rng() % 7;  // one word
      for (int g = 0; g < glyphs && x < right; ++g) {
        const float w = uniform(14, 26);
        const float ascent = rng() % 3 == 0 ? 4.3f : 12.4f;
        Stroke(cover, x + uniform(0, 2), uniform(3.2f, 4.6f), 0, ascent, 34.6f);
        if (rng() % 2) Stroke(cover, x + w - 5, uniform(3.2f, 4.6f), 0, 12.4f, 34.6f);
        if (rng() % 3 == 0) Stroke(cover, x + 2, 3.8f, 0.45f, 12.4f, 34.6f);
        for (float bar : {12.4f, 22.7f, 31.2f})
          if (rng() % 3 == 0) Stroke(cover, x + 1, w - 4, 0, bar, bar + 3.4f);
        x += w + uniform(3, 6);
      }
      x += uniform(14, 20);
    }
    for (int y = 0; y < kBandHeight; ++y) {
      const DWORD shade = 0xFF - 2 * y;  // a vertical gradient on the face
      for (int i = 0; i < kWidth; ++i) {
        const DWORD a = DWORD(std::lround(255 * std::min(1.0f, cover[y * kWidth + i])));
        // Straight alpha; fully transparent pixels are all zero, as renderers leave them.
        frame[std::size_t(top + y) * kWidth + i] =
            a == 0 ? 0 : a << 24 | 0xFF << 16 | 0xF0 << 8 | shade;
      }
    }
  }
  return frame;
}

std::vector<DWORD> MakeVideoFrame() {
  std::vector<DWORD> frame(std::size_t{kWidth} * kHeight);
  std::mt19937 rng(7);
  for (int y = 0; y < kHeight; ++y)
    for (int x = 0; x < kWidth; ++x) {
      const DWORD r = (x * 255 / kWidth + rng() % 8) & 0xFF;
      const DWORD g = (y * 255 / kHeight + rng() % 8) & 0xFF;
      const DWORD b = ((x + y) * 127 / (kWidth + kHeight) + 64) & 0xFF;
      frame[std::size_t(y) * kWidth + x] = 0xFF000000u | r << 16 | g << 8 | b;
    }
  return frame;
}

}  // namespace

const std::vector<DWORD>& TitleFrame() {
  static const std::vector<DWORD> frame = MakeTitleFrame();
  return frame;
}

const std::vector<DWORD>& VideoFrame() {
  static const std::vector<DWORD> frame = MakeVideoFrame();
  return frame;
}

}  // namespace kvbench
