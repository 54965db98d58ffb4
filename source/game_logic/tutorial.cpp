#include "game_logic/tutorial.h"

#include "objects/object_manager.h"

void Tutorial::Show(int shown) {
  page = shown;
  ObjectManager& manager = ObjectManager::Instance();
  manager.currentInstructionTex =
      (page >= 1 && page <= kPages) ? manager.instructionTex[page - 1] : nullptr;
}

void Tutorial::Advance(int from, int to) {
  if (page == from) Show(to);
}
