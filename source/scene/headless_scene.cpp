#include "scene/headless_scene.h"

#include <ctime>

#include "collision/collision_manager.h"
#include "core/event_manager.h"
#include "core/system.h"
#include "objects/object_manager.h"
#include "physics/physics.h"
#include "scene/solid_factory.h"

namespace {

// CPU seconds used by the calling thread. Steps are timed on this clock
// rather than the wall clock: the machine is shared, and time spent waiting
// for a core would otherwise be counted as work.
double ThreadSeconds() {
  timespec now{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
  return static_cast<double>(now.tv_sec) + 1e-9 * static_cast<double>(now.tv_nsec);
}

}  // namespace

void HeadlessScene::InitModules() {
  static bool initialised = false;
  if (initialised) return;
  initialised = true;
  EventManager::Instance().Init();
  CollisionManager::Instance().Init();
  Physics::Instance().Init();
}

void HeadlessScene::Clear() {
  ObjectManager& objects = ObjectManager::Instance();
  for (auto& entry : objects.objects) objects.KillGameObject(entry.second);
  objects.RemoveDeadObjects();

  // Requests still queued belong to the old scene: drain and drop them.
  Physics::Instance().ProcessEvents();
  Physics::Instance().Reset();
  CollisionManager::Instance().ProcessEvents();
  EventManager::Instance().GetEvents("BROADCAST");

  // One collision frame over the empty table flips empty contact buffers to
  // the front, so no contact of the old scene reaches the next step.
  const bool collisionWasOn = CollisionManager::Instance().collisionOn;
  CollisionManager::Instance().Update();
  CollisionManager::Instance().collisionOn = collisionWasOn;
}

HeadlessScene::HeadlessScene(bool multipleContacts) {
  InitModules();
  Clear();
  CollisionManager& collision = CollisionManager::Instance();
  collision.collisionOn = true;
  collision.pickOn = false;
  collision.doMultipleContacts = multipleContacts;
  groundId = ObjectManager::Instance().AddGameObject(BuildGroundPlane());
}

HeadlessScene::~HeadlessScene() { Clear(); }

uint32_t HeadlessScene::AddSolid(const std::string& name, const Vector& position,
                                 const Vector& dimensions, int modelType,
                                 const Quaternion& orientation, float density, float gravity) {
  const uint32_t id = ObjectManager::Instance().AddGameObject(
      BuildSolid(name, position, dimensions, modelType, orientation, density));
  if (id != 0 && gravity > 0.0f) SendGravity(id, gravity);
  return id;
}

std::vector<uint32_t> HeadlessScene::AddStartObjects() {
  std::vector<uint32_t> numbers;
  for (const StartObject& start : kStartObjects)
    numbers.push_back(AddSolid(start.name, start.position, start.dimensions, start.type));
  return numbers;
}

void HeadlessScene::SendGravity(uint32_t objectId, float g) {
  EventManager::Instance().PostEvent(GravityRequest("HeadlessScene", objectId, g));
}

void HeadlessScene::Step(int count) {
  CollisionManager& collision = CollisionManager::Instance();
  Physics& physics = Physics::Instance();
  for (int i = 0; i < count; ++i) {
    System::Instance().frameStartTime = time;
    const double start = ThreadSeconds();
    collision.Update();
    const double middle = ThreadSeconds();
    physics.Update();
    const double end = ThreadSeconds();
    collisionSeconds.push_back(middle - start);
    physicsSeconds.push_back(end - middle);
    time += kStepSeconds;
  }
}

GameObject& HeadlessScene::Object(uint32_t objectId) {
  return ObjectManager::Instance().GetGameObject(objectId);
}

PhysicsComp& HeadlessScene::Body(uint32_t objectId) {
  return *Object(objectId).Find<PhysicsComp>();
}
