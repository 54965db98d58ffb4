#include "scene/scene_snapshot.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <limits>
#include <set>
#include <sstream>

#include <boost/property_tree/json_parser.hpp>
#include <boost/property_tree/ptree.hpp>

#include "collision/collision_comp.h"
#include "collision/collision_shapes.h"
#include "core/event_manager.h"
#include "core/system.h"
#include "core/whole_file.h"
#include "objects/model_comp.h"
#include "physics/ground_plane.h"
#include "scene/scene_setup.h"
#include "scene/solid_factory.h"

namespace {

using boost::property_tree::ptree;

// The binary glTF container: "glTF", version 2, then chunks of (length,
// type, data) with lengths a multiple of 4.
constexpr uint32_t kGlbMagic = 0x46546C67;
constexpr uint32_t kGlbVersion = 2;
constexpr uint32_t kJsonChunk = 0x4E4F534A;
constexpr uint32_t kBinChunk = 0x004E4942;
// glTF codes: component types, buffer view targets, triangle mode.
constexpr int kFloatType = 5126, kUintType = 5125;
constexpr int kArrayBuffer = 34962, kElementArrayBuffer = 34963;

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
  node += ",\"extras\":{\"number\":" + std::to_string(o.number) + ",\"age\":" + std::to_string(o.age);
  node += std::string(",\"ground\":") + (o.ground ? "true" : "false");
  node += std::string(",\"loadedModel\":") + (o.mesh.loadedModel ? "true" : "false");
  node += ",\"meshName\":" + Quoted(o.mesh.name);
  node += ",\"groupMask\":" + std::to_string(o.groupMask);
  node += ",\"collideMask\":" + std::to_string(o.collideMask);
  if (o.hasBody) {
    const PhysicsComp& b = o.body;
    const Matrix4& i = b.inertiaTensor;
    node += ",\"mass\":" + Number(b.mass);
    node += ",\"inertia\":" + List({i(0, 0), i(0, 1), i(0, 2), i(1, 0), i(1, 1), i(1, 2), i(2, 0),
                                    i(2, 1), i(2, 2)});
    node += ",\"velocity\":" + List({b.linearVelocity.x, b.linearVelocity.y, b.linearVelocity.z});
    node += ",\"angularVelocity\":" +
            List({b.angularVelocity.x, b.angularVelocity.y, b.angularVelocity.z});
    node += std::string(",\"sleeping\":") + (b.sleeping ? "true" : "false");
  }
  return node + "}}";
}

// Reads "count" numbers of an array member into out; false when the member
// is missing, has another length or holds something that is not a number.
bool ReadFloats(const ptree& parent, const char* key, float* out, size_t count) {
  const auto child = parent.get_child_optional(key);
  if (!child || child->size() != count) return false;
  size_t k = 0;
  for (const auto& entry : *child) {
    const std::string& text = entry.second.data();
    char* end = nullptr;
    out[k++] = std::strtof(text.c_str(), &end);
    if (text.empty() || *end != '\0') return false;
  }
  return true;
}

// The bytes of accessor `index` when it has the expected type and lies
// within the binary chunk; null otherwise.
const char* AccessorData(const ptree& root, const std::string& bin, int index, int componentType,
                         const std::string& type, size_t elementSize, size_t& count) {
  const ptree& accessors = root.get_child("accessors");
  if (index < 0 || static_cast<size_t>(index) >= accessors.size()) return nullptr;
  const ptree& a = std::next(accessors.begin(), index)->second;
  if (a.get<int>("componentType") != componentType || a.get<std::string>("type") != type)
    return nullptr;
  count = a.get<size_t>("count");
  const ptree& views = root.get_child("bufferViews");
  const size_t view = a.get<size_t>("bufferView");
  if (view >= views.size()) return nullptr;
  const ptree& v = std::next(views.begin(), static_cast<long>(view))->second;
  const size_t offset = v.get<size_t>("byteOffset", 0) + a.get<size_t>("byteOffset", 0);
  if (count > bin.size() / elementSize || offset > bin.size() - count * elementSize ||
      count * elementSize > v.get<size_t>("byteLength"))
    return nullptr;
  return bin.data() + offset;
}

// One node into o; false with error set when something is missing or wrong.
bool DecodeNode(const ptree& root, const ptree& node, const std::string& bin, SnapshotObject& o,
                std::string& error) {
  o.name = node.get<std::string>("name", "");
  const ptree* extras = node.get_child_optional("extras").get_ptr();
  float t[3], r[4], s[3];
  if (extras == nullptr || !ReadFloats(node, "translation", t, 3) ||
      !ReadFloats(node, "rotation", r, 4) || !ReadFloats(node, "scale", s, 3)) {
    error = "node '" + o.name + "' lacks its place or its extras";
    return false;
  }
  o.position = Vector(t[0], t[1], t[2], 0.0f);
  o.orientation.u = Vector(r[0], r[1], r[2], 0.0f);
  o.orientation.s = r[3];
  o.scale = s[0];
  o.number = extras->get<uint32_t>("number");
  o.age = extras->get<int32_t>("age");
  o.ground = extras->get<bool>("ground");
  o.groupMask = extras->get<uint32_t>("groupMask");
  o.collideMask = extras->get<uint32_t>("collideMask");
  o.hasBody = extras->get_child_optional("mass").has_value();
  if (o.hasBody) {
    float inertia[9], v[3], w[3];
    if (!ReadFloats(*extras, "inertia", inertia, 9) || !ReadFloats(*extras, "velocity", v, 3) ||
        !ReadFloats(*extras, "angularVelocity", w, 3)) {
      error = "node '" + o.name + "' has a body without inertia or velocities";
      return false;
    }
    o.body.mass = extras->get<float>("mass");
    for (int k = 0; k < 9; ++k) o.body.inertiaTensor(k / 3, k % 3) = inertia[k];
    o.body.linearVelocity = Vector(v[0], v[1], v[2], 0.0f);
    o.body.angularVelocity = Vector(w[0], w[1], w[2], 0.0f);
    o.body.sleeping = extras->get<bool>("sleeping");
  }
  const int mesh = node.get<int>("mesh", -1);
  o.hasModel = mesh >= 0;
  if (!o.hasModel) return true;
  o.mesh.loadedModel = extras->get<bool>("loadedModel");
  o.mesh.name = extras->get<std::string>("meshName");
  const ptree& meshes = root.get_child("meshes");
  if (static_cast<size_t>(mesh) >= meshes.size()) {
    error = "node '" + o.name + "' names a mesh that does not exist";
    return false;
  }
  const ptree& primitives = std::next(meshes.begin(), mesh)->second.get_child("primitives");
  if (primitives.empty()) {
    error = "the mesh of node '" + o.name + "' has no primitive";
    return false;
  }
  const ptree& primitive = primitives.front().second;
  size_t vertexCount = 0, indexCount = 0;
  const char* positions = AccessorData(root, bin, primitive.get<int>("attributes.POSITION"),
                                       kFloatType, "VEC3", 12, vertexCount);
  const char* indices = AccessorData(root, bin, primitive.get<int>("indices"), kUintType, "SCALAR",
                                     4, indexCount);
  if (positions == nullptr || indices == nullptr || indexCount % 3 != 0) {
    error = "the mesh of node '" + o.name + "' lies outside the file or has the wrong types";
    return false;
  }
  o.mesh.vertices.resize(vertexCount);
  for (size_t k = 0; k < vertexCount; ++k) std::memcpy(&o.mesh.vertices[k].x, positions + 12 * k, 12);
  for (size_t k = 0; k < indexCount; k += 3) {
    uint32_t i[3];
    std::memcpy(i, indices + 4 * k, 12);
    if (std::max({i[0], i[1], i[2]}) >= vertexCount) {
      error = "the mesh of node '" + o.name + "' has an index past its vertices";
      return false;
    }
    Triangle triangle;
    std::memcpy(triangle.indices, i, sizeof i);
    o.mesh.triangles.push_back(triangle);
  }
  return true;
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
             ",\"target\":" + std::to_string(kArrayBuffer) + "},{\"buffer\":0,\"byteOffset\":" +
             std::to_string(indicesAt) + ",\"byteLength\":" + std::to_string(bin.size() - indicesAt) +
             ",\"target\":" + std::to_string(kElementArrayBuffer) + "}";
    accessors += sep + std::string("{\"bufferView\":") + view + ",\"componentType\":" +
                 std::to_string(kFloatType) + ",\"count\":" + std::to_string(o.mesh.vertices.size()) +
                 ",\"type\":\"VEC3\",\"min\":" + List({lo[0], lo[1], lo[2]}) +
                 ",\"max\":" + List({hi[0], hi[1], hi[2]}) + "},{\"bufferView\":" + next +
                 ",\"componentType\":" + std::to_string(kUintType) +
                 ",\"count\":" + std::to_string(3 * o.mesh.triangles.size()) + ",\"type\":\"SCALAR\"}";
    meshes += sep + std::string("{\"primitives\":[{\"attributes\":{\"POSITION\":") + view +
              "},\"indices\":" + next + ",\"mode\":4}]}";
    ++meshCount;
  }
  std::string json = "{\"asset\":{\"version\":\"2.0\",\"generator\":\"cleave\"},\"scene\":0,"
                     "\"scenes\":[{\"nodes\":[" + sceneNodes + "],\"extras\":{\"objectCounter\":" +
                     std::to_string(counter) + "}}],\"nodes\":[" + nodes + "]";
  if (meshCount > 0) {
    json += ",\"meshes\":[" + meshes + "],\"accessors\":[" + accessors + "],\"bufferViews\":[" +
            views + "],\"buffers\":[{\"byteLength\":" + std::to_string(bin.size()) + "}]";
  }
  json += "}";
  while (json.size() % 4 != 0) json += ' ';
  while (bin.size() % 4 != 0) bin += '\0';
  std::string out;
  const size_t total = 12 + 8 + json.size() + (bin.empty() ? 0 : 8 + bin.size());
  AppendWord(out, kGlbMagic);
  AppendWord(out, kGlbVersion);
  AppendWord(out, static_cast<uint32_t>(total));
  AppendWord(out, static_cast<uint32_t>(json.size()));
  AppendWord(out, kJsonChunk);
  out += json;
  if (!bin.empty()) {
    AppendWord(out, static_cast<uint32_t>(bin.size()));
    AppendWord(out, kBinChunk);
    out += bin;
  }
  return out;
}

bool DecodeSnapshot(const std::string& bytes, std::vector<SnapshotObject>& objects,
                    uint32_t& counter, std::string& error) {
  uint32_t header[5] = {};
  if (bytes.size() >= sizeof header) std::memcpy(header, bytes.data(), sizeof header);
  if (header[0] != kGlbMagic || header[1] != kGlbVersion || header[2] != bytes.size() ||
      header[4] != kJsonChunk || header[3] > bytes.size() - sizeof header) {
    error = "not a binary glTF 2.0 file, or cut short";
    return false;
  }
  const size_t binAt = sizeof header + header[3];
  std::string bin;
  if (binAt + 8 <= bytes.size()) {
    uint32_t chunk[2];
    std::memcpy(chunk, bytes.data() + binAt, sizeof chunk);
    if (chunk[1] != kBinChunk || chunk[0] > bytes.size() - binAt - 8) {
      error = "the binary chunk is damaged";
      return false;
    }
    bin = bytes.substr(binAt + 8, chunk[0]);
  }
  ptree root;
  try {
    std::istringstream json(bytes.substr(sizeof header, header[3]));
    boost::property_tree::read_json(json, root);
    counter = root.get<uint32_t>("scenes..extras.objectCounter");
    objects.clear();
    std::set<std::string> names;
    for (const auto& node : root.get_child("nodes")) {
      objects.emplace_back();
      if (!DecodeNode(root, node.second, bin, objects.back(), error)) return false;
      if (objects.back().name.empty() || !names.insert(objects.back().name).second) {
        error = "node names must be present and distinct ('" + objects.back().name + "')";
        return false;
      }
    }
  } catch (const boost::property_tree::ptree_error& e) {
    // The reader reports malformed text and missing or mistyped members by
    // throwing; here they become the one-line error the caller reports.
    error = std::string("the scene description is malformed: ") + e.what();
    return false;
  }
  return true;
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
  if (WriteWholeFile(path, bytes)) return true;
  error = "cannot write the scene to " + path;
  return false;
}

bool LoadSnapshotFile(const std::string& path, const std::string& sender, std::string& error) {
  std::string bytes;
  if (!ReadWholeFile(path, bytes)) {
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
    System::Instance().Log(std::string(save ? "Saved the scene to " : "Loaded the scene from ") + path);
  else
    CLEAVE_WARNING(error);
}
