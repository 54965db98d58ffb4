#pragma once
// InputManager: polled keyboard and mouse state (filled in by the window side).

#include "module.h"

class InputManager : public virtual Module<InputManager> {
 public:
  InputManager() : Module<InputManager>("InputManager") {}
  void Init() override {}
  void Update() override {}
  void Kill() override {}
};
