// A motion movie played over a background for 10 frames, as a play-out module plays a
// lower third over its screen: the player mixes each frame with the part of the background
// it covers, and the module lays that part into its screen. Makes the movie first, writes
// the frames, checks them and exits non-zero when one is wrong. Usage: play-movie FOLDER.
#include <cstdio>

#include <KvMediaFile/KvMediaFile.h>

namespace {

int Fail(const char* what) {
  std::fprintf(stderr, "play-movie: %s: %s\n", what, KvMediaGetLastFailure().ToUtf8().c_str());
  return 1;
}

bool Same(tagCOLOR32 a, tagCOLOR32 b) { return a.Value() == b.Value(); }

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: play-movie FOLDER\n");
    return 2;
  }
  const CString folder = CString::FromUtf8(argv[1]) + L"/";
  KvMediaFileOpen();

  // The movie: a blue bar growing across a 320 x 90 picture, on transparency, in 10
  // pictures bar00.tga ... bar09.tga. The module shows it at `place` in its raster.
  const CRect place(100, 900, 420, 990);
  const CKvColor32 blue(20, 60, 220, 255);
  const int frames = 10, step = place.Width() / frames;
  for (int i = 0; i < frames; ++i) {
    CKvMemBlock picture;
    picture.InitBlock(place.Size());  // zero-filled: transparent
    const CRect bar(0, 0, step * (i + 1), place.Height());
    picture.ClearBlock(&bar, blue);
    CString name;
    name.Format(L"%sbar%02d.tga", static_cast<const wchar_t*>(folder), i);
    if (!KvMediaSaveTGAFile(name, reinterpret_cast<DWORD*>(picture.GetAddress()), picture.GetSize(),
                            picture.GetRect()))
      return Fail("bar00.tga ...");
  }
  const CString movie = folder + L"bar.sve";
  CKvMakeMovieMotion maker;
  const RECT whole{0, 0, place.Width(), place.Height()};  // the movie's area of the pictures
  if (!maker.Sink(folder + L"bar.tga", 0, frames - 1, 2, 0, CKvColor32(), CKvColor32(), 0, &whole,
                  movie, 25, nullptr))
    return Fail("bar.sve");

  // The module's background: the colour bars of the raster. The player borrows it.
  CKvMemBlock back;
  back.InitBlock(CSize(-1, -1));
  KvGenBackColorBar(&back);

  // A player mixes a frame over the background when told so: the mix mode, where the
  // movie stands in the background, then the background block to Prepare.
  CKvPlayMovieMotion player;
  player.m_nMixMode = 0;               // the frame over the background
  player.m_ptPaste = place.TopLeft();  // where the movie stands in it
  if (!player.Open(movie, 1) || !player.Prepare(&back)) return Fail("bar.sve");
  if (player.m_nFrames != frames) {
    std::fprintf(stderr, "play-movie: %d frames, not %d\n", player.m_nFrames, frames);
    return 1;
  }

  int wrong = 0;
  CKvMemBlock screen;
  for (int i = 0; i < frames; ++i) {
    // Time counts passes through the movie: frame i of n is at i / n.
    player.GetOneFrame(static_cast<float>(i) / static_cast<float>(player.m_nFrames));
    // The work block holds the movie's area, mixed; the rest of the screen is the background.
    screen = back;
    screen.Copy(player.m_ptPaste.x, player.m_ptPaste.y, &player.m_blockWork,
                player.m_blockWork.GetRect(), KV_MIX_COPY);
    CString name;
    name.Format(L"%sframe%02d.tga", static_cast<const wchar_t*>(folder), i);
    if (!KvMediaSaveTGAFile(name, reinterpret_cast<DWORD*>(screen.GetAddress()), screen.GetSize(),
                            screen.GetRect()))
      return Fail("frame00.tga ...");

    // The bar's last column is blue, the next one (and what lies outside the movie) shows
    // the background.
    const int edge = place.left + step * (i + 1);
    const struct {
      CPoint at;
      tagCOLOR32 want;
    } checks[] = {{CPoint(edge - 1, place.top + 40), blue},
                  {CPoint(edge, place.top + 40), back.GetPixel(edge, place.top + 40)},
                  {CPoint(place.left - 1, place.top), back.GetPixel(place.left - 1, place.top)}};
    for (const auto& check : checks) {
      if (!Same(screen.GetPixel(check.at.x, check.at.y), check.want)) {
        std::fprintf(stderr, "play-movie: frame %d is wrong at (%d, %d)\n", i, check.at.x,
                     check.at.y);
        ++wrong;
      }
    }
  }
  player.Close();
  KvMediaFileClose();
  if (wrong) return 1;
  std::printf("play-movie: %d frames of bar.sve over the bars in frame00.tga ...\n", frames);
  return 0;
}
