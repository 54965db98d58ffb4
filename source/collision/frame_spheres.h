#pragma once
// FrameSpheres: the speculative spheres of one collision frame, by object id.
//
// The broad phase computes every object's sphere once; the filter along Z
// and the narrow phase's sphere test read them back here instead of
// computing them again for every pair an object is in. An open-addressing
// table (one multiplicative hash, linear probing, at most half full) maps
// the id to the sphere's place; Clear empties it for the next frame and
// keeps its memory.

#include <cstdint>
#include <vector>

#include "collision/broad_phase.h"

class FrameSpheres {
 public:
  void Clear() {
    spheres.clear();
    slots.assign(slots.size(), kEmpty);
  }
  // Adds the sphere of sphere.objectId, which must not be present yet.
  void Add(const SphereEntry& sphere) {
    if (2 * (spheres.size() + 1) > slots.size()) Grow();
    spheres.push_back(sphere);
    Place(static_cast<uint32_t>(spheres.size() - 1));
  }
  // The object's sphere of this frame, or null when it has none.
  const SphereEntry* Find(uint32_t id) const {
    if (slots.empty()) return nullptr;
    for (size_t i = Home(id);; i = (i + 1) & (slots.size() - 1)) {
      if (slots[i] == kEmpty) return nullptr;
      if (spheres[slots[i]].objectId == id) return &spheres[slots[i]];
    }
  }

 private:
  static constexpr uint32_t kEmpty = UINT32_MAX;
  size_t Home(uint32_t id) const {
    // Fibonacci hashing, as the separating-axis cache does.
    return static_cast<size_t>((id * 0x9E3779B97F4A7C15ull) >> 32) & (slots.size() - 1);
  }
  void Place(uint32_t index) {
    size_t i = Home(spheres[index].objectId);
    while (slots[i] != kEmpty) i = (i + 1) & (slots.size() - 1);
    slots[i] = index;
  }
  void Grow() {
    slots.assign(slots.empty() ? 64 : 2 * slots.size(), kEmpty);
    for (uint32_t index = 0; index < spheres.size(); ++index) Place(index);
  }

  std::vector<SphereEntry> spheres;
  std::vector<uint32_t> slots;  // indices into spheres; a power of two long
};
