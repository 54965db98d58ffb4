#pragma once
// LiveSettings: the sandbox settings a user changes while it runs (in the
// tweak bar) and keeps between runs. They live in a file of their own next
// to the user's settings.txt, which the program only ever reads.
//
// Main thread only: the game logic reads them every frame and hands what the
// worker threads need to them through events or at the frame barrier.

#include <cstdint>

struct LiveSettings {
  float gravity = 10.0f;         // downward acceleration, units/s^2
  int32_t solverIterations = 8;  // velocity sweeps per physics step
  bool sleeping = true;          // bodies at rest may fall asleep
  float timeScale = 1.0f;        // simulated seconds per real second, 0.1 .. 1
  float shotSpeed = 0.0f;        // units/s a shot leaves the camera with; 0 drops it
  bool culling = true;           // remove objects while frames are slow
  float cullFrameMs = 1000.0f / 30.0f;  // frame time above which culling starts, ms
};
