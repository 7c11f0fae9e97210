// KvMediaFile used as another program uses it: a picture made with the host's pixel blocks,
// saved and loaded again, a motion movie made from a numbered sequence and played, and the
// reason a load is refused. Usage: consumer FOLDER (the files are written there).
#include <cstdio>

#include <KvMediaFile/KvMediaFile.h>

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: consumer FOLDER\n");
    return 2;
  }
  const CString folder = CString::FromUtf8(argv[1]) + L"/";
  KvMediaFileOpen();  // once, before any other picture call

  // The colour bars of the video raster with a half-transparent white band over them.
  CKvMemBlock video, band;
  video.InitBlock(CSize(-1, -1));  // the raster of the video standard
  KvGenBackColorBar(&video);
  band.InitBlock(CSize(400, 80));
  band.ClearBlock(nullptr, CKvColor32(255, 255, 255, 128));
  video.Copy(100, 60, &band, band.GetRect(), KV_MIX_OVER);
  auto* pixels = reinterpret_cast<DWORD*>(video.GetAddress());
  KvMediaSaveTGAFile(folder + L"bars.tga", pixels, video.GetSize(), video.GetRect());

  CRect rect;
  DWORD* picture = KvMediaLoadPicFile(folder + L"bars.tga", rect);  // null when unreadable
  if (!picture) {
    std::printf("%s\n", KvMediaGetLastFailure().ToUtf8().c_str());  // why
    return 1;
  }
  // rect.Width() x rect.Height() BGRA pixels, rows top to bottom (TGA keeps its origin in
  // rect.left, rect.top). Save the top half as BMP; buffers from the library are freed with
  // GlobalFree.
  KvMediaSaveBMPFile(folder + L"top.bmp", picture, rect.Size(),
                     CRect(0, 0, rect.Width(), rect.Height() / 2));
  GlobalFree(picture);

  // A movie of title00.tga ... title24.tga: the band crossing a 480 x 96 picture.
  for (int i = 0; i < 25; ++i) {
    CKvMemBlock title;
    title.InitBlock(CSize(480, 96));
    title.Copy(i * 3, 8, &band, band.GetRect(), KV_MIX_COPY);
    CString name;
    name.Format(L"%stitle%02d.tga", folder, i);
    KvMediaSaveTGAFile(name, reinterpret_cast<DWORD*>(title.GetAddress()), title.GetSize(),
                       title.GetRect());
  }
  const RECT place{0, 0, 480, 96};  // where the movie stands in the raster
  CKvMakeMovieMotion maker;
  if (!maker.Sink(folder + L"title.tga", 0, 24, 2, 0, CKvColor32(), CKvColor32(), 0, &place,
                  folder + L"title.sve", 25, nullptr)) {
    std::printf("%s\n", KvMediaGetLastFailure().ToUtf8().c_str());
    return 1;
  }

  // Its first frame as a picture, and a player for the rest.
  DWORD* frame = KvMovieGetFrame(folder + L"title.sve", rect, 0.0f);
  GlobalFree(frame);
  CKvPlayMovieBase* player = CKvPlayMovieBase::CreatePlayMovieObj(folder + L"title.sve", 1);
  if (player) {
    player->GetOneFrame(0.5f);  // halfway: the frame is in player->m_blockWork
    tagCOLOR32 pixel = player->m_blockWork.GetPixel(100, 50);
    std::printf("%d frames, halfway (100, 50) is %d %d %d %d\n", player->m_nFrames, pixel.r,
                pixel.g, pixel.b, pixel.a);
    delete player;
  }

  // A refused file says why.
  if (!KvMediaLoadPicFile(folder + L"missing.tga", rect))
    std::printf("missing.tga: %s\n", KvMediaGetLastFailure().ToUtf8().c_str());
  KvMediaFileClose();
  return 0;
}
