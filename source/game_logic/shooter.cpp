#include "game_logic/shooter.h"

#include <string>
#include <vector>

#include "collision/broad_phase.h"
#include "collision/collision_comp.h"
#include "objects/object_manager.h"
#include "physics/ground_plane.h"
#include "physics/physics_comp.h"
#include "scene/scene_setup.h"
#include "scene/shot_placement.h"
#include "scene/solid_factory.h"

uint32_t Shoot(const Camera& camera, float size, int32_t modelType, float speed,
               const Mesh* model) {
  ObjectManager& manager = ObjectManager::Instance();
  const Vector right = camera.GetRight();
  const Vector up = camera.GetUp();
  const Vector back = camera.GetBack();
  const Quaternion rotation = Quaternion::FromMatrix(camera.GetInverseView());

  std::string name;
  {
    ObjectLock lock;
    name = "bullet_" + std::to_string(manager.objCounter);
  }

  // 5 to 12 units ahead, up to 3 to either side, 0 to 6 up.
  const float s1 = 6.0f * UniformDraw();
  const float s2 = 6.0f * UniformDraw() - 3.0f;
  const float s3 = 7.0f * UniformDraw() + 5.0f;
  const Vector position = camera.position - back * s3 + right * s2 + up * s1;

  GameObject shot =
      modelType == Model && model != nullptr
          ? BuildModelSolid(name, position, *model, kModelSize * size / 2.0f, rotation,
                            kShotDensity)
          : BuildSolid(name, position, Vector(size, size, size, 0.0f), modelType, rotation,
                       kShotDensity);
  // Shot objects carry group bit 5 besides the bit every solid has.
  if (CollisionComp* collision = shot.Find<CollisionComp>()) {
    collision->groupMask |= 1u << 5;
    std::vector<SphereEntry> others;
    {
      ObjectLock lock;
      for (auto& entry : manager.objects) {
        const GameObject& obj = entry.second;
        const CollisionComp* comp = obj.Find<CollisionComp>();
        if (obj.dead || obj.name == kGroundPlaneName || comp == nullptr || !comp->hasBoundingSphere)
          continue;
        others.push_back(WorldSphere(entry.first, obj.position, obj.orientation, *comp));
      }
    }
    const Vector center = shot.position + collision->boundingCenter;
    shot.position += PlaceClear(center, collision->boundingRadius, others, kGroundTop) - center;
  }
  if (PhysicsComp* physics = shot.Find<PhysicsComp>()) physics->linearVelocity = back * -speed;
  return manager.AddGameObject(shot);
}
