#pragma once
// BodyIndexMap: the two-way map between game-object ids and dense body
// indices. A body's index is its place in the body array, so indices are
// always 0 .. Size() - 1; removing index i moves every higher index down one.
//
// Object ids count up from 1 and are never reused, so id -> index is an
// array indexed by id (a step looks every body up several times: an ordered
// map's walks cost as much as the rest of a settled heap's step), with an
// ordered map for the rare id beyond kDenseIds, which would make the array
// too large. The array index -> id gives the ids of the bodies; the shift
// after a removal is one pass over it.

#include <cstdint>
#include <map>
#include <vector>

class BodyIndexMap {
 public:
  bool Has(uint32_t objectId) const {
    uint32_t index = 0;
    return Find(objectId, index);
  }
  // The index of a registered object; call Has first.
  uint32_t Index(uint32_t objectId) const {
    uint32_t index = 0;
    Find(objectId, index);
    return index;
  }
  // Like Index, but writes the index to `index` and returns false for an
  // unregistered object (one lookup instead of two).
  bool Find(uint32_t objectId, uint32_t& index) const {
    if (objectId < kDenseIds) {
      if (objectId >= dense.size() || dense[objectId] == kNone) return false;
      index = dense[objectId];
      return true;
    }
    return FindSparse(objectId, index);
  }
  uint32_t ObjectId(uint32_t index) const { return byIndex[index]; }
  uint32_t Size() const { return static_cast<uint32_t>(byIndex.size()); }

  // Registers objectId under the next index (the current size) and returns
  // it. An id already registered keeps its index.
  uint32_t Add(uint32_t objectId);
  // Keeps the entries whose keep[index] is true, in their order, and
  // renumbers them densely. keep must have Size() entries.
  void Compact(const std::vector<bool>& keep);
  void Clear();

 private:
  static constexpr uint32_t kDenseIds = 1u << 22;  // ids below this live in `dense`
  static constexpr uint32_t kNone = ~0u;
  bool FindSparse(uint32_t objectId, uint32_t& index) const;
  void Set(uint32_t objectId, uint32_t index);  // kNone erases

  std::vector<uint32_t> dense;          // object id -> body index, or kNone
  std::map<uint32_t, uint32_t> sparse;  // the same for ids from kDenseIds on
  std::vector<uint32_t> byIndex;        // body index -> object id
};
