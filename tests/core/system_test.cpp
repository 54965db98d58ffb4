// System: the settings it starts with, log formats, the error file (name and
// append), the error-report format, the assertion macro, and the frame
// pacing arithmetic with the load display.
//
// System is one instance for the whole executable: every test that reports
// an error sets `running` back, and each looks only at the log text its own
// calls added.

#include <algorithm>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "core/system.h"

namespace {

namespace fs = std::filesystem;

class SystemTest : public ::testing::Test {
 protected:
  void SetUp() override { logStart = system.GetLogText().size(); }
  void TearDown() override { system.running = true; }
  std::string LogAdded() { return system.GetLogText().substr(logStart); }

  // Creates System (if no earlier test did) in the working directory that
  // holds its settings file, before any test moves elsewhere.
  System& system = System::Instance();
  size_t logStart = 0;
};

// A fresh, empty working directory for the life of the object.
struct ScopedDirectory {
  explicit ScopedDirectory(const std::string& name) : path(original / name) {
    fs::remove_all(path);
    fs::create_directory(path);
    fs::current_path(path);
  }
  ~ScopedDirectory() {
    fs::current_path(original);
    std::error_code ignored;
    fs::remove_all(path, ignored);
  }
  std::vector<std::string> Files() const {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(path)) names.push_back(entry.path().filename());
    return names;
  }
  const fs::path original = fs::current_path(), path;
};

std::tm LocalTime(std::time_t t) {
  std::tm local{};
  localtime_r(&t, &local);
  return local;
}

TEST_F(SystemTest, ReadsSettingsFileThatEndsWithALineFeedAndLogsInItsFormats) {
  // The test environment wrote "screenWidth=640\nscreenHeight=480\n".
  EXPECT_TRUE(system.settings.valid);
  EXPECT_EQ(640, system.screenWidth);
  EXPECT_EQ(480, system.screenHeight);

  ::testing::internal::CaptureStdout();
  system.Log("frames = 3");
  system.Warning("low on \"memory\"");
  system.Error("geom/mesh.cpp:12 broken");
  const std::string expected = "frames = 3\nWARNING: low on \"memory\"\nERROR: geom/mesh.cpp:12 broken\n";
  EXPECT_EQ(expected, ::testing::internal::GetCapturedStdout());
  EXPECT_EQ(expected, LogAdded());
  EXPECT_FALSE(system.running) << "Error clears the running flag";
  EXPECT_TRUE(system.ErrorReported());
}

TEST_F(SystemTest, ConcurrentLinesStayWholeAndInOrder) {
  constexpr int kLines = 300;
  auto line = [](int t, int i) { return "thread" + std::to_string(t) + " = " + std::to_string(i) + " padding"; };
  ::testing::internal::CaptureStdout();
  std::vector<std::thread> threads;
  for (int t = 0; t < 3; ++t)
    threads.emplace_back([&, t] {
      for (int i = 0; i < kLines; ++i) system.Log(line(t, i));
    });
  for (auto& thread : threads) thread.join();
  const std::string console = ::testing::internal::GetCapturedStdout();
  for (const std::string& text : {LogAdded(), console}) {
    std::istringstream lines(text);
    std::string got;
    int next[3] = {0, 0, 0};
    while (std::getline(lines, got)) {
      const int t = got.size() > 6 ? got[6] - '0' : -1;
      ASSERT_TRUE(t >= 0 && t < 3) << got;
      ASSERT_EQ(line(t, next[t]++), got);
    }
    for (int count : next) EXPECT_EQ(kLines, count);
  }
}

TEST(ErrorFile, NameIsMonthDayYearHourMinuteSecond) {
  std::tm t{};
  t.tm_year = 2011 - 1900, t.tm_mon = 2, t.tm_mday = 5, t.tm_hour = 9, t.tm_min = 7, t.tm_sec = 3;  // March
  EXPECT_EQ("error_log_3_5_2011_9_7_3.txt", System::ErrorFileName(t));
  t.tm_year = 1999 - 1900, t.tm_mon = 11, t.tm_mday = 31, t.tm_hour = 23, t.tm_min = 59, t.tm_sec = 59;
  EXPECT_EQ("error_log_12_31_1999_23_59_59.txt", System::ErrorFileName(t));
}

TEST_F(SystemTest, TwoErrorsInOneSecondAppendTheWholeLogTwice) {
  // Retry until both reports fall into the same second of the clock.
  for (int attempt = 0; attempt < 10; ++attempt) {
    ScopedDirectory directory("error_append");
    const std::time_t before = std::time(nullptr);
    system.Error("first failure");
    const std::string afterFirst = system.GetLogText();
    system.Error("second failure");
    const std::string afterSecond = system.GetLogText();
    if (before != std::time(nullptr)) continue;

    const std::string name = System::ErrorFileName(LocalTime(before));
    ASSERT_EQ(std::vector<std::string>{name}, directory.Files());
    std::ifstream in(name, std::ios::binary);
    EXPECT_EQ(afterFirst + "\n" + afterSecond + "\n", std::string(std::istreambuf_iterator<char>(in), {}));
    EXPECT_NE(std::string::npos, afterSecond.find("ERROR: first failure\nERROR: second failure\n"));
    return;
  }
  FAIL() << "no two errors fell into the same second";
}

TEST_F(SystemTest, UnwritableErrorFileIsToldOnceOnStandardError) {
  ScopedDirectory directory("error_unwritable");
  // Directories in the way of every file name the next seconds could use.
  for (std::time_t t = std::time(nullptr), end = t + 30; t < end; ++t)
    fs::create_directory(System::ErrorFileName(LocalTime(t)));
  ::testing::internal::CaptureStderr();
  system.Error("cannot be filed");
  system.Error("cannot be filed either");
  const std::string told = ::testing::internal::GetCapturedStderr();
  EXPECT_EQ(0u, told.find("cannot write the error file error_log_")) << told;
  EXPECT_EQ(1, std::count(told.begin(), told.end(), '\n')) << told;
  EXPECT_FALSE(system.running);
  EXPECT_EQ("ERROR: cannot be filed\nERROR: cannot be filed either\n", LogAdded());
  for (const auto& name : directory.Files()) EXPECT_TRUE(fs::is_directory(name)) << name;
}

TEST_F(SystemTest, ReportsNameThePathBelowTheSourceRootAndTheMacrosLine) {
  EXPECT_EQ("geom/mesh.cpp:12 text", ErrorReport("/home/dev/cleave/source/geom/mesh.cpp", 12, "text"));
  // Outside the source tree the whole path is kept.
  EXPECT_EQ("tests/x_test.cpp:7 odd", ErrorReport("tests/x_test.cpp", 7, "odd"));

  ::testing::internal::CaptureStdout();
  CLEAVE_ASSERT(2 + 2 == 4);
  EXPECT_EQ("", LogAdded()) << "a holding assertion reports nothing";
  EXPECT_TRUE(system.running);
  const int assertLine = __LINE__ + 1;
  CLEAVE_ASSERT(2 + 2 == 5);
  const int warningLine = __LINE__ + 1;
  CLEAVE_WARNING("odd value");
  ::testing::internal::GetCapturedStdout();
  EXPECT_EQ("ERROR: " + ErrorReport(__FILE__, assertLine, "assert failed!") + "\nWARNING: " +
                ErrorReport(__FILE__, warningLine, "odd value") + "\n",
            LogAdded());
  EXPECT_FALSE(system.running) << "a failed assertion stops the engine after the frame";
}

// Frame pacing with a budget B = 1/60 s: the sleep fills the frame up to B,
// and both averages move a tenth of the way toward this frame's values (the
// frame time counting its sleep).
TEST(FramePacing, SleepAndAveragesAgainstHandValues) {
  const double B = kFrameBudget;
  struct {
    double work, avgWork, avgFrame, sleep, newAvgWork, newAvgFrame;
  } cases[] = {
      {B, 0.0, 0.05, 0.0, 0.1 * B, 0.9 * 0.05 + 0.1 * B},             // exactly the budget
      {0.005, 0.0, B, 0.0116666666666667, 0.0005, B},                   // short: sleeps the rest
      {0.005, 0.0, 0.05, 0.0116666666666667, 0.0005, 0.9 * 0.05 + 0.1 * B},
      {0.04, 0.01, B, 0.0, 0.9 * 0.01 + 0.004, 0.9 * B + 0.004},        // long: feeds its own time
  };
  System& system = System::Instance();
  for (const auto& c : cases) {
    SCOPED_TRACE(c.work);
    system.avgWorkTime = c.avgWork;
    system.avgFrameTime = c.avgFrame;
    EXPECT_NEAR(c.sleep, system.AccountFrame(c.work), 1e-12);
    EXPECT_EQ(c.work, system.lastFrameTime);
    EXPECT_DOUBLE_EQ(c.newAvgWork, system.avgWorkTime);
    EXPECT_DOUBLE_EQ(c.newAvgFrame, system.avgFrameTime);
  }
  // The load display is work over budget; a steady 5 ms settles at 0.3.
  system.avgWorkTime = 2.0 * B;
  EXPECT_EQ("Load: 2.000000\n", system.LoadDisplay());
  system.avgWorkTime = 0.0;
  for (int frame = 0; frame < 400; ++frame) system.AccountFrame(0.005);
  EXPECT_EQ("Load: 0.300000\n", system.LoadDisplay());
  EXPECT_NEAR(B, system.avgFrameTime, 1e-12);
}

}  // namespace
