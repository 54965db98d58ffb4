// The renderer's draw matrices, which need no display.

#include <gtest/gtest.h>

#include "graphics/debug_graphics.h"
#include "graphics/mesh_graphics.h"

namespace {

void ExpectNear3(const Vector& got, const Vector& want) {
  for (int k = 0; k < 3; ++k) EXPECT_NEAR(got[k], want[k], 1e-5) << k;
}

// Scale, then rotate, then move: the wire box's +x face centre lands at
// trans + 2 * 0.5 * (rotated x axis) and y is not stretched; an object's
// x turns to -z under +90 degrees about y, is scaled by 2, then moved.
TEST(DrawMatrices, WireBoxAndObjectTransformScaleThenRotateThenMove) {
  const Quaternion rot = Quaternion::FromAxisAngle(Normalize(Vector(1, 2, 3)), 0.7f);
  const Vector trans(4, 5, 6, 0);
  const Matrix4 m = DebugGraphics::BoxMatrix(trans, rot, Vector(2, 1, 1));
  ExpectNear3(m * Vector(0.5f, 0.0f, 0.0f, 1.0f), trans + rot.Rotate(Vector(1, 0, 0)));
  EXPECT_NEAR(Length(WithW(m * Vector(0.0f, 0.5f, 0.0f, 1.0f) - m * Vector(0, 0, 0, 1), 0.0f)), 0.5f, 1e-5);
  GameObject object;
  object.position = Vector(1, 2, 3);
  object.orientation = Quaternion::FromAxisAngle(Vector(0, 1, 0), 1.5707963f);
  ExpectNear3(MeshGraphics::ObjectTransform(object, 2.0f) * Vector(1, 0, 0, 1), Vector(1, 2, 1));
}

}  // namespace
