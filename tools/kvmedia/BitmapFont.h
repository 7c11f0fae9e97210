// A small built-in 5 x 7 font for labels in the pictures the tool writes: printable ASCII;
// any other character is drawn as '?'.
#pragma once

#include <string>

#include "platform/Types.h"

namespace kvtool {

constexpr int kGlyphWidth = 5, kGlyphHeight = 7, kGlyphAdvance = 6;

// Draws `text` (wide characters) with its top left at x, y into a width x height BGRA buffer,
// clipped to it.
void DrawText(DWORD* pixels, int width, int height, int x, int y, const std::wstring& text,
              DWORD colour);

}  // namespace kvtool
