// CollisionManager: whole frames over the object table (turned objects with
// off-centre shapes among them), the "Set" switches, the result buffers seen
// from another thread, picking (the ray/sphere test against the quadratic
// in double, and the pick pass), and the shape generators.

#include <algorithm>
#include <atomic>
#include <cmath>
#include <random>
#include <utility>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "collision/broad_phase.h"
#include "collision/pick.h"
#include "collision_test_util.h"
#include "core/event_manager.h"
#include "core/system.h"
#include "support/log_capture.h"

namespace {

using collision_test::MakeGround;
using collision_test::MakeSolid;
using collision_test::SceneMesh;
using collision_test::Shape;
using CollisionFrame = collision_test::SceneTest;

// The manifolds name consecutive runs that exactly cover the points, each
// with 1 to 10 points sharing the pair's normal.
::testing::AssertionResult Consistent(const std::vector<ContactManifold>& manifolds,
                                      const std::vector<ContactPoint>& points) {
  uint32_t next = 0;
  for (const ContactManifold& m : manifolds) {
    if (m.firstPoint != next || m.pointCount < 1 || m.pointCount > 10) return ::testing::AssertionFailure() << "bad run";
    next += m.pointCount;
    if (next > points.size()) return ::testing::AssertionFailure() << "run past the points";
    for (uint32_t i = m.firstPoint + 1; i < next; ++i)
      if (!(points[i].normal == points[m.firstPoint].normal)) return ::testing::AssertionFailure() << "normals differ";
  }
  if (next != points.size()) return ::testing::AssertionFailure() << next << " named, " << points.size() << " held";
  return ::testing::AssertionSuccess();
}

TEST_F(CollisionFrame, BoxOnGroundGivesFourPointsOrOneAndSetSwitchesCollisionOff) {
  CollisionManager& manager = CollisionManager::Instance();
  const uint32_t ground = Add(MakeGround());
  // A plain box (one division per face): its hull is its eight corners.
  const float sink = 0.05f;
  const float bottom = 0.75f * (1.0f + 0.08f / std::sqrt(3.0f * 0.75f * 0.75f));  // with the margin
  const uint32_t box = Add(MakeSolid("box", BuildBox(1, 1, 1, 1.5f, 1.5f, 1.5f), Vector(3, bottom - sink, -4)));
  // A dead box sunk into the ground elsewhere must be skipped.
  const uint32_t dead = Add(MakeSolid("dead", SceneMesh(Shape::Box, 0.75f), Vector(-20, 0.7f, 0)));
  ObjectManager& objects = ObjectManager::Instance();
  objects.KillGameObject(objects.GetGameObject(dead));
  manager.doMultipleContacts = true;
  manager.Update();
  std::vector<ContactManifold> manifolds;
  std::vector<ContactPoint> points;
  manager.GetContacts(manifolds, points);
  ASSERT_TRUE(manifolds.size() == 1u && points.size() == 4u);
  EXPECT_TRUE(manifolds[0].objectA == ground && manifolds[0].objectB == box);  // the ground's span starts first
  EXPECT_TRUE(Consistent(manifolds, points));
  for (const ContactPoint& p : points) {
    EXPECT_NEAR(p.normal.y, 1.0f, 1e-5f);
    EXPECT_NEAR(p.pointOnB.y, -sink, 0.02f);  // the ground's hull is pushed out a little too
    EXPECT_NEAR(p.pointOnA.y, p.pointOnB.y + p.depth, 1e-5f);
  }
  manager.doMultipleContacts = false;
  manager.Update();
  manager.GetContacts(manifolds, points);
  EXPECT_TRUE(manifolds.size() == 1u && points.size() == 1u);
  // "Set" copies the bool parameters an event carries; collision off empties
  // the contacts. A parameter of the wrong type is warned about rather than
  // thrown (on the collision thread, nothing would catch it).
  auto post = [](const char* key, auto value) {
    Event event("Test", "CollisionManager", "Set");
    event.SetParam(key, value);
    EventManager::Instance().PostEvent(event);
  };
  post("collisionOn", false);
  post("pickOn", true);
  manager.Update();
  EXPECT_TRUE(!manager.collisionOn && manager.pickOn && !manager.doMultipleContacts);
  manager.GetContacts(manifolds, points);
  EXPECT_TRUE(manifolds.empty() && points.empty());
  post("collisionOn", 1.0f);
  support::LogCapture log;
  manager.Update();
  EXPECT_TRUE(!manager.collisionOn && log.Count("WARNING") == 1u);
  post("collisionOn", true);
  manager.Update();
  manager.GetContacts(manifolds, points);
  EXPECT_EQ(manifolds.size(), 1u);
}

// The broad phase grows each sphere by what its object's motion may cover in
// two steps of 1/60 s, (|v| + |w| (|c| + r)) / 30 up to 5, plus 0.005; the
// pick pass keeps the plain sphere. Two boxes in the air whose spheres are
// apart make a pair once one flies at the other, with the normal from the
// first to the second and minus their gap as the depth; flying side by side
// at the same speed, they make none.
TEST_F(CollisionFrame, AFastBodysReachGrowsItsSphereAndBringsItsPairIn) {
  CollisionComp comp = collision_test::BoxHull(Vector(0.3f, 0.3f, 0.3f));
  comp.boundingCenter = Vector(3, 4, 0);
  const float plain = comp.boundingRadius;
  // {v.x, w.z, growth}: a turn moves the sphere's far side, 5 + r out.
  const float motions[][3] = {{-30, 0, 1}, {-30, 6, 1 + 6 * (5 + plain) / 30}, {1e4f, 0, 5}, {NAN, 0, 0}};
  for (const auto& m : motions) {
    comp.SetMotion(Vector(m[0], 0, 0), Vector(0, 0, m[1]));
    EXPECT_NEAR(SpeculativeSphere(1, Vector(), Quaternion(), comp).radius, plain + m[2] + 0.005f, 1e-5f) << m[0];
    EXPECT_EQ(WorldSphere(1, Vector(), Quaternion(), comp).radius, plain);
  }

  CollisionManager& manager = CollisionManager::Instance();
  ObjectManager& objects = ObjectManager::Instance();
  const uint32_t left = Add(MakeSolid("left", SceneMesh(Shape::Box, 0.25f), Vector(0, 5, 0)));
  const uint32_t right = Add(MakeSolid("right", SceneMesh(Shape::Box, 0.25f), Vector(1.3f, 5, 0)));
  CollisionComp& leftComp = *objects.GetGameObject(left).Find<CollisionComp>();
  float extent = 0.0f;  // of the hull along x
  for (const Vector& v : leftComp.hullVertices) extent = std::max(extent, v.x);
  ASSERT_GT(1.3f, 2.0f * leftComp.boundingRadius);  // the plain spheres are apart
  objects.GetGameObject(right).Find<CollisionComp>()->SetMotion(Vector(-30, 0, 0), Vector());
  std::vector<ContactManifold> manifolds;
  std::vector<ContactPoint> points;
  for (const float speed : {-30.0f, 0.0f}) {
    leftComp.SetMotion(Vector(speed, 0, 0), Vector());
    manager.Update();
    manager.GetContacts(manifolds, points);
    ASSERT_EQ(points.size(), speed == 0.0f ? 1u : 0u);
  }
  EXPECT_TRUE(manifolds[0].objectA == left && manifolds[0].objectB == right && points[0].normal.x > 0.999999f);
  EXPECT_NEAR(Dot3(points[0].point * 2.0f - points[0].pointOnB * 2.0f, points[0].normal), 2.0f * extent - 1.3f, 1e-5f);
}

// A box whose mesh sits three units from its object's origin, turned by a
// random rotation through 90 to 180 degrees about an axis across that
// offset: its collision shapes are where the turned mesh is, p + R c, which
// is more than four units from p + c and three from p. A probe box placed
// there must collide with it, and a pick ray through there must hit it at
// the distance of its sphere.
TEST_F(CollisionFrame, TurnedObjectsMeetWhereTheirOffCentreShapesAre) {
  CollisionManager& manager = CollisionManager::Instance();
  std::mt19937 random(31);
  std::uniform_real_distribution<float> unit(-1.0f, 1.0f), angle(1.5708f, 3.1416f);
  for (int trial = 0; trial < 20; ++trial) {
    Reset();
    const Vector axis = Normalize(Vector(unit(random), unit(random), unit(random)) + Vector(0.0f, 0.0f, 0.01f));
    const Vector across = Normalize(Cross(axis, Vector(unit(random), unit(random), unit(random)) + Vector(1.0f, 0, 0)));
    const Vector offset = across * 3.0f, position(5.0f * unit(random), 5.0f * unit(random), 5.0f * unit(random));
    const Quaternion turn = Quaternion::FromAxisAngle(axis, angle(random));
    Mesh shifted = SceneMesh(Shape::Box, 0.5f);
    shifted.Transform(Matrix4::Translation(offset));
    const uint32_t turned = Add(MakeSolid("turned", shifted, position, turn));
    const Vector where = position + WithW(turn.ToMatrix() * offset, 0.0f);
    const uint32_t probe = Add(MakeSolid("probe", SceneMesh(Shape::Box, 0.5f), where + Vector(0.3f, 0.2f, 0.1f)));
    manager.SetPickRay(PickRay{where + Vector(0.0f, 0.0f, 10.0f), Vector(0.0f, 0.0f, -1.0f)});
    manager.pickOn = true;
    manager.Update();
    std::vector<ContactManifold> manifolds;
    std::vector<ContactPoint> points;
    manager.GetContacts(manifolds, points);
    ASSERT_EQ(manifolds.size(), 1u) << "trial " << trial;
    EXPECT_EQ(std::minmax(manifolds[0].objectA, manifolds[0].objectB), std::minmax(turned, probe));
    std::vector<PickResult> hits;
    manager.GetPickResults(hits);
    const auto hit = std::find_if(hits.begin(), hits.end(), [&](const PickResult& r) { return r.objectId == turned; });
    const float radius = ObjectManager::Instance().GetGameObject(turned).Find<CollisionComp>()->boundingRadius;
    EXPECT_TRUE(hit != hits.end() && std::fabs(hit->t - (10.0f - radius)) < 1e-3f) << "trial " << trial;
  }
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

TEST(Generators, HullsAndSpheresEncloseTheMeshesByTheMarginAndMissingPartsAreWarned) {
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
      ASSERT_TRUE(comp.hasBoundingSphere && comp.hasHull && !comp.hullVertices.empty() && !comp.faceNormals.empty() &&
                  !comp.edgeDirections.empty());
      for (const std::vector<Vector>* units : {&comp.faceNormals, &comp.edgeDirections})
        for (const Vector& n : *units) EXPECT_NEAR(Length(n), 1.0f, 1e-5f);
      // The mesh's face planes at the model scale (the primitives are convex).
      std::vector<std::pair<Vector, Vector>> planes;
      for (uint32_t t = 0; t < mesh.TriangleCount(); ++t)
        if (mesh.TriangleArea(t) > 1e-6f) planes.push_back({mesh.FaceNormal(t), mesh.CornerPosition(t, 0) * scale});
      for (const Vector& h : comp.hullVertices) {
        // Each hull vertex is a mesh vertex pushed 0.08 out from the origin,
        // and lies outside the mesh.
        bool found = false;
        for (const Vertex& v : mesh.vertices) {
          const Vector p = v.Position() * scale;
          found = found || (Length(p) > 1e-6f && Length(p * ((0.08f + Length(p)) / Length(p)) - h) < 1e-4f);
        }
        float outside = -1e9f;
        for (const auto& plane : planes) outside = std::max(outside, Dot3(plane.first, h - plane.second));
        EXPECT_TRUE(found && outside > 0.0f);
      }
      // The sphere holds every vertex of the mesh, and the margin.
      float farthest = 0.0f;
      for (const Vertex& v : mesh.vertices) farthest = std::max(farthest, Length(v.Position() * scale - comp.boundingCenter));
      EXPECT_NEAR(comp.boundingRadius, farthest + 0.08f, 1e-4f);
    }
  }
  // The bounding box of a mesh at a scale; of no vertices, the zero box.
  Mesh shifted = BuildBox(2, 2, 2, 2.0f, 4.0f, 6.0f);
  shifted.Transform(Matrix4::Translation(Vector(1, 2, 3)));
  const BoundingBox s = ComputeBoundingBox(shifted, 2.0f);
  for (int k = 0; k < 3; ++k) EXPECT_TRUE(std::fabs(s.center[k] - 2.0f * (k + 1)) < 1e-5f && s.halfExtents[k] == s.center[k]);
  EXPECT_EQ(ComputeBoundingBox(Mesh(), 1.0f).halfExtents, Vector());

  // Without a model, or without a collision component, nothing changes.
  GameObject noModel, noCollision;
  noModel.AttachComponent(CollisionComp());
  noCollision.AttachComponent(ModelComp());
  support::LogCapture log;
  for (GameObject* object : {&noModel, &noCollision}) {
    GenerateBoundingSphere(*object);
    GenerateCollisionHull(*object);
  }
  EXPECT_EQ(log.Count("WARNING: collision/collision_shapes.cpp:"), 4u) << log.NewLog();
  const CollisionComp* comp = noModel.Find<CollisionComp>();
  EXPECT_TRUE(!comp->hasBoundingSphere && !comp->hasHull && !noCollision.Has<CollisionComp>());
  EXPECT_TRUE(System::Instance().running);                  // warnings do not stop the engine
}

// Random rays and spheres, after hand cases for the edges: a non-unit
// direction, a graze, a start inside, a sphere wholly behind, just beside,
// no direction. t is in units of the direction's length and is the nearer
// root, behind the origin when the ray starts inside or past the sphere.
TEST(PickSphere, HitsAtTheNearerRootOfTheQuadratic) {
  struct Case {
    Vector origin, direction;
    float radius;
  };
  std::vector<Case> cases = {{Vector(0, 0, 10), Vector(0, 0, -2), 1.0f},    {Vector(0, 1, 3), Vector(0, 0, -1), 1.0f},
                             {Vector(0, 0, 0.5f), Vector(0, 0, 1), 2.0f},   {Vector(0, 0, 5), Vector(0, 0, 1), 1.0f},
                             {Vector(0, 1.01f, 10), Vector(0, 0, -1), 1.0f}, {Vector(0, 0, 0), Vector(0, 0, 0), 1.0f}};
  std::mt19937 random(5);
  std::uniform_real_distribution<float> unit(-3.0f, 3.0f), radius(0.1f, 2.0f);
  for (int n = 0; n < 500; ++n)
    cases.push_back({Vector(unit(random), unit(random), unit(random)), Vector(unit(random), unit(random), unit(random)), radius(random)});
  int hits = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.origin << c.direction << c.radius);
    double a = 0, b = 0, q = -double(c.radius) * c.radius;
    for (int k = 0; k < 3; ++k) a += double(c.direction[k]) * c.direction[k], b += 2.0 * c.direction[k] * c.origin[k],
                                 q += double(c.origin[k]) * c.origin[k];
    const double disc = b * b - 4 * a * q;
    float t = 7.0f;  // untouched on a miss
    const bool hit = PickSphere(PickRay{c.origin, c.direction}, Vector(), c.radius, t);
    if (a == 0.0 || disc < -1e-6) {
      EXPECT_FALSE(hit);
      EXPECT_EQ(t, 7.0f);
    } else if (disc == 0.0 || disc > 1e-4) {
      ASSERT_TRUE(hit);
      EXPECT_NEAR(t, (-b - std::sqrt(disc)) / (2 * a), 1e-3 * (1 + std::abs(t)));
      ++hits;
    }
  }
  EXPECT_GT(hits, 50);
}

TEST_F(CollisionFrame, PickPassReportsPickableLiveObjectsOnTheRay) {
  CollisionManager& manager = CollisionManager::Instance();
  // On the ray: two pickable spheres, one not pickable, one without its
  // sphere, one killed; beside it, one more.
  const char* names[] = {"near", "far", "hidden", "no sphere", "killed", "beside"};
  for (int i = 0; i < 6; ++i) {
    GameObject object = MakeSolid(names[i], SceneMesh(Shape::Sphere, 1.0f), Vector(i == 5 ? 5.0f : 0.0f, 0, -2.0f * i));
    object.Find<CollisionComp>()->pickable = i != 2;
    object.Find<CollisionComp>()->hasBoundingSphere = i != 3;
    Add(object);
  }
  ObjectManager& objects = ObjectManager::Instance();
  const uint32_t near = objects.GetObjNum("near"), far = objects.GetObjNum("far");
  objects.KillGameObject(objects.GetGameObject("killed"));

  manager.SetPickRay(PickRay{Vector(0, 0, 10), Vector(0, 0, -1)});
  manager.pickOn = true;
  manager.Update();
  std::vector<PickResult> results;
  manager.GetPickResults(results);
  ASSERT_EQ(results.size(), 2u);
  if (results[0].objectId != near) std::swap(results[0], results[1]);
  EXPECT_EQ(results[0].objectId, near);
  EXPECT_EQ(results[1].objectId, far);
  // The sphere's radius includes the hull margin; its centre is the mesh's.
  const CollisionComp* comp = objects.GetGameObject(near).Find<CollisionComp>();
  const Vector c = comp->boundingCenter;
  const float r = comp->boundingRadius;
  EXPECT_NEAR(results[0].t, 10.0f - c.z - std::sqrt(r * r - c.x * c.x - c.y * c.y), 1e-4f);
  EXPECT_NEAR(results[0].point.z, 10.0f - results[0].t, 1e-4f);
  EXPECT_EQ(results[1].position, Vector(0, 0, -2));
}

}  // namespace
