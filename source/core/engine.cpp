#include "core/engine.h"

#include "core/system.h"

Engine::Engine(EnginePlan plan_) : plan(std::move(plan_)) {}

Engine::~Engine() { StopWorkers(); }

void Engine::Run() {
  System& system = System::Instance();

  try {
    // A module that fails to start ends the start-up: the ones after it
    // would build on what is missing.
    // Nor do the worker threads start: there is nothing for them to step.
    for (const auto& step : plan.init) {
      step();
      if (!system.running) break;
    }
    if (system.running) StartWorkers();
  } catch (...) {
    CLEAVE_ERROR("Uncaught exception in engine init.");
  }

  try {
    while (system.running) {
      system.FrameStart();
      for (const auto& step : plan.update) step();
      barrier.Wait();
      system.FrameEnd();
      ++framesRun;
      if (plan.frameLimit > 0 && framesRun >= plan.frameLimit) system.running = false;
    }
  } catch (...) {
    CLEAVE_ERROR("Uncaught exception in main loop.");
  }

  StopWorkers();

  try {
    for (const auto& step : plan.kill) step();
  } catch (...) {
    CLEAVE_ERROR("Uncaught exception in engine kill.");
  }
}

void Engine::StartWorkers() {
  physicsThread = boost::thread([this] {
    WorkerLoop(plan.physicsUpdate, FrameStep::kPhysics, "Uncaught exception in physics thread.");
  });
  collisionThread = boost::thread([this] {
    WorkerLoop(plan.collisionUpdate, FrameStep::kCollision,
               "Uncaught exception in collision thread.");
  });
}

void Engine::StopWorkers() {
  barrier.Release();
  if (physicsThread.joinable()) physicsThread.join();
  if (collisionThread.joinable()) collisionThread.join();
}

void Engine::WorkerLoop(const std::function<void()>& update, FrameStep step,
                        const char* failure) {
  System& system = System::Instance();
  // The worker meets the barrier every frame until shutdown releases it, even
  // once the running flag is clear: the three threads read the flag at
  // different moments, so the main thread may have begun one more frame (and
  // will wait at the barrier) when a worker first sees it clear. Leaving
  // then would block the main thread for good. With the flag clear the
  // worker only waits; it starts no more updates.
  while (!barrier.Released()) {
    if (system.running) {
      const double start = system.GetTime();
      try {
        if (update) update();
      } catch (...) {
        CLEAVE_ERROR(failure);
      }
      system.frameStats.AddStep(step, system.GetTime() - start);
    }
    barrier.Wait();
  }
}
