#include "window/live_settings_panel.h"

#include "core/event_manager.h"
#include "window/tweak_bar.h"

namespace {
// The bar's slider steps: units/s^2, none (a fraction of real time), units/s, ms.
constexpr float kGravityStep = 0.5f;
constexpr float kTimeScaleStep = 0.05f;
constexpr float kShotSpeedStep = 0.5f;
constexpr float kCullFrameStep = 1.0f;
}  // namespace

void LiveSettingsPanel::Load(LiveSettings& liveSettings, const std::string& file) {
  settings = &liveSettings;
  path = file;
  liveSettings = LoadLiveSettings(path);
  saved = lastSeen = liveSettings;
  sentAll = false;
}

void LiveSettingsPanel::FillBar(TweakBar& bar) {
  if (settings == nullptr) return;
  const std::string group = "Live settings";
  bar.AddGroup(group, false);
  bar.AddFloat(group, "Gravity", &settings->gravity, kMinGravity, kMaxGravity, kGravityStep);
  bar.AddInt(group, "Solver iterations", &settings->solverIterations, kMinSolverIterations,
             kMaxSolverIterations);
  bar.AddBool(group, "Sleeping", &settings->sleeping);
  bar.AddFloat(group, "Time scale", &settings->timeScale, kMinTimeScale, kMaxTimeScale,
               kTimeScaleStep);
  bar.AddFloat(group, "Shot speed", &settings->shotSpeed, kMinShotSpeed, kMaxShotSpeed,
               kShotSpeedStep);
  bar.AddBool(group, "Culling", &settings->culling);
  bar.AddFloat(group, "Cull above (ms)", &settings->cullFrameMs, kMinCullFrameMs,
               kMaxCullFrameMs, kCullFrameStep);
}

bool LiveSettingsPanel::PhysicsEvent(const LiveSettings& s, const LiveSettings* previous,
                                     Event& event) {
  event = Event("LiveSettings", "Physics", "Settings");
  bool any = false;
  if (previous == nullptr || previous->gravity != s.gravity) {
    event.SetParam<float>("gravity", s.gravity);
    any = true;
  }
  if (previous == nullptr || previous->solverIterations != s.solverIterations) {
    event.SetParam<uint32_t>("iterations", static_cast<uint32_t>(s.solverIterations));
    any = true;
  }
  if (previous == nullptr || previous->sleeping != s.sleeping) {
    event.SetParam<bool>("sleeping", s.sleeping);
    any = true;
  }
  return any;
}

void LiveSettingsPanel::Update(double now) {
  if (settings == nullptr) return;
  Event event;
  if (PhysicsEvent(*settings, sentAll ? &sent : nullptr, event))
    EventManager::Instance().PostEvent(event);
  sent = *settings;
  sentAll = true;

  if (*settings != lastSeen) {
    lastSeen = *settings;
    changedAt = now;
  }
  if (lastSeen != saved && now - changedAt >= kSaveDelay) Save();
}

void LiveSettingsPanel::Save() {
  if (settings == nullptr || *settings == saved) return;
  // A failed write is warned about once; the file is tried again only after
  // the next change.
  SaveLiveSettings(path, *settings);
  saved = *settings;
}
