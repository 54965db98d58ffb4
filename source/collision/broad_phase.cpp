#include "collision/broad_phase.h"

#include <algorithm>
#include <cmath>

#include "collision/rigid_transform.h"

SphereEntry WorldSphere(uint32_t objectId, const Vector& position, const Quaternion& orientation,
                        const CollisionComp& comp) {
  SphereEntry sphere;
  sphere.objectId = objectId;
  const Vector offset = RotateVector(orientation, comp.boundingCenter);
  sphere.center = Vector(position.x + offset.x, position.y + offset.y, position.z + offset.z, 0.0f);
  sphere.radius = comp.boundingRadius;
  sphere.groupMask = comp.groupMask;
  sphere.collideMask = comp.collideMask;
  return sphere;
}

SphereEntry SpeculativeSphere(uint32_t objectId, const Vector& position,
                              const Quaternion& orientation, const CollisionComp& comp) {
  SphereEntry sphere = WorldSphere(objectId, position, orientation, comp);
  sphere.radius += MotionReach(comp) + 0.5f * kSpeculativeSlack;
  return sphere;
}

ObjectSpan SpanAlong(const SphereEntry& sphere, const Vector& axis) {
  ObjectSpan span;
  const float c = Dot3(sphere.center, axis);
  span.min = c - sphere.radius;
  span.max = c + sphere.radius;
  span.objectId = sphere.objectId;
  span.groupMask = sphere.groupMask;
  span.collideMask = sphere.collideMask;
  return span;
}

void SweepAndPrune(std::vector<ObjectSpan>& spans, std::vector<CandidateSet>& sets) {
  std::sort(spans.begin(), spans.end(),
            [](const ObjectSpan& a, const ObjectSpan& b) { return a.min < b.min; });
  sets.resize(spans.size());
  for (size_t i = 0; i < spans.size(); ++i) {
    const ObjectSpan& a = spans[i];
    CandidateSet& set = sets[i];
    set.objectId = a.objectId;
    set.candidates.clear();
    for (size_t j = i + 1; j < spans.size(); ++j) {
      const ObjectSpan& b = spans[j];
      // Sorted by start: once a later span starts past a's start without
      // overlapping, it starts at or after a's end, and so do all the rest.
      if (b.min > a.min && !(a.max > b.min)) break;
      if (SpansOverlap(a, b) && MasksMeet(a, b) && !(a.resting && b.resting))
        set.candidates.push_back(b.objectId);
    }
  }
}

bool SpheresOverlap(const SphereEntry& a, const SphereEntry& b) {
  const Vector d = a.center - b.center;
  const float separation = std::sqrt(Dot3(d, d)) - (a.radius + b.radius);
  return separation < 0.0f;
}
