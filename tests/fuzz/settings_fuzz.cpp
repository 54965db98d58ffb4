// Fuzzes the settings parser with arbitrary file contents. Besides the
// sanitizers' checks: a file is valid exactly when there is no message, and
// a rejection quotes the line it names (counted from 0 at each line feed)
// without its CRLF carriage return, its first 200 bytes and "..." when it is
// longer, bytes outside printable ASCII as \xNN and a backslash doubled.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "core/settings.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  const Settings settings = ParseSettings(text);
  if (settings.valid != settings.errorMessage.empty()) std::abort();
  if (settings.valid) return 0;

  const std::string prefix = "Settings Parse Error: Invalid settings entry at line ";
  const std::string& message = settings.errorMessage;
  if (message.compare(0, prefix.size(), prefix) != 0) std::abort();
  const unsigned long lineNumber = std::strtoul(message.c_str() + prefix.size(), nullptr, 10);
  size_t start = 0;
  for (unsigned long n = 0; n < lineNumber; ++n) {
    start = text.find('\n', start);
    if (start == std::string::npos) std::abort();  // names a line the file does not have
    ++start;
  }
  std::string line = text.substr(start, text.find('\n', start) - start);
  if (!line.empty() && line.back() == '\r') line.pop_back();
  std::string quoted;
  for (const unsigned char c : line.substr(0, 200)) {
    static const char kHex[] = "0123456789ABCDEF";
    if (c == '\\') quoted += "\\\\";
    else if (c >= 32 && c < 127) quoted += static_cast<char>(c);
    else quoted += std::string("\\x") + kHex[c >> 4] + kHex[c & 15];
  }
  if (line.size() > 200) quoted += "...";
  if (message != prefix + std::to_string(lineNumber) + ": \"" + quoted + "\"\n") std::abort();
  return 0;
}
