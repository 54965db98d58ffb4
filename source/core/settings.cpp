#include "core/settings.h"

#include <cctype>
#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <fstream>
#include <sstream>

namespace {

// Window sizes outside 1 .. kMaxWindowSize pixels are rejected: no GL
// implementation makes render targets larger than that.
constexpr int32_t kMaxWindowSize = 16384;
// A rejected line is quoted up to this many bytes, then "...": a garbage
// file may hold one line of megabytes.
constexpr size_t kMaxQuotedLine = 200;

bool IsGraphic(char c) { return std::isgraph(static_cast<unsigned char>(c)) != 0; }
bool IsAlnum(char c) { return std::isalnum(static_cast<unsigned char>(c)) != 0; }

// atoi's reading (optional sign, leading digits, none gives 0), but clamped
// to the int32 range instead of overflowing.
int32_t ReadInt(const std::string& value) {
  errno = 0;
  const long long v = std::strtoll(value.c_str(), nullptr, 10);
  if (v > INT32_MAX) return INT32_MAX;
  if (v < INT32_MIN) return INT32_MIN;
  return static_cast<int32_t>(v);
}

}  // namespace

Settings ParseSettings(const std::string& text) {
  Settings settings;
  if (text.empty()) return settings;

  size_t lineStart = 0;
  for (int lineNumber = 0;; ++lineNumber) {
    const size_t lineEnd = text.find('\n', lineStart);
    const std::string line =
        text.substr(lineStart, lineEnd == std::string::npos ? std::string::npos : lineEnd - lineStart);

    size_t pos = 0;
    while (pos < line.size() && !IsGraphic(line[pos])) ++pos;
    const bool blank = pos == line.size();
    if (!blank && line[pos] != '#') {
      const size_t keyStart = pos;
      while (pos < line.size() && IsAlnum(line[pos])) ++pos;
      const std::string key = line.substr(keyStart, pos - keyStart);
      const size_t equals = line.find('=', pos);
      bool ok = equals != std::string::npos;
      if (ok) {
        size_t v = equals + 1;
        while (v < line.size() && !IsGraphic(line[v])) ++v;
        size_t valueEnd = v;
        while (valueEnd < line.size() && IsGraphic(line[valueEnd])) ++valueEnd;
        const std::string value = line.substr(v, valueEnd - v);
        if (key == "screenWidth" || key == "screenHeight") {
          const int32_t size = ReadInt(value);
          ok = size > 0 && size <= kMaxWindowSize;
          if (ok) (key == "screenWidth" ? settings.screenWidth : settings.screenHeight) = size;
        } else if (key == "slowFrameTime") {
          const double seconds = std::atof(value.c_str());
          ok = std::isfinite(seconds) && seconds > 0.0;
          if (ok) settings.slowFrameTime = seconds;
        } else if (key == "fullscreen") {
          if (value == "true") settings.fullscreen = true;
          else if (value == "false") settings.fullscreen = false;
        } else {
          ok = false;
        }
      }
      if (!ok) {
        // Quote the line without its line ending: a file saved with CRLF
        // endings leaves the carriage return at the end of `line`.
        const size_t quoted = !line.empty() && line.back() == '\r' ? line.size() - 1 : line.size();
        std::ostringstream message;
        const bool cut = quoted > kMaxQuotedLine;
        message << "Settings Parse Error: Invalid settings entry at line " << lineNumber << ": \""
                << (cut ? line.substr(0, kMaxQuotedLine) + "..." : line.substr(0, quoted)) << "\"\n";
        settings.valid = false;
        settings.errorMessage = message.str();
        return settings;
      }
    }
    if (lineEnd == std::string::npos) break;
    lineStart = lineEnd + 1;
  }
  return settings;
}

bool ReadTextFile(const std::string& path, std::string& text) {
  text.clear();
  std::ifstream file(path, std::ios::in | std::ios::binary);
  if (!file) return false;
  std::ostringstream contents;
  contents << file.rdbuf();
  if (file.bad()) return false;
  text = contents.str();
  return true;
}
