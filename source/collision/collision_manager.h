#pragma once
// CollisionManager: broad and narrow phase on the collision worker (filled in by the collision work).

#include "module.h"

class CollisionManager : public virtual Module<CollisionManager> {
 public:
  CollisionManager() : Module<CollisionManager>("CollisionManager") {}
  void Init() override {}
  void Update() override {}
  void Kill() override {}
};
