#pragma once
// WarmStartCache: the lambdas of contact points from earlier steps (the
// normal row's and its two friction rows'), keyed by the contact's two
// (body index, feature) pairs, larger body index first. One entry holds a
// point's three rows: one probe per point, not one per row.
//
// Every solve ages all entries by one and stores each contact's lambda
// afresh (age 0 again); entries not stored for more than kEraseAge solves
// (contacts that went away) are erased. A pile of a few hundred bodies makes thousands of new keys per step
// (features change as bodies slide and roll), so the cache holds tens of
// thousands of entries. A node-based hash map spends most of the solver's time
// walking its nodes to age and erase them, so this is a flat open-addressing
// table (linear probing, backward-shift deletion) in which:
// - an entry stores the solve count at which it was made, and its age is the
//   current count minus that; ageing everything is one increment;
// - the keys made at each count are listed in a ring of kEraseAge + 1 lists,
//   so the entries that pass kEraseAge are found without scanning the table
//   (an entry stored again since is listed under its new count and skipped).
//
// The lambdas of a contact between two bodies at rest (asleep, or the
// ground) are not erased with the rest: no rows are solved for such a
// contact, so its entry ages out while the forces it held are still there.
// They are set aside and put back when either body stops resting, so that a
// heap woken whole starts from the forces that held it instead of from
// nothing (it would sag, shift, and take seconds to sleep again).

#include <cstddef>
#include <cstdint>
#include <vector>

struct WarmStartKey {
  uint32_t indexHigh = 0;  // the larger of the two body indices
  uint32_t featureHigh = 0;
  uint32_t indexLow = 0;
  uint32_t featureLow = 0;
  bool operator==(const WarmStartKey& o) const {
    return indexHigh == o.indexHigh && featureHigh == o.featureHigh &&
           indexLow == o.indexLow && featureLow == o.featureLow;
  }
};

// The four words combined with the usual hash-combine step,
// seed ^= h + 0x9e3779b9 + (seed << 6) + (seed >> 2).
size_t HashWarmStartKey(const WarmStartKey& key);

// The lambdas of one contact point: its normal row, then its two friction
// rows (zero for a contact without friction).
struct WarmStartLambdas {
  float row[3] = {0.0f, 0.0f, 0.0f};
  bool operator==(const WarmStartLambdas& o) const {
    return row[0] == o.row[0] && row[1] == o.row[1] && row[2] == o.row[2];
  }
};

struct WarmStartEntry {
  int32_t age = 0;  // solves since the entry was made
  WarmStartLambdas lambdas;
};

class WarmStartCache {
 public:
  static constexpr int32_t kEraseAge = 10;  // erased once the age is above this
  static constexpr size_t kNoHint = ~static_cast<size_t>(0);

  WarmStartCache();

  // The entry under key, if any.
  bool Find(const WarmStartKey& key, WarmStartEntry& out) const;
  // Like Find, and also returns in `slot` where the key is or would go; a
  // later InsertIfAbsent may pass it as a hint.
  bool Find(const WarmStartKey& key, WarmStartEntry& out, size_t& slot) const;
  // Sets the key's entry to {age 0, lambdas}, adding it when absent. `hint`
  // is a slot from Find; it saves the probe when nothing but stores happened
  // since, and no store grew the table (Reserve first).
  void Store(const WarmStartKey& key, const WarmStartLambdas& lambdas, size_t hint = kNoHint);
  // Grows the table now so that `extra` more entries fit without growing.
  void Reserve(size_t extra);
  // Starts loading the key's home slot into the cache. The table is far
  // larger than the processor's caches in a big pile, so callers walking
  // many keys prefetch a few keys ahead to overlap the misses.
  void Prefetch(const WarmStartKey& key) const {
    __builtin_prefetch(&slots[Home(key)]);
  }
  // Adds one to the age of every entry.
  void AgeAll() { ++solveCount; }
  // Rewrites every key's body indices through `newIndex` (old index -> new
  // index), erasing the entries of a body mapped to kDropBody or beyond the
  // array. For bodies that went away or moved down, and for bodies whose
  // shape changed: their old lambdas belong to other contacts.
  static constexpr uint32_t kDropBody = ~0u;
  void RenumberBodies(const std::vector<uint32_t>& newIndex);
  // Erases every entry whose age is above kEraseAge, except that one whose
  // two bodies rest (resting[index] nonzero for both) is set aside.
  void EraseOld(const std::vector<uint8_t>& resting = {});
  // Puts back, at age 0, every entry set aside whose bodies do not both
  // rest any more.
  void Unpark(const std::vector<uint8_t>& resting);
  size_t Size() const { return count; }
  size_t ParkedSize() const { return parked.size(); }
  void Clear();

 private:
  // 32 bytes, aligned: a probe reads one cache line per slot. A free slot
  // is marked by a body index no body has.
  struct alignas(32) Slot {
    static constexpr uint32_t kFreeIndex = ~0u;
    WarmStartKey key{kFreeIndex, 0, 0, 0};
    uint32_t born = 0;  // solveCount when made
    WarmStartLambdas lambdas;
    bool Used() const { return key.indexHigh != kFreeIndex; }
    void Free() { key.indexHigh = kFreeIndex; }
  };
  static_assert(sizeof(Slot) == 32, "one slot per half cache line");
  void Place(size_t slot, const WarmStartKey& key, const WarmStartLambdas& lambdas);
  static constexpr size_t kGenerations = kEraseAge + 2;

  size_t Home(const WarmStartKey& key) const { return HashWarmStartKey(key) & mask; }
  // The slot holding key, or the empty slot where it would go.
  size_t Probe(const WarmStartKey& key) const;
  void Erase(size_t slot);
  void Grow();
  // Puts an entry into the first free slot of its probe run (a table being
  // refilled: no key is in it twice).
  void Reinsert(const Slot& slot);

  std::vector<Slot> slots;  // size a power of two, at most half full
  size_t mask = 0;
  size_t count = 0;
  uint32_t solveCount = 0;
  std::vector<WarmStartKey> bornAt[kGenerations];  // keys made at each count, mod kGenerations
  struct Parked {
    WarmStartKey key;
    WarmStartLambdas lambdas;
  };
  std::vector<Parked> parked;  // set aside while both bodies rest
  std::vector<uint8_t> lastResting;  // the resting flags of the last Unpark
};
