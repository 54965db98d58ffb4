#include "game_logic/pick_drag.h"

#include <algorithm>
#include <cmath>
#include <vector>

#include "collision/collision_manager.h"
#include "game_logic/cursor_ray.h"
#include "objects/object_manager.h"
#include "physics/physics_comp.h"

namespace {

// Ray/plane tests: parallel below this |n . d|; behind the origin below -this t.
constexpr float kRayEpsilon = 1e-8f;

}  // namespace

void PickDrag::Update(bool held, const Camera& camera, const Vector& mouse, float dt) {
  CollisionManager& collision = CollisionManager::Instance();
  ObjectManager& manager = ObjectManager::Instance();

  if (held) {
    if (!picking && !tried) {
      std::vector<PickResult> results;
      collision.GetPickResults(results);
      // Only hits in front of the eye count: a ray starting inside a sphere,
      // or a sphere behind the camera, reports a negative parameter.
      results.erase(std::remove_if(results.begin(), results.end(),
                                   [](const PickResult& r) { return !(r.t >= 0.0f); }),
                    results.end());
      if (!results.empty()) {
        std::sort(results.begin(), results.end(),
                  [](const PickResult& a, const PickResult& b) { return a.t < b.t; });
        hit = results.front();
        dragPlane = Plane(dragPlaneNormal, hit.point);
        picking = true;
      }
      tried = true;
    } else if (picking && tried) {
      const Vector n = dragPlane.normal;
      const Vector d = ray.direction;
      const float denominator = Dot3(n, d);
      if (std::fabs(denominator) > kRayEpsilon) {
        const float t = Dot3(n, dragPlane.point - ray.origin) / denominator;
        if (t >= -kRayEpsilon) {
          const Vector target = ray.origin + d * t + (hit.position - hit.point);
          ObjectLock lock;
          if (manager.HasObject(hit.objectId)) {
            GameObject& obj = manager.GetGameObject(hit.objectId);
            PhysicsComp* physics = obj.Find<PhysicsComp>();
            if (physics != nullptr) physics->sleeping = false;  // a held body is awake
            if (dragByVelocity && physics != nullptr) {
              Vector& v = physics->linearVelocity;
              v = v - v * (kDragDamping * dt) + (target - obj.position) * (kDragStiffness * dt);
            } else {
              obj.position = target;
            }
          }
        }
      }
    }
  } else {
    picking = false;
    tried = false;
  }

  // The ray from the eye through the cursor, for this frame's drag and the
  // collision thread's next pick pass.
  const Vector eye = EyePosition(camera);
  ray.origin = eye;
  ray.direction = WithW(CursorWorldPoint(camera, mouse) - eye, 0.0f);
  collision.SetPickRay(ray);
  dragPlaneNormal = camera.GetBack();
}
