// kvmedia demo OUTDIR: makes sample media, puts it through each part of the library and
// leaves pictures of every step that a person can open.
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "Commands.h"
#include "ContactSheet.h"
#include "KvMediaFile/KvClipMedia.h"
#include "KvMediaFile/KvMovie.h"
#include "KvMediaFile/KvPicture.h"
#include "KvMediaFile/KvScroll.h"
#include "PngWriter.h"
#include "ScrollFrames.h"
#include "ToolSupport.h"
#include "host/LineCodec.h"
#include "host/MemBlock.h"
#include "host/PixelOps.h"
#include "host/SafeSave.h"
#include "host/Thumbnail.h"
#include "host/VideoStd.h"
#include "platform/GlobalMemory.h"
#include "platform/Window.h"

namespace kvtool {

extern const Command kDemoCommand;

namespace {

constexpr int kWidth = 960;
constexpr int kHeight = 540;

struct Demo {
  std::string dir;
  int written = 0;
  bool ok = true;

  void Png(const std::string& name, const DWORD* pixels, int w, int h, const char* what) {
    std::string error;
    const std::string path = dir + "/" + name;
    if (!WritePng(path, pixels, w, h, &error)) {
      std::fprintf(stderr, "kvmedia: %s\n", error.c_str());
      ok = false;
      return;
    }
    ++written;
    std::printf("  %-28s %s\n", name.c_str(), what);
  }
  void Png(const std::string& name, const CKvMemBlock& block, const char* what) {
    Png(name, reinterpret_cast<const DWORD*>(block.GetAddress()), block.GetSize().cx,
        block.GetSize().cy, what);
  }
};

// A title-like block: a lower-third bar with a soft top edge and a few bright strokes.
void MakeTitleBlock(CKvMemBlock& block, BYTE alpha) {
  const CSize s = block.GetSize();
  for (int y = 0; y < s.cy; ++y) {
    for (int x = 0; x < s.cx; ++x) {
      const bool stroke = ((x / 12) % 3 == 0) && y > s.cy / 3 && y < s.cy * 2 / 3;
      const BYTE r = stroke ? 255 : static_cast<BYTE>(20 + x * 60 / s.cx);
      const BYTE g = stroke ? 240 : static_cast<BYTE>(40 + y * 80 / s.cy);
      const BYTE b = stroke ? 200 : 160;
      // Alpha fades in over the first rows, so edges show the mixing.
      const int edge = y < 8 ? y * 32 : 255;
      block.SetPixel(x, y, CKvColor32(r, g, b, static_cast<BYTE>(alpha * edge / 255)));
    }
  }
}

// A title bar sliding in, drawn as a numbered sequence of 32-bit TGA pictures, then made into
// a motion movie by the library's maker.
bool MakeDemoMovie(const std::string& dir, const CString& movie) {
  constexpr int kFrames = 50, kMovieW = 480, kMovieH = 96;
  const std::string frames = dir + "/title-frames";
  if (::mkdir(frames.c_str(), 0777) != 0 && errno != EEXIST) return false;
  CKvMemBlock cur, title;
  if (!cur.InitBlock(CSize(kMovieW, kMovieH)) || !title.InitBlock(CSize(kMovieW - 40, 56)))
    return false;
  MakeTitleBlock(title, 230);
  for (int i = 0; i < kFrames; ++i) {
    cur.ClearBlock(nullptr, CKvColor32(0, 0, 0, 0));
    const int x = std::min(20, -kMovieW + i * kMovieW / 20);  // slides in, then stays
    cur.Copy(x, 20, &title, title.GetRect(), KV_MIX_COPY);
    char name[40];
    std::snprintf(name, sizeof name, "/title%02d.tga", i);
    if (!KvMediaSaveTGAFile(CString::FromUtf8(frames + name),
                            reinterpret_cast<DWORD*>(cur.GetAddress()), cur.GetSize(),
                            cur.GetRect()))
      return false;
  }
  const RECT rect{0, 0, kMovieW, kMovieH};
  CKvMakeMovieMotion maker;
  return maker.Sink(CString::FromUtf8(frames + "/title.tga"), 0, kFrames - 1, 2, 0, CKvColor32(),
                    CKvColor32(), 0, &rect, movie, 25, nullptr) != 0;
}

// A strip of title lines: bars of text-like strokes on transparency, in changing colours.
std::vector<DWORD> MakeStrip(int width, int height) {
  std::vector<DWORD> strip(static_cast<std::size_t>(width) * height, 0);
  for (int y = 0; y < height; ++y) {
    const int line = y / 60, inLine = y % 60;
    if (inLine < 12 || inLine > 44) continue;
    const DWORD colour =
        0xFF000000u | (0x40 + line * 37 % 0xC0) << 16 | 0xE0 << 8 | (0xFF - line * 23 % 0x80);
    for (int x = 20; x < width - 20; ++x)
      if ((x / 6 + line) % 4 != 0 && ((x + line * 13) / 70) % 5 != 4)
        strip[static_cast<std::size_t>(y) * width + x] = colour;
  }
  return strip;
}

bool DemoScrolls(Demo& demo) {
  const int stripW = 480, stripH = 1500;
  const std::vector<DWORD> strip = MakeStrip(stripW, stripH);
  const std::string rollFile = demo.dir + "/roll.ksc", crawlFile = demo.dir + "/crawl.ksc";
  const CString roll = CString::FromUtf8(rollFile), crawl = CString::FromUtf8(crawlFile);
  // The crawl takes the strip turned on its side: its columns are the strip's rows.
  std::vector<DWORD> turned(strip.size());
  for (int y = 0; y < stripH; ++y)
    for (int x = 0; x < stripW; ++x)
      turned[static_cast<std::size_t>(x) * stripH + y] =
          strip[static_cast<std::size_t>(y) * stripW + x];
  std::string error;
  if (!WriteScrollFromPicture(rollFile, KV_SCROLL_UP, strip.data(), stripW, stripH, &error) ||
      !WriteScrollFromPicture(crawlFile, KV_SCROLL_LEFT, turned.data(), stripH, stripW, &error)) {
    std::fprintf(stderr, "kvmedia: %s\n", error.c_str());
    return false;
  }
  std::printf("  %-28s %s\n", "roll.ksc", "a roll of 1500 lines, 480 wide, content moving up");
  std::printf("  %-28s %s\n", "crawl.ksc", "a crawl of 1500 columns, 480 high, moving left");
  for (const auto& [path, name] :
       {std::pair{roll, std::string("roll")}, std::pair{crawl, std::string("crawl")}}) {
    for (int memory = 0; memory < 2; ++memory) {
      CKvPlayScrollFile player;
      if (!player.Open(path, memory)) return false;
      CSize size;
      player.GetFrameSize(size);
      std::vector<DWORD> buffer(static_cast<std::size_t>(size.cx) * size.cy);
      SKvScrollBuffer record;
      record.pFrame = buffer.data();
      // Small steps, so that streaming works through its ring.
      for (float pos = 0.30f; pos <= 0.5f; pos += 0.004f) player.GetOneFrame(pos, &record);
      player.GetOneFrame(memory ? 0.50037f : 0.5f, &record);
      const std::vector<DWORD> shown =
          memory ? buffer
                 : UnrollScrollRing(buffer, size, player.m_dwDirection, player.GetRingPoint());
      char file[48], what[96];
      std::snprintf(file, sizeof file, "scroll-%s-%s.png", name.c_str(),
                    memory ? "memory" : "streamed");
      std::snprintf(what, sizeof what, "the %s halfway, %s", name.c_str(),
                    !memory          ? "streamed and unrolled from the ring"
                    : name == "roll" ? "from memory, between two lines"
                                     : "from memory");
      demo.Png(file, shown.data(), size.cx, size.cy, what);
    }
  }
  return true;
}

// Minimal writers for the formats the library reads but does not write, so that the demo
// can show every reader at work. GIF: 8-bit indices sent as literal 9-bit codes with a clear
// code before the table would grow, which is valid and needs no compressor.
std::vector<unsigned char> DemoGif(const std::vector<DWORD>& px, int w, int h) {
  std::vector<unsigned char> out = {'G', 'I', 'F', '8', '9', 'a'};
  const auto put16 = [&](int v) {
    out.push_back(static_cast<unsigned char>(v));
    out.push_back(static_cast<unsigned char>(v >> 8));
  };
  put16(w);
  put16(h);
  out.insert(out.end(), {0xF7, 0, 0});
  for (int i = 0; i < 256; ++i)  // a 6 x 7 x 6 colour cube, and grey to fill it up
    if (i < 252)
      out.insert(out.end(), {static_cast<unsigned char>(i / 42 * 51),
                             static_cast<unsigned char>(i / 6 % 7 * 42),
                             static_cast<unsigned char>(i % 6 * 51)});
    else
      out.insert(out.end(), 3, static_cast<unsigned char>((i - 252) * 85));
  out.push_back(0x2C);
  put16(0);
  put16(0);
  put16(w);
  put16(h);
  out.push_back(0);
  out.push_back(8);
  std::vector<unsigned char> data;
  unsigned bits = 0, count = 0;
  const auto code = [&](unsigned c) {
    bits |= c << count;
    count += 9;
    while (count >= 8) {
      data.push_back(static_cast<unsigned char>(bits));
      bits >>= 8;
      count -= 8;
    }
  };
  for (std::size_t i = 0; i < px.size(); ++i) {
    if (i % 250 == 0) code(256);
    const DWORD p = px[i];
    code(((p >> 16 & 0xFF) * 5 / 255) * 42 + ((p >> 8 & 0xFF) * 6 / 255) * 6 +
         (p & 0xFF) * 5 / 255);
  }
  code(257);
  if (count) data.push_back(static_cast<unsigned char>(bits));
  for (std::size_t i = 0; i < data.size(); i += 255) {
    const std::size_t n = std::min<std::size_t>(255, data.size() - i);
    out.push_back(static_cast<unsigned char>(n));
    out.insert(out.end(), data.begin() + static_cast<std::ptrdiff_t>(i),
               data.begin() + static_cast<std::ptrdiff_t>(i + n));
  }
  out.push_back(0);
  out.push_back(0x3B);
  return out;
}

// PSD: an RGB document, raw planes, no resources or layers.
std::vector<unsigned char> DemoPsd(const std::vector<DWORD>& px, int w, int h) {
  std::vector<unsigned char> out = {'8', 'B', 'P', 'S', 0, 1, 0, 0, 0, 0, 0, 0, 0, 3};
  const auto put32 = [&](DWORD v) {
    for (int s = 24; s >= 0; s -= 8) out.push_back(static_cast<unsigned char>(v >> s));
  };
  put32(static_cast<DWORD>(h));
  put32(static_cast<DWORD>(w));
  out.insert(out.end(), {0, 8, 0, 3});
  put32(0);
  put32(0);
  put32(0);
  out.insert(out.end(), {0, 0});
  for (int shift : {16, 8, 0})
    for (DWORD p : px) out.push_back(static_cast<unsigned char>(p >> shift));
  return out;
}

bool DemoFormats(Demo& demo, const CKvMemBlock& picture) {
  const CSize size = picture.GetSize();
  const int w = size.cx, h = size.cy;
  std::vector<DWORD> px(static_cast<std::size_t>(w) * h);
  std::memcpy(px.data(), picture.GetAddress(), px.size() * 4);
  const CRect all(0, 0, w, h);
  // The first file that cannot be written ends the round, named with why.
  const auto written = [&](const char* name, bool ok, const std::string& why) {
    if (!ok)
      std::fprintf(stderr, "kvmedia: cannot write %s/%s: %s\n", demo.dir.c_str(), name,
                   why.c_str());
    return ok;
  };
  const auto path = [&](const char* name) { return CString::FromUtf8(demo.dir + "/" + name); };
  const auto saved = [&](const char* name, int (*save)(CString, DWORD*, CSize, CRect)) {
    const bool ok = save(path(name), px.data(), size, all) != 0;
    return written(name, ok, ok ? "" : LibraryReason("not written"));
  };
  const auto write = [&](const char* name, const std::vector<unsigned char>& bytes) {
    SafeFileWriter out(PathArg(demo.dir + "/" + name));
    return written(name, out.Open() && out.Write(bytes.data(), bytes.size()) && out.Commit(),
                   out.reason());
  };
  std::string error;
  if (!saved("round.tga", KvMediaSaveTGAFile) || !saved("round.bmp", KvMediaSaveBMPFile) ||
      !saved("round.pcx", KvMediaSavePCXFile) || !saved("round.jpg", KvMediaSaveJPGFile) ||
      !written("round.png", WritePng(demo.dir + "/round.png", px.data(), w, h, &error), error) ||
      !write("round.gif", DemoGif(px, w, h)) || !write("round.psd", DemoPsd(px, w, h)))
    return false;
  std::printf("  a round of every format: written, described, loaded back and compared\n");
  for (const char* name : {"round.tga", "round.bmp", "round.pcx", "round.jpg", "round.png",
                           "round.gif", "round.psd"}) {
    RECT info{};
    int bits = 0;
    const int described = KvMediaGetPicInfo(path(name), &info, &bits);
    CRect rect;
    KvGlobalPtr back(KvMediaLoadPicFile(path(name), rect));
    if (!described || !back || rect.Width() != w || rect.Height() != h) {
      std::fprintf(stderr, "kvmedia: %s did not come back\n", name);
      return false;
    }
    int worst = 0;
    double sum = 0;
    const auto* got = static_cast<const DWORD*>(back.get());
    for (std::size_t i = 0; i < px.size(); ++i)
      for (int shift : {0, 8, 16}) {
        const int d = std::abs(static_cast<int>(got[i] >> shift & 0xFF) -
                               static_cast<int>(px[i] >> shift & 0xFF));
        worst = std::max(worst, d);
        sum += d;
      }
    char what[120];
    std::snprintf(what, sizeof what, "%d x %d, bits %d, colour error mean %.2f, largest %d", w, h,
                  bits, sum / (3.0 * px.size()), worst);
    const std::string png = std::string(name).replace(0, 6, "round-loaded-").append(".png");
    demo.Png(png, got, w, h, what);
  }
  return true;
}

// The folder as the picture panel lists it: catalogued once, then listed from the catalogue
// without opening a picture, and drawn as a contact sheet.
bool DemoCatalogue(Demo& demo) {
  const CString folder = CString::FromUtf8(demo.dir);
  const CString catalogue = CString::FromUtf8(demo.dir + "/PicMedia.pmf");
  const wchar_t* const types = L"tga,bmp,gif,pcx,jpg,png,psd";
  // The sheet is drawn from the folder's pictures, among which it would be itself: the one
  // of an earlier run goes first, so that it is never listed, drawn or written over.
  const std::string sheet = demo.dir + "/contact-sheet.png";
  struct stat st {};
  if (::lstat(sheet.c_str(), &st) == 0 && S_ISREG(st.st_mode)) ::unlink(sheet.c_str());
  CKvObList list;
  SKvFetchReport first, second;
  if (!KvMediaFetchValidFileEx(&list, folder, catalogue, types, {}, &first) ||
      !KvMediaFetchValidFileEx(&list, folder, catalogue, types, {}, &second)) {
    std::fprintf(stderr, "kvmedia: the demo folder could not be listed\n");
    return false;
  }
  char what[120];
  std::snprintf(what, sizeof what,
                "catalogue of %d pictures; listed again from it: %d taken, none opened",
                static_cast<int>(list.GetCount()), second.fromCatalog);
  std::printf("  %-28s %s\n", "PicMedia.pmf", what);
  std::vector<const CKvClipMedia*> items;
  std::vector<std::string> listed;
  for (POSITION pos = list.GetHeadPosition(); pos;) {
    items.push_back(static_cast<const CKvClipMedia*>(list.GetNext(pos)));
    listed.push_back(items.back()->GetFileFullPath().ToUtf8());
  }
  std::string error = OutputIsInput(sheet, listed);
  if (error.empty()) error = WriteContactSheet(sheet, items);
  if (!error.empty()) {
    std::fprintf(stderr, "kvmedia: %s\n", error.c_str());
    return false;
  }
  ++demo.written;
  std::printf("  %-28s %s\n", "contact-sheet.png",
              "the folder's thumbnails as the panel shows them");
  return true;
}

// Host services: colour bars, mixing at several alphas, zoom, thumbnail. The bars and the
// bars with the titles mixed in are kept for the sections that follow.
bool DemoHost(Demo& demo, CKvMemBlock& bars, CKvMemBlock& mixed) {
  if (!bars.InitBlock(CSize(kWidth, kHeight))) return false;
  KvGenBackColorBar(&bars);
  demo.Png("host-colorbars.png", bars, "the suite's colour-bar background");

  mixed = bars;
  const BYTE alphas[] = {0, 64, 128, 192, 255};
  const int columnWidth = kWidth / 5;
  for (int i = 0; i < 5; ++i) {
    CKvMemBlock title;
    title.InitBlock(CSize(columnWidth - 16, 120));
    MakeTitleBlock(title, alphas[i]);
    mixed.Copy(i * columnWidth + 8, kHeight - 160, &title, title.GetRect(), KV_MIX_OVER);
  }
  demo.Png("host-mix-over-alphas.png", mixed,
           "a title block laid over the bars at alpha 0, 64, 128, 192, 255");

  CKvMemBlock under;
  under.InitBlock(CSize(kWidth, kHeight));
  MakeTitleBlock(under, 255);
  CKvMemBlock half;
  half = bars;
  for (int y = 0; y < kHeight; ++y)
    for (int x = 0; x < kWidth; ++x) {
      tagCOLOR32 c = half.GetPixel(x, y);
      c.a = static_cast<BYTE>(x * 255 / (kWidth - 1));
      half.SetPixel(x, y, c);
    }
  under.Copy(0, 0, &half, half.GetRect(), KV_MIX_OVER);
  demo.Png("host-mix-gradient.png", under,
           "bars fading in from left to right over the title colours");

  std::vector<DWORD> small(240 * 135);
  KvMemZoom(reinterpret_cast<DWORD*>(mixed.GetAddress()), CSize(kWidth, kHeight), small.data(),
            CSize(240, 135));
  demo.Png("host-zoom-down.png", small.data(), 240, 135, "the mixed picture shrunk 4 times");

  std::vector<DWORD> large(kWidth * kHeight);
  std::vector<DWORD> crop(96 * 54);
  for (int y = 0; y < 54; ++y)
    for (int x = 0; x < 96; ++x)
      crop[y * 96 + x] = mixed.GetAddress()[(kHeight - 140 + y) * kWidth + 8 + x].Value();
  KvMemZoom(crop.data(), CSize(96, 54), large.data(), CSize(kWidth, kHeight));
  demo.Png("host-zoom-up.png", large.data(), kWidth, kHeight,
           "a 96 x 54 corner of it enlarged 10 times");

  BYTE* icon = KvGuiMakeIcon(reinterpret_cast<DWORD*>(mixed.GetAddress()), CSize(kWidth, kHeight),
                             CRect(0, 0, kWidth, kHeight), CSize(80, 60), 24);
  if (icon) {
    std::vector<DWORD> canvas(160 * 120, 0xFF202020);
    CBufferDC dc(canvas.data(), 160, 120);
    KvGuiDrawIcon(&dc, CRect(0, 0, 160, 120), icon, CSize(80, 60), 24);
    GlobalFree(icon);
    demo.Png("host-thumbnail.png", canvas.data(), 160, 120,
             "an 80 x 60 thumbnail drawn at twice its size");
  }
  return true;
}

// Line compression of the mixed picture, line by line, decompressed in one call.
bool DemoLineCompression(CKvMemBlock& mixed) {
  std::vector<DWORD> packed;
  for (int y = 0; y < kHeight; ++y) {
    std::vector<DWORD> out(KvRLEWorstCaseWords(kWidth));
    auto* line = reinterpret_cast<DWORD*>(mixed.GetAddress() + y * kWidth);
    const DWORD words = KvRLECompress(line, kWidth, out.data(), 0);
    packed.insert(packed.end(), out.begin(), out.begin() + words);
  }
  std::vector<DWORD> unpacked(static_cast<std::size_t>(kWidth) * kHeight);
  const KvRLEDecodeResult r = KvRLEDecompress(packed, unpacked);
  const bool same =
      r.status == KvRLEStatus::Ok && std::equal(unpacked.begin(), unpacked.end(),
                                                reinterpret_cast<const DWORD*>(mixed.GetAddress()));
  std::printf("  line compression of the mixed picture: %zu of %zu bytes (%.1f %%), %s\n",
              packed.size() * 4, unpacked.size() * 4, 100.0 * packed.size() / unpacked.size(),
              same ? "decompressed exactly" : "MISMATCH");
  return same;
}

// Pictures: saved through the save dispatch, whole and a region, then loaded back; the region
// zoomed; the empty placeholder.
bool DemoPictures(Demo& demo, CKvMemBlock& mixed) {
  bool ok = true;
  const CString tga = CString::FromUtf8(demo.dir + "/picture.tga");
  const CString part = CString::FromUtf8(demo.dir + "/picture-region.tga");
  const CString bmp = CString::FromUtf8(demo.dir + "/picture.bmp");
  auto* frame = reinterpret_cast<DWORD*>(mixed.GetAddress());
  const CSize frameSize(kWidth, kHeight);
  const CRect lowerThird(0, kHeight - 170, kWidth, kHeight - 30);
  if (!KvMediaSavePicFile(tga, frame, frameSize, mixed.GetRect(), nullptr) ||
      !KvMediaSavePicFile(part, frame, frameSize, lowerThird, nullptr) ||
      !KvMediaSavePicFile(bmp, frame, frameSize, mixed.GetRect(), nullptr)) {
    std::fprintf(stderr, "kvmedia: saving the demo pictures failed\n");
    ok = false;
  }
  std::printf("  %-28s %s\n", "picture.tga", "the mixed picture saved as TGA 2.0");
  std::printf("  %-28s %s\n", "picture-region.tga", "its lower third, saved with its origin");
  std::printf("  %-28s %s\n", "picture.bmp", "the mixed picture saved as 32-bit BMP");
  for (const CString& saved : {tga, part}) {
    CRect rect;
    KvGlobalPtr back(KvMediaLoadPicFile(saved, rect));
    if (!back) {
      std::fprintf(stderr, "kvmedia: %s did not load back\n", saved.ToUtf8().c_str());
      ok = false;
      continue;
    }
    const std::string name = CString(saved).Mid(saved.ReverseFind(L'/') + 1).ToUtf8();
    char what[160];
    std::snprintf(what, sizeof what, "%s loaded back: %d x %d at (%d, %d)", name.c_str(),
                  rect.Width(), rect.Height(), rect.left, rect.top);
    demo.Png(name.substr(0, name.size() - 4) + "-loaded.png", static_cast<DWORD*>(back.get()),
             rect.Width(), rect.Height(), what);
  }
  // The saved lower third stretched over the whole frame by the bilinear sampler.
  std::vector<DWORD> zoomed(static_cast<std::size_t>(kWidth) * kHeight);
  if (KvMediaZoomPicFile(part, reinterpret_cast<tagCOLOR32*>(zoomed.data()), frameSize,
                         KV_MIX_COPY))
    demo.Png("picture-region-zoomed.png", zoomed.data(), kWidth, kHeight,
             "the lower third stretched to the whole frame, bilinear");
  else
    ok = false;
  const CString empty = CString::FromUtf8(demo.dir + "/Velmora_Empty.tga");
  CRect emptyRect;
  KvGlobalPtr emptyBack(KvMediaCreateEmptyPicFile(empty, CSize(4, 4))
                            ? KvMediaLoadPicFile(empty, emptyRect)
                            : nullptr);
  if (emptyBack && emptyRect.Width() == 4 && emptyRect.Height() == 4)
    std::printf("  %-28s %s\n", "Velmora_Empty.tga", "the empty placeholder, 4 x 4 transparent");
  else
    ok = false;
  return ok;
}

// A motion movie: a title bar sliding in, laid over the bars while it plays.
bool DemoMovie(Demo& demo, CKvMemBlock& bars) {
  const CString movie = CString::FromUtf8(demo.dir + "/title.sve");
  if (!MakeDemoMovie(demo.dir, movie)) {
    std::fprintf(stderr, "kvmedia: writing the demo movie failed\n");
    return false;
  }
  std::printf("  %-28s %s\n", "title-frames/title00.tga ...",
              "50 pictures of a title bar sliding in");
  std::printf("  %-28s %s\n", "title.sve", "the motion movie made from them");
  CKvPlayMovieMotion player;
  player.m_nMixMode = 0;
  player.m_ptPaste = CPoint(0, kHeight - 200);
  if (!player.Open(movie, 1) || !player.Prepare(&bars)) return false;
  for (int i : {0, 12, 24, 49}) {
    player.GetOneFrame(static_cast<float>(i) / player.m_nFrames);
    char name[40], what[80];
    std::snprintf(name, sizeof name, "movie-frame-%02d.png", i);
    std::snprintf(what, sizeof what, "frame %d of the movie over the bars", i);
    demo.Png(name, player.m_blockWork, what);
  }
  return true;
}

// Clips of other programs: the title movie exported as a QuickTime Animation clip, the clip
// imported into a new movie, and that movie exported as ProRes 4444; frame 12 of each shown.
bool DemoClips(Demo& demo) {
  const auto path = [&](const char* name) { return CString::FromUtf8(demo.dir + "/" + name); };
  const CString title = path("title.sve"), qtrle = path("title-qtrle.mov"),
                imported = path("title-from-clip.sve"), prores = path("title-prores4444.mov");
  const auto failed = [](const char* what) {
    std::fprintf(stderr, "kvmedia: %s: %s\n", what, KvMediaGetLastFailure().ToUtf8().c_str());
    return false;
  };
  SKvClipExport settings;
  SKvClipInfo info;
  if (!KvMovieExportClip(title, qtrle, &settings, nullptr) || !KvMovieGetClipInfo(qtrle, &info))
    return failed("exporting the title movie failed");
  // The clips are told on lines of their own, not in the list of files that `info` reads.
  std::printf("  clip title-qtrle.mov: title.sve as QuickTime Animation, %d frames of %d x %d%s\n",
              info.frames, info.width, info.height, info.alpha ? ", with alpha" : "");
  const RECT rect{0, 0, info.width, info.height};
  CKvMakeMovieMotion maker;
  if (!maker.SinkClip(qtrle, 0, CKvColor32(), CKvColor32(), 0, &rect, imported, 25, nullptr))
    return failed("importing the clip failed");
  std::printf("  %-28s %s\n", "title-from-clip.sve",
              "title-qtrle.mov imported into a motion movie");
  settings.codec = KV_CLIP_PRORES4444;
  if (!KvMovieExportClip(imported, prores, &settings, nullptr))
    return failed("exporting the imported movie failed");
  std::printf("  clip title-prores4444.mov: title-from-clip.sve as ProRes 4444 with alpha\n");

  constexpr int kFrame = 12;  // the bar half in: its cut edge and soft top
  const float t = static_cast<float>(kFrame) / static_cast<float>(info.frames);
  CRect clipRect, proresRect, movieRect, titleRect;
  const KvGlobalPtr clipFrame(KvMovieGetClipFrame(qtrle, kFrame, clipRect));
  const KvGlobalPtr proresFrame(KvMovieGetClipFrame(prores, kFrame, proresRect));
  const KvGlobalPtr movieFrame(KvMovieGetFrame(imported, movieRect, t));
  const KvGlobalPtr titleFrame(KvMovieGetFrame(title, titleRect, t));
  if (!clipFrame || !proresFrame || !movieFrame || !titleFrame || clipRect != movieRect ||
      proresRect.Size() != movieRect.Size() || titleRect != movieRect)
    return failed("a frame of the clips did not come back");
  const int w = movieRect.Width(), h = movieRect.Height();
  const auto* clipPx = static_cast<const DWORD*>(clipFrame.get());
  const auto* moviePx = static_cast<const DWORD*>(movieFrame.get());
  const auto* titlePx = static_cast<const DWORD*>(titleFrame.get());
  const auto* proresPx = static_cast<const DWORD*>(proresFrame.get());
  const std::size_t n = static_cast<std::size_t>(w) * h;
  // QuickTime Animation and the movie are lossless: both must give the title's own pixels.
  const auto told = [&](const DWORD* px, const char* file, char* out, std::size_t size) {
    const bool same = std::equal(px, px + n, titlePx);
    std::snprintf(out, size, "frame 12 of %s: %s pixels as title.sve's", file,
                  same ? "the same" : "NOT the");
    return same;
  };
  char clipWhat[120], movieWhat[120];
  const bool clipSame = told(clipPx, "title-qtrle.mov", clipWhat, sizeof clipWhat);
  const bool movieSame = told(moviePx, "title-from-clip.sve", movieWhat, sizeof movieWhat);
  // ProRes is lossy: its largest error against the movie, in alpha and in the colour of
  // pixels that show (a transparent pixel's colour is of no account).
  int alphaError = 0, colourError = 0;
  for (std::size_t i = 0; i < n; ++i) {
    alphaError = std::max(alphaError, std::abs(static_cast<int>(proresPx[i] >> 24) -
                                               static_cast<int>(moviePx[i] >> 24)));
    if (moviePx[i] >> 24)
      for (int shift : {0, 8, 16})
        colourError = std::max(colourError, std::abs(static_cast<int>(proresPx[i] >> shift & 0xFF) -
                                                     static_cast<int>(moviePx[i] >> shift & 0xFF)));
  }
  demo.Png("clip-qtrle-frame-12.png", clipPx, w, h, clipWhat);
  demo.Png("clip-imported-frame-12.png", moviePx, w, h, movieWhat);
  char what[160];
  std::snprintf(what, sizeof what,
                "frame 12 of title-prores4444.mov: largest error alpha %d, colour %d", alphaError,
                colourError);
  demo.Png("clip-prores4444-frame-12.png", proresPx, w, h, what);
  return clipSame && movieSame;
}

// The UHD raster (3840 x 2160): a title band sliding in along its foot, made into a movie of
// that band alone and played over UHD bars, and a roll as wide as the raster. Only the band
// is drawn and stored, which keeps the 33 MB frames quick.
bool DemoUhd(Demo& demo) {
  const EKvVideoStandard before = CKvVideoStd::GetStandard();
  CKvVideoStd::SetStandard(KV_STD_UHD);
  const struct Restore {
    EKvVideoStandard standard;
    ~Restore() { CKvVideoStd::SetStandard(standard); }
  } restore{before};
  constexpr int kFrames = 12;
  const CRect band(0, 1880, 3840, 2040);  // wider than a patch: stored as several
  const std::string frames = demo.dir + "/uhd-title-frames";
  if (::mkdir(frames.c_str(), 0777) != 0 && errno != EEXIST) return false;
  CKvMemBlock raster, title, bars;
  if (!raster.InitBlock(CSize(-1, -1)) || !title.InitBlock(CSize(2600, 112)) ||
      !bars.InitBlock(CSize(-1, -1)))
    return false;
  MakeTitleBlock(title, 230);
  for (int i = 0; i < kFrames; ++i) {
    raster.ClearBlock(&band, CKvColor32(0, 0, 0, 0));
    raster.Copy(std::max(620, 3840 - i * 400), band.top + 24, &title, title.GetRect(), KV_MIX_COPY);
    char name[40];
    std::snprintf(name, sizeof name, "/title%02d.tga", i);
    // The band alone, its place in the raster kept as the picture's origin.
    if (!KvMediaSaveTGAFile(CString::FromUtf8(frames + name),
                            reinterpret_cast<DWORD*>(raster.GetAddress()), raster.GetSize(), band))
      return false;
  }
  const CString movie = CString::FromUtf8(demo.dir + "/uhd-title.sve");
  CKvMakeMovieMotion maker;
  if (!maker.Sink(CString::FromUtf8(frames + "/title.tga"), 0, kFrames - 1, 2, 0, CKvColor32(),
                  CKvColor32(), 0, &band, movie, 25, nullptr))
    return false;
  std::printf("  %-28s %s\n", "uhd-title-frames/title00.tga ...",
              "12 pictures of a 2600-wide title sliding in at the foot of the UHD raster");
  std::printf("  %-28s %s\n", "uhd-title.sve", "the UHD motion movie of that 3840 x 160 band");
  KvGenBackColorBar(&bars);
  CKvPlayMovieMotion player;
  player.m_nMixMode = 0;
  player.m_ptPaste = band.TopLeft();
  if (!player.Open(movie, 0) || !player.Prepare(&bars) ||
      !player.GetOneFrame(static_cast<float>(kFrames - 1) / kFrames))
    return false;
  // The player gives the band mixed with the bars under it; the frame on air is the bars
  // with that band in its place.
  bars.Copy(band.left, band.top, &player.m_blockWork, player.m_blockWork.GetRect(), KV_MIX_COPY);
  demo.Png("uhd-movie-frame-11.png", bars, "its last frame over UHD bars, 3840 x 2160");

  const int stripW = 3840, stripH = 2600;
  const std::vector<DWORD> strip = MakeStrip(stripW, stripH);
  const std::string rollFile = demo.dir + "/uhd-roll.ksc";
  std::string error;
  if (!WriteScrollFromPicture(rollFile, KV_SCROLL_UP, strip.data(), stripW, stripH, &error)) {
    std::fprintf(stderr, "kvmedia: %s\n", error.c_str());
    return false;
  }
  std::printf("  %-28s %s\n", "uhd-roll.ksc", "a roll of 2600 lines, 3840 wide");
  CKvPlayScrollFile roll;
  if (!roll.Open(CString::FromUtf8(rollFile), 1)) return false;
  CSize size;
  roll.GetFrameSize(size);
  std::vector<DWORD> frame(static_cast<std::size_t>(size.cx) * size.cy);
  SKvScrollBuffer record;
  record.pFrame = frame.data();
  if (!roll.GetOneFrame(0.9f, &record)) return false;
  demo.Png("uhd-roll-frame.png", frame.data(), size.cx, size.cy,
           "a frame of the UHD roll, the raster's size: 3840 x 2160");
  return true;
}

int Run(const Parsed& args) {
  if (args.words.size() != 1) return Usage(kDemoCommand, "expected one output folder");
  Demo demo{args.words[0]};
  ::mkdir(demo.dir.c_str(), 0777);
  struct stat st {};
  if (::stat(demo.dir.c_str(), &st) != 0 || !S_ISDIR(st.st_mode))
    return Fail("cannot make the folder " + demo.dir);
  std::printf("kvmedia demo: writing into %s\n", demo.dir.c_str());

  CKvMemBlock bars, mixed;
  if (!DemoHost(demo, bars, mixed)) return Fail("out of memory");
  if (!DemoLineCompression(mixed)) demo.ok = false;
  KvMediaFileOpen();
  if (!DemoPictures(demo, mixed)) demo.ok = false;
  if (!DemoMovie(demo, bars))
    demo.ok = false;
  else if (!DemoClips(demo))
    demo.ok = false;
  if (!DemoFormats(demo, mixed)) demo.ok = false;
  // A roll and a crawl made from a generated strip, streamed and from memory.
  if (!DemoScrolls(demo)) demo.ok = false;
  // The UHD raster, before the catalogue so that its pictures are among those listed.
  if (!DemoUhd(demo)) {
    std::fprintf(stderr, "kvmedia: the UHD movie or roll failed: %s\n",
                 LibraryReason("out of memory").c_str());
    demo.ok = false;
  }
  if (!DemoCatalogue(demo)) demo.ok = false;
  KvMediaFileClose();

  std::printf("kvmedia demo: %d pictures written\n", demo.written);
  return demo.ok ? 0 : 1;
}

}  // namespace

const Command kDemoCommand = {
    "demo", "make sample media and PNG pictures of what each part of the library does",
    "usage: kvmedia demo OUTDIR\n"
    "\n"
    "Makes sample media in OUTDIR and runs the library over it, writing PNG pictures that\n"
    "show the result of each step.\n",
    Run};
const Registrar kDemoRegistrar(kDemoCommand);

}  // namespace kvtool
