// A still as a play-out module composes it: a title picture loaded, laid over a background at
// the place it was drawn for, and the result saved, with a small preview of it. Checks the
// result and exits non-zero when it is wrong. Usage: composite FOLDER (files go there).
#include <cstdio>
#include <cstdlib>

#include <KvMediaFile/KvMediaFile.h>

namespace {

int Fail(const char* what) {
  // After a failed load or save the library says why.
  std::fprintf(stderr, "composite: %s: %s\n", what, KvMediaGetLastFailure().ToUtf8().c_str());
  return 1;
}

// Mixing rounds in 8 bits.
bool Near(tagCOLOR32 got, tagCOLOR32 want) {
  return std::abs(got.r - want.r) <= 1 && std::abs(got.g - want.g) <= 1 &&
         std::abs(got.b - want.b) <= 1 && std::abs(got.a - want.a) <= 1;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: composite FOLDER\n");
    return 2;
  }
  const CString folder = CString::FromUtf8(argv[1]) + L"/";
  KvMediaFileOpen();  // once, before any other picture call

  // The title as a designer saves it: drawn where it stands in the video raster, and only
  // its area saved. A TGA keeps that place; left an opaque red box, right a half-transparent
  // white one.
  const CRect area(200, 300, 1000, 400);
  const CRect red(200, 300, 600, 400), white(600, 300, 1000, 400);
  const CKvColor32 redColour(200, 30, 30, 255), whiteColour(255, 255, 255, 128);
  CKvMemBlock drawing;
  drawing.InitBlock(CSize(-1, -1));  // (-1, -1): the raster of the video standard
  drawing.ClearBlock(&red, redColour);
  drawing.ClearBlock(&white, whiteColour);
  if (!KvMediaSaveTGAFile(folder + L"title.tga", reinterpret_cast<DWORD*>(drawing.GetAddress()),
                          drawing.GetSize(), area))
    return Fail("title.tga");

  // Load it: BGRA pixels, rows top to bottom, in a buffer freed with GlobalFree; `rect` is
  // its size at its place in the raster.
  CRect rect;
  DWORD* title = KvMediaLoadPicFile(folder + L"title.tga", rect);
  if (!title) return Fail("title.tga");

  // Lay it over the colour bars at that place: straight alpha, "over".
  CKvMemBlock bars, screen;
  bars.InitBlock(CSize(-1, -1));
  KvGenBackColorBar(&bars);
  screen = bars;
  screen.Copy(rect.TopLeft(), title, rect.Size(), CRect(CPoint(0, 0), rect.Size()), KV_MIX_OVER);
  GlobalFree(title);
  auto* pixels = reinterpret_cast<DWORD*>(screen.GetAddress());
  if (!KvMediaSaveTGAFile(folder + L"composite.tga", pixels, screen.GetSize(), screen.GetRect()))
    return Fail("composite.tga");

  // A quarter-size preview: a picture file scaled over a target of any size.
  CKvMemBlock preview;
  preview.InitBlock(CSize(screen.GetSize().cx / 4, screen.GetSize().cy / 4));
  if (!KvMediaLoadPicFile(folder + L"composite.tga", preview.GetAddress(), preview.GetSize(),
                          KV_MIX_COPY))
    return Fail("composite.tga");
  if (!KvMediaSaveBMPFile(folder + L"preview.bmp", reinterpret_cast<DWORD*>(preview.GetAddress()),
                          preview.GetSize(), preview.GetRect()))
    return Fail("preview.bmp");

  // The saved picture: red where the box is opaque, white half over the bars where it is
  // half-transparent, the bars everywhere else.
  DWORD* saved = KvMediaLoadPicFile(folder + L"composite.tga", rect);
  if (!saved) return Fail("composite.tga");
  CKvMemBlock check;
  check.InitBlock(rect.Size(), reinterpret_cast<tagCOLOR32*>(saved));  // wraps, does not copy
  int wrong = 0;
  for (const CPoint p : {CPoint(300, 350), CPoint(800, 350), CPoint(100, 350), CPoint(800, 450)}) {
    const tagCOLOR32 bar = bars.GetPixel(p.x, p.y);
    tagCOLOR32 want = bar;
    if (red.PtInRect(p)) want = redColour;
    if (white.PtInRect(p)) {
      const auto half = [](int under) { return static_cast<BYTE>((255 + under) / 2); };
      want.r = half(bar.r), want.g = half(bar.g), want.b = half(bar.b);
    }
    const tagCOLOR32 got = check.GetPixel(p.x, p.y);
    if (!Near(got, want)) {
      std::fprintf(stderr, "composite: (%d, %d) is %d %d %d %d, not %d %d %d %d\n", p.x, p.y, got.r,
                   got.g, got.b, got.a, want.r, want.g, want.b, want.a);
      ++wrong;
    }
  }
  check.Close();
  GlobalFree(saved);
  KvMediaFileClose();
  if (wrong) return 1;
  std::printf("composite: the title over the bars in composite.tga, and preview.bmp\n");
  return 0;
}
