// Subcommands of kvmedia register themselves here. Each returns 0 on success, 1 on failure
// (after one line on standard error) and 2 on wrong usage.
#pragma once

#include <cstdio>
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

// The line under kvmedia's usage, and the notes after its list of commands.
extern const char* const kToolSummary;
extern const char* const kToolNotes;

// The manual page (roff) and the bash completion script, made from the texts above and the
// commands' own.
void PrintManPage(std::FILE* out, const char* version);
void PrintBashCompletion(std::FILE* out);

// Flushes standard output; a write that failed there turns `status` into 1, with a message.
int FinishOutput(int status);

// Reports a failure as one line ("kvmedia: ...") and returns 1.
int Fail(const std::string& message);
// Reports wrong usage with the command's usage text and returns 2.
int Usage(const Command& command, const std::string& message);

}  // namespace kvtool
