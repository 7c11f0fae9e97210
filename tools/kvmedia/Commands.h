// Subcommands of kvmedia register themselves here. Each returns 0 on success, 1 on failure
// (after one line on standard error) and 2 on wrong usage.
#pragma once

#include <string>
#include <vector>

namespace kvtool {

using Args = std::vector<std::string>;

struct Command {
  const char* name;
  const char* summary;  // one line for the command list
  const char* usage;    // the full help text
  int (*run)(const Args& args);
};

struct Registrar {
  explicit Registrar(const Command& command);
};

const std::vector<Command>& AllCommands();

// Reports a failure as one line ("kvmedia: ...") and returns 1.
int Fail(const std::string& message);
// Reports wrong usage with the command's usage text and returns 2.
int Usage(const Command& command, const std::string& message);

}  // namespace kvtool
