#include "game_logic/scene_culling.h"

#include <iterator>
#include <string>

#include "core/diagnostics.h"
#include "core/system.h"
#include "objects/object_manager.h"
#include "physics/ground_plane.h"
#include "physics/physics_comp.h"

void SceneCulling::Update(double now, double smoothedFrameTime, double slowFrameTime) {
  System& system = System::Instance();
  ObjectManager& manager = ObjectManager::Instance();
  int objects = 0, removable = 0;
  {
    ObjectLock lock;
    for (auto& entry : manager.objects) {
      const GameObject& obj = entry.second;
      if (obj.dead || obj.name == kGroundPlaneName) continue;
      ++objects;
      const PhysicsComp* physics = obj.Find<PhysicsComp>();
      if (physics != nullptr && physics->mass < kCullMassLimit) ++removable;
    }
  }
  const SlowFrameCuller::Action action =
      culler.Update(now, smoothedFrameTime, slowFrameTime, objects, removable);
  if (action == SlowFrameCuller::Action::kUnable) {
    CLEAVE_WARNING("Unable to cull objects");
    return;
  }
  if (action == SlowFrameCuller::Action::kPause) {
    system.Log("Culling paused: removing objects did not make frames faster");
    return;
  }
  if (action == SlowFrameCuller::Action::kStartBatch) {
    system.Log("Culling the " + std::to_string(culler.BatchSize()) +
               " oldest objects: frames take " +
               std::to_string(static_cast<int>(smoothedFrameTime * 1000.0)) + " ms");
  } else if (action != SlowFrameCuller::Action::kRemoveOldest) {
    return;
  }
  std::multimap<int32_t, uint32_t> candidates;
  CollectCandidates(kCullMassLimit, candidates);
  if (candidates.empty()) return;
  // The last entry: the largest age, among equal ages the one inserted last.
  const uint32_t oldest = std::prev(candidates.end())->second;
  ObjectLock lock;
  if (manager.HasObject(oldest)) manager.KillGameObject(manager.GetGameObject(oldest));
}

void SceneCulling::CollectCandidates(float massLimit,
                                     std::multimap<int32_t, uint32_t>& candidates) {
  ObjectLock lock;
  for (auto& entry : ObjectManager::Instance().objects) {
    const GameObject& obj = entry.second;
    if (obj.dead || obj.name == kGroundPlaneName) continue;
    const PhysicsComp* physics = obj.Find<PhysicsComp>();
    if (physics != nullptr && physics->mass < massLimit) candidates.emplace(obj.age, entry.first);
  }
}
