#include "graphics/stats_overlay.h"

#include <cstdio>

#include "core/system.h"
#include "objects/object_manager.h"
#include "physics/ground_plane.h"
#include "physics/physics_comp.h"
#include "window/input_manager.h"
#include "window/interface_manager.h"
#include "window/tweak_bar.h"

namespace {

constexpr char kOverlayKey = 'I';
// Seconds between two refreshes of the overlay's lines.
constexpr double kRefreshTime = 0.25;

// The overlay's name of each step, in FrameStep order.
const char* const kStepNames[] = {"mesh upload", "geometry pass", "occlusion pass", "final pass",
                                  "overlays",    "present",       "physics step",   "collision step"};
static_assert(sizeof kStepNames / sizeof kStepNames[0] == static_cast<int>(FrameStep::kCount),
              "one name per step");

std::string Format(const char* format, double a, double b = 0.0, double c = 0.0,
                   double d = 0.0) {
  char line[128];
  std::snprintf(line, sizeof line, format, a, b, c, d);
  return line;
}

}  // namespace

void StatsOverlay::FillBar(TweakBar& bar) {
  bar.AddGroup("Debug views", false);
  bar.AddBool("Debug views", "Statistics (I)", &shown);
  bar.AddButton("Debug views", "Restart statistics",
                [] { System::Instance().frameStats.RequestReset(); });
}

std::vector<std::string> StatsOverlay::Lines(const FrameSummary& s) {
  std::vector<std::string> lines;
  lines.push_back("frames " + std::to_string(s.frames) + Format("   load %.4f", s.load));
  lines.push_back(Format("frame ms: mean %.3f  min %.3f", s.meanMs, s.minMs));
  lines.push_back(Format("  median %.3f  p95 %.3f  worst %.3f", s.medianMs, s.p95Ms, s.worstMs));
  for (int i = 0; i < static_cast<int>(FrameStep::kCount); ++i)
    lines.push_back(std::string(kStepNames[i]) + Format(" %.3f ms", s.stepMs[i]));
  lines.push_back("bodies awake " + std::to_string(s.scene.bodiesAwake) + ", asleep " +
                  std::to_string(s.scene.bodiesAsleep));
  lines.push_back("contact points " + std::to_string(s.scene.contacts));
  lines.push_back("pieces made " + std::to_string(s.scene.piecesMade));
  return lines;
}

void StatsOverlay::Update(int contactPoints) {
  if (InputManager::Instance().WasKeyPressed(kOverlayKey)) shown = !shown;
  System& system = System::Instance();
  InterfaceManager& interface = InterfaceManager::Instance();
  if (shown) system.frameStats.enabled = true;
  if (!system.frameStats.enabled) return;

  int awake = 0, asleep = 0;
  {
    ObjectLock lock;
    for (const auto& entry : ObjectManager::Instance().objects) {
      const GameObject& obj = entry.second;
      const PhysicsComp* physics = obj.Find<PhysicsComp>();
      if (obj.dead || physics == nullptr || obj.name == kGroundPlaneName) continue;
      ++(physics->sleeping ? asleep : awake);
    }
  }
  system.frameStats.SetScene(awake, asleep, contactPoints);
  if (!shown) {
    interface.overlayLines.clear();
    return;
  }
  const double now = system.GetTime();
  if (!interface.overlayLines.empty() && now - lastRefresh < kRefreshTime) return;
  lastRefresh = now;
  interface.overlayLines = Lines(system.frameStats.Summarise());
}
