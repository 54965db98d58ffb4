#include "objects/object_manager.h"

#include <algorithm>
#include <iterator>
#include <stdexcept>

#include "core/diagnostics.h"
#include "core/event_manager.h"
#include "objects/model_comp.h"

namespace {
// Initial bucket request and load limit of the object table, the engine's
// usual hash map settings.
constexpr std::size_t kObjectBuckets = 50;
constexpr float kMaxLoadFactor = 1.0f;

std::out_of_range UnknownName(const std::string& name) {
  return std::out_of_range("no game object named \"" + name + "\"");
}
}  // namespace

ObjectManager::ObjectManager() : Module<ObjectManager>("ObjectManager"), objects(kObjectBuckets) {
  objects.max_load_factor(kMaxLoadFactor);
}

void ObjectManager::Init() { EventManager::Instance().RegisterClient(name); }

void ObjectManager::Update() {
  // Nothing is addressed to the registry yet; fetching keeps its queue empty.
  ProcessEvents();
}

void ObjectManager::Kill() { EventManager::Instance().UnregisterClient(name); }

uint32_t ObjectManager::AddGameObject(GameObject obj) {
  if (obj.name.empty()) CLEAVE_ERROR("game object with no name!");

  boost::mutex::scoped_lock guard(lock);
  if (names.count(obj.name) != 0) {
    // Reported under the lock: Error only logs and clears the running flag,
    // it never waits, so holding the lock here cannot block anyone for long.
    CLEAVE_ERROR("game object with duplicate name!");
    diagnostics::Log("obj.name = " + obj.name);
    return 0;
  }
  const uint32_t number = ++objCounter;
  // The stored copy carries its own number, so the "KillGameObject" event
  // and every reader of objNum see the number it was registered under.
  obj.objNum = number;
  // emplace copies obj once more: the stored object owns its own clones.
  objects.emplace(number, obj);
  names.emplace(obj.name, number);
  return number;
}

void ObjectManager::KillGameObject(GameObject& obj) {
  if (obj.dead) return;
  obj.dead = true;
  Event event = CreateEvent("BROADCAST", "KillGameObject");
  event.SetParam<std::string>("name", obj.name);
  event.SetParam<uint32_t>("objNum", obj.objNum);
  SendEvent(event);
}

void ObjectManager::RemoveDeadObjects() {
  std::vector<uint32_t> deadNumbers;
  for (const auto& entry : objects)
    if (entry.second.dead) deadNumbers.push_back(entry.first);

  for (uint32_t number : deadNumbers) {
    const ObjectTable::iterator it = objects.find(number);
    // Forget the name only while it still maps to this object, so the name
    // can be added again after the removal.
    const auto named = names.find(it->second.name);
    if (named != names.end() && named->second == number) names.erase(named);
    if (ModelComp* model = it->second.Find<ModelComp>()) ReleaseMeshBuffers(model->mesh);
    objects.erase(it);
  }
}

void ObjectManager::ReleaseMeshBuffers(Mesh& mesh) {
  if (!mesh.buffersCreated) return;
  releasedBuffers.insert(releasedBuffers.end(), std::begin(mesh.bufferIds),
                         std::end(mesh.bufferIds));
  mesh.buffersCreated = false;
  std::fill(std::begin(mesh.bufferIds), std::end(mesh.bufferIds), 0u);
}

std::vector<uint32_t> ObjectManager::TakeReleasedBuffers() {
  std::vector<uint32_t> taken;
  taken.swap(releasedBuffers);
  return taken;
}

GameObject& ObjectManager::GetGameObject(uint32_t objNum) {
  const ObjectTable::iterator it = objects.find(objNum);
  if (it == objects.end()) throw std::out_of_range("Unable to find key in unordered_map.");
  return it->second;
}

GameObject& ObjectManager::GetGameObject(const std::string& objName) {
  return GetGameObject(GetObjNum(objName));
}

uint32_t ObjectManager::GetObjNum(const std::string& objName) const {
  const auto it = names.find(objName);
  if (it == names.end()) throw UnknownName(objName);
  return it->second;
}

bool ObjectManager::HasObject(uint32_t objNum) const { return objects.find(objNum) != objects.end(); }

void ObjectManager::Lock() { lock.lock(); }

void ObjectManager::Unlock() { lock.unlock(); }
