// KvMovieExportClip: a motion movie or FLIC played frame by frame into a clip that editing
// systems read.

#include <algorithm>
#include <cstring>
#include <memory>

#include "KvMediaFile/KvMovie.h"
#include "KvMediaFile/KvPicture.h"
#include "host/Failure.h"
#include "host/FileName.h"
#include "host/SafeSave.h"
#include "host/UiServices.h"
#include "movie/MoviePlayers.h"
#include "movie/VideoClip.h"
#include "platform/GlobalMemory.h"

namespace {

constexpr int kMaxFps = 240;

// The container a clip's name asks for: "mov" for .mov, "matroska" for .mkv; null for any
// other name.
const char* ContainerOf(const CString& path) {
  std::string name = path.ToUtf8();
  const std::size_t dot = name.rfind('.');
  if (dot == std::string::npos || name.find('/', dot) != std::string::npos) return nullptr;
  std::string ext = name.substr(dot + 1);
  std::transform(ext.begin(), ext.end(), ext.begin(), [](unsigned char c) {
    return static_cast<char>(c >= 'A' && c <= 'Z' ? c + 32 : c);
  });
  return ext == "mov" ? "mov" : ext == "mkv" ? "matroska" : nullptr;
}

// The picture `path` as a work block; false with the reason recorded.
bool LoadBackground(const wchar_t* path, CKvMemBlock& back) {
  CRect rect;
  KvGlobalPtr picture(KvMediaLoadPicFile(path, rect));
  if (!picture) {
    KvSetFailure("the background " + CString(path).ToUtf8() + ": " + KvLastFailure());
    return false;
  }
  if (!back.InitBlock(rect.Size())) return KvFail("no memory for the background");
  std::memcpy(back.GetAddress(), picture.get(),
              static_cast<std::size_t>(rect.Width()) * rect.Height() * 4);
  return true;
}

std::unique_ptr<CKvPlayMovieBase> OpenPlayer(const CString& path) {
  std::unique_ptr<CKvPlayMovieBase> player = KvNewMoviePlayer(path);
  if (!player) {
    KvFail("not a movie this library plays");
    return nullptr;
  }
  if (!player->Open(path, 0)) {
    if (KvLastFailure().empty()) KvFail("the movie cannot be opened");
    return nullptr;
  }
  return player;
}

// Plays every frame into the writer, under a progress dialog that can cancel.
bool PlayInto(CKvPlayMovieBase& player, const CKvMemBlock* back, KvClipWriter& writer,
              CWnd* pParent) {
  CKvProgressDlg progress;
  progress.Create(nullptr, L"正在生成动画文件，请稍候...", 1, 1, 0, pParent);
  progress.SetProgressPercent(0);
  const int n = player.m_nFrames;
  // Over a background, each frame is the background with the player's work block (which
  // holds the movie mixed with the background there) laid on it.
  CKvMemBlock placed;
  if (back && !placed.InitBlock(back->GetSize())) return KvFail("no memory for a frame");
  const CSize work = player.m_blockWork.GetSize();
  bool ok = true;
  for (int i = 0, shown = -1; i < n && ok; ++i) {
    progress.PumpMessages();
    if (progress.CheckCancel()) {
      ok = KvFail("cancelled");
      break;
    }
    const int percent = std::clamp(static_cast<int>(static_cast<float>(i) * 100.0f / n), 0, 100);
    if (percent != shown) progress.SetProgressPercent(shown = percent);
    // A FLIC frame of unknown type throws out of GetOneFrame.
    try {
      if (!player.GetOneFrame(static_cast<float>(i) / static_cast<float>(n))) {
        ok = KvFailf("frame %d cannot be played", i);
        break;
      }
    } catch (const CFileException&) {
      ok = KvFailf("frame %d cannot be read", i);
      break;
    }
    const auto* pixels = reinterpret_cast<const DWORD*>(player.m_blockWork.GetAddress());
    if (back) {
      std::memcpy(placed.GetAddress(), back->GetAddress(),
                  static_cast<std::size_t>(back->GetSize().cx) * back->GetSize().cy * 4);
      placed.Copy(player.m_ptPaste, &player.m_blockWork, CRect(CPoint(), work), KV_MIX_COPY,
                  KV_FIELD_FRAME);
      pixels = reinterpret_cast<const DWORD*>(placed.GetAddress());
    }
    ok = writer.Add(pixels);
  }
  progress.Close();
  return ok;
}

}  // namespace

int KvMovieExportClip(const wchar_t* pszMovieFile, const wchar_t* pszClipFile,
                      const SKvClipExport* pSettings, CWnd* pParent) {
  KvClearFailure();
  const SKvClipExport settings = pSettings ? *pSettings : SKvClipExport{};
  if (!pszMovieFile || !*pszMovieFile) return KvFail("no movie name");
  if (!pszClipFile || !*pszClipFile) return KvFail("no clip name");
  const char* container = ContainerOf(pszClipFile);
  if (!container) return KvFail("a clip's name ends in .mov or .mkv");
  // Matroska does not keep QuickTime Animation's pixel size: no program could read it back.
  if (settings.codec == KV_CLIP_QTRLE && std::strcmp(container, "mov") != 0)
    return KvFail("QuickTime Animation is written into a .mov only");
  if (settings.codec < KV_CLIP_QTRLE || settings.codec > KV_CLIP_PNG)
    return KvFailf("no clip codec %d", settings.codec);
  if (settings.fps < 1 || settings.fps > kMaxFps)
    return KvFailf("%d frames a second is outside 1 to %d", settings.fps, kMaxFps);
  const bool over = settings.background && *settings.background;
  if (over && settings.mixMode != 0 && settings.mixMode != 1)
    return KvFailf("mix mode %d is neither 0 nor 1", settings.mixMode);
  // The clip may replace neither of the files it is made from.
  if (KvIsSameFile(pszClipFile, pszMovieFile) ||
      (over && KvIsSameFile(pszClipFile, settings.background)))
    return KvFail("the clip is the movie or the background itself");
  if (!KvRequireFile(pszMovieFile)) return 0;

  std::unique_ptr<CKvPlayMovieBase> player = OpenPlayer(pszMovieFile);
  if (!player) return 0;
  CKvMemBlock back;
  if (over) {
    if (!LoadBackground(settings.background, back)) return 0;
    CRect made;
    KvMovieGetFileInfo(pszMovieFile, &made, nullptr, nullptr);
    player->m_nMixMode = settings.mixMode;
    player->m_ptPaste = settings.paste ? CPoint(*settings.paste) : made.TopLeft();
  }
  try {
    if (!player->Prepare(over ? &back : nullptr)) {
      if (KvLastFailure().empty()) KvFail("the movie's frames cannot be read");
      return 0;
    }
  } catch (const CFileException&) {
    return KvFail("a frame of the movie cannot be read");
  }
  if (player->m_nFrames < 1) return KvFail("the movie has no frames");
  const CSize size = over ? back.GetSize() : player->m_blockWork.GetSize();

  SafeFileWriter target{CString(pszClipFile)};
  if (!target.Open()) return 0;
  KvClipWriter writer;
  bool ok = writer.Open(target.Path(), container, static_cast<KvClipCodec>(settings.codec), size.cx,
                        size.cy, settings.fps) &&
            PlayInto(*player, over ? &back : nullptr, writer, pParent) && writer.Finish();
  if (ok && !target.Commit())
    ok = KvFail(target.reason().empty() ? "the clip cannot be written" : target.reason());
  if (!ok) target.RemoveFailedInPlace();
  return ok ? 1 : 0;
}
