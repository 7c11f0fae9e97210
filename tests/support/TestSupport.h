// Helpers shared by the test suites.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "host/UiServices.h"
#include "platform/String.h"

namespace kvtest {

// A fresh folder under the system's temporary folder, removed with its content at the end.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::string& path() const { return m_path; }
  // The path of a file in the folder, as the library takes it.
  CString File(const std::string& name) const;
  // Writes `bytes` as the file `name` in the folder and gives its path, as File does.
  CString Write(const std::string& name, const std::vector<unsigned char>& bytes) const;

 private:
  std::string m_path;
};

std::vector<unsigned char> ReadFileBytes(const std::string& path);
void WriteFileBytes(const std::string& path, const std::vector<unsigned char>& bytes);
// The sorted names in a folder that hold `part`.
std::vector<std::string> FileNames(const std::string& dir, const std::string& part = "");
// A file's permission bits, or -1 when there is no such file.
int FileMode(const std::string& path);
// Runs `work` in a child process that, when the tests run as root, has become an ordinary user
// owning `folder` and what it holds, so that their permissions hold. The child's exit status:
// 0 when `work` gave true, 1 when false, 2 when it could not become that user.
int InChildAsUser(const std::string& folder, const std::function<bool()>& work);

// Records what the library shows and answers as told; installed for its lifetime.
class RecordingUi : public IKvUiServices {
 public:
  RecordingUi();
  ~RecordingUi() override;

  int MessageBox(const CString& text, const CString& caption, UINT type, CWnd* parent) override;
  std::unique_ptr<IKvProgress> BeginProgress(const CString& title, const CString& text,
                                             bool showPercent, bool canCancel,
                                             CWnd* parent) override;
  bool ChooseFile(const KvFileDialogRequest& request, CString& path) override;

  struct Message {
    CString text;
    UINT type;
  };
  std::vector<Message> messages;
  std::vector<CString> progressTexts;
  std::vector<bool> progressCancellable;  // what each progress was told: can it be cancelled
  std::vector<int> percents;
  std::vector<KvFileDialogRequest> fileRequests;
  int progressOpen = 0;
  // Answers: the button for message boxes (0: the box's default), the file dialog's path
  // (empty: cancelled), and the frame count after which progress reports a cancel (-1:
  // never).
  int answer = 0;
  CString chosenPath;
  int cancelAfterPumps = -1;
  int pumps = 0;

 private:
  IKvUiServices* m_previous;
};

}  // namespace kvtest
