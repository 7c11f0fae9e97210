#include "ToolSupport.h"

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>

namespace kvtool {

std::optional<double> ParseNumber(const std::string& text) {
  if (text.empty()) return std::nullopt;
  char* end = nullptr;
  errno = 0;
  const double v = std::strtod(text.c_str(), &end);
  if (errno != 0 || end != text.c_str() + text.size()) return std::nullopt;
  return v;
}

std::optional<CRect> ParseRegion(const std::string& text) {
  long v[4];
  const char* p = text.c_str();
  for (int i = 0; i < 4; ++i) {
    char* end = nullptr;
    errno = 0;
    v[i] = std::strtol(p, &end, 10);
    if (end == p || errno != 0 || v[i] < -1000000000L || v[i] > 1000000000L) return std::nullopt;
    p = end;
    if (i < 3) {
      if (*p != ',') return std::nullopt;
      ++p;
    }
  }
  if (*p != '\0' || v[2] <= 0 || v[3] <= 0) return std::nullopt;
  return CRect(static_cast<int>(v[0]), static_cast<int>(v[1]), static_cast<int>(v[0] + v[2]),
               static_cast<int>(v[1] + v[3]));
}

std::string LowerExtension(const std::string& path) {
  const auto slash = path.rfind('/');
  const auto dot = path.rfind('.');
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return "";
  std::string ext = path.substr(dot);
  for (char& c : ext) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return ext;
}

std::string JsonString(const std::string& s) {
  std::string out = "\"";
  for (unsigned char c : s) {
    switch (c) {
      case '"':
        out += "\\\"";
        break;
      case '\\':
        out += "\\\\";
        break;
      case '\n':
        out += "\\n";
        break;
      case '\t':
        out += "\\t";
        break;
      default:
        if (c < 0x20) {
          char buf[8];
          std::snprintf(buf, sizeof buf, "\\u%04x", c);
          out += buf;
        } else {
          out += static_cast<char>(c);
        }
    }
  }
  return out + "\"";
}

void Record::Text(const std::string& key, const std::string& value) {
  m_fields.emplace_back(key, JsonString(value));
}

void Record::Number(const std::string& key, long long value) {
  m_fields.emplace_back(key, std::to_string(value));
}

std::string Record::AsText() const {
  std::string out = m_file + ":";
  if (failed()) return out + " " + m_error;
  for (const auto& [key, value] : m_fields) {
    out += " " + key + "=";
    out += value.front() == '"' ? value.substr(1, value.size() - 2) : value;
  }
  return out;
}

std::string Record::AsJson() const {
  std::string out = "{\"file\": " + JsonString(m_file);
  if (failed()) out += ", \"error\": " + JsonString(m_error);
  for (const auto& [key, value] : m_fields) out += ", " + JsonString(key) + ": " + value;
  return out + "}";
}

}  // namespace kvtool
