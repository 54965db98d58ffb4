#include "support/log_capture.h"

#include <sstream>

#include "core/system.h"

namespace support {

LogCapture::LogCapture() : start(System::Instance().GetLogText().size()) {
  System::Instance().running = true;
}

LogCapture::~LogCapture() { System::Instance().running = true; }

std::string LogCapture::NewLog() const { return System::Instance().GetLogText().substr(start); }

size_t LogCapture::Count(const std::string& text) const {
  const std::string log = NewLog();
  size_t count = 0;
  for (size_t at = log.find(text); at != std::string::npos; at = log.find(text, at + 1)) ++count;
  return count;
}

int LogCapture::CountLines(const std::string& prefix) const {
  std::istringstream lines(NewLog());
  int count = 0;
  for (std::string line; std::getline(lines, line);) count += line.rfind(prefix, 0) == 0;
  return count;
}

}  // namespace support
