#pragma once
// Diagnostics: the log, warning and error entry points for code that needs
// no more of the engine than a place to report to (geometry, objects,
// collision, physics). Each forwards to System (system.cpp), which writes the
// log and the error file and clears the running flag on an error; including
// this header instead of system.h keeps those layers free of the module
// machinery.
//
// Failures are reported, never thrown. Use the macros so that reports carry
// "path/below/source.cpp:LINE message".

#include <string>

namespace diagnostics {
void Log(const std::string& message);
void Warning(const std::string& message);
void Error(const std::string& message);
}  // namespace diagnostics

// "path/below/source.cpp:LINE message" for a report from `file`.
std::string ErrorReport(const char* file, int line, const std::string& message);

#define CLEAVE_ERROR(message) diagnostics::Error(ErrorReport(__FILE__, __LINE__, (message)))
#define CLEAVE_WARNING(message) diagnostics::Warning(ErrorReport(__FILE__, __LINE__, (message)))
// Reports "assert failed!" the engine's way when cond is false and carries on.
#define CLEAVE_ASSERT(cond)                        \
  do {                                             \
    if (!(cond)) CLEAVE_ERROR("assert failed!");   \
  } while (0)
