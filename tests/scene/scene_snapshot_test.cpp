// Scene snapshots: a saved scene with cut pieces reads back into the same
// state (saving it again gives the same bytes) and goes on exactly as the
// scene it was saved from; assimp's own glTF reader opens the file; damaged
// files are refused with a reason and change nothing.

#include <gtest/gtest.h>

#include <assimp/Importer.hpp>
#include <assimp/scene.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "objects/model_comp.h"
#include "scene/headless_scene.h"
#include "scene/scene_snapshot.h"
#include "scene/split_orchestration.h"

namespace {

std::string Save() {
  ObjectManager& manager = ObjectManager::Instance();
  return EncodeSnapshot(CaptureScene(manager.objects), manager.objCounter);
}

void Cut(const Plane& plane) {
  SplitOrchestrator cutter;
  cutter.SliceObjects(plane);
  cutter.ProcessSplitQueue(1.0e9);
}

// The start objects and a flying shot, cut once; saved before the solver has
// stepped them (it keeps lambdas and sleep timers of its own, which a file
// does not hold). The run on cuts again, so pieces of loaded pieces land,
// collide and settle.
void BuildCutScene(HeadlessScene& scene) {
  scene.AddStartObjects();
  const uint32_t shot = scene.AddSolid("bullet_9", Vector(-8, 2, 0), Vector(0.5f, 0.5f, 0.5f), Box);
  scene.Body(shot).linearVelocity = Vector(9, 2, 0);
  Cut(Plane(Normalize(Vector(1, 0.3f, 0.2f)), Vector(-1.2f, 2, 0)));
}

void RunOn(HeadlessScene& scene) {
  scene.Step(40);
  Cut(Plane(Normalize(Vector(0.1f, 1, -0.4f)), Vector(-2, 1, 1)));
  scene.Step(80);
}

}  // namespace

TEST(SceneSnapshot, ReloadedSceneSavesTheSameBytesAndGoesOnAsTheOriginal) {
  // Each scene numbers its objects from 1, as two runs of the program do.
  std::string saved, original;
  size_t objects = 0;
  {
    ObjectManager::Instance().objCounter = 0;
    HeadlessScene scene;
    BuildCutScene(scene);
    objects = ObjectManager::Instance().objects.size();
    ASSERT_GE(objects, 7u);  // ground, 4 solids and the pieces of a cut
    saved = Save();
    RunOn(scene);
    original = Save();
  }
  ObjectManager::Instance().objCounter = 0;
  HeadlessScene scene;
  std::vector<SnapshotObject> decoded;
  uint32_t counter = 0;
  std::string error;
  ASSERT_TRUE(DecodeSnapshot(saved, decoded, counter, error)) << error;
  RestoreScene(decoded, counter, "HeadlessScene");
  EXPECT_EQ(ObjectManager::Instance().objects.size(), objects);
  EXPECT_TRUE(Save() == saved);
  RunOn(scene);
  EXPECT_TRUE(Save() == original);

  // Another reader: assimp's glTF importer sees one mesh per solid, with the
  // vertices stored, bit for bit.
  Assimp::Importer importer;
  const aiScene* read = importer.ReadFileFromMemory(saved.data(), saved.size(), 0, "glb");
  ASSERT_NE(read, nullptr) << importer.GetErrorString();
  ASSERT_EQ(read->mNumMeshes, objects);
  const Mesh& ground = decoded.front().mesh;
  ASSERT_EQ(read->mMeshes[0]->mNumVertices, ground.VertexCount());
  for (unsigned v = 0; v < ground.VertexCount(); ++v)
    EXPECT_EQ(read->mMeshes[0]->mVertices[v].z, ground.vertices[v].z);
}

TEST(SceneSnapshot, DamagedFilesAreRefusedWithAReason) {
  HeadlessScene scene;
  scene.AddStartObjects();
  const std::string good = Save();
  std::vector<SnapshotObject> decoded;
  uint32_t counter = 0;
  std::string error;
  const auto refused = [&](std::string bytes) {
    error.clear();
    return !DecodeSnapshot(bytes, decoded, counter, error) && !error.empty();
  };
  EXPECT_TRUE(refused(""));
  EXPECT_TRUE(refused(good.substr(0, good.size() - 4)));  // cut short
  std::string text = good;
  text.replace(text.find("\"nodes\":["), 9, "\"nodes\":{");
  EXPECT_TRUE(refused(text));  // not JSON
  text = good;
  text.replace(text.find("\"rotation\""), 10, "\"rotatio_\"");
  EXPECT_TRUE(refused(text));  // a member missing
  text = good;
  text.replace(text.find("\"obj4\""), 6, "\"obj3\"");
  EXPECT_TRUE(refused(text));  // two objects of one name
  text = good;
  const size_t at = text.size() - 4;  // the last index of the last mesh
  text[at + 3] = '\x7f';
  EXPECT_TRUE(refused(text));
  EXPECT_NE(error.find("index past"), std::string::npos) << error;
  // A million brackets, for a reader that recurses once per level.
  const std::string deep(1000000, '[');
  const uint32_t header[5] = {0x46546C67, 2, 20 + 1000000, 1000000, 0x4E4F534A};
  EXPECT_TRUE(refused(std::string(reinterpret_cast<const char*>(header), 20) + deep));
  EXPECT_NE(error.find("nested more than 64"), std::string::npos) << error;
  EXPECT_FALSE(LoadSnapshotFile("/dev/zero", "HeadlessScene", error));  // endless
  EXPECT_NE(error.find("not a regular file"), std::string::npos) << error;

  // Loading a damaged file leaves the scene as it was.
  const std::string path = testing::TempDir() + "damaged.glb";
  FILE* file = std::fopen(path.c_str(), "wb");
  std::fwrite(good.data(), 1, good.size() / 2, file);
  std::fclose(file);
  EXPECT_FALSE(LoadSnapshotFile(path, "HeadlessScene", error));
  EXPECT_TRUE(Save() == good);
}
