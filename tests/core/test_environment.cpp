// Runs test_core in a fresh temporary working directory, so the error
// files that reported errors write never land in the repository, and gives
// System a known settings file to read when it is first created.

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include <gtest/gtest.h>

namespace {

namespace fs = std::filesystem;

class TemporaryWorkingDirectory : public ::testing::Environment {
 public:
  void SetUp() override {
    std::string pattern = (fs::temp_directory_path() / "cleave_test_core_XXXXXX").string();
    ASSERT_NE(nullptr, ::mkdtemp(pattern.data()));
    fs::current_path(directory = pattern);
    // The form most editors save: every line ends with a line feed.
    std::ofstream("settings.txt") << "screenWidth=640\nscreenHeight=480\n";
  }
  void TearDown() override {
    fs::current_path(original);
    std::error_code ignored;
    fs::remove_all(directory, ignored);
  }

 private:
  fs::path original = fs::current_path(), directory;
};

[[maybe_unused]] ::testing::Environment* const kEnvironment =
    ::testing::AddGlobalTestEnvironment(new TemporaryWorkingDirectory);

}  // namespace
