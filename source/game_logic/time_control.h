#pragma once
// Time control: the user's hold on simulated time. P pauses and resumes the
// physics (the bodies freeze where they are; the camera, cuts, picks and
// shots go on, and cuts are made at once on the frozen pieces); O makes one
// physics step while paused; the time scale (slow motion) applies to every
// step. The physics thread reads all of it from its StepClock.

class InputManager;
class StepClock;

// One frame of the P and O keys, then the time scale (clamped by the clock).
// "Paused" and "Resumed" are milestones of the log.
void UpdateTimeControl(InputManager& input, StepClock& clock, float timeScale);
