// Engine: the start-up, loop and shutdown orders with their three exception
// guards, the two workers at the barrier, shutdown while a worker is busy,
// worker exceptions and the frame limit, driven through plans of recording
// steps.

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <future>
#include <regex>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "core/engine.h"
#include "core/event.h"
#include "core/system.h"

namespace {

using Steps = std::vector<std::string>;

// Runs the engine on a thread of its own. A deadlocked engine cannot be
// joined, so a run that does not finish ends the whole executable with a
// message rather than showing only as a timeout.
void RunEngine(Engine& engine) {
  std::future<void> run = std::async(std::launch::async, [&engine] { engine.Run(); });
  if (run.wait_for(std::chrono::seconds(20)) == std::future_status::ready) return run.get();
  std::fprintf(stderr, "FATAL: %s: Engine::Run did not finish within 20 s (deadlock)\n",
               ::testing::UnitTest::GetInstance()->current_test_info()->name());
  std::_Exit(1);
}

size_t CountMatches(const std::string& text, const std::string& pattern) {
  const std::regex re(pattern);
  return static_cast<size_t>(std::distance(std::sregex_iterator(text.begin(), text.end(), re), std::sregex_iterator()));
}

class EngineTest : public ::testing::Test {
 protected:
  void SetUp() override {
    System::Instance().running = true;
    logStart = System::Instance().GetLogText().size();
  }
  void TearDown() override { System::Instance().running = true; }
  std::string LogAdded() const { return System::Instance().GetLogText().substr(logStart); }
  size_t logStart = 0;
};

// One failure in a plan of three recording inits, one update and three
// kills: where it strikes, what it is, and what the run must then do.
struct GuardCase {
  const char* what;
  std::string failStep;
  int failOnCall;
  std::function<void()> fail;
  Steps steps;          // every step, in order (a prefix when `prefixOnly`)
  bool prefixOnly;
  long frames;          // frames completed; each worker updates this often or once more
  std::string report;   // pattern of the one error line expected; empty for none
};

TEST_F(EngineTest, StartUpLoopAndShutdownOrdersWithTheirGuards) {
  const Steps inits = {"init A", "init B", "init C"}, kills = {"kill A", "kill B", "kill C"};
  const std::string uncaught = "ERROR: core/engine\\.cpp:[0-9]+ Uncaught exception in ";
  const GuardCase cases[] = {
      {"frame limit", "", 0, nullptr,
       {"init A", "init B", "init C", "update", "update", "update", "update", "kill A", "kill B", "kill C"}, false, 4,
       ""},
      // An error in an Init lets the remaining Inits run, then skips the loop.
      {"error in init", "init B", 1, [] { CLEAVE_ERROR("init B failed"); },
       {"init A", "init B", "init C", "kill A", "kill B", "kill C"}, false, 0,
       "ERROR: \\S*engine_test\\.cpp:[0-9]+ init B failed\n"},
      // An exception skips the remaining Inits too; it need not be a std::exception.
      {"exception in init", "init B", 1, [] { throw 42; }, {"init A", "init B", "kill A", "kill B", "kill C"}, false,
       0, uncaught + "engine init\\.\n"},
      {"exception in the loop", "update", 3, [] { Event("Test", "Nobody", "Bad").GetParam<float>("missing"); },
       {"init A", "init B", "init C", "update", "update", "update", "kill A", "kill B", "kill C"}, false, 2,
       uncaught + "main loop\\.\n"},
      {"exception in a kill", "kill B", 1, [] { throw std::runtime_error("kill failed"); },
       {"init A", "init B", "init C", "update", "update", "update", "update", "kill A", "kill B"}, true, 4,
       uncaught + "engine kill\\.\n"},
  };
  for (const GuardCase& c : cases) {
    SCOPED_TRACE(c.what);
    System::Instance().running = true;
    logStart = System::Instance().GetLogText().size();
    Steps steps;  // inits, updates and kills all run on the engine's main thread
    std::atomic<int> physicsUpdates{0}, collisionUpdates{0};
    auto step = [&](const std::string& name) {
      return [&, name] {
        steps.push_back(name);
        if (name == c.failStep && std::count(steps.begin(), steps.end(), name) == c.failOnCall) c.fail();
      };
    };
    EnginePlan plan;
    for (const std::string& name : inits) plan.init.push_back(step(name));
    plan.update = {step("update")};
    for (const std::string& name : kills) plan.kill.push_back(step(name));
    plan.physicsUpdate = [&] { ++physicsUpdates; };
    plan.collisionUpdate = [&] { ++collisionUpdates; };
    plan.frameLimit = 4;
    Engine engine(plan);
    RunEngine(engine);

    if (c.prefixOnly) steps.resize(std::min(steps.size(), c.steps.size()));
    EXPECT_EQ(c.steps, steps);
    EXPECT_EQ(c.frames, engine.FramesRun());
    // A frame passes the barrier only after both workers have updated in it,
    // and the workers test the running flag before their first update.
    for (const int updates : {physicsUpdates.load(), collisionUpdates.load()}) {
      EXPECT_GE(updates, c.frames);
      EXPECT_LE(updates, c.frames + 1);
    }
    EXPECT_EQ(c.report.empty() ? 0u : 1u, CountMatches(LogAdded(), "ERROR")) << LogAdded();
    if (!c.report.empty()) {
      EXPECT_EQ(1u, CountMatches(LogAdded(), c.report)) << LogAdded();
    }
    EXPECT_FALSE(System::Instance().running);
  }
}

// An error reported in the very first frame, by any of the three threads,
// while the workers may not yet have tested the running flag: the run must
// still end, after that one frame.
TEST_F(EngineTest, ErrorInTheFirstFrameEndsTheRunFromAnyThread) {
  for (int round = 0; round < 24; ++round) {
    SCOPED_TRACE("reporter " + std::to_string(round % 3) + ", round " + std::to_string(round));
    System::Instance().running = true;
    EnginePlan plan;
    std::atomic<int> kills{0};
    const std::function<void()> report = [] { CLEAVE_ERROR("first frame failed"); };
    if (round % 3 == 0) plan.update = {report};
    if (round % 3 == 1) plan.physicsUpdate = report;
    if (round % 3 == 2) plan.collisionUpdate = report;
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
    std::atomic<int> busy{0}, started{0}, lateStarts{0}, busyAtKill{0};  // started: physics updates
    auto workerUpdate = [&](int milliseconds, bool isPhysics) {
      return [&, milliseconds, isPhysics] {
        if (killing) ++lateStarts;
        ++busy;
        if (isPhysics) ++started;
        std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
        --busy;
      };
    };
    EnginePlan plan;
    plan.physicsUpdate = workerUpdate(40, true);
    plan.collisionUpdate = workerUpdate(2, false);
    if (viaException) {
      // In the third frame, once that frame's physics update has started,
      // the main thread throws and leaves the loop at once.
      plan.update = {[&started, frame = 0]() mutable {
        if (++frame < 3) return;
        while (started < 3) std::this_thread::yield();
        throw std::runtime_error("leave the loop");
      }};
    } else {
      plan.frameLimit = 3;
    }
    plan.kill = {[&] { killing = true, busyAtKill = busy.load(); }, [&] { busyAtKill += busy.load(); }};
    Engine engine(plan);
    RunEngine(engine);
    EXPECT_EQ(0, busyAtKill.load());
    EXPECT_EQ(0, lateStarts.load());
    EXPECT_GE(started.load(), 3);
  }
}

// A worker's update throws in the second frame. The exception is reported
// with the worker's name, and the worker goes on meeting the barrier and
// updating in the frames that follow (the main thread undoes the stop after
// the report to show it).
TEST_F(EngineTest, WorkerExceptionIsReportedAndTheWorkerKeepsMeetingTheBarrier) {
  for (const bool physicsThrows : {true, false}) {
    const std::string worker = physicsThrows ? "physics" : "collision";
    const std::string message = "Uncaught exception in " + worker + " thread.";
    SCOPED_TRACE(message);
    System::Instance().running = true;
    logStart = System::Instance().GetLogText().size();
    // The main thread announces it has begun the second frame (so it is past
    // its test of the running flag) before the worker throws.
    std::atomic<bool> mainInSecondFrame{false};
    std::atomic<int> failingCalls{0}, otherCalls{0};
    const std::function<void()> failing = [&] {
      if (++failingCalls != 2) return;
      while (!mainInSecondFrame) std::this_thread::yield();
      throw std::runtime_error("worker failed");
    };
    const std::function<void()> other = [&otherCalls] { ++otherCalls; };
    EnginePlan plan;
    plan.physicsUpdate = physicsThrows ? failing : other;
    plan.collisionUpdate = physicsThrows ? other : failing;
    plan.update = {[&, frame = 0]() mutable {
      if (++frame != 2) return;
      mainInSecondFrame = true;
      // Error clears the flag last, so a cleared flag plus the message means the report is complete.
      System& system = System::Instance();
      for (int i = 0; i < 10000 && (system.running || system.GetLogText().find(message) == std::string::npos); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
      system.running = true;
    }};
    plan.frameLimit = 6;
    Engine engine(plan);
    RunEngine(engine);
    EXPECT_EQ(6, engine.FramesRun());
    const std::string report = "ERROR: core/engine\\.cpp:[0-9]+ Uncaught exception in " + worker + " thread\\.\n";
    EXPECT_EQ(1u, CountMatches(LogAdded(), report)) << LogAdded();
    EXPECT_GE(failingCalls.load(), 6) << "the failing worker kept updating after its exception";
    EXPECT_GE(otherCalls.load(), 5);
  }
}

}  // namespace
