// Small helpers shared by the kvmedia commands.
#pragma once

#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "platform/Geometry.h"
#include "platform/String.h"

namespace kvtool {

// A command-line path as the library takes it.
inline CString PathArg(const std::string& arg) { return CString::FromUtf8(arg); }

// "X,Y,W,H" with W and H positive.
std::optional<CRect> ParseRegion(const std::string& text);
std::optional<double> ParseNumber(const std::string& text);

// The extension of a path, lower-cased, with its dot ("" when there is none).
std::string LowerExtension(const std::string& path);

// One line of "key value" facts about a file, printed as text or as a JSON object.
class Record {
 public:
  explicit Record(std::string file) : m_file(std::move(file)) {}
  void Text(const std::string& key, const std::string& value);
  void Number(const std::string& key, long long value);
  void Fail(const std::string& error) { m_error = error; }
  bool failed() const { return !m_error.empty(); }
  std::string AsText() const;
  std::string AsJson() const;

 private:
  std::string m_file;
  std::string m_error;
  std::vector<std::pair<std::string, std::string>> m_fields;  // values already JSON-encoded
};

std::string JsonString(const std::string& s);

}  // namespace kvtool
