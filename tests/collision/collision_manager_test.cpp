// CollisionManager: the "Set" switches, the result buffers seen from another
// thread, whole frames over the object table, and the generators.

#include <algorithm>
#include <atomic>
#include <cmath>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "collision_test_util.h"
#include "event_manager.h"

namespace {

using collision_test::MakeGround;
using collision_test::MakeSolid;
using collision_test::ReportCapture;
using collision_test::SceneMesh;
using collision_test::SceneTest;
using collision_test::Shape;

void SendSet(const char* key, bool value) {
  Event event("Test", "CollisionManager", "Set");
  event.SetParam<bool>(key, value);
  EventManager::Instance().PostEvent(event);
}

// Checks that the manifolds name consecutive runs that exactly cover the
// points, each with 1 to 10 points and the pair's normal.
::testing::AssertionResult Consistent(const std::vector<ContactManifold>& manifolds,
                                      const std::vector<ContactPoint>& points) {
  uint32_t next = 0;
  for (const ContactManifold& m : manifolds) {
    if (m.firstPoint != next || m.pointCount < 1 || m.pointCount > 10)
      return ::testing::AssertionFailure() << "run " << m.firstPoint << "+" << m.pointCount
                                           << " after " << next;
    next += m.pointCount;
    if (next > points.size()) return ::testing::AssertionFailure() << "run past the points";
    for (uint32_t i = m.firstPoint + 1; i < next; ++i) {
      if (!(points[i].normal == points[m.firstPoint].normal))
        return ::testing::AssertionFailure() << "points of one manifold disagree on the normal";
    }
  }
  if (next != points.size())
    return ::testing::AssertionFailure() << next << " points named, " << points.size() << " held";
  return ::testing::AssertionSuccess();
}

using CollisionFrame = SceneTest;

TEST_F(CollisionFrame, BoxRestingOnGroundGivesOneManifoldOfFourPoints) {
  CollisionManager& manager = CollisionManager::Instance();
  const uint32_t ground = Add(MakeGround());
  // A plain box (one division per face): its hull is its eight corners.
  const float sink = 0.05f;
  const float bottom = 0.75f * (1.0f + 0.08f / std::sqrt(3.0f * 0.75f * 0.75f));  // with the margin
  const uint32_t box =
      Add(MakeSolid("box", BuildBox(1, 1, 1, 1.5f, 1.5f, 1.5f), Vector(3, bottom - sink, -4)));
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
  // Single-contact mode: one point.
  manager.doMultipleContacts = false;
  manager.Update();
  manager.GetContacts(manifolds, points);
  ASSERT_EQ(manifolds.size(), 1u);
  EXPECT_EQ(points.size(), 1u);
}

TEST_F(CollisionFrame, SceneSolidsRestingInColumnsAllTouchTheirNeighbours) {
  // Boxes, spheres and cones of size 0.75 stacked two high, 0.05 into each
  // other and into the ground: one manifold per touching pair, none across
  // columns. In the third column no two masks share a bit (1, 2, 4), which
  // keeps its pairs out entirely.
  CollisionManager& manager = CollisionManager::Instance();
  Add(MakeGround());
  const Shape shapes[] = {Shape::Box, Shape::Sphere, Shape::Cone};
  int pairs = 0;
  for (int column = 0; column < 3; ++column) {
    for (int layer = 0; layer < 2; ++layer) {
      GameObject solid = MakeSolid("solid" + std::to_string(column) + "_" + std::to_string(layer),
                                   SceneMesh(shapes[(column + layer) % 3], 0.75f),
                                   Vector(2.0f * column, 0.70f + 1.45f * layer, 0));
      if (column == 2) {
        CollisionComp* comp = solid.FindComponent<CollisionComp>("CollisionComp");
        comp->groupMask = comp->collideMask = 2u << layer;  // 2, then 4
      }
      Add(solid);
      if (column < 2) ++pairs;  // each solid touches the one below (or the ground)
    }
  }
  manager.doMultipleContacts = true;
  manager.Update();
  std::vector<ContactManifold> manifolds;
  std::vector<ContactPoint> points;
  manager.GetContacts(manifolds, points);
  EXPECT_EQ(static_cast<int>(manifolds.size()), pairs);
  EXPECT_TRUE(Consistent(manifolds, points));
  for (const ContactPoint& p : points) {
    // Everything rests vertically: the normal is up or down.
    EXPECT_NEAR(std::fabs(p.normal.y), 1.0f, 1e-3f);
  }
}

TEST_F(CollisionFrame, SetCollisionOffEmptiesTheContactsAfterTheNextFlip) {
  CollisionManager& manager = CollisionManager::Instance();
  Add(MakeGround());
  Add(MakeSolid("box", SceneMesh(Shape::Box, 0.75f), Vector(0, 0.7f, 0)));
  std::vector<ContactManifold> manifolds;
  std::vector<ContactPoint> points;
  manager.Update();
  manager.GetContacts(manifolds, points);
  ASSERT_EQ(manifolds.size(), 1u);

  SendSet("collisionOn", false);
  manager.Update();
  EXPECT_FALSE(manager.collisionOn);
  manager.GetContacts(manifolds, points);
  EXPECT_TRUE(manifolds.empty());
  EXPECT_TRUE(points.empty());

  SendSet("collisionOn", true);
  manager.Update();
  manager.GetContacts(manifolds, points);
  EXPECT_EQ(manifolds.size(), 1u);
}

TEST_F(CollisionFrame, SetCopiesOnlyTheBoolParametersItCarries) {
  CollisionManager& manager = CollisionManager::Instance();
  Event event("Test", "CollisionManager", "Set");
  event.SetParam<bool>("pickOn", true);
  event.SetParam<bool>("doMultipleContacts", true);
  EventManager::Instance().PostEvent(event);
  manager.Update();
  EXPECT_TRUE(manager.pickOn);
  EXPECT_TRUE(manager.collisionOn);  // not carried: unchanged
  EXPECT_TRUE(manager.doMultipleContacts);

  // Another event type, and a parameter of the wrong type, change nothing;
  // the wrong type is reported instead of escaping as an exception.
  Event other("Test", "CollisionManager", "Reset");
  other.SetParam<bool>("pickOn", false);
  EventManager::Instance().PostEvent(other);
  Event wrong("Test", "CollisionManager", "Set");
  wrong.SetParam<float>("doMultipleContacts", 0.0f);
  EventManager::Instance().PostEvent(wrong);
  ReportCapture capture;
  manager.Update();
  EXPECT_TRUE(manager.pickOn);
  EXPECT_TRUE(manager.doMultipleContacts);
  EXPECT_EQ(capture.Count("WARNING"), 1u);
}

TEST_F(CollisionFrame, ReaderOnAnotherThreadNeverSeesATornBuffer) {
  // A small pile whose point count changes every frame (single and multiple
  // contacts alternate, and one solid moves in and out of touch), read
  // continuously from a second thread. Frames are short, so a reader that
  // copied the manifolds of one frame and the points of the next would be
  // caught within a few thousand frames.
  CollisionManager& manager = CollisionManager::Instance();
  Add(MakeGround());
  for (int i = 0; i < 2; ++i) {
    Add(MakeSolid("solid" + std::to_string(i), SceneMesh(Shape::Box, 0.75f),
                  Vector(2.0f * i, 0.7f, 0)));
  }
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
    objects.Lock();
    objects.GetGameObject(mover).position.y = frame % 3 == 0 ? 5.0f : 0.7f;
    objects.Unlock();
    manager.Update();
  }
  while (reads < 10) std::this_thread::yield();
  done = true;
  reader.join();
  EXPECT_EQ(bad, 0);
}

TEST_F(CollisionFrame, RemovedAndDeadObjectsAreSkipped) {
  CollisionManager& manager = CollisionManager::Instance();
  Add(MakeGround());
  const uint32_t box = Add(MakeSolid("box", SceneMesh(Shape::Box, 0.75f), Vector(0, 0.7f, 0)));
  ObjectManager& objects = ObjectManager::Instance();
  objects.Lock();
  objects.KillGameObject(objects.GetGameObject(box));
  objects.Unlock();
  manager.Update();
  std::vector<ContactManifold> manifolds;
  std::vector<ContactPoint> points;
  manager.GetContacts(manifolds, points);
  EXPECT_TRUE(manifolds.empty());
}

TEST(Generators, MissingComponentsAreWarnedAboutAndChangeNothing) {
  CollisionManager& manager = CollisionManager::Instance();
  GameObject noModel;
  noModel.name = "no model";
  CollisionComp original;
  original.boundingRadius = 3.0f;
  noModel.AttachComponent(original);
  GameObject noCollision;
  noCollision.name = "no collision";
  ModelComp model;
  model.mesh = SceneMesh(Shape::Box, 1.0f);
  noCollision.AttachComponent(model);

  ReportCapture capture;
  manager.GenerateBoundingSphere(noModel);
  manager.GenerateCollisionHull(noModel);
  EXPECT_EQ(capture.Count("WARNING: "), 2u);
  EXPECT_EQ(capture.Count("No model to generate bounding sphere from!"), 2u);
  const CollisionComp* comp = noModel.FindComponent<CollisionComp>("CollisionComp");
  EXPECT_FALSE(comp->hasBoundingSphere);
  EXPECT_FALSE(comp->hasHull);
  EXPECT_EQ(comp->boundingRadius, 3.0f);
  EXPECT_TRUE(comp->hullVertices.empty());

  manager.GenerateBoundingSphere(noCollision);
  manager.GenerateCollisionHull(noCollision);
  EXPECT_EQ(capture.Count("No collision component on this GameObject!"), 2u);
  EXPECT_FALSE(noCollision.HasComponent("CollisionComp"));  // nothing inserted
  EXPECT_NE(capture.NewLog().find("collision/collision_manager.cpp:"), std::string::npos);
  EXPECT_TRUE(System::Instance().running);  // warnings do not stop the engine
}

TEST(Generators, HullsOfThePrimitivesEncloseTheirMeshesByTheMargin) {
  CollisionManager& manager = CollisionManager::Instance();
  for (const Shape shape : {Shape::Box, Shape::Sphere, Shape::Cone}) {
    for (const float scale : {1.0f, 2.5f}) {
      const Mesh mesh = SceneMesh(shape, 0.75f);
      GameObject object;
      ModelComp model;
      model.mesh = mesh;
      model.scale = scale;
      object.AttachComponent(model);
      object.AttachComponent(CollisionComp());
      manager.GenerateCollisionHull(object);  // makes the sphere first
      const CollisionComp& comp = *object.FindComponent<CollisionComp>("CollisionComp");
      ASSERT_TRUE(comp.hasBoundingSphere);
      ASSERT_TRUE(comp.hasHull);
      ASSERT_FALSE(comp.hullVertices.empty());
      ASSERT_FALSE(comp.faceNormals.empty());
      ASSERT_FALSE(comp.edgeDirections.empty());
      for (const Vector& n : comp.faceNormals) EXPECT_NEAR(Length(n), 1.0f, 1e-5f);
      for (const Vector& e : comp.edgeDirections) EXPECT_NEAR(Length(e), 1.0f, 1e-5f);

      // The mesh's face planes at the model scale (the primitives are convex).
      std::vector<std::pair<Vector, Vector>> planes;
      for (uint32_t t = 0; t < mesh.TriangleCount(); ++t) {
        if (mesh.TriangleArea(t) > 1e-6f) planes.push_back({mesh.FaceNormal(t), mesh.CornerPosition(t, 0) * scale});
      }
      for (const Vector& h : comp.hullVertices) {
        // Each hull vertex is a mesh vertex pushed 0.08 straight out from
        // the origin...
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
      for (const Vertex& v : mesh.vertices)
        farthest = std::max(farthest, Length(v.Position() * scale - comp.boundingCenter));
      EXPECT_NEAR(comp.boundingRadius, farthest + 0.08f, 1e-4f);
    }
  }
}

TEST(Generators, BoundingBoxOfAMeshAtAScale) {
  const Mesh box = BuildBox(2, 2, 2, 2.0f, 4.0f, 6.0f);
  const BoundingBox b = CollisionManager::ComputeBoundingBox(box, 0.5f);
  EXPECT_NEAR(b.halfExtents.x, 0.5f, 1e-6f);
  EXPECT_NEAR(b.halfExtents.y, 1.0f, 1e-6f);
  EXPECT_NEAR(b.halfExtents.z, 1.5f, 1e-6f);
  EXPECT_NEAR(Length(b.center), 0.0f, 1e-6f);
  Mesh shifted = box;
  shifted.Transform(Matrix4::Translation(Vector(1, 2, 3)));
  const BoundingBox s = CollisionManager::ComputeBoundingBox(shifted, 2.0f);
  EXPECT_NEAR(s.center.x, 2.0f, 1e-5f);
  EXPECT_NEAR(s.center.y, 4.0f, 1e-5f);
  EXPECT_NEAR(s.center.z, 6.0f, 1e-5f);
  EXPECT_NEAR(s.halfExtents.z, 6.0f, 1e-5f);
  // No vertices: the zero box rather than a read past the end.
  const BoundingBox none = CollisionManager::ComputeBoundingBox(Mesh(), 1.0f);
  EXPECT_EQ(none.halfExtents, Vector());
}

}  // namespace
