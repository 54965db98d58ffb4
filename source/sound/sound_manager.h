#pragma once
// SoundManager: positional one-shot sounds (filled in by the sound work).

#include "module.h"

class SoundManager : public virtual Module<SoundManager> {
 public:
  SoundManager() : Module<SoundManager>("SoundManager") {}
  void Init() override {}
  void Update() override {}
  void Kill() override {}
};
