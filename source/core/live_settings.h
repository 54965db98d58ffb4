#pragma once
// LiveSettings: the sandbox settings a user changes while it runs (in the
// tweak bar) and keeps between runs. They live in a file of their own next
// to the user's settings.txt, which the program only ever reads.
//
// Main thread only: the game logic reads them every frame and hands what the
// worker threads need to them through events or at the frame barrier.

#include <cstdint>

struct LiveSettings {
  float gravity = 10.0f;         // downward acceleration, units/s^2
  int32_t solverIterations = 8;  // velocity sweeps per physics step
  bool sleeping = true;          // bodies at rest may fall asleep
  float timeScale = 1.0f;        // simulated seconds per real second, 0.1 .. 1
  float shotSpeed = 0.0f;        // units/s a shot leaves the camera with; 0 drops it
  bool culling = true;           // remove objects while frames are slow
  float cullFrameMs = 1000.0f / 30.0f;  // frame time above which culling starts, ms
};

#include <string>

// The ranges the bar offers and a file may hold; a value outside its range
// makes the file bad.
constexpr float kMinGravity = 0.0f, kMaxGravity = 50.0f;         // units/s^2
constexpr int32_t kMinSolverIterations = 1, kMaxSolverIterations = 50;
constexpr float kMinTimeScale = 0.1f, kMaxTimeScale = 1.0f;
constexpr float kMinShotSpeed = 0.0f, kMaxShotSpeed = 100.0f;    // units/s
constexpr float kMinCullFrameMs = 5.0f, kMaxCullFrameMs = 1000.0f;

// The file the live settings are kept in, in the working folder.
constexpr const char* kLiveSettingsFile = "live_settings.txt";

bool operator==(const LiveSettings& a, const LiveSettings& b);
inline bool operator!=(const LiveSettings& a, const LiveSettings& b) { return !(a == b); }

// File text: one "key = value" line per field, keys named as the fields,
// "true"/"false" for switches, floats to nine significant digits so that a
// value read back is the value written. Blank lines and lines starting with
// '#' are skipped; a key left out keeps its default.
std::string FormatLiveSettings(const LiveSettings& settings);
// False, with `error` naming the first bad line (unknown key, unreadable or
// out-of-range value), and `settings` untouched; true with the values read.
bool ParseLiveSettings(const std::string& text, LiveSettings& settings, std::string& error);

// The settings in `path`: the defaults when the file is missing (silently)
// or bad (with a warning that names the file and the line).
LiveSettings LoadLiveSettings(const std::string& path);
// Writes the whole file through a temporary file renamed over it, so a
// reader never sees half a file; a failure is warned about and returns false.
bool SaveLiveSettings(const std::string& path, const LiveSettings& settings);
