#include "game_logic/game_logic.h"

#include "game_logic/object_break_logic.h"

GameLogic::GameLogic() : Module<GameLogic>("GameLogic"), logic(new ObjectBreakLogic) {}

GameLogic::~GameLogic() = default;

void GameLogic::Init() { logic->Init(); }

void GameLogic::Update() {
  // Nothing is addressed to the scene; fetching keeps its queue empty.
  ProcessEvents();
  logic->Update();
}

void GameLogic::Kill() { logic->Kill(); }
