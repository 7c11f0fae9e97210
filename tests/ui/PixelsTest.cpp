// What the panel shows, pixel by pixel: a picture whose corners differ must come out in the
// thumbnail and the preview with its colours in order and its top row on top.
#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QDialog>
#include <QImage>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <array>
#include <cstring>
#include <string>
#include <vector>

#include "KvMediaFile/KvMediaUi.h"
#include "KvMediaFile/KvPicture.h"
#include "TestSupport.h"
#include "UiRun.h"

namespace {

using kvtest::TempDir;
using kvtest::WaitFor;
using Rgb = std::array<int, 3>;

// 128 x 96 of mid-grey with 16-pixel corners: red top left, green top right, blue bottom
// left, white bottom right. Blocks of 16 keep JPEG's colour subsampling inside a corner.
constexpr int kW = 128, kH = 96, kCorner = 16;
constexpr Rgb kGrey{128, 128, 128};
constexpr Rgb kCorners[4] = {{255, 0, 0}, {0, 255, 0}, {0, 0, 255}, {255, 255, 255}};

// Writes the picture as `name` in `dir` with the library's saver: JPEG, or TGA.
void WriteCorners(const TempDir& dir, const std::string& name) {
  std::vector<DWORD> pixels;
  for (int y = 0; y < kH; ++y)
    for (int x = 0; x < kW; ++x) {
      const bool right = x >= kW - kCorner, bottom = y >= kH - kCorner;
      const Rgb c = (x < kCorner || right) && (y < kCorner || bottom)
                        ? kCorners[(bottom ? 2 : 0) + (right ? 1 : 0)]
                        : kGrey;
      pixels.push_back(0xFF000000u | static_cast<DWORD>(c[0] << 16 | c[1] << 8 | c[2]));
    }
  const auto save = name.ends_with(".jpg") ? KvMediaSaveJPGFile : KvMediaSaveTGAFile;
  ASSERT_EQ(save(dir.File(name), pixels.data(), CSize(kW, kH), CRect(0, 0, kW, kH)), 1);
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
  for (int corner = 0; corner < 4; ++corner) {  // top left, top right, bottom left, right
    const int x = r.left() + static_cast<int>(xs[corner % 2] * r.width());
    const int y = r.top() + static_cast<int>(ys[corner / 2] * r.height());
    const QRgb p = image.pixel(x, y);
    EXPECT_TRUE(Near(p, kCorners[corner], tolerance))
        << what << ", corner " << corner << " at " << x << "," << y << ": " << std::hex << p;
  }
}

// The panel draws every type from the library's 32-bit pixels, whatever the file's row order
// (each decoder's is the picture suite's work): a picture, and a lossy one, shown selected in
// the preview and unselected (no highlight tint) in the list.
TEST(Pixels, ThumbnailAndPreviewKeepColourOrderAndOrientation) {
  struct Row {
    const char* name;
    int tolerance;
  };
  for (const Row& row : {Row{"p.tga", 40}, Row{"p.jpg", 70}}) {
    TempDir dir;
    WriteCorners(dir, row.name);
    kvtest::PanelHost host(nullptr, dir.File(row.name));
    host.WaitForList();
    ASSERT_EQ(host.panel.GetRecordCount(), 1) << row.name;
    QWidget* window = KvDialogWidget(&host.panel);
    ExpectCorners(host.Item(1017)->grab().toImage(), std::string(row.name) + " preview",
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
  WriteCorners(dir, "p.tga");
  for (const bool ok : {true, false}) {
    const SKvMediaAdjustParams before{1, 10, 0, 20, 1, 30, 40, 50, 0, 255, 1};
    SKvMediaAdjustParams params = before;
    CString path = dir.File("p.tga");
    OnModal([ok](QWidget* dialog) {
      // OK takes the picture on screen: wait until the start file is listed and selected.
      WaitFor([&] { return KvControl<QLineEdit>(dialog, 1019)->text() == "p.tga"; });
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
    EXPECT_EQ(path.ToUtf8(), dir.path() + "/p.tga");
  }
}

}  // namespace
