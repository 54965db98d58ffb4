// System: the settings it starts with, log formats, the error file (name and
// append), the error-report format, the assertion macro, and the frame
// pacing arithmetic with the load display.
//
// System is one instance for the whole executable. Every test that reports
// an error sets `running` back, and none depends on what earlier tests
// logged: each looks only at the text its own calls added.

#include <ctime>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "system.h"

namespace {

namespace fs = std::filesystem;

// The log text added since construction.
class LogWatch {
 public:
  LogWatch() : start(System::Instance().GetLogText().size()) {}
  std::string Added() const { return System::Instance().GetLogText().substr(start); }

 private:
  size_t start;
};

// A fresh, empty working directory for the life of the object.
class ScopedDirectory {
 public:
  explicit ScopedDirectory(const std::string& name) : original(fs::current_path()) {
    path = original / name;
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
  void Clear() const {
    for (const auto& entry : fs::directory_iterator(path)) fs::remove_all(entry.path());
  }

 private:
  fs::path original;
  fs::path path;
};

std::string ReadFile(const std::string& name) {
  std::ifstream in(name, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::tm LocalTime(std::time_t t) {
  std::tm local{};
  localtime_r(&t, &local);
  return local;
}

class SystemTest : public ::testing::Test {
 protected:
  // Creates System (if no earlier test did) in the test's working directory,
  // where its settings file is, before any test moves elsewhere.
  void SetUp() override { System::Instance(); }
  void TearDown() override { System::Instance().running = true; }
};

TEST_F(SystemTest, ReadsSettingsFileThatEndsWithALineFeed) {
  // The test environment wrote "screenWidth=640\nscreenHeight=480\n".
  System& system = System::Instance();
  EXPECT_TRUE(system.settings.valid);
  EXPECT_EQ(640, system.screenWidth);
  EXPECT_EQ(480, system.screenHeight);
  EXPECT_FALSE(system.fullscreen);
  EXPECT_DOUBLE_EQ(1.0 / 30.0, system.settings.slowFrameTime);
}

TEST_F(SystemTest, LogWarningAndErrorFormats) {
  System& system = System::Instance();
  ScopedDirectory directory("log_formats");
  LogWatch log;
  ::testing::internal::CaptureStdout();
  system.Log("frames = 3");
  system.Warning("low on \"memory\"");
  system.Error("geom/mesh.cpp:12 broken");
  const std::string console = ::testing::internal::GetCapturedStdout();
  const std::string expected = "frames = 3\nWARNING: low on \"memory\"\nERROR: geom/mesh.cpp:12 broken\n";
  EXPECT_EQ(expected, console);
  EXPECT_EQ(expected, log.Added());
  EXPECT_FALSE(system.running) << "Error clears the running flag";
  EXPECT_TRUE(system.ErrorReported());
}

TEST_F(SystemTest, ConcurrentLinesStayWhole) {
  System& system = System::Instance();
  LogWatch log;
  constexpr int kLines = 300;
  ::testing::internal::CaptureStdout();
  std::vector<std::thread> threads;
  for (int t = 0; t < 3; ++t)
    threads.emplace_back([&system, t] {
      for (int i = 0; i < kLines; ++i)
        system.Log("thread" + std::to_string(t) + " = " + std::to_string(i) + " padding padding padding");
    });
  for (auto& thread : threads) thread.join();
  const std::string console = ::testing::internal::GetCapturedStdout();

  // Every line arrives whole, and each thread's lines keep their order.
  for (const std::string& text : {log.Added(), console}) {
    std::istringstream lines(text);
    std::string line;
    int next[3] = {0, 0, 0};
    while (std::getline(lines, line)) {
      ASSERT_EQ(0u, line.find("thread")) << line;
      const int t = line[6] - '0';
      ASSERT_TRUE(t >= 0 && t < 3) << line;
      ASSERT_EQ("thread" + std::to_string(t) + " = " + std::to_string(next[t]) + " padding padding padding",
                line);
      ++next[t];
    }
    for (int count : next) EXPECT_EQ(kLines, count);
  }
}

TEST(ErrorFile, NameIsMonthDayYearHourMinuteSecond) {
  std::tm t{};
  t.tm_year = 2011 - 1900;
  t.tm_mon = 2;  // March
  t.tm_mday = 5;
  t.tm_hour = 9;
  t.tm_min = 7;
  t.tm_sec = 3;
  EXPECT_EQ("error_log_3_5_2011_9_7_3.txt", System::ErrorFileName(t));

  t.tm_year = 1999 - 1900;
  t.tm_mon = 11;
  t.tm_mday = 31;
  t.tm_hour = 23;
  t.tm_min = 59;
  t.tm_sec = 59;
  EXPECT_EQ("error_log_12_31_1999_23_59_59.txt", System::ErrorFileName(t));

  t.tm_mon = 0;
  t.tm_mday = 1;
  t.tm_hour = t.tm_min = t.tm_sec = 0;
  EXPECT_EQ("error_log_1_1_1999_0_0_0.txt", System::ErrorFileName(t));
}

TEST_F(SystemTest, TwoErrorsInOneSecondAppendTheWholeLogTwice) {
  System& system = System::Instance();
  ScopedDirectory directory("error_append");
  // Retry until both reports fall into the same second of the clock.
  for (int attempt = 0; attempt < 10; ++attempt) {
    directory.Clear();
    const std::time_t before = std::time(nullptr);
    system.Log("before the errors = " + std::to_string(attempt));
    system.Error("first failure");
    const std::string afterFirst = system.GetLogText();
    system.Error("second failure");
    const std::string afterSecond = system.GetLogText();
    const std::time_t after = std::time(nullptr);
    system.running = true;
    if (before != after) continue;

    const std::string name = System::ErrorFileName(LocalTime(before));
    ASSERT_EQ(std::vector<std::string>{name}, directory.Files());
    EXPECT_EQ(afterFirst + "\n" + afterSecond + "\n", ReadFile(name));
    EXPECT_NE(std::string::npos, afterSecond.find("ERROR: first failure\nERROR: second failure\n"));
    return;
  }
  FAIL() << "no two errors fell into the same second";
}

TEST_F(SystemTest, UnwritableErrorFileIsIgnored) {
  System& system = System::Instance();
  ScopedDirectory directory("error_unwritable");
  // Directories in the way of every file name the next seconds could use.
  const std::time_t now = std::time(nullptr);
  for (std::time_t t = now; t < now + 30; ++t)
    fs::create_directory(System::ErrorFileName(LocalTime(t)));
  LogWatch log;
  system.Error("cannot be filed");
  EXPECT_FALSE(system.running);
  EXPECT_EQ("ERROR: cannot be filed\n", log.Added());
  for (const auto& name : directory.Files()) EXPECT_TRUE(fs::is_directory(name)) << name;
}

TEST(ErrorReport, PathBelowTheSourceRootLineAndMessage) {
  EXPECT_EQ("geom/mesh.cpp:12 text", ErrorReport("/home/dev/cleave/source/geom/mesh.cpp", 12, "text"));
  EXPECT_EQ("main.cpp:122 Uncaught exception in engine init.",
            ErrorReport("/work/source/main.cpp", 122, "Uncaught exception in engine init."));
  // Outside the source tree the whole path is kept.
  EXPECT_EQ("tests/x_test.cpp:7 odd", ErrorReport("tests/x_test.cpp", 7, "odd"));
}

TEST_F(SystemTest, MacrosReportWhereTheyStand) {
  ScopedDirectory directory("macros");
  LogWatch log;
  ::testing::internal::CaptureStdout();
  CLEAVE_ASSERT(2 + 2 == 4);
  EXPECT_EQ("", log.Added()) << "a holding assertion reports nothing";
  EXPECT_TRUE(System::Instance().running);

  const int assertLine = __LINE__ + 1;
  CLEAVE_ASSERT(2 + 2 == 5);
  const int warningLine = __LINE__ + 1;
  CLEAVE_WARNING("odd value");
  ::testing::internal::GetCapturedStdout();
  EXPECT_EQ("ERROR: " + ErrorReport(__FILE__, assertLine, "assert failed!") + "\nWARNING: " +
                ErrorReport(__FILE__, warningLine, "odd value") + "\n",
            log.Added());
  EXPECT_FALSE(System::Instance().running) << "a failed assertion stops the engine after the frame";
}

// Frame pacing with a budget B = 1/60 s.
TEST(FramePacing, FrameOfExactlyTheBudgetDoesNotSleep) {
  System& system = System::Instance();
  system.avgWorkTime = 0.0;
  system.avgFrameTime = 0.05;
  EXPECT_EQ(0.0, system.AccountFrame(kFrameBudget));
  EXPECT_EQ(kFrameBudget, system.lastFrameTime);
  EXPECT_DOUBLE_EQ(0.1 * kFrameBudget, system.avgWorkTime);
  EXPECT_DOUBLE_EQ(0.9 * 0.05 + 0.1 * kFrameBudget, system.avgFrameTime);
}

TEST(FramePacing, ShortFrameSleepsTheRestAndAveragesTheBudget) {
  System& system = System::Instance();
  system.avgWorkTime = 0.0;
  system.avgFrameTime = kFrameBudget;
  const double sleep = system.AccountFrame(0.005);
  EXPECT_NEAR(0.0116666666666667, sleep, 1e-12);
  EXPECT_EQ(0.005, system.lastFrameTime);
  EXPECT_DOUBLE_EQ(0.0005, system.avgWorkTime);
  // The frame including its sleep lasted the budget, so the average stays
  // there rather than moving toward 5 ms.
  EXPECT_DOUBLE_EQ(kFrameBudget, system.avgFrameTime);

  system.avgFrameTime = 0.05;
  system.AccountFrame(0.005);
  EXPECT_DOUBLE_EQ(0.9 * 0.05 + 0.1 * kFrameBudget, system.avgFrameTime);
}

TEST(FramePacing, LongFrameFeedsItsOwnTime) {
  System& system = System::Instance();
  system.avgWorkTime = 0.01;
  system.avgFrameTime = kFrameBudget;
  EXPECT_EQ(0.0, system.AccountFrame(0.04));
  EXPECT_DOUBLE_EQ(0.9 * 0.01 + 0.004, system.avgWorkTime);
  EXPECT_DOUBLE_EQ(0.9 * kFrameBudget + 0.004, system.avgFrameTime);
}

TEST(FramePacing, LoadDisplayIsWorkOverBudget) {
  System& system = System::Instance();
  system.avgWorkTime = kFrameBudget / 4.0;
  EXPECT_EQ("Load: 0.250000\n", system.LoadDisplay());
  system.avgWorkTime = 2.0 * kFrameBudget;
  EXPECT_EQ("Load: 2.000000\n", system.LoadDisplay());

  // A steady 5 ms of work settles at 0.3 of the budget.
  system.avgWorkTime = 0.0;
  for (int frame = 0; frame < 400; ++frame) system.AccountFrame(0.005);
  EXPECT_EQ("Load: 0.300000\n", system.LoadDisplay());
  EXPECT_NEAR(kFrameBudget, system.avgFrameTime, 1e-12);
}

}  // namespace
