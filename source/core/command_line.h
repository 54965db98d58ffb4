#pragma once
// The command line of `cleave`. Options are checked before anything starts:
// an unknown option or a bad value yields a message for standard error and
// the program exits with code 2.

#include <string>

#include "core/system.h"

enum class CommandLineResult { kRun, kHelp, kError };

// Fills `options` from argv. On kError, `error` holds one line saying what
// was wrong (without the usage text).
CommandLineResult ParseCommandLine(int argc, const char* const argv[], CommandLineOptions& options,
                                   std::string& error);

// The usage text printed by --help and after a command-line error.
std::string CommandLineUsage();
