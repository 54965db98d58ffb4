#include "scene/scene_snapshot.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <limits>

#include "collision/collision_comp.h"
#include "collision/collision_shapes.h"
#include "core/event_manager.h"
#include "core/system.h"
#include "core/settings.h"
#include "core/whole_file.h"
#include "objects/model_comp.h"
#include "physics/ground_plane.h"
#include "scene/glb_format.h"
#include "scene/scene_setup.h"
#include "scene/solid_factory.h"

namespace {

// 9 significant digits: strtof gives back the same float.
std::string Number(float value) {
  char buffer[32];
  std::snprintf(buffer, sizeof buffer, "%.9g", static_cast<double>(value));
  return buffer;
}

std::string List(std::initializer_list<float> values) {
  std::string out = "[";
  for (const float v : values) out += (out.size() > 1 ? "," : "") + Number(v);
  return out + "]";
}

std::string Quoted(const std::string& text) {
  std::string out = "\"";
  for (const char ch : text) {
    if (ch == '"' || ch == '\\') out += '\\';
    if (static_cast<unsigned char>(ch) < 0x20) continue;  // names carry no control characters
    out += ch;
  }
  return out + "\"";
}

void Append(std::string& bytes, const void* data, size_t size) {
  bytes.append(static_cast<const char*>(data), size);
}

void AppendWord(std::string& bytes, uint32_t word) { Append(bytes, &word, sizeof word); }

std::string NodeJson(const SnapshotObject& o, int mesh) {
  const Quaternion& q = o.orientation;
  std::string node = "{\"name\":" + Quoted(o.name);
  if (mesh >= 0) node += ",\"mesh\":" + std::to_string(mesh);
  node += ",\"translation\":" + List({o.position.x, o.position.y, o.position.z});
  node += ",\"rotation\":" + List({q.u.x, q.u.y, q.u.z, q.s});
  node += ",\"scale\":" + List({o.scale, o.scale, o.scale});
  node +=
      ",\"extras\":{\"number\":" + std::to_string(o.number) + ",\"age\":" + std::to_string(o.age);
  node += std::string(",\"ground\":") + (o.ground ? "true" : "false");
  node += std::string(",\"loadedModel\":") + (o.mesh.loadedModel ? "true" : "false");
  node += ",\"meshName\":" + Quoted(o.mesh.name);
  node += ",\"groupMask\":" + std::to_string(o.groupMask);
  node += ",\"collideMask\":" + std::to_string(o.collideMask);
  if (o.hasBody) {
    const PhysicsComp& b = o.body;
    const Matrix4& i = b.inertiaTensor;
    node += ",\"mass\":" + Number(b.mass);
    node += ",\"inertia\":" +
            List({i(0, 0), i(0, 1), i(0, 2), i(1, 0), i(1, 1), i(1, 2), i(2, 0), i(2, 1), i(2, 2)});
    node += ",\"velocity\":" + List({b.linearVelocity.x, b.linearVelocity.y, b.linearVelocity.z});
    node += ",\"angularVelocity\":" +
            List({b.angularVelocity.x, b.angularVelocity.y, b.angularVelocity.z});
    node += std::string(",\"sleeping\":") + (b.sleeping ? "true" : "false");
  }
  return node + "}}";
}

}  // namespace

std::vector<SnapshotObject> CaptureScene(const ObjectManager::ObjectTable& objects) {
  std::vector<uint32_t> numbers;
  for (const auto& entry : objects)
    if (!entry.second.dead) numbers.push_back(entry.first);
  std::sort(numbers.begin(), numbers.end());
  std::vector<SnapshotObject> out(numbers.size());
  for (size_t k = 0; k < numbers.size(); ++k) {
    const GameObject& obj = objects.at(numbers[k]);
    SnapshotObject& o = out[k];
    o.name = obj.name;
    o.number = numbers[k];
    o.age = obj.age;
    o.position = obj.position;
    o.orientation = obj.orientation;
    o.ground = obj.name == kGroundPlaneName;
    if (const ModelComp* model = obj.Find<ModelComp>()) {
      o.hasModel = true;
      o.scale = model->scale;
      o.mesh.vertices = model->mesh.vertices;
      o.mesh.triangles = model->mesh.triangles;
      o.mesh.loadedModel = model->mesh.loadedModel;
      o.mesh.name = model->mesh.name;
    }
    if (const PhysicsComp* body = obj.Find<PhysicsComp>()) {
      o.hasBody = true;
      o.body = *body;
    }
    if (const CollisionComp* collision = obj.Find<CollisionComp>()) {
      o.groupMask = collision->groupMask;
      o.collideMask = collision->collideMask;
    }
  }
  return out;
}

std::string EncodeSnapshot(const std::vector<SnapshotObject>& objects, uint32_t counter) {
  std::string bin, nodes, sceneNodes, meshes, accessors, views;
  int meshCount = 0;
  for (size_t n = 0; n < objects.size(); ++n) {
    const SnapshotObject& o = objects[n];
    const char* comma = n == 0 ? "" : ",";
    sceneNodes += comma + std::to_string(n);
    const bool hasMesh = o.hasModel && !o.mesh.vertices.empty() && !o.mesh.triangles.empty();
    nodes += comma + NodeJson(o, hasMesh ? meshCount : -1);
    if (!hasMesh) continue;
    float lo[3], hi[3];
    for (int a = 0; a < 3; ++a) {
      lo[a] = std::numeric_limits<float>::max();
      hi[a] = -lo[a];
    }
    const size_t positionsAt = bin.size();
    for (const Vertex& v : o.mesh.vertices) {
      const float p[3] = {v.x, v.y, v.z};
      Append(bin, p, sizeof p);
      for (int a = 0; a < 3; ++a) lo[a] = std::min(lo[a], p[a]), hi[a] = std::max(hi[a], p[a]);
    }
    const size_t indicesAt = bin.size();
    for (const Triangle& t : o.mesh.triangles) Append(bin, t.indices, sizeof t.indices);
    const std::string view = std::to_string(2 * meshCount);
    const std::string next = std::to_string(2 * meshCount + 1);
    const char* sep = meshCount == 0 ? "" : ",";
    views += sep + std::string("{\"buffer\":0,\"byteOffset\":") + std::to_string(positionsAt) +
             ",\"byteLength\":" + std::to_string(indicesAt - positionsAt) +
             ",\"target\":" + std::to_string(glb::kArrayBuffer) +
             "},{\"buffer\":0,\"byteOffset\":" + std::to_string(indicesAt) +
             ",\"byteLength\":" + std::to_string(bin.size() - indicesAt) +
             ",\"target\":" + std::to_string(glb::kElementArrayBuffer) + "}";
    accessors += sep + std::string("{\"bufferView\":") + view +
                 ",\"componentType\":" + std::to_string(glb::kFloatType) +
                 ",\"count\":" + std::to_string(o.mesh.vertices.size()) +
                 ",\"type\":\"VEC3\",\"min\":" + List({lo[0], lo[1], lo[2]}) +
                 ",\"max\":" + List({hi[0], hi[1], hi[2]}) + "},{\"bufferView\":" + next +
                 ",\"componentType\":" + std::to_string(glb::kUintType) +
                 ",\"count\":" + std::to_string(3 * o.mesh.triangles.size()) +
                 ",\"type\":\"SCALAR\"}";
    meshes += sep + std::string("{\"primitives\":[{\"attributes\":{\"POSITION\":") + view +
              "},\"indices\":" + next + ",\"mode\":4}]}";
    ++meshCount;
  }
  std::string json =
      "{\"asset\":{\"version\":\"2.0\",\"generator\":\"cleave\"},\"scene\":0,"
      "\"scenes\":[{\"nodes\":[" +
      sceneNodes + "],\"extras\":{\"objectCounter\":" + std::to_string(counter) +
      "}}],\"nodes\":[" + nodes + "]";
  if (meshCount > 0) {
    json += ",\"meshes\":[" + meshes + "],\"accessors\":[" + accessors + "],\"bufferViews\":[" +
            views + "],\"buffers\":[{\"byteLength\":" + std::to_string(bin.size()) + "}]";
  }
  json += "}";
  while (json.size() % 4 != 0) json += ' ';
  while (bin.size() % 4 != 0) bin += '\0';
  std::string out;
  const size_t total = 12 + 8 + json.size() + (bin.empty() ? 0 : 8 + bin.size());
  AppendWord(out, glb::kMagic);
  AppendWord(out, glb::kVersion);
  AppendWord(out, static_cast<uint32_t>(total));
  AppendWord(out, static_cast<uint32_t>(json.size()));
  AppendWord(out, glb::kJsonChunk);
  out += json;
  if (!bin.empty()) {
    AppendWord(out, static_cast<uint32_t>(bin.size()));
    AppendWord(out, glb::kBinChunk);
    out += bin;
  }
  return out;
}

std::vector<uint32_t> RestoreScene(const std::vector<SnapshotObject>& objects, uint32_t counter,
                                   const std::string& sender) {
  ObjectManager& manager = ObjectManager::Instance();
  {
    ObjectLock lock;
    for (auto& entry : manager.objects)
      if (entry.second.name != kGroundPlaneName) manager.KillGameObject(entry.second);
    manager.RemoveDeadObjects();
  }
  std::vector<uint32_t> numbers;
  for (const SnapshotObject& o : objects) {
    if (o.ground) continue;
    GameObject obj;
    obj.name = o.name;
    obj.position = o.position;
    obj.orientation = o.orientation;
    if (o.hasModel) {
      ModelComp model;
      model.scale = o.scale;
      model.mesh = o.mesh;
      GenerateNormals(model.mesh);
      GenerateColours(model.mesh);
      obj.AttachComponent(model);
    }
    if (o.hasBody) obj.AttachComponent(o.body);
    CollisionComp collision;
    collision.groupMask = o.groupMask;
    collision.collideMask = o.collideMask;
    obj.AttachComponent(collision);
    if (o.hasModel) {
      GenerateBoundingSphere(obj);
      GenerateCollisionHull(obj);
      CollisionComp& comp = *obj.Find<CollisionComp>();
      comp.localBox = ComputeBoundingBox(o.mesh, o.scale);
      comp.hasLocalBox = true;
    }
    {
      // The saved number when no number at or past it has been given out.
      ObjectLock lock;
      if (o.number > manager.objCounter) manager.objCounter = o.number - 1;
    }
    const uint32_t number = manager.AddGameObject(obj);
    if (number == 0) continue;
    {
      ObjectLock lock;
      manager.GetGameObject(number).age = o.age;  // a stored copy starts at age 0
    }
    numbers.push_back(number);
    if (o.hasBody) EventManager::Instance().PostEvent(GravityRequest(sender, number));
  }
  ObjectLock lock;
  manager.objCounter = std::max(manager.objCounter, counter);
  return numbers;
}

bool SaveSnapshotFile(const std::string& path, std::string& error) {
  std::string bytes;
  {
    ObjectLock lock;
    ObjectManager& manager = ObjectManager::Instance();
    bytes = EncodeSnapshot(CaptureScene(manager.objects), manager.objCounter);
  }
  if (WriteWholeFile(path, bytes, error)) return true;
  error = "cannot write the scene to " + path + ": " + error;
  return false;
}

bool LoadSnapshotFile(const std::string& path, const std::string& sender, std::string& error) {
  // A device such as /dev/zero would be read until memory runs out, a pipe
  // would block.
  std::error_code failed;
  if (std::filesystem::exists(path, failed) && !std::filesystem::is_regular_file(path, failed)) {
    error = "the scene file " + path + " is not a regular file";
    return false;
  }
  std::string bytes;
  if (!ReadTextFile(path, bytes)) {
    error = "cannot read the scene file " + path;
    return false;
  }
  std::vector<SnapshotObject> objects;
  uint32_t counter = 0;
  if (!DecodeSnapshot(bytes, objects, counter, error)) {
    error = "the scene file " + path + " cannot be loaded: " + error;
    return false;
  }
  RestoreScene(objects, counter, sender);
  return true;
}

void SnapshotButton(bool save, const std::string& sender) {
  std::error_code ignored;
  const std::string path = std::filesystem::absolute(kDefaultSnapshotFile, ignored).string();
  std::string error;
  const bool done = save ? SaveSnapshotFile(path, error) : LoadSnapshotFile(path, sender, error);
  if (done)
    System::Instance().Log(std::string(save ? "Saved the scene to " : "Loaded the scene from ") +
                           path);
  else
    CLEAVE_WARNING(error);
}
