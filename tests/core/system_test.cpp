// System: the settings file it starts with, the log and its formats, the
// error file (name and append), the report format of the diagnostics
// macros, and the frame pacing with the load display.

#include <gtest/gtest.h>

#include <algorithm>
#include <ctime>
#include <filesystem>
#include <string>
#include <vector>

#include "core/system.h"
#include "support/log_capture.h"
#include "support/scratch.h"

namespace {

namespace fs = std::filesystem;

// The test's own working directory for the life of the object.
struct EnterScratch {
  support::ScratchDir dir;
  fs::path home = fs::current_path();
  EnterScratch() { fs::current_path(dir.Path()); }
  ~EnterScratch() { fs::current_path(home); }
  std::vector<std::string> Files() const {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(dir.Path())) names.push_back(entry.path().filename());
    return names;
  }
};

std::string ErrorFileAt(std::time_t t) {
  std::tm local{};
  localtime_r(&t, &local);
  return System::ErrorFileName(local);
}

// The settings file System starts with; the log's three levels on the
// console and in the log text; report lines naming the path below the
// source root and the macro's line; Error and a failed assertion clearing
// the running flag.
TEST(System, ReadsItsSettingsFileAndLogsInItsFormats) {
  System& system = System::Instance();  // created here, where the environment wrote settings.txt
  EXPECT_TRUE(system.settings.valid && system.screenWidth == 640 && system.screenHeight == 480);
  EXPECT_EQ("geom/mesh.cpp:12 text", ErrorReport("/home/dev/cleave/source/geom/mesh.cpp", 12, "text"));
  EXPECT_EQ("tests/x_test.cpp:7 odd", ErrorReport("tests/x_test.cpp", 7, "odd"));  // outside: kept whole
  support::LogCapture log;
  ::testing::internal::CaptureStdout();
  system.Log("frames = 3");
  CLEAVE_ASSERT(2 + 2 == 4);  // a holding assertion reports nothing
  const int warningLine = __LINE__ + 1;
  CLEAVE_WARNING("low on \"memory\"");
  EXPECT_TRUE(system.running);
  const int assertLine = __LINE__ + 1;
  CLEAVE_ASSERT(2 + 2 == 5);
  const std::string expected = "frames = 3\nWARNING: " + ErrorReport(__FILE__, warningLine, "low on \"memory\"") +
                               "\nERROR: " + ErrorReport(__FILE__, assertLine, "assert failed!") + "\n";
  EXPECT_EQ(expected, ::testing::internal::GetCapturedStdout());
  EXPECT_EQ(expected, log.NewLog());
  EXPECT_FALSE(system.running) << "a failed assertion stops the engine after the frame";
  EXPECT_TRUE(system.ErrorReported());
}

TEST(System, EachErrorAppendsTheWholeLogToTheFileOfItsSecond) {
  std::tm t{};
  t.tm_year = 2011 - 1900, t.tm_mon = 2, t.tm_mday = 5, t.tm_hour = 9, t.tm_min = 7, t.tm_sec = 3;  // March
  EXPECT_EQ("error_log_3_5_2011_9_7_3.txt", System::ErrorFileName(t));
  System& system = System::Instance();
  // Retry until both reports fall into the same second of the clock.
  for (int attempt = 0; attempt < 10; ++attempt) {
    EnterScratch scratch;
    support::LogCapture log;
    const std::time_t before = std::time(nullptr);
    system.Error("first failure");
    const std::string afterFirst = system.GetLogText();
    system.Error("second failure");
    const std::string afterSecond = system.GetLogText();
    if (before != std::time(nullptr)) continue;
    const std::string name = ErrorFileAt(before);
    ASSERT_EQ(std::vector<std::string>{name}, scratch.Files());
    EXPECT_EQ(afterFirst + "\n" + afterSecond + "\n", support::ReadFile(name));
    EXPECT_EQ("ERROR: first failure\nERROR: second failure\n", log.NewLog());
    // With directories in the way of every name the next seconds could use,
    // the file is not written, the report still happens, and standard error
    // says so once.
    for (const auto& name : scratch.Files()) fs::remove(name);
    for (std::time_t t = std::time(nullptr), end = t + 30; t < end; ++t) fs::create_directory(ErrorFileAt(t));
    ::testing::internal::CaptureStderr();
    system.Error("cannot be filed");
    system.Error("cannot be filed either");
    const std::string told = ::testing::internal::GetCapturedStderr();
    EXPECT_EQ(0u, told.find("cannot write the error file error_log_")) << told;
    EXPECT_EQ(1, std::count(told.begin(), told.end(), '\n')) << told;
    EXPECT_TRUE(log.Logged("ERROR: cannot be filed\n"));
    for (const auto& name : scratch.Files()) EXPECT_TRUE(fs::is_directory(name)) << name;
    return;
  }
  FAIL() << "no two errors fell into the same second";
}

// Frame pacing with a budget B = 1/60 s: the sleep fills the frame up to B,
// and both averages move a tenth of the way toward this frame's values (the
// frame time counting its sleep); steady frames settle where they must.
TEST(System, FramePacingFillsTheBudgetAndAveragesSettle) {
  const double B = kFrameBudget;
  System& system = System::Instance();
  system.avgWorkTime = 0.0;
  system.avgFrameTime = 0.05;
  EXPECT_NEAR(B - 0.005, system.AccountFrame(0.005), 1e-12);
  EXPECT_EQ(0.005, system.lastFrameTime);
  EXPECT_DOUBLE_EQ(0.0005, system.avgWorkTime);
  EXPECT_DOUBLE_EQ(0.9 * 0.05 + 0.1 * B, system.avgFrameTime);
  for (int frame = 0; frame < 400; ++frame) system.AccountFrame(0.005);
  EXPECT_EQ("Load: 0.300000\n", system.LoadDisplay());
  EXPECT_NEAR(B, system.avgFrameTime, 1e-12);
  for (int frame = 0; frame < 400; ++frame) EXPECT_EQ(0.0, system.AccountFrame(0.04));
  EXPECT_NEAR(0.04, system.avgFrameTime, 1e-12);
  EXPECT_EQ("Load: 2.400000\n", system.LoadDisplay());
}

}  // namespace
