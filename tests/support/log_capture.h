#pragma once
// What System logged while a capture lived. A test that provokes a reported
// error uses one: Error() clears the running flag, which the capture sets
// when it begins and again when it goes.

#include <cstddef>
#include <string>

namespace support {

class LogCapture {
 public:
  LogCapture();
  ~LogCapture();
  LogCapture(const LogCapture&) = delete;
  LogCapture& operator=(const LogCapture&) = delete;

  std::string NewLog() const;
  bool Logged(const std::string& text) const { return Count(text) > 0; }
  size_t Count(const std::string& text) const;
  // Lines of the new log that begin with prefix.
  int CountLines(const std::string& prefix) const;
  bool ErrorLogged() const { return Logged("ERROR"); }

 private:
  size_t start;
};

}  // namespace support
