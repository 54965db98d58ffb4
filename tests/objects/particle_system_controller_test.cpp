// The particle emitter registry the ObjectManager owns: adding, removing,
// and the report for an emitter it does not hold.

#include <gtest/gtest.h>

#include "support/log_capture.h"
#include "core/system.h"
#include "objects/object_manager.h"

TEST(ParticleSystemController, RemovesOnlyWhatItHoldsAndReportsTheRest) {
  support::LogCapture capture;
  ObjectManager manager;
  ParticleSystemController& particles = manager.particles;
  ParticleEmitter red, blue;
  blue.colour = Vector(0.0f, 0.0f, 1.0f, 1.0f);
  const uint32_t first = particles.AddEmitter(red);
  const uint32_t second = particles.AddEmitter(blue);

  EXPECT_TRUE(particles.RemoveEmitter(first));
  EXPECT_FALSE(capture.Logged("particle emitter does not exist"));
  EXPECT_FALSE(particles.RemoveEmitter(first));  // already gone
  EXPECT_TRUE(capture.Logged("WARNING: objects/particle_system_controller.cpp:"));
  EXPECT_TRUE(capture.Logged("particle emitter does not exist"));
  EXPECT_TRUE(System::Instance().running) << "a warning, not an error";
  ASSERT_EQ(1u, particles.Emitters().size());
  EXPECT_EQ(blue.colour, particles.Emitters().at(second).colour);

  // A number is never given out again, so a stale one cannot remove a newer emitter.
  particles.AddEmitter(red);
  EXPECT_FALSE(particles.RemoveEmitter(first));
  EXPECT_EQ(2u, particles.Emitters().size());
}
