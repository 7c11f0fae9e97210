#include "ProgramRun.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <thread>

#include "MediaChecks.h"
#include "TestSupport.h"

namespace kvtest {

ProgramResult RunProgram(const char* program, const std::vector<std::string>& args,
                         const ProgramOptions& options) {
  const TempDir io;
  const std::string out = io.path() + "/out", err = io.path() + "/err";
  const std::string outTo = options.stdoutPath.empty() ? out : options.stdoutPath;
  const pid_t pid = ::fork();
  if (pid == 0) {
    const rlimit limit{options.fileSizeLimit, RLIM_INFINITY};
    if ((!options.folder.empty() && ::chdir(options.folder.c_str()) != 0) ||
        ::setrlimit(RLIMIT_FSIZE, &limit) != 0 || !std::freopen(outTo.c_str(), "w", stdout) ||
        !std::freopen(err.c_str(), "w", stderr))
      ::_exit(99);
    std::vector<char*> argv{const_cast<char*>(program)};
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    ::execv(program, argv.data());
    ::_exit(98);
  }
  const auto deadline = std::chrono::steady_clock::now() + TimeLimit(std::chrono::minutes(2));
  bool interrupted = false;
  int status = 0;
  while (::waitpid(pid, &status, WNOHANG) == 0) {
    if (!interrupted && options.interruptWhen && options.interruptWhen(pid))
      interrupted = ::kill(pid, SIGINT) == 0;
    if (std::chrono::steady_clock::now() > deadline) {
      ::kill(pid, SIGKILL);
      ADD_FAILURE() << program << " took too long";
    }
    std::this_thread::sleep_for(std::chrono::microseconds(500));
  }
  EXPECT_EQ(interrupted, bool(options.interruptWhen)) << "finished before it was interrupted";
  const auto text = [](const std::string& path) {
    const auto bytes = ReadFileBytes(path);
    return std::string(bytes.begin(), bytes.end());
  };
  return {WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status), text(out), text(err)};
}

}  // namespace kvtest
