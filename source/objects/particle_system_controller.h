#pragma once
// ParticleSystemController: the registry of particle emitters, a member of
// the ObjectManager (created and destroyed with it). An emitter is a
// position, a colour and its particles; Graphics' ParticleGraphics draws
// every emitter held here as points. Nothing in the scene creates an
// emitter yet, so the registry normally stays empty.
//
// Emitters are numbered from 1 as they are added; numbers are never reused,
// so a stale number can never remove a newer emitter. Removing a number the
// registry does not hold is reported as the warning "particle emitter does
// not exist" and changes nothing.
//
// Threads: main thread only (the scene adds and removes, the renderer
// draws), so no lock is taken.

#include <cstdint>
#include <map>
#include <vector>

#include "math/vector.h"

struct ParticleEmitter {
  Vector position;                // world position, w = 1
  Vector colour;                  // r, g, b, a in [0, 1]
  std::vector<Vector> particles;  // positions relative to the emitter
};

class ParticleSystemController {
 public:
  using EmitterTable = std::map<uint32_t, ParticleEmitter>;

  // Stores a copy of emitter; returns its number.
  uint32_t AddEmitter(const ParticleEmitter& emitter);
  // Removes the emitter with that number. Returns false, after reporting
  // "particle emitter does not exist", when there is none.
  bool RemoveEmitter(uint32_t number);

  // Every emitter held, by number.
  const EmitterTable& Emitters() const { return emitters; }

 private:
  EmitterTable emitters;
  uint32_t lastNumber = 0;
};
