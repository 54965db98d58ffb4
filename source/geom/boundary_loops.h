#pragma once
// Boundary loops: the open edges around a cut, linked end to end into the
// loops of vertex indices that CloseCut caps.

#include <cstddef>
#include <cstdint>
#include <deque>
#include <vector>

#include "geom/index_pair.h"

// A boundary edge (first, second) is the reverse of a directed triangle edge
// (second, first) that has no partner edge (first, second); a cap triangle
// built on it winds against the open triangle, as a closed surface needs.
using BoundaryEdge = IndexPair;

// Loops of vertex indices joined by boundary edges, with a closed flag per
// loop (a loop is closed when an edge joined its last entry back to its
// first). The two lists stay in step.
struct BoundaryLoopList {
  std::vector<std::deque<uint32_t>> loops;
  std::vector<bool> closed;

  size_t size() const { return loops.size(); }
};

// Links the edges, in order, into loops, growing a loop at either end and
// merging two loops that an edge joins; logs "boundaryList.size() = N" and
// "numClosed = N".
BoundaryLoopList LinkBoundaryLoops(const std::vector<BoundaryEdge>& edges);
