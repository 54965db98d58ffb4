#pragma once
// StepClock: how far the physics step goes this frame. The main thread sets
// it (pause, single steps, slow motion) while the physics thread runs; the
// physics thread asks it once per frame, before it touches the bodies.
// Every field is atomic, so neither side waits for the other; a change made
// during a frame takes effect at that frame's step or the next one.

#include <algorithm>
#include <atomic>

class StepClock {
 public:
  static constexpr float kMinScale = 0.1f;  // slowest slow motion
  static constexpr float kMaxScale = 1.0f;  // real time

  void SetPaused(bool on) { paused.store(on); }
  bool Paused() const { return paused.load(); }
  // While paused, the next physics frame makes one step (requests add up).
  void RequestStep() { pendingSteps.fetch_add(1); }
  // Simulated seconds per real second, clamped to kMinScale .. kMaxScale.
  void SetScale(float value) { scale.store(std::clamp(value, kMinScale, kMaxScale)); }
  float Scale() const { return scale.load(); }

  // Physics thread: the length of this frame's step, fullStep scaled, or 0
  // when paused with no step requested (a request is used up here).
  float TakeStep(float fullStep) {
    if (paused.load()) {
      int steps = pendingSteps.load();
      do {
        if (steps <= 0) return 0.0f;
      } while (!pendingSteps.compare_exchange_weak(steps, steps - 1));
    } else {
      pendingSteps.store(0);
    }
    return fullStep * scale.load();
  }

 private:
  std::atomic<bool> paused{false};
  std::atomic<int> pendingSteps{0};
  std::atomic<float> scale{kMaxScale};
};
