#pragma once
// ParticleGraphics: the particle-drawing member of Graphics. Draws every
// emitter of the ObjectManager's ParticleSystemController as GL points in
// the emitter's colour, with the fixed pipeline and the depth test as
// Graphics leaves it for overlays. Nothing in the scene creates an emitter
// yet, so it normally draws nothing.

#include "core/module.h"

class Graphics;

class ParticleGraphics : public Extension<Graphics> {
 public:
  // Needs the GL context and the world modelview matrix.
  void Draw();
};
