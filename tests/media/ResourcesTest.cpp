#include <gtest/gtest.h>

#include "KvMediaFile/KvMediaResources.h"
#include "host/ModuleResources.h"

// Spot checks of the string table: a text with %s, the longest filter, full-width punctuation,
// and an id with no text.
TEST(LibraryResources, StringTable) {
  const struct {
    UINT id;
    const wchar_t* text;
  } expected[] = {
      {1102, L"当前选择的文件不存在，请重新选择!"},
      {1117, L"正在保存图像文件%s，请稍侯..."},
      {1502,
       L"动画文件(*.flc;*.fli;*.sve;*.kvi)|*.flc;*.fli;*.sve;*.kvi|FLC文件(*.flc)|*.flc|"
       L"FLI文件(*.fli)|*.fli|SVE文件(*.sve)|*.sve|KVI文件(*.kvi)|*.kvi||"},
      {1512, L"找不到当前动画文件，无法处理！"},
  };
  const HINSTANCE module = KvMediaGetResourceHandle();
  for (const auto& e : expected) {
    CString text;
    EXPECT_TRUE(CKvModuleRC::LoadStringW(module, e.id, text)) << e.id;
    EXPECT_EQ(text, e.text) << e.id;
  }
  CString none;
  EXPECT_FALSE(CKvModuleRC::LoadStringW(module, 1121, none));
  EXPECT_TRUE(none.IsEmpty());
}

TEST(LibraryResources, DialogTexts) {
  const HINSTANCE module = KvMediaGetResourceHandle();
  EXPECT_STREQ(KvFindDialogText(module, KV_IDD_PICFILE_PANEL, 1012), L"驱动器：");
  EXPECT_STREQ(KvFindDialogText(module, KV_IDD_OPEN_PICTURE, 1004), L"原位读图");
  EXPECT_EQ(KvFindDialogText(module, KV_IDD_OPEN_PICTURE, 4242), nullptr);
}
