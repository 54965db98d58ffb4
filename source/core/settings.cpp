#include "core/settings.h"

#include <cctype>
#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdio>
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

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r'; }

// A whole number of optional sign and decimal digits, nothing else, clamped
// to the int32 range instead of overflowing; false for anything else.
bool ReadInt(const std::string& value, int32_t& number) {
  const size_t digits = value.empty() || (value[0] != '+' && value[0] != '-') ? 0 : 1;
  if (value.size() == digits) return false;
  for (size_t k = digits; k < value.size(); ++k)
    if (!std::isdigit(static_cast<unsigned char>(value[k]))) return false;
  errno = 0;
  const long long v = std::strtoll(value.c_str(), nullptr, 10);
  number = v > INT32_MAX ? INT32_MAX : v < INT32_MIN ? INT32_MIN : static_cast<int32_t>(v);
  return true;
}

// The line as the message quotes it: bytes outside printable ASCII as
// \xNN and the backslash doubled, so a garbage file cannot put control
// codes on the console.
std::string Escaped(const std::string& line) {
  std::string out;
  for (const char c : line) {
    const unsigned char byte = static_cast<unsigned char>(c);
    if (c == '\\') {
      out += "\\\\";
    } else if (byte < 0x20 || byte > 0x7e) {
      char code[8];
      std::snprintf(code, sizeof code, "\\x%02X", byte);
      out += code;
    } else {
      out += c;
    }
  }
  return out;
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
      while (pos < line.size() && IsBlank(line[pos])) ++pos;
      bool ok = pos < line.size() && line[pos] == '=';
      // The value: one run of graphic characters, with only blanks around it.
      size_t v = pos + 1;
      while (v < line.size() && IsBlank(line[v])) ++v;
      size_t valueEnd = v;
      while (valueEnd < line.size() && IsGraphic(line[valueEnd])) ++valueEnd;
      const std::string word = ok ? line.substr(v, valueEnd - v) : std::string();
      for (size_t rest = valueEnd; ok && rest < line.size(); ++rest) ok = IsBlank(line[rest]);
      if (ok) {
        if (key == "screenWidth" || key == "screenHeight") {
          int32_t size = 0;
          ok = ReadInt(word, size) && size > 0 && size <= kMaxWindowSize;
          if (ok) (key == "screenWidth" ? settings.screenWidth : settings.screenHeight) = size;
        } else if (key == "slowFrameTime") {
          char* end = nullptr;
          const double seconds = std::strtod(word.c_str(), &end);
          ok = *end == '\0' && std::isfinite(seconds) && seconds > 0.0;
          if (ok) settings.slowFrameTime = seconds;
        } else if (key == "fullscreen") {
          if (word == "true") settings.fullscreen = true;
          else if (word == "false") settings.fullscreen = false;
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
                << (cut ? Escaped(line.substr(0, kMaxQuotedLine)) + "..." : Escaped(line.substr(0, quoted)))
                << "\"\n";
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
