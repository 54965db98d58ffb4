#include "physics/physics_world.h"

#include <algorithm>
#include <string>

#include "physics/ground_plane.h"
#include "physics/physics_comp.h"

void PhysicsWorld::Reset() {
  bodies.clear();
  indexMap.Clear();
  forces.clear();
  joints.clear();
  solver.Reset();
  groundKnown = false;
  groundId = 0;
}

void PhysicsWorld::Sync(ObjectTable& objects) {
  if (groundKnown && objects.find(groundId) == objects.end()) groundKnown = false;

  seen.assign(bodies.size(), false);
  for (auto& entry : objects) {
    const uint32_t id = entry.first;
    GameObject& object = entry.second;
    if (!groundKnown && object.name == kGroundPlaneName) {
      groundId = id;
      groundKnown = true;
    }
    PhysicsComp* comp = object.Find<PhysicsComp>();
    // A dead object is not marked as seen, so its body goes below.
    if (comp == nullptr || object.dead) continue;

    const uint32_t index = indexMap.Add(id);
    if (index >= bodies.size()) {
      bodies.resize(index + 1);
      seen.resize(index + 1, false);
    }
    seen[index] = true;

    RigidBody& body = bodies[index];
    body.force = Vector();
    body.torque = Vector();
    body.position = object.position;
    body.orientation = object.orientation;
    body.angularVelocity = comp->angularVelocity;
    body.linearVelocity = comp->linearVelocity;
    body.SetMassProperties(comp->mass, comp->inertiaTensor);
    body.TakeSnapshot();
  }

  // Object numbers are never reused, so a force or joint naming an object
  // that has left the table can never act again: drop it, or both lists grow
  // with every object a long run ever had (and every step walks them).
  const auto gone = [&](uint32_t id) { return objects.find(id) == objects.end(); };
  forces.erase(std::remove_if(forces.begin(), forces.end(),
                              [&](const std::unique_ptr<Force>& force) {
                                return gone(force->objectId) || gone(force->SecondObjectId());
                              }),
               forces.end());
  joints.erase(std::remove_if(joints.begin(), joints.end(),
                              [&](const std::unique_ptr<Constraint>& joint) {
                                return gone(joint->objectA) || gone(joint->objectB);
                              }),
               joints.end());

  // Erase the bodies not seen alive: objects flagged dead, and objects killed
  // and swept since the last sync, whose flag this sync never saw. Survivors
  // keep their order, so every higher index moves down past each erased one.
  bool anyGone = false;
  for (bool alive : seen) anyGone = anyGone || !alive;
  if (!anyGone) return;
  size_t next = 0;
  for (size_t i = 0; i < bodies.size(); ++i) {
    if (!seen[i]) continue;
    if (next != i) bodies[next] = bodies[i];
    ++next;
  }
  bodies.resize(next);
  indexMap.Compact(seen);
}

void PhysicsWorld::AddContactRows(const ContactManifold& manifold,
                                  const std::vector<ContactPoint>& points, float biasFactor) {
  uint32_t indexA = 0, indexB = 0;
  if (!indexMap.Find(manifold.objectA, indexA) || !indexMap.Find(manifold.objectB, indexB)) {
    return;
  }
  // A manifold that names points outside the buffer is skipped whole.
  const size_t first = manifold.firstPoint;
  const size_t end = first + manifold.pointCount;
  if (end > points.size()) return;

  const bool groundA = groundKnown && manifold.objectA == groundId;
  const bool groundB = groundKnown && manifold.objectB == groundId;
  const RigidBody& a = bodies[indexA];
  const RigidBody& b = bodies[indexB];

  // Non-penetration: J = [-n, -(rA x n), n, rB x n], so J v is the normal
  // separating speed of the two contact points; lambda >= 0 only pushes. The
  // bias drives the depth towards the slop.
  for (size_t p = first; p < end; ++p) {
    const ContactPoint& point = points[p];
    const Vector n = WithW(point.normal, 0.0f);
    const Vector rA = WithW(point.pointOnA - a.position, 0.0f);
    const Vector rB = WithW(point.pointOnB - b.position, 0.0f);
    JacobianRow j;
    if (!groundA) {
      j.linearA = -n;
      j.angularA = -Cross(rA, n);
    }
    if (!groundB) {
      j.linearB = n;
      j.angularB = Cross(rB, n);
    }
    RowBodies map;
    map.indexA = indexA;
    map.featureA = point.featureA;
    map.indexB = indexB;
    map.featureB = point.featureB;
    map.isContact = true;
    solver.AddRow(j, map, (point.depth - kContactSlop) * biasFactor, 0.0f, kMaxContactForce);
  }

  // Friction, one row per point, after all the normal rows of the manifold.
  RowBodies frictionMap;
  frictionMap.indexA = indexA;
  frictionMap.indexB = indexB;
  for (size_t p = first; p < end; ++p) {
    const ContactPoint& point = points[p];
    const FrictionConstraint friction(manifold.objectA, manifold.objectB,
                                      WithW(point.pointOnA - a.position, 0.0f),
                                      WithW(point.pointOnB - b.position, 0.0f), point.normal);
    friction.BuildRows(scratchRows, a, b);
    for (JacobianRow& j : scratchRows.jacobian) {
      if (groundA) j.linearA = j.angularA = Vector();
      if (groundB) j.linearB = j.angularB = Vector();
    }
    solver.AddRows(scratchRows, frictionMap, 1.0f);
  }
}

void PhysicsWorld::Step(double time, float dt, const std::vector<ContactManifold>& manifolds,
                        const std::vector<ContactPoint>& points) {
  solver.ClearRows();
  const float biasFactor = kBaumgarte / (2.0f * dt);

  for (const ContactManifold& manifold : manifolds) AddContactRows(manifold, points, biasFactor);

  // Joints are rows of their own; the ground plane is not special for them.
  for (const std::unique_ptr<Constraint>& joint : joints) {
    uint32_t indexA = 0, indexB = 0;
    if (!indexMap.Find(joint->objectA, indexA) || !indexMap.Find(joint->objectB, indexB)) {
      continue;
    }
    joint->BuildRows(scratchRows, bodies[indexA], bodies[indexB]);
    RowBodies map;
    map.indexA = indexA;
    map.indexB = indexB;
    solver.AddRows(scratchRows, map, biasFactor);
  }

  for (const std::unique_ptr<Force>& force : forces) force->Apply(bodies, indexMap, time);

  solver.Solve(bodies, dt, 1.0f, kSolverIterations, true);

  for (RigidBody& body : bodies) {
    body.Integrate(dt, 0.0f, true);
    body.orientation = body.orientation.Normalized();
  }
}

void PhysicsWorld::WriteBack(ObjectTable& objects) {
  for (uint32_t i = 0; i < bodies.size(); ++i) {
    const auto it = objects.find(indexMap.ObjectId(i));
    if (it == objects.end()) continue;
    GameObject& object = it->second;
    const RigidBody& body = bodies[i];
    object.position += body.position - body.snapPosition;
    object.orientation = object.orientation + (body.orientation - body.snapOrientation);
    PhysicsComp* comp = object.Find<PhysicsComp>();
    if (comp == nullptr) continue;
    comp->angularVelocity += body.angularVelocity - body.snapAngularVelocity;
    comp->linearVelocity += body.linearVelocity - body.snapLinearVelocity;
  }
}
