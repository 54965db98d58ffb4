#include "objects/particle_system_controller.h"

#include <string>

#include "core/diagnostics.h"

uint32_t ParticleSystemController::AddEmitter(const ParticleEmitter& emitter) {
  const uint32_t number = ++lastNumber;
  emitters.emplace(number, emitter);
  return number;
}

bool ParticleSystemController::RemoveEmitter(uint32_t number) {
  if (emitters.erase(number) == 0) {
    CLEAVE_WARNING("particle emitter does not exist (number " + std::to_string(number) + ")");
    return false;
  }
  return true;
}
