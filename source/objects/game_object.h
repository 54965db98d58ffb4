#pragma once
// GameObject: a named thing in the scene with a position, an orientation and
// at most one component of each kind, keyed by the component's name.
//
// Ownership: the object owns its components. Copying an object clones every
// component, so a copy (for example the one the ObjectManager stores) never
// shares a component with its source; the copy starts young (age 0) and
// alive (dead false) whatever the source was.

#include <cstdint>
#include <string>

#include <boost/unordered_map.hpp>

#include "math/quaternion.h"
#include "math/vector.h"
#include "objects/component.h"

class GameObject {
 public:
  using ComponentList = boost::unordered_map<std::string, Component*>;

  GameObject();
  GameObject(const GameObject& other);
  GameObject& operator=(const GameObject& other);
  ~GameObject();

  // Stores a clone of comp under comp.componentName; the caller keeps comp.
  // A name already present is reported as an error and nothing changes.
  void AttachComponent(const Component& comp);

  // Whether componentList has an entry under name (a null entry counts).
  bool HasComponent(const std::string& name) const;

  // The entry under name. An absent name is inserted with a null pointer and
  // null is returned, so callers test HasComponent first (or use
  // FindComponent, which never inserts).
  Component* GetComponent(const std::string& name);

  // The component under name cast to T, or null when it is absent or of
  // another type. Never inserts.
  template <class T>
  T* FindComponent(const std::string& name) {
    const ComponentList::iterator it = componentList.find(name);
    return it == componentList.end() ? nullptr : dynamic_cast<T*>(it->second);
  }
  template <class T>
  const T* FindComponent(const std::string& name) const {
    const ComponentList::const_iterator it = componentList.find(name);
    return it == componentList.end() ? nullptr : dynamic_cast<const T*>(it->second);
  }

  std::string name;
  uint32_t objNum = 0;  // given by the ObjectManager when the object is added
  int32_t age = 0;      // frames since the object was made or last cut
  Vector position;
  Quaternion orientation;  // identity
  bool dead = false;       // killed; removed at the next sweep
  ComponentList componentList;

 private:
  void DeleteComponents();
};
