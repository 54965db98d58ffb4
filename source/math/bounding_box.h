#pragma once
// BoundingBox: an axis-aligned box as a centre and half extents along x, y, z.

#include "math/vector.h"

struct BoundingBox {
  Vector center;
  Vector halfExtents;
};
