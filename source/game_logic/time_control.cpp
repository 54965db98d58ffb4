#include "game_logic/time_control.h"

#include "core/system.h"
#include "physics/step_clock.h"
#include "window/input_manager.h"

void UpdateTimeControl(InputManager& input, StepClock& clock, float timeScale) {
  if (input.WasKeyPressed('P')) {
    clock.SetPaused(!clock.Paused());
    System::Instance().Milestone(clock.Paused() ? "Paused" : "Resumed");
  }
  if (input.WasKeyPressed('O') && clock.Paused()) clock.RequestStep();
  clock.SetScale(timeScale);
}
