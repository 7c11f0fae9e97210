// kvmedia-browse: the open-picture dialog as a program. Prints the chosen path (and the
// adjustments) on standard output; exit 0 when chosen, 1 when cancelled, 2 on wrong usage.
#include <strings.h>
#include <unistd.h>
#include <QApplication>
#include <QBuffer>
#include <QPixmap>
#include <QTimer>
#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>

#include "KvMediaFile/KvClipMedia.h"
#include "KvMediaFile/KvMediaFile.h"
#include "KvMediaFile/KvMediaUi.h"
#include "host/FileName.h"
#include "host/SafeSave.h"
#include "ui/HostControls.h"
#include "ui/OpenPicDialog.h"
#include "ui/QtUiServices.h"

namespace {

const char kUsage[] =
    "usage: kvmedia-browse [FOLDER] [--save] [--adjust] [--screenshot PNG]\n"
    "  Opens the picture dialog on FOLDER (default: the current folder) and prints the\n"
    "  chosen path. --save asks for a name to save under; --adjust shows the picture\n"
    "  adjustments and prints them as name=value lines; --screenshot PNG picks the first\n"
    "  picture of FOLDER's parent, moves to FOLDER, picks its first picture once it is\n"
    "  listed, saves the window as PNG (a name ending in .png, from the current folder,\n"
    "  that is not a file of FOLDER) and exits.\n"
    "  Exit status: 0 chosen, 1 cancelled or failed, 2 wrong usage.\n";

const char* const kAdjustNames[] = {"brightness_on", "brightness", "contrast_on", "contrast",
                                    "tint_on",       "tint_red",   "tint_green",  "tint_blue",
                                    "opacity_on",    "opacity",    "loop_paste"};

// Writes the picture under the name's own bytes, which a QString need not hold; why it could
// not, or "".
std::string SavePng(const QPixmap& picture, const std::string& path) {
  QByteArray bytes;
  QBuffer buffer(&bytes);
  if (!buffer.open(QIODevice::WriteOnly) || !picture.save(&buffer, "PNG"))
    return "the window cannot be encoded as PNG";
  SafeFileWriter out(CString::FromUtf8(path));
  if (out.Open() && out.Write(bytes.constData(), static_cast<std::size_t>(bytes.size())) &&
      out.Commit())
    return "";
  return out.reason().empty() ? std::strerror(out.error() ? out.error() : EIO) : out.reason();
}

// As an operator would: starts in the folder's parent and picks its first picture there, then
// moves to the folder, waits for its listing, picks its first picture and saves the dialog's
// window. Fails (1) when the dialog does not show and return the picture picked last.
void ScheduleScreenshot(CKvOpenPicDlg& dialog, const std::string& png, int& status) {
  CKvPicfilePanelDlg& panel = dialog.Panel();
  const CString folder = panel.GetFolder();
  CString parent = folder.Left(std::max(0, folder.GetLength() - 1));
  parent = parent.Left(parent.ReverseFind(L'/') + 1);
  auto* timer = new QTimer(qApp);
  // Steps: 0 open the parent, 1 pick there and move to the folder, 2 pick there and save.
  QObject::connect(
      timer, &QTimer::timeout,
      [&dialog, &panel, folder, parent, png, &status, timer, step = parent.IsEmpty() ? 1 : 0,
       waited = 0]() mutable {
        if (step == 0) {
          step = 1;
          panel.SelectFolder(parent);
          return;
        }
        waited += 100;
        if (panel.IsReading() && waited < 30000) return;
        auto* list = KvDialogWidget(&panel)->findChild<CKvListCtrl*>();
        if (list && panel.GetRecordCount() > 0) list->LineOutItem(panel.GetSubObj(&panel, 0));
        if (step == 1) {
          step = 2, waited = 0;
          panel.SelectFolder(folder);
          return;
        }
        timer->stop();
        const CString picked =
            panel.GetRecordCount() > 0
                ? folder + static_cast<CKvClipMedia*>(panel.GetSubObj(&panel, 0))->GetPureFileName()
                : CString();
        QTimer::singleShot(300, [&dialog, &panel, picked, png, &status] {
          QWidget* window = KvDialogWidget(&dialog);
          const std::string unsaved = SavePng(window->grab(), png);
          const bool saved = unsaved.empty();
          if (!saved)
            std::fprintf(stderr, "kvmedia-browse: cannot write %s: %s\n", png.c_str(),
                         unsaved.c_str());
          const bool shown = panel.GetFileFullPath() == picked;
          if (!shown)
            std::fprintf(stderr, "kvmedia-browse: the dialog holds '%s', not the picture picked\n",
                         panel.GetFileFullPath().ToUtf8().c_str());
          status = saved && shown ? 0 : 1;
          dialog.EndDialog(IDCANCEL);
        });
      });
  timer->start(100);
}

// Why the screenshot must not be written to `png`: it is a file of `folder`, whose pictures
// the run lists, reads and shows (however spelt: through links, "./", a second hard link).
// "" when it is none of them.
std::string ScreenshotIsInput(const std::string& png, const std::string& folder) {
  namespace fs = std::filesystem;
  std::error_code error;
  if (!fs::exists(png, error)) return "";
  const CString target = CString::FromUtf8(png);
  for (fs::directory_iterator it(folder.empty() ? "." : folder, error), end; !error && it != end;
       it.increment(error))
    if (KvIsSameFile(target, CString::FromUtf8(it->path().string())))
      return png + ": is the input " + it->path().string() + "; an output never replaces an input";
  return "";
}

bool EndsInPng(const std::string& name) {
  return name.size() > 4 && strcasecmp(name.c_str() + name.size() - 4, ".png") == 0;
}

}  // namespace

int main(int argc, char** argv) {
  std::string folder, screenshot;
  bool save = false, adjust = false;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--help" || arg == "-h") {
      std::fputs(kUsage, stdout);
      return 0;
    } else if (arg == "--save") {
      save = true;
    } else if (arg == "--adjust") {
      adjust = true;
    } else if (arg == "--screenshot" && i + 1 < argc) {
      screenshot = argv[++i];
    } else if (arg.rfind("-", 0) == 0 || !folder.empty()) {
      std::fprintf(stderr, "kvmedia-browse: unexpected argument '%s'\n%s", arg.c_str(), kUsage);
      return 2;
    } else {
      folder = arg;
    }
  }
  if (save && adjust) {
    std::fprintf(stderr, "kvmedia-browse: --save and --adjust do not go together\n%s", kUsage);
    return 2;
  }
  if (!screenshot.empty() && !EndsInPng(screenshot)) {
    std::fprintf(stderr, "kvmedia-browse: --screenshot takes a name ending in .png, not '%s'\n",
                 screenshot.c_str());
    return 2;
  }
  // A screenshot never replaces a file of the folder shown. Its name is from the current
  // folder, which the chdir below leaves: it is made whole first.
  if (const std::string refusal = screenshot.empty() ? "" : ScreenshotIsInput(screenshot, folder);
      !refusal.empty()) {
    std::fprintf(stderr, "kvmedia-browse: %s\n", refusal.c_str());
    return 1;
  }
  if (!screenshot.empty() && screenshot[0] != '/') {
    std::error_code error;
    const std::filesystem::path here = std::filesystem::current_path(error);
    if (error) {
      std::fprintf(stderr, "kvmedia-browse: cannot write %s: %s\n", screenshot.c_str(),
                   error.message().c_str());
      return 1;
    }
    screenshot = (here / screenshot).string();
  }
  QApplication app(argc, argv);
  QApplication::setApplicationName("kvmedia-browse");
  // The panel opens on the current folder. The argument's bytes are the name: a folder whose
  // name is not UTF-8 opens too.
  if (!folder.empty() && chdir(folder.c_str()) != 0) {
    std::fprintf(stderr, "kvmedia-browse: no folder '%s': %s\n", folder.c_str(),
                 std::strerror(errno));
    return 2;
  }
  KvMediaFileOpen();
  const KvQtUiScope windows;
  SKvMediaAdjustParams params{};
  int status = 1;
  {
    CKvOpenPicDlg dialog(save ? 0 : 1, 0, CString(), nullptr, adjust ? &params : nullptr);
    if (!screenshot.empty()) ScheduleScreenshot(dialog, screenshot, status);
    const int result = dialog.DoModal();
    if (screenshot.empty() && result == IDOK) {
      status = 0;
      std::printf("%s\n", dialog.GetPath().ToUtf8().c_str());
      if (adjust)
        for (int i = 0; i < 11; ++i)
          std::printf("%s=%d\n", kAdjustNames[i], reinterpret_cast<int*>(&params)[i]);
    }
  }
  KvMediaFileClose();
  return status;
}
