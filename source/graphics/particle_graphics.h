#pragma once
// ParticleGraphics: the particle-drawing member of Graphics. No particle
// emitter exists in this program, so it draws nothing; it is constructed and
// destroyed with the other members.

#include "core/module.h"

class Graphics;

class ParticleGraphics : public Extension<Graphics> {
 public:
  void Draw() {}
};
