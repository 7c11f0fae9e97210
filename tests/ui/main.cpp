// The UI tests run on Qt's offscreen platform unless a display was asked for (the
// screenshot test runs under Xvfb).
#include <gtest/gtest.h>

#include <QApplication>
#include <cstdlib>

#include "KvMediaFile/KvPicture.h"

int main(int argc, char** argv) {
  if (!std::getenv("KV_UI_SCREENSHOT")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
  QApplication app(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  KvMediaFileOpen();
  const int result = RUN_ALL_TESTS();
  KvMediaFileClose();
  return result;
}
