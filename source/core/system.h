#pragma once
// System: the process-wide services. The running flag, the frame clock with
// its 60 Hz pacing and the load display, the log with its three levels and
// the error file, the settings, and (through a platform hook installed by
// the app) the window.
//
// The log is kept in an anonymous temporary file (tmpfile: unlinked, gone
// with the process), not in memory, so a long run's log costs no memory;
// GetLogText and the error file read it back.
//
// Failures are reported, never thrown: Error() logs, writes the whole log to
// an error file, clears `running` and returns at once, on any thread. Use
// the CLEAVE_ERROR / CLEAVE_WARNING / CLEAVE_ASSERT macros of diagnostics.h
// so reports carry "path/below/source.cpp:LINE message".

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <ctime>
#include <iosfwd>
#include <memory>
#include <string>

#include <boost/thread/mutex.hpp>

#include "core/diagnostics.h"
#include "core/frame_stats.h"
#include "core/module.h"
#include "core/settings.h"

// The frame budget of the 60 Hz loop, in seconds.
constexpr double kFrameBudget = 1.0 / 60.0;

// The platform side of the window: the app installs one (GLFW); without it
// the engine runs headless and OpenWindow reports that no window exists.
class SystemWindow {
 public:
  virtual ~SystemWindow() = default;
  // Opens the window and GL context; reports its own failures through Error.
  virtual void Open(int width, int height, bool fullscreen) = 0;
  virtual void SetTitle(const std::string& title) = 0;
};

// Options given on the command line, kept here for the modules that use them.
struct CommandLineOptions {
  long frames = 0;          // run this many frames, then shut down; 0 = no limit
  bool hasSeed = false;     // seed rand() with `seed` instead of the time
  unsigned seed = 0;
  std::string screenshot;   // write the last frame here as PNG
  std::string dumpScene;    // write the scene here as JSON lines at shutdown
  std::string saveScene;    // write the scene here as a glTF snapshot at shutdown
  std::string loadScene;    // start from this snapshot instead of the start objects
  std::string record;       // write the user's input here, frame by frame
  std::string replay;       // play this recording back instead of the user's input
  bool stats = false;       // print frame statistics as one JSON line at exit
  bool quiet = false;       // the console shows warnings, errors and milestones only
  std::string model;        // load this model file into the scene
  std::string slice;        // cut this model file without a window (with plane and out)
  std::string plane;        // "A,B,C,D" as given; read by the slicer
  std::string outDir;       // where the slicer writes the parts
};

class System : public Module<System> {
 public:
  System();

  void Init() override;    // resets the clock to 0
  void Update() override;  // writes the load display into the window title
  void Kill() override;

  void OpenWindow();
  void SetWindow(std::unique_ptr<SystemWindow> window);

  double GetTime() const;  // seconds since Init, on one monotonic clock
  void FrameStart();
  // Paces the frame to the budget; records its work time in frameStats.
  void FrameEnd();
  // The pacing arithmetic of FrameEnd for a frame whose work took `elapsed`
  // seconds: updates lastFrameTime and both averages, returns how long to
  // sleep to fill the 1/60 s budget (0 when the frame was over budget).
  double AccountFrame(double elapsed);
  // "Load: " and avgWorkTime / budget in fixed notation with 6 decimals,
  // then a line feed.
  std::string LoadDisplay() const;

  void Log(const std::string& message);
  // A line the console shows even with --quiet (a change the user made or
  // should know of).
  void Milestone(const std::string& message);
  void Warning(const std::string& message);
  void Error(const std::string& message);

  // The whole log so far (read back from the spool).
  std::string GetLogText();
  bool ErrorReported() const { return errorCount.load() > 0; }
  // Name of the error file for a local time: error_log_M_D_YYYY_h_m_s.txt.
  static std::string ErrorFileName(const std::tm& localTime);

  // Replaces the settings (as if read from the file) and the values taken
  // from them. For start-up and tests.
  void ApplySettings(const Settings& newSettings);

  std::atomic<bool> running{true};
  int32_t screenWidth = 800;
  int32_t screenHeight = 600;
  double avgWorkTime = 0.0;                 // seconds, exponential average
  double avgFrameTime = kFrameBudget;       // seconds, including the pacing sleep
  std::atomic<double> frameStartTime{0.0};  // seconds; read by the workers
  double lastFrameTime = kFrameBudget;      // seconds of work in the last frame
  Settings settings;
  bool fullscreen = false;
  bool windowOpen = false;
  CommandLineOptions options;
  FrameStats frameStats;  // enabled by the --stats option
  // The console side of the log goes to standard error instead of standard
  // output: for the slicer, whose standard output is its JSON line alone.
  std::atomic<bool> logToStandardError{false};

 private:
  // To the log; to the console too unless `quiet` holds and the line is
  // not for the console.
  void Write(const std::string& prefix, const std::string& message, bool console = true);
  // Copies the whole log to out; logMutex must be held.
  void CopyLog(std::ostream& out);

  boost::mutex logMutex;  // guards the console, logSpool and logText
  // The log spool; null when no temporary file could be made, in which case
  // the log is kept in logText instead.
  std::FILE* logSpool = nullptr;
  std::string logText;
  std::atomic<int> errorCount{0};
  double clockOrigin = 0.0;
  std::unique_ptr<SystemWindow> window;
};
