#pragma once
// Sound: a loaded sound file as the rest of the program holds it.
//
// The decoded samples live in the audio layer (AudioSystem); a Sound only carries the name it was
// loaded from and a handle into that layer. A default Sound (or one whose file failed to load) has
// a null handle and plays nothing.

#include <memory>
#include <string>

class AudioSound;  // decoded mono samples (and their OpenAL buffer), see sound/audio_system.h

struct Sound {
  std::string fileName;
  // Shared so that copies of a Sound (ResourceManager keeps its own) refer to one decoded buffer;
  // the buffer is released when the last copy goes away.
  std::shared_ptr<AudioSound> sound;

  bool IsLoaded() const { return sound != nullptr; }
};
