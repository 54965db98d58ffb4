#pragma once
// The data folder: the folder that holds shaders/ and assets/, which the
// program reads at run time. Finding it lets the program start from any
// working directory.
//
// FindDataFolder looks, in this order:
//   1. in the folder named by the environment variable CLEAVE_DATA_DIR when
//      it is set (and nowhere else: the user named the folder);
//   2. in the working directory;
//   3. in the executable's folder and the folder above it (the program is
//      built into build/ below the project folder).
// A folder qualifies when it holds both shaders/ and assets/.
//
// DataPath turns a name such as "shaders/x.glsl" into a path inside the
// folder found. Until SetDataFolder is called (tests), names stay relative
// to the working directory.

#include <string>

constexpr const char* kDataFolderVariable = "CLEAVE_DATA_DIR";

struct DataFolderSearch {
  bool found = false;
  std::string folder;  // empty when the working directory qualified
  std::string report;  // when not found: one message naming every place looked
};

// `variable` is the value of CLEAVE_DATA_DIR (null when unset); `executable`
// the program's own path (empty when unknown).
DataFolderSearch FindDataFolder(const char* variable, const std::string& executable);

// The running program's path, read from /proc/self/exe; empty when unknown.
std::string ExecutablePath();

void SetDataFolder(const std::string& folder);
std::string DataPath(const std::string& name);
