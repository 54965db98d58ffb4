// cleave: the slicing sandbox. Reads the command line, wires every module
// into the engine's start-up, frame and shutdown orders, and runs it.

#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <memory>

#include "collision/collision_manager.h"
#include "core/command_line.h"
#include "core/data_folder.h"
#include "core/engine.h"
#include "core/event_manager.h"
#include "core/system.h"
#include "game_logic/game_logic.h"
#include "graphics/graphics.h"
#include "objects/object_manager.h"
#include "physics/physics.h"
#include "scene/slice_command.h"
#include "scene/state_hash.h"
#include "sound/sound_manager.h"
#include "window/input_manager.h"
#include "window/interface_manager.h"
#include "window/system_window.h"

namespace {

// Ctrl+C and SIGTERM end the run the normal way: the frame finishes, then
// every module is shut down. Storing to a lock-free atomic is signal-safe.
std::atomic<bool>* gRunning = nullptr;

extern "C" void OnStopSignal(int) {
  if (gRunning) gRunning->store(false);
}

// With --stats, SIGUSR1 starts the statistics over (the scene benchmark sends
// it once its scene is built). RequestReset only sets an atomic flag.
FrameStats* gStats = nullptr;

extern "C" void OnStatsResetSignal(int) {
  if (gStats) gStats->RequestReset();
}

EnginePlan MakePlan(long frameLimit) {
  EnginePlan plan;
  plan.init = {
      [] { EventManager::Instance().Init(); },
      [] { System::Instance().Init(); },
      [] { System::Instance().OpenWindow(); },
      [] { Graphics::Instance().Init(); },
      [] { InterfaceManager::Instance().Init(); },
      [] { InputManager::Instance().Init(); },
      [] { CollisionManager::Instance().Init(); },
      [] { Physics::Instance().Init(); },
      [] { SoundManager::Instance().Init(); },
      [] { GameLogic::Instance().Init(); },
  };
  plan.update = {
      [] { EventManager::Instance().Update(); },
      [] { System::Instance().Update(); },
      [] { InputManager::Instance().Update(); },
      [] { SoundManager::Instance().Update(); },
      [] { GameLogic::Instance().Update(); },
      [] { InterfaceManager::Instance().Update(); },
      [] { Graphics::Instance().Update(); },
  };
  plan.physicsUpdate = [] { Physics::Instance().Update(); };
  plan.collisionUpdate = [] { CollisionManager::Instance().Update(); };
  plan.kill = {
      [] { Graphics::Instance().Kill(); },
      [] { InterfaceManager::Instance().Kill(); },
      [] { InputManager::Instance().Kill(); },
      [] { CollisionManager::Instance().Kill(); },
      [] { Physics::Instance().Kill(); },
      [] { SoundManager::Instance().Kill(); },
      [] { GameLogic::Instance().Kill(); },
      [] { System::Instance().Kill(); },
      [] { EventManager::Instance().Kill(); },
  };
  plan.frameLimit = frameLimit;
  return plan;
}

}  // namespace

int main(int argc, char** argv) {
  CommandLineOptions options;
  std::string error;
  switch (ParseCommandLine(argc, argv, options, error)) {
    case CommandLineResult::kHelp:
      std::cout << CommandLineUsage();
      return 0;
    case CommandLineResult::kError:
      std::cerr << "cleave: " << error << "\n" << CommandLineUsage();
      return 2;
    case CommandLineResult::kRun:
      break;
  }

  // The slicer needs no window, no engine and no data folder.
  // Its standard output is its JSON alone: every log line, from the first
  // (a settings.txt parse error, when System is created), goes to standard
  // error.
  if (!options.slice.empty()) {
    std::streambuf* const standardOutput = std::cout.rdbuf(std::cerr.rdbuf());
    System::Instance().logToStandardError = true;
    std::cout.rdbuf(standardOutput);
    return RunSliceCommand(options.slice, options.plane, options.outDir, std::cout, std::cerr);
  }

  System& system = System::Instance();
  system.options = options;
  system.SetWindow(std::make_unique<GlfwWindow>());
  gRunning = &system.running;
  std::signal(SIGINT, OnStopSignal);
  std::signal(SIGTERM, OnStopSignal);

  system.Log("0 = 0");
  system.Log("0 = 0");

  // Recordings and replays hash the scene once per simulated second.
  InputManager::Instance().stateHash = [] {
    ObjectLock lock;
    return StateHash(ObjectManager::Instance().objects);
  };

  system.frameStats.enabled = options.stats;
  if (options.stats) {
    gStats = &system.frameStats;
    std::signal(SIGUSR1, OnStatsResetSignal);
  }
  // Shaders and assets are read from the data folder: without it nothing
  // could be drawn, so the run ends before any window opens.
  const DataFolderSearch data = FindDataFolder(std::getenv(kDataFolderVariable), ExecutablePath());
  if (data.found) {
    SetDataFolder(data.folder);
    Engine engine(MakePlan(options.frames));
    engine.Run();
  } else {
    CLEAVE_ERROR(data.report);
  }
  system.SetWindow(nullptr);  // closes the window after every module is down
  // After the log's last line, so that a reader can take the last line.
  if (options.stats) std::cout << system.frameStats.Json() << std::endl;

  if (!system.ErrorReported()) return 0;
  // After an error the console may vanish with the program (a double-clicked
  // terminal); give the reader a chance, but only when someone can answer.
  if (isatty(STDIN_FILENO)) {
    std::cout << "An error was reported; see the error_log file. Press Enter to exit." << std::endl;
    std::getchar();
  }
  return 1;
}
