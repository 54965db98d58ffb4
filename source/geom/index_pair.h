#pragma once
// IndexPair: two vertex indices ordered lexicographically (first, then
// second); the entries of the splitter's cut-edge table, and boundary edges.

#include <cstdint>

struct IndexPair {
  uint32_t first = 0;
  uint32_t second = 0;

  IndexPair() = default;
  IndexPair(uint32_t a, uint32_t b) : first(a), second(b) {}

  bool operator==(const IndexPair& o) const { return first == o.first && second == o.second; }
  bool operator!=(const IndexPair& o) const { return !(*this == o); }
  bool operator<(const IndexPair& o) const {
    return first < o.first || (first == o.first && second < o.second);
  }
};
