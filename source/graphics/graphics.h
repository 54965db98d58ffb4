#pragma once
// Graphics: draws each frame (filled in by the renderer).

#include "module.h"

class Graphics : public virtual Module<Graphics> {
 public:
  Graphics() : Module<Graphics>("Graphics") {}
  void Init() override {}
  void Update() override {}
  void Kill() override {}
};
