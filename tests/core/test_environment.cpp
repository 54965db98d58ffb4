// System reads settings.txt from the working directory when it is first
// created: give it one here, in the form most editors save (every line ends
// with a line feed), before any test creates it.

#include <gtest/gtest.h>

#include <fstream>

namespace {

class SettingsFile : public ::testing::Environment {
 public:
  void SetUp() override { std::ofstream("settings.txt") << "screenWidth=640\nscreenHeight=480\n"; }
};

[[maybe_unused]] ::testing::Environment* const kEnvironment =
    ::testing::AddGlobalTestEnvironment(new SettingsFile);

}  // namespace
