#pragma once
// Octree: a spatial subdivision record for one mesh half, kept as a flat
// list of nodes with node 0 as the root. The engine only ever gives it its
// root (the bounding box of the mesh being split); nothing subdivides a node
// or files items into it, and it is copied along with the split results.

#include <cstdint>
#include <vector>

#include "math/bounding_box.h"
#include "math/vector.h"

struct OctreeNode {
  Vector center;                 // centre of the node's box
  Vector halfExtents;            // half the box size along x, y, z
  std::vector<uint32_t> items;   // indices filed in this node
  int32_t children[8] = {-1, -1, -1, -1, -1, -1, -1, -1};  // node indices; -1 = none
};

class Octree {
 public:
  std::vector<OctreeNode> nodes;

  // Appends the root node with the box `bounds`. An octree that already has
  // nodes reports "assert failed!" and still appends a further node with
  // that box; the root keeps its old box.
  void Init(const BoundingBox& bounds);
};
