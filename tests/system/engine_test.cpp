// Engine: the start-up, loop and shutdown orders with their three exception
// guards, the two workers at the barrier, shutdown while a worker is busy,
// worker exceptions and the frame limit, driven through plans of recording
// steps.
//
// Every run goes through RunEngine, which ends the whole test executable
// with a message if the run does not finish: a deadlocked engine cannot be
// joined, and a hang would otherwise only show as a timeout.

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <future>
#include <memory>
#include <mutex>
#include <ostream>
#include <regex>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "engine.h"
#include "event.h"
#include "system.h"

namespace {

using Steps = std::vector<std::string>;

// The order in which steps ran, from any thread.
class Trace {
 public:
  void Add(const std::string& step) {
    std::lock_guard<std::mutex> lock(mutex);
    steps.push_back(step);
  }
  std::function<void()> Step(const std::string& step) {
    return [this, step] { Add(step); };
  }
  Steps Get() {
    std::lock_guard<std::mutex> lock(mutex);
    return steps;
  }
  size_t Count(const std::string& step) {
    std::lock_guard<std::mutex> lock(mutex);
    return static_cast<size_t>(std::count(steps.begin(), steps.end(), step));
  }

 private:
  std::mutex mutex;
  Steps steps;
};

size_t Occurrences(const std::string& text, const std::string& needle) {
  size_t count = 0;
  for (size_t at = text.find(needle); at != std::string::npos; at = text.find(needle, at + 1)) ++count;
  return count;
}

// "ERROR: engine.cpp:LINE <message>\n", the report of the runner itself.
std::regex EngineReport(const std::string& message) {
  return std::regex("ERROR: engine\\.cpp:[0-9]+ " + std::regex_replace(message, std::regex("\\."), "\\.") + "\n");
}

size_t CountMatches(const std::string& text, const std::regex& pattern) {
  return static_cast<size_t>(
      std::distance(std::sregex_iterator(text.begin(), text.end(), pattern), std::sregex_iterator()));
}

class EngineTest : public ::testing::Test {
 protected:
  void SetUp() override {
    System::Instance().running = true;
    logStart = System::Instance().GetLogText().size();
  }
  void TearDown() override { System::Instance().running = true; }

  // Runs the engine on a thread of its own and waits for it to finish.
  void RunEngine(Engine& engine) {
    std::future<void> run = std::async(std::launch::async, [&engine] { engine.Run(); });
    if (run.wait_for(std::chrono::seconds(20)) == std::future_status::ready) return run.get();
    std::fprintf(stderr, "FATAL: %s: Engine::Run did not finish within 20 s (deadlock)\n",
                 ::testing::UnitTest::GetInstance()->current_test_info()->name());
    std::_Exit(1);
  }

  std::string LogAdded() const { return System::Instance().GetLogText().substr(logStart); }

  // A plan of three recording init and kill steps and one update step.
  EnginePlan RecordingPlan() {
    EnginePlan plan;
    plan.init = {trace.Step("init A"), trace.Step("init B"), trace.Step("init C")};
    plan.update = {trace.Step("update")};
    plan.physicsUpdate = [this] { ++physicsUpdates; };
    plan.collisionUpdate = [this] { ++collisionUpdates; };
    plan.kill = {trace.Step("kill A"), trace.Step("kill B"), trace.Step("kill C")};
    return plan;
  }

  Trace trace;
  std::atomic<int> physicsUpdates{0};
  std::atomic<int> collisionUpdates{0};
  size_t logStart = 0;
};

const Steps kAllKills = {"kill A", "kill B", "kill C"};

Steps Concat(Steps a, const Steps& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

TEST_F(EngineTest, FrameLimitRunsThatManyFramesThenShutsDownCleanly) {
  EnginePlan plan = RecordingPlan();
  plan.frameLimit = 4;
  Engine engine(plan);
  RunEngine(engine);

  EXPECT_EQ(4, engine.FramesRun());
  EXPECT_EQ(Concat({"init A", "init B", "init C", "update", "update", "update", "update"}, kAllKills),
            trace.Get());
  // A frame passes the barrier only after both workers have updated in it.
  EXPECT_GE(physicsUpdates.load(), 4);
  EXPECT_GE(collisionUpdates.load(), 4);
  EXPECT_LE(physicsUpdates.load(), 5);
  EXPECT_LE(collisionUpdates.load(), 5);
  EXPECT_EQ(std::string::npos, LogAdded().find("ERROR")) << LogAdded();
  EXPECT_FALSE(System::Instance().running);
}

TEST_F(EngineTest, ErrorDuringInitRunsRemainingInitsSkipsLoopRunsEveryKill) {
  EnginePlan plan = RecordingPlan();
  plan.init[1] = [this] {
    trace.Add("init B");
    CLEAVE_ERROR("init B failed");
  };
  plan.frameLimit = 3;
  Engine engine(plan);
  RunEngine(engine);

  EXPECT_EQ(Concat({"init A", "init B", "init C"}, kAllKills), trace.Get());
  EXPECT_EQ(0, engine.FramesRun());
  EXPECT_EQ(0, physicsUpdates.load()) << "workers test the flag before their first update";
  EXPECT_EQ(0, collisionUpdates.load());
  EXPECT_EQ(1u, Occurrences(LogAdded(), "init B failed\n"));
  EXPECT_EQ(std::string::npos, LogAdded().find("Uncaught exception")) << LogAdded();
}

TEST_F(EngineTest, ExceptionDuringInitSkipsRemainingInitsAndLoopRunsEveryKill) {
  EnginePlan plan = RecordingPlan();
  plan.init[1] = [this] {
    trace.Add("init B");
    throw 42;  // not even a std::exception
  };
  plan.frameLimit = 3;
  Engine engine(plan);
  RunEngine(engine);

  EXPECT_EQ(Concat({"init A", "init B"}, kAllKills), trace.Get());
  EXPECT_EQ(0, engine.FramesRun());
  EXPECT_EQ(0, physicsUpdates.load());
  EXPECT_EQ(0, collisionUpdates.load());
  EXPECT_EQ(1u, CountMatches(LogAdded(), EngineReport("Uncaught exception in engine init."))) << LogAdded();
  EXPECT_FALSE(System::Instance().running);
}

TEST_F(EngineTest, ExceptionInTheLoopIsReportedAndShutdownRuns) {
  EnginePlan plan = RecordingPlan();
  std::atomic<int> frame{0};
  plan.update.push_back([&frame] {
    if (++frame == 3) Event("Test", "Nobody", "Bad").GetParam<float>("missing");  // throws
  });
  plan.frameLimit = 10;
  Engine engine(plan);
  RunEngine(engine);

  EXPECT_EQ(2, engine.FramesRun());
  EXPECT_EQ(Concat({"init A", "init B", "init C", "update", "update", "update"}, kAllKills), trace.Get());
  EXPECT_EQ(1u, CountMatches(LogAdded(), EngineReport("Uncaught exception in main loop."))) << LogAdded();
}

TEST_F(EngineTest, ExceptionInAKillStepIsReported) {
  EnginePlan plan = RecordingPlan();
  plan.kill[1] = [this] {
    trace.Add("kill B");
    throw std::runtime_error("kill failed");
  };
  plan.frameLimit = 2;
  Engine engine(plan);
  RunEngine(engine);

  // The kills before and including the failing one ran, in order.
  const Steps expected = {"init A", "init B", "init C", "update", "update", "kill A", "kill B"};
  const Steps steps = trace.Get();
  ASSERT_GE(steps.size(), expected.size());
  EXPECT_EQ(expected, Steps(steps.begin(), steps.begin() + static_cast<long>(expected.size())));
  EXPECT_EQ(1u, CountMatches(LogAdded(), EngineReport("Uncaught exception in engine kill."))) << LogAdded();
}

// An error reported in the very first frame, by any of the three threads,
// while the workers may not yet have tested the running flag: the run must
// still end, after that one frame.
TEST_F(EngineTest, ErrorInTheFirstFrameEndsTheRunFromAnyThread) {
  const char* const reporters[] = {"main", "physics", "collision"};
  for (int round = 0; round < 24; ++round) {
    const std::string reporter = reporters[round % 3];
    SCOPED_TRACE(reporter + " reports, round " + std::to_string(round));
    System::Instance().running = true;
    EnginePlan plan;
    std::atomic<int> kills{0};
    auto report = [](const std::string& who) {
      return [who] { CLEAVE_ERROR("first frame failed on " + who); };
    };
    if (reporter == "main") plan.update = {report("main")};
    if (reporter == "physics") plan.physicsUpdate = report("physics");
    if (reporter == "collision") plan.collisionUpdate = report("collision");
    plan.kill = {[&kills] { ++kills; }};
    plan.frameLimit = 50;
    Engine engine(plan);
    RunEngine(engine);
    EXPECT_EQ(1, kills.load());
    EXPECT_LE(engine.FramesRun(), 1);
  }
}

// Shutdown begins while the physics worker is in the middle of an update:
// the update finishes before any Kill runs, and none starts afterwards.
TEST_F(EngineTest, NoWorkerUpdateRunsOnceShutdownHasBegun) {
  for (const bool viaException : {true, false}) {
    SCOPED_TRACE(viaException ? "loop ends by an exception" : "loop ends by the frame limit");
    System::Instance().running = true;
    std::atomic<bool> killing{false};
    std::atomic<int> busy{0};        // worker updates in progress
    std::atomic<int> started{0};     // physics updates started
    std::atomic<int> lateStarts{0};  // worker updates started after the first Kill began
    std::atomic<int> busyAtKill{0};

    auto workerUpdate = [&](std::chrono::milliseconds duration, bool isPhysics) {
      return [&, duration, isPhysics] {
        if (killing) ++lateStarts;
        ++busy;
        if (isPhysics) ++started;
        std::this_thread::sleep_for(duration);
        --busy;
      };
    };
    EnginePlan plan;
    plan.physicsUpdate = workerUpdate(std::chrono::milliseconds(40), true);
    plan.collisionUpdate = workerUpdate(std::chrono::milliseconds(2), false);
    if (viaException) {
      // In the third frame, once the physics update of that frame has
      // started, the main thread throws and leaves the loop at once.
      std::shared_ptr<int> frame = std::make_shared<int>(0);
      plan.update = {[&started, frame] {
        if (++*frame < 3) return;
        while (started < 3) std::this_thread::yield();
        throw std::runtime_error("leave the loop");
      }};
    } else {
      plan.frameLimit = 3;
    }
    plan.kill = {[&] {
                   killing = true;
                   busyAtKill = busy.load();
                 },
                 [&] { busyAtKill += busy.load(); }};
    Engine engine(plan);
    RunEngine(engine);

    EXPECT_EQ(0, busyAtKill.load());
    EXPECT_EQ(0, lateStarts.load());
    EXPECT_GE(started.load(), 3);
  }
}

struct WorkerCase {
  const char* thread;
  bool physicsThrows;
};

void PrintTo(const WorkerCase& c, std::ostream* os) { *os << c.thread << " worker"; }

class WorkerExceptionTest : public EngineTest, public ::testing::WithParamInterface<WorkerCase> {};

// The worker's update throws in the second frame. The exception is reported
// with the worker's name, and the worker goes on meeting the barrier and
// updating in the frames that follow (the test keeps the engine running
// after the report to show it).
TEST_P(WorkerExceptionTest, IsReportedAndTheWorkerKeepsMeetingTheBarrier) {
  const WorkerCase& c = GetParam();
  const std::string message = std::string("Uncaught exception in ") + c.thread + " thread.";
  // The second frame: the main thread announces it has begun the frame (so
  // it is past its test of the running flag), the worker then throws, and
  // once the report is complete (Error clears the flag last) the main thread
  // undoes the stop so the following frames run.
  auto mainInSecondFrame = std::make_shared<std::atomic<bool>>(false);
  std::atomic<int> failingCalls{0};
  std::atomic<int> otherCalls{0};
  auto failing = [&failingCalls, mainInSecondFrame] {
    if (++failingCalls != 2) return;
    while (!*mainInSecondFrame) std::this_thread::yield();
    throw std::runtime_error("worker failed");
  };
  auto other = [&otherCalls] { ++otherCalls; };

  EnginePlan plan;
  plan.physicsUpdate = c.physicsThrows ? std::function<void()>(failing) : other;
  plan.collisionUpdate = c.physicsThrows ? std::function<void()>(other) : failing;
  auto frame = std::make_shared<int>(0);
  plan.update = {[frame, message, mainInSecondFrame] {
    if (++*frame != 2) return;
    *mainInSecondFrame = true;
    System& system = System::Instance();
    for (int i = 0; i < 10000 && (system.running || system.GetLogText().find(message) == std::string::npos); ++i)
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    system.running = true;
  }};
  plan.frameLimit = 6;
  Engine engine(plan);
  RunEngine(engine);

  EXPECT_EQ(6, engine.FramesRun());
  EXPECT_EQ(1u, CountMatches(LogAdded(), EngineReport(message))) << LogAdded();
  EXPECT_GE(failingCalls.load(), 6) << "the failing worker kept updating after its exception";
  EXPECT_GE(otherCalls.load(), 5);
}

INSTANTIATE_TEST_SUITE_P(Workers, WorkerExceptionTest,
                         ::testing::Values(WorkerCase{"physics", true}, WorkerCase{"collision", false}),
                         [](const ::testing::TestParamInfo<WorkerCase>& info) {
                           return std::string(info.param.thread);
                         });

}  // namespace
