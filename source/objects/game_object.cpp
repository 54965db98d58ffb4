#include "objects/game_object.h"

#include <algorithm>
#include <iterator>
#include <sstream>
#include <utility>

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
  std::swap(kindSlots, copy.kindSlots);
  return *this;
}

GameObject::~GameObject() { DeleteComponents(); }

void GameObject::DeleteComponents() {
  for (auto& entry : componentList) delete entry.second;
  componentList.clear();
  std::fill(std::begin(kindSlots), std::end(kindSlots), nullptr);
}

void GameObject::AttachComponent(const Component& comp) {
  const ComponentList::iterator found = componentList.find(comp.componentName);
  if (found == componentList.end()) {
    Component* clone = comp.Clone();
    componentList.emplace(comp.componentName, clone);
    if (comp.kind < kKindSlots) kindSlots[comp.kind] = clone;
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

Component* GameObject::LookupByName(const char* componentName) const {
  const ComponentList::const_iterator it = componentList.find(componentName);
  return it == componentList.end() ? nullptr : it->second;
}
