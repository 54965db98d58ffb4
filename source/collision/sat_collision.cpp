#include "collision/sat_collision.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "core/diagnostics.h"

namespace {

// Cross products of edge directions shorter than this on any one component
// are dropped as axes (a test per component, which also drops axes lying in
// a coordinate plane of the reference frame).
constexpr float kAxisEpsilon = 1e-8f;
// In multiple-contact mode, B's vertices within this fraction of its
// bounding radius of the deepest one become contact points.
constexpr float kContactBand = 0.05f;
// Rounding allowance of the inner-ball bound, per unit of the two bounding
// radii: far above float rounding of the projections, far below a depth
// that matters.
constexpr float kBoundSlack = 1e-4f;

// The gap between two intervals on an axis, measured from the one that
// starts first: positive when they are apart, zero when they touch, negative
// (minus some overlap) otherwise.
inline float Gap(float minA, float maxA, float minB, float maxB) {
  return minB > minA ? minB - maxA : minA - maxB;
}

}  // namespace

SATCollision::SATCollision() = default;

bool SATCollision::CachedAxis(uint32_t idA, uint32_t idB, uint32_t& axisIndex) const {
  const uint32_t* index = cache.Find(CacheKey(idA, idB));
  if (index == nullptr) return false;
  axisIndex = *index;
  return true;
}

size_t SATCollision::BuildAxes(const CollisionComp& reference, const CollisionComp& other,
                               const RotationBlock& relative, const Vector* offset) {
  // Order: the reference's face normals, the other's, then the edge cross
  // products with the reference's edges in the outer loop. The cache stores
  // indices into this order. The list is written in one pass, with the
  // alignments when they are asked for: with round hulls the edge products
  // number in the thousands, and a second pass over them costs as much as
  // the first.
  otherEdges.clear();
  for (const Vector& e : other.edgeDirections) otherEdges.push_back(relative.Rotate(e));
  const size_t most = reference.faceNormals.size() + other.faceNormals.size() +
                      reference.edgeDirections.size() * otherEdges.size();
  if (axes.size() < most) axes.resize(most);
  if (offset != nullptr && alignment.size() < most) alignment.resize(most);
  Vector* out = axes.data();
  float* aligned = alignment.data();
  size_t count = 0, probe = 0;
  float widest = 0.0f;
  // Keeps the axis; the first axis with the largest alignment is the probe.
  const auto keep = [&](const Vector& axis) {
    out[count] = axis;
    if (offset != nullptr) {
      const float along = std::fabs(Dot3(*offset, axis));
      aligned[count] = along;
      if (count == 0 || along > widest) widest = along, probe = count;
    }
    ++count;
  };
  for (const Vector& n : reference.faceNormals) keep(n);
  for (const Vector& n : other.faceNormals) keep(relative.Rotate(n));
  for (const Vector& a : reference.edgeDirections) {
    for (const Vector& b : otherEdges) {
      const Vector c = Cross(a, b);
      if (std::fabs(c.x) > kAxisEpsilon && std::fabs(c.y) > kAxisEpsilon &&
          std::fabs(c.z) > kAxisEpsilon) {
        keep(c / std::sqrt(Dot3(c, c)));
      }
    }
  }
  axisCount = count;
  return probe;
}

bool SATCollision::Collide(const SatBody& a, const SatBody& b, bool multipleContacts,
                           double time, const ContactSink& sink) {
  const CollisionComp& compA = *a.comp;
  const CollisionComp& compB = *b.comp;
  // The reference frame is the object with more hull vertices; the other
  // object's hull is brought into it by the relative transform
  // reference^-1 * other.
  const bool referenceIsA = compA.hullVertices.size() > compB.hullVertices.size();
  const SatBody& reference = referenceIsA ? a : b;
  const SatBody& other = referenceIsA ? b : a;
  const CollisionComp& refComp = *reference.comp;
  const CollisionComp& otherComp = *other.comp;
  if (refComp.hullVertices.empty() || otherComp.hullVertices.empty()) return false;

  const RotationBlock relative(reference.transform.Inverse() * other.transform);
  // A hull's own cloud is used as it is when the generator made one (its
  // count matches); otherwise it is filled here.
  const size_t refCount = refComp.hullVertices.size();
  const size_t otherCount = otherComp.hullVertices.size();
  Cloud& otherCloud = referenceIsA ? cloudB : cloudA;
  Cloud& refScratch = referenceIsA ? cloudA : cloudB;
  if (refComp.hullCloud.Size() != refCount) Fill(refComp.hullVertices, nullptr, refScratch);
  const Cloud& refCloud = refComp.hullCloud.Size() == refCount ? refComp.hullCloud : refScratch;
  if (otherComp.hullCloud.Size() == otherCount) {
    Move(otherComp.hullCloud, relative, otherCloud);
  } else {
    Fill(otherComp.hullVertices, &relative, otherCloud);
  }
  const Cloud& cloudOfA = referenceIsA ? refCloud : otherCloud;
  const Cloud& cloudOfB = referenceIsA ? otherCloud : refCloud;

  // Most pairs that reach this point and were ever apart are still apart
  // along the axis they were last remembered by. When that axis is a face
  // normal, it sits at the same index of the axis list whatever the edge
  // products turn out to be (the normals come first), and the list is at
  // least that long, so it can be tried before the list is built. This is
  // the first step of the walk below, with the same axis and the same
  // numbers; a pair it does not separate takes the whole walk, which starts
  // with the same test again.
  //
  // A pair is rejected along an axis whose gap is not below the reach (a
  // gap that is not a number rejects too, as an overlap test would).
  const float reach = SpeculativeReach(compA, compB);
  const uint64_t key = CacheKey(a.objectId, b.objectId);
  const uint32_t* cached = cache.Find(key);
  const size_t refNormalCount = refComp.faceNormals.size();
  const size_t otherNormalCount = otherComp.faceNormals.size();
  // Both hulls' intervals on axis `index` of the list. On its own face
  // normals a hull's interval is known (faceExtents, in its own frame); the
  // other hull's moves with the relative translation along the axis.
  const bool refExtents = refComp.faceExtents.size() == 2 * refNormalCount;
  const bool otherExtents = otherComp.faceExtents.size() == 2 * otherNormalCount;
  const auto project = [&](size_t index, const Vector& axis, float& minA, float& maxA,
                           float& minB, float& maxB) {
    float refMin, refMax, otherMin, otherMax;
    if (refExtents && index < refNormalCount) {
      refMin = refComp.faceExtents[2 * index];
      refMax = refComp.faceExtents[2 * index + 1];
    } else {
      Project(refCloud, axis, refMin, refMax);
    }
    const size_t own = index - refNormalCount;  // wraps below refNormalCount
    if (otherExtents && own < otherNormalCount) {
      const float shift = Dot3(relative.t, axis);
      otherMin = otherComp.faceExtents[2 * own] + shift;
      otherMax = otherComp.faceExtents[2 * own + 1] + shift;
    } else {
      Project(otherCloud, axis, otherMin, otherMax);
    }
    minA = referenceIsA ? refMin : otherMin;
    maxA = referenceIsA ? refMax : otherMax;
    minB = referenceIsA ? otherMin : refMin;
    maxB = referenceIsA ? otherMax : refMax;
  };
  if (cached != nullptr && *cached < refNormalCount + otherComp.faceNormals.size()) {
    const Vector axis = *cached < refNormalCount
                            ? refComp.faceNormals[*cached]
                            : relative.Rotate(otherComp.faceNormals[*cached - refNormalCount]);
    float minA, maxA, minB, maxB;
    project(*cached, axis, minA, maxA, minB, maxB);
    if (!(Gap(minA, maxA, minB, maxB) < reach)) return false;
  }

  // The hulls' inner balls (innerRadius about each bounding centre) cover
  // the centres' projections -+ their radii on every axis, so along an axis
  // where the centres lie |c.axis| apart the hulls overlap by at least
  // inner - |c.axis|: never apart there, and no shallower. First the axis
  // the centres lie furthest apart along, the likeliest shallow one, gives
  // a depth the pair reaches; then the walk passes over every axis whose
  // least overlap exceeds that, or the least depth found so far, by a slack
  // for rounding (or exceeds the slack alone once the pair is seen apart):
  // none of them could reject the pair, show a gap or be the least deep (an
  // axis no shallower than the best so far does not replace it).
  const bool innerKnown = refComp.innerRadius > 0.0f && otherComp.innerRadius > 0.0f;
  const Vector c = relative.Apply(otherComp.boundingCenter) - refComp.boundingCenter;
  const size_t probe = BuildAxes(refComp, otherComp, relative, innerKnown ? &c : nullptr);
  if (axisCount == 0) {
    CLEAVE_ERROR("assert failed!");
    return false;
  }

  const float inner = refComp.innerRadius + otherComp.innerRadius;
  const float slack = kBoundSlack * (compA.boundingRadius + compB.boundingRadius);
  float limit = std::numeric_limits<float>::infinity();
  if (innerKnown) {
    float minA, maxA, minB, maxB;
    project(probe, axes[probe], minA, maxA, minB, maxB);
    if (Gap(minA, maxA, minB, maxB) < 0.0f) {
      limit = std::min(maxA - minB, maxB - minA) + slack;
    }
  }

  size_t start = 0;
  // Axis lists change size (hulls are regenerated after a cut, and edge
  // products come and go with the relative orientation), so a remembered
  // index may lie past the end; it wraps like the walk itself.
  if (cached != nullptr) start = *cached % axisCount;

  // The axis of least penetration so far (first one wins ties), and the
  // axis of the largest gap so far among those the pair is apart along.
  float bestDepth = 0.0f;
  Vector bestNormal;
  bool haveBest = false;
  float largestGap = 0.0f;
  Vector gapNormal;
  size_t gapIndex = 0;
  bool apart = false;
  // The walk goes from start to the end of the list, then from its
  // beginning to start. With round hulls most axes are passed over, so that
  // test has a tight loop of its own.
  const float* const along = alignment.data();
  const size_t laps[2][2] = {{start, axisCount}, {0, start}};
  for (const auto& lap : laps) {
    const size_t end = lap[1];
    for (size_t index = lap[0]; index < end; ++index) {
      if (innerKnown) {
        const float bar = limit;
        while (index < end && inner - along[index] > bar) ++index;
        if (index == end) break;
      }
      const Vector& axis = axes[index];
      float minA, maxA, minB, maxB;
      project(index, axis, minA, maxA, minB, maxB);
      const float gap = Gap(minA, maxA, minB, maxB);
      if (!(gap < reach)) {
        // An existing entry is kept; only a pair seen apart for the first time
        // is added. Reusing the lookup above spares a second search of a table
        // that holds every pair ever seen apart (large, and cold in cache).
        if (cached == nullptr) cache.Insert(key, static_cast<uint32_t>(index));
        return false;
      }
      if (!(gap < 0.0f)) {
        // Apart along this axis, by less than the reach. The hulls are at
        // least the largest such gap apart; the normal points from A towards
        // B, to the side B's interval lies on.
        if (!apart || gap > largestGap) {
          apart = true;
          limit = std::min(limit, slack);
          largestGap = gap;
          gapNormal = minB > minA ? axis : -axis;
          gapIndex = index;
        }
        continue;
      }
      // Penetration along +axis (B beyond A) is maxA - minB, along -axis
      // (A beyond B) maxB - minA. When one interval holds the other either
      // way out is possible and the shorter one is taken.
      float depth;
      Vector normal;
      const bool contained = minA < minB ? !(maxB > maxA) : !(maxA > maxB);
      if (!contained) {
        if (minA < minB) {
          depth = maxA - minB;
          normal = axis;
        } else {
          depth = maxB - minA;
          normal = -axis;
        }
      } else if (maxA - minB <= maxB - minA) {
        depth = maxA - minB;
        normal = axis;
      } else {
        depth = maxB - minA;
        normal = -axis;
      }
      if (!haveBest || depth < bestDepth) {
        haveBest = true;
        bestDepth = depth;
        bestNormal = normal;
        limit = std::min(limit, depth + slack);
      }
    }
  }

  // Apart within the reach: the axis of the largest gap is remembered, so
  // that once the pair has drawn apart by its reach one projection rejects
  // it, and the contact's depth is minus the gap.
  if (apart) {
    if (cached == nullptr) cache.Insert(key, static_cast<uint32_t>(gapIndex));
    bestDepth = -largestGap;
    bestNormal = gapNormal;
  }

  // The contact, in the reference frame first. X: A's vertex furthest along
  // the normal (on A's extreme plane); Y: B's vertex deepest into A, or
  // nearest to it when the pair is apart.
  const Vector& n = bestNormal;
  float greatest, least;
  const Vector x = cloudOfA.At(Extreme(cloudOfA, n, 1.0f, greatest));
  const size_t yIndex = Extreme(cloudOfB, n, -1.0f, least);
  const Vector y = cloudOfB.At(yIndex);
  const RigidTransform& frame = reference.transform;
  const Vector worldNormal = frame.ApplyVector(n);
  const Vector midpoint = frame.Apply((x + y) * 0.5f);

  ContactManifold manifold;
  manifold.time = time;
  manifold.objectA = a.objectId;
  manifold.objectB = b.objectId;
  manifold.positionA = a.transform.position;
  manifold.positionB = b.transform.position;
  manifold.orientationA = a.transform.orientation;
  manifold.orientationB = b.transform.orientation;
  manifold.firstPoint = static_cast<uint32_t>(sink.points->size());

  if (!multipleContacts) {
    ContactPoint point;
    point.point = midpoint;
    point.pointOnB = frame.Apply(y);
    point.pointOnA = point.pointOnB + worldNormal * bestDepth;
    point.normal = worldNormal;
    point.depth = bestDepth;
    sink.points->push_back(point);
    manifold.pointCount = 1;
    sink.manifolds->push_back(manifold);
    return true;
  }

  // Multiple contacts: B's vertices deepest into A (largest projection on
  // -n), within a thin band below the deepest one, at most ten of them.
  // Feature codes key each point to its place on both local boxes.
  CLEAVE_ASSERT(compA.hasLocalBox);
  CLEAVE_ASSERT(compB.hasLocalBox);
  // The deepest value is minus B's least projection on n.
  const float largest = -least;
  const float band = kContactBand * compB.boundingRadius;
  // Sorted largest first, selection stops at the first vertex outside the
  // band: that is every vertex inside it. The deepest vertex always counts,
  // even when the band is empty (a zero bounding radius).
  deepest.clear();
  Band(cloudOfB, n, largest, band, deepest);
  std::stable_sort(deepest.begin(), deepest.end(),
                   [](const std::pair<float, uint32_t>& p, const std::pair<float, uint32_t>& q) {
                     return p.first > q.first;
                   });
  const size_t count = std::min<size_t>(deepest.size(), kMaxContactPoints);
  for (size_t i = 0; i < count; ++i) {
    const uint32_t index = deepest[i].second;
    const Vector vertex = cloudOfB.At(index);
    ContactPoint point;
    // Apart, every point's gap counts, signed; in contact the depth is the
    // distance from A's extreme plane either way.
    point.depth = apart ? Dot3(x - vertex, n) : std::fabs(Dot3(vertex - x, n));
    point.pointOnB = frame.Apply(vertex);
    point.pointOnA = point.pointOnB + worldNormal * point.depth;
    point.normal = worldNormal;
    point.point = midpoint;
    // B's own copy of the vertex is already in B's local frame.
    point.featureB = FeatureCode(compB.localBox, compB.hullVertices[index]);
    point.featureA = FeatureCode(compA.localBox, a.transform.ApplyInverse(point.pointOnA));
    sink.points->push_back(point);
  }
  manifold.pointCount = static_cast<uint32_t>(count);
  sink.manifolds->push_back(manifold);
  return true;
}

uint32_t SATCollision::FeatureCode(const BoundingBox& box, const Vector& point) {
  // Step i of the 32 works on axis i % 3 and moves the probe by
  // h[k] / 2^(i/3) (a running half, exact for floats), so x owns bits 0, 3,
  // ..., 30 (11 steps), y bits 1, ..., 31 (11 steps), z bits 2, ..., 29 (10).
  // The three axes never touch each other's probe or step, so they can run
  // side by side: round j does step j of every axis, and its three bits are
  // the contiguous bits 3j .. 3j + 2. Each axis still sees the same float
  // operations in the same order as the one-step-at-a-time loop. The sides
  // are chosen without branches, since the bits of a contact point are as
  // good as random and a branch per step would be mispredicted half the
  // time: probe -= step is probe + (step with its sign bit flipped), which
  // is the same IEEE operation.
#if defined(__SSE2__)
  const __m128 p = _mm_setr_ps(point.x, point.y, point.z, 0.0f);
  __m128 probe = _mm_setr_ps(box.center.x, box.center.y, box.center.z, 0.0f);
  __m128 step = _mm_setr_ps(box.halfExtents.x, box.halfExtents.y, box.halfExtents.z, 0.0f);
  const __m128 zero = _mm_setzero_ps();
  const __m128 sign = _mm_set1_ps(-0.0f);
  const __m128 half = _mm_set1_ps(0.5f);
  uint32_t code = 0;
  for (int j = 0; j < 11; ++j) {
    const __m128 positive = _mm_cmpge_ps(_mm_sub_ps(p, probe), zero);
    const uint32_t bits = static_cast<uint32_t>(_mm_movemask_ps(positive));
    // Round 10 has only the x and y steps (bits 30 and 31).
    code |= (j < 10 ? (bits & 7u) : (bits & 3u)) << (3 * j);
    probe = _mm_add_ps(probe, _mm_xor_ps(step, _mm_andnot_ps(positive, sign)));
    step = _mm_mul_ps(step, half);
  }
  return code;
#else
  uint32_t code = 0;
  float probe[3] = {box.center.x, box.center.y, box.center.z};
  const float p[3] = {point.x, point.y, point.z};
  float step[3] = {box.halfExtents.x, box.halfExtents.y, box.halfExtents.z};
  for (int i = 0; i < 32; ++i) {
    const int k = i % 3;
    if (p[k] - probe[k] >= 0.0f) {
      code |= 1u << i;
      probe[k] += step[k];
    } else {
      probe[k] -= step[k];
    }
    step[k] *= 0.5f;
  }
  return code;
#endif
}
