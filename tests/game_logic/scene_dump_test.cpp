// The --dump-scene format: one JSON object per game object, then the page.

#include <gtest/gtest.h>

#include <cmath>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <limits>
#include <sstream>
#include <string>
#include <vector>

#include "game_logic/scene_dump.h"
#include "geom/mesh_builders.h"
#include "object_manager.h"
#include "objects/model_comp.h"
#include "physics/physics_comp.h"
#include "system.h"

namespace {

GameObject MakeObject(const std::string& name, const Vector& position, bool withPhysics,
                      float mass = 2.5f) {
  GameObject obj;
  obj.name = name;
  obj.position = position;
  ModelComp model;
  model.mesh = BuildBox(1, 1, 1, 2.0f, 2.0f, 2.0f);  // 12 triangles, 8 vertices
  obj.AttachComponent(model);
  if (withPhysics) {
    PhysicsComp physics;
    physics.mass = mass;
    physics.linearVelocity = Vector(3.0f, 0.0f, 4.0f);
    obj.AttachComponent(physics);
  }
  return obj;
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

// The raw text after "key": up to the next ',' or '}' at the same level.
std::string Field(const std::string& line, const std::string& key) {
  const std::string tag = "\"" + key + "\":";
  const size_t at = line.find(tag);
  if (at == std::string::npos) return "<missing>";
  size_t begin = at + tag.size(), end = begin;
  int depth = 0;
  bool quoted = false;
  for (; end < line.size(); ++end) {
    const char c = line[end];
    if (quoted) {
      if (c == '\\') ++end;
      else if (c == '"') quoted = false;
      continue;
    }
    if (c == '"') quoted = true;
    else if (c == '[') ++depth;
    else if (c == ']') --depth;
    else if ((c == ',' || c == '}') && depth == 0) break;
  }
  return line.substr(begin, end - begin);
}

}  // namespace

TEST(SceneDumpTest, OneLinePerObjectInNumberOrderThenThePage) {
  ObjectManager::ObjectTable table;
  table.emplace(7u, MakeObject("late", Vector(0.0f, 5.0f, 0.0f), true));
  table.emplace(2u, MakeObject("early", Vector(1.0f, 2.0f, 3.0f), true, 335.103f));
  table.emplace(4u, MakeObject("ghost", Vector(), false));
  table.at(4u).dead = true;

  std::ostringstream out;
  WriteSceneDump(out, table, 3);
  const std::vector<std::string> lines = Lines(out.str());
  ASSERT_EQ(lines.size(), 4u);
  EXPECT_EQ(Field(lines[0], "number"), "2");
  EXPECT_EQ(Field(lines[1], "number"), "4");
  EXPECT_EQ(Field(lines[2], "number"), "7");
  EXPECT_EQ(lines[3], "{\"tutorialPage\":3}");
  for (size_t i = 0; i < 3; ++i) {
    EXPECT_EQ(lines[i].front(), '{');
    EXPECT_EQ(lines[i].back(), '}');
  }

  const std::string& early = lines[0];
  EXPECT_EQ(Field(early, "name"), "\"early\"");
  EXPECT_EQ(Field(early, "position"), "[1,2,3]");
  EXPECT_EQ(Field(early, "orientation"), "[1,0,0,0]");
  EXPECT_NEAR(std::stod(Field(early, "mass")), 335.103, 1e-3);
  EXPECT_EQ(Field(early, "triangles"), "12");
  EXPECT_EQ(Field(early, "vertices"), "8");
  EXPECT_EQ(Field(early, "openEdges"), "0");
  EXPECT_NEAR(std::stod(Field(early, "bottom")), 1.0, 1e-6);  // box of height 2 at y = 2
  EXPECT_NEAR(std::stod(Field(early, "speed")), 5.0, 1e-6);
  EXPECT_EQ(Field(early, "dead"), "false");

  // Without a PhysicsComp there is no mass and no speed.
  EXPECT_EQ(Field(lines[1], "mass"), "null");
  EXPECT_EQ(Field(lines[1], "speed"), "null");
  EXPECT_EQ(Field(lines[1], "dead"), "true");
}

TEST(SceneDumpTest, BrokenValuesAndAwkwardNamesStayValidJson) {
  GameObject odd = MakeObject("say \"hi\"\\\n", Vector(), true);
  odd.position.y = std::numeric_limits<float>::quiet_NaN();
  odd.orientation.s = std::numeric_limits<float>::infinity();
  const std::string line = SceneDumpLine(odd, 9u);
  EXPECT_EQ(Field(line, "name"), "\"say \\\"hi\\\"\\\\\\u000a\"");
  EXPECT_EQ(Field(line, "position"), "[0,null,0]");
  EXPECT_EQ(Field(line, "orientation").substr(0, 6), "[null,");
  EXPECT_EQ(Field(line, "bottom"), "null");  // every vertex is at a NaN height
  EXPECT_EQ(line.find("nan"), std::string::npos);
  EXPECT_EQ(line.find("inf"), std::string::npos);
}

TEST(SceneDumpTest, OpenEdgesCountsTheHolesOfASurface) {
  Mesh box = BuildBox(2, 2, 2, 1.0f, 1.0f, 1.0f);
  EXPECT_EQ(CountOpenEdges(box), 0u);
  box.triangles.pop_back();  // one missing triangle leaves a hole of three edges
  EXPECT_EQ(CountOpenEdges(box), 3u);
  EXPECT_EQ(CountOpenEdges(Mesh()), 0u);
}

TEST(SceneDumpTest, FileHoldsTheRegistryAndAnUnwritablePathIsReported) {
  ObjectManager& manager = ObjectManager::Instance();
  manager.Lock();
  for (auto& entry : manager.objects) manager.KillGameObject(entry.second);
  manager.RemoveDeadObjects();
  manager.Unlock();
  const uint32_t a = manager.AddGameObject(MakeObject("dump_a", Vector(), true));
  const uint32_t b = manager.AddGameObject(MakeObject("dump_b", Vector(), false));
  ASSERT_NE(a, 0u);
  ASSERT_NE(b, 0u);

  const std::filesystem::path path =
      std::filesystem::temp_directory_path() / ("cleave_dump_" + std::to_string(::getpid()));
  ASSERT_TRUE(WriteSceneDumpFile(path.string(), 0));
  std::ifstream in(path);
  std::stringstream text;
  text << in.rdbuf();
  const std::vector<std::string> lines = Lines(text.str());
  ASSERT_EQ(lines.size(), 3u);
  EXPECT_EQ(Field(lines[0], "name"), "\"dump_a\"");
  EXPECT_EQ(Field(lines[0], "number"), std::to_string(a));
  EXPECT_EQ(Field(lines[1], "name"), "\"dump_b\"");
  EXPECT_EQ(lines[2], "{\"tutorialPage\":0}");
  std::filesystem::remove(path);

  const size_t logStart = System::Instance().GetLogText().size();
  EXPECT_FALSE(WriteSceneDumpFile("/nonexistent-dir/cleave/dump.jsonl", 1));
  const std::string log = System::Instance().GetLogText().substr(logStart);
  EXPECT_NE(log.find("WARNING: "), std::string::npos);
  EXPECT_NE(log.find("cannot write the scene dump"), std::string::npos);
  EXPECT_TRUE(System::Instance().running);

  manager.Lock();
  for (auto& entry : manager.objects) manager.KillGameObject(entry.second);
  manager.RemoveDeadObjects();
  manager.Unlock();
}
