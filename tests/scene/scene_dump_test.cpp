// The --dump-scene format: one JSON object per game object in number order,
// then the tutorial page; broken values and awkward names stay valid JSON.

#include <gtest/gtest.h>

#include <filesystem>
#include <iterator>

#include <limits>
#include <sstream>
#include <string>
#include <vector>

#include "geom/mesh_builders.h"
#include "objects/model_comp.h"
#include "core/system.h"
#include "physics/physics_comp.h"
#include "scene/scene_dump.h"
#include "support/log_capture.h"
#include "support/objects.h"
#include "support/scratch.h"

namespace {

GameObject MakeObject(const std::string& name, const Vector& position, bool withPhysics) {
  GameObject obj;
  obj.name = name;
  obj.position = position;
  ModelComp model;
  model.mesh = BuildBox(1, 1, 1, 2.0f, 2.0f, 2.0f);  // 12 triangles, 8 vertices
  obj.AttachComponent(model);
  if (withPhysics) {
    PhysicsComp physics;
    physics.mass = 2.5f;
    physics.linearVelocity = Vector(3.0f, 0.0f, 4.0f);
    physics.angularVelocity = Vector(0.5f, 0.0f, -2.0f);
    physics.sleeping = true;
    obj.AttachComponent(physics);
  }
  return obj;
}

std::string Line(const std::string& name, uint32_t number, const std::string& position, const std::string& orientation,
                 const std::string& mass, const std::string& bottom, const std::string& speed, const std::string& dead) {
  return "{\"name\":\"" + name + "\",\"number\":" + std::to_string(number) + ",\"position\":" + position +
         ",\"orientation\":" + orientation + ",\"mass\":" + mass + ",\"triangles\":12,\"vertices\":8,\"openEdges\":0," +
         "\"bottom\":" + bottom + ",\"speed\":" + speed +
         (speed == "null" ? ",\"velocity\":null,\"angularVelocity\":null,\"sleeping\":null"
                          : ",\"velocity\":[3,0,4],\"angularVelocity\":[0.5,0,-2],\"sleeping\":true") +
         ",\"dead\":" + dead + "}\n";
}

TEST(SceneDump, OneLinePerObjectInNumberOrderThenThePage) {
  ObjectManager::ObjectTable table;
  table.emplace(7u, MakeObject("late", Vector(0.0f, 5.0f, 0.0f), true));
  table.emplace(2u, MakeObject("early", Vector(1.0f, 2.0f, 3.0f), true));
  table.emplace(4u, MakeObject("ghost", Vector(), false));
  table.at(4u).dead = true;
  std::ostringstream out;
  WriteSceneDump(out, table, 3);
  // Without a PhysicsComp there is no mass and no motion.
  EXPECT_EQ(out.str(), Line("early", 2, "[1,2,3]", "[1,0,0,0]", "2.5", "1", "5", "false") +
                           Line("ghost", 4, "[0,0,0]", "[1,0,0,0]", "null", "-1", "null", "true") +
                           Line("late", 7, "[0,5,0]", "[1,0,0,0]", "2.5", "4", "5", "false") + "{\"tutorialPage\":3}\n");
  GameObject odd = MakeObject("say \"hi\"\\\n", Vector(), true);
  odd.position.y = std::numeric_limits<float>::quiet_NaN();
  odd.orientation.s = std::numeric_limits<float>::infinity();
  EXPECT_EQ(SceneDumpLine(odd, 9u) + "\n",
            Line("say \\\"hi\\\"\\\\\\u000a", 9, "[0,null,0]", "[null,0,0,0]", "2.5", "null", "5", "false"));
}

TEST(SceneDump, FileHoldsTheRegistryAndAnUnwritablePathIsAnError) {
  support::ClearObjects();
  ObjectManager& manager = ObjectManager::Instance();
  const uint32_t a = manager.AddGameObject(MakeObject("dump_a", Vector(), true));
  manager.AddGameObject(MakeObject("dump_b", Vector(), false));
  support::ScratchDir dir;
  ASSERT_TRUE(WriteSceneDumpFile(dir.File("scene.jsonl"), 0));
  EXPECT_EQ(support::ReadFile(dir.File("scene.jsonl")),
            Line("dump_a", a, "[0,0,0]", "[1,0,0,0]", "2.5", "-1", "5", "false") +
                Line("dump_b", a + 1, "[0,0,0]", "[1,0,0,0]", "null", "-1", "null", "false") + "{\"tutorialPage\":0}\n");
  support::LogCapture log;
  EXPECT_FALSE(WriteSceneDumpFile(dir.File("no/such/dir/dump.jsonl"), 1));
  EXPECT_TRUE(log.ErrorLogged() && !System::Instance().running) << log.NewLog();
  // A path that is a folder: the rename fails, and nothing is left beside it.
  std::filesystem::create_directory(dir.File("taken"));
  EXPECT_FALSE(WriteSceneDumpFile(dir.File("taken"), 1));
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.Path()), {}), 2);
  support::ClearObjects();
}

}  // namespace
