#include "physics/body_index_map.h"

bool BodyIndexMap::Find(uint32_t objectId, uint32_t& index) const {
  const auto it = byId.find(objectId);
  if (it == byId.end()) return false;
  index = it->second;
  return true;
}

uint32_t BodyIndexMap::Add(uint32_t objectId) {
  const auto inserted = byId.emplace(objectId, Size());
  if (inserted.second) byIndex.push_back(objectId);
  return inserted.first->second;
}

void BodyIndexMap::Compact(const std::vector<bool>& keep) {
  uint32_t next = 0;
  for (uint32_t i = 0; i < Size(); ++i) {
    if (i < keep.size() && keep[i]) {
      byIndex[next] = byIndex[i];
      byId[byIndex[next]] = next;
      ++next;
    } else {
      byId.erase(byIndex[i]);
    }
  }
  byIndex.resize(next);
}

void BodyIndexMap::Clear() {
  byId.clear();
  byIndex.clear();
}
