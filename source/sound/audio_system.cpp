#include "sound/audio_system.h"

#include <AL/al.h>
#include <AL/alc.h>
#include <AL/alext.h>
#include <sndfile.h>

#include <dlfcn.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <mutex>

namespace {

// OpenAL Soft's null backend: it opens, but mixes into nothing, so it is not a driver.
constexpr const char* kNullDeviceName = "No Output";

// Speed of sound in metres per second; scaled by the distance factor (world units per metre) it
// sets the Doppler shift's reference speed in world units per second.
constexpr float kSpeedOfSound = 343.3f;

// Largest channel count Init accepts; OpenAL Soft mixes at most 4096 sources.
constexpr int kMaxChannels = 4095;

// Largest sound file decoded, in samples over all channels (about 25 minutes of stereo at
// 44.1 kHz): a bound on memory for a header that claims an absurd length.
constexpr sf_count_t kMaxFileSamples = sf_count_t(1) << 27;

double SteadySeconds() {
  using Clock = std::chrono::steady_clock;
  return std::chrono::duration<double>(Clock::now().time_since_epoch()).count();
}

bool Finite(const AudioVector& v) {
  return std::isfinite(v.x) && std::isfinite(v.y) && std::isfinite(v.z);
}

// ALSA's error handler type: file, line, function, error number, printf format.
using AlsaErrorHandler = void (*)(const char*, int, const char*, int, const char*, ...);
extern "C" void IgnoreAlsaError(const char*, int, const char*, int, const char*, ...) {}

// The audio libraries write to the console on their own: OpenAL Soft logs
// every device it fails to open, and ALSA (which OpenAL Soft uses) prints
// each step of a failed open. Without a sound card that is nine lines before
// the program says anything, all saying "no device", which the program
// reports itself. OpenAL Soft's log level is read from ALSOFT_LOGLEVEL when
// the library first initialises: set it to "none" unless the user chose a
// level. ALSA's messages go through a handler the process can replace; it is
// replaced only when OpenAL Soft has loaded ALSA (RTLD_NOLOAD).
void QuietAudioLibraries() {
  static std::once_flag once;
  std::call_once(once, [] {
    setenv("ALSOFT_LOGLEVEL", "0", 0);
    alcIsExtensionPresent(nullptr, "ALC_ENUMERATE_ALL_EXT");  // initialises OpenAL Soft
    void* alsa = dlopen("libasound.so.2", RTLD_LAZY | RTLD_NOLOAD);
    if (alsa == nullptr) return;
    using SetHandler = int (*)(AlsaErrorHandler);
    if (auto set = reinterpret_cast<SetHandler>(dlsym(alsa, "snd_lib_error_set_handler")))
      set(IgnoreAlsaError);
    dlclose(alsa);  // OpenAL Soft keeps the library loaded
  });
}

// Left-handed in, right-handed OpenAL out: mirror z.
void SetSourceVector(ALuint source, ALenum param, const AudioVector& v) {
  alSource3f(source, param, v.x, v.y, -v.z);
}

// The gain of the inverse-distance-clamped model at distance d.
float DistanceGain(float d, float minDistance, float maxDistance, float rollOff) {
  d = std::min(std::max(d, minDistance), maxDistance);
  const float denominator = minDistance + rollOff * (d - minDistance);
  return denominator > 0.0f ? minDistance / denominator : 1.0f;
}

}  // namespace

const char* AudioResultText(AudioResult result) {
  switch (result) {
    case AudioResult::Ok:
      return "no error";
    case AudioResult::InvalidParam:
      return "invalid parameter or call in the wrong state";
    case AudioResult::InvalidHandle:
      return "invalid channel";
    case AudioResult::FileBad:
      return "sound file missing, unreadable or not audio";
    case AudioResult::OutputInit:
      return "the sound device could not be opened";
    case AudioResult::OutputCreateBuffer:
      return "the output cannot be created in the selected speaker mode";
  }
  return "unknown result";
}

// ---------------------------------------------------------------------------------------------
// AudioSound

AudioSound::~AudioSound() {
  // The buffer name is only valid while the device that made it is open; Close frees the
  // buffers of live sounds itself and clears deviceAlive.
  if (buffer != 0 && deviceAlive && *deviceAlive) alDeleteBuffers(1, &buffer);
}

AudioResult AudioSound::Set3DMinMaxDistance(float newMin, float newMax) {
  if (!(newMin > 0.0f) || !(newMax >= newMin) || !std::isfinite(newMax))
    return AudioResult::InvalidParam;
  minDistance = newMin;
  maxDistance = newMax;
  return AudioResult::Ok;
}

AudioResult AudioSound::SetMode(uint32_t newMode) {
  // Only the loop switch changes after creation; the layer plays one-shots only, so "loop off"
  // is the one loop mode it has.
  if ((newMode & ~kAudioModeLoopOff) != 0) return AudioResult::InvalidParam;
  mode = (mode & ~kAudioModeLoopOff) | newMode;
  return AudioResult::Ok;
}

double AudioSound::Duration() const {
  return sampleRate > 0 ? double(samples.size()) / double(sampleRate) : 0.0;
}

// ---------------------------------------------------------------------------------------------
// AudioSystem: set-up

AudioResult AudioSystem::Create(std::unique_ptr<AudioSystem>& system) {
  system.reset(new AudioSystem);
  return AudioResult::Ok;
}

AudioResult AudioSystem::Release(std::unique_ptr<AudioSystem>& system) {
  if (system) system->Close();
  system.reset();
  return AudioResult::Ok;
}

AudioSystem::AudioSystem() = default;

AudioSystem::~AudioSystem() { Close(); }

AudioResult AudioSystem::GetVersion(uint32_t& version) {
  version = kAudioLayerVersion;
  return AudioResult::Ok;
}

void AudioSystem::EnumerateDrivers() {
  if (driversEnumerated) return;
  driversEnumerated = true;
  QuietAudioLibraries();
  // Every device OpenAL lists is tried once: on a machine without a sound card the default
  // device is listed but fails to open.
  const bool all = alcIsExtensionPresent(nullptr, "ALC_ENUMERATE_ALL_EXT") == ALC_TRUE;
  const ALCchar* list =
      alcGetString(nullptr, all ? ALC_ALL_DEVICES_SPECIFIER : ALC_DEVICE_SPECIFIER);
  for (const ALCchar* name = list; name != nullptr && *name != '\0';
       name += std::strlen(name) + 1) {
    ALCdevice* probe = alcOpenDevice(name);
    if (probe == nullptr) continue;
    // The opened device's full name tells the null backend apart even when the list holds
    // only the generic "OpenAL Soft".
    const ALCchar* opened = alcGetString(probe, ALC_ALL_DEVICES_SPECIFIER);
    const bool isNull = opened != nullptr && std::strcmp(opened, kNullDeviceName) == 0;
    alcCloseDevice(probe);
    if (!isNull && std::strcmp(name, kNullDeviceName) != 0) drivers.emplace_back(name);
  }
}

AudioResult AudioSystem::GetNumDrivers(int& numDrivers) {
  EnumerateDrivers();
  numDrivers = int(drivers.size());
  return AudioResult::Ok;
}

AudioResult AudioSystem::GetDriverCaps(int driver, uint32_t& caps, SpeakerMode& controlPanelMode) {
  EnumerateDrivers();
  if (driver < 0 || driver >= int(drivers.size())) return AudioResult::InvalidParam;
  // OpenAL Soft mixes everything in software. OpenAL Soft 1.19 offers no query for a playback
  // device's channel layout; its backends default to stereo, which is what is reported.
  caps = kAudioCapsHardwareEmulated;
  controlPanelMode = SpeakerMode::Stereo;
  return AudioResult::Ok;
}

AudioResult AudioSystem::GetDriverInfo(int driver, std::string& name) {
  EnumerateDrivers();
  if (driver < 0 || driver >= int(drivers.size())) return AudioResult::InvalidParam;
  name = drivers[size_t(driver)];
  return AudioResult::Ok;
}

AudioResult AudioSystem::SetOutput(OutputType type) {
  if (initialised) return AudioResult::InvalidParam;
  output = type;
  return AudioResult::Ok;
}

AudioResult AudioSystem::SetSpeakerMode(SpeakerMode mode) {
  if (initialised) return AudioResult::InvalidParam;
  speakerMode = mode;
  return AudioResult::Ok;
}

AudioResult AudioSystem::SetDSPBufferSize(uint32_t bufferLength, int numBuffers) {
  if (initialised || bufferLength == 0 || numBuffers <= 0) return AudioResult::InvalidParam;
  dspBufferLength = bufferLength;
  dspNumBuffers = numBuffers;
  return AudioResult::Ok;
}

AudioResult AudioSystem::SetSoftwareFormat(int sampleRate, SampleFormat format,
                                           int numOutputChannels, int maxInputChannels,
                                           Resampler newResampler) {
  // OpenAL Soft chooses a playback device's sample type and channel count itself (only a
  // loopback device takes them as attributes), so of the format only the rate is applied.
  (void)format;
  (void)numOutputChannels;
  (void)maxInputChannels;
  if (initialised || sampleRate < 8000 || sampleRate > 192000) return AudioResult::InvalidParam;
  softwareRate = sampleRate;
  resampler = newResampler;
  resamplerSet = true;
  return AudioResult::Ok;
}

AudioResult AudioSystem::Init(int maxChannels, uint32_t flags) {
  if (initialised || maxChannels < 1 || maxChannels > kMaxChannels || flags != kAudioInitNormal)
    return AudioResult::InvalidParam;

  if (output == OutputType::AutoDetect) {
    EnumerateDrivers();
    if (drivers.empty()) output = OutputType::NoSound;
  }
  if (output == OutputType::NoSound) {
    channels.assign(size_t(maxChannels), Channel());
    initialised = true;
    return AudioResult::Ok;
  }

  // OpenAL Soft 1.19 takes a playback device's channel layout from its own configuration and has
  // no attribute to ask for another; the layout its backends give by default is stereo. Any other
  // speaker mode cannot be delivered, which the caller can answer by retrying in stereo.
  if (speakerMode != SpeakerMode::Stereo) return AudioResult::OutputCreateBuffer;

  device = alcOpenDevice(drivers.front().c_str());
  if (device == nullptr) return AudioResult::OutputInit;

  ALCint frequency = softwareRate;
  if (frequency == 0) alcGetIntegerv(device, ALC_FREQUENCY, 1, &frequency);
  std::vector<ALCint> attributes = {ALC_MONO_SOURCES, maxChannels, ALC_STEREO_SOURCES, 0};
  if (softwareRate != 0) attributes.insert(attributes.end(), {ALC_FREQUENCY, softwareRate});
  // A mixing period of bufferLength samples is a refresh rate of frequency / bufferLength per
  // second. OpenAL Soft treats it as a request; its own configuration may override it.
  if (dspBufferLength != 0 && frequency > 0)
    attributes.insert(attributes.end(),
                      {ALC_REFRESH, std::max<ALCint>(1, frequency / ALCint(dspBufferLength))});
  attributes.push_back(0);

  context = alcCreateContext(device, attributes.data());
  if (context == nullptr || alcMakeContextCurrent(context) != ALC_TRUE) {
    if (context != nullptr) alcDestroyContext(context);
    context = nullptr;
    alcCloseDevice(device);
    device = nullptr;
    return AudioResult::OutputInit;
  }
  deviceAlive = std::make_shared<bool>(true);
  alDistanceModel(AL_INVERSE_DISTANCE_CLAMPED);

  // The resampler's index among OpenAL Soft's named resamplers, when it has the extension.
  ALint resamplerIndex = -1;
  if (resamplerSet && alIsExtensionPresent("AL_SOFT_source_resampler")) {
    auto getStringi = reinterpret_cast<LPALGETSTRINGISOFT>(alGetProcAddress("alGetStringiSOFT"));
    const char* wanted = resampler == Resampler::Linear ? "Linear" : "Point";
    ALint count = 0;
    alGetIntegerv(AL_NUM_RESAMPLERS_SOFT, &count);
    for (ALint i = 0; getStringi != nullptr && i < count; ++i) {
      const ALchar* resamplerName = getStringi(AL_RESAMPLER_NAME_SOFT, i);
      if (resamplerName != nullptr && std::strstr(resamplerName, wanted) != nullptr) {
        resamplerIndex = i;
        break;
      }
    }
  }

  channels.assign(size_t(maxChannels), Channel());
  alGetError();
  for (Channel& channel : channels) {
    alGenSources(1, &channel.source);
    if (alGetError() != AL_NO_ERROR) {
      channel.source = 0;
      break;
    }
    if (resamplerIndex >= 0) alSourcei(channel.source, AL_SOURCE_RESAMPLER_SOFT, resamplerIndex);
  }
  // Channels whose source could not be made are not offered.
  channels.erase(std::find_if(channels.begin(), channels.end(),
                              [](const Channel& c) { return c.source == 0; }),
                 channels.end());
  initialised = true;
  Apply3DSettings();
  ApplyListener();
  return AudioResult::Ok;
}

AudioResult AudioSystem::Close() {
  if (!initialised) return AudioResult::Ok;
  for (Channel& channel : channels) {
    StopAndFreeChannel(channel);
    if (channel.source != 0) alDeleteSources(1, &channel.source);
  }
  channels.clear();
  for (const std::weak_ptr<AudioSound>& weak : sounds) {
    if (std::shared_ptr<AudioSound> sound = weak.lock()) {
      if (sound->buffer != 0 && device != nullptr) alDeleteBuffers(1, &sound->buffer);
      sound->buffer = 0;
    }
  }
  sounds.clear();
  if (deviceAlive) *deviceAlive = false;
  deviceAlive.reset();
  if (context != nullptr) {
    alcMakeContextCurrent(nullptr);
    alcDestroyContext(context);
    context = nullptr;
  }
  if (device != nullptr) {
    alcCloseDevice(device);  // the wave writer completes its file header here
    device = nullptr;
  }
  initialised = false;
  return AudioResult::Ok;
}

// ---------------------------------------------------------------------------------------------
// 3D settings and the listener

AudioResult AudioSystem::Set3DSettings(float newDopplerScale, float newDistanceFactor,
                                       float newRollOffScale) {
  if (!(newDopplerScale >= 0.0f) || !(newDistanceFactor > 0.0f) || !(newRollOffScale >= 0.0f) ||
      !std::isfinite(newDopplerScale) || !std::isfinite(newDistanceFactor) ||
      !std::isfinite(newRollOffScale))
    return AudioResult::InvalidParam;
  dopplerScale = newDopplerScale;
  distanceFactor = newDistanceFactor;
  rollOffScale = newRollOffScale;
  Apply3DSettings();
  return AudioResult::Ok;
}

void AudioSystem::Apply3DSettings() {
  if (context == nullptr) return;
  alDopplerFactor(dopplerScale);
  alSpeedOfSound(kSpeedOfSound * distanceFactor);
  for (Channel& channel : channels) alSourcef(channel.source, AL_ROLLOFF_FACTOR, rollOffScale);
}

AudioResult AudioSystem::Set3DListenerAttributes(int listener, const AudioVector& position,
                                                 const AudioVector& velocity,
                                                 const AudioVector& forward,
                                                 const AudioVector& up) {
  if (listener != 0 || !Finite(position) || !Finite(velocity) || !Finite(forward) || !Finite(up))
    return AudioResult::InvalidParam;
  listenerPosition = position;
  listenerVelocity = velocity;
  listenerForward = forward;
  listenerUp = up;
  ApplyListener();
  return AudioResult::Ok;
}

AudioResult AudioSystem::Get3DListenerAttributes(int listener, AudioVector& position,
                                                 AudioVector& velocity, AudioVector& forward,
                                                 AudioVector& up) {
  if (listener != 0) return AudioResult::InvalidParam;
  position = listenerPosition;
  velocity = listenerVelocity;
  forward = listenerForward;
  up = listenerUp;
  return AudioResult::Ok;
}

void AudioSystem::ApplyListener() {
  if (context == nullptr) return;
  const AudioVector& p = listenerPosition;
  const AudioVector& v = listenerVelocity;
  alListener3f(AL_POSITION, p.x, p.y, -p.z);
  alListener3f(AL_VELOCITY, v.x, v.y, -v.z);
  // OpenAL takes "at" and "up"; its right is at x up in its right-handed frame, which is the
  // mirror image of up x forward in ours.
  const ALfloat orientation[6] = {listenerForward.x, listenerForward.y, -listenerForward.z,
                                  listenerUp.x,      listenerUp.y,      -listenerUp.z};
  alListenerfv(AL_ORIENTATION, orientation);
}

// ---------------------------------------------------------------------------------------------
// Sounds

AudioResult AudioSystem::CreateSound(const std::string& fileName, uint32_t mode,
                                     std::shared_ptr<AudioSound>& sound) {
  sound.reset();
  if (!initialised) return AudioResult::InvalidParam;
  if ((mode & ~(kAudioModeLoopOff | kAudioMode3D | kAudioModeSoftware)) != 0)
    return AudioResult::InvalidParam;

  SF_INFO info;
  std::memset(&info, 0, sizeof(info));
  SNDFILE* file = sf_open(fileName.c_str(), SFM_READ, &info);
  if (file == nullptr) return AudioResult::FileBad;
  if (info.channels < 1 || info.samplerate < 1 || info.frames < 1 ||
      info.frames > kMaxFileSamples / info.channels) {
    sf_close(file);
    return AudioResult::FileBad;
  }
  std::vector<float> interleaved(size_t(info.frames) * size_t(info.channels));
  const sf_count_t framesRead = sf_readf_float(file, interleaved.data(), info.frames);
  sf_close(file);
  if (framesRead < 1) return AudioResult::FileBad;

  // OpenAL positions mono buffers only; a multi-channel file is downmixed by averaging its
  // channels, which keeps a full-scale signal within range.
  std::shared_ptr<AudioSound> made(new AudioSound);
  made->fileName = fileName;
  made->sampleRate = info.samplerate;
  made->mode = mode;
  made->samples.resize(size_t(framesRead));
  const size_t stride = size_t(info.channels);
  for (size_t frame = 0; frame < size_t(framesRead); ++frame) {
    float sum = 0.0f;
    for (size_t c = 0; c < stride; ++c) sum += interleaved[frame * stride + c];
    const float mono = std::min(1.0f, std::max(-1.0f, sum / float(stride)));
    made->samples[frame] = int16_t(std::lround(mono * 32767.0f));
  }

  if (context != nullptr) {
    alGetError();
    alGenBuffers(1, &made->buffer);
    if (alGetError() != AL_NO_ERROR) {
      made->buffer = 0;
      return AudioResult::InvalidParam;
    }
    alBufferData(made->buffer, AL_FORMAT_MONO16, made->samples.data(),
                 ALsizei(made->samples.size() * sizeof(int16_t)), made->sampleRate);
    if (alGetError() != AL_NO_ERROR) {
      alDeleteBuffers(1, &made->buffer);
      made->buffer = 0;
      return AudioResult::InvalidParam;
    }
    made->deviceAlive = deviceAlive;
  }
  sounds.erase(std::remove_if(sounds.begin(), sounds.end(),
                              [](const std::weak_ptr<AudioSound>& s) { return s.expired(); }),
               sounds.end());
  sounds.push_back(made);
  sound = made;
  return AudioResult::Ok;
}

// ---------------------------------------------------------------------------------------------
// Channels

AudioSystem::Channel* AudioSystem::Find(AudioChannel handle) {
  if (handle.index < 0 || handle.index >= int(channels.size())) return nullptr;
  Channel& channel = channels[size_t(handle.index)];
  if (!channel.inUse || channel.generation != handle.generation) return nullptr;
  return &channel;
}

bool AudioSystem::ChannelFinished(Channel& channel) {
  if (!channel.inUse) return true;
  if (!channel.started) return false;  // set up paused, waiting to start
  if (channel.source != 0) {
    ALint state = AL_STOPPED;
    alGetSourcei(channel.source, AL_SOURCE_STATE, &state);
    return state == AL_STOPPED;
  }
  double played = channel.playedBefore;
  if (!channel.paused) played += SteadySeconds() - channel.resumedAt;
  return played >= channel.sound->Duration();
}

void AudioSystem::StopAndFreeChannel(Channel& channel) {
  if (channel.source != 0) {
    alSourceStop(channel.source);
    alSourcei(channel.source, AL_BUFFER, 0);
  }
  channel.sound.reset();
  channel.inUse = false;
}

AudioResult AudioSystem::PlaySound(const std::shared_ptr<AudioSound>& sound, bool paused,
                                   AudioChannel& handle) {
  handle = AudioChannel();
  if (!initialised || !sound || channels.empty()) return AudioResult::InvalidParam;
  // With a device the sound needs a buffer of this device (not one freed by an earlier Close).
  if (context != nullptr && (sound->buffer == 0 || sound->deviceAlive != deviceAlive))
    return AudioResult::InvalidParam;

  // A free (or finished) channel; failing that, the one started longest ago is stolen.
  Channel* chosen = nullptr;
  for (Channel& channel : channels) {
    if (ChannelFinished(channel)) {
      chosen = &channel;
      break;
    }
  }
  if (chosen == nullptr) {
    chosen = &*std::min_element(
        channels.begin(), channels.end(),
        [](const Channel& a, const Channel& b) { return a.startOrder < b.startOrder; });
  }
  Channel& channel = *chosen;
  StopAndFreeChannel(channel);
  channel.sound = sound;
  channel.inUse = true;
  channel.generation++;
  channel.paused = true;
  channel.started = false;
  channel.playedBefore = 0.0;
  channel.startOrder = ++playCounter;
  channel.volume = 1.0f;
  channel.position = AudioVector();
  channel.velocity = AudioVector();
  if (channel.source != 0) {
    const ALuint source = channel.source;
    alSourcei(source, AL_BUFFER, ALint(sound->buffer));
    alSourcei(source, AL_LOOPING, AL_FALSE);
    // A sound without 3D plays at the listener: relative to it, at its origin.
    alSourcei(source, AL_SOURCE_RELATIVE, sound->Is3D() ? AL_FALSE : AL_TRUE);
    alSourcef(source, AL_REFERENCE_DISTANCE, sound->minDistance);
    alSourcef(source, AL_MAX_DISTANCE, sound->maxDistance);
    alSourcef(source, AL_ROLLOFF_FACTOR, rollOffScale);
    alSourcef(source, AL_GAIN, channel.volume);
    SetSourceVector(source, AL_POSITION, channel.position);
    SetSourceVector(source, AL_VELOCITY, channel.velocity);
  }
  handle.index = int32_t(chosen - channels.data());
  handle.generation = channel.generation;
  if (!paused) return SetChannelPaused(handle, false);
  return AudioResult::Ok;
}

AudioResult AudioSystem::SetChannel3DAttributes(AudioChannel handle, const AudioVector& position,
                                                const AudioVector& velocity) {
  Channel* channel = Find(handle);
  if (channel == nullptr) return AudioResult::InvalidHandle;
  if (!Finite(position) || !Finite(velocity)) return AudioResult::InvalidParam;
  channel->position = position;
  channel->velocity = velocity;
  if (channel->source != 0 && channel->sound->Is3D()) {
    SetSourceVector(channel->source, AL_POSITION, position);
    SetSourceVector(channel->source, AL_VELOCITY, velocity);
  }
  return AudioResult::Ok;
}

AudioResult AudioSystem::SetChannelVolume(AudioChannel handle, float volume) {
  Channel* channel = Find(handle);
  if (channel == nullptr) return AudioResult::InvalidHandle;
  // Volume is a linear gain from 0 (silent) to 1 (as recorded).
  channel->volume = std::isfinite(volume) ? std::min(1.0f, std::max(0.0f, volume)) : 0.0f;
  if (channel->source != 0) alSourcef(channel->source, AL_GAIN, channel->volume);
  return AudioResult::Ok;
}

AudioResult AudioSystem::SetChannelPaused(AudioChannel handle, bool paused) {
  Channel* channel = Find(handle);
  if (channel == nullptr) return AudioResult::InvalidHandle;
  if (ChannelFinished(*channel) || paused == channel->paused) return AudioResult::Ok;
  const double now = SteadySeconds();
  if (paused) {
    channel->playedBefore += now - channel->resumedAt;
    if (channel->source != 0) alSourcePause(channel->source);
  } else {
    channel->started = true;
    channel->resumedAt = now;
    if (channel->source != 0) alSourcePlay(channel->source);  // starts, or resumes a pause
  }
  channel->paused = paused;
  return AudioResult::Ok;
}

AudioResult AudioSystem::IsChannelPlaying(AudioChannel handle, bool& isPlaying) {
  isPlaying = false;
  Channel* channel = Find(handle);
  if (channel == nullptr) return AudioResult::InvalidHandle;
  // A paused channel still holds its sound and counts as playing.
  isPlaying = !ChannelFinished(*channel);
  return AudioResult::Ok;
}

AudioResult AudioSystem::GetChannelAudibility(AudioChannel handle, float& audibility) {
  audibility = 0.0f;
  Channel* channel = Find(handle);
  if (channel == nullptr) return AudioResult::InvalidHandle;
  if (context == nullptr || channel->paused || ChannelFinished(*channel)) return AudioResult::Ok;
  audibility = channel->volume;
  if (channel->sound->Is3D()) {
    const AudioVector& a = channel->position;
    const AudioVector& b = listenerPosition;
    const float d = std::sqrt((a.x - b.x) * (a.x - b.x) + (a.y - b.y) * (a.y - b.y) +
                              (a.z - b.z) * (a.z - b.z));
    audibility *=
        DistanceGain(d, channel->sound->minDistance, channel->sound->maxDistance, rollOffScale);
  }
  return AudioResult::Ok;
}

AudioResult AudioSystem::GetHardwareChannels(int& num2d, int& num3d, int& total) {
  num2d = num3d = total = 0;
  if (device == nullptr) return AudioResult::Ok;
  ALCint mono = 0, stereo = 0;
  alcGetIntegerv(device, ALC_MONO_SOURCES, 1, &mono);
  alcGetIntegerv(device, ALC_STEREO_SOURCES, 1, &stereo);
  num2d = stereo;
  num3d = mono;
  total = mono + stereo;
  return AudioResult::Ok;
}
