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
