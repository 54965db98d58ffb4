#pragma once
// Physics: rigid bodies on the physics worker (filled in by the physics work).

#include "module.h"

class Physics : public virtual Module<Physics> {
 public:
  Physics() : Module<Physics>("Physics") {}
  void Init() override {}
  void Update() override {}
  void Kill() override {}
};
