#include "collision/collision_manager.h"

#include <cstdint>
#include <string>
#include <utility>

#include <boost/any.hpp>

#include "collision/broad_phase.h"
#include "core/event_manager.h"
#include "core/system.h"
#include "objects/object_manager.h"

namespace {

// Sweep and filter axes.
const Vector kSweepAxis(1.0f, 0.0f, 0.0f, 0.0f);
const Vector kFilterAxis(0.0f, 0.0f, 1.0f, 0.0f);

// The live object stored under id with its collision component, or null
// when it is gone, dead or has no such component. Caller holds the object
// lock.
GameObject* LiveObject(uint32_t id, CollisionComp*& comp) {
  ObjectManager::ObjectTable& objects = ObjectManager::Instance().objects;
  const auto it = objects.find(id);
  if (it == objects.end() || it->second.dead) return nullptr;
  comp = it->second.Find<CollisionComp>();
  return comp == nullptr ? nullptr : &it->second;
}

}  // namespace

CollisionManager::CollisionManager()
    : Module<CollisionManager>("CollisionManager"), sat(new SATCollision) {}

CollisionManager::~CollisionManager() = default;

void CollisionManager::Init() {
  EventManager::Instance().RegisterClient(name);
  pickOn = false;
  collisionOn = true;
  doMultipleContacts = false;
}

void CollisionManager::Kill() { EventManager::Instance().UnregisterClient(name); }

void CollisionManager::HandleEvent(Event& event) {
  if (event.type != "Set") return;
  const std::pair<const char*, std::atomic<bool>*> switches[] = {
      {"pickOn", &pickOn}, {"collisionOn", &collisionOn}, {"doMultipleContacts", &doMultipleContacts}};
  for (const auto& entry : switches) {
    if (!event.HasParam(entry.first)) continue;
    // A value of another type would make the cast throw on the worker
    // thread, which nothing catches; it is reported and ignored instead.
    const bool* value = boost::any_cast<bool>(&event.params[entry.first]);
    if (value == nullptr) {
      CLEAVE_WARNING(std::string("\"Set\" parameter ") + entry.first + " is not a bool");
      continue;
    }
    *entry.second = *value;
  }
}

void CollisionManager::Update() {
  ProcessEvents();

  if (collisionOn) {
    BroadPhase();
    for (CandidateSet& set : sets) {
      if (set.candidates.empty()) continue;
      // The spheres of the broad phase; an object that has gone or died
      // since is dropped by the narrow phase, which looks every object up.
      FilterCandidates(set, kFilterAxis, [this](uint32_t id, SphereEntry& sphere) {
        const SphereEntry* known = frameSpheres.Find(id);
        if (known == nullptr) return false;
        sphere = *known;
        return true;
      });
    }
    const bool multiple = doMultipleContacts;
    const double time = System::Instance().frameStartTime.load();
    for (const CandidateSet& set : sets) {
      if (!set.candidates.empty()) NarrowPhase(set, multiple, time);
    }
  }

  const bool picking = pickOn;
  if (picking) PickPass();

  boost::mutex::scoped_lock results(resultsLock);
  manifoldBuffer.Flip();
  pointBuffer.Flip();
  if (picking) pickBuffer.Flip();
}

void CollisionManager::BroadPhase() {
  spans.clear();
  frameSpheres.Clear();
  {
    ObjectLock lock;
    for (auto& entry : ObjectManager::Instance().objects) {
      const CollisionComp* comp = entry.second.Find<CollisionComp>();
      if (comp == nullptr) continue;
      const SphereEntry sphere =
          SpeculativeSphere(entry.first, entry.second.position, entry.second.orientation, *comp);
      frameSpheres.Add(sphere);
      spans.push_back(SpanAlong(sphere, kSweepAxis));
      spans.back().resting = comp->resting;
    }
  }
  SweepAndPrune(spans, sets);
}

void CollisionManager::NarrowPhase(const CandidateSet& set, bool multipleContacts, double time) {
  ObjectLock lock;
  CollisionComp* compA = nullptr;
  const GameObject* objectA = LiveObject(set.objectId, compA);
  if (objectA == nullptr) return;
  // The broad phase's sphere; computed here only for an object added since.
  const auto sphereOf = [this](uint32_t id, const GameObject& object, const CollisionComp& comp) {
    const SphereEntry* known = frameSpheres.Find(id);
    return known != nullptr ? *known
                            : SpeculativeSphere(id, object.position, object.orientation, comp);
  };
  const SphereEntry sphereA = sphereOf(set.objectId, *objectA, *compA);
  const SatBody bodyA{set.objectId, compA, RigidTransform(objectA->orientation, objectA->position)};
  const ContactSink sink{&manifoldBuffer.Back(), &pointBuffer.Back()};
  for (const uint32_t id : set.candidates) sat->Prefetch(set.objectId, id);
  for (const uint32_t id : set.candidates) {
    CollisionComp* compB = nullptr;
    const GameObject* objectB = LiveObject(id, compB);
    if (objectB == nullptr) continue;
    if (compA->resting && compB->resting) continue;
    const SphereEntry sphereB = sphereOf(id, *objectB, *compB);
    if (!SpheresOverlap(sphereA, sphereB)) continue;
    const SatBody bodyB{id, compB, RigidTransform(objectB->orientation, objectB->position)};
    sat->Collide(bodyA, bodyB, multipleContacts, time, sink);
  }
}

void CollisionManager::PickPass() {
  PickRay ray;
  {
    boost::mutex::scoped_lock guard(pickRayLock);
    ray = pickRay;
  }
  std::vector<PickResult>& back = pickBuffer.Back();
  ObjectLock lock;
  for (auto& entry : ObjectManager::Instance().objects) {
    GameObject& object = entry.second;
    if (object.dead) continue;
    const CollisionComp* comp = object.Find<CollisionComp>();
    if (comp == nullptr || !comp->pickable || !comp->hasBoundingSphere) continue;
    const SphereEntry sphere = WorldSphere(entry.first, object.position, object.orientation, *comp);
    float t = 0.0f;
    if (!PickSphere(ray, sphere.center, sphere.radius, t)) continue;
    PickResult result;
    result.time = System::Instance().GetTime();
    result.t = t;
    result.objectId = entry.first;
    result.point = ray.origin + ray.direction * t;
    result.orientation = object.orientation;
    result.position = object.position;
    back.push_back(result);
  }
}

void CollisionManager::GetContacts(std::vector<ContactManifold>& manifolds,
                                   std::vector<ContactPoint>& points) {
  boost::mutex::scoped_lock results(resultsLock);
  manifoldBuffer.CopyFront(manifolds);
  pointBuffer.CopyFront(points);
}

void CollisionManager::GetPickResults(std::vector<PickResult>& results) {
  boost::mutex::scoped_lock guard(resultsLock);
  pickBuffer.CopyFront(results);
}

void CollisionManager::SetPickRay(const PickRay& ray) {
  boost::mutex::scoped_lock guard(pickRayLock);
  pickRay = ray;
}

