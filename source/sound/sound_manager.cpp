#include "sound/sound_manager.h"

#include <cmath>
#include <cstdio>
#include <sstream>

#include <boost/any.hpp>

#include "core/event_manager.h"
#include "core/system.h"
#include "objects/object_manager.h"

namespace {

// Channels the layer mixes at once.
constexpr int kNumChannels = 32;
// Mixing period and count asked for on drivers that mix in software: 1024 samples (about 23 ms
// at 44.1 kHz) in 10 buffers, long enough not to stutter under load.
constexpr uint32_t kSoftwareBufferLength = 1024;  // samples
constexpr int kSoftwareNumBuffers = 10;
// Drivers whose name contains this get a fixed software format (48 kHz float, linear resampler).
constexpr const char* kSigmaTelName = "SigmaTel";
constexpr int kSigmaTelRate = 48000;  // frames per second
// Longest driver name read.
constexpr size_t kMaxDriverName = 256;  // characters
// 3D settings: Doppler scale, world units per metre, roll-off scale of the distance model.
constexpr float kDopplerScale = 1.0f;
constexpr float kDistanceFactor = 1.0f;
constexpr float kRollOffScale = 0.6f;
// Distances of every loaded sound: full volume within kMinDistance, no further fall-off beyond
// kMaxDistance, in world units.
constexpr float kMinDistance = 1.0f;
constexpr float kMaxDistance = 10000.0f;
// Volume scale of the "Sound Volume" event.
constexpr float kVolumeScale = 255.0f;

AudioVector ToAudio(const Vector& v) { return AudioVector{v.x, v.y, v.z}; }

}  // namespace

SoundManager::SoundManager() : Module<SoundManager>("SoundManager") {}

std::string SoundManager::OldVersionMessage(uint32_t found, uint32_t required) {
  char text[160];
  std::snprintf(text, sizeof(text),
                "Error!  You are using an old version of the audio layer %08x.  This program "
                "requires %08x\n",
                unsigned(found), unsigned(required));
  return text;
}

void SoundManager::Init() {
  EventManager::Instance().RegisterClient(name);
  volume = 255;
  if (system) AudioSystem::Release(system);  // a second Init starts afresh

  createSystem(system);
  if (!system) {
    CLEAVE_ERROR("the audio system could not be created");
    return;
  }

  uint32_t version = 0;
  system->GetVersion(version);
  if (version < kRequiredVersion) CLEAVE_ERROR(OldVersionMessage(version, kRequiredVersion));

  int numDrivers = 0;
  system->GetNumDrivers(numDrivers);
  if (numDrivers == 0) {
    System::Instance().Log("No sound device: running without sound");
    system->SetOutput(OutputType::NoSound);
  } else {
    uint32_t caps = 0;
    SpeakerMode speakerMode = SpeakerMode::Stereo;
    system->GetDriverCaps(0, caps, speakerMode);
    system->SetSpeakerMode(speakerMode);
    if (caps & kAudioCapsHardwareEmulated)
      system->SetDSPBufferSize(kSoftwareBufferLength, kSoftwareNumBuffers);
    std::string driverName;
    system->GetDriverInfo(0, driverName);
    driverName = driverName.substr(0, kMaxDriverName);
    if (driverName.find(kSigmaTelName) != std::string::npos)
      system->SetSoftwareFormat(kSigmaTelRate, SampleFormat::PcmFloat, 0, 0, Resampler::Linear);
  }

  AudioResult result = system->Init(kNumChannels, kAudioInitNormal);
  if (result == AudioResult::OutputCreateBuffer) {
    // The driver's speaker mode could not be used: stereo always can.
    system->SetSpeakerMode(SpeakerMode::Stereo);
    system->Init(kNumChannels, kAudioInitNormal);
  }
  system->Set3DSettings(kDopplerScale, kDistanceFactor, kRollOffScale);
}

void SoundManager::Update() {
  if (system) {
    const Camera& camera = ObjectManager::Instance().camera;
    const Vector back = camera.GetBack();
    // The listener's frame is left-handed (z forward); the camera's back vector with y negated
    // puts the camera's right on the listener's right.
    const AudioVector forward{back.x, -back.y, back.z};
    const AudioVector up{0.0f, 1.0f, 0.0f};
    system->Set3DListenerAttributes(0, ToAudio(camera.position), AudioVector(), forward, up);
  }
  ProcessEvents();
}

void SoundManager::Kill() {
  EventManager::Instance().UnregisterClient(name);
  if (system) {
    system->Close();
    AudioSystem::Release(system);
  }
}

void SoundManager::HandleEvent(Event& event) {
  if (event.type != "Sound Volume") return;
  // A missing or mistyped parameter is reported instead of thrown.
  auto found = event.params.find("volume");
  const float* value =
      found == event.params.end() ? nullptr : boost::any_cast<float>(&found->second);
  if (value == nullptr) {
    CLEAVE_WARNING("\"Sound Volume\" event without a float \"volume\"");
    return;
  }
  // Out-of-range requests are held to 0-255.
  const float scaled = std::isfinite(*value) ? *value * kVolumeScale : 0.0f;
  volume = int32_t(std::fmin(kVolumeScale, std::fmax(0.0f, scaled)));
}

Sound SoundManager::LoadSound(const std::string& fileName) {
  Sound sound;
  sound.fileName = fileName;
  if (!system) {
    CLEAVE_WARNING("sound \"" + fileName + "\" not loaded: the sound system is not running");
    return sound;
  }
  AudioResult result =
      system->CreateSound(fileName, kAudioMode3D | kAudioModeSoftware, sound.sound);
  if (!sound.sound) {
    CLEAVE_WARNING("could not load sound \"" + fileName + "\": " + AudioResultText(result));
    return sound;
  }
  sound.sound->Set3DMinMaxDistance(kMinDistance, kMaxDistance);
  sound.sound->SetMode(kAudioModeLoopOff);
  return sound;
}

void SoundManager::PlaySound(const Sound& sound, const Vector& position, float playVolume) {
  if (!system) return;
  AudioChannel channel;
  system->PlaySound(sound.sound, true, channel);
  system->SetChannel3DAttributes(channel, ToAudio(position), AudioVector());
  system->SetChannelVolume(channel, playVolume);
  system->SetChannelPaused(channel, false);

  int num2d = 0, num3d = 0, total = 0;
  system->GetHardwareChannels(num2d, num3d, total);
  bool isPlaying = false;
  system->IsChannelPlaying(channel, isPlaying);
  float audibility = 0.0f;
  system->GetChannelAudibility(channel, audibility);
  System& log = System::Instance();
  log.Log("num2d = " + std::to_string(num2d));
  log.Log("num3d = " + std::to_string(num3d));
  log.Log("isPlaying = " + std::to_string(isPlaying ? 1 : 0));
  std::ostringstream text;
  text << "audibility = " << audibility;
  log.Log(text.str());
}
