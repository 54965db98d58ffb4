// BM_BulletHeap/N: the jittered heap of BM_Heap (bench/pile.cpp) in the
// Bullet physics library, as a yardstick: what a mature engine spends on the
// same bodies in the same places, stepped and measured the same way
// (pile::RunHeap). Bullet is linked into this benchmark alone, never into the
// program or its libraries.
//
// The world: btDiscreteDynamicsWorld with btDbvtBroadphase, the default
// collision configuration and dispatcher and btSequentialImpulseConstraintSolver
// (Bullet's defaults: 10 iterations, warm starting, split impulse), gravity
// 10 along -y, one fixed step of 1/60 s per stepSimulation(1/60, 0) call
// (maxSubSteps 0: exactly one step of the time given, no interpolation).
//
// The bodies: every solid is built by our own BuildSolid and each body gets
// a btConvexHullShape of the very vertices of that solid's mesh (already
// turned by the jitter, about the object's origin, the points our collision
// hull is made from), reduced to the hull's corners by optimizeConvexHull
// (the same shape; points inside faces and edges only cost support
// searches), with Bullet's default collision margin of 0.04 around it (so
// Bullet's bodies rest up to 0.08 apart where our meshes touch). Mass and
// inertia are ours, copied from
// the solid's PhysicsComp (density 10 times the solid's volume; the diagonal
// inertia tensor), not computed by Bullet, so both engines move the same
// bodies. The ground is a static btBoxShape of 300 x 10 x 300 at (0, -5, 0),
// top face at y = 0 (a box's margin lies inside its extents).
//
// Friction 0.1 and no restitution on every contact: Bullet multiplies the
// two bodies' coefficients, so each body and the ground get sqrt(0.1) and
// restitution 0. Sleeping as Bullet does it by default: an island sleeps
// once all its bodies have stayed below 0.8 units/s and 1 rad/s for 2 s; a
// body counts as asleep in the state ISLAND_SLEEPING.
//
// Counters as BM_Heap's: seconds_to_95pct_asleep, seconds_to_all_asleep,
// collision_ms (performDiscreteCollisionDetection: AABBs, broad phase,
// narrow phase), physics_ms (the rest of the step: islands, solver,
// integration, sleeping) and wall_ms per step over steps 60-360, on the
// stepping thread's CPU clock (wall_ms on the wall clock), settled_ms and
// settled_wall_ms once 95 % sleep, asleep, mean_height and max_radius at
// the end.

#include <chrono>
#include <cmath>
#include <memory>
#include <vector>

#include <benchmark/benchmark.h>
#include <btBulletDynamicsCommon.h>

#include "objects/model_comp.h"
#include "physics/physics_comp.h"
#include "pile_layout.h"
#include "scene/solid_factory.h"

namespace {

// Friction of each body, so that the product Bullet takes for a contact is
// the 0.1 of this engine's contacts.
const btScalar kBodyFriction = std::sqrt(btScalar(0.1));

// A dynamics world that times its collision detection on the thread's CPU
// clock.
class TimedWorld : public btDiscreteDynamicsWorld {
 public:
  using btDiscreteDynamicsWorld::btDiscreteDynamicsWorld;
  void performDiscreteCollisionDetection() override {
    const double start = pile::ThreadSeconds();
    btDiscreteDynamicsWorld::performDiscreteCollisionDetection();
    collisionSeconds += pile::ThreadSeconds() - start;
  }
  double collisionSeconds = 0.0;
};

class BulletHeap {
 public:
  explicit BulletHeap(int count) {
    world.setGravity(btVector3(0, -pile::kGravity, 0));
    AddBody(std::make_unique<btBoxShape>(btVector3(150, 5, 150)), 0.0f, btVector3(0, 0, 0),
            btVector3(0, -5, 0));
    for (const pile::Solid& solid : pile::Layout(count, true)) {
      const GameObject object = BuildSolid(solid.name, solid.position, solid.dimensions, solid.shape,
                                           solid.orientation, pile::kDensity);
      const ModelComp& model = *object.Find<ModelComp>();
      const PhysicsComp& physics = *object.Find<PhysicsComp>();
      auto hull = std::make_unique<btConvexHullShape>();
      for (const Vertex& v : model.mesh.vertices)
        hull->addPoint(btVector3(v.x, v.y, v.z) * model.scale, false);
      hull->optimizeConvexHull();
      hull->recalcLocalAabb();
      const btVector3 inertia(physics.inertiaTensor(0, 0), physics.inertiaTensor(1, 1),
                              physics.inertiaTensor(2, 2));
      const btVector3 position(object.position.x, object.position.y, object.position.z);
      solids.push_back(AddBody(std::move(hull), physics.mass, inertia, position));
    }
  }

  ~BulletHeap() {
    for (const std::unique_ptr<btRigidBody>& body : bodies) world.removeRigidBody(body.get());
  }

  pile::StepCost Step() {
    const double collisionBefore = world.collisionSeconds;
    const auto wallStart = std::chrono::steady_clock::now();
    const double start = pile::ThreadSeconds();
    world.stepSimulation(btScalar(pile::kStepSeconds), 0);
    const double cpu = pile::ThreadSeconds() - start;
    const std::chrono::duration<double> wall = std::chrono::steady_clock::now() - wallStart;
    const double collision = world.collisionSeconds - collisionBefore;
    return pile::StepCost{collision, cpu - collision, wall.count()};
  }

  std::vector<Vector> Centres() const {
    std::vector<Vector> centres;
    for (const btRigidBody* body : solids) {
      const btVector3& c = body->getWorldTransform().getOrigin();
      centres.emplace_back(c.x(), c.y(), c.z());
    }
    return centres;
  }

  int Asleep() const {
    int n = 0;
    for (const btRigidBody* body : solids) n += body->getActivationState() == ISLAND_SLEEPING ? 1 : 0;
    return n;
  }

 private:
  btRigidBody* AddBody(std::unique_ptr<btCollisionShape> shape, float mass, const btVector3& inertia,
                       const btVector3& position) {
    btRigidBody::btRigidBodyConstructionInfo info(mass, nullptr, shape.get(), inertia);
    info.m_startWorldTransform.setIdentity();
    info.m_startWorldTransform.setOrigin(position);
    info.m_friction = kBodyFriction;
    info.m_restitution = 0;
    bodies.push_back(std::make_unique<btRigidBody>(info));
    shapes.push_back(std::move(shape));
    world.addRigidBody(bodies.back().get());
    return bodies.back().get();
  }

  btDefaultCollisionConfiguration configuration;
  btCollisionDispatcher dispatcher{&configuration};
  btDbvtBroadphase broadphase;
  btSequentialImpulseConstraintSolver solver;
  TimedWorld world{&dispatcher, &broadphase, &solver, &configuration};
  std::vector<std::unique_ptr<btCollisionShape>> shapes;
  std::vector<std::unique_ptr<btRigidBody>> bodies;  // the ground first
  std::vector<btRigidBody*> solids;
};

void BM_BulletHeap(benchmark::State& state) {
  const int count = static_cast<int>(state.range(0));
  pile::HeapResult result;
  for (auto _ : state) {
    BulletHeap heap(count);
    result = pile::RunHeap(count, [&] { return heap.Step(); }, [&] { return heap.Asleep(); });
    pile::Spread(heap.Centres(), result);
  }
  pile::Report(state, result);
}

}  // namespace

BENCHMARK(BM_BulletHeap)->Arg(100)->Arg(300)->Arg(1000)->Iterations(1)->Unit(benchmark::kMillisecond);
