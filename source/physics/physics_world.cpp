#include "physics/physics_world.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <string>

#include "collision/collision_comp.h"
#include "collision/collision_shapes.h"
#include "physics/ground_plane.h"
#include "physics/physics_comp.h"

namespace {

// How much of a hull's margin lies along the unit `direction` at the hull
// vertex `vertex` of the body whose origin is `origin` (both world). The
// vertex was pushed out by kHullMargin along its direction from the origin.
float MarginAlong(const Vector& vertex, const Vector& origin, const Vector& direction) {
  const Vector r = WithW(vertex - origin, 0.0f);
  const float length = Length(r);
  if (!(length > 1e-6f)) return 0.0f;
  return kHullMargin * std::max(0.0f, Dot3(r, direction) / length);
}

// Carries world points found on a body when it was at `from` (where the
// collision thread saw it) along with the body's move to `to`. Only the move
// is followed, not the turn: where a round body rolls, its contact stays
// under it rather than turning with it. Exactly the identity when the body
// has not moved.
Vector Carried(const Vector& point, const Vector& from, const Vector& to) {
  return from == to ? point : WithW(point + (to - from), 0.0f);
}

// Twice the area of the triangle (p, q, r) seen along the unit normal n.
float TwiceArea(const Vector& p, const Vector& q, const Vector& r, const Vector& n) {
  return std::fabs(Dot3(Cross(WithW(q - p, 0.0f), WithW(r - p, 0.0f)), n));
}

// Picks at most PhysicsWorld::kMaxManifoldPoints of the `count` points from
// `first` on: the deepest, the one farthest from it, the one spanning the
// largest triangle with those two, and the one adding the most area outside
// that triangle. Writes their indices to `chosen` and returns how many.
// Fewer points are taken as they are.
//
// Depth is the meshes' own, `meshDepth(point)`: the narrow phase lists the
// points deepest first by hull, and a hull's vertices are pushed out from
// the body's centre, so a flat face bulges most at its middle. Taken by
// hull depth, a box lying on a subdivided face would stand on the vertex
// in the middle of it, which then carries the whole weight: it has no
// lever against a turn about the normal, and a box set spinning on the
// ground spun on for ever. Among points as deep as the deepest within
// kSameDepth, the one farthest from their centre is taken first, so a face
// flat on another is held at its rim.
template <class DepthFn>
size_t ChooseManifoldPoints(const std::vector<ContactPoint>& points, size_t first, size_t count,
                            const Vector& n, DepthFn meshDepth, size_t* chosen) {
  constexpr size_t kMax = PhysicsWorld::kMaxManifoldPoints;
  constexpr float kSameDepth = PhysicsWorld::kContactSlop;
  if (count <= kMax) {
    for (size_t i = 0; i < count; ++i) chosen[i] = first + i;
    return count;
  }
  const auto at = [&](size_t i) { return points[i].pointOnB; };
  const auto best = [&](auto&& score) {
    size_t index = first;
    float top = -1.0f;
    for (size_t i = first; i < first + count; ++i) {
      const float value = score(at(i));
      if (value > top) {
        top = value;
        index = i;
      }
    }
    return index;
  };
  float deepest = -std::numeric_limits<float>::max();
  Vector centre;
  for (size_t i = first; i < first + count; ++i) {
    deepest = std::max(deepest, meshDepth(at(i)));
    centre += WithW(at(i), 0.0f) * (1.0f / static_cast<float>(count));
  }
  chosen[0] = first;
  float farthest = -1.0f;
  for (size_t i = first; i < first + count; ++i) {
    if (meshDepth(at(i)) < deepest - kSameDepth) continue;
    const Vector d = WithW(at(i) - centre, 0.0f);
    const float across = Dot3(d, d) - Dot3(d, n) * Dot3(d, n);
    if (across > farthest) farthest = across, chosen[0] = i;
  }
  const Vector p0 = at(chosen[0]);
  chosen[1] = best([&](const Vector& p) {
    const Vector d = WithW(p - p0, 0.0f);
    return Dot3(d, d) - Dot3(d, n) * Dot3(d, n);
  });
  const Vector p1 = at(chosen[1]);
  chosen[2] = best([&](const Vector& p) { return TwiceArea(p0, p1, p, n); });
  const Vector p2 = at(chosen[2]);
  const float triangle = TwiceArea(p0, p1, p2, n);
  // The three triangles a point makes with the sides cover the triangle
  // once when it lies inside and more when outside: the excess is the area
  // it adds.
  chosen[3] = best([&](const Vector& p) {
    return TwiceArea(p0, p1, p, n) + TwiceArea(p1, p2, p, n) + TwiceArea(p2, p0, p, n) - triangle;
  });
  return kMax;
}

// Distance (units) from (x, z) to the convex hull of the points (x, z) of
// [begin, end), zero inside. The hull is built in place by Andrew's
// monotone chain, which sorts the range.
template <class It>
float DistanceToHull(It begin, It end, float x, float z) {
  std::sort(begin, end, [](const auto& p, const auto& q) { return p.x < q.x || (p.x == q.x && p.z < q.z); });
  const size_t count = static_cast<size_t>(end - begin);
  std::vector<std::pair<float, float>> hull;
  hull.reserve(2 * count);
  const auto cross = [](const std::pair<float, float>& o, const std::pair<float, float>& a, float bx,
                        float bz) {
    return (a.first - o.first) * (bz - o.second) - (a.second - o.second) * (bx - o.first);
  };
  for (int pass = 0; pass < 2; ++pass) {  // lower hull left to right, upper right to left
    const size_t base = hull.size();
    for (size_t k = 0; k < count; ++k) {
      const auto& p = pass == 0 ? begin[k] : begin[count - 1 - k];
      while (hull.size() >= base + 2 && cross(hull[hull.size() - 2], hull.back(), p.x, p.z) <= 0.0f)
        hull.pop_back();
      hull.emplace_back(p.x, p.z);
    }
    hull.pop_back();  // each chain's last point starts the other
  }
  if (hull.empty()) hull.emplace_back(begin->x, begin->z);
  // Inside a counter-clockwise hull of three or more corners: left of every
  // side. Otherwise the distance to the nearest side (or the lone point).
  bool inside = hull.size() >= 3;
  float nearest = std::numeric_limits<float>::max();
  for (size_t i = 0; i < hull.size(); ++i) {
    const auto& a = hull[i];
    const auto& b = hull[(i + 1) % hull.size()];
    if (inside && cross(a, b, x, z) < 0.0f) inside = false;
    const float ex = b.first - a.first, ez = b.second - a.second;
    const float length2 = ex * ex + ez * ez;
    const float t = length2 > 0.0f
                        ? std::min(1.0f, std::max(0.0f, ((x - a.first) * ex + (z - a.second) * ez) / length2))
                        : 0.0f;
    nearest = std::min(nearest, std::hypot(x - a.first - t * ex, z - a.second - t * ez));
  }
  return inside ? 0.0f : nearest;
}

}  // namespace

void PhysicsWorld::AddForce(std::unique_ptr<Force> force) {
  if (gravitySet)
    if (auto* pull = dynamic_cast<GravityForce*>(force.get()); pull && IsDownward(*pull))
      pull->g = gravity;
  pendingWake.push_back(force->objectId);
  pendingWake.push_back(force->SecondObjectId());
  forces.push_back(std::move(force));
}

bool PhysicsWorld::IsDownward(const GravityForce& force) {
  return force.direction == GravityForce(0).direction;
}

void PhysicsWorld::SetGravity(float g) {
  gravitySet = true;
  gravity = g;
  for (const std::unique_ptr<Force>& force : forces) {
    auto* pull = dynamic_cast<GravityForce*>(force.get());
    if (pull == nullptr || !IsDownward(*pull) || pull->g == g) continue;
    pull->g = g;
    // A sleeping body's island wakes to feel the new pull.
    pendingWake.push_back(pull->objectId);
  }
}

void PhysicsWorld::SetSleeping(bool on) {
  sleepingOn = on;
  if (on) return;
  for (const RigidBody& body : bodies)
    if (body.sleeping) wakeIslands.push_back(body.island);
  WakeIslands();
}

void PhysicsWorld::AddJoint(std::unique_ptr<Constraint> joint) {
  pendingWake.push_back(joint->objectA);
  pendingWake.push_back(joint->objectB);
  joints.push_back(std::move(joint));
}

void PhysicsWorld::Reset() {
  bodies.clear();
  indexMap.Clear();
  forces.clear();
  joints.clear();
  solver.Reset();
  groundKnown = false;
  groundId = 0;
  wakeIslands.clear();
  pendingWake.clear();
  solverIterations = kSolverIterations;
  sleepingOn = true;
  gravitySet = false;
}

void PhysicsWorld::Sync(ObjectTable& objects) {
  if (groundKnown && objects.find(groundId) == objects.end()) groundKnown = false;

  wakeIslands.clear();
  seen.assign(bodies.size(), false);
  bool anyReshaped = false;
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
    const bool added = index >= bodies.size();
    if (added) {
      bodies.resize(index + 1);
      seen.resize(index + 1, false);
    }
    seen[index] = true;

    RigidBody& body = bodies[index];
    body.force = Vector();
    body.torque = Vector();
    // A new mass or inertia is a new shape (a cut leaves the object its back
    // half, re-centred): the contacts the collision thread found for the
    // old shape lie where the body no longer is, and their lambdas held the
    // whole object. Applied to a small piece they fling it away.
    // (Two NaNs count as the same value: a broken mass stays what it was.)
    const auto same = [](float a, float b) { return a == b || (a != a && b != b); };
    bool reshaped = !added && !same(comp->mass, body.mass);
    for (int entry = 0; entry < 9 && !added; ++entry)
      reshaped |= !same(comp->inertiaTensor(entry / 3, entry % 3),
                        body.bodyInertia(entry / 3, entry % 3));
    body.reshaped = reshaped;
    anyReshaped |= reshaped;
    if (body.sleeping) {
      // Nothing to copy while the object is exactly as it fell asleep (its
      // write-backs since then added nothing). Any change came from outside
      // and wakes the island.
      const bool untouched = comp->sleeping && object.position == body.snapPosition &&
                             object.orientation == body.snapOrientation &&
                             comp->linearVelocity == Vector() &&
                             comp->angularVelocity == Vector() && comp->mass == body.mass;
      if (untouched) {
        // The write-back after the step that put it to sleep took the
        // velocities to zero; from now on it adds nothing.
        body.TakeSnapshot();
        body.snapSleeping = true;
        continue;
      }
      wakeIslands.push_back(body.island);
    }
    // The write-back left the object where the body was, but for rounding.
    const auto changed = [](const Vector& a, const Vector& b, float tolerance) {
      const Vector d = WithW(a - b, 0.0f);
      return !(Dot3(d, d) <= tolerance * tolerance);
    };
    body.disturbed = added || body.sleeping ||
                     changed(object.position, body.position, kOutsideChange) ||
                     changed(comp->linearVelocity, body.linearVelocity, kOutsideChange) ||
                     changed(comp->angularVelocity, body.angularVelocity, kOutsideChange);
    body.position = object.position;
    body.orientation = object.orientation;
    body.angularVelocity = comp->angularVelocity;
    body.linearVelocity = comp->linearVelocity;
    body.SetMassProperties(comp->mass, comp->inertiaTensor);
    body.TakeSnapshot();
    body.snapSleeping = comp->sleeping;
    const CollisionComp* collision = object.Find<CollisionComp>();
    body.extent = collision != nullptr && collision->hasBoundingSphere ? collision->boundingRadius : 0.0f;
  }

  // A force or joint added since the last sync may pull a sleeping body.
  for (const uint32_t id : pendingWake) {
    uint32_t index = 0;
    if (indexMap.Find(id, index) && index < bodies.size() && bodies[index].sleeping)
      wakeIslands.push_back(bodies[index].island);
  }
  pendingWake.clear();

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
  // A sleeping body that goes may have held others up: its island wakes.
  bool anyGone = false;
  for (size_t i = 0; i < seen.size(); ++i) {
    if (seen[i]) continue;
    anyGone = true;
    if (bodies[i].sleeping) wakeIslands.push_back(bodies[i].island);
  }
  // The warm-start cache names bodies by index: its entries follow their
  // bodies down, and those of bodies gone or reshaped are dropped.
  if (anyGone || anyReshaped) {
    std::vector<uint32_t> newIndex(bodies.size(), WarmStartCache::kDropBody);
    uint32_t next = 0;
    for (size_t i = 0; i < bodies.size(); ++i) {
      if (!seen[i]) continue;
      if (!bodies[i].reshaped) newIndex[i] = next;
      ++next;
    }
    solver.RenumberBodies(newIndex);
  }
  if (anyGone) {
    size_t next = 0;
    for (size_t i = 0; i < bodies.size(); ++i) {
      if (!seen[i]) continue;
      if (next != i) bodies[next] = bodies[i];
      ++next;
    }
    bodies.resize(next);
    indexMap.Compact(seen);
  }
  WakeIslands();
}

void PhysicsWorld::WakeIslands() {
  if (wakeIslands.empty()) return;
  std::sort(wakeIslands.begin(), wakeIslands.end());
  for (RigidBody& body : bodies) {
    if (!body.sleeping || !std::binary_search(wakeIslands.begin(), wakeIslands.end(), body.island))
      continue;
    body.sleeping = false;
    body.hold = kWakeHoldSteps;
    body.sleepTime = 0.0f;
    body.stillPosition = body.position;
    body.stillOrientation = body.orientation;
  }
  wakeIslands.clear();
}

bool PhysicsWorld::Dynamic(uint32_t index) const {
  return index != groundIndex && bodies[index].inverseMass > 0.0f;
}

void PhysicsWorld::FindTies(const std::vector<ContactManifold>& manifolds,
                            const std::vector<ContactPoint>& points) {
  // One lookup per pair and step: the waking, the islands and the rows all
  // walk the same pairs.
  groundIndex = kNoBody;
  if (groundKnown) indexMap.Find(groundId, groundIndex);
  ties.clear();
  tieNormals.clear();
  manifoldTies.assign(manifolds.size(), kNoBody);
  auto add = [this](uint32_t objectA, uint32_t objectB, const Vector& normal) {
    uint32_t a = 0, b = 0;
    if (objectA == objectB || !indexMap.Find(objectA, a) || !indexMap.Find(objectB, b)) {
      return false;
    }
    ties.emplace_back(a, b);
    tieNormals.push_back(normal);
    return true;
  };
  const auto stale = [this](const ContactManifold& manifold) {
    uint32_t a = 0, b = 0;
    return indexMap.Find(manifold.objectA, a) && indexMap.Find(manifold.objectB, b) &&
           (manifold.time <= bodies[a].reshapedAt || manifold.time <= bodies[b].reshapedAt);
  };
  for (size_t m = 0; m < manifolds.size(); ++m) {
    const ContactManifold& manifold = manifolds[m];
    if (stale(manifold)) continue;
    const bool hasPoint = manifold.pointCount > 0 && manifold.firstPoint < points.size();
    const Vector normal = hasPoint ? WithW(points[manifold.firstPoint].normal, 0.0f) : Vector();
    if (add(manifold.objectA, manifold.objectB, normal))
      manifoldTies[m] = static_cast<uint32_t>(ties.size() - 1);
  }
  for (const std::unique_ptr<Constraint>& joint : joints)
    add(joint->objectA, joint->objectB, Vector());
  for (const std::unique_ptr<Force>& force : forces)
    add(force->objectId, force->SecondObjectId(), Vector());
}

bool PhysicsWorld::Settled(uint32_t index) const {
  const RigidBody& body = bodies[index];
  return !body.sleeping && Dynamic(index) && body.sleepTime >= kTimeToSleep && supported[index];
}

void PhysicsWorld::FindSupport(const std::vector<ContactManifold>& manifolds,
                               const std::vector<ContactPoint>& points) {
  const uint32_t count = static_cast<uint32_t>(bodies.size());
  supported.assign(count, true);
  pressed.assign(count, false);
  supportPoints.clear();
  const auto candidate = [this](uint32_t i) {
    return !bodies[i].sleeping && Dynamic(i) && bodies[i].sleepTime >= kTimeToSleep;
  };
  for (size_t m = 0; m < manifolds.size(); ++m) {
    if (manifoldTies[m] == kNoBody) continue;
    const ContactManifold& manifold = manifolds[m];
    const size_t end = static_cast<size_t>(manifold.firstPoint) + manifold.pointCount;
    if (end > points.size()) continue;
    const uint32_t a = ties[manifoldTies[m]].first, b = ties[manifoldTies[m]].second;
    for (const uint32_t body : {a, b}) {
      if (!candidate(body)) continue;
      // The normal points from A to B: it pushes B along +n, A along -n.
      const float up = (body == b ? 1.0f : -1.0f) * tieNormals[manifoldTies[m]].y;
      if (!(up > -kSupportNormalY)) {
        pressed[body] = true;
        continue;
      }
      const Vector& from = body == b ? manifold.positionB : manifold.positionA;
      for (size_t p = manifold.firstPoint; p < end; ++p) {
        const Vector at = Carried(points[p].pointOnB, from, bodies[body].position);
        supportPoints.push_back({body, at.x, at.z});
      }
    }
  }
  // A body with contacts is supported when its centre is above what they
  // span; one without any is in free flight (no slow body is, for long,
  // under gravity) or floats without gravity, and both may rest.
  std::sort(supportPoints.begin(), supportPoints.end(),
            [](const SupportPoint& p, const SupportPoint& q) { return p.body < q.body; });
  for (size_t i = 0; i < supportPoints.size();) {
    size_t j = i;
    while (j < supportPoints.size() && supportPoints[j].body == supportPoints[i].body) ++j;
    const RigidBody& body = bodies[supportPoints[i].body];
    supported[supportPoints[i].body] =
        DistanceToHull(supportPoints.begin() + i, supportPoints.begin() + j, body.position.x,
                       body.position.z) <= kSupportTolerance;
    i = j;
  }
  // A body pressed from above is pinned by what lies on it, wherever its
  // own centre is: the load moves the point its support must hold. If it
  // cannot hold it, the body moves, and is not slow. A body slow with
  // contacts that can only press on it is not supported.
  for (size_t m = 0; m < manifolds.size(); ++m) {
    if (manifoldTies[m] == kNoBody) continue;
    for (const uint32_t body : {ties[manifoldTies[m]].first, ties[manifoldTies[m]].second}) {
      if (!candidate(body)) continue;
      const bool any = std::binary_search(
          supportPoints.begin(), supportPoints.end(), SupportPoint{body, 0.0f, 0.0f},
          [](const SupportPoint& p, const SupportPoint& q) { return p.body < q.body; });
      supported[body] = any && (supported[body] || pressed[body]);
    }
  }
}

bool PhysicsWorld::Stacks(size_t tie) const {
  const Vector& n = tieNormals[tie];
  return n == Vector() || std::fabs(n.y) > kHoldNormalY;
}

bool PhysicsWorld::MayHoldUp(size_t tie, uint32_t mover) const {
  const Vector& n = tieNormals[tie];
  if (n == Vector()) return true;
  // The normal from the mover to the other body.
  const float upward = mover == ties[tie].first ? n.y : -n.y;
  return upward > kHoldNormalY;
}

void PhysicsWorld::WakeTouched() {
  for (size_t t = 0; t < ties.size(); ++t) {
    const uint32_t first = ties[t].first, second = ties[t].second;
    for (const uint32_t mover : {first, second}) {
      const uint32_t other = mover == first ? second : first;
      const RigidBody& a = bodies[mover];
      const RigidBody& b = bodies[other];
      if (a.sleeping || !b.sleeping || !Dynamic(mover)) continue;
      // A contact wakes the sleeper when the mover runs into it, or moves
      // away from it while it may be propping the sleeper up or aside (the
      // normal into the sleeper points up, or about level: a body leaning on
      // it); one moving up and away from it or along it (a piece pushed up
      // out of the heap it lies on, or one sliding or rolling past) does not
      // disturb it. A joint or spring passes on any movement.
      const Vector& normal = tieNormals[t];
      const Vector into = mover == first ? normal : -normal;
      const float closing = Dot3(a.linearVelocity, into);
      const bool fast = normal == Vector() ? !(Length(WithW(a.linearVelocity, 0.0f)) < kWakeSpeed)
                                           : !(std::fabs(closing) < kWakeSpeed);
      const bool props = fast && closing < 0.0f && into.y > -kSupportNormalY;
      if ((fast && closing >= 0.0f) || props || a.disturbed || (!Settled(mover) && MayHoldUp(t, mover)))
        wakeIslands.push_back(b.island);
    }
  }
  WakeIslands();
}

uint32_t PhysicsWorld::Root(uint32_t index) {
  while (islandParent[index] != index) {
    islandParent[index] = islandParent[islandParent[index]];  // path halving
    index = islandParent[index];
  }
  return index;
}

void PhysicsWorld::Join(uint32_t a, uint32_t b) {
  a = Root(a);
  b = Root(b);
  if (a != b) islandParent[std::max(a, b)] = std::min(a, b);
}

void PhysicsWorld::FallAsleep() {
  const uint32_t count = static_cast<uint32_t>(bodies.size());
  settled.resize(count);
  for (uint32_t i = 0; i < count; ++i) settled[i] = Settled(i);

  // Holds: from each awake dynamic body to every settled body it may be
  // holding up, in one array sorted by the holder (counting sort).
  holdStart.assign(count + 1, 0);
  auto forEachHold = [this](auto&& visit) {
    for (size_t t = 0; t < ties.size(); ++t) {
      const uint32_t a = ties[t].first, b = ties[t].second;
      for (const uint32_t holder : {a, b}) {
        const uint32_t other = holder == a ? b : a;
        if (!settled[other] || bodies[holder].sleeping || !Dynamic(holder)) continue;
        if (MayHoldUp(t, holder)) visit(holder, other);
      }
    }
  };
  forEachHold([this](uint32_t holder, uint32_t) { ++holdStart[holder + 1]; });
  for (uint32_t i = 0; i < count; ++i) holdStart[i + 1] += holdStart[i];
  holdTargets.resize(holdStart[count]);
  holdFill.assign(holdStart.begin(), holdStart.end() - 1);
  forEachHold([this](uint32_t holder, uint32_t other) { holdTargets[holdFill[holder]++] = other; });

  // A settled body is held awake when an unsettled awake body may be holding
  // it up, directly or through other held bodies: if that body creeps away,
  // the ones above must follow it down.
  held.assign(count, false);
  holdQueue.clear();
  for (uint32_t i = 0; i < count; ++i) {
    if (!settled[i] && !bodies[i].sleeping && Dynamic(i)) holdQueue.push_back(i);
  }
  for (size_t q = 0; q < holdQueue.size(); ++q) {
    const uint32_t holder = holdQueue[q];
    for (uint32_t e = holdStart[holder]; e < holdStart[holder + 1]; ++e) {
      const uint32_t other = holdTargets[e];
      if (held[other]) continue;
      held[other] = true;
      holdQueue.push_back(other);
    }
  }

  // The rest of the settled bodies fall asleep, in islands joined by their
  // ties with each other and with the sleeping islands they touch: islands in
  // contact wake together, so none is held in place (see kWakeHoldSteps)
  // while a neighbour woken a step earlier runs into it.
  islandParent.resize(count);
  for (uint32_t i = 0; i < count; ++i) {
    islandParent[i] = i;
    settled[i] = settled[i] && !held[i];
  }
  bool touchesSleeper = false;
  for (size_t t = 0; t < ties.size(); ++t) {
    // Bodies side by side do not join: one bumped wakes alone, and what it
    // pushes wakes as it is run into, rather than a whole layer of a spread
    // heap waking for every bump at its edge.
    if (!Stacks(t)) continue;
    const uint32_t a = ties[t].first, b = ties[t].second;
    const bool sleepA = settled[a] || bodies[a].sleeping, sleepB = settled[b] || bodies[b].sleeping;
    if (!sleepA || !sleepB || (!settled[a] && !settled[b])) continue;
    Join(a, b);
    touchesSleeper = touchesSleeper || !settled[a] || !settled[b];
  }
  if (touchesSleeper) {
    // Whole sleeping islands join, not only the bodies touched this step.
    islandFirst.clear();
    for (uint32_t i = 0; i < count; ++i) {
      if (!bodies[i].sleeping) continue;
      const auto entry = islandFirst.emplace(bodies[i].island, i);
      if (!entry.second) Join(i, entry.first->second);
    }
  }
  for (uint32_t i = 0; i < count; ++i) {
    if (!settled[i] && !(touchesSleeper && bodies[i].sleeping)) continue;
    // An island is named by its root's object id (the root is the island's
    // lowest index, asleep with it): ids are never reused, and no sleeping
    // island can carry an awake body's id, since islands wake whole.
    RigidBody& body = bodies[i];
    body.sleeping = true;
    body.island = indexMap.ObjectId(Root(i));
    body.linearVelocity = Vector();
    body.angularVelocity = Vector();
  }
}

void PhysicsWorld::AddContactRows(const ContactManifold& manifold, uint32_t indexA,
                                  uint32_t indexB, const std::vector<ContactPoint>& points,
                                  float dt, float biasFactor) {
  // A manifold that names points outside the buffer is skipped whole.
  const size_t first = manifold.firstPoint;
  const size_t end = first + manifold.pointCount;
  if (end > points.size()) return;

  const RigidBody& a = bodies[indexA];
  const RigidBody& b = bodies[indexB];
  // The ground's side of a row is left out, so nothing the solver does moves
  // it; a frozen body's likewise, for the steps it is held.
  const bool fixedA = indexA == groundIndex || Frozen(a);
  const bool fixedB = indexB == groundIndex || Frozen(b);
  if (fixedA && fixedB) return;

  // A's support vertex X, the vertex of A furthest along the normal, is the
  // same for the whole manifold: the narrow phase writes as every point's
  // `point` the midpoint of X and B's deepest vertex, the first point's
  // pointOnB. Each point's depth is measured from X here, signed: the narrow
  // phase reports |(Y - X) . n|, which counts a vertex of B lying above A's
  // surface (the band of vertices it takes reaches up to 0.05 of B's radius)
  // as sunk that deep, so such a body would be pushed up out of a contact it
  // is not in, fall back and bounce for ever.
  //
  // The points were found where the bodies were when the collision thread
  // looked (a step or so ago, while this thread was stepping them); each is
  // carried along with its body's move since, so that the depth and the
  // lever arms are nearly the current ones. Measured where the bodies were,
  // a body that has just been pushed out of a contact is pushed again, and
  // one that has sunk into it is not held: piles of pieces jittered and
  // crept on and did not fall asleep.
  const ContactPoint& deepest = points[first];
  const Vector n = WithW(deepest.normal, 0.0f);
  const Vector supportA = Carried(WithW(deepest.point * 2.0f - deepest.pointOnB, 0.0f),
                                  manifold.positionA, a.position);
  // The hulls overlap by their margins along the normal where the meshes
  // only touch: A's at X, B's at each point's vertex.
  const float marginA = MarginAlong(supportA, a.position, n);
  // Hulls still apart (the collision thread reports pairs that may meet
  // within its look-ahead): the contact only limits how fast the gap may
  // close, and has no friction until the bodies touch.
  const bool speculative =
      Dot3(supportA - Carried(deepest.pointOnB, manifold.positionB, b.position), n) < 0.0f;
  size_t chosen[kMaxManifoldPoints];
  const auto meshDepth = [&](const Vector& onB) {
    const Vector pointOnB = Carried(onB, manifold.positionB, b.position);
    return Dot3(supportA - pointOnB, n) - MarginAlong(pointOnB, b.position, -n);
  };
  const size_t count = ChooseManifoldPoints(points, first, end - first, n, meshDepth, chosen);
  uint32_t normalRows[kMaxManifoldPoints];

  // Non-penetration: J = [-n, -(rA x n), n, rB x n], so J v is the normal
  // separating speed of the two contact points; lambda >= 0 only pushes. The
  // depth is driven towards both margins plus the slop: a deep overlap (the
  // two halves of a cut, a body landing fast) is undone mostly by the
  // solver's position pass, at no more than kMaxCorrectionSpeed, which
  // leaves the bodies no speed of their own, so nothing is launched.
  for (size_t c = 0; c < count; ++c) {
    const size_t p = chosen[c];
    const Vector pointOnB = Carried(points[p].pointOnB, manifold.positionB, b.position);
    const float depth = Dot3(supportA - pointOnB, n);
    const float target = marginA + MarginAlong(pointOnB, b.position, -n) + kContactSlop;
    const float error = depth - target;
    // Shallower than the target: the bodies may still close the gap, at the
    // speed that closes it in a step and no faster, so a contact found
    // before the bodies meet (a fast body a step away from the ground) stops
    // them where they meet. Deeper: the rows drive the contact apart at up
    // to kMaxBiasSpeed, which holds resting contacts at their depth. A deep
    // overlap (a body landing fast sinks in for the frame its contact comes
    // late) is also pushed out by the position pass, which moves the bodies
    // without giving them speed.
    const float bias = error < 0.0f ? error / dt : std::min(error * biasFactor, kMaxBiasSpeed);
    const float push = std::min(std::max(error - kDeepPenetration, 0.0f) * biasFactor,
                                kMaxCorrectionSpeed);
    const Vector rA = WithW(pointOnB + n * depth - a.position, 0.0f);
    const Vector rB = WithW(pointOnB - b.position, 0.0f);
    JacobianRow j;
    if (!fixedA) {
      j.linearA = -n;
      j.angularA = -Cross(rA, n);
    }
    if (!fixedB) {
      j.linearB = n;
      j.angularB = Cross(rB, n);
    }
    RowBodies map;
    map.indexA = indexA;
    map.featureA = points[p].featureA;
    map.indexB = indexB;
    map.featureB = points[p].featureB;
    map.isContact = true;
    normalRows[c] = static_cast<uint32_t>(solver.RowCount());
    solver.AddRow(j, map, bias, 0.0f, kMaxContactForce, push);
  }

  if (speculative) return;

  // Friction, two rows per point, after all the normal rows of the manifold.
  // The tangents come from the normal as seen from the body of higher index,
  // and each row measures the higher body's sliding against the lower's, so
  // a contact whose manifold names its bodies the other way round next step
  // keeps its rows and their warm start.
  const bool aHigh = indexA >= indexB;
  const Vector highNormal = aHigh ? -n : n;
  for (size_t c = 0; c < count; ++c) {
    const ContactPoint& point = points[chosen[c]];
    const Vector pointOnB = Carried(point.pointOnB, manifold.positionB, b.position);
    const Vector onA = pointOnB + n * Dot3(supportA - pointOnB, n);
    const FrictionConstraint friction(manifold.objectA, manifold.objectB,
                                      WithW(onA - a.position, 0.0f),
                                      WithW(pointOnB - b.position, 0.0f), highNormal);
    friction.BuildRows(scratchRows, a, b);
    RowBodies map;
    map.indexA = indexA;
    map.featureA = point.featureA;
    map.indexB = indexB;
    map.featureB = point.featureB;
    for (size_t r = 0; r < scratchRows.Size(); ++r) {
      JacobianRow& j = scratchRows.jacobian[r];
      if (aHigh) {
        j.linearA = -j.linearA;
        j.angularA = -j.angularA;
        j.linearB = -j.linearB;
        j.angularB = -j.angularB;
      }
      if (fixedA) j.linearA = j.angularA = Vector();
      if (fixedB) j.linearB = j.angularB = Vector();
      solver.AddFrictionRow(j, map, normalRows[c], scratchRows.upper[r]);
    }
  }
}

void PhysicsWorld::Step(double time, float dt, const std::vector<ContactManifold>& manifolds,
                        const std::vector<ContactPoint>& points) {
  solver.ClearRows();
  const float biasFactor = kBaumgarte / (2.0f * dt);
  // The sync ran before this step's frame time was read: every contact
  // found up to now may have been found for the old shape.
  for (RigidBody& body : bodies) {
    if (!body.reshaped) continue;
    body.reshapedAt = time;
    body.reshaped = false;
  }

  FindTies(manifolds, points);
  FindSupport(manifolds, points);
  WakeTouched();
  if (sleepingOn) FallAsleep();

  for (size_t m = 0; m < manifolds.size(); ++m) {
    if (manifoldTies[m] == kNoBody) continue;  // an object without a body
    const std::pair<uint32_t, uint32_t>& tie = ties[manifoldTies[m]];
    AddContactRows(manifolds[m], tie.first, tie.second, points, dt, biasFactor);
  }

  // Joints are rows of their own; the ground plane is not special for them,
  // a frozen body is.
  for (const std::unique_ptr<Constraint>& joint : joints) {
    uint32_t indexA = 0, indexB = 0;
    if (!indexMap.Find(joint->objectA, indexA) || !indexMap.Find(joint->objectB, indexB)) {
      continue;
    }
    const bool fixedA = Frozen(bodies[indexA]), fixedB = Frozen(bodies[indexB]);
    if (fixedA && fixedB) continue;
    joint->BuildRows(scratchRows, bodies[indexA], bodies[indexB]);
    for (JacobianRow& j : scratchRows.jacobian) {
      if (fixedA) j.linearA = j.angularA = Vector();
      if (fixedB) j.linearB = j.angularB = Vector();
    }
    RowBodies map;
    map.indexA = indexA;
    map.indexB = indexB;
    solver.AddRows(scratchRows, map, biasFactor);
  }

  for (const std::unique_ptr<Force>& force : forces) force->Apply(bodies, indexMap, time);

  solver.resting.resize(bodies.size());
  for (uint32_t i = 0; i < bodies.size(); ++i)
    solver.resting[i] = bodies[i].sleeping || !Dynamic(i);
  solver.Solve(bodies, dt, 1.0f, std::max(solverIterations, 1), true, kRelaxIterations);

  for (RigidBody& body : bodies) {
    if (Frozen(body)) {
      // Held bodies keep whatever velocity they were given for when they go.
      if (body.hold > 0) --body.hold;
      continue;
    }
    // The push velocity moves the body in this step only.
    const size_t index = static_cast<size_t>(&body - bodies.data());
    const Vector push = solver.PushVelocity(index);
    body.linearVelocity += push;
    body.Integrate(dt, 0.0f, true);
    body.linearVelocity -= push;
    body.orientation = body.orientation.Normalized();
    // How far its points have gone since the window began: the centre, and
    // the points at its reach, which a turn of t moves by about reach t.
    // |q . q0| = cos(t / 2) for the turn t between two unit quaternions.
    const Vector drift = WithW(body.position - body.stillPosition, 0.0f);
    const Quaternion& q = body.orientation;
    const Quaternion& q0 = body.stillOrientation;
    const float cosHalf = std::min(1.0f, std::fabs(q.s * q0.s + Dot3(q.u, q0.u)));
    const float reach = std::max(Length(drift), body.extent * 2.0f * std::acos(cosHalf));
    if (reach < kSleepVelocity * kTimeToSleep) {
      body.sleepTime += dt;
    } else {
      body.sleepTime = 0.0f;
      body.stillPosition = body.position;
      body.stillOrientation = body.orientation;
    }
  }
}

void PhysicsWorld::WriteBack(ObjectTable& objects) {
  for (uint32_t i = 0; i < bodies.size(); ++i) {
    // Asleep at the sync, untouched (a touched sleeper wakes there), and
    // asleep still: its object already holds all there is to write.
    if (bodies[i].sleeping && bodies[i].snapSleeping) continue;
    const auto it = objects.find(indexMap.ObjectId(i));
    if (it == objects.end()) continue;
    GameObject& object = it->second;
    const RigidBody& body = bodies[i];
    object.position += body.position - body.snapPosition;
    object.orientation = object.orientation + (body.orientation - body.snapOrientation);
    if (CollisionComp* collision = object.Find<CollisionComp>()) {
      collision->resting = body.sleeping || (groundKnown && it->first == groundId);
      // How far the collision thread looks ahead for this body's contacts.
      collision->SetMotion(body.linearVelocity, body.angularVelocity);
    }
    PhysicsComp* comp = object.Find<PhysicsComp>();
    if (comp == nullptr) continue;
    comp->angularVelocity += body.angularVelocity - body.snapAngularVelocity;
    comp->linearVelocity += body.linearVelocity - body.snapLinearVelocity;
    // A flag cleared by another thread during the step stays cleared: the
    // next sync wakes the body.
    if (comp->sleeping == body.snapSleeping) comp->sleeping = body.sleeping;
  }
}
