#pragma once
// Engine: start-up, main loop and shutdown around the modules, with the two
// worker threads. Which module does what is given as a plan, so the same
// runner drives the real modules (main.cpp) and test doubles.
//
//   start-up (guarded): every init step in order until one reports an
//     error (clears System.running), then the physics worker, then the
//     collision worker;
//   main loop (guarded): while System.running: FrameStart, every update
//     step, the barrier, FrameEnd;
//   workers: until shutdown releases the barrier: their update while running
//     (exceptions are reported and the worker goes on; the time it took goes
//     to System's frame statistics), then the barrier;
//   stop: release the barrier and join both workers, so no worker update
//     runs once shutdown has begun;
//   shutdown (guarded): every kill step in order.
// An exception leaving a guarded phase is reported through System::Error,
// which clears the running flag; the later phases still run.

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <boost/thread/thread.hpp>

#include "core/barrier.h"
#include "core/frame_stats.h"

struct EnginePlan {
  std::vector<std::function<void()>> init;
  std::vector<std::function<void()>> update;
  std::function<void()> physicsUpdate;
  std::function<void()> collisionUpdate;
  std::vector<std::function<void()>> kill;
  long frameLimit = 0;  // stop after this many frames; 0 = no limit
};

class Engine {
 public:
  explicit Engine(EnginePlan plan);
  ~Engine();

  void Run();
  long FramesRun() const { return framesRun; }

 private:
  void StartWorkers();
  void StopWorkers();
  void WorkerLoop(const std::function<void()>& update, FrameStep step, const char* failure);

  EnginePlan plan;
  Barrier barrier{3};
  boost::thread physicsThread;
  boost::thread collisionThread;
  long framesRun = 0;
};
