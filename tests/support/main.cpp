// The main of every test program: runs the tests in a scratch working
// directory that holds links to shaders/ and assets/, so that error files
// stay out of the sources and data is found as the program finds it.

#include <gtest/gtest.h>

#include "support/scratch.h"

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  const std::filesystem::path home = std::filesystem::current_path();
  support::ScratchDir scratch;
  if (scratch.Path().empty()) return 2;
  scratch.LinkProgramData();
  std::filesystem::current_path(scratch.Path());
  const int result = RUN_ALL_TESTS();
  std::filesystem::current_path(home);
  return result;
}
