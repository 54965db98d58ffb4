#pragma once
// SATCollision: the narrow phase. Decides with the separating-axis theorem
// whether two convex hulls overlap or come closer than the pair's
// speculative reach (SpeculativeReach) and, when they do, writes one contact
// manifold with its points.
//
// Candidate axes are the face normals of both hulls and the normalised cross
// products of their edge directions. A hull is only its vertex cloud: along
// an axis the pair is apart by the gap between the two clouds' projections
// on it, and the pair is rejected as soon as one axis shows a gap of at
// least the reach. Otherwise, when some axis shows a gap, the pair is apart
// by no less than the largest one: that axis gives the normal (pointing from
// A towards B) and the depth is minus that gap (a speculative contact, which
// lets the physics close the gap and no more). With no gap on any axis the
// axis of least penetration gives the normal and the depth.
//
// All projections happen in the frame of the "reference" object, the one
// with more hull vertices, so only the smaller hull is transformed, once per
// pair. Each pair remembers the first axis that ever rejected it, or the
// axis of its largest gap when it was first found apart within its reach,
// and tries that one first, so a pair that stays apart costs one projection.
//
// Runs on the collision thread under the object lock; not thread-safe (the
// cache and the scratch buffers are members).

#include <cstdint>
#include <utility>
#include <vector>

#include "collision/collision_comp.h"
#include "collision/contact.h"
#include "collision/hull_cloud.h"
#include "collision/rigid_transform.h"
#include "core/module.h"
#include "math/bounding_box.h"

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

  // Tests A (the set object) against B (its candidate). When the hulls
  // overlap or are apart by less than SpeculativeReach(A, B), appends one
  // manifold stamped with `time` and its points (one, or up to ten when
  // multipleContacts is set) and returns true; otherwise appends nothing.
  // A point's depth is negative when the hulls are apart: minus the gap
  // between A's extreme plane along the normal and that vertex of B.
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
  // Starts loading the pair's slot of the separating-axis cache: the table
  // holds every pair ever seen apart, and is mostly cold in a large scene.
  void Prefetch(uint32_t idA, uint32_t idB) const { cache.Prefetch(CacheKey(idA, idB)); }
  size_t CacheSize() const { return cache.Size(); }
  // The candidate axes of the last Collide that got as far as building them,
  // in the reference object's frame, in index order.
  std::vector<Vector> LastAxes() const { return {axes.begin(), axes.begin() + axisCount}; }

 private:
  using Cloud = HullCloud;

  static void Project(const Cloud& cloud, const Vector& axis, float& min, float& max);
  // Index of the vertex with the largest (sign +1) or smallest (sign -1)
  // projection; the first one wins ties. `value` gets that projection, as
  // Project computes it.
  static size_t Extreme(const Cloud& cloud, const Vector& axis, float sign, float& value);
  // Appends (-d, index) for every vertex whose projection d on the axis has
  // -d within `band` below `largest` (or equal to it), in index order.
  static void Band(const Cloud& cloud, const Vector& axis, float largest, float band,
                   std::vector<std::pair<float, uint32_t>>& out);
  // Fills the cloud with the vertices, each moved by `transform` when one is
  // given (x -> R x + t, as RotationBlock::Apply computes it), and pads it.
  static void Fill(const std::vector<Vector>& vertices, const RotationBlock* transform,
                   Cloud& cloud);
  // The same for a hull that has its cloud already: `to` is `from` moved.
  static void Move(const Cloud& from, const RotationBlock& transform, Cloud& to);

  // Writes the candidate axes to axes[0, axisCount), the other hull's
  // brought into the reference frame by `relative`. With an offset (between
  // the bounding centres, reference frame) also fills alignment[i] =
  // |offset . axes[i]| and returns the first index of the largest; 0 without.
  size_t BuildAxes(const CollisionComp& reference, const CollisionComp& other,
                   const RotationBlock& relative, const Vector* offset);

  // Separating-axis cache: unordered pair (smaller id, larger id) -> index of
  // the first axis that rejected it, or of its largest gap when it was first
  // found apart within its reach. Entries are never changed or removed.
  //
  // It is searched for every pair that reaches the narrow phase and holds
  // every pair ever seen apart, so in a large scene it is big and mostly cold
  // in the processor cache; a node-based map costs a modulo and a chain of
  // pointer hops per search. This is an open-addressing table instead (one
  // multiplicative hash, linear probing over a flat array, at most half
  // full), which is the fastest structure for an insert-only map of integer
  // keys.
  class PairCache {
   public:
    PairCache() : slots(kInitialSlots) {}
    // The stored index for the key, or null.
    const uint32_t* Find(uint64_t key) const {
      for (size_t i = Home(key);; i = (i + 1) & (slots.size() - 1)) {
        const Slot& slot = slots[i];
        if (!slot.used) return nullptr;
        if (slot.key == key) return &slot.value;
      }
    }
    // Adds key -> value; the key must not be present.
    void Insert(uint64_t key, uint32_t value) {
      if (2 * (count + 1) > slots.size()) Grow();
      Place(key, value);
      ++count;
    }
    size_t Size() const { return count; }
    void Prefetch(uint64_t key) const { __builtin_prefetch(&slots[Home(key)]); }

   private:
    struct Slot {
      uint64_t key = 0;
      uint32_t value = 0;
      bool used = false;
    };
    static constexpr size_t kInitialSlots = 64;  // a power of two
    size_t Home(uint64_t key) const {
      // Fibonacci hashing: the top bits of key * 2^64 / phi, masked.
      return static_cast<size_t>((key * 0x9E3779B97F4A7C15ull) >> 32) & (slots.size() - 1);
    }
    void Place(uint64_t key, uint32_t value) {
      size_t i = Home(key);
      while (slots[i].used) i = (i + 1) & (slots.size() - 1);
      slots[i].key = key;
      slots[i].value = value;
      slots[i].used = true;
    }
    void Grow() {
      std::vector<Slot> old(slots.size() * 2);
      old.swap(slots);
      for (const Slot& slot : old)
        if (slot.used) Place(slot.key, slot.value);
    }
    std::vector<Slot> slots;
    size_t count = 0;
  };
  static uint64_t CacheKey(uint32_t idA, uint32_t idB) {
    const uint32_t low = idA < idB ? idA : idB, high = idA < idB ? idB : idA;
    return (static_cast<uint64_t>(low) << 32) | high;
  }
  PairCache cache;

  // Per-call scratch, kept to avoid reallocating for every pair.
  Cloud cloudA, cloudB;
  // axes and alignment only grow; their first axisCount entries are the
  // last Collide's.
  std::vector<Vector> otherEdges, axes;
  std::vector<float> alignment;  // |centre offset . axis|, per axis
  size_t axisCount = 0;
  std::vector<std::pair<float, uint32_t>> deepest;
};
