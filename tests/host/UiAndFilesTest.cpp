#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <vector>

#include "TestSupport.h"
#include "host/Failure.h"
#include "host/FileName.h"
#include "host/ModuleResources.h"
#include "host/Thumbnail.h"
#include "host/UiServices.h"
#include "platform/GlobalMemory.h"

TEST(UiServices, ProgressAndMessagesReachTheInstalledServices) {
  kvtest::RecordingUi ui;
  {
    CKvProgressDlg dlg;
    ASSERT_TRUE(dlg.Create(nullptr, L"正在生成动画文件，请稍候...", 1, 1, 0, nullptr));
    EXPECT_EQ(ui.progressOpen, 1);
    dlg.SetProgressPercent(150);
    ui.cancelAfterPumps = 0;
    dlg.PumpMessages();
    EXPECT_TRUE(dlg.CheckCancel());
  }  // the destructor closes it
  EXPECT_EQ(ui.progressOpen, 0);
  EXPECT_EQ(ui.percents, std::vector<int>{100});
  const KvModule module = {"test", nullptr, 0, nullptr, 0, nullptr, 0};
  EXPECT_EQ(CKvModuleRC::MessageBoxW(&module, 1118, MB_YESNO | MB_DEFBUTTON2), IDNO);
  ASSERT_EQ(ui.messages.size(), 1u);
  EXPECT_EQ(ui.messages[0].text, L"#1118");  // a missing string still says which
  ui.answer = IDYES;
  EXPECT_EQ(CKvModuleRC::MessageBoxW(&module, 1, MB_YESNO), IDYES);
}

TEST(UiServices, HeadlessDefaultsAnswerWithoutAUserAndFileDialogsPassTheirRequest) {
  KvHeadlessUiServices headless;
  EXPECT_EQ(headless.MessageBox(L"x", L"", MB_OK, nullptr), IDOK);
  EXPECT_EQ(headless.MessageBox(L"x", L"", MB_YESNO | MB_ICONQUESTION | MB_DEFBUTTON2, nullptr),
            IDNO);
  CKvFileDialog cancelled(FALSE, L"", L"", 6, L"TGA文件(*.tga)|*.tga||", nullptr);
  EXPECT_EQ(cancelled.DoModal(), IDCANCEL);  // the headless default cancels
  EXPECT_TRUE(cancelled.GetPathName().IsEmpty());
  // Installed services get the request; the default extension is added to the answer.
  kvtest::RecordingUi ui;
  ui.chosenPath = L"/tmp/out";
  CKvFileDialog dlg(TRUE, L"sve", L"", OFN_HIDEREADONLY, L"SVE文件(*.sve)|*.sve||", nullptr);
  dlg.SetTitle(L"打开动画文件");
  EXPECT_EQ(dlg.DoModal(), IDOK);
  EXPECT_EQ(dlg.GetPathName() + L" " + dlg.GetFileExt(), L"/tmp/out.sve sve");
  ASSERT_EQ(ui.fileRequests.size(), 1u);
  EXPECT_TRUE(ui.fileRequests[0].open);
  EXPECT_EQ(ui.fileRequests[0].title + ui.fileRequests[0].filter,
            L"打开动画文件SVE文件(*.sve)|*.sve||");
}

TEST(HostFiles, ExistenceAndNames) {
  kvtest::TempDir dir;
  const CString file = dir.Write("标题.Tga", {1, 2, 3});
  EXPECT_TRUE(KvDoesFileExist(file));
  EXPECT_FALSE(KvDoesFileExist(CString::FromUtf8(dir.path())));  // a folder is not a file
  EXPECT_TRUE(KvDoesDirExist(CString::FromUtf8(dir.path())));
  EXPECT_FALSE(KvDoesDirExist(file));
  EXPECT_FALSE(KvDoesFileExist(L""));
  // One file however it is spelt; a second hard link is the same file, a copy is not.
  const std::string folder = dir.path();
  ASSERT_EQ(::link(file.ToUtf8().c_str(), (folder + "/hard.tga").c_str()), 0);
  const CString copy = dir.Write("copy.tga", {1, 2, 3});
  EXPECT_TRUE(KvIsSameFile(
      file,
      CString::FromUtf8(folder + "/./../" + folder.substr(folder.rfind('/') + 1) + "/标题.Tga")));
  EXPECT_TRUE(KvIsSameFile(file, CString::FromUtf8(folder + "/hard.tga")));
  EXPECT_FALSE(KvIsSameFile(file, copy));
  EXPECT_FALSE(KvIsSameFile(file, CString::FromUtf8(folder + "/missing.tga")));
  EXPECT_FALSE(KvIsSameFile(L"", L""));
  // Why there is no file to read, in place of what an earlier file of the same call said.
  ASSERT_EQ(::mkfifo((folder + "/pipe.tga").c_str(), 0600), 0);
  for (const auto& [name, why] : {std::pair{"/missing.tga", "no such file"},
                                  {"", "is a folder"},
                                  {"/pipe.tga", "not a regular file"}}) {
    KvClearFailure();
    KvFail("truncated: 3 of 18 bytes");
    EXPECT_FALSE(KvRequireFile(CString::FromUtf8(folder + name)));
    EXPECT_EQ(KvLastFailure(), why);
  }
  EXPECT_TRUE(KvRequireFile(file));
  CKvFileName name(file);
  EXPECT_TRUE(name.Exist());
  EXPECT_EQ(name.GetFileName() + L"|" + name.GetFileTitle() + L"|" + name.GetFileExt(),
            L"标题.Tga|标题|.Tga");
  const CString app = KvGetAppModulePath();
  EXPECT_EQ(app.Right(1), L"/");
  EXPECT_TRUE(KvDoesDirExist(app));
}

TEST(Thumbnail, MakesBottomUpPaddedRowsAndDrawsThem) {
  // 4 x 2 source: top row red, bottom row blue.
  std::vector<DWORD> src = {0xFFFF0000, 0xFFFF0000, 0xFFFF0000, 0xFFFF0000,
                            0xFF0000FF, 0xFF0000FF, 0xFF0000FF, 0xFF0000FF};
  BYTE* icon = KvGuiMakeIcon(src.data(), CSize(4, 2), CRect(0, 0, 4, 2), CSize(5, 2), 24);
  ASSERT_NE(icon, nullptr);
  EXPECT_EQ(GlobalSize(icon), 16u * 2);  // 5 x 3 bytes padded to 16, two rows
  // Bottom-up: the first stored row is the picture's bottom (blue), the second red.
  EXPECT_EQ(std::vector<BYTE>({icon[0], icon[2], icon[16], icon[16 + 2]}),
            std::vector<BYTE>({255, 0, 0, 255}));
  std::vector<DWORD> canvas(10 * 4, 0);
  CBufferDC dc(canvas.data(), 10, 4);
  EXPECT_TRUE(KvGuiDrawIcon(&dc, CRect(0, 0, 10, 4), icon, CSize(5, 2), 24));
  EXPECT_EQ(canvas[0], 0xFFFF0000u);
  EXPECT_EQ(canvas[9 + 3 * 10], 0xFF0000FFu);
  GlobalFree(icon);
  EXPECT_EQ(KvGuiMakeIcon(src.data(), CSize(4, 2), CRect(10, 10, 20, 20), CSize(8, 8), 24),
            nullptr);
  EXPECT_EQ(KvGuiMakeIcon(nullptr, CSize(4, 2), CRect(0, 0, 4, 2), CSize(8, 8), 24), nullptr);
  EXPECT_EQ(KvGuiMakeIcon(src.data(), CSize(4, 2), CRect(0, 0, 4, 2), CSize(8, 8), 16), nullptr);
}
