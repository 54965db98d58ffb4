#pragma once
// InterfaceManager: owns the tweak bar (filled in by the window side).

#include "module.h"

class InterfaceManager : public virtual Module<InterfaceManager> {
 public:
  InterfaceManager() : Module<InterfaceManager>("InterfaceManager") {}
  void Init() override {}
  void Update() override {}
  void Kill() override {}
};
