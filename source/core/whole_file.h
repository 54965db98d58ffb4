#pragma once
// Whole files: an output is written whole or not at all. The bytes go to a
// temporary file beside the target, which is renamed over it once every
// byte is written and closed, so a reader never finds a half-written file
// and a failed write leaves the old file (or none) in place.

#include <string>

// Writes `contents` to `path`. On failure returns false with `error` naming
// the step and the system's reason, and removes the temporary file.
bool WriteWholeFile(const std::string& path, const std::string& contents, std::string& error);
