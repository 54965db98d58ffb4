#include "physics/warm_start_cache.h"

namespace {

constexpr size_t kInitialSlots = 1024;

bool BothRest(const WarmStartKey& key, const std::vector<uint8_t>& resting) {
  return key.indexHigh < resting.size() && key.indexLow < resting.size() &&
         resting[key.indexHigh] != 0 && resting[key.indexLow] != 0;
}

inline void HashCombine(size_t& seed, uint32_t value) {
  seed ^= static_cast<size_t>(value) + 0x9e3779b9 + (seed << 6) + (seed >> 2);
}

}  // namespace

size_t HashWarmStartKey(const WarmStartKey& key) {
  size_t seed = 0;
  HashCombine(seed, key.indexHigh);
  HashCombine(seed, key.featureHigh);
  HashCombine(seed, key.indexLow);
  HashCombine(seed, key.featureLow);
  // Linear probing takes the low bits; fold the high bits in so that keys
  // differing only in their first words spread too.
  seed ^= seed >> 29;
  seed *= 0xbf58476d1ce4e5b9ULL;
  seed ^= seed >> 32;
  return seed;
}

WarmStartCache::WarmStartCache() { Clear(); }

void WarmStartCache::Clear() {
  slots.assign(kInitialSlots, Slot());
  mask = kInitialSlots - 1;
  count = 0;
  solveCount = 0;
  for (std::vector<WarmStartKey>& list : bornAt) list.clear();
  parked.clear();
  lastResting.clear();
}

size_t WarmStartCache::Probe(const WarmStartKey& key) const {
  size_t i = Home(key);
  while (slots[i].Used() && !(slots[i].key == key)) i = (i + 1) & mask;
  return i;
}

bool WarmStartCache::Find(const WarmStartKey& key, WarmStartEntry& out) const {
  size_t slot = 0;
  return Find(key, out, slot);
}

bool WarmStartCache::Find(const WarmStartKey& key, WarmStartEntry& out, size_t& slot) const {
  slot = Probe(key);
  const Slot& found = slots[slot];
  if (!found.Used()) return false;
  out.age = static_cast<int32_t>(solveCount - found.born);
  out.lambdas = found.lambdas;
  return true;
}

void WarmStartCache::Reserve(size_t extra) {
  while (2 * (count + extra) > slots.size()) Grow();
}

void WarmStartCache::Store(const WarmStartKey& key, const WarmStartLambdas& lambdas, size_t hint) {
  if (key.indexHigh == Slot::kFreeIndex) return;  // no body has that index
  size_t slot = kNoHint;
  if (hint < slots.size()) {
    // The hint was the key's slot or the first empty slot of its probe run.
    // Stores since then may have filled that slot, with this key or another.
    const Slot& hinted = slots[hint];
    if (!hinted.Used() || hinted.key == key) slot = hint;
  }
  if (slot == kNoHint) {
    if (2 * (count + 1) > slots.size()) Grow();
    slot = Probe(key);
  }
  Slot& found = slots[slot];
  if (!found.Used()) {
    Place(slot, key, lambdas);
    return;
  }
  found.lambdas = lambdas;
  if (found.born != solveCount) {
    found.born = solveCount;
    bornAt[solveCount % kGenerations].push_back(key);
  }
}

void WarmStartCache::Place(size_t i, const WarmStartKey& key, const WarmStartLambdas& lambdas) {
  Slot& slot = slots[i];
  slot.key = key;
  slot.born = solveCount;
  slot.lambdas = lambdas;
  ++count;
  bornAt[solveCount % kGenerations].push_back(key);
}

void WarmStartCache::EraseOld(const std::vector<uint8_t>& resting) {
  // Ages only grow one per solve, so the entries above kEraseAge now are
  // exactly those made kEraseAge + 1 solves ago (older ones went earlier).
  if (solveCount < static_cast<uint32_t>(kEraseAge + 1)) return;
  const uint32_t born = solveCount - static_cast<uint32_t>(kEraseAge + 1);
  std::vector<WarmStartKey>& list = bornAt[born % kGenerations];
  constexpr size_t kAhead = 8;  // keys prefetched ahead
  for (size_t k = 0; k < list.size(); ++k) {
    if (k + kAhead < list.size()) Prefetch(list[k + kAhead]);
    const size_t i = Probe(list[k]);
    if (!slots[i].Used() || slots[i].born != born) continue;
    if (BothRest(slots[i].key, resting)) parked.push_back(Parked{slots[i].key, slots[i].lambdas});
    Erase(i);
  }
  list.clear();
}

void WarmStartCache::Unpark(const std::vector<uint8_t>& resting) {
  // Entries are set aside only while both their bodies rest, so nothing can
  // come back unless some body rested at the last call and does not now (or
  // the indices were renumbered since): in a heap at rest, the common case,
  // the entries set aside are not even looked at.
  bool woke = lastResting.size() != resting.size();
  for (size_t i = 0; i < resting.size() && !woke; ++i) woke = lastResting[i] != 0 && resting[i] == 0;
  lastResting = resting;
  if (!woke) return;
  // One pass over the entries set aside, keeping those still at rest in place.
  size_t kept = 0;
  for (const Parked& entry : parked) {
    if (BothRest(entry.key, resting)) {
      parked[kept++] = entry;
    } else {
      Store(entry.key, entry.lambdas);
    }
  }
  parked.resize(kept);
}

void WarmStartCache::Erase(size_t hole) {
  // Backward-shift deletion: pull later members of the probe run into the
  // hole whenever their home slot does not lie between the hole and them.
  slots[hole].Free();
  --count;
  size_t i = (hole + 1) & mask;
  while (slots[i].Used()) {
    const size_t home = Home(slots[i].key);
    const bool movable = ((i - home) & mask) >= ((i - hole) & mask);
    if (movable) {
      slots[hole] = slots[i];
      slots[i].Free();
      hole = i;
    }
    i = (i + 1) & mask;
  }
}

void WarmStartCache::RenumberBodies(const std::vector<uint32_t>& newIndex) {
  const auto renumber = [&newIndex](uint32_t index) {
    return index < newIndex.size() ? newIndex[index] : kDropBody;
  };
  std::vector<Slot> old;
  old.swap(slots);
  slots.assign(old.size(), Slot());
  count = 0;
  for (Slot slot : old) {
    if (!slot.Used()) continue;
    slot.key.indexHigh = renumber(slot.key.indexHigh);
    slot.key.indexLow = renumber(slot.key.indexLow);
    if (slot.key.indexHigh == kDropBody || slot.key.indexLow == kDropBody) continue;
    Reinsert(slot);
    ++count;
  }
  size_t kept = 0;
  for (Parked entry : parked) {
    entry.key.indexHigh = renumber(entry.key.indexHigh);
    entry.key.indexLow = renumber(entry.key.indexLow);
    if (entry.key.indexHigh != kDropBody && entry.key.indexLow != kDropBody) parked[kept++] = entry;
  }
  parked.resize(kept);
  lastResting.clear();  // indexed by the old numbers: the next Unpark looks at every entry
  // The generation lists name keys as they were; re-listing each entry
  // under its new key keeps EraseOld finding it (a key it no longer finds
  // is skipped there).
  for (std::vector<WarmStartKey>& list : bornAt) list.clear();
  for (const Slot& slot : slots)
    if (slot.Used()) bornAt[slot.born % kGenerations].push_back(slot.key);
}

void WarmStartCache::Grow() {
  std::vector<Slot> old;
  old.swap(slots);
  slots.assign(old.size() * 2, Slot());
  mask = slots.size() - 1;
  for (const Slot& slot : old)
    if (slot.Used()) Reinsert(slot);
}

void WarmStartCache::Reinsert(const Slot& slot) {
  size_t i = Home(slot.key);
  while (slots[i].Used()) i = (i + 1) & mask;
  slots[i] = slot;
}
