// kvmedia's manual page and bash completion, made from the texts of --help and the option
// tables so that there is one copy of each.
#include <cstdio>
#include <cstring>
#include <set>
#include <string>

#include "Commands.h"

namespace kvtool {

namespace {

// Help text as roff source text: backslashes doubled, '-' a minus sign (as options need), a
// line that would read as a request ('.' or '\'' first) guarded, and with `keepBracketed` the
// spaces inside [...] unbreakable, so that a synopsis breaks between its optional parts.
std::string RoffText(const std::string& line, bool keepBracketed = false) {
  std::string out = line.empty() || (line[0] != '.' && line[0] != '\'') ? "" : "\\&";
  int depth = 0;
  for (const char c : line) {
    depth += c == '[' ? 1 : c == ']' ? -1 : 0;
    if (c == '\\')
      out += "\\e";
    else if (c == '-')
      out += "\\-";
    else if (c == ' ' && keepBracketed && depth > 0)
      out += "\\ ";
    else
      out += c;
  }
  return out;
}

std::size_t Indent(const std::string& line) {
  const std::size_t n = line.find_first_not_of(' ');
  return n == std::string::npos ? line.size() : n;
}

// A help text as the page's text. The help is laid out by hand for a wide terminal; the page
// is filled to the reader's width instead, so that it reads in 80 columns: the usage lines
// become a synopsis with a hanging indent, "  --every N   write every Nth frame only" lines
// (and their indented continuations) tagged paragraphs, the rest paragraphs of prose.
void PrintHelpText(std::FILE* out, const char* text) {
  enum { kNone, kUsage, kProse, kItem } block = kNone;
  for (const char* line = text; *line;) {
    const char* end = std::strchr(line, '\n');
    const std::string s = end ? std::string(line, end) : std::string(line);
    line = end ? end + 1 : line + s.size();
    const std::size_t indent = Indent(s);
    const std::string words = s.substr(indent);
    const std::size_t gap = s.find("  ", indent);
    if (words.empty()) {
      if (block == kUsage) std::fputs(".in\n", out);
      block = kNone;
    } else if (s.starts_with("usage: ") || (block == kUsage && words.starts_with("kvmedia "))) {
      std::fputs(block == kUsage ? ".br\n" : ".PP\n.in +4n\n", out);
      std::fprintf(out, ".ti -4n\n%s\n", RoffText(words, true).c_str());
      block = kUsage;
    } else if (block == kUsage || (block == kItem && indent > 2)) {
      std::fprintf(out, "%s\n", RoffText(words, block == kUsage).c_str());
    } else if (indent == 2 && gap != std::string::npos) {
      // The tag's column as the help has it, so that a list keeps its look.
      const std::size_t column = Indent(s.substr(gap)) + gap;
      std::fprintf(out, ".TP %zun\n%s\n%s\n", column - 2, RoffText(s.substr(2, gap - 2)).c_str(),
                   RoffText(s.substr(column)).c_str());
      block = kItem;
    } else {
      if (block != kProse) std::fputs(".PP\n", out);
      std::fprintf(out, "%s\n", RoffText(words).c_str());
      block = kProse;
    }
  }
  if (block == kUsage) std::fputs(".in\n", out);
}

// Command lines that show the commands at work, each checked by the tests to be one that
// kvmedia takes.
struct Example {
  const char* says;
  const char* line;
};
const Example kExamples[] = {
    {"Describe a picture, a movie and a scroll file, decoding each one fully:",
     "kvmedia info --check title.tga intro.sve credits.ksc"},
    {"Convert one picture, then every TGA picture of a folder into png/, four at a time:",
     "kvmedia convert title.tga title.png\n"
     "kvmedia convert --to png --outdir png -j 4 pictures/*.tga"},
    {"Make a movie of title0000.tga to title0049.tga over the whole HD raster, and play "
     "every fifth frame of it over a background picture:",
     "kvmedia movie make title.tga intro.sve --first 0 --last 49 \\\n"
     "    --digits 4 --rect 0,0,1920,1080\n"
     "kvmedia movie frames intro.sve frames --every 5 \\\n"
     "    --background back.png --mix 0"},
    {"Make a movie of a designer's clip with alpha (every frame of it, over the raster's "
     "top-left corner), and export a movie for an editing system as ProRes 4444 at 50 fps:",
     "kvmedia movie make sting.mov sting.sve\n"
     "kvmedia movie export intro.sve intro.mov --codec prores4444 --fps 50"},
    {"Make a roll that moves up, and play 25 frames of it:",
     "kvmedia scroll make credits.tga credits.ksc --direction up\n"
     "kvmedia scroll frames credits.ksc frames --frames 25 --force"},
    {"Scale a logo to 320 x 180, and list the TGA and PNG pictures of a folder with a "
     "contact sheet:",
     "kvmedia zoom logo.png small.png --size 320x180\n"
     "kvmedia catalog pictures --types tga,png --contact-sheet sheet.png"},
};

// The words bash offers for an option table, with -q, --help and --standard that every
// command takes.
std::set<std::string> OptionWords(const Options& options) {
  std::set<std::string> words{"-q", "--help", "--standard"};
  for (const Option& o : options) words.insert(o.name);
  return words;
}

std::string Joined(const std::set<std::string>& words) {
  std::string s;
  for (const std::string& w : words) s += (s.empty() ? "" : " ") + w;
  return s;
}

}  // namespace

void PrintManPage(std::FILE* out, const char* version) {
  // Not justified nor hyphenated: option names and file names stay whole.
  std::fprintf(out,
               ".\\\" Made by 'kvmedia --man' from the tool's own help texts.\n"
               ".TH KVMEDIA 1 \"\" \"kvmedia %s\" \"User Commands\"\n"
               ".ad l\n"
               ".nh\n"
               ".SH NAME\n"
               "kvmedia \\- %s\n"
               ".SH SYNOPSIS\n"
               ".B kvmedia\n"
               "[\\-\\-standard sd|hd|uhd]\n"
               ".I COMMAND\n"
               "[\\fIARGS\\fR...]\n"
               ".br\n"
               ".B kvmedia\n"
               "\\-\\-help | \\-\\-version | \\-\\-man | \\-\\-bash\\-completion\n"
               ".SH DESCRIPTION\n",
               version, RoffText(kToolSummary).c_str());
  PrintHelpText(out, kToolNotes);
  std::fputs(".SH COMMANDS\n", out);
  for (const Command& c : AllCommands()) {
    std::fprintf(out, ".SS %s\n%s\n", c.name, RoffText(c.summary).c_str());
    PrintHelpText(out, HelpText(c).c_str());
  }
  std::fputs(
      ".SH EXIT STATUS\n"
      ".TP 5n\n0\nSuccess.\n"
      ".TP\n1\nFailure, after one line on standard error; or, in a batch, some of the files"
      " were refused.\n"
      ".TP\n2\nWrong usage, after one line on standard error.\n"
      ".TP\n130\nInterrupted (Ctrl\\-C or SIGTERM); temporary and partial files are"
      " removed.\n"
      ".SH ENVIRONMENT\n"
      ".TP\n.B KV_MAX_PICTURE_BYTES\n"
      "The largest picture, in bytes of its 32\\-bit pixels, that a command loads, makes or"
      " plays (default 1073741824, 1 GiB); a larger one is refused before memory is taken."
      " A value that is not a whole number from 1 is a usage error (exit status 2).\n"
      ".TP\n.B KVMEDIA_IMG_DIR\n"
      "The folder where the library looks for its background pictures (BackGray.bmp,"
      " BackWhite.bmp and their HD and UHD forms) when a program draws a picture over one. No "
      "kvmedia"
      " command does, so it changes nothing here.\n"
      ".SH EXAMPLES\n",
      out);
  for (const Example& e : kExamples)
    std::fprintf(out, ".PP\n%s\n.PP\n.RS 4\n.nf\n%s\n.fi\n.RE\n", RoffText(e.says).c_str(),
                 RoffText(e.line).c_str());
  std::fputs(".SH SEE ALSO\n.BR kvmedia\\-browse (1)\n", out);
}

// The completion finds the subcommand (the first word after the command that is not an
// option: -q and --help may come before it) and the option whose value is being typed ("--mix
// 1", or "--mix=1", which bash splits at '='): a value from the option's set, or a file name.
void PrintBashCompletion(std::FILE* out) {
  std::set<std::string> names;
  for (const Command& c : AllCommands()) names.insert(c.name);
  std::fprintf(
      out,
      "# bash completion for kvmedia, made by 'kvmedia --bash-completion'.\n"
      "_kvmedia() {\n"
      "  local cur=${COMP_WORDS[COMP_CWORD]} prev=${COMP_WORDS[COMP_CWORD-1]}\n"
      "  local command=${COMP_WORDS[1]} sub='' subs='' opt='' words='' valued=' '"
      " values='' lead='' i\n"
      "  if [ \"$COMP_CWORD\" -eq 1 ]; then\n"
      "    COMPREPLY=($(compgen -W '%s --help --version --man --standard --bash-completion'"
      " -- \"$cur\"))\n"
      "    return\n"
      "  fi\n"
      "  for ((i = 2; i < COMP_CWORD; i++)); do\n"
      "    [ \"${COMP_WORDS[i]}\" = -- ] && return  # file names only\n"
      "  done\n"
      "  if [ \"$cur\" = = ]; then\n"
      "    opt=$prev cur=''\n"
      "  elif [ \"$prev\" = = ] && [ \"$COMP_CWORD\" -ge 3 ]; then\n"
      "    opt=${COMP_WORDS[COMP_CWORD-2]}\n"
      "  elif [[ $cur == --*=* ]]; then  # '=' taken out of COMP_WORDBREAKS\n"
      "    opt=${cur%%%%=*} lead=${cur%%%%=*}= cur=${cur#*=}\n"
      "  else\n"
      "    opt=$prev\n"
      "  fi\n"
      "  case $command in\n",
      Joined(names).c_str());
  for (const Command& c : AllCommands()) {
    if (c.subcommands.empty()) continue;
    std::set<std::string> subs;
    for (const Subcommand& s : c.subcommands) subs.insert(s.name);
    std::fprintf(out, "    %s) subs='%s' ;;\n", c.name, Joined(subs).c_str());
  }
  std::fputs(
      "  esac\n"
      "  if [ -n \"$subs\" ]; then\n"
      "    for ((i = 2; i < COMP_CWORD; i++)); do\n"
      "      [[ ${COMP_WORDS[i]} != -* ]] && sub=${COMP_WORDS[i]} && break\n"
      "    done\n"
      "  fi\n"
      "  case $command/$sub in\n",
      out);
  // Options come from the tables main checks them against.
  const auto table = [out](const std::string& key, const Options& options) {
    std::string valued = " --standard ";
    for (const Option& o : options)
      if (o.takesValue()) valued += std::string(o.name) + " ";
    std::fprintf(out, "    %s) words='%s' valued='%s'\n", key.c_str(),
                 Joined(OptionWords(options)).c_str(), valued.c_str());
    std::string sets = " --standard) values='sd hd uhd' ;;";
    for (const Option& o : options)
      if (o.values) sets += std::string(" ") + o.name + ") values='" + o.values + "' ;;";
    std::fprintf(out, "      case $opt in%s esac\n", sets.c_str());
    std::fputs("      ;;\n", out);
  };
  for (const Command& c : AllCommands()) {
    if (c.subcommands.empty()) {
      table(std::string(c.name) + "/", c.options);
      continue;
    }
    std::fprintf(out, "    %s/) words='-q --help' ;;\n", c.name);
    for (const Subcommand& s : c.subcommands) table(std::string(c.name) + "/" + s.name, s.options);
  }
  std::fputs(
      "  esac\n"
      "  if [[ $valued == *\" $opt \"* ]]; then\n"
      "    [ -n \"$values\" ] || return  # any value: bash's own completion\n"
      "    # In a comma-separated list, the item after the last comma.\n"
      "    local before=$lead\n"
      "    [[ $cur == *,* ]] && before+=${cur%,*},\n"
      "    COMPREPLY=($(compgen -P \"$before\" -W \"$values\" -- \"${cur##*,}\"))\n"
      "    return\n"
      "  fi\n"
      "  if [ -n \"$subs\" ] && [ -z \"$sub\" ] && [[ $cur != -* ]]; then\n"
      "    words=$subs\n"
      "  elif [[ $cur != -* ]]; then\n"
      "    return  # a file name: bash's own completion\n"
      "  fi\n"
      "  COMPREPLY=($(compgen -W \"$words\" -- \"$cur\"))\n"
      "}\n"
      "complete -o bashdefault -o default -F _kvmedia kvmedia\n",
      out);
}

}  // namespace kvtool
