#pragma once
// GameObject: a named thing in the scene with a position, an orientation and
// at most one component of each kind, keyed by the component's name. Code
// looks components up by type (Find<ModelComp>()); each component class
// names itself once, in its kName.
//
// Ownership: the object owns its components. Copying an object clones every
// component, so a copy (for example the one the ObjectManager stores) never
// shares a component with its source; the copy starts young (age 0) and
// alive (dead false) whatever the source was.

#include <cstdint>
#include <string>
#include <typeinfo>

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

  // The component of type T, found under T's name (T::kName), or null when
  // there is none or the entry under that name holds another type.
  template <class T>
  T* Find() {
    return Cast<T>(Lookup(KindOf<T>(), T::kName));
  }
  template <class T>
  const T* Find() const {
    return Cast<const T>(Lookup(KindOf<T>(), T::kName));
  }
  // Whether Find<T>() finds a component.
  template <class T>
  bool Has() const {
    return Find<T>() != nullptr;
  }

  std::string name;
  uint32_t objNum = 0;  // given by the ObjectManager when the object is added
  int32_t age = 0;      // frames since the object was made or last cut
  Vector position;
  Quaternion orientation;  // identity
  bool dead = false;       // killed; removed at the next sweep

 private:
  // Components of the first kKindSlots kinds (see ComponentKindOf) are also
  // held here, by kind: the collision thread looks up a component per
  // candidate pair, and an index into the object itself costs far less than
  // a search of the name table (whose nodes are scattered over the heap).
  // Later kinds are found through the table. Placed beside the position,
  // which the same lookups read, so both usually share a cache line.
  static constexpr uint32_t kKindSlots = 4;
  Component* kindSlots[kKindSlots] = {};

 public:
  // name -> component. Change it only through AttachComponent, which keeps
  // kindSlots in step.
  ComponentList componentList;

 private:
  template <class T>
  static uint32_t KindOf() {
    static const uint32_t kind = ComponentKindOf(T::kName);
    return kind;
  }
  // The component of that kind (named componentName), or null. Never
  // inserts.
  Component* Lookup(uint32_t kind, const char* componentName) const {
    return kind < kKindSlots ? kindSlots[kind] : LookupByName(componentName);
  }
  Component* LookupByName(const char* componentName) const;
  // comp as a T, or null. The exact class is checked first: a typeid compare
  // is much cheaper than the cast through the hierarchy.
  template <class T>
  static T* Cast(Component* comp) {
    if (comp == nullptr) return nullptr;
    if (typeid(*comp) == typeid(T)) return static_cast<T*>(comp);
    return dynamic_cast<T*>(comp);
  }

  void DeleteComponents();
};
