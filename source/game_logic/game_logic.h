#pragma once
// GameLogic: the slicing scene (filled in by the scene work).

#include "module.h"

class GameLogic : public virtual Module<GameLogic> {
 public:
  GameLogic() : Module<GameLogic>("GameLogic") {}
  void Init() override {}
  void Update() override {}
  void Kill() override {}
};
