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

int Run(const Parsed& args) {
  const bool json = args.Has("--json");
  const std::string types = args.Text("--types").value_or(CString(kKvClipPictureTypes).ToUtf8());
  const std::optional<std::string> sheet = args.Text("--contact-sheet");
  const std::vector<std::string>& folders = args.words;
  if (folders.size() != 1) return Usage(kCatalogCommand, "expected one FOLDER");
  const std::string& folder = folders[0];
  const CString path = PathArg(folder);
  if (!KvDoesDirExist(path))
    return Fail(folder + ": " + (KvDoesFileExist(path) ? "not a folder" : "no such folder"));
  if (sheet) {
    if (LowerExtension(*sheet) != ".png") return Usage(kCatalogCommand, "OUT must end in .png");
    const std::string refusal = OutputIsInput(*sheet, ListedFiles(folder, types));
    if (!refusal.empty()) return Fail(refusal);
  }

  KvMediaFileOpen();
  CKvObList list;
  std::map<const CKvClipMedia*, EKvClipState> states;
  std::vector<std::pair<std::string, std::string>> leftOut;  // name, reason
  std::unique_ptr<Progress> progress;
  SKvFetchOptions options;
  options.onRecord = [&](const CKvClipMedia& record, EKvClipState state, const CString& reason) {
    if (state == EKvClipState::kUnreadable)
      leftOut.emplace_back(record.GetPureFileName().ToUtf8(), reason.ToUtf8());
    else
      states[&record] = state;
  };
  options.onProgress = [&](int done, int total) {
    if (!progress)
      progress = std::make_unique<Progress>("thumbnails of " + folder, total, "pictures");
    progress->Set(done);
    return !CancelRequested();
  };
  SKvFetchReport report;
  {
    const CancelOnInterrupt cancel;
    KvMediaFetchValidFileEx(&list, path, KvJoinPath(path, kCatalogName), PathArg(types), options,
                            &report);
    progress.reset();
  }
  if (report.cancelled) {
    KvMediaFileClose();
    std::fprintf(stderr, "kvmedia: interrupted\n");
    return 130;
  }

  std::vector<const CKvClipMedia*> items;
  for (POSITION pos = list.GetHeadPosition(); pos;)
    items.push_back(static_cast<const CKvClipMedia*>(list.GetNext(pos)));
  const std::string catalogue = report.catalogCurrent   ? "unchanged"
                                : report.catalogStored  ? "stored"
                                : report.catalogRemoved ? "removed"
                                : items.empty()         ? "none"
                                                        : "not stored";
  if (json) std::printf("{\"folder\": %s,\n \"pictures\": [", JsonString(folder).c_str());
  for (std::size_t i = 0; i < items.size(); ++i) {
    const CKvClipMedia& m = *items[i];
    Record r(m.GetPureFileName().ToUtf8());
    r.Number("width", m.GetPicSize().cx);
    r.Number("height", m.GetPicSize().cy);
    r.Number("bits", m.GetBits());
    r.Number("file_size", static_cast<long long>(m.GetFileSize()));
    r.Text("catalogue", KvClipStateName(states.count(&m) ? states[&m] : EKvClipState::kNew));
    if (json)
      std::printf("%s\n  %s", i ? "," : "", r.AsJson().c_str());
    else
      std::printf("%s\n", r.AsText().c_str());
  }
  if (json) {
    std::printf("\n ],\n \"left_out\": [");
    for (std::size_t i = 0; i < leftOut.size(); ++i) {
      Record r(leftOut[i].first);
      r.Fail(leftOut[i].second);
      std::printf("%s\n  %s", i ? "," : "", r.AsJson().c_str());
    }
    std::printf("\n ],\n \"catalogue\": %s", JsonString(catalogue).c_str());
    if (!report.notStoredReason.IsEmpty())
      std::printf(", \"not_stored_reason\": %s",
                  JsonString(report.notStoredReason.ToUtf8()).c_str());
    if (!report.catalogRefused.IsEmpty())
      std::printf(", \"old_catalogue_refused\": %s",
                  JsonString(report.catalogRefused.ToUtf8()).c_str());
    std::printf("}\n");
  } else {
    for (const auto& [name, reason] : leftOut)
      std::printf("%s: left out: %s\n", name.c_str(), reason.c_str());
    std::printf(
        "%zu pictures: %d taken from the catalogue, %d read again, %d new, %d left out;"
        " catalogue %s%s\n",
        items.size(), report.fromCatalog, report.readAgain, report.added, report.unreadable,
        catalogue.c_str(),
        report.catalogRefused.IsEmpty()
            ? ""
            : (" (the old one was refused: " + report.catalogRefused.ToUtf8() + ")").c_str());
  }
  if (!report.notStoredReason.IsEmpty())
    std::fprintf(stderr, "kvmedia: catalogue not stored: %s\n",
                 report.notStoredReason.ToUtf8().c_str());
  int status = 0;
  if (sheet) {
    const std::string error = WriteContactSheet(*sheet, items);
    if (!error.empty()) status = Fail(*sheet + ": " + error);
  }
  KvMediaFileClose();
  return status;
}

}  // namespace

const Options kCatalogOptions = {
    {"--types", Kind::kText, "needs a value", "bmp tga jpg gif pcx png psd"},
    {"--json"},
    {"--contact-sheet", Kind::kText, "needs a value"}};

const Command kCatalogCommand = {
    "catalog", "list the pictures of a folder through its catalogue, with a contact sheet",
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
    "catalogue.\n"
    "  --types LIST          extensions to look for, comma-separated ('tga' or '.tga'),\n"
    "                        matched without regard to case (default\n"
    "                        bmp,tga,jpg,gif,pcx,png,psd, the picture panel's order)\n"
    "  --json                one JSON object: folder, pictures, left_out, catalogue\n"
    "  --contact-sheet OUT   also write a PNG of every thumbnail with its name under it\n"
    "                        (characters outside printable ASCII are drawn as '?'); OUT\n"
    "                        must end in .png and may not be a file that FOLDER lists\n"
    "Ctrl-C while thumbnails are made stops, storing the pictures read so far in the\n"
    "catalogue (exit 130).\n"
    "Exits 1 when FOLDER is not a folder or the contact sheet cannot be written.\n",
    Run, kCatalogOptions};
const Registrar kCatalogRegistrar(kCatalogCommand);

}  // namespace kvtool
