// DecodeSnapshot: reading a snapshot file back (see scene_snapshot.h).

#include <algorithm>
#include <boost/property_tree/json_parser.hpp>
#include <boost/property_tree/ptree.hpp>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <set>
#include <sstream>

#include "scene/glb_format.h"
#include "scene/model_prescan.h"
#include "scene/scene_snapshot.h"

namespace {

using boost::property_tree::ptree;

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
                                       glb::kFloatType, "VEC3", 12, vertexCount);
  const char* indices = AccessorData(root, bin, primitive.get<int>("indices"), glb::kUintType,
                                     "SCALAR", 4, indexCount);
  if (positions == nullptr || indices == nullptr || indexCount % 3 != 0) {
    error = "the mesh of node '" + o.name + "' lies outside the file or has the wrong types";
    return false;
  }
  o.mesh.vertices.resize(vertexCount);
  for (size_t k = 0; k < vertexCount; ++k)
    std::memcpy(&o.mesh.vertices[k].x, positions + 12 * k, 12);
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

bool DecodeSnapshot(const std::string& bytes, std::vector<SnapshotObject>& objects,
                    uint32_t& counter, std::string& error) {
  uint32_t header[5] = {};
  if (bytes.size() >= sizeof header) std::memcpy(header, bytes.data(), sizeof header);
  if (header[0] != glb::kMagic || header[1] != glb::kVersion || header[2] != bytes.size() ||
      header[4] != glb::kJsonChunk || header[3] > bytes.size() - sizeof header) {
    error = "not a binary glTF 2.0 file, or cut short";
    return false;
  }
  const size_t binAt = sizeof header + header[3];
  std::string bin;
  if (binAt + 8 <= bytes.size()) {
    uint32_t chunk[2];
    std::memcpy(chunk, bytes.data() + binAt, sizeof chunk);
    if (chunk[1] != glb::kBinChunk || chunk[0] > bytes.size() - binAt - 8) {
      error = "the binary chunk is damaged";
      return false;
    }
    bin = bytes.substr(binAt + 8, chunk[0]);
  }
  const std::string text = bytes.substr(sizeof header, header[3]);
  // Boost's reader recurses once per level: a file that opens a million
  // brackets would overflow the stack. A scene needs six.
  if (JsonNestingDepth(text) > 64) {
    error = "the scene description is nested more than 64 levels deep";
    return false;
  }
  ptree root;
  try {
    std::istringstream json(text);
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
