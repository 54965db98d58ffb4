#pragma once
// The shared object table emptied between tests (for test programs that
// link the objects layer or above).

#include "objects/object_manager.h"

namespace support {

// Kills and sweeps every object in the registry.
inline void ClearObjects() {
  ObjectManager& manager = ObjectManager::Instance();
  ObjectLock lock;
  for (auto& entry : manager.objects) manager.KillGameObject(entry.second);
  manager.RemoveDeadObjects();
}

}  // namespace support
