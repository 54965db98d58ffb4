#pragma once
// ObjectManager: the registry of game objects (filled in by the objects work).

#include "module.h"

class ObjectManager : public virtual Module<ObjectManager> {
 public:
  ObjectManager() : Module<ObjectManager>("ObjectManager") {}
  void Init() override {}
  void Update() override {}
  void Kill() override {}
};
