// Object mesh buffers are deleted once no stored object holds the mesh: the
// object was swept, never stored, or a cut gave it a new mesh.

#include <string>

#include "geom/mesh_builders.h"
#include "gl_test_support.h"
#include "objects/model_comp.h"
#include "objects/object_manager.h"
#include "window/resource_manager.h"

TEST(MeshBuffers, ReleasedOnceNoStoredObjectHoldsThem) {
  CLEAVE_REQUIRE_WINDOW();
  ResourceManager& resources = ResourceManager::Instance();
  ObjectManager& manager = ObjectManager::Instance();
  auto make = [&](const std::string& name) {
    GameObject obj;
    obj.name = name;
    ModelComp model;
    model.mesh = BuildBox(1, 1, 1, 1.0f, 1.0f, 1.0f);
    resources.CreateObjectMeshBuffers(model.mesh);
    obj.AttachComponent(model);
    return obj;
  };
  auto liveBuffers = [](const GameObject& obj) {
    int count = 0;
    for (uint32_t id : obj.FindComponent<ModelComp>("ModelComp")->mesh.bufferIds) count += glIsBuffer(id);
    return count;
  };
  const GameObject kept = make("buffers_kept"), swept = make("buffers_swept"),
                   recut = make("buffers_recut"), neverStored = make("buffers_never_stored");
  const uint32_t keptNumber = manager.AddGameObject(kept);
  const uint32_t sweptNumber = manager.AddGameObject(swept);
  const uint32_t recutNumber = manager.AddGameObject(recut);
  {
    ObjectLock lock;
    manager.KillGameObject(manager.GetGameObject(sweptNumber));
    manager.RemoveDeadObjects();
    manager.GetGameObject(recutNumber).FindComponent<ModelComp>("ModelComp")->mesh = Mesh();
  }
  EXPECT_EQ(3u, resources.ReleaseOrphanedMeshBuffers());
  EXPECT_EQ(4, liveBuffers(kept));
  for (const GameObject* gone : {&swept, &recut, &neverStored}) EXPECT_EQ(0, liveBuffers(*gone)) << gone->name;

  ObjectLock lock;
  manager.KillGameObject(manager.GetGameObject(keptNumber));
  manager.KillGameObject(manager.GetGameObject(recutNumber));
  manager.RemoveDeadObjects();
}
