#include "scene/shot_placement.h"

#include <algorithm>
#include <cmath>

Vector LiftClear(const Vector& center, float radius, const std::vector<SphereEntry>& others,
                 float floorY) {
  Vector placed = WithW(center, 0.0f);
  placed.y = std::max(placed.y, floorY + radius + kPlacementGap);
  // Every lift moves the sphere strictly up, over one sphere, and a sphere
  // once cleared from above stays cleared, so there are at most as many
  // lifts as spheres.
  for (size_t lifts = 0; lifts <= others.size(); ++lifts) {
    bool lifted = false;
    for (const SphereEntry& other : others) {
      const float reach = radius + other.radius + kPlacementGap;
      const float dx = placed.x - other.center.x;
      const float dz = placed.z - other.center.z;
      const float dy = placed.y - other.center.y;
      const float across = dx * dx + dz * dz;
      if (across + dy * dy >= reach * reach) continue;
      placed.y = other.center.y + std::sqrt(reach * reach - across);
      lifted = true;
    }
    if (!lifted) break;
  }
  return placed;
}

namespace {

bool Clear(const Vector& placed, float radius, const std::vector<SphereEntry>& others) {
  for (const SphereEntry& other : others) {
    const float reach = radius + other.radius + kPlacementGap;
    const Vector d = WithW(placed - other.center, 0.0f);
    if (Dot3(d, d) < reach * reach) return false;
  }
  return true;
}

}  // namespace

Vector PlaceClear(const Vector& center, float radius, const std::vector<SphereEntry>& others,
                  float floorY) {
  constexpr float kTwoPi = 6.28318531f;
  Vector wanted = WithW(center, 0.0f);
  wanted.y = std::max(wanted.y, floorY + radius + kPlacementGap);
  if (Clear(wanted, radius, others)) return wanted;
  // Ring k holds 6k places, k radii out, so neighbouring places on a ring
  // are about one radius apart too.
  for (int ring = 1; ring <= kPlacementRings; ++ring) {
    const int places = 6 * ring;
    for (int i = 0; i < places; ++i) {
      const float angle = kTwoPi * static_cast<float>(i) / static_cast<float>(places);
      const float out = radius * static_cast<float>(ring);
      const Vector candidate(wanted.x + out * std::cos(angle), wanted.y, wanted.z + out * std::sin(angle), 0.0f);
      if (Clear(candidate, radius, others)) return candidate;
    }
  }
  return LiftClear(wanted, radius, others, floorY);
}
