// The solid factory: shapes, mass properties, shading data and collision data
// of the scene's solids and of the ground plane.

#include <cmath>
#include <cstdlib>
#include <set>
#include <string>

#include <gtest/gtest.h>

#include "collision/collision_comp.h"
#include "collision/collision_shapes.h"
#include "physics/physics_comp.h"
#include "scene/solid_factory.h"
#include "scene_test_util.h"

namespace {

using scene_test::MeshOf;
constexpr float kPi = 3.14159265358979f;

PhysicsComp& PhysicsOf(GameObject& o) { return *o.Find<PhysicsComp>(); }

// The axis-aligned extent of the mesh.
void Extent(const Mesh& mesh, Vector& low, Vector& high) {
  low = high = mesh.vertices.at(0).Position();
  for (const Vertex& v : mesh.vertices)
    for (int k = 0; k < 3; ++k) {
      low[k] = std::min(low[k], v.Position()[k]);
      high[k] = std::max(high[k], v.Position()[k]);
    }
}

// What every solid shares: shading data, collision data, masks, and a
// local box 0.04 larger than the mesh's.
void ExpectCompleteSolid(GameObject& object, bool pickable) {
  const Mesh& mesh = MeshOf(object);
  ASSERT_GT(mesh.TriangleCount(), 0u);
  EXPECT_TRUE(!mesh.useTexCoords && mesh.useColours && !mesh.buffersCreated);
  const CollisionComp& c = *object.Find<CollisionComp>();
  EXPECT_TRUE(c.hasBoundingSphere && c.hasHull && !c.hullVertices.empty());
  ASSERT_TRUE(c.hasLocalBox);
  EXPECT_EQ(c.groupMask & 1u, 1u);
  EXPECT_EQ(c.collideMask & 1u, 1u);
  EXPECT_EQ(c.pickable, pickable);
  const BoundingBox box = ComputeBoundingBox(mesh, 1.0f);
  for (int k = 0; k < 3; ++k) {
    EXPECT_NEAR(c.localBox.halfExtents[k], box.halfExtents[k] + 0.04f, 1e-5f);
    EXPECT_NEAR(c.localBox.center[k], box.center[k], 1e-5f);
  }
}

}  // namespace

TEST(SolidFactory, SphereBoxAndConeMassPropertiesAndShapes) {
  GameObject sphere = BuildSolid("obj4", Vector(-1, 3, -2), Vector(2, 0, 0), Sphere, Quaternion(), 10.0f);
  EXPECT_EQ(sphere.name, "obj4");
  EXPECT_EQ(sphere.position, Vector(-1, 3, -2));
  const float sphereMass = 10.0f * 4.0f / 3.0f * kPi * 8.0f;  // about 335.1
  EXPECT_NEAR(PhysicsOf(sphere).mass, sphereMass, 1e-2f);
  for (int k = 0; k < 3; ++k)
    EXPECT_NEAR(PhysicsOf(sphere).inertiaTensor(k, k), 2.0f / 3.0f * sphereMass * 4.0f, 0.1f);
  EXPECT_EQ(PhysicsOf(sphere).inertiaTensor(3, 3), 1.0f);
  EXPECT_EQ(PhysicsOf(sphere).inertiaTensor(0, 1), 0.0f);
  EXPECT_EQ(MeshOf(sphere).name, "Sphere");
  ExpectCompleteSolid(sphere, true);
  for (const Vertex& v : MeshOf(sphere).vertices) EXPECT_NEAR(Length(v.Position()), 2.0f, 1e-4f);

  GameObject box = BuildSolid("obj7", Vector(-7, 4, 2), Vector(1.75f, 1, 1.75f), Box, Quaternion(), 10.0f);
  const float w = 3.5f, h = 2.0f, d = 3.5f, boxMass = 10.0f * w * h * d;
  EXPECT_FLOAT_EQ(PhysicsOf(box).mass, boxMass);
  EXPECT_FLOAT_EQ(PhysicsOf(box).inertiaTensor(0, 0), boxMass / 12.0f * (h * h + d * d));
  EXPECT_FLOAT_EQ(PhysicsOf(box).inertiaTensor(1, 1), boxMass / 12.0f * (w * w + d * d));
  EXPECT_FLOAT_EQ(PhysicsOf(box).inertiaTensor(2, 2), boxMass / 12.0f * (w * w + h * h));
  ExpectCompleteSolid(box, true);
  Vector low, high;
  Extent(MeshOf(box), low, high);
  EXPECT_NEAR(high.x, 1.75f, 1e-5f);
  EXPECT_NEAR(low.y, -1.0f, 1e-5f);

  GameObject cone = BuildSolid("obj3", Vector(-2, 4, 4), Vector(1.5f, 2, 0), Cone, Quaternion(), 10.0f);
  const float coneH = 4.0f, coneR = 1.5f, coneMass = 10.0f * kPi / 3.0f * coneR * coneR * coneH;
  EXPECT_NEAR(PhysicsOf(cone).mass, coneMass, 1e-2f);
  EXPECT_NEAR(PhysicsOf(cone).inertiaTensor(0, 0),
              3.0f / 5.0f * coneMass * coneH * coneH + 3.0f / 20.0f * coneMass * coneR * coneR, 0.5f);
  EXPECT_NEAR(PhysicsOf(cone).inertiaTensor(2, 2), 3.0f / 10.0f * coneMass * coneR * coneR, 0.1f);
  ExpectCompleteSolid(cone, true);
  // Turned over: it stands on its base (the wide end at the bottom), apex up.
  Extent(MeshOf(cone), low, high);
  EXPECT_NEAR(low.y, -2.0f, 1e-5f);
  EXPECT_NEAR(high.y, 2.0f, 1e-5f);
  for (const Vertex& v : MeshOf(cone).vertices) {
    const float r = std::hypot(v.x, v.z);
    EXPECT_TRUE(v.y > 1.99f ? r < 1e-4f : v.y > -1.99f || r <= 1.5f + 1e-4f) << v.y << " " << r;
  }
}

TEST(SolidFactory, RadialNormalsOneColourAndOrientationTurnsTheMesh) {
  // A quarter turn about y swaps the box's x and z extents; the object
  // itself keeps the identity orientation.
  const Quaternion turn = Quaternion::FromAxisAngle(Vector(0, 1, 0), kPi / 2.0f);
  GameObject box = BuildSolid("b", Vector(1, 1, 1), Vector(2, 0.5f, 0.25f), Box, turn, 1.0f);
  EXPECT_TRUE(box.orientation == Quaternion());
  Vector low, high;
  Extent(MeshOf(box), low, high);
  EXPECT_NEAR(high.x, 0.25f, 1e-4f);
  EXPECT_NEAR(high.z, 2.0f, 1e-4f);
  EXPECT_NEAR(high.y, 0.5f, 1e-4f);
  EXPECT_FLOAT_EQ(PhysicsOf(box).mass, 4.0f * 1.0f * 0.5f);  // from the unturned dimensions

  const Mesh& mesh = MeshOf(box);
  for (uint32_t t = 0; t < mesh.TriangleCount(); ++t)
    for (int c = 0; c < 3; ++c) {
      const Vector p = mesh.CornerPosition(t, c), n = mesh.CornerNormal(t, c);
      EXPECT_NEAR(Length(n), 1.0f, 1e-5f);
      EXPECT_NEAR(Dot3(n, p), Length(p), 1e-4f);
      EXPECT_EQ(mesh.CornerColour(t, c), Vector(0.2f, 0.5f, 0.9f));
    }
}

TEST(SolidFactory, RandomTypePicksEveryShapeWithDrawnDimensions) {
  std::srand(12345);
  std::set<std::string> seen;
  for (int i = 0; i < 60; ++i) {
    GameObject solid = BuildSolid("r", Vector(), Vector(0.7f, 0.7f, 0.7f), Random, Quaternion(), 3.0f);
    const Mesh& mesh = MeshOf(solid);
    seen.insert(mesh.name);
    Vector low, high;
    Extent(mesh, low, high);
    if (mesh.name == "Box") {
      for (int k = 0; k < 3; ++k) {
        EXPECT_GE(high[k], 0.5f - 1e-5f);
        EXPECT_LE(high[k], 2.0f + 1e-5f);
      }
    } else if (mesh.name == "Sphere") {
      EXPECT_NEAR(high.x, 0.7f, 1e-3f);  // the caller's radius
    } else {
      ASSERT_EQ(mesh.name, "Cone");
      EXPECT_NEAR(std::max(high.x, -low.x), 0.7f, 1e-3f);  // the caller's base radius
      EXPECT_GE(high.y, 0.5f - 1e-5f);
      EXPECT_LE(high.y, 2.0f + 1e-5f);
    }
    EXPECT_GT(PhysicsOf(solid).mass, 0.0f);
  }
  EXPECT_EQ(seen, (std::set<std::string>{"Box", "Cone", "Sphere"}));
}

TEST(SolidFactory, GroundPlaneIsHeavyFlatAndNotPickable) {
  GameObject ground = BuildGroundPlane();
  EXPECT_EQ(ground.name, "GROUND_PLANE");
  EXPECT_EQ(ground.position, Vector(0, -5, 0));
  EXPECT_FLOAT_EQ(PhysicsOf(ground).mass, 1.0e9f);
  ExpectCompleteSolid(ground, false);
  Vector low, high;
  Extent(MeshOf(ground), low, high);
  EXPECT_NEAR(high.y + ground.position.y, 0.0f, 1e-5f);  // top face at y = 0
  EXPECT_NEAR(high.x, 150.0f, 1e-3f);
  EXPECT_NEAR(low.z, -150.0f, 1e-3f);
}
