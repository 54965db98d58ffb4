// The folders of source/ are layers: a file may include headers of its own
// folder and of the folders below it, never of a folder above. The GL-free
// core (math up to scene) includes no window, GL, ImGui or audio header, so
// tests and benchmarks link it without a display.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <regex>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

// Bottom to top. A folder missing from this list is an error, so a new
// folder has to be given its place.
const std::vector<std::string> kLayers = {"math",    "core",  "geom",   "objects",
                                          "collision", "physics", "scene", "sound",
                                          "window",  "graphics", "game_logic"};
const std::string kTopCoreLayer = "scene";

// Headers of the window system, GL, ImGui and the audio libraries.
const std::regex kPlatformHeader(R"(^\s*#\s*include\s*<(GL/|GLFW/|imgui|backends/|AL/|sndfile))");
const std::regex kProjectInclude(R"(^\s*#\s*include\s*"([a-z_]+)/[^"]+")");

int Rank(const std::string& folder) {
  for (size_t i = 0; i < kLayers.size(); ++i)
    if (kLayers[i] == folder) return static_cast<int>(i);
  return -1;
}

struct SourceLine {
  std::string file;
  int number;
  std::string text;
};

// Every line of every source file, with the folder it lies in.
std::multimap<std::string, SourceLine> SourceLines() {
  std::multimap<std::string, SourceLine> lines;
  const fs::path root = fs::path(CLEAVE_SOURCE_DIR) / "source";
  for (const auto& entry : fs::recursive_directory_iterator(root)) {
    if (!entry.is_regular_file()) continue;
    const fs::path relative = fs::relative(entry.path(), root);
    if (relative.begin() == relative.end() || std::next(relative.begin()) == relative.end())
      continue;  // main.cpp sits above every layer
    std::ifstream in(entry.path());
    std::string text;
    for (int number = 1; std::getline(in, text); ++number)
      lines.emplace(relative.begin()->string(), SourceLine{relative.string(), number, text});
  }
  return lines;
}

TEST(Layering, FoldersIncludeOnlyTheirOwnAndLowerLayers) {
  const auto lines = SourceLines();
  ASSERT_FALSE(lines.empty()) << "no sources under " << CLEAVE_SOURCE_DIR;
  const int topCore = Rank(kTopCoreLayer);
  for (const auto& [folder, line] : lines) {
    const int rank = Rank(folder);
    ASSERT_GE(rank, 0) << "folder source/" << folder << " has no place among the layers";
    std::smatch match;
    if (std::regex_search(line.text, match, kProjectInclude)) {
      const int used = Rank(match[1]);
      EXPECT_TRUE(used >= 0 && used <= rank)
          << line.file << ":" << line.number << " reaches up into " << match[1] << ": "
          << line.text;
    }
    if (rank <= topCore) {
      EXPECT_FALSE(std::regex_search(line.text, kPlatformHeader))
          << line.file << ":" << line.number << " is core code but includes " << line.text;
    }
  }
}

}  // namespace
