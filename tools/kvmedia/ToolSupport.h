// Small helpers shared by the kvmedia commands.
#pragma once

#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "platform/Geometry.h"
#include "platform/String.h"

namespace kvtool {

// A command-line path as the library takes it. File names are bytes: the conversion keeps
// bytes that are not UTF-8, so the name written is the name given.
inline CString PathArg(const std::string& arg) { return CString::FromUtf8(arg); }

// Why OUT must not be written: it is one of the command's `inputs` (the same file, however
// spelt: through links, "./", a second hard link). "" when it is none of them.
std::string OutputIsInput(const std::string& out, const std::vector<std::string>& inputs);

// mkdir -p: false (with errno) when a part cannot be made.
bool MakeFolders(const std::string& dir);

// Makes OUTDIR, with any missing parents, ready for frame-NNNNN.png files. A folder that
// already holds frame files is refused unless `force`, which removes them first, so that new
// and stale frames never mix; a frame file that is one of `inputs` is never removed. Returns
// the reason of a refusal, or "".
std::string PrepareFrameFolder(const std::string& dir, bool force,
                               const std::vector<std::string>& inputs = {});
// OUTDIR/frame-NNNNN.png for the frame of that index.
std::string FramePath(const std::string& dir, long index);

// "X,Y,W,H" with W and H positive.
std::optional<CRect> ParseRegion(const std::string& text);
std::optional<double> ParseNumber(const std::string& text);

// "X,Y,W,H" of a rectangle, as ParseRegion reads it.
std::string RegionText(const CRect& r);

// Chooses the library's video standard from "sd", "hd" or "uhd"; the refusal, or "".
std::string ChooseStandard(const std::string& name);

// The extension of a path, lower-cased, with its dot ("" when there is none).
std::string LowerExtension(const std::string& path);

// One line of "key value" facts about a file, printed as text or as a JSON object.
class Record {
 public:
  explicit Record(std::string file) : m_file(std::move(file)) {}
  void Text(const std::string& key, const std::string& value);
  void Number(const std::string& key, long long value);
  // yes/no in text, true/false in JSON.
  void YesNo(const std::string& key, bool value);
  void Fail(const std::string& error) { m_error = error; }
  bool failed() const { return !m_error.empty(); }
  std::string AsText() const;
  std::string AsJson() const;

 private:
  std::string m_file;
  std::string m_error;
  std::vector<std::pair<std::string, std::string>> m_fields;  // values already JSON-encoded
};

// A JSON string of any bytes: valid UTF-8 is kept, every other byte b becomes \udcXX
// (U+DC00 + b, as Python's surrogateescape reads it).
std::string JsonString(const std::string& s);

// The library's reason for its last refusal on this thread, or `fallback` when it gave none.
std::string LibraryReason(const std::string& fallback);
// Why a picture path cannot be loaded, as the load dispatch says (the same words for every
// command): "no such file", "is a folder", the decoder's reason. Empty when it loads.
std::string PictureRefusal(const CString& path);
// Why nothing can be read from `path` ("no such file", "is a folder", "not a regular file"
// for a pipe or device, which is never opened); "" when a regular file is there.
std::string FileRefusal(const CString& path);

// While one lives, Ctrl-C (or SIGTERM) does not end the program at once: it asks the library's
// progress dialogs to cancel, so that the work in hand stops and cleans up after itself. A
// second signal ends the program as usual.
class CancelOnInterrupt {
 public:
  CancelOnInterrupt();
  ~CancelOnInterrupt();
  CancelOnInterrupt(const CancelOnInterrupt&) = delete;
  CancelOnInterrupt& operator=(const CancelOnInterrupt&) = delete;
};
// Whether a signal asked to cancel (read by the signal handler and the progress dialogs).
bool CancelRequested();
// Called by the signal handler: true when the signal was taken as a cancel request.
bool TakeInterruptAsCancel();

}  // namespace kvtool
