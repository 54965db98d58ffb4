#pragma once
// Component: the base of the data records attached to a GameObject. Each
// concrete class (ModelComp, PhysicsComp, CollisionComp) passes its own class
// name to the base; that name is the key it is attached under, so an object
// holds at most one component of each kind.
//
// Objects are stored by value and copy their components, so every concrete
// class implements Clone() as a heap copy of itself.

#include <string>

class Component {
 public:
  explicit Component(const std::string& componentName_) : componentName(componentName_) {}
  virtual ~Component();

  // A new heap copy of the concrete component; the caller owns it.
  virtual Component* Clone() const = 0;

  std::string componentName;

 protected:
  Component(const Component&) = default;
  Component& operator=(const Component&) = default;
};
