// Subcommands of kvmedia register themselves here. Each returns 0 on success, 1 on failure
// (after one line on standard error) and 2 on wrong usage.
#pragma once

#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "host/Color.h"
#include "platform/Geometry.h"

namespace kvtool {

// What an option's value is. The parser checks it before the command runs, so that a command
// reads values already in range.
enum class Kind {
  kSwitch,   // no value
  kText,     // any word; with `refusal`, an empty one is refused ("--types needs a value")
  kInteger,  // a whole number from `least` to `most` ("1e3" is 1000, as strtod reads it)
  kNumber,   // any number; with `refusal`, one from `least` to `most`
  kRegion,   // X,Y,W,H with W and H above 0
  kPoint,    // X,Y
  kSize,     // WxH with W and H above 0
  kColour,   // R,G,B, each 0 to 255
  kWord,     // one of `values`, as written
  kChoice,   // one of `values`, or its place among them counted from 0
};

// An option a command takes: "--every" with a value ("--every 2" or "--every=2"), or a switch.
// `values` lists, space-separated, the words a value is one of (or, for a comma-separated
// list, each item), for the parser of a kWord or kChoice and for the bash completion; null
// when any value goes. A value refused reads "NAME REFUSAL" ("--size takes WxH ..."); an
// integer's refusal says its range. The help lists an option with `help` (its lines joined
// by '\n'), after its name and `arg` ("--every N"), where the command's help text has the
// mark of its `block`; the prose describes the others.
struct Option {
  const char* name = nullptr;
  Kind kind = Kind::kSwitch;
  const char* refusal = nullptr;
  const char* values = nullptr;
  double least = 0, most = 0;
  const char* arg = nullptr;
  const char* help = nullptr;
  int block = 1;
  bool takesValue() const { return kind != Kind::kSwitch; }
};
using Options = std::vector<Option>;

// A command line as the option table reads it: the words that are not options (file names,
// in order; those after "--" among them) and each option given, with its value checked.
class Parsed {
 public:
  struct Given {
    const Option* option = nullptr;
    std::string text;
    double number = 0;  // of a kInteger, kNumber or kChoice (its place)
    int parts[4] = {};  // of a kRegion, kPoint, kSize or kColour, in the order written
  };
  std::vector<std::string> words;
  std::vector<Given> given;

  bool Has(const char* name) const { return Last(name) != nullptr; }
  // The value of the option's last use (a later one overrides), or nullopt when not given.
  std::optional<std::string> Text(const char* name) const;
  std::optional<double> Number(const char* name) const;
  std::optional<long> Integer(const char* name) const;
  std::optional<CRect> Region(const char* name) const;
  std::optional<CPoint> Point(const char* name) const;
  std::optional<CSize> Size(const char* name) const;
  std::optional<CKvColor32> Colour(const char* name) const;

 private:
  const Given* Last(const char* name) const;
};

// Reads the value of `given` as its option's kind says, into its fields: "" when it is one,
// else the usage mistake.
std::string ReadValue(Parsed::Given& given);

// A word after the command that picks what it does ("movie make"), with its own options.
struct Subcommand {
  const char* name;
  Options options;
  int (*run)(const Parsed& args);
};

// main parses the words after the command with its table (or its subcommand's) before `run`
// sees them: an unknown option, a missing value, a value given to a switch or a value of the
// wrong kind is a usage mistake, with the nearest name as a hint for an unknown one. -q and
// --help are every command's.
struct Command {
  const char* name;
  const char* summary;  // one line for the command list
  // The help text; a line of KV_OPTION_BLOCK1, 2 or 3 stands for the options of that block, each "
  // --every N" with its help from column `helpColumn` on.
  const char* usage;
  int (*run)(const Parsed& args);  // of a command without subcommands
  Options options = {};
  std::vector<Subcommand> subcommands = {};
  int helpColumn = 0;
};

#define KV_OPTION_BLOCK1 "\x01\n"
#define KV_OPTION_BLOCK2 "\x02\n"
#define KV_OPTION_BLOCK3 "\x03\n"

// The command's help text with its options listed.
std::string HelpText(const Command& command);

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
// Reports wrong usage as one line with a pointer to the help ("kvmedia: MESSAGE. See
// 'kvmedia movie make --help'.") and returns 2.
int Usage(const Command& command, const std::string& message);

// The word of `candidates` nearest to `word` (a typing slip away: edit distance at most 1,
// or 2 for words of five letters or more, leading dashes aside), or "" when none is near.
std::string Nearest(const std::string& word, const std::vector<std::string>& candidates);

}  // namespace kvtool
