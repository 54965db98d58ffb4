#pragma once
// ErrorCapture: lets a test provoke a reported error and inspect what was
// logged. System::Error writes an error file into the working directory and
// clears the running flag; while a capture is alive the working directory is
// a private temporary one, and on destruction the files are removed, the
// directory restored and the running flag set again.

#include <cstdlib>
#include <filesystem>
#include <string>

#include "core/system.h"

class ErrorCapture {
 public:
  ErrorCapture() : home(std::filesystem::current_path()) {
    std::string pattern =
        (std::filesystem::temp_directory_path() / "cleave_objects_XXXXXX").string();
    if (mkdtemp(pattern.data()) != nullptr) {
      scratch = pattern;
      std::filesystem::current_path(scratch);
    }
  }
  ~ErrorCapture() {
    System::Instance().running = true;
    std::filesystem::current_path(home);
    std::error_code ignored;
    if (!scratch.empty()) std::filesystem::remove_all(scratch, ignored);
  }
  ErrorCapture(const ErrorCapture&) = delete;
  ErrorCapture& operator=(const ErrorCapture&) = delete;

  // Whether text was logged since the capture began.
  bool Logged(const std::string& text) const {
    return System::Instance().GetLogText().find(text, logStart) != std::string::npos;
  }

 private:
  std::filesystem::path home;
  std::filesystem::path scratch;
  size_t logStart = System::Instance().GetLogText().size();
};
