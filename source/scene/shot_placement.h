#pragma once
// Where a new object may appear without overlapping what is there: a shot
// placed inside another object would be pushed out of it, and a deep overlap
// resolved in one go throws both far.

#include <vector>

#include "collision/broad_phase.h"
#include "math/vector.h"

// Clearance kept between the new sphere and the others, and above the floor.
constexpr float kPlacementGap = 0.05f;

// The lowest centre at or above `center` (same x and z) at which a sphere of
// `radius` keeps kPlacementGap from every sphere of `others` and from the
// plane y = floorY below it. Each overlap lifts the sphere just over the
// sphere it overlaps; lifting never makes a cleared sphere overlap again,
// so one pass per lift suffices.
Vector LiftClear(const Vector& center, float radius, const std::vector<SphereEntry>& others,
                 float floorY);

// Where a shot goes: the nearest clear place beside `center` at its height
// (raised to the floor), searched on kPlacementRings rings around it, one
// radius apart; only when all of them are taken, LiftClear. Lifting alone
// stacks quick shots into a tower whose top objects fall from so high that
// they hit the heap hard enough to throw pieces across the ground.
constexpr int kPlacementRings = 4;
Vector PlaceClear(const Vector& center, float radius, const std::vector<SphereEntry>& others,
                  float floorY);
