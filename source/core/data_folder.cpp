#include "core/data_folder.h"

#include <algorithm>
#include <filesystem>
#include <system_error>
#include <vector>

namespace fs = std::filesystem;

namespace {

const char* const kDataSubfolders[] = {"shaders", "assets"};

std::string gDataFolder;  // set once at start-up, before any thread reads it

// The subfolders `folder` lacks, as paths, joined by " and "; empty when it
// has them all.
std::string MissingSubfolders(const fs::path& folder) {
  std::string missing;
  for (const char* sub : kDataSubfolders) {
    std::error_code ignored;
    if (fs::is_directory(folder / sub, ignored)) continue;
    if (!missing.empty()) missing += " and ";
    missing += (folder / sub).string();
  }
  return missing;
}

}  // namespace

DataFolderSearch FindDataFolder(const char* variable, const std::string& executable) {
  DataFolderSearch search;
  if (variable != nullptr && *variable != '\0') {
    const std::string missing = MissingSubfolders(variable);
    search.found = missing.empty();
    if (search.found)
      search.folder = variable;
    else
      search.report = std::string("cannot find the data folder: ") + kDataFolderVariable + "=" +
                      variable + " has no " + missing;
    return search;
  }

  std::error_code ignored;
  std::vector<fs::path> candidates = {fs::current_path(ignored)};
  if (!executable.empty()) {
    const fs::path binFolder = fs::path(executable).parent_path();
    for (const fs::path& folder : {binFolder, binFolder.parent_path()})
      if (std::find(candidates.begin(), candidates.end(), folder) == candidates.end())
        candidates.push_back(folder);
  }
  std::string looked;
  for (size_t i = 0; i < candidates.size(); ++i) {
    if (MissingSubfolders(candidates[i]).empty()) {
      search.found = true;
      if (i > 0) search.folder = candidates[i].string();  // else: the working directory
      return search;
    }
    looked += (i > 0 ? ", " : "") + candidates[i].string();
  }
  search.report = "cannot find the data folder (the folder holding shaders/ and assets/); looked in " +
                  looked + ". Set " + kDataFolderVariable + " to it.";
  return search;
}

std::string ExecutablePath() {
  std::error_code error;
  const fs::path path = fs::read_symlink("/proc/self/exe", error);
  return error ? std::string() : path.string();
}

void SetDataFolder(const std::string& folder) { gDataFolder = folder; }

std::string DataPath(const std::string& name) {
  return gDataFolder.empty() ? name : (fs::path(gDataFolder) / name).string();
}
