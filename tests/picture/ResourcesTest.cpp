#include <gtest/gtest.h>

#include "KvMediaFile/KvMediaResources.h"
#include "host/ModuleResources.h"

// Spot checks of the resources (the texts of messages, progress lines and filters are checked
// where they are shown): full-width punctuation, ids with no text.
TEST(LibraryResources, StringsAndDialogTexts) {
  const HINSTANCE module = KvMediaGetResourceHandle();
  CString loaded;
  EXPECT_TRUE(CKvModuleRC::LoadStringW(module, 1102, loaded));
  EXPECT_EQ(loaded, L"当前选择的文件不存在，请重新选择!");
  CString none;
  EXPECT_FALSE(CKvModuleRC::LoadStringW(module, 1121, none));
  EXPECT_TRUE(none.IsEmpty());
  EXPECT_STREQ(KvFindDialogText(module, KV_IDD_PICFILE_PANEL, 1012), L"驱动器：");
  EXPECT_STREQ(KvFindDialogText(module, KV_IDD_OPEN_PICTURE, 1004), L"原位读图");
  EXPECT_EQ(KvFindDialogText(module, KV_IDD_OPEN_PICTURE, 4242), nullptr);
  // A bitmap by id is a copy of the module's bytes; an id without one empties the bitmap.
  CBitmap bitmap;
  ASSERT_TRUE(CKvModuleRC::LoadBitmapW(module, 1200, bitmap));
  const KvBitmapResource* drive = KvFindModuleBitmap(module, 1200);
  ASSERT_NE(drive, nullptr);
  EXPECT_EQ(bitmap.GetData(), std::vector<BYTE>(drive->data, drive->data + drive->size));
  EXPECT_FALSE(CKvModuleRC::LoadBitmapW(module, 1199, bitmap));
  EXPECT_TRUE(bitmap.IsEmpty());
}
