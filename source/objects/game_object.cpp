#include "objects/game_object.h"

#include <sstream>

#include "core/diagnostics.h"

namespace {
// Initial bucket request and load limit of the component table, the engine's
// usual hash map settings.
constexpr std::size_t kComponentBuckets = 50;
constexpr float kMaxLoadFactor = 1.0f;
}  // namespace

GameObject::GameObject() : componentList(kComponentBuckets) {
  componentList.max_load_factor(kMaxLoadFactor);
}

GameObject::GameObject(const GameObject& other)
    : name(other.name),
      objNum(other.objNum),
      age(0),
      position(other.position),
      orientation(other.orientation),
      dead(false),
      componentList(kComponentBuckets) {
  componentList.max_load_factor(kMaxLoadFactor);
  for (const auto& entry : other.componentList)
    if (entry.second != nullptr) AttachComponent(*entry.second);
}

GameObject& GameObject::operator=(const GameObject& other) {
  if (this == &other) return *this;
  // Clone first into a temporary, so the source may even be owned by one of
  // our own components without being destroyed before it is copied.
  GameObject copy(other);
  DeleteComponents();
  name = copy.name;
  objNum = copy.objNum;
  age = 0;
  position = copy.position;
  orientation = copy.orientation;
  dead = false;
  componentList.swap(copy.componentList);  // copy now holds the emptied table
  return *this;
}

GameObject::~GameObject() { DeleteComponents(); }

void GameObject::DeleteComponents() {
  for (auto& entry : componentList) delete entry.second;
  componentList.clear();
}

void GameObject::AttachComponent(const Component& comp) {
  const ComponentList::iterator found = componentList.find(comp.componentName);
  if (found == componentList.end()) {
    componentList.emplace(comp.componentName, comp.Clone());
    return;
  }
  // The component stays with the caller; the stored one is kept.
  diagnostics::Log("this->name = " + name);
  diagnostics::Log("comp.componentName = " + comp.componentName);
  diagnostics::Log("componentList.find(comp.componentName)->first = " + found->first);
  std::ostringstream stored;
  stored << static_cast<const void*>(found->second);
  diagnostics::Log("componentList.find(comp.componentName)->second = " + stored.str());
  CLEAVE_ERROR("tried to attach a duplicate component");
}

bool GameObject::HasComponent(const std::string& name_) const {
  return componentList.find(name_) != componentList.end();
}

Component* GameObject::GetComponent(const std::string& name_) {
  // operator[] inserts a null entry for an absent name, as callers expect.
  return componentList[name_];
}
