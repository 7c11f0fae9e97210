// Runs a built program as its users run it: in a folder, with its standard output and error
// caught, optionally interrupted (SIGINT) part-way or given a file-size limit.
#pragma once

#include <sys/resource.h>
#include <sys/types.h>

#include <functional>
#include <string>
#include <vector>

namespace kvtest {

struct ProgramResult {
  int status = -1;  // the exit status, or 128 + the signal that ended it
  std::string out, err;
};

struct ProgramOptions {
  std::string folder{};                        // where it runs (empty: here)
  std::function<bool(pid_t)> interruptWhen{};  // polled; SIGINT is sent once it holds
  rlim_t fileSizeLimit = RLIM_INFINITY;
  std::string stdoutPath{};  // instead of the file that ProgramResult::out is read from
};

// An interruption asked for but not made (the program ended first) is a test failure, as is a
// run of more than two minutes (stretched in instrumented builds), which is then killed.
ProgramResult RunProgram(const char* program, const std::vector<std::string>& args,
                         const ProgramOptions& options = {});

}  // namespace kvtest
