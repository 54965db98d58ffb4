#pragma once
// SATCollision: the narrow phase. Decides with the separating-axis theorem
// whether two convex hulls overlap and, when they do, writes one contact
// manifold with its points.
//
// Candidate axes are the face normals of both hulls and the normalised cross
// products of their edge directions. A hull is only its vertex cloud: an
// axis separates the pair when the two clouds' projections on it do not
// overlap. With no separating axis the axis of least penetration gives the
// normal (pointing from A towards B) and the depth.
//
// All projections happen in the frame of the "reference" object, the one
// with more hull vertices, so only the smaller hull is transformed, once per
// pair. Each pair remembers the first axis that ever separated it and tries
// that one first, so a pair that stays apart costs one projection.
//
// Runs on the collision thread under the object lock; not thread-safe (the
// cache and the scratch buffers are members).

#include <cstdint>
#include <utility>
#include <vector>

#include <boost/unordered_map.hpp>

#include "collision/collision_comp.h"
#include "collision/contact.h"
#include "collision/rigid_transform.h"
#include "math/bounding_box.h"
#include "module.h"

class CollisionManager;

// One side of a pair: the object's id, its collision data and where it is.
struct SatBody {
  uint32_t objectId = 0;
  const CollisionComp* comp = nullptr;
  RigidTransform transform;
};

// Where the narrow phase writes: manifolds and the point run they name.
struct ContactSink {
  std::vector<ContactManifold>* manifolds;
  std::vector<ContactPoint>* points;
};

class SATCollision : public Extension<CollisionManager> {
 public:
  // The most points one manifold carries.
  static constexpr uint32_t kMaxContactPoints = 10;

  SATCollision();

  // Tests A (the set object) against B (its candidate). On overlap appends
  // one manifold stamped with `time` and its points (one, or up to ten when
  // multipleContacts is set) and returns true; otherwise appends nothing.
  bool Collide(const SatBody& a, const SatBody& b, bool multipleContacts, double time,
               const ContactSink& sink);

  // A 32-bit code of where `point` lies in `box`: 32 steps of a binary
  // search, cycling x, y, z; step i moves the probe by h[k] / 2^(i/3) towards
  // the point and sets bit i when the point lay on the positive side. Points
  // in the same small cell of the box get the same code, so a contact that
  // stays put keeps its key from frame to frame.
  static uint32_t FeatureCode(const BoundingBox& box, const Vector& point);

  // The axis index remembered for the unordered pair, if any.
  bool CachedAxis(uint32_t idA, uint32_t idB, uint32_t& axisIndex) const;
  size_t CacheSize() const { return cache.size(); }
  // The candidate axes of the last Collide that got as far as building them,
  // in the reference object's frame, in index order.
  const std::vector<Vector>& LastAxes() const { return axes; }

 private:
  using PairKey = std::pair<uint32_t, uint32_t>;

  // A vertex cloud as three contiguous coordinate arrays, so projecting it on
  // an axis is one streaming pass. The arrays are padded to a multiple of
  // four with copies of the first vertex, which changes no minimum or
  // maximum; `count` is the true number of vertices.
  struct Cloud {
    std::vector<float> x, y, z;
    size_t count = 0;
    size_t Size() const { return count; }
    void Resize(size_t n) {
      count = n;
      const size_t padded = (n + 3) & ~size_t(3);
      x.resize(padded);
      y.resize(padded);
      z.resize(padded);
    }
    void Set(size_t i, const Vector& v) {
      x[i] = v.x;
      y[i] = v.y;
      z[i] = v.z;
    }
    void Pad() {
      for (size_t i = count; i < x.size(); ++i) {
        x[i] = x[0];
        y[i] = y[0];
        z[i] = z[0];
      }
    }
    Vector At(size_t i) const { return Vector(x[i], y[i], z[i], 0.0f); }
  };

  static void Project(const Cloud& cloud, const Vector& axis, float& min, float& max);
  // Index of the vertex with the largest (sign +1) or smallest (sign -1)
  // projection; the first one wins ties.
  static size_t Extreme(const Cloud& cloud, const Vector& axis, float sign);

  void BuildAxes(const CollisionComp& reference, const std::vector<Vector>& otherNormals,
                 const std::vector<Vector>& otherEdges);

  // Separating-axis cache: unordered pair (smaller id, larger id) -> index of
  // the first axis that separated it. Entries are never changed or removed.
  boost::unordered_map<PairKey, uint32_t> cache;

  // Per-call scratch, kept to avoid reallocating for every pair.
  Cloud cloudA, cloudB;
  std::vector<Vector> otherNormals, otherEdges, axes;
  std::vector<std::pair<float, uint32_t>> deepest;
};
