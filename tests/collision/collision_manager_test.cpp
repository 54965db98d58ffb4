// CollisionManager: the "Set" switches, the result buffers seen from another
// thread, whole frames over the object table, and the generators.

#include <algorithm>
#include <atomic>
#include <cmath>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "collision_test_util.h"
#include "core/event_manager.h"

namespace {

using collision_test::MakeGround;
using collision_test::MakeSolid;
using collision_test::ReportCapture;
using collision_test::SceneMesh;
using collision_test::SceneTest;
using collision_test::Shape;

// The manifolds name consecutive runs that exactly cover the points, each
// with 1 to 10 points sharing the pair's normal.
::testing::AssertionResult Consistent(const std::vector<ContactManifold>& manifolds,
                                      const std::vector<ContactPoint>& points) {
  uint32_t next = 0;
  for (const ContactManifold& m : manifolds) {
    if (m.firstPoint != next || m.pointCount < 1 || m.pointCount > 10) return ::testing::AssertionFailure() << "bad run";
    next += m.pointCount;
    if (next > points.size()) return ::testing::AssertionFailure() << "run past the points";
    for (uint32_t i = m.firstPoint + 1; i < next; ++i) {
      if (!(points[i].normal == points[m.firstPoint].normal)) return ::testing::AssertionFailure() << "normals differ";
    }
  }
  if (next != points.size()) return ::testing::AssertionFailure() << next << " named, " << points.size() << " held";
  return ::testing::AssertionSuccess();
}

using CollisionFrame = SceneTest;

TEST_F(CollisionFrame, BoxRestingOnGroundGivesOneManifoldOfFourPoints) {
  CollisionManager& manager = CollisionManager::Instance();
  const uint32_t ground = Add(MakeGround());
  // A plain box (one division per face): its hull is its eight corners.
  const float sink = 0.05f;
  const float bottom = 0.75f * (1.0f + 0.08f / std::sqrt(3.0f * 0.75f * 0.75f));  // with the margin
  const uint32_t box = Add(MakeSolid("box", BuildBox(1, 1, 1, 1.5f, 1.5f, 1.5f), Vector(3, bottom - sink, -4)));
  // A dead box sunk into the ground elsewhere must be skipped.
  const uint32_t dead = Add(MakeSolid("dead", SceneMesh(Shape::Box, 0.75f), Vector(-20, 0.7f, 0)));
  ObjectManager& objects = ObjectManager::Instance();
  {
    ObjectLock lock;
    objects.KillGameObject(objects.GetGameObject(dead));
  }
  manager.doMultipleContacts = true;
  manager.Update();
  std::vector<ContactManifold> manifolds;
  std::vector<ContactPoint> points;
  manager.GetContacts(manifolds, points);
  ASSERT_EQ(manifolds.size(), 1u);
  EXPECT_EQ(manifolds[0].objectA, ground);  // the ground's span starts first
  EXPECT_EQ(manifolds[0].objectB, box);
  EXPECT_EQ(manifolds[0].pointCount, 4u);
  ASSERT_EQ(points.size(), 4u);
  EXPECT_TRUE(Consistent(manifolds, points));
  for (const ContactPoint& p : points) {
    EXPECT_NEAR(p.normal.y, 1.0f, 1e-5f);
    EXPECT_NEAR(p.pointOnB.y, -sink, 0.02f);  // the ground's hull is pushed out a little too
    EXPECT_NEAR(p.pointOnA.y, p.pointOnB.y + p.depth, 1e-5f);
  }
  manager.doMultipleContacts = false;
  manager.Update();
  manager.GetContacts(manifolds, points);
  ASSERT_EQ(manifolds.size(), 1u);
  EXPECT_EQ(points.size(), 1u);
}

TEST_F(CollisionFrame, SetSwitchesAndCollisionOffEmptiesTheContacts) {
  CollisionManager& manager = CollisionManager::Instance();
  Add(MakeGround());
  Add(MakeSolid("box", SceneMesh(Shape::Box, 0.75f), Vector(0, 0.7f, 0)));
  std::vector<ContactManifold> manifolds;
  std::vector<ContactPoint> points;
  manager.Update();
  manager.GetContacts(manifolds, points);
  ASSERT_EQ(manifolds.size(), 1u);
  // Only the bool parameters an event carries are copied.
  Event off("Test", "CollisionManager", "Set");
  off.SetParam<bool>("collisionOn", false);
  off.SetParam<bool>("pickOn", true);
  EventManager::Instance().PostEvent(off);
  manager.Update();
  EXPECT_FALSE(manager.collisionOn);
  EXPECT_TRUE(manager.pickOn);
  EXPECT_FALSE(manager.doMultipleContacts);
  manager.GetContacts(manifolds, points);
  EXPECT_TRUE(manifolds.empty());
  EXPECT_TRUE(points.empty());
  // Another event type, and a parameter of the wrong type (reported rather
  // than thrown), change nothing.
  Event other("Test", "CollisionManager", "Reset");
  other.SetParam<bool>("collisionOn", true);
  EventManager::Instance().PostEvent(other);
  Event wrong("Test", "CollisionManager", "Set");
  wrong.SetParam<float>("collisionOn", 1.0f);
  EventManager::Instance().PostEvent(wrong);
  {
    ReportCapture capture;
    manager.Update();
    EXPECT_FALSE(manager.collisionOn);
    EXPECT_EQ(capture.Count("WARNING"), 1u);
  }
  Event on("Test", "CollisionManager", "Set");
  on.SetParam<bool>("collisionOn", true);
  EventManager::Instance().PostEvent(on);
  manager.Update();
  manager.GetContacts(manifolds, points);
  EXPECT_EQ(manifolds.size(), 1u);
}

TEST_F(CollisionFrame, ReaderOnAnotherThreadNeverSeesATornBuffer) {
  // The point count changes every frame (single and multiple contacts
  // alternate, one solid moves in and out of touch) while a second thread
  // copies continuously: a copy mixing two frames is caught quickly.
  CollisionManager& manager = CollisionManager::Instance();
  Add(MakeGround());
  for (int i = 0; i < 2; ++i) Add(MakeSolid("solid" + std::to_string(i), SceneMesh(Shape::Box, 0.75f), Vector(2.0f * i, 0.7f, 0)));
  const uint32_t mover = Add(MakeSolid("mover", SceneMesh(Shape::Box, 0.75f), Vector(-2, 0.7f, 0)));
  std::atomic<bool> done{false};
  std::atomic<int> reads{0}, bad{0};
  std::thread reader([&] {
    std::vector<ContactManifold> manifolds;
    std::vector<ContactPoint> points;
    while (!done) {
      manager.GetContacts(manifolds, points);
      if (!Consistent(manifolds, points)) ++bad;
      ++reads;
    }
  });
  ObjectManager& objects = ObjectManager::Instance();
  for (int frame = 0; frame < 20000 && bad == 0; ++frame) {
    manager.doMultipleContacts = frame % 2 == 0;
    {
      ObjectLock lock;
      objects.GetGameObject(mover).position.y = frame % 3 == 0 ? 5.0f : 0.7f;
    }
    manager.Update();
  }
  while (reads < 10) std::this_thread::yield();
  done = true;
  reader.join();
  EXPECT_EQ(bad, 0);
}

TEST(Generators, MissingComponentsAreWarnedAboutAndChangeNothing) {
  GameObject noModel;
  CollisionComp original;
  original.boundingRadius = 3.0f;
  noModel.AttachComponent(original);
  GameObject noCollision;
  ModelComp model;
  model.mesh = SceneMesh(Shape::Box, 1.0f);
  noCollision.AttachComponent(model);
  ReportCapture capture;
  GenerateBoundingSphere(noModel);
  GenerateCollisionHull(noModel);
  EXPECT_EQ(capture.Count("WARNING: "), 2u);
  EXPECT_EQ(capture.Count("No model to generate bounding sphere from!"), 2u);
  const CollisionComp* comp = noModel.Find<CollisionComp>();
  EXPECT_FALSE(comp->hasBoundingSphere);
  EXPECT_FALSE(comp->hasHull);
  EXPECT_EQ(comp->boundingRadius, 3.0f);
  EXPECT_TRUE(comp->hullVertices.empty());
  GenerateBoundingSphere(noCollision);
  GenerateCollisionHull(noCollision);
  EXPECT_EQ(capture.Count("No collision component on this GameObject!"), 2u);
  EXPECT_EQ(noCollision.componentList.size(), 1u);  // nothing inserted
  EXPECT_NE(capture.NewLog().find("collision/collision_shapes.cpp:"), std::string::npos);
  EXPECT_TRUE(System::Instance().running);  // warnings do not stop the engine
}

TEST(Generators, HullsOfThePrimitivesEncloseTheirMeshesByTheMargin) {
  for (const Shape shape : {Shape::Box, Shape::Sphere, Shape::Cone}) {
    for (const float scale : {1.0f, 2.5f}) {
      const Mesh mesh = SceneMesh(shape, 0.75f);
      GameObject object;
      ModelComp model;
      model.mesh = mesh;
      model.scale = scale;
      object.AttachComponent(model);
      object.AttachComponent(CollisionComp());
      GenerateCollisionHull(object);  // makes the sphere first
      const CollisionComp& comp = *object.Find<CollisionComp>();
      ASSERT_TRUE(comp.hasBoundingSphere && comp.hasHull);
      ASSERT_FALSE(comp.hullVertices.empty() || comp.faceNormals.empty() || comp.edgeDirections.empty());
      for (const Vector& n : comp.faceNormals) EXPECT_NEAR(Length(n), 1.0f, 1e-5f);
      for (const Vector& e : comp.edgeDirections) EXPECT_NEAR(Length(e), 1.0f, 1e-5f);
      // The mesh's face planes at the model scale (the primitives are convex).
      std::vector<std::pair<Vector, Vector>> planes;
      for (uint32_t t = 0; t < mesh.TriangleCount(); ++t) {
        if (mesh.TriangleArea(t) > 1e-6f) planes.push_back({mesh.FaceNormal(t), mesh.CornerPosition(t, 0) * scale});
      }
      for (const Vector& h : comp.hullVertices) {
        // Each hull vertex is a mesh vertex pushed 0.08 out from the origin...
        bool found = false;
        for (const Vertex& v : mesh.vertices) {
          const Vector p = v.Position() * scale;
          const float length = Length(p);
          if (length > 1e-6f && Length(p * ((0.08f + length) / length) - h) < 1e-4f) found = true;
        }
        EXPECT_TRUE(found);
        // ...and lies outside the mesh.
        float outside = -1e9f;
        for (const auto& plane : planes) outside = std::max(outside, Dot3(plane.first, h - plane.second));
        EXPECT_GT(outside, 0.0f);
      }
      // The sphere holds every vertex of the mesh, and the margin.
      float farthest = 0.0f;
      for (const Vertex& v : mesh.vertices) farthest = std::max(farthest, Length(v.Position() * scale - comp.boundingCenter));
      EXPECT_NEAR(comp.boundingRadius, farthest + 0.08f, 1e-4f);
    }
  }
}

TEST(Generators, BoundingBoxOfAMeshAtAScale) {
  Mesh shifted = BuildBox(2, 2, 2, 2.0f, 4.0f, 6.0f);
  shifted.Transform(Matrix4::Translation(Vector(1, 2, 3)));
  const BoundingBox s = ComputeBoundingBox(shifted, 2.0f);
  for (int k = 0; k < 3; ++k) {
    EXPECT_NEAR(s.center[k], 2.0f * (k + 1), 1e-5f);
    EXPECT_NEAR(s.halfExtents[k], 2.0f * (k + 1), 1e-5f);
  }
  // No vertices: the zero box rather than a read past the end.
  EXPECT_EQ(ComputeBoundingBox(Mesh(), 1.0f).halfExtents, Vector());
}

}  // namespace
