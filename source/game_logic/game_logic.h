#pragma once
// GameLogic: the module that runs the game rules. Its one extension,
// ObjectBreakLogic (object_break_logic.h), is the slicing sandbox and
// carries out Init, Update and Kill. GameLogic acts on no event sent to it.

#include <memory>

#include "core/module.h"

class ObjectBreakLogic;

class GameLogic : public Module<GameLogic> {
 public:
  GameLogic();
  ~GameLogic() override;

  void Init() override;    // scene set-up
  void Update() override;  // one frame of interaction and splitting
  void Kill() override;    // writes the scene dump when asked, unregisters

  // The slicing scene itself (created with the module).
  ObjectBreakLogic& Logic() { return *logic; }

 private:
  std::unique_ptr<ObjectBreakLogic> logic;
};
