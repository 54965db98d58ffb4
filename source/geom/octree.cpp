#include "geom/octree.h"

#include "core/diagnostics.h"

void Octree::Init(const BoundingBox& bounds) {
  CLEAVE_ASSERT(nodes.empty());
  nodes.emplace_back();
  nodes.back().center = bounds.center;
  nodes.back().halfExtents = bounds.halfExtents;
}
