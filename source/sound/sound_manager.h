#pragma once
// SoundManager: positional one-shot sounds. It sets the audio layer up with a fixed sequence that
// adapts to the sound driver, keeps the listener on the scene camera every frame, loads sounds for
// the gameplay module and plays them at world positions. It also takes a "Sound Volume" event.
//
// Without a sound driver (no sound card) the layer runs with "no sound" output: everything still
// works, nothing is heard.
//
// Threads: main thread only (Init, Update, Kill from the entry point; LoadSound and PlaySound from
// the gameplay module).

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "core/module.h"
#include "math/vector.h"
#include "sound/audio_system.h"
#include "sound/sound.h"

class SoundManager : public Module<SoundManager> {
 public:
  // The first layer version with every call made here.
  static constexpr uint32_t kRequiredVersion = 0x00043004;

  SoundManager();

  // Registers with the event manager, sets volume to 255 and sets the audio layer up.
  void Init() override;
  // Puts the listener on the camera, then handles this module's events.
  void Update() override;
  // Unregisters, then closes and releases the audio layer.
  void Kill() override;
  // "Sound Volume": volume := the float parameter "volume" times 255, truncated.
  void HandleEvent(Event& event) override;

  // Loads a sound file for 3D playback (full volume within 1 unit, no further fall-off beyond
  // 10000, no loop). A missing or unreadable file gives a Sound that plays nothing, with a
  // warning naming the file.
  Sound LoadSound(const std::string& fileName);
  // Starts sound at a world position with volume in [0, 1] and logs the channel diagnostics.
  void PlaySound(const Sound& sound, const Vector& position, float volume);

  // The text reported when the layer's version is older than required.
  static std::string OldVersionMessage(uint32_t found, uint32_t required);

  std::unique_ptr<AudioSystem> system;  // null before Init and after Kill
  int32_t volume = 255;                 // 0-255; stored, not applied to playback

  // Makes the audio system that Init sets up. Tests put in a recording one.
  std::function<AudioResult(std::unique_ptr<AudioSystem>&)> createSystem = AudioSystem::Create;
};
