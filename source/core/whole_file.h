#pragma once
// Files read and written in one piece. A file is written whole or not at
// all: the bytes go to a temporary file beside it, which is then renamed
// over it, so a reader (or a crash half-way) never meets half a file.

#include <string>

// The file's bytes; false when it cannot be opened or read.
bool ReadWholeFile(const std::string& path, std::string& bytes);

// False, with nothing left behind, when the file cannot be written.
bool WriteWholeFile(const std::string& path, const std::string& bytes);
