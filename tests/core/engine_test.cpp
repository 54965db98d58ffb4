// The barrier of the three threads, then the Engine: the start-up, loop and
// shutdown orders with their three exception guards, the two workers at the
// barrier, an error in the first frame, shutdown while a worker is busy, and
// worker exceptions, driven through plans of recording steps.

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <future>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "core/barrier.h"
#include "core/engine.h"
#include "core/event.h"
#include "core/system.h"
#include "support/log_capture.h"

namespace {

TEST(Barrier, NoPartyPassesBeforeAllArriveOverManyGenerations) {
  constexpr int kParties = 3, kGenerations = 3000;
  Barrier barrier(kParties);
  std::atomic<int> arrived[kParties] = {};  // the generation each party has reached (1-based)
  std::atomic<int> completions{0}, early{0}, ahead{0};
  auto party = [&](int self) {
    for (int g = 1; g <= kGenerations; ++g) {
      arrived[self].store(g);
      if (barrier.Wait()) ++completions;
      for (const auto& other : arrived) {
        early += other.load() < g;      // passed while another had not arrived
        ahead += other.load() > g + 1;  // another got more than one generation ahead
      }
    }
  };
  std::vector<std::future<void>> parties;
  for (int p = 0; p < kParties; ++p) parties.push_back(std::async(std::launch::async, party, p));
  for (auto& p : parties) ASSERT_EQ(std::future_status::ready, p.wait_for(std::chrono::seconds(60)));
  EXPECT_EQ(0, early.load());
  EXPECT_EQ(0, ahead.load());
  EXPECT_EQ(kGenerations, completions.load()) << "exactly one party completes each generation";
  EXPECT_EQ(static_cast<unsigned>(kGenerations), barrier.Generation());
  barrier.Release();
  EXPECT_FALSE(barrier.Wait()) << "after Release nobody waits";
}

using Steps = std::vector<std::string>;

// A deadlocked engine cannot be joined: a run that does not finish ends the
// whole program with a message rather than showing only as a timeout.
void RunEngine(EnginePlan plan, long* frames = nullptr) {
  Engine engine(std::move(plan));
  std::future<void> run = std::async(std::launch::async, [&engine] { engine.Run(); });
  if (run.wait_for(std::chrono::seconds(20)) != std::future_status::ready) {
    std::fprintf(stderr, "FATAL: Engine::Run did not finish within 20 s (deadlock)\n");
    std::_Exit(1);
  }
  if (frames != nullptr) *frames = engine.FramesRun();
}

// One failure in a plan of three recording inits, one update and three
// kills (four frames at most): where it strikes, and what the run must do.
TEST(Engine, StartUpLoopAndShutdownOrdersWithTheirGuards) {
  const struct {
    std::string failStep;  // on its first call, or the third for "update"
    std::function<void()> fail;
    Steps steps;     // every step in order after the inits (a prefix when a kill throws)
    long frames;     // frames completed; each worker updates this often or once more
    std::string report;  // the one error line expected; empty for none
  } cases[] = {
      {"", nullptr, {"init C", "update", "update", "update", "update", "kill A", "kill B", "kill C"}, 4, ""},
      // An error in an Init skips the remaining Inits and the loop.
      {"init B", [] { CLEAVE_ERROR("init B failed"); }, {"kill A", "kill B", "kill C"}, 0, "init B failed"},
      // An exception skips the remaining Inits too; it need not be a std::exception.
      {"init B", [] { throw 42; }, {"kill A", "kill B", "kill C"}, 0, "Uncaught exception in engine init."},
      {"update", [] { Event("Test", "Nobody", "Bad").GetParam<float>("missing"); },
       {"init C", "update", "update", "update", "kill A", "kill B", "kill C"}, 2, "Uncaught exception in main loop."},
      {"kill B", [] { throw std::runtime_error("kill failed"); },
       {"init C", "update", "update", "update", "update", "kill A", "kill B"}, 4, "Uncaught exception in engine kill."},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.report);
    support::LogCapture log;
    Steps steps;  // inits, updates and kills all run on the engine's main thread
    std::atomic<int> physicsUpdates{0}, collisionUpdates{0};
    auto step = [&](const std::string& name) {
      return [&, name] {
        steps.push_back(name);
        if (name == c.failStep && std::count(steps.begin(), steps.end(), name) == (name == "update" ? 3 : 1)) c.fail();
      };
    };
    EnginePlan plan;
    for (const char* name : {"init A", "init B", "init C"}) plan.init.push_back(step(name));
    plan.update = {step("update")};
    for (const char* name : {"kill A", "kill B", "kill C"}) plan.kill.push_back(step(name));
    plan.physicsUpdate = [&] { ++physicsUpdates; };
    plan.collisionUpdate = [&] { ++collisionUpdates; };
    plan.frameLimit = 4;
    long frames = -1;
    RunEngine(plan, &frames);
    Steps expected = {"init A", "init B"};
    expected.insert(expected.end(), c.steps.begin(), c.steps.end());
    if (c.failStep == "kill B") steps.resize(std::min(steps.size(), expected.size()));
    EXPECT_EQ(expected, steps);
    EXPECT_EQ(c.frames, frames);
    // A frame passes the barrier only after both workers have updated in it,
    // and the workers test the running flag before their first update.
    for (const int updates : {physicsUpdates.load(), collisionUpdates.load()}) {
      EXPECT_TRUE(updates >= c.frames && updates <= c.frames + 1) << updates;
    }
    EXPECT_EQ(c.report.empty() ? 0u : 1u, log.Count("ERROR")) << log.NewLog();
    EXPECT_EQ(c.report.empty() ? 0u : 1u, log.Count(c.report + "\n")) << log.NewLog();
    EXPECT_FALSE(System::Instance().running);
  }
}

// An error reported in the very first frame by any of the three threads,
// while the workers may not yet have tested the running flag: the run must
// still end after that one frame. Shutdown that begins while the physics
// worker is busy waits for its update, and no update starts afterwards.
TEST(Engine, FirstFrameErrorsAndShutdownWhileAWorkerIsBusy) {
  for (int round = 0; round < 24; ++round) {
    SCOPED_TRACE("reporter " + std::to_string(round % 3) + ", round " + std::to_string(round));
    support::LogCapture log;
    EnginePlan plan;
    std::atomic<int> kills{0};
    const std::function<void()> report = [] { CLEAVE_ERROR("first frame failed"); };
    if (round % 3 == 0) plan.update = {report};
    if (round % 3 == 1) plan.physicsUpdate = report;
    if (round % 3 == 2) plan.collisionUpdate = report;
    plan.kill = {[&kills] { ++kills; }};
    plan.frameLimit = 50;
    long frames = -1;
    RunEngine(plan, &frames);
    EXPECT_EQ(1, kills.load());
    EXPECT_LE(frames, 1);
  }
  for (const bool viaException : {true, false}) {
    SCOPED_TRACE(viaException ? "loop ends by an exception" : "loop ends by the frame limit");
    support::LogCapture log;
    std::atomic<bool> killing{false};
    std::atomic<int> busy{0}, started{0}, lateStarts{0}, busyAtKill{0};  // started: physics updates
    auto workerUpdate = [&](int milliseconds, bool isPhysics) {
      return [&, milliseconds, isPhysics] {
        lateStarts += killing ? 1 : 0;
        ++busy;
        started += isPhysics ? 1 : 0;
        std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
        --busy;
      };
    };
    EnginePlan plan;
    plan.physicsUpdate = workerUpdate(40, true);
    plan.collisionUpdate = workerUpdate(2, false);
    plan.frameLimit = viaException ? 0 : 3;
    // In the third frame, once that frame's physics update has started, the
    // main thread throws and leaves the loop at once.
    if (viaException) plan.update = {[&started, frame = 0]() mutable {
        if (++frame < 3) return;
        while (started < 3) std::this_thread::yield();
        throw std::runtime_error("leave the loop");
      }};
    plan.kill = {[&] { killing = true, busyAtKill = busy.load(); }, [&] { busyAtKill += busy.load(); }};
    RunEngine(plan);
    EXPECT_EQ(0, busyAtKill.load());
    EXPECT_EQ(0, lateStarts.load());
    EXPECT_GE(started.load(), 3);
  }
}

// A worker's update throws in the second frame: the exception is reported
// with the worker's name, and the worker goes on meeting the barrier and
// updating (the main thread undoes the stop after the report to show it).
TEST(Engine, WorkerExceptionIsReportedAndTheWorkerKeepsMeetingTheBarrier) {
  for (const bool physicsThrows : {true, false}) {
    const std::string message =
        std::string("Uncaught exception in ") + (physicsThrows ? "physics" : "collision") + " thread.";
    SCOPED_TRACE(message);
    support::LogCapture log;
    // The main thread has begun the second frame (so it is past its test of
    // the running flag) before the worker throws.
    std::atomic<bool> mainInSecondFrame{false};
    std::atomic<int> failingCalls{0}, otherCalls{0};
    EnginePlan plan;
    (physicsThrows ? plan.physicsUpdate : plan.collisionUpdate) = [&] {
      if (++failingCalls != 2) return;
      while (!mainInSecondFrame) std::this_thread::yield();
      throw std::runtime_error("worker failed");
    };
    (physicsThrows ? plan.collisionUpdate : plan.physicsUpdate) = [&otherCalls] { ++otherCalls; };
    plan.update = {[&, frame = 0]() mutable {
      if (++frame != 2) return;
      mainInSecondFrame = true;
      // Error clears the flag last: a cleared flag plus the message means the report is complete.
      System& system = System::Instance();
      for (int i = 0; i < 10000 && (system.running || !log.Logged(message)); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
      system.running = true;
    }};
    plan.frameLimit = 6;
    long frames = -1;
    RunEngine(plan, &frames);
    EXPECT_EQ(6, frames);
    EXPECT_EQ(1u, log.Count(message + "\n")) << log.NewLog();
    EXPECT_GE(failingCalls.load(), 6) << "the failing worker kept updating after its exception";
    EXPECT_GE(otherCalls.load(), 5);
  }
}

}  // namespace
