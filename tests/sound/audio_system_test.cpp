// The audio layer without a sound device: set-up falls back to "no sound", sound files decode
// (and downmix) or fail cleanly, channels keep time and are handed out and stolen safely.

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <thread>

#include "sound/audio_system.h"
#include "sound_test_support.h"

namespace {

class AudioSystemNoDevice : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(AudioSystem::Create(system), AudioResult::Ok);
    ASSERT_FALSE(scratch.path.empty());
    dir = scratch.path;
  }
  void TearDown() override { AudioSystem::Release(system); }

  std::unique_ptr<AudioSystem> system;
  sound_test::TempDir scratch;
  std::string dir;
};

double Now() {
  using Clock = std::chrono::steady_clock;
  return std::chrono::duration<double>(Clock::now().time_since_epoch()).count();
}

TEST_F(AudioSystemNoDevice, SetUpFallsBackToNoSoundAndEveryCallSucceeds) {
  int numDrivers = -1;
  EXPECT_EQ(system->GetNumDrivers(numDrivers), AudioResult::Ok);
  EXPECT_EQ(numDrivers, 0);  // the null backend is not a driver
  uint32_t caps = 0;
  SpeakerMode mode = SpeakerMode::Stereo;
  std::string name;
  EXPECT_EQ(system->GetDriverCaps(0, caps, mode), AudioResult::InvalidParam);
  EXPECT_EQ(system->GetDriverInfo(0, name), AudioResult::InvalidParam);

  // Any speaker mode initialises when there is nothing to play on.
  EXPECT_EQ(system->SetSpeakerMode(SpeakerMode::FivePointOne), AudioResult::Ok);
  EXPECT_EQ(system->Init(32, kAudioInitNormal), AudioResult::Ok);
  EXPECT_EQ(system->GetOutputType(), OutputType::NoSound);
  EXPECT_FALSE(system->HasDevice());
  // Set-up calls after Init are refused, a second Init too.
  EXPECT_EQ(system->SetOutput(OutputType::AutoDetect), AudioResult::InvalidParam);
  EXPECT_EQ(system->Init(32, kAudioInitNormal), AudioResult::InvalidParam);
  EXPECT_EQ(system->Set3DSettings(1.0f, 1.0f, 0.6f), AudioResult::Ok);

  int num2d = -1, num3d = -1, total = -1;
  EXPECT_EQ(system->GetHardwareChannels(num2d, num3d, total), AudioResult::Ok);
  EXPECT_EQ(num2d + num3d + total, 0);

  std::shared_ptr<AudioSound> sound;
  ASSERT_EQ(system->CreateSound(sound_test::AssetPath("chop1.wav"),
                                kAudioMode3D | kAudioModeSoftware, sound),
            AudioResult::Ok);
  ASSERT_TRUE(sound);
  EXPECT_EQ(sound->Set3DMinMaxDistance(1.0f, 10000.0f), AudioResult::Ok);
  EXPECT_EQ(sound->SetMode(kAudioModeLoopOff), AudioResult::Ok);

  AudioChannel channel;
  ASSERT_EQ(system->PlaySound(sound, true, channel), AudioResult::Ok);
  EXPECT_EQ(system->SetChannel3DAttributes(channel, {3, 0, 0}, {}), AudioResult::Ok);
  EXPECT_EQ(system->SetChannelVolume(channel, 0.8f), AudioResult::Ok);
  EXPECT_EQ(system->SetChannelPaused(channel, false), AudioResult::Ok);
  bool playing = false;
  EXPECT_EQ(system->IsChannelPlaying(channel, playing), AudioResult::Ok);
  float audibility = -1.0f;
  EXPECT_EQ(system->GetChannelAudibility(channel, audibility), AudioResult::Ok);
  EXPECT_EQ(audibility, 0.0f);  // nothing is heard without a device
  EXPECT_EQ(system->Close(), AudioResult::Ok);
}

TEST_F(AudioSystemNoDevice, ChannelPlaysSilentlyForItsSoundsDurationAndNotWhilePaused) {
  // Half a second of a quiet tone.
  const int rate = 8000;
  std::vector<float> tone(rate / 2);
  for (size_t i = 0; i < tone.size(); ++i) tone[i] = 0.1f * std::sin(0.3f * float(i));
  const std::string path = dir + "/half_second.wav";
  ASSERT_TRUE(sound_test::WriteWav(path, 1, rate, tone));
  ASSERT_EQ(system->Init(4, kAudioInitNormal), AudioResult::Ok);
  std::shared_ptr<AudioSound> sound;
  ASSERT_EQ(system->CreateSound(path, kAudioMode3D, sound), AudioResult::Ok);
  EXPECT_NEAR(sound->Duration(), 0.5, 1e-9);

  AudioChannel channel;
  ASSERT_EQ(system->PlaySound(sound, true, channel), AudioResult::Ok);
  // A paused channel holds its sound for as long as it stays paused.
  std::this_thread::sleep_for(std::chrono::milliseconds(600));
  bool playing = false;
  system->IsChannelPlaying(channel, playing);
  EXPECT_TRUE(playing);

  const double started = Now();
  ASSERT_EQ(system->SetChannelPaused(channel, false), AudioResult::Ok);
  system->IsChannelPlaying(channel, playing);
  const double firstCheck = Now() - started;
  if (firstCheck < 0.4) {
    EXPECT_TRUE(playing);  // only meaningful while well inside the sound
  }
  double stopped = 0.0;
  while (playing && Now() - started < 5.0) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
    system->IsChannelPlaying(channel, playing);
    stopped = Now() - started;
  }
  EXPECT_FALSE(playing);
  EXPECT_GE(stopped, 0.5);  // it did not end before its sound did
  // A finished channel is not restarted by unpausing it again.
  EXPECT_EQ(system->SetChannelPaused(channel, true), AudioResult::Ok);
  EXPECT_EQ(system->SetChannelPaused(channel, false), AudioResult::Ok);
  system->IsChannelPlaying(channel, playing);
  EXPECT_FALSE(playing);
}

TEST_F(AudioSystemNoDevice, StereoFilesAreDownmixedToMonoAtTheirOwnRate) {
  // Left 0.6, right 0.2, then left -0.5, right 0.5: the mono mix is their mean.
  const int rate = 22050;
  std::vector<float> stereo;
  for (int i = 0; i < 100; ++i) stereo.insert(stereo.end(), {0.6f, 0.2f});
  for (int i = 0; i < 50; ++i) stereo.insert(stereo.end(), {-0.5f, 0.5f});
  const std::string path = dir + "/stereo.wav";
  ASSERT_TRUE(sound_test::WriteWav(path, 2, rate, stereo));
  ASSERT_EQ(system->Init(1, kAudioInitNormal), AudioResult::Ok);
  std::shared_ptr<AudioSound> sound;
  ASSERT_EQ(system->CreateSound(path, kAudioMode3D, sound), AudioResult::Ok);
  EXPECT_EQ(sound->SampleRate(), rate);
  ASSERT_EQ(sound->Samples().size(), 150u);
  EXPECT_NEAR(sound->Samples()[0] / 32767.0, 0.4, 2e-4);
  EXPECT_NEAR(sound->Samples()[99] / 32767.0, 0.4, 2e-4);
  EXPECT_NEAR(sound->Samples()[100] / 32767.0, 0.0, 2e-4);
  EXPECT_NEAR(sound->Duration(), 150.0 / rate, 1e-12);
}

TEST_F(AudioSystemNoDevice, BadFilesAndBadCallsFailWithoutHarm) {
  // Before Init nothing can be created.
  std::shared_ptr<AudioSound> sound;
  EXPECT_EQ(system->CreateSound(sound_test::AssetPath("chop1.wav"), kAudioMode3D, sound),
            AudioResult::InvalidParam);
  EXPECT_FALSE(sound);
  EXPECT_EQ(system->Init(0, kAudioInitNormal), AudioResult::InvalidParam);
  ASSERT_EQ(system->Init(2, kAudioInitNormal), AudioResult::Ok);

  // Missing, empty, garbage, and a WAV header with no samples after it.
  const std::string garbage = dir + "/garbage.wav";
  {
    std::ofstream out(garbage, std::ios::binary);
    for (int i = 0; i < 4096; ++i) out.put(char((i * 7919) & 0xff));
  }
  const std::string empty = dir + "/empty.wav";
  { std::ofstream out(empty, std::ios::binary); }
  const std::string headerOnly = dir + "/header_only.wav";
  ASSERT_TRUE(sound_test::WriteWav(headerOnly, 1, 44100, {}));
  for (const std::string& path : {dir + "/missing.wav", garbage, empty, headerOnly}) {
    EXPECT_EQ(system->CreateSound(path, kAudioMode3D, sound), AudioResult::FileBad) << path;
    EXPECT_FALSE(sound) << path;
  }
  EXPECT_EQ(system->CreateSound(sound_test::AssetPath("chop1.wav"), 0x8000, sound),
            AudioResult::InvalidParam);

  // No sound, a default channel, a bad listener.
  AudioChannel channel;
  EXPECT_EQ(system->PlaySound(nullptr, false, channel), AudioResult::InvalidParam);
  EXPECT_EQ(channel.index, -1);
  bool playing = true;
  EXPECT_EQ(system->IsChannelPlaying(channel, playing), AudioResult::InvalidHandle);
  EXPECT_FALSE(playing);
  EXPECT_EQ(system->SetChannelVolume(channel, 1.0f), AudioResult::InvalidHandle);
  EXPECT_EQ(system->SetChannelPaused(channel, false), AudioResult::InvalidHandle);
  EXPECT_EQ(system->SetChannel3DAttributes(AudioChannel{7, 1}, {}, {}), AudioResult::InvalidHandle);
  const float nan = std::nanf("");
  EXPECT_EQ(system->Set3DListenerAttributes(0, {nan, 0, 0}, {}, {0, 0, 1}, {0, 1, 0}),
            AudioResult::InvalidParam);
  EXPECT_EQ(system->Set3DListenerAttributes(1, {}, {}, {0, 0, 1}, {0, 1, 0}),
            AudioResult::InvalidParam);
  EXPECT_EQ(system->Set3DSettings(1.0f, 0.0f, 0.6f), AudioResult::InvalidParam);
}

TEST_F(AudioSystemNoDevice, ChannelsAreStolenOldestFirstAndStaleHandlesGoInvalid) {
  ASSERT_EQ(system->Init(2, kAudioInitNormal), AudioResult::Ok);
  std::shared_ptr<AudioSound> sound;
  ASSERT_EQ(system->CreateSound(sound_test::AssetPath("collide1.wav"), kAudioMode3D, sound),
            AudioResult::Ok);
  // Paused channels never finish, so the third play must steal.
  AudioChannel first, second, third;
  ASSERT_EQ(system->PlaySound(sound, true, first), AudioResult::Ok);
  ASSERT_EQ(system->PlaySound(sound, true, second), AudioResult::Ok);
  ASSERT_EQ(system->PlaySound(sound, true, third), AudioResult::Ok);
  EXPECT_EQ(third.index, first.index);
  bool playing = true;
  EXPECT_EQ(system->IsChannelPlaying(first, playing), AudioResult::InvalidHandle);
  EXPECT_FALSE(playing);
  EXPECT_EQ(system->SetChannelVolume(first, 0.5f), AudioResult::InvalidHandle);
  EXPECT_EQ(system->IsChannelPlaying(second, playing), AudioResult::Ok);
  EXPECT_TRUE(playing);
  EXPECT_EQ(system->IsChannelPlaying(third, playing), AudioResult::Ok);
  EXPECT_TRUE(playing);

  // After Close every channel is gone; sounds held elsewhere stay safe to drop.
  EXPECT_EQ(system->Close(), AudioResult::Ok);
  EXPECT_EQ(system->IsChannelPlaying(second, playing), AudioResult::InvalidHandle);
  EXPECT_EQ(system->PlaySound(sound, false, third), AudioResult::InvalidParam);
  AudioSystem::Release(system);
  sound.reset();
}

}  // namespace
