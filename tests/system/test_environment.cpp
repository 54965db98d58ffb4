// Runs test_system in a fresh temporary working directory, so the error
// files that reported errors write never land in the repository, and gives
// System a known settings file to read when it is first created.

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include <gtest/gtest.h>

namespace {

class TemporaryWorkingDirectory : public ::testing::Environment {
 public:
  void SetUp() override {
    original = std::filesystem::current_path();
    std::string pattern = (std::filesystem::temp_directory_path() / "cleave_test_system_XXXXXX").string();
    ASSERT_NE(nullptr, ::mkdtemp(pattern.data()));
    directory = pattern;
    std::filesystem::current_path(directory);
    // The form most editors save: every line ends with a line feed.
    std::ofstream("settings.txt") << "screenWidth=640\nscreenHeight=480\n";
  }

  void TearDown() override {
    std::filesystem::current_path(original);
    std::error_code ignored;
    std::filesystem::remove_all(directory, ignored);
  }

 private:
  std::filesystem::path original;
  std::filesystem::path directory;
};

[[maybe_unused]] ::testing::Environment* const kEnvironment =
    ::testing::AddGlobalTestEnvironment(new TemporaryWorkingDirectory);

}  // namespace
