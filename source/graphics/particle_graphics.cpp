#include "graphics/particle_graphics.h"

#include <GL/glew.h>

#include "graphics/debug_graphics.h"
#include "objects/object_manager.h"

namespace {
const float kPointSize = 3.0f;  // pixels
}  // namespace

void ParticleGraphics::Draw() {
  const ParticleSystemController::EmitterTable& emitters =
      ObjectManager::Instance().particles.Emitters();
  if (emitters.empty()) return;
  const uint32_t program = DebugGraphics::SuspendProgram();
  glDisable(GL_TEXTURE_2D);
  glPointSize(kPointSize);
  glBegin(GL_POINTS);
  for (const auto& entry : emitters) {
    const ParticleEmitter& emitter = entry.second;
    glColor4f(emitter.colour.x, emitter.colour.y, emitter.colour.z, emitter.colour.w);
    for (const Vector& p : emitter.particles) {
      const Vector at = emitter.position + p;
      glVertex3f(at.x, at.y, at.z);
    }
  }
  glEnd();
  glEnable(GL_TEXTURE_2D);
  DebugGraphics::ResumeProgram(program);
}
