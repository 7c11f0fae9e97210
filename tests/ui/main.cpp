// The UI tests run on Qt's offscreen platform unless another platform is asked for.
#include <gtest/gtest.h>

#include <QApplication>
#include <cstdlib>

#include "KvMediaFile/KvPicture.h"

int main(int argc, char** argv) {
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  QApplication app(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  KvMediaFileOpen();
  const int result = RUN_ALL_TESTS();
  KvMediaFileClose();
  return result;
}
