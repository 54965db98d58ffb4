#pragma once
// AudioSystem: the engine's small sound layer over OpenAL Soft, with sound files decoded by
// libsndfile. It offers exactly the operations the sound module needs: set-up that adapts to the
// sound driver, 3D one-shot sounds on a pool of channels, one listener, and a few diagnostics.
//
// Drivers. A driver is an OpenAL playback device that opens. OpenAL Soft's "No Output" device
// (its null backend) mixes into nothing and is not counted. With no driver, or with the output
// type set to NoSound, no device is opened: every call still succeeds, a channel "plays" silently
// for its sound's duration on the steady clock, and nothing is audible.
//
// Coordinates. Positions and directions are taken left-handed (x right, y up, z forward), the
// convention the sound module's listener vectors are written for. OpenAL is right-handed, so z is
// negated on the way in; mirroring every vector keeps "right = up x forward" pointing the same way.
//
// Distance. A 3D channel's gain falls off as OpenAL's AL_INVERSE_DISTANCE_CLAMPED model:
//   d' = clamp(d, minDistance, maxDistance)
//   gain = minDistance / (minDistance + rollOff * (d' - minDistance))
// with the sound's min/max distance per source and the system's roll-off scale.
//
// Threads: one thread only (the main thread). Nothing here locks.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "sound/sound.h"

// OpenAL's device and context types (AL/alc.h), declared here so that only the layer's source
// includes the OpenAL headers.
struct ALCdevice_struct;
struct ALCcontext_struct;

// Results of the layer's calls. Only OutputCreateBuffer carries meaning for the caller beyond
// success: the output could not be set up in the selected speaker mode, so a retry in stereo
// may succeed.
enum class AudioResult {
  Ok = 0,
  InvalidParam,        // an argument out of range, or a call in the wrong state
  InvalidHandle,       // a channel that was never handed out, or was reused since
  FileBad,             // a sound file that is missing, unreadable or not audio
  OutputInit,          // the driver's device or context could not be created
  OutputCreateBuffer,  // the output cannot be created in the selected speaker mode
};

const char* AudioResultText(AudioResult result);

enum class OutputType {
  AutoDetect = 0,  // driver 0 when there is one, otherwise no sound
  NoSound = 2,     // no device: channels play silently
};

enum class SpeakerMode {
  Raw = 0,
  Mono = 1,
  Stereo = 2,
  Quad = 3,
  Surround = 4,
  FivePointOne = 5,
  SevenPointOne = 6,
};

enum class SampleFormat { Pcm16 = 2, PcmFloat = 5 };
enum class Resampler { NoInterpolation = 0, Linear = 1 };

// Driver capability bits.
constexpr uint32_t kAudioCapsHardwareEmulated = 0x2;  // mixing is done in software

// Sound mode bits.
constexpr uint32_t kAudioModeLoopOff = 0x1;
constexpr uint32_t kAudioMode3D = 0x10;
constexpr uint32_t kAudioModeSoftware = 0x40;

// Init flags.
constexpr uint32_t kAudioInitNormal = 0x0;

// The layer's version as GetVersion reports it, 0xMMMMmmpp. Callers check it against the first
// version with every call they make.
constexpr uint32_t kAudioLayerVersion = 0x00043004;

struct AudioVector {
  float x = 0.0f, y = 0.0f, z = 0.0f;
};

// A channel handed out by PlaySound. A default Channel (or one whose slot has been reused by a
// later PlaySound) is invalid: calls on it return InvalidHandle and change nothing.
struct AudioChannel {
  int32_t index = -1;
  uint32_t generation = 0;
};

// Decoded, downmixed-to-mono samples of one sound file and, while a device is open, their
// OpenAL buffer. Created by AudioSystem::CreateSound; shared by every Sound copy and by the
// channels playing it, so the buffer outlives every source that uses it.
class AudioSound {
 public:
  ~AudioSound();

  AudioResult Set3DMinMaxDistance(float minDistance, float maxDistance);
  AudioResult SetMode(uint32_t mode);

  double Duration() const;  // seconds
  int SampleRate() const { return sampleRate; }
  const std::vector<int16_t>& Samples() const { return samples; }
  bool Is3D() const { return (mode & kAudioMode3D) != 0; }

 private:
  friend class AudioSystem;
  AudioSound() = default;

  std::string fileName;
  std::vector<int16_t> samples;  // mono, 16-bit
  int sampleRate = 0;            // frames per second
  uint32_t mode = 0;
  float minDistance = 1.0f;      // world units: full volume inside
  float maxDistance = 10000.0f;  // world units: no further attenuation beyond
  uint32_t buffer = 0;           // the OpenAL buffer, 0 without a device
  // Cleared when the device closes: the buffer name is then no longer valid.
  std::shared_ptr<bool> deviceAlive;
};

class AudioSystem {
 public:
  // Creates a system with no output yet; it opens its device in Init.
  static AudioResult Create(std::unique_ptr<AudioSystem>& system);
  // Closes the output if it is still open, stops every channel, frees every sound's buffer and
  // destroys the system (the pointer becomes null). Sound records still held elsewhere stay safe
  // to copy, release and pass to PlaySound (which then refuses them).
  static AudioResult Release(std::unique_ptr<AudioSystem>& system);

  AudioSystem();
  virtual ~AudioSystem();
  AudioSystem(const AudioSystem&) = delete;
  AudioSystem& operator=(const AudioSystem&) = delete;

  // Set-up, before Init.
  virtual AudioResult GetVersion(uint32_t& version);
  virtual AudioResult GetNumDrivers(int& numDrivers);
  virtual AudioResult GetDriverCaps(int driver, uint32_t& caps, SpeakerMode& controlPanelMode);
  virtual AudioResult GetDriverInfo(int driver, std::string& name);
  virtual AudioResult SetOutput(OutputType type);
  virtual AudioResult SetSpeakerMode(SpeakerMode mode);
  virtual AudioResult SetDSPBufferSize(uint32_t bufferLength, int numBuffers);
  virtual AudioResult SetSoftwareFormat(int sampleRate, SampleFormat format, int numOutputChannels,
                                        int maxInputChannels, Resampler resampler);
  // Opens the output: driver 0 (or none for NoSound) with maxChannels channels.
  virtual AudioResult Init(int maxChannels, uint32_t flags);
  virtual AudioResult Close();

  virtual AudioResult Set3DSettings(float dopplerScale, float distanceFactor, float rollOffScale);
  virtual AudioResult Set3DListenerAttributes(int listener, const AudioVector& position,
                                              const AudioVector& velocity,
                                              const AudioVector& forward, const AudioVector& up);
  virtual AudioResult Get3DListenerAttributes(int listener, AudioVector& position,
                                              AudioVector& velocity, AudioVector& forward,
                                              AudioVector& up);

  // Decodes fileName (any format libsndfile reads), downmixes it to mono and, with a device,
  // uploads it. On failure `sound` is null and the result says why.
  virtual AudioResult CreateSound(const std::string& fileName, uint32_t mode,
                                  std::shared_ptr<AudioSound>& sound);

  // Takes a free channel (or steals the one started longest ago) and sets it up to play sound.
  virtual AudioResult PlaySound(const std::shared_ptr<AudioSound>& sound, bool paused,
                                AudioChannel& channel);
  virtual AudioResult SetChannel3DAttributes(AudioChannel channel, const AudioVector& position,
                                             const AudioVector& velocity);
  virtual AudioResult SetChannelVolume(AudioChannel channel, float volume);
  virtual AudioResult SetChannelPaused(AudioChannel channel, bool paused);
  virtual AudioResult IsChannelPlaying(AudioChannel channel, bool& isPlaying);
  // The channel's volume times its distance attenuation; 0 when nothing is heard (not playing,
  // or no device).
  virtual AudioResult GetChannelAudibility(AudioChannel channel, float& audibility);

  // Channels the device mixes: num2d stereo sources and num3d mono (positional) sources, as the
  // device reports them; all 0 without a device.
  virtual AudioResult GetHardwareChannels(int& num2d, int& num3d, int& total);

  OutputType GetOutputType() const { return output; }
  bool HasDevice() const { return device != nullptr; }

 private:
  struct Channel {
    std::shared_ptr<AudioSound> sound;
    uint32_t generation = 0;
    uint32_t source = 0;  // the OpenAL source, 0 without a device
    bool inUse = false;
    bool paused = true;
    bool started = false;       // unpaused at least once
    double playedBefore = 0.0;  // seconds played before the last unpause (no device)
    double resumedAt = 0.0;     // steady-clock seconds of the last unpause (no device)
    uint64_t startOrder = 0;    // for stealing the oldest channel
    float volume = 1.0f;
    AudioVector position;
    AudioVector velocity;
  };

  void EnumerateDrivers();
  Channel* Find(AudioChannel channel);
  bool ChannelFinished(Channel& channel);
  void ApplyListener();
  void Apply3DSettings();
  void StopAndFreeChannel(Channel& channel);

  OutputType output = OutputType::AutoDetect;
  SpeakerMode speakerMode = SpeakerMode::Stereo;
  uint32_t dspBufferLength = 0;  // samples per mixing period; 0 = OpenAL Soft's own
  int dspNumBuffers = 0;
  int softwareRate = 0;  // output frames per second; 0 = OpenAL Soft's own
  Resampler resampler = Resampler::Linear;
  bool resamplerSet = false;
  bool initialised = false;
  bool driversEnumerated = false;
  std::vector<std::string> drivers;  // names of the devices that opened

  float dopplerScale = 1.0f;
  float distanceFactor = 1.0f;  // world units per metre
  float rollOffScale = 1.0f;
  AudioVector listenerPosition, listenerVelocity;
  AudioVector listenerForward{0.0f, 0.0f, 1.0f};
  AudioVector listenerUp{0.0f, 1.0f, 0.0f};

  ALCdevice_struct* device = nullptr;
  ALCcontext_struct* context = nullptr;
  std::shared_ptr<bool> deviceAlive;
  std::vector<std::weak_ptr<AudioSound>> sounds;  // every sound made, to free their buffers
  std::vector<Channel> channels;
  uint64_t playCounter = 0;
};
