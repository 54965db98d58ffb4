#pragma once
// LiveSettingsPanel: the bar's "Live settings" group and the bookkeeping
// behind it. Load reads the live settings file into the scene's
// LiveSettings; the bar then edits them in place. Every frame Update hands
// the physics settings that changed (gravity, solver iterations, sleeping)
// to "Physics" in one "Settings" event, which the physics thread applies
// before its next step, and writes the file once the settings have stayed
// unchanged for kSaveDelay (a dragged slider is written once, not every
// frame). Save writes what is still unwritten (at exit). The other settings
// are read by the scene itself every frame.
//
// Main thread only.

#include <string>

#include "core/event.h"
#include "core/live_settings.h"

class TweakBar;

class LiveSettingsPanel {
 public:
  // Seconds the settings must stay unchanged before they are written.
  static constexpr double kSaveDelay = 0.5;

  // Reads `path` into `settings` (see LoadLiveSettings) and keeps both; the
  // next Update sends every physics setting.
  void Load(LiveSettings& settings, const std::string& path = kLiveSettingsFile);
  void FillBar(TweakBar& bar);
  // `now`: System time, seconds.
  void Update(double now);
  void Save();

  // The "Settings" event to "Physics" carrying the physics settings of
  // `settings` that differ from `previous` (all of them when previous is
  // null); false when there is nothing to send.
  static bool PhysicsEvent(const LiveSettings& settings, const LiveSettings* previous,
                           Event& event);

 private:
  LiveSettings* settings = nullptr;
  std::string path;
  LiveSettings sent;       // what Physics was last sent
  bool sentAll = false;    // Physics has been sent every setting since Load
  LiveSettings saved;      // what the file holds
  LiveSettings lastSeen;   // the settings at the last Update
  double changedAt = 0.0;  // when lastSeen last changed
};
