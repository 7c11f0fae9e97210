// kvmedia catalog FOLDER [--types tga,bmp,...] [--json] [--contact-sheet OUT.png]: the
// pictures of a folder as the picture panel lists them, through the folder's catalogue.
#include <dirent.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "Commands.h"
#include "ContactSheet.h"
#include "KvMediaFile/KvClipMedia.h"
#include "KvMediaFile/KvPicture.h"
#include "PngWriter.h"
#include "Progress.h"
#include "ToolSupport.h"
#include "host/FileName.h"
#include "platform/Paths.h"

namespace kvtool {

extern const Command kCatalogCommand;

namespace {

constexpr const wchar_t* kCatalogName = L"PicMedia.pmf";

// The files of FOLDER that listing it reads, which a contact sheet may not replace: those of
// the listed types (any file, when a type holds a wildcard) and the catalogue.
std::vector<std::string> ListedFiles(const std::string& folder, const std::string& types) {
  std::vector<std::string> extensions;
  bool wildcard = false;
  for (std::size_t start = 0;;) {
    const std::size_t comma = types.find(',', start);
    std::string ext = "." + types.substr(start, comma - start);
    wildcard = wildcard || ext.find_first_of("*?[") != std::string::npos;
    extensions.push_back(LowerExtension(ext));
    if (comma == std::string::npos) break;
    start = comma + 1;
  }
  std::vector<std::string> files;
  DIR* dir = ::opendir(folder.c_str());
  if (!dir) return files;
  const std::string catalogue = CString(kCatalogName).ToUtf8();
  while (const dirent* entry = ::readdir(dir)) {
    const std::string name = entry->d_name;
    if (name == "." || name == "..") continue;
    if (wildcard || name == catalogue ||
        std::find(extensions.begin(), extensions.end(), LowerExtension(name)) != extensions.end())
      files.push_back(folder + "/" + name);
  }
  ::closedir(dir);
  return files;
}

// What listing a folder gave: its pictures in order, how each stands with the catalogue, the
// files left out (name, reason) and the report.
struct Listing {
  CKvObList list;
  std::vector<const CKvClipMedia*> items;
  std::map<const CKvClipMedia*, EKvClipState> states;
  std::vector<std::pair<std::string, std::string>> leftOut;
  SKvFetchReport report;
  std::string catalogue;  // what became of it, in a word
};

// Lists FOLDER through its catalogue with a progress line; false when Ctrl-C stopped it.
bool Fetch(const std::string& folder, const std::string& types, Listing& out) {
  const CString path = PathArg(folder);
  std::unique_ptr<Progress> progress;
  SKvFetchOptions options;
  options.onRecord = [&](const CKvClipMedia& record, EKvClipState state, const CString& reason) {
    if (state == EKvClipState::kUnreadable)
      out.leftOut.emplace_back(record.GetPureFileName().ToUtf8(), reason.ToUtf8());
    else
      out.states[&record] = state;
  };
  options.onProgress = [&](int done, int total) {
    if (!progress)
      progress = std::make_unique<Progress>("thumbnails of " + folder, total, "pictures");
    progress->Set(done);
    return !CancelRequested();
  };
  {
    const CancelOnInterrupt cancel;
    KvMediaFetchValidFileEx(&out.list, path, KvJoinPath(path, kCatalogName), PathArg(types),
                            options, &out.report);
    progress.reset();
  }
  if (out.report.cancelled) return false;
  for (POSITION pos = out.list.GetHeadPosition(); pos;)
    out.items.push_back(static_cast<const CKvClipMedia*>(out.list.GetNext(pos)));
  const SKvFetchReport& report = out.report;
  out.catalogue = report.catalogCurrent   ? "unchanged"
                  : report.catalogStored  ? "stored"
                  : report.catalogRemoved ? "removed"
                  : out.items.empty()     ? "none"
                                          : "not stored";
  return true;
}

// A picture's line (or JSON object).
Record PictureRecord(const Listing& listing, const CKvClipMedia& m) {
  Record r(m.GetPureFileName().ToUtf8());
  r.Number("width", m.GetPicSize().cx);
  r.Number("height", m.GetPicSize().cy);
  r.Number("bits", m.GetBits());
  r.Number("file_size", static_cast<long long>(m.GetFileSize()));
  const auto state = listing.states.find(&m);
  r.Text("catalogue",
         KvClipStateName(state != listing.states.end() ? state->second : EKvClipState::kNew));
  return r;
}

void PrintJson(const std::string& folder, const Listing& listing) {
  std::printf("{\"folder\": %s,\n \"pictures\": [", JsonString(folder).c_str());
  for (std::size_t i = 0; i < listing.items.size(); ++i)
    std::printf("%s\n  %s", i ? "," : "",
                PictureRecord(listing, *listing.items[i]).AsJson().c_str());
  std::printf("\n ],\n \"left_out\": [");
  for (std::size_t i = 0; i < listing.leftOut.size(); ++i) {
    Record r(listing.leftOut[i].first);
    r.Fail(listing.leftOut[i].second);
    std::printf("%s\n  %s", i ? "," : "", r.AsJson().c_str());
  }
  const SKvFetchReport& report = listing.report;
  std::printf("\n ],\n \"catalogue\": %s", JsonString(listing.catalogue).c_str());
  if (!report.notStoredReason.IsEmpty())
    std::printf(", \"not_stored_reason\": %s", JsonString(report.notStoredReason.ToUtf8()).c_str());
  if (!report.catalogRefused.IsEmpty())
    std::printf(", \"old_catalogue_refused\": %s",
                JsonString(report.catalogRefused.ToUtf8()).c_str());
  std::printf("}\n");
}

void PrintText(const Listing& listing) {
  for (const CKvClipMedia* m : listing.items)
    std::printf("%s\n", PictureRecord(listing, *m).AsText().c_str());
  for (const auto& [name, reason] : listing.leftOut)
    std::printf("%s: left out: %s\n", name.c_str(), reason.c_str());
  const SKvFetchReport& report = listing.report;
  std::printf(
      "%zu pictures: %d taken from the catalogue, %d read again, %d new, %d left out;"
      " catalogue %s%s\n",
      listing.items.size(), report.fromCatalog, report.readAgain, report.added, report.unreadable,
      listing.catalogue.c_str(),
      report.catalogRefused.IsEmpty()
          ? ""
          : (" (the old one was refused: " + report.catalogRefused.ToUtf8() + ")").c_str());
}

int Run(const Parsed& args) {
  const std::string types = args.Text("--types").value_or(CString(kKvClipPictureTypes).ToUtf8());
  const std::optional<std::string> sheet = args.Text("--contact-sheet");
  if (args.words.size() != 1) return Usage(kCatalogCommand, "expected one FOLDER");
  const std::string& folder = args.words[0];
  const CString path = PathArg(folder);
  if (!KvDoesDirExist(path))
    return Fail(folder + ": " + (KvDoesFileExist(path) ? "not a folder" : "no such folder"));
  if (sheet) {
    if (LowerExtension(*sheet) != ".png") return Usage(kCatalogCommand, "OUT must end in .png");
    const std::string refusal = OutputIsInput(*sheet, ListedFiles(folder, types));
    if (!refusal.empty()) return Fail(refusal);
  }

  KvMediaFileOpen();
  Listing listing;
  if (!Fetch(folder, types, listing)) {
    KvMediaFileClose();
    std::fprintf(stderr, "kvmedia: interrupted\n");
    return 130;
  }
  if (args.Has("--json"))
    PrintJson(folder, listing);
  else
    PrintText(listing);
  if (!listing.report.notStoredReason.IsEmpty())
    std::fprintf(stderr, "kvmedia: catalogue not stored: %s\n",
                 listing.report.notStoredReason.ToUtf8().c_str());
  int status = 0;
  if (sheet) {
    const std::string error = WriteContactSheet(*sheet, listing.items);
    if (!error.empty()) status = Fail(*sheet + ": " + error);
  }
  KvMediaFileClose();
  return status;
}

}  // namespace

const Options kCatalogOptions = {
    {.name = "--types",
     .kind = Kind::kText,
     .refusal = "needs a value",
     .values = "bmp tga jpg gif pcx png psd",
     .arg = "LIST",
     .help = "extensions to look for, comma-separated ('tga' or '.tga'),\n"
             "matched without regard to case (default\n"
             "bmp,tga,jpg,gif,pcx,png,psd, the picture panel's order)"},
    {.name = "--json", .help = "one JSON object: folder, pictures, left_out, catalogue"},
    {.name = "--contact-sheet",
     .kind = Kind::kText,
     .refusal = "needs a value",
     .arg = "OUT",
     .help = "also write a PNG of every thumbnail with its name under it\n"
             "(characters outside printable ASCII are drawn as '?'); OUT\n"
             "must end in .png and may not be a file that FOLDER lists"}};

const Command kCatalogCommand = {
    "catalog",
    "list the pictures of a folder through its catalogue, with a contact sheet",
    "usage: kvmedia catalog FOLDER [--types tga,bmp,...] [--json] [--contact-sheet OUT.png]\n"
    "\n"
    "Lists the pictures of FOLDER as the picture panel does: one line per picture with\n"
    "width, height, bits (the library's figure; for PNG the bytes per pixel), file_size and\n"
    "catalogue: 'taken' (unchanged since the folder's catalogue PicMedia.pmf was written,\n"
    "so not opened), 'read again' (changed since) or 'new'. Files that do not load are\n"
    "listed as left out, with the reason. A summary line follows. The catalogue is renewed\n"
    "when anything changed (removed when it describes no file left). It serves every\n"
    "--types: the records of unchanged pictures that --types leaves out stay in it. It is\n"
    "only ever a regular file: a link, pipe or folder of its name is left alone. When it\n"
    "cannot be written the folder is listed all the same and 'catalogue not stored:\n"
    "REASON' goes to standard error. Every spelling of FOLDER (./f, f/, /abs/f) shares one\n"
    "catalogue.\n" KV_OPTION_BLOCK1
    "Ctrl-C while thumbnails are made stops, storing the pictures read so far in the\n"
    "catalogue (exit 130).\n"
    "Exits 1 when FOLDER is not a folder or the contact sheet cannot be written.\n",
    Run,
    kCatalogOptions,
    {},
    24};
const Registrar kCatalogRegistrar(kCatalogCommand);

}  // namespace kvtool
