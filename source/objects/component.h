#pragma once
// Component: the base of the data records attached to a GameObject. Each
// concrete class (ModelComp, PhysicsComp, CollisionComp) names itself once,
// in a `static constexpr const char* kName` holding its class name, and
// passes that to the base; the name is the key it is attached under, so an
// object holds at most one component of each kind, and GameObject::Find<T>
// looks a component up by T::kName.
//
// Objects are stored by value and copy their components, so every concrete
// class implements Clone() as a heap copy of itself.

#include <cstdint>
#include <string>

// The small number standing for a component name in this process: names get
// 0, 1, 2, ... in the order they are first asked for. Any thread.
uint32_t ComponentKindOf(const std::string& componentName);

class Component {
 public:
  explicit Component(const std::string& componentName_)
      : componentName(componentName_), kind(ComponentKindOf(componentName_)) {}
  virtual ~Component();

  // A new heap copy of the concrete component; the caller owns it.
  virtual Component* Clone() const = 0;

  std::string componentName;
  uint32_t kind;  // ComponentKindOf(componentName), kept with every copy

 protected:
  Component(const Component&) = default;
  Component& operator=(const Component&) = default;
};
