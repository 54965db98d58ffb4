// GPU resources follow the scene: a stored mesh gets four buffers of its own,
// the buffers of a mesh a cut replaces and of a removed object are deleted,
// and rounds of add, cut and remove leave no buffer behind.

#include <set>
#include <string>
#include <vector>

#include <GL/glew.h>

#include "support/gl_window.h"
#include "core/event_manager.h"
#include "objects/model_comp.h"
#include "objects/object_manager.h"
#include "scene/solid_factory.h"
#include "scene/split_orchestration.h"
#include "window/resource_manager.h"

namespace {

bool IsBuffer(unsigned name) { return glIsBuffer(name) == GL_TRUE; }

// The buffer names of every stored mesh.
std::vector<uint32_t> StoredBufferNames() {
  std::vector<uint32_t> names;
  ObjectLock lock;
  for (auto& entry : ObjectManager::Instance().objects) {
    const Mesh& mesh = entry.second.Find<ModelComp>()->mesh;
    EXPECT_TRUE(mesh.buffersCreated) << entry.second.name;
    names.insert(names.end(), std::begin(mesh.bufferIds), std::end(mesh.bufferIds));
  }
  return names;
}

void RemoveAll() {
  ObjectManager& objects = ObjectManager::Instance();
  ObjectLock lock;
  for (auto& entry : objects.objects) objects.KillGameObject(entry.second);
  objects.RemoveDeadObjects();
}

}  // namespace

TEST(MeshBuffers, AreMadeForEveryMeshAndDeletedWithItsObjectOrOldMesh) {
  CLEAVE_REQUIRE_WINDOW();
  ResourceManager& resources = ResourceManager::Instance();
  RemoveAll();
  resources.UpdateMeshBuffers();
  const int live = support::CountLive(IsBuffer);  // the renderer's own

  for (int round = 0; round < 4; ++round) {
    SCOPED_TRACE(round);
    const Vector centre(0.0f, 3.0f, -5.0f);
    const uint32_t id = ObjectManager::Instance().AddGameObject(
        BuildSolid("whole" + std::to_string(round), centre, Vector(1.0f, 0.0f, 0.0f), Sphere,
                   Quaternion(), 1.0f));
    ASSERT_NE(id, 0u);
    resources.UpdateMeshBuffers();
    const std::vector<uint32_t> whole = StoredBufferNames();
    ASSERT_EQ(whole.size(), 4u);
    for (uint32_t name : whole) EXPECT_TRUE(IsBuffer(name)) << name;

    // Cut through the centre: the object keeps one half, a new one gets the other.
    SplitOrchestrator splitter;
    SplitJob job;
    job.object = id;
    job.plane = Plane(Vector(1.0f, 0.0f, 0.0f), centre);
    while (job.stage != 4) splitter.StepSplitJob(job);
    ASSERT_EQ(ObjectManager::Instance().objects.size(), 2u);
    resources.DeleteReleasedBuffers();
    for (uint32_t name : whole) EXPECT_FALSE(IsBuffer(name)) << name;
    resources.CreateMissingBuffers();
    const std::vector<uint32_t> halves = StoredBufferNames();
    ASSERT_EQ(halves.size(), 8u);
    EXPECT_EQ(std::set<uint32_t>(halves.begin(), halves.end()).size(), 8u);  // none shared
    for (uint32_t name : halves) EXPECT_TRUE(IsBuffer(name)) << name;

    RemoveAll();
    resources.DeleteReleasedBuffers();
    for (uint32_t name : halves) EXPECT_FALSE(IsBuffer(name)) << name;
    EXPECT_EQ(support::CountLive(IsBuffer), live);
  }
  EventManager::Instance().GetEvents("Physics");  // the pieces' gravity requests
}
