#include "TestSupport.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "ByteOut.h"

namespace kvtest {

TempDir::TempDir() {
  std::string pattern = (std::filesystem::temp_directory_path() / "kvtest-XXXXXX").string();
  if (!::mkdtemp(pattern.data())) std::abort();
  m_path = pattern;
}

TempDir::~TempDir() {
  std::error_code ec;
  // Restore write permission that a test may have taken away before removing.
  std::filesystem::permissions(m_path, std::filesystem::perms::owner_all,
                               std::filesystem::perm_options::add, ec);
  std::filesystem::remove_all(m_path, ec);
}

CString TempDir::File(const std::string& name) const {
  return CString::FromUtf8(m_path + "/" + name);
}

CString TempDir::Write(const std::string& name, const std::vector<unsigned char>& bytes) const {
  WriteFileBytes(m_path + "/" + name, bytes);
  return File(name);
}

std::vector<unsigned char> ReadFileBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<unsigned char>(std::istreambuf_iterator<char>(in), {});
}

void WriteFileBytes(const std::string& path, const std::vector<unsigned char>& bytes) {
  // A fixture that was not written would make the test check something else.
  if (!WriteBytes(path, bytes)) ADD_FAILURE() << "cannot write " << path;
}

std::vector<std::string> FileNames(const std::string& dir, const std::string& part) {
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(dir))
    if (entry.path().filename().string().find(part) != std::string::npos)
      names.push_back(entry.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

int FileMode(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 ? static_cast<int>(st.st_mode & 07777) : -1;
}

int InChildAsUser(const std::string& folder, const std::function<bool()>& work) {
  const pid_t pid = ::fork();
  if (pid == 0) {
    if (::geteuid() == 0) {
      constexpr uid_t kNobody = 65534;
      for (const auto& entry : std::filesystem::recursive_directory_iterator(folder))
        if (::lchown(entry.path().c_str(), kNobody, kNobody) != 0) ::_exit(2);
      if (::chown(folder.c_str(), kNobody, kNobody) != 0 || ::setgid(kNobody) != 0 ||
          ::setuid(kNobody) != 0)
        ::_exit(2);
    }
    ::_exit(work() ? 0 : 1);
  }
  int status = 0;
  ::waitpid(pid, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

namespace {
class RecordingProgress : public IKvProgress {
 public:
  explicit RecordingProgress(RecordingUi& ui) : m_ui(ui) { ++m_ui.progressOpen; }
  ~RecordingProgress() override { --m_ui.progressOpen; }
  void SetPercent(int percent) override { m_ui.percents.push_back(percent); }
  void Pump() override { ++m_ui.pumps; }
  bool Cancelled() override {
    return m_ui.cancelAfterPumps >= 0 && m_ui.pumps > m_ui.cancelAfterPumps;
  }

 private:
  RecordingUi& m_ui;
};
}  // namespace

RecordingUi::RecordingUi() : m_previous(KvSetUiServices(this)) {}
RecordingUi::~RecordingUi() { KvSetUiServices(m_previous); }

int RecordingUi::MessageBox(const CString& text, const CString&, UINT type, CWnd*) {
  messages.push_back({text, type});
  return answer != 0 ? answer : KvDefaultButton(type);
}

std::unique_ptr<IKvProgress> RecordingUi::BeginProgress(const CString&, const CString& text, bool,
                                                        bool canCancel, CWnd*) {
  progressTexts.push_back(text);
  progressCancellable.push_back(canCancel);
  return std::make_unique<RecordingProgress>(*this);
}

bool RecordingUi::ChooseFile(const KvFileDialogRequest& request, CString& path) {
  fileRequests.push_back(request);
  path = chosenPath;
  return !chosenPath.IsEmpty();
}

}  // namespace kvtest
