#pragma once
// The shared object table emptied between tests (for test programs that
// link the objects layer or above).

#include <string>

#include "objects/object_manager.h"
#include "physics/physics_comp.h"

namespace support {

// Kills and sweeps every object in the registry.
inline void ClearObjects() {
  ObjectManager& manager = ObjectManager::Instance();
  ObjectLock lock;
  for (auto& entry : manager.objects) manager.KillGameObject(entry.second);
  manager.RemoveDeadObjects();
}

// An object with only a PhysicsComp of `mass`.
inline GameObject BodyObject(const std::string& name, const Vector& position, float mass = 1.0f) {
  GameObject object;
  object.name = name;
  object.position = position;
  PhysicsComp comp;
  comp.mass = mass;
  object.AttachComponent(comp);
  return object;
}

}  // namespace support
