// The --dump-scene format: one JSON object per game object, then the page.

#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <limits>
#include <sstream>
#include <string>
#include <vector>

#include "core/system.h"
#include "geom/mesh_builders.h"
#include "physics/physics_comp.h"
#include "scene/scene_dump.h"
#include "scene_test_util.h"

namespace {

using scene_test::Lines;

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

std::string Line(const std::string& name, uint32_t number, const std::string& position,
                 const std::string& orientation, const std::string& mass, const std::string& bottom,
                 const std::string& speed, const std::string& dead) {
  return "{\"name\":\"" + name + "\",\"number\":" + std::to_string(number) + ",\"position\":" +
         position + ",\"orientation\":" + orientation + ",\"mass\":" + mass +
         ",\"triangles\":12,\"vertices\":8,\"openEdges\":0,\"bottom\":" + bottom +
         ",\"speed\":" + speed +
         (speed == "null" ? ",\"velocity\":null,\"angularVelocity\":null,\"sleeping\":null"
                          : ",\"velocity\":[3,0,4],\"angularVelocity\":[0.5,0,-2],\"sleeping\":true") +
         ",\"dead\":" + dead + "}";
}

}  // namespace

TEST(SceneDumpTest, OneLinePerObjectInNumberOrderThenThePage) {
  ObjectManager::ObjectTable table;
  table.emplace(7u, MakeObject("late", Vector(0.0f, 5.0f, 0.0f), true));
  table.emplace(2u, MakeObject("early", Vector(1.0f, 2.0f, 3.0f), true));
  table.emplace(4u, MakeObject("ghost", Vector(), false));
  table.at(4u).dead = true;
  std::ostringstream out;
  WriteSceneDump(out, table, 3);
  // Boxes of height 2 (12 triangles, 8 vertices); without a PhysicsComp
  // there is no mass and no motion.
  EXPECT_EQ(Lines(out.str()),
            (std::vector<std::string>{
                Line("early", 2, "[1,2,3]", "[1,0,0,0]", "2.5", "1", "5", "false"),
                Line("ghost", 4, "[0,0,0]", "[1,0,0,0]", "null", "-1", "null", "true"),
                Line("late", 7, "[0,5,0]", "[1,0,0,0]", "2.5", "4", "5", "false"),
                "{\"tutorialPage\":3}"}));

  // Broken values and awkward names stay valid JSON: no nan, no inf.
  GameObject odd = MakeObject("say \"hi\"\\\n", Vector(), true);
  odd.position.y = std::numeric_limits<float>::quiet_NaN();
  odd.orientation.s = std::numeric_limits<float>::infinity();
  EXPECT_EQ(SceneDumpLine(odd, 9u), Line("say \\\"hi\\\"\\\\\\u000a", 9, "[0,null,0]",
                                         "[null,0,0,0]", "2.5", "null", "5", "false"));
}

TEST(SceneDumpTest, OpenEdgesCountsTheHolesOfASurface) {
  Mesh box = BuildBox(2, 2, 2, 1.0f, 1.0f, 1.0f);
  EXPECT_EQ(CountOpenEdges(box), 0u);
  box.triangles.pop_back();  // one missing triangle leaves a hole of three edges
  EXPECT_EQ(CountOpenEdges(box), 3u);
  EXPECT_EQ(CountOpenEdges(Mesh()), 0u);
}

TEST(SceneDumpTest, FileHoldsTheRegistryAndAnUnwritablePathIsReported) {
  scene_test::ClearObjects();
  ObjectManager& manager = ObjectManager::Instance();
  const uint32_t a = manager.AddGameObject(MakeObject("dump_a", Vector(), true));
  ASSERT_NE(manager.AddGameObject(MakeObject("dump_b", Vector(), false)), 0u);

  const std::filesystem::path path =
      std::filesystem::temp_directory_path() / ("cleave_dump_" + std::to_string(::getpid()));
  ASSERT_TRUE(WriteSceneDumpFile(path.string(), 0));
  std::stringstream text;
  text << std::ifstream(path).rdbuf();
  std::filesystem::remove(path);
  EXPECT_EQ(Lines(text.str()),
            (std::vector<std::string>{
                Line("dump_a", a, "[0,0,0]", "[1,0,0,0]", "2.5", "-1", "5", "false"),
                Line("dump_b", a + 1, "[0,0,0]", "[1,0,0,0]", "null", "-1", "null", "false"),
                "{\"tutorialPage\":0}"}));

  const size_t logStart = System::Instance().GetLogText().size();
  EXPECT_FALSE(WriteSceneDumpFile("/nonexistent-dir/cleave/dump.jsonl", 1));
  const std::string log = System::Instance().GetLogText().substr(logStart);
  EXPECT_NE(log.find("WARNING: "), std::string::npos);
  EXPECT_NE(log.find("cannot write the scene dump"), std::string::npos);
  EXPECT_TRUE(System::Instance().running);
  scene_test::ClearObjects();
}
