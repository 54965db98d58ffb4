#pragma once
// The sound tests' environment: OpenAL Soft kept away from any real sound
// card, unless a parent process (support::RunSelf) chose the drivers.

#include <cstdlib>

namespace sound_test {

// Set in a child that captures sound into a WAV file: names the directory to work in.
constexpr const char* kChildDirVariable = "CLEAVE_SOUND_CHILD_DIR";
// Set in a child that must keep the OpenAL driver list it was given.
constexpr const char* kKeepDriversVariable = "CLEAVE_SOUND_KEEP_DRIVERS";

// Before any OpenAL call: only OpenAL Soft's null backend, so the tests
// behave the same with or without a sound card (the layer counts no driver).
inline bool PrepareEnvironment() {
  if (std::getenv(kChildDirVariable) == nullptr && std::getenv(kKeepDriversVariable) == nullptr) {
    setenv("ALSOFT_DRIVERS", "null", 1);
    unsetenv("ALSOFT_CONF");
  }
  return true;
}
inline const bool environmentPrepared = PrepareEnvironment();

}  // namespace sound_test
