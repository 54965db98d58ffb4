#include "scene/scene_dump.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>
#include <ostream>
#include <sstream>
#include <unordered_set>
#include <vector>

#include "core/system.h"
#include "core/whole_file.h"
#include "geom/mesh.h"
#include "objects/game_object.h"
#include "objects/model_comp.h"
#include "physics/physics_comp.h"

namespace {

// Numbers keep 9 significant digits: enough to round-trip a float.
std::string Number(double value) {
  if (!std::isfinite(value)) return "null";
  char buffer[32];
  std::snprintf(buffer, sizeof buffer, "%.9g", value);
  return buffer;
}

std::string Quoted(const std::string& text) {
  std::string out = "\"";
  for (const char ch : text) {
    const unsigned char c = static_cast<unsigned char>(ch);
    if (c == '"' || c == '\\') {
      out += '\\';
      out += ch;
    } else if (c < 0x20) {
      char buffer[8];
      std::snprintf(buffer, sizeof buffer, "\\u%04x", c);
      out += buffer;
    } else {
      out += ch;
    }
  }
  return out + "\"";
}

std::string Array(std::initializer_list<double> values) {
  std::string out = "[";
  bool first = true;
  for (const double v : values) {
    if (!first) out += ',';
    out += Number(v);
    first = false;
  }
  return out + "]";
}

}  // namespace

std::string SceneDumpLine(const GameObject& obj, uint32_t number) {
  std::string line = "{\"name\":" + Quoted(obj.name);
  line += ",\"number\":" + std::to_string(number);
  line += ",\"position\":" + Array({obj.position.x, obj.position.y, obj.position.z});
  line += ",\"orientation\":" +
          Array({obj.orientation.s, obj.orientation.u.x, obj.orientation.u.y, obj.orientation.u.z});

  const PhysicsComp* physics = obj.Find<PhysicsComp>();
  line += ",\"mass\":" + (physics ? Number(physics->mass) : std::string("null"));

  const ModelComp* model = obj.Find<ModelComp>();
  const Mesh* mesh = model ? &model->mesh : nullptr;
  line += ",\"triangles\":" + std::to_string(mesh ? mesh->TriangleCount() : 0u);
  line += ",\"vertices\":" + std::to_string(mesh ? mesh->VertexCount() : 0u);
  line += ",\"openEdges\":" + std::to_string(mesh ? CountOpenEdges(*mesh) : size_t{0});

  // Lowest world height of the mesh: position + orientation (scale * p).
  double bottom = std::numeric_limits<double>::quiet_NaN();
  if (mesh != nullptr && !mesh->vertices.empty()) {
    bottom = std::numeric_limits<double>::infinity();
    for (const Vertex& v : mesh->vertices) {
      const Vector world = obj.orientation.Rotate(v.Position() * model->scale) + obj.position;
      bottom = std::min(bottom, static_cast<double>(world.y));
    }
  }
  line += ",\"bottom\":" + Number(bottom);
  line += ",\"speed\":" + (physics ? Number(Length(WithW(physics->linearVelocity, 0.0f)))
                                   : std::string("null"));
  if (physics != nullptr) {
    const Vector& v = physics->linearVelocity;
    const Vector& w = physics->angularVelocity;
    line += ",\"velocity\":" + Array({v.x, v.y, v.z});
    line += ",\"angularVelocity\":" + Array({w.x, w.y, w.z});
    line += std::string(",\"sleeping\":") + (physics->sleeping ? "true" : "false");
  } else {
    line += ",\"velocity\":null,\"angularVelocity\":null,\"sleeping\":null";
  }
  line += std::string(",\"dead\":") + (obj.dead ? "true" : "false");
  return line + "}";
}

void WriteSceneDump(std::ostream& out, const ObjectManager::ObjectTable& objects,
                    int tutorialPage) {
  std::vector<uint32_t> numbers;
  numbers.reserve(objects.size());
  for (const auto& entry : objects) numbers.push_back(entry.first);
  std::sort(numbers.begin(), numbers.end());
  for (const uint32_t number : numbers) {
    // The table key is the number the object was registered under.
    out << SceneDumpLine(objects.at(number), number) << '\n';
  }
  out << "{\"tutorialPage\":" << tutorialPage << "}\n";
}

bool WriteSceneDumpFile(const std::string& path, int tutorialPage) {
  std::ostringstream text;
  {
    ObjectLock lock;
    WriteSceneDump(text, ObjectManager::Instance().objects, tutorialPage);
  }
  std::string error;
  if (!WriteWholeFile(path, text.str(), error)) {
    CLEAVE_ERROR("cannot write the scene dump: " + error);
    return false;
  }
  return true;
}
