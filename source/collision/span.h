#pragma once
// Span: an interval along one axis, as the sweep-and-prune broad phase sees a
// bounding sphere. ObjectSpan adds the object, its pair-filter masks and
// whether it rests.

#include <cstdint>

struct Span {
  virtual ~Span() = default;
  float min = 0.0f;
  float max = 0.0f;
};

struct ObjectSpan : public Span {
  uint32_t objectId = 0;
  uint32_t groupMask = 0;
  uint32_t collideMask = 0;
  // The object's CollisionComp::resting: two resting objects make no pair.
  bool resting = false;
};

// Open-interval overlap: touching intervals do not overlap. Written from the
// point of view of whichever interval starts first.
inline bool SpansOverlap(const Span& a, const Span& b) {
  if (b.min > a.min) return a.max > b.min;
  return b.max > a.min;
}

// A pair is wanted when either side's group meets the other's collide mask.
inline bool MasksMeet(const ObjectSpan& a, const ObjectSpan& b) {
  return (b.groupMask & a.collideMask) != 0 || (b.collideMask & a.groupMask) != 0;
}
