// What the panel shows, pixel by pixel: a picture whose corners differ must come out in the
// thumbnail and the preview with its colours in order and its top row on top.
#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QDialog>
#include <QElapsedTimer>
#include <QImage>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <array>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "BmpWriter.h"
#include "KvMediaFile/KvMediaUi.h"
#include "KvMediaFile/KvPicture.h"
#include "PngWriter.h"
#include "TestSupport.h"
#include "TgaWriter.h"
#include "ui/HostControls.h"
#include "ui/PicfilePanel.h"

namespace {

using kvtest::TempDir;
using Rgb = std::array<int, 3>;

void WaitFor(const std::function<bool()>& done, int limit = 20000) {
  QElapsedTimer timer;
  timer.start();
  while (!done() && timer.elapsed() < limit) QTest::qWait(2);
}

// 128 x 96 of mid-grey with 16-pixel corners: red top left, green top right, blue bottom
// left, white bottom right. Blocks of 16 keep JPEG's colour subsampling inside a corner.
constexpr int kW = 128, kH = 96, kCorner = 16;
constexpr Rgb kGrey{128, 128, 128};
constexpr Rgb kCorners[4] = {{255, 0, 0}, {0, 255, 0}, {0, 0, 255}, {255, 255, 255}};

Rgb At(int x, int y) {
  const bool left = x < kCorner, right = x >= kW - kCorner;
  const bool top = y < kCorner, bottom = y >= kH - kCorner;
  if (!(left || right) || !(top || bottom)) return kGrey;
  return kCorners[(bottom ? 2 : 0) + (right ? 1 : 0)];
}

// Rows top to bottom, or bottom to top, of `bytes` a pixel made from the colour by `put`.
std::vector<unsigned char> Rows(bool bottomUp, int bytes,
                                const std::function<void(unsigned char*, Rgb)>& put) {
  std::vector<unsigned char> out(static_cast<std::size_t>(kW) * kH * bytes);
  for (int r = 0; r < kH; ++r)
    for (int x = 0; x < kW; ++x)
      put(&out[(static_cast<std::size_t>(r) * kW + x) * bytes], At(x, bottomUp ? kH - 1 - r : r));
  return out;
}
const auto kBgr = [](unsigned char* p, Rgb c) { p[0] = c[2], p[1] = c[1], p[2] = c[0]; };
const auto kRgb = [](unsigned char* p, Rgb c) { p[0] = c[0], p[1] = c[1], p[2] = c[2]; };

std::vector<DWORD> Bgra() {
  std::vector<DWORD> out;
  for (int y = 0; y < kH; ++y)
    for (int x = 0; x < kW; ++x) {
      const Rgb c = At(x, y);
      out.push_back(0xFF000000u | static_cast<DWORD>(c[0] << 16 | c[1] << 8 | c[2]));
    }
  return out;
}

std::vector<unsigned char> Tga(bool bottomUp) {
  kvtest::TgaImage tga;
  tga.width = kW, tga.height = kH;
  tga.descriptor = bottomUp ? 0 : 0x20;
  tga.pixels = Rows(bottomUp, 3, kBgr);
  return kvtest::WriteTga(tga);
}

std::vector<unsigned char> Bmp(bool bottomUp) {
  kvtest::BmpImage bmp;
  bmp.width = kW, bmp.height = bottomUp ? kH : -kH;  // 128 * 3 needs no row padding
  bmp.pixels = Rows(bottomUp, 3, kBgr);
  return kvtest::WriteBmp(bmp);
}

// Writes the picture as `name` in `dir`, by the type its extension names.
void WriteCorners(const TempDir& dir, const std::string& name) {
  const std::string path = dir.path() + "/" + name;
  const std::string ext = name.substr(name.find('.') + 1);
  if (ext == "tga") return kvtest::WriteFileBytes(path, Tga(name[0] == 'u'));
  if (ext == "bmp") return kvtest::WriteFileBytes(path, Bmp(name[0] == 'u'));
  if (ext == "png") {
    ASSERT_TRUE(kvtest::WritePng(path, {kW, kH, 2, 8, Rows(false, 3, kRgb)}));
    return;
  }
  std::vector<DWORD> pixels = Bgra();
  ASSERT_EQ(KvMediaSaveJPGFile(CString::FromUtf8(path), pixels.data(), CSize(kW, kH),
                               CRect(0, 0, kW, kH)),
            1);
}

bool Near(QRgb p, Rgb c, int tolerance) {
  return std::abs(qRed(p) - c[0]) <= tolerance && std::abs(qGreen(p) - c[1]) <= tolerance &&
         std::abs(qBlue(p) - c[2]) <= tolerance;
}

// Where the picture lies in a grab: the bounds of the grey field, counting only runs of
// grey long enough that no letter or frame makes them.
QRect PictureIn(const QImage& image) {
  QRect bounds;
  for (int y = 0; y < image.height(); ++y)
    for (int x = 0, run = 0; x < image.width(); ++x) {
      run = Near(image.pixel(x, y), kGrey, 12) ? run + 1 : 0;
      if (run >= 8) bounds |= QRect(x - 7, y, 8, 1);
    }
  return bounds;
}

// Each corner's colour at the middle of where its block lands once scaled.
void ExpectCorners(const QImage& grabbed, const std::string& what, int tolerance) {
  const QImage image = grabbed.convertToFormat(QImage::Format_RGB32);
  const QRect r = PictureIn(image);
  ASSERT_GT(r.width(), kW / 4) << what;
  ASSERT_GT(r.height(), kH / 4) << what;
  const double half = kCorner / 2.0;
  const double xs[2] = {half / kW, 1 - half / kW}, ys[2] = {half / kH, 1 - half / kH};
  static const char* const kNames[4] = {"top left", "top right", "bottom left", "bottom right"};
  for (int corner = 0; corner < 4; ++corner) {
    const int x = r.left() + static_cast<int>(xs[corner % 2] * r.width());
    const int y = r.top() + static_cast<int>(ys[corner / 2] * r.height());
    const QRgb p = image.pixel(x, y);
    EXPECT_TRUE(Near(p, kCorners[corner], tolerance))
        << what << ", " << kNames[corner] << " at " << x << "," << y << " in " << r.x() << ","
        << r.y() << " " << r.width() << "x" << r.height() << ": " << qRed(p) << " " << qGreen(p)
        << " " << qBlue(p);
  }
}

struct Panel {
  explicit Panel(const CString& path) {
    auto* placeholder = new QWidget(&host);
    placeholder->setObjectName("77");
    placeholder->setGeometry(0, 0, 900, 560);
    hostWnd = std::make_unique<CKvQtWnd>(&host);
    EXPECT_TRUE(panel.Create(1, 0, path, hostWnd.get(), 77, nullptr));
    host.show();
    WaitFor([&] { return !panel.IsReading(); });
  }
  QWidget host;
  std::unique_ptr<CKvQtWnd> hostWnd;
  CKvPicfilePanelDlg panel;
};

// The panel draws every type from the library's 32-bit pixels (each decoder's orientation is
// the picture suite's work): rows stored bottom first (u) and top first (d), and a lossy and
// a locked loader's type, shown selected in the preview and unselected (no highlight tint) in
// the list.
TEST(Pixels, ThumbnailAndPreviewKeepColourOrderAndOrientation) {
  struct Row {
    const char* name;
    int tolerance;
  };
  for (const Row& row : {Row{"u.tga", 40}, Row{"d.bmp", 40}, Row{"p.jpg", 70}, Row{"p.png", 40}}) {
    TempDir dir;
    WriteCorners(dir, row.name);
    Panel host(dir.File(row.name));
    ASSERT_EQ(host.panel.GetRecordCount(), 1) << row.name;
    QWidget* window = KvDialogWidget(&host.panel);
    ExpectCorners(KvControl(window, 1017)->grab().toImage(), std::string(row.name) + " preview",
                  row.tolerance);
    auto* list = window->findChild<CKvListCtrl*>();
    list->selectionModel()->clear();
    QTest::qWait(20);
    ExpectCorners(list->viewport()->grab().toImage(), std::string(row.name) + " thumbnail",
                  row.tolerance);
  }
}

// Runs `act` on the modal dialog once it shows, from within its event loop.
void OnModal(std::function<void(QWidget*)> act) {
  QTimer::singleShot(10, [act = std::move(act)] {
    QWidget* dialog = nullptr;
    WaitFor([&] { return (dialog = QApplication::activeModalWidget()) != nullptr; });
    ASSERT_NE(dialog, nullptr);
    act(dialog);
  });
}

void Type(QWidget* dialog, UINT id, const char* text) {
  auto* edit = KvControl<QLineEdit>(dialog, id);
  ASSERT_TRUE(edit->isEnabled()) << id;
  edit->clear();
  QTest::keyClicks(edit, text);
}

// The dialog starts from the caller's adjustments and gives back what was set on OK, and
// nothing on Cancel.
TEST(Pixels, SelectPicFileExReturnsTheAdjustments) {
  TempDir dir;
  WriteCorners(dir, "u.bmp");
  for (const bool ok : {true, false}) {
    const SKvMediaAdjustParams before{1, 10, 0, 20, 1, 30, 40, 50, 0, 255, 1};
    SKvMediaAdjustParams params = before;
    CString path = dir.File("u.bmp");
    OnModal([ok](QWidget* dialog) {
      // OK takes the picture on screen: wait until the start file is listed and selected.
      WaitFor([&] { return KvControl<QLineEdit>(dialog, 1019)->text() == "u.bmp"; });
      EXPECT_EQ(KvControl<QLineEdit>(dialog, 1031)->text(), "10");
      for (UINT check : {1033u, 1036u, 1046u})
        QTest::mouseClick(KvControl<QCheckBox>(dialog, check), Qt::LeftButton);
      Type(dialog, 1031, "300");
      Type(dialog, 1034, "99");
      Type(dialog, 1047, "7");
      QTest::mouseClick(KvControl<QPushButton>(dialog, ok ? 1 : 2), Qt::LeftButton);
    });
    EXPECT_EQ(KvMediaSelectPicFileEx(0, path, nullptr, &params), ok ? 1 : 0);
    const SKvMediaAdjustParams want =
        ok ? SKvMediaAdjustParams{1, 255, 1, 99, 0, 30, 40, 50, 1, 7, 1} : before;
    EXPECT_EQ(0, std::memcmp(&params, &want, sizeof params))
        << params.bLumi << " " << params.nLumi << " " << params.bContrast << " " << params.nContrast
        << " " << params.bHue << " " << params.nAlpha << " " << params.bAlpha;
    EXPECT_EQ(path.ToUtf8(), dir.path() + "/u.bmp");
  }
}

}  // namespace
