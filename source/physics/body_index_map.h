#pragma once
// BodyIndexMap: the two-way map between game-object ids and dense body
// indices. A body's index is its place in the body array, so indices are
// always 0 .. Size() - 1; removing index i moves every higher index down one.
//
// Built as an ordered map id -> index plus an array index -> id: lookups by
// id are O(log n), lookups by index O(1), and the shift after a removal is
// one pass over the array.

#include <cstdint>
#include <map>
#include <vector>

class BodyIndexMap {
 public:
  bool Has(uint32_t objectId) const { return byId.count(objectId) != 0; }
  // The index of a registered object; call Has first.
  uint32_t Index(uint32_t objectId) const { return byId.at(objectId); }
  // Like Index, but writes the index to `index` and returns false for an
  // unregistered object (one lookup instead of two).
  bool Find(uint32_t objectId, uint32_t& index) const;
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
  std::map<uint32_t, uint32_t> byId;  // object id -> body index
  std::vector<uint32_t> byIndex;      // body index -> object id
};
