// The solid factory: shapes, mass properties against the solids' analytic
// formulas and their meshes' exact values, shading data and collision data of the scene's solids and of
// the ground plane.

#include <cmath>
#include <cstdlib>
#include <set>
#include <string>

#include <gtest/gtest.h>

#include "collision/collision_comp.h"
#include "collision/collision_manager.h"
#include "geom/mesh_builders.h"
#include "physics/physics_comp.h"
#include "scene/model_file.h"
#include "scene/solid_factory.h"
#include "scene_test_util.h"

namespace {

using scene_test::MeshOf;
constexpr double kPi = 3.14159265358979323846;

PhysicsComp& PhysicsOf(GameObject& o) { return *o.Find<PhysicsComp>(); }

// The axis-aligned extent of the mesh: low and high corners. Also checks
// what every solid shares: shading data (a unit radial normal and the one
// colour at every corner, but for the ground), collision data, masks, and a
// local box 0.04 larger than the mesh's.
std::pair<Vector, Vector> CheckSolid(GameObject& object, bool pickable) {
  const Mesh& mesh = MeshOf(object);
  EXPECT_TRUE(mesh.TriangleCount() > 0u && !mesh.useTexCoords && mesh.useColours && !mesh.buffersCreated);
  Vector low = mesh.vertices.at(0).Position(), high = low;
  for (uint32_t t = 0; t < mesh.TriangleCount(); ++t)
    for (int c = 0; c < 3; ++c) {
      const Vector p = mesh.CornerPosition(t, c), n = mesh.CornerNormal(t, c);
      EXPECT_TRUE(!pickable || (std::fabs(Length(n) - 1.0f) < 1e-5f && std::fabs(Dot3(n, p) - Length(p)) < 1e-4f));
      EXPECT_TRUE(!pickable || mesh.CornerColour(t, c) == Vector(0.2f, 0.5f, 0.9f));
      for (int k = 0; k < 3; ++k) low[k] = std::min(low[k], p[k]), high[k] = std::max(high[k], p[k]);
    }
  const CollisionComp& c = *object.Find<CollisionComp>();
  EXPECT_TRUE(c.hasBoundingSphere && c.hasHull && !c.hullVertices.empty() && c.hasLocalBox);
  EXPECT_TRUE((c.groupMask & 1u) && (c.collideMask & 1u) && c.pickable == pickable);
  for (int k = 0; k < 3; ++k) {
    EXPECT_NEAR(c.localBox.halfExtents[k], 0.5f * (high[k] - low[k]) + 0.04f, 1e-5f);
    EXPECT_NEAR(c.localBox.center[k], 0.5f * (high[k] + low[k]), 1e-5f);
  }
  return {low, high};
}

// Mass properties are those of the faceted solids: the 12 x 12 sphere of
// radius 2 encloses 31.4548 (a stack of pyramid frusta on regular 12-gons,
// summed apart from the code), not the round 33.51; the cone (a pyramid on a
// 16-gon) has its centre of mass a quarter of its height above its base, so
// the object stands there, and the mesh about it.
TEST(SolidFactory, SphereBoxAndConeMassPropertiesAndShapes) {
  GameObject sphere = BuildSolid("obj4", Vector(-1, 3, -2), Vector(2, 0, 0), Sphere, Quaternion(), 10.0f);
  EXPECT_TRUE(sphere.name == "obj4" && Length(WithW(sphere.position - Vector(-1, 3, -2), 0)) < 1e-5f);
  const float sphereMass = PhysicsOf(sphere).mass;
  EXPECT_NEAR(sphereMass, 314.548, 1e-3);
  scene_test::ExpectExactBody(sphere, 10.0);
  // About a solid ball's 2/5 m r^2, not a shell's 2/3: the facets' mass lies
  // a little inwards, most of all about the poles' axis (3 and 6 % less).
  for (int k = 0; k < 3; ++k) EXPECT_NEAR(PhysicsOf(sphere).inertiaTensor(k, k), 0.4 * sphereMass * 4.0, 0.08 * 0.4 * sphereMass * 4.0);
  CheckSolid(sphere, true);

  GameObject box = BuildSolid("obj7", Vector(-7, 4, 2), Vector(1.75f, 1, 1.75f), Box, Quaternion(), 10.0f);
  scene_test::ExpectExactBody(box, 10.0);
  const Vector corner = CheckSolid(box, true).second;  // of a 3.5 x 2 x 3.5 box about its centre
  EXPECT_TRUE(box.position == Vector(-7, 4, 2) && corner.x == 1.75f && corner.y == 1.0f && corner.z == 1.75f);

  GameObject cone = BuildSolid("obj3", Vector(-2, 4, 4), Vector(1.5f, 2, 0), Cone, Quaternion(), 10.0f);
  EXPECT_LT(Length(WithW(cone.position - Vector(-2, 3, 4), 0)), 1e-5f);
  scene_test::ExpectExactBody(cone, 10.0);
  // Turned over: it stands on its base (the wide end at the bottom, y = 2 in
  // the world), apex up (y = 6).
  const auto [low, high] = CheckSolid(cone, true);
  EXPECT_TRUE(std::fabs(low.y + 1.0f) < 1e-5f && std::fabs(high.y - 3.0f) < 1e-5f);
  for (const Vertex& v : MeshOf(cone).vertices)
    EXPECT_TRUE(v.y > 2.99f ? std::hypot(v.x, v.z) < 1e-4f : v.y > -0.99f || std::hypot(v.x, v.z) <= 1.5f + 1e-4f);
}

// An orientation turns the mesh (a quarter turn about y swaps the box's x
// and z extents, and so its moments about x and z) while the object keeps
// the identity. The random type makes every shape, with the caller's radius
// and drawn box and cone sizes. A model solid is fitted, turned, and put on
// its centre of mass without moving. The ground: heavy, its top face at
// y = 0, not pickable.
TEST(SolidFactory, TurnedRandomAndModelSolidsAndTheGround) {
  const Quaternion turn = Quaternion::FromAxisAngle(Vector(0, 1, 0), float(kPi / 2));
  GameObject box = BuildSolid("b", Vector(1, 1, 1), Vector(2, 0.5f, 0.25f), Box, turn, 1.0f);
  EXPECT_TRUE(box.orientation == Quaternion());
  const Vector high = CheckSolid(box, true).second;
  EXPECT_TRUE(std::fabs(high.x - 0.25f) < 1e-4f && std::fabs(high.y - 0.5f) < 1e-4f && std::fabs(high.z - 2.0f) < 1e-4f);
  EXPECT_FLOAT_EQ(PhysicsOf(box).mass, 4.0f * 1.0f * 0.5f);
  EXPECT_NEAR(PhysicsOf(box).inertiaTensor(0, 0), 2.0 / 12.0 * (1.0 + 16.0), 1e-5);
  EXPECT_NEAR(PhysicsOf(box).inertiaTensor(2, 2), 2.0 / 12.0 * (0.25 + 1.0), 1e-5);
  Mesh model = BuildBox(2, 2, 2, 1.0f, 2.0f, 3.0f);
  model.vertices[0].x -= 0.7f;
  const Quaternion tilt = Quaternion::FromAxisAngle(Normalize(Vector(1, 2, 0.5f)), 0.9f);
  GameObject fitted = BuildModelSolid("m", Vector(1, 2, 3), model, 4.0f, tilt, 2.0f);
  scene_test::ExpectExactBody(fitted, 2.0);
  FitToSize(model, 4.0f);
  model.Transform(tilt.ToMatrix());
  const std::vector<Vector> world = scene_test::WorldVertices(fitted);
  for (size_t v = 0; v < world.size(); ++v)
    EXPECT_LT(Length(WithW(world[v] - model.vertices[v].Position() - Vector(1, 2, 3), 0)), 1e-5f) << v;
  std::srand(12345);
  std::set<std::string> seen;
  for (int i = 0; i < 60; ++i) {
    // Model without a loaded model: a random shape as well.
    GameObject solid = BuildSolid("r", Vector(), Vector(0.7f, 0.7f, 0.7f), i % 2 ? Random : Model, Quaternion(), 3.0f);
    const std::string name = MeshOf(solid).name;
    seen.insert(name);
    scene_test::ExpectExactBody(solid, 3.0);
    const auto [lo, hi] = CheckSolid(solid, true);
    EXPECT_TRUE(name == "Box" || std::fabs(std::max(hi.x, -lo.x) - 0.7f) < 1e-3f) << name;  // the caller's radius
    for (int k = name == "Sphere" ? 3 : name == "Cone" ? 1 : 0; k < (name == "Cone" ? 2 : 3); ++k)
      EXPECT_TRUE(hi[k] - lo[k] >= 1.0f - 1e-5f && hi[k] - lo[k] <= 4.0f + 1e-5f) << name << " " << k;
  }
  EXPECT_EQ(seen, (std::set<std::string>{"Box", "Cone", "Sphere"}));
  GameObject ground = BuildGroundPlane();
  EXPECT_TRUE(ground.name == "GROUND_PLANE" && ground.position == Vector(0, -5, 0) && PhysicsOf(ground).mass == 1.0e9f);
  const auto [groundLow, groundHigh] = CheckSolid(ground, false);
  EXPECT_TRUE(groundHigh == Vector(150.0f, 5.0f, 150.0f) && groundLow == Vector(-150.0f, -5.0f, -150.0f));
}

}  // namespace
