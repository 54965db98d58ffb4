#include "game_logic/scene_culling.h"

#include <algorithm>
#include <cmath>
#include <string>

#include "collision/collision_comp.h"
#include "core/diagnostics.h"
#include "core/system.h"
#include "math/matrix4.h"
#include "objects/object_manager.h"
#include "physics/ground_plane.h"
#include "physics/physics_comp.h"

namespace {

// Whether a sphere (world centre, radius) is wholly outside the camera's
// view: behind the eye, or beyond an edge of the screen by more than its
// radius. clip.w is the depth in front of the eye, and a length r at depth w
// spans r P(0,0) / w across and r P(1,1) / w up the screen in NDC.
bool OutOfView(const Matrix4& projection, const Matrix4& viewProjection, const Vector& centre,
               float radius) {
  const Vector clip = viewProjection * WithW(centre, 1.0f);
  if (clip.w <= -radius) return true;  // wholly behind the eye
  if (clip.w <= radius) return false;  // around the eye
  const float x = std::fabs(clip.x) - radius * projection(0, 0);
  const float y = std::fabs(clip.y) - radius * projection(1, 1);
  return x > clip.w || y > clip.w;
}

}  // namespace

void SceneCulling::Update(double now, double smoothedFrameTime, float slowFrameMs, bool on,
                          const Camera& camera) {
  if (!on) return;
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
      culler.Update(now, smoothedFrameTime, slowFrameMs / 1000.0, objects, removable);
  if (action == SlowFrameCuller::Action::kUnable) {
    CLEAVE_WARNING("Unable to cull objects");
    return;
  }
  if (action == SlowFrameCuller::Action::kPause) {
    system.Milestone("Culling paused: removing objects did not make frames faster");
    return;
  }
  if (action == SlowFrameCuller::Action::kStartBatch) {
    system.Milestone("Culling " + std::to_string(culler.BatchSize()) + " objects: frames take " +
               std::to_string(static_cast<int>(smoothedFrameTime * 1000.0)) + " ms");
  } else if (action != SlowFrameCuller::Action::kRemoveOldest) {
    return;
  }
  const auto candidates = RankCandidates(kCullMassLimit, camera);
  if (candidates.empty()) return;
  {
    ObjectLock lock;
    const uint32_t chosen = candidates.front().second;
    if (!manager.HasObject(chosen)) return;
    manager.KillGameObject(manager.GetGameObject(chosen));
  }
  if (now >= noticeUntil) removed = 0;
  ++removed;
  noticeUntil = now + kNoticeSeconds;
  notice = "Removed " + std::to_string(removed) + (removed == 1 ? " piece" : " pieces") +
           " to keep frames under " + std::to_string(static_cast<int>(std::lround(slowFrameMs))) +
           " ms; culling can be switched off in the bar";
}

std::vector<std::pair<std::pair<int, int32_t>, uint32_t>> SceneCulling::RankCandidates(
    float massLimit, const Camera& camera) {
  const Matrix4 projection = camera.Projection();
  const Matrix4 viewProjection = projection * camera.view;
  std::vector<std::pair<std::pair<int, int32_t>, uint32_t>> ranked;
  ObjectLock lock;
  for (auto& entry : ObjectManager::Instance().objects) {
    const GameObject& obj = entry.second;
    if (obj.dead || obj.name == kGroundPlaneName) continue;
    const PhysicsComp* physics = obj.Find<PhysicsComp>();
    if (physics == nullptr || !(physics->mass < massLimit)) continue;
    const CollisionComp* collision = obj.Find<CollisionComp>();
    const bool hasSphere = collision != nullptr && collision->hasBoundingSphere;
    const Vector centre =
        obj.position + (hasSphere ? obj.orientation.Rotate(collision->boundingCenter) : Vector());
    const float radius = hasSphere ? collision->boundingRadius : 0.0f;
    const bool hidden = OutOfView(projection, viewProjection, centre, radius);
    const int rank = (hidden ? 0 : 2) + (physics->sleeping ? 0 : 1);
    ranked.push_back({{rank, -obj.age}, entry.first});
  }
  std::sort(ranked.begin(), ranked.end());
  return ranked;
}
