#include "scene/state_hash.h"

#include <map>
#include <string>

#include "objects/model_comp.h"
#include "physics/physics_comp.h"

namespace {

constexpr uint64_t kFnvOffset = 14695981039346656037ull;
constexpr uint64_t kFnvPrime = 1099511628211ull;
constexpr const char* kPiecePrefix = "split_obj_";

struct Fnv {
  uint64_t hash = kFnvOffset;
  void Bytes(const void* data, size_t size) {
    for (size_t i = 0; i < size; ++i)
      hash = (hash ^ static_cast<const unsigned char*>(data)[i]) * kFnvPrime;
  }
  void Float(float f) { Bytes(&f, sizeof f); }
  void Xyz(const Vector& v) { Float(v.x), Float(v.y), Float(v.z); }
};

}  // namespace

uint64_t StateHash(const ObjectManager::ObjectTable& objects) {
  std::map<uint32_t, const GameObject*> ordered;
  for (const auto& entry : objects) ordered[entry.first] = &entry.second;
  Fnv fnv;
  if (ordered.empty()) return fnv.hash;
  const uint32_t first = ordered.begin()->first;
  const size_t prefix = std::string(kPiecePrefix).size();
  for (const auto& [id, object] : ordered) {
    const uint32_t number = id - first;
    std::string name = object->name;
    if (name.rfind(kPiecePrefix, 0) == 0 && name.size() > prefix &&
        name.find_first_not_of("0123456789", prefix) == std::string::npos)
      name = kPiecePrefix + std::to_string(std::stoul(name.substr(prefix)) - first);
    fnv.Bytes(&number, sizeof number);
    fnv.Bytes(name.data(), name.size());
    fnv.Xyz(object->position), fnv.Float(object->orientation.s), fnv.Xyz(object->orientation.u);
    if (const PhysicsComp* body = object->Find<PhysicsComp>()) {
      fnv.Xyz(body->linearVelocity), fnv.Xyz(body->angularVelocity), fnv.Float(body->mass);
      fnv.Bytes(&body->sleeping, sizeof body->sleeping);
    }
    if (const ModelComp* model = object->Find<ModelComp>())
      for (const Vertex& v : model->mesh.vertices) fnv.Float(v.x), fnv.Float(v.y), fnv.Float(v.z);
  }
  return fnv.hash;
}
