#pragma once
// CandidateSet: one object of the broad phase and the objects that may touch
// it. Each pair appears in exactly one set (in the set of the object whose
// span starts first along the sweep axis).

#include <cstdint>
#include <vector>

struct CandidateSet {
  uint32_t objectId = 0;
  std::vector<uint32_t> candidates;
};
