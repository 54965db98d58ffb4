#include "collision/collision_manager.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <string>
#include <typeinfo>
#include <utility>

#include <boost/any.hpp>

#include "collision/broad_phase.h"
#include "collision/distinct_vector_list.h"
#include "core/event_manager.h"
#include "core/system.h"
#include "objects/model_comp.h"
#include "objects/object_manager.h"

namespace {

// Sweep and filter axes.
const Vector kSweepAxis(1.0f, 0.0f, 0.0f, 0.0f);
const Vector kFilterAxis(0.0f, 0.0f, 1.0f, 0.0f);

// Hull generation. Vectors shorter than this are treated as zero.
constexpr float kTiny = 1e-8f;
// How far hull vertices are pushed out from the local origin, in object
// units; the bounding radius grows by the same amount.
constexpr float kHullMargin = 0.08f;
// Manhattan tolerances of the distinct lists: unit edge directions, unit
// face normals, and vertices as a fraction of the bounding radius.
constexpr float kEdgeTolerance = 2.5f;
constexpr float kNormalTolerance = 0.5f;
constexpr float kVertexToleranceFactor = 0.03f;

// Component keys, built once: the lookups run for every candidate pair.
const std::string kCollisionCompName = "CollisionComp";
const std::string kModelCompName = "ModelComp";

// The collision component of an object, or null. This runs for every
// candidate of every set each frame, so it avoids what makes the general
// lookup slow: the key's hash is computed once (the table's own hasher on
// the same string, so the buckets agree), and the exact class is checked
// with typeid before falling back to a dynamic cast.
CollisionComp* CollisionCompOf(GameObject& object) {
  struct KnownHash {
    size_t value;
    size_t operator()(const std::string&) const { return value; }
  };
  static const KnownHash hash{GameObject::ComponentList::hasher()(kCollisionCompName)};
  const auto it = object.componentList.find(kCollisionCompName, hash,
                                            GameObject::ComponentList::key_equal());
  if (it == object.componentList.end() || it->second == nullptr) return nullptr;
  Component* comp = it->second;
  if (typeid(*comp) == typeid(CollisionComp)) return static_cast<CollisionComp*>(comp);
  return dynamic_cast<CollisionComp*>(comp);
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
      ObjectLock lock;
      PrefetchTracked(set);
      FilterCandidates(set, kFilterAxis, [this](uint32_t id, SphereEntry& sphere) {
        CollisionComp* comp = nullptr;
        const GameObject* object = TrackedObject(id, comp);
        if (object == nullptr) return false;
        sphere = WorldSphere(id, object->position, object->orientation, *comp);
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
  tracked.clear();
  uint32_t lowest = UINT32_MAX, highest = 0;
  {
    ObjectLock lock;
    for (auto& entry : ObjectManager::Instance().objects) {
      CollisionComp* comp = CollisionCompOf(entry.second);
      if (comp == nullptr) continue;
      spans.push_back(SpanAlong(
          WorldSphere(entry.first, entry.second.position, entry.second.orientation, *comp),
          kSweepAxis));
      tracked.push_back(Tracked{&entry.second, comp});
      lowest = std::min(lowest, entry.first);
      highest = std::max(highest, entry.first);
    }
  }
  // The id -> slot array spans lowest .. highest. Should the ids be spread
  // too thinly for that (more than kMaxSlotsPerObject entries per object),
  // nothing is tracked and every lookup takes the full path.
  constexpr size_t kMaxSlotsPerObject = 16;
  slotById.clear();
  firstTrackedId = lowest;
  if (!tracked.empty() &&
      static_cast<size_t>(highest - lowest) < kMaxSlotsPerObject * tracked.size()) {
    slotById.assign(static_cast<size_t>(highest - lowest) + 1, 0);
    for (size_t i = 0; i < spans.size(); ++i)
      slotById[spans[i].objectId - lowest] = static_cast<uint32_t>(i + 1);
  }
  sets = SweepAndPrune(spans);
}

void CollisionManager::PrefetchTracked(const CandidateSet& set) const {
  // The filter below touches each candidate's stored object and collision
  // component once, in an order the hardware cannot guess; in a large scene
  // they have mostly left the cache since the span build. Asking for all of
  // them first lets the loads overlap instead of waiting one by one. A
  // prefetch never faults, so an address whose object has been removed since
  // is harmless; nothing is read through these pointers here.
  for (const uint32_t id : set.candidates) {
    const size_t offset = static_cast<size_t>(id) - firstTrackedId;
    if (id < firstTrackedId || offset >= slotById.size() || slotById[offset] == 0) continue;
    const Tracked& entry = tracked[slotById[offset] - 1];
    const char* object = reinterpret_cast<const char*>(entry.object);
    __builtin_prefetch(object);
    __builtin_prefetch(object + 64);
    __builtin_prefetch(entry.comp);
    __builtin_prefetch(reinterpret_cast<const char*>(entry.comp) + 64);
  }
}

GameObject* CollisionManager::TrackedObject(uint32_t id, CollisionComp*& comp) {
  ObjectManager::ObjectTable& objects = ObjectManager::Instance().objects;
  const auto it = objects.find(id);
  if (it == objects.end() || it->second.dead) return nullptr;
  const size_t offset = static_cast<size_t>(id) - firstTrackedId;
  if (id >= firstTrackedId && offset < slotById.size() && slotById[offset] != 0) {
    const Tracked& entry = tracked[slotById[offset] - 1];
    if (entry.object == &it->second) {
      comp = entry.comp;
      return &it->second;
    }
  }
  comp = CollisionCompOf(it->second);
  return comp == nullptr ? nullptr : &it->second;
}

void CollisionManager::NarrowPhase(const CandidateSet& set, bool multipleContacts, double time) {
  ObjectLock lock;
  CollisionComp* compA = nullptr;
  const GameObject* objectA = TrackedObject(set.objectId, compA);
  if (objectA == nullptr) return;
  const SphereEntry sphereA = WorldSphere(set.objectId, objectA->position, objectA->orientation, *compA);
  const SatBody bodyA{set.objectId, compA, RigidTransform(objectA->orientation, objectA->position)};
  const ContactSink sink{&manifoldBuffer.Back(), &pointBuffer.Back()};
  for (const uint32_t id : set.candidates) {
    CollisionComp* compB = nullptr;
    const GameObject* objectB = TrackedObject(id, compB);
    if (objectB == nullptr) continue;
    const SphereEntry sphereB = WorldSphere(id, objectB->position, objectB->orientation, *compB);
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
    const CollisionComp* comp = CollisionCompOf(object);
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

namespace {
// The two components both generators need. Warns about the first one missing
// and returns false, so the caller changes nothing.
bool GeneratorSources(GameObject& object, const ModelComp*& model, CollisionComp*& comp) {
  model = object.FindComponent<ModelComp>(kModelCompName);
  if (model == nullptr) {
    CLEAVE_WARNING("No model to generate bounding sphere from!");
    return false;
  }
  comp = object.FindComponent<CollisionComp>(kCollisionCompName);
  if (comp == nullptr) {
    CLEAVE_WARNING("No collision component on this GameObject!");
    return false;
  }
  return true;
}
}  // namespace

void CollisionManager::GenerateBoundingSphere(GameObject& object) {
  const ModelComp* model = nullptr;
  CollisionComp* comp = nullptr;
  if (!GeneratorSources(object, model, comp)) return;
  const std::vector<Vertex>& vertices = model->mesh.vertices;
  // A mesh without vertices has no sphere; leave the component as it is
  // rather than divide by zero.
  if (vertices.empty()) return;
  const float s = model->scale;
  const float inverseCount = 1.0f / static_cast<float>(vertices.size());
  Vector center;
  for (const Vertex& v : vertices) center += v.Position() * inverseCount;
  // The first vertex starts the search; a later one replaces it only when
  // strictly farther.
  float radius = Length(vertices[0].Position() - center);
  for (const Vertex& v : vertices) radius = std::max(radius, Length(v.Position() - center));
  comp->boundingRadius = radius * s;
  comp->boundingCenter = center * s;
  comp->hasBoundingSphere = true;
}

void CollisionManager::GenerateCollisionHull(GameObject& object) {
  const ModelComp* model = nullptr;
  CollisionComp* comp = nullptr;
  if (!GeneratorSources(object, model, comp)) return;
  if (!comp->hasBoundingSphere) GenerateBoundingSphere(object);
  const Mesh& mesh = model->mesh;
  const float s = model->scale;

  // Edge directions. Every distinct directed index pair of the triangles'
  // edges (i0, i1), (i2, i1), (i0, i2), visited in index order; the wide
  // tolerance then keeps only a few well-separated directions.
  std::vector<uint64_t> pairs;
  pairs.reserve(mesh.triangles.size() * 3);
  const auto key = [](uint32_t first, uint32_t second) {
    return (static_cast<uint64_t>(first) << 32) | second;
  };
  for (const Triangle& t : mesh.triangles) {
    pairs.push_back(key(t.indices[0], t.indices[1]));
    pairs.push_back(key(t.indices[2], t.indices[1]));
    pairs.push_back(key(t.indices[0], t.indices[2]));
  }
  std::sort(pairs.begin(), pairs.end());
  pairs.erase(std::unique(pairs.begin(), pairs.end()), pairs.end());
  const uint32_t vertexCount = mesh.VertexCount();
  DistinctVectorList edges(kEdgeTolerance);
  for (const uint64_t pair : pairs) {
    const uint32_t first = static_cast<uint32_t>(pair >> 32);
    const uint32_t second = static_cast<uint32_t>(pair & 0xffffffffu);
    if (first >= vertexCount || second >= vertexCount) continue;
    const Vector e = mesh.vertices[second].Position() - mesh.vertices[first].Position();
    const float length = Length(e);
    if (length > kTiny) edges.Add(e / length);
  }

  // Face normals: (p1 - p0) x (p2 - p0), normalised.
  DistinctVectorList normals(kNormalTolerance);
  for (const Triangle& t : mesh.triangles) {
    if (t.indices[0] >= vertexCount || t.indices[1] >= vertexCount || t.indices[2] >= vertexCount)
      continue;
    const Vector p0 = mesh.vertices[t.indices[0]].Position();
    const Vector p1 = mesh.vertices[t.indices[1]].Position();
    const Vector p2 = mesh.vertices[t.indices[2]].Position();
    const Vector n = Cross(p1 - p0, p2 - p0);
    const float length = Length(n);
    if (length > kTiny) normals.Add(n / length);
  }

  // Vertices: scaled, pushed out from the local origin by the margin
  // (v (margin/|v| + 1)), near-duplicates merged.
  DistinctVectorList vertices(kVertexToleranceFactor * comp->boundingRadius);
  for (const Vertex& vertex : mesh.vertices) {
    Vector v = vertex.Position() * s;
    const float length = Length(v);
    if (length > kTiny) v = v * (kHullMargin / length + 1.0f);
    vertices.Add(v);
  }

  comp->edgeDirections = std::move(edges.vectors);
  comp->faceNormals = std::move(normals.vectors);
  comp->hullVertices = std::move(vertices.vectors);
  comp->boundingRadius += kHullMargin;
  comp->hasHull = true;
}

BoundingBox CollisionManager::ComputeBoundingBox(const Mesh& mesh, float scale) {
  BoundingBox box;
  // An empty mesh has no first vertex to start from: the zero box.
  if (mesh.vertices.empty()) return box;
  Vector min = mesh.vertices[0].Position() * scale;
  Vector max = min;
  for (const Vertex& vertex : mesh.vertices) {
    const Vector p = vertex.Position() * scale;
    for (int k = 0; k < 3; ++k) {
      if (p[k] < min[k]) {
        min[k] = p[k];
      } else if (p[k] > max[k]) {
        max[k] = p[k];
      }
    }
  }
  box.center = (max + min) * 0.5f;
  box.halfExtents = (max - min) * 0.5f;
  return box;
}
