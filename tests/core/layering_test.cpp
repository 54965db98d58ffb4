// The folders of source/ are layers: a file may include headers of its own
// folder and of the folders below it, never of a folder above. The GL-free
// core (math up to scene) includes no window, GL, ImGui or audio header, so
// tests and benchmarks link it without a display.

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <regex>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

TEST(Layering, FoldersIncludeOnlyTheirOwnAndLowerLayers) {
  // Bottom to top. A folder missing from this list is an error, so a new
  // folder has to be given its place.
  const std::vector<std::string> layers = {"math",    "core",  "geom",  "objects", "collision", "physics",
                                           "scene",   "sound", "window", "graphics", "game_logic"};
  const auto rank = [&](const std::string& folder) {
    return int(std::find(layers.begin(), layers.end(), folder) - layers.begin());
  };
  const int topCore = rank("scene"), none = int(layers.size());
  const std::regex platformHeader(R"(^\s*#\s*include\s*<(GL/|GLFW/|imgui|backends/|AL/|sndfile))");
  const std::regex projectInclude(R"(^\s*#\s*include\s*"([a-z_]+)/[^"]+")");
  const fs::path root = fs::path(CLEAVE_SOURCE_DIR) / "source";
  int files = 0;
  for (const auto& entry : fs::recursive_directory_iterator(root)) {
    const fs::path relative = fs::relative(entry.path(), root);
    if (!entry.is_regular_file() || std::next(relative.begin()) == relative.end()) continue;  // main.cpp: above all
    const std::string folder = relative.begin()->string();
    ASSERT_LT(rank(folder), none) << "folder source/" << folder << " has no place among the layers";
    ++files;
    std::ifstream in(entry.path());
    std::string text;
    std::smatch match;
    for (int number = 1; std::getline(in, text); ++number) {
      if (std::regex_search(text, match, projectInclude)) {
        EXPECT_LE(rank(match[1]), rank(folder)) << relative << ":" << number << " reaches up: " << text;
      }
      if (rank(folder) <= topCore) {
        EXPECT_FALSE(std::regex_search(text, platformHeader)) << relative << ":" << number << " is core code: " << text;
      }
    }
  }
  EXPECT_GT(files, 50) << "no sources under " << root;
}

}  // namespace
