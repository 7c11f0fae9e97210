// The option tables at work: the values of options read once as a table says (main walks
// the words), and the help's option lines written from it.
#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <string>

#include "Commands.h"
#include "ToolSupport.h"

namespace kvtool {

namespace {

// "WxH", both above 0.
bool ReadSize(const std::string& text, int parts[4]) {
  const auto x = text.find_first_of("xX");
  if (x == std::string::npos) return false;
  const std::string sides[2] = {text.substr(0, x), text.substr(x + 1)};
  for (int i = 0; i < 2; ++i) {
    char* end = nullptr;
    errno = 0;
    const long v = std::strtol(sides[i].c_str(), &end, 10);
    if (sides[i].empty() || errno != 0 || *end != '\0' || v <= 0 || v > INT32_MAX) return false;
    parts[i] = static_cast<int>(v);
  }
  return true;
}

// "R,G,B" of values 0 to 255.
bool ReadColour(const std::string& text, int parts[4]) {
  char end = 0;
  if (std::sscanf(text.c_str(), "%d,%d,%d%c", &parts[0], &parts[1], &parts[2], &end) != 3)
    return false;
  for (int i = 0; i < 3; ++i)
    if (parts[i] < 0 || parts[i] > 255) return false;
  return true;
}

bool ReadRegion(const std::string& text, int parts[4]) {
  const std::optional<CRect> r = ParseRegion(text);
  if (!r) return false;
  parts[0] = r->left;
  parts[1] = r->top;
  parts[2] = r->Width();
  parts[3] = r->Height();
  return true;
}

// The place of the value among the option's words (kChoice: or the place itself), or -1.
long ReadChoice(const Option& o, const std::string& text) {
  std::istringstream values(o.values);
  long place = 0;
  for (std::string word; values >> word; ++place)
    if (text == word || (o.kind == Kind::kChoice && text == std::to_string(place))) return place;
  return -1;
}

bool ReadWhole(const Option& o, Parsed::Given& g) {
  const std::optional<double> n = ParseNumber(g.text);
  // The range first: a number beyond a long's is no whole number here.
  if (!n || !(*n >= o.least && *n <= o.most) || *n != static_cast<double>(static_cast<long>(*n)))
    return false;
  g.number = *n;
  return true;
}

}  // namespace

std::string ReadValue(Parsed::Given& g) {
  const Option& o = *g.option;
  const std::string refused = std::string(o.name) + " " + (o.refusal ? o.refusal : "");
  switch (o.kind) {
    case Kind::kSwitch:
      return "";
    case Kind::kText:
      return o.refusal && g.text.empty() ? refused : "";
    case Kind::kInteger:
      return ReadWhole(o, g) ? ""
                             : std::string(o.name) + " takes a whole number from " +
                                   std::to_string(static_cast<long>(o.least)) + " to " +
                                   std::to_string(static_cast<long>(o.most));
    case Kind::kNumber: {
      const std::optional<double> n = ParseNumber(g.text);
      if (!n) return std::string(o.name) + " takes a number";
      if (o.refusal && !(*n >= o.least && *n <= o.most)) return refused;
      g.number = *n;
      return "";
    }
    case Kind::kRegion:
      return ReadRegion(g.text, g.parts) ? "" : refused;
    case Kind::kPoint:
      return ReadRegion(g.text + ",1,1", g.parts) ? "" : refused;
    case Kind::kSize:
      return ReadSize(g.text, g.parts) ? "" : refused;
    case Kind::kColour:
      return ReadColour(g.text, g.parts) ? "" : refused;
    case Kind::kWord:
    case Kind::kChoice:
      g.number = static_cast<double>(ReadChoice(o, g.text));
      return g.number >= 0 ? "" : refused;
  }
  return refused;
}

const Parsed::Given* Parsed::Last(const char* name) const {
  const Given* last = nullptr;
  for (const Given& g : given)
    if (std::string(g.option->name) == name) last = &g;
  return last;
}

std::optional<std::string> Parsed::Text(const char* name) const {
  const Given* g = Last(name);
  return g ? std::optional(g->text) : std::nullopt;
}

std::optional<double> Parsed::Number(const char* name) const {
  const Given* g = Last(name);
  return g ? std::optional(g->number) : std::nullopt;
}

std::optional<long> Parsed::Integer(const char* name) const {
  const Given* g = Last(name);
  return g ? std::optional(static_cast<long>(g->number)) : std::nullopt;
}

std::optional<CRect> Parsed::Region(const char* name) const {
  const Given* g = Last(name);
  if (!g) return std::nullopt;
  const int* p = g->parts;
  return CRect(p[0], p[1], p[0] + p[2], p[1] + p[3]);
}

std::optional<CPoint> Parsed::Point(const char* name) const {
  const Given* g = Last(name);
  return g ? std::optional(CPoint(g->parts[0], g->parts[1])) : std::nullopt;
}

std::optional<CSize> Parsed::Size(const char* name) const {
  const Given* g = Last(name);
  return g ? std::optional(CSize(g->parts[0], g->parts[1])) : std::nullopt;
}

std::optional<CKvColor32> Parsed::Colour(const char* name) const {
  const Given* g = Last(name);
  if (!g) return std::nullopt;
  const int* p = g->parts;
  return CKvColor32(static_cast<BYTE>(p[0]), static_cast<BYTE>(p[1]), static_cast<BYTE>(p[2]), 0);
}

namespace {

// "  --every N        write every Nth frame only", continuation lines under the first.
void AppendOption(std::string& out, const Option& o, std::size_t column) {
  std::string tag = std::string("  ") + o.name + (o.arg ? std::string(" ") + o.arg : "");
  tag.resize(std::max(tag.size() + 2, column), ' ');
  out += tag;
  for (const char* p = o.help; *p; ++p)
    out += *p == '\n' ? "\n" + std::string(column, ' ') : std::string(1, *p);
  out += '\n';
}

}  // namespace

std::string HelpText(const Command& command) {
  std::vector<const Options*> tables{&command.options};
  for (const Subcommand& s : command.subcommands) tables.push_back(&s.options);
  std::string out;
  for (const char* p = command.usage; *p; ++p) {
    if (*p < '\x01' || *p > '\x03') {
      out += *p;
      continue;
    }
    const int block = *p++;  // and its line's end
    for (const Options* table : tables)
      for (const Option& o : *table)
        if (o.help && o.block == block)
          AppendOption(out, o, static_cast<std::size_t>(command.helpColumn));
  }
  return out;
}

}  // namespace kvtool
