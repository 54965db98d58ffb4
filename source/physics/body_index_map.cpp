#include "physics/body_index_map.h"

bool BodyIndexMap::FindSparse(uint32_t objectId, uint32_t& index) const {
  const auto it = sparse.find(objectId);
  if (it == sparse.end()) return false;
  index = it->second;
  return true;
}

void BodyIndexMap::Set(uint32_t objectId, uint32_t index) {
  if (objectId >= kDenseIds) {
    if (index == kNone) {
      sparse.erase(objectId);
    } else {
      sparse[objectId] = index;
    }
    return;
  }
  if (objectId >= dense.size()) {
    if (index == kNone) return;
    dense.resize(objectId + 1 + objectId / 2, kNone);  // room for the ids to come
  }
  dense[objectId] = index;
}

uint32_t BodyIndexMap::Add(uint32_t objectId) {
  uint32_t index = 0;
  if (Find(objectId, index)) return index;
  index = Size();
  Set(objectId, index);
  byIndex.push_back(objectId);
  return index;
}

void BodyIndexMap::Compact(const std::vector<bool>& keep) {
  uint32_t next = 0;
  for (uint32_t i = 0; i < Size(); ++i) {
    if (i < keep.size() && keep[i]) {
      byIndex[next] = byIndex[i];
      Set(byIndex[next], next);
      ++next;
    } else {
      Set(byIndex[i], kNone);
    }
  }
  byIndex.resize(next);
}

void BodyIndexMap::Clear() {
  dense.clear();
  sparse.clear();
  byIndex.clear();
}
