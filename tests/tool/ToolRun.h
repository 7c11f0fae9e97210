// kvmedia run as its users run it, in a folder of the test's, and the table of command lines
// that the tool's tests share: each line's exit status, what it says, and the file it must
// leave as it was.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <iterator>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "KvMediaFile/KvPicture.h"
#include "MediaChecks.h"
#include "ProgramRun.h"
#include "TestSupport.h"

namespace kvtest {

inline bool Has(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

inline std::vector<std::string> Words(const std::string& line) {
  std::istringstream words(line);
  return {std::istream_iterator<std::string>(words), {}};
}

struct CommandLine {
  std::string line;  // the arguments, between spaces
  int status;
  std::string says;             // in standard output or error
  std::string kept = {};        // a file whose bytes the run leaves as they were
  const char* limit = nullptr;  // KV_MAX_PICTURE_BYTES for the run
};

class ToolFolder {
 public:
  const std::string& path() const { return m_dir.path(); }
  std::string Path(const std::string& name) const { return m_dir.path() + "/" + name; }
  ProgramResult Run(const std::vector<std::string>& args, ProgramOptions options = {}) const {
    options.folder = m_dir.path();
    return RunProgram(KVMEDIA_PATH, args, options);
  }
  int Status(const std::vector<std::string>& args) const { return Run(args).status; }
  // The words of `line`, split at spaces.
  ProgramResult Line(const std::string& line, ProgramOptions options = {}) const {
    return Run(Words(line), options);
  }
  ProgramResult Shell(const std::string& command) const {
    return RunProgram("/bin/bash", {"-c", command}, {.folder = m_dir.path()});
  }
  // Through a terminal (script(1)), where progress lines are drawn.
  ProgramResult OnTerminal(const std::string& args) const {
    return RunProgram("/usr/bin/script", {"-qec", KVMEDIA_PATH " " + args, "/dev/null"},
                      {.folder = m_dir.path()});
  }
  // What bash offers after the words given, the last one being completed.
  std::string Complete(const std::string& words) const {
    if (!std::filesystem::exists(Path("completion.bash"))) {
      const std::string script = Run({"--bash-completion"}).out;
      WriteFileBytes(Path("completion.bash"), {script.begin(), script.end()});
    }
    const std::string offered =
        Shell(". ./completion.bash; COMP_WORDS=(kvmedia " + words +
              "); COMP_CWORD=$((${#COMP_WORDS[@]} - 1)); _kvmedia; echo \"${COMPREPLY[*]}\"")
            .out;
    return offered.substr(0, offered.find('\n'));
  }
  std::optional<Picture> Load(const std::string& name) const {
    CRect rect;
    return TakePicture(KvMediaLoadPicFile(CString::FromUtf8(Path(name)), rect), rect, rect);
  }
  Bytes Read(const std::string& name) const { return ReadFileBytes(Path(name)); }
  void Write(const std::string& name, const Bytes& bytes) const { m_dir.Write(name, bytes); }
  std::vector<std::string> Files(const std::string& folder, const std::string& part = "") const {
    return FileNames(Path(folder), part);
  }

  // Every line ends as its row says; a usage mistake (2) is one line on standard error alone,
  // the tool's name first.
  void Expect(const std::vector<CommandLine>& rows) const {
    for (const CommandLine& row : rows) {
      SCOPED_TRACE(row.line);
      const Bytes before = row.kept.empty() ? Bytes{} : Read(row.kept);
      if (row.limit) setenv("KV_MAX_PICTURE_BYTES", row.limit, 1);
      const ProgramResult r = Run(Words(row.line));
      unsetenv("KV_MAX_PICTURE_BYTES");
      EXPECT_EQ(r.status, row.status) << r.out << r.err;
      // What works may say so on either stream; a refusal says why on standard error.
      EXPECT_TRUE(Has(row.status == 0 ? r.out + r.err : r.err, row.says))
          << row.says << ": " << r.out << r.err;
      // A usage mistake or a refusal is one line of its own (no notes of the libraries).
      if (row.status != 0) {
        EXPECT_TRUE(r.err.starts_with("kvmedia: ")) << r.err;
        EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
      }
      if (row.status == 2) {
        EXPECT_EQ(r.out, "");
      }
      if (!row.kept.empty()) {
        EXPECT_EQ(Read(row.kept), before) << row.kept;
      }
    }
  }

 private:
  TempDir m_dir;
};

// The tests of a suite share one folder, made by the suite's SetUpTestSuite.
class SharedToolFolder : public ::testing::Test {
 protected:
  static void TearDownTestSuite() { delete s_tool; }
  static ProgramResult Run(const std::vector<std::string>& args, ProgramOptions options = {}) {
    return s_tool->Run(args, options);
  }
  static ProgramResult Line(const std::string& line, ProgramOptions options = {}) {
    return s_tool->Line(line, options);
  }
  static int Status(const std::string& line) { return Line(line).status; }
  static std::string Path(const std::string& name) { return s_tool->Path(name); }
  static std::optional<Picture> Load(const std::string& name) { return s_tool->Load(name); }
  static inline ToolFolder* s_tool = nullptr;
};

}  // namespace kvtest
