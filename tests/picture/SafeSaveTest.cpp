// The safe writer under the ways a save goes wrong: a read-only target, a symbolic link, a
// long name, a full disk, a failed rename, an interruption.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <memory>

#include "KvMediaFile/KvPicture.h"
#include "MediaChecks.h"
#include "TestSupport.h"
#include "host/Failure.h"
#include "host/SafeSave.h"

namespace fs = std::filesystem;

namespace {

using kvtest::FileNames;
const kvtest::Bytes kOld{'o', 'l', 'd'}, kNew{'n', 'e', 'w', '!'};

bool Save(const std::string& path, const kvtest::Bytes& bytes) {
  SafeFileWriter out(CString::FromUtf8(path));
  return out.Open() && out.Write(bytes.data(), bytes.size()) && out.Commit();
}

// A folder holding the old file `out.tga`.
class SafeSave : public ::testing::Test {
 protected:
  void SetUp() override { kvtest::WriteFileBytes(target, kOld); }
  kvtest::TempDir dir;
  const std::string target = dir.path() + "/out.tga";
};

TEST_F(SafeSave, ARefusedTargetIsLeftAsItWas) {
  // Nobody may write it: refused, for root too.
  ASSERT_EQ(::chmod(target.c_str(), 0444), 0);
  EXPECT_FALSE(Save(target, kNew));
  EXPECT_EQ(KvLastFailure(), std::strerror(EACCES));
  // Through the dispatch the refusal shows the failed-save message.
  kvtest::RecordingUi ui;
  std::vector<DWORD> pixels(4, 0xFF102030u);
  EXPECT_EQ(KvMediaSavePicFile(dir.File("out.tga"), pixels.data(), CSize(2, 2), CRect(0, 0, 2, 2),
                               nullptr),
            0);
  ASSERT_EQ(ui.messages.size(), 1u);
  EXPECT_EQ(ui.messages[0].text, L"保存图像文件出错！");
  EXPECT_EQ(kvtest::ReadFileBytes(target), kOld);
  EXPECT_EQ(kvtest::FileMode(target), 0444);
  // A folder is no file to replace.
  EXPECT_FALSE(Save(dir.path() + "/", kNew));
  EXPECT_EQ(FileNames(dir.path()), std::vector<std::string>{"out.tga"});
}

TEST_F(SafeSave, AReplacedFileKeepsItsModeAndALinkStays) {
  ASSERT_EQ(::chmod(target.c_str(), 0600), 0);
  ASSERT_TRUE(Save(target, kNew));
  EXPECT_EQ(kvtest::FileMode(target), 0600);
  // Through a relative link, and a link to that link: the file at the end is replaced.
  fs::create_directory(dir.path() + "/real");
  kvtest::WriteFileBytes(dir.path() + "/real/pic.tga", kOld);
  fs::create_symlink("real/pic.tga", dir.path() + "/link.tga");
  fs::create_symlink(dir.path() + "/link.tga", dir.path() + "/link2.tga");
  ASSERT_TRUE(Save(dir.path() + "/link2.tga", kNew));
  EXPECT_TRUE(fs::is_symlink(dir.path() + "/link.tga") &&
              fs::is_symlink(dir.path() + "/link2.tga"));
  EXPECT_EQ(kvtest::ReadFileBytes(dir.path() + "/real/pic.tga"), kNew);
  EXPECT_EQ(FileNames(dir.path() + "/real"), std::vector<std::string>{"pic.tga"});
  // A dangling link makes the file it names.
  fs::create_symlink("real/new.tga", dir.path() + "/dangling.tga");
  ASSERT_TRUE(Save(dir.path() + "/dangling.tga", kNew));
  EXPECT_EQ(kvtest::ReadFileBytes(dir.path() + "/real/new.tga"), kNew);
}

TEST_F(SafeSave, AnInterruptionRemovesTheTemporaryFile) {
  {
    SafeFileWriter out(CString::FromUtf8(target));
    ASSERT_TRUE(out.Open());
    ASSERT_TRUE(out.Write(kNew.data(), kNew.size()));
    EXPECT_EQ(FileNames(dir.path()).size(), 2u);  // the temporary file, short-named, beside it
    EXPECT_EQ(out.Path().rfind(dir.path() + "/.kvtmp-", 0), 0u);
    EXPECT_LE(out.Path().size(), dir.path().size() + 14);
    KvRemovePendingTemporaryFiles();
    EXPECT_EQ(FileNames(dir.path()), std::vector<std::string>{"out.tga"});
    EXPECT_FALSE(out.Commit());
  }
  EXPECT_EQ(kvtest::ReadFileBytes(target), kOld);
  // The removed writer gave its place back: as many writers as are tracked at once are all
  // removable.
  std::vector<std::unique_ptr<SafeFileWriter>> writers;
  for (int i = 0; i < 32; ++i) {
    writers.push_back(std::make_unique<SafeFileWriter>(dir.File("w" + std::to_string(i))));
    ASSERT_TRUE(writers.back()->Open());
  }
  KvRemovePendingTemporaryFiles();
  EXPECT_EQ(FileNames(dir.path()), std::vector<std::string>{"out.tga"});
}

// As an ordinary user: root may create files in a read-only folder.
TEST_F(SafeSave, AFolderThatTakesNoNewFileHasItsFilesWrittenInPlace) {
  const auto inPlace = [&] {
    ::chmod(dir.path().c_str(), 0555);
    const bool written = Save(target, kNew) && !Save(dir.path() + "/new.tga", kNew);
    return ::chmod(dir.path().c_str(), 0755) == 0 && written;
  };
  EXPECT_EQ(kvtest::InChildAsUser(dir.path(), inPlace), 0);
  EXPECT_EQ(kvtest::ReadFileBytes(target), kNew);
  EXPECT_EQ(FileNames(dir.path()), std::vector<std::string>{"out.tga"});
}

}  // namespace
