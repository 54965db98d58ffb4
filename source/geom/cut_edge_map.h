#pragma once
// CutEdgeMap: the splitter's table from a crossing edge of the source
// (smaller source index, larger source index) to the (front, back) indices of
// the vertex made on it. Each crossing edge is looked up from the two
// triangles beside it, so the table holds one entry per edge of the cut; it
// is an open-addressing table of packed keys, which needs no allocation per
// entry and no pointer chasing.

#include <cstddef>
#include <cstdint>
#include <vector>

#include "geom/index_pair.h"

class CutEdgeMap {
 public:
  // Number of crossing edges recorded.
  size_t size() const { return used; }
  bool empty() const { return used == 0; }
  // The entry of edge (low, high), low < high, or nullptr.
  const IndexPair* Find(uint32_t low, uint32_t high) const {
    if (keys.empty()) return nullptr;
    const uint64_t key = Key(low, high);
    const size_t mask = keys.size() - 1;
    for (size_t s = Home(key, mask);; s = (s + 1) & mask) {
      if (keys[s] == key) return &values[s];
      if (keys[s] == kEmpty) return nullptr;
    }
  }
  // Records edge (low, high), low < high, which must not be in the table yet.
  void Insert(uint32_t low, uint32_t high, const IndexPair& value) {
    // At most half full, so that a probe for a missing edge ends soon.
    if (2 * (used + 1) > keys.size()) Grow();
    const uint64_t key = Key(low, high);
    const size_t mask = keys.size() - 1;
    size_t s = Home(key, mask);
    while (keys[s] != kEmpty) s = (s + 1) & mask;
    keys[s] = key;
    values[s] = value;
    ++used;
  }
  void clear() {
    keys.clear();
    values.clear();
    used = 0;
  }

 private:
  // With low < high no key is all ones, so that marks an empty slot.
  static constexpr uint64_t kEmpty = UINT64_MAX;
  static uint64_t Key(uint32_t low, uint32_t high) { return uint64_t(low) << 32 | high; }
  // The top bits of a multiplicative hash, which both indices reach.
  static size_t Home(uint64_t key, size_t mask) {
    return static_cast<size_t>((key * 0x9E3779B97F4A7C15ull) >> 32) & mask;
  }
  void Grow() {
    constexpr size_t kFirstSlots = 64;  // a small cut never regrows
    std::vector<uint64_t> oldKeys(keys.empty() ? kFirstSlots : 2 * keys.size(), kEmpty);
    std::vector<IndexPair> oldValues(oldKeys.size());
    oldKeys.swap(keys);
    oldValues.swap(values);
    const size_t mask = keys.size() - 1;
    for (size_t k = 0; k < oldKeys.size(); ++k) {
      if (oldKeys[k] == kEmpty) continue;
      size_t s = Home(oldKeys[k], mask);
      while (keys[s] != kEmpty) s = (s + 1) & mask;
      keys[s] = oldKeys[k];
      values[s] = oldValues[k];
    }
  }

  std::vector<uint64_t> keys;      // size 0 or 2^k
  std::vector<IndexPair> values;   // beside keys
  size_t used = 0;
};
