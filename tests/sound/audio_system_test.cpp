// The audio layer without a sound device (the whole no-device path through SoundManager, and bad
// sound files, are in sound_manager_test.cpp): sound files decode and downmix, bad calls are
// refused, channels keep time and are handed out and stolen safely.

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <thread>

#include "sound/audio_system.h"
#include "sound_test_support.h"
#include "support/scratch.h"
#include "support/wav.h"

namespace {

class AudioSystemNoDevice : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(AudioSystem::Create(system), AudioResult::Ok);
    ASSERT_FALSE(scratch.Path().empty());
  }
  void TearDown() override { AudioSystem::Release(system); }

  // Init with `channels` channels, then the sound at `path` (an asset name without a '/').
  std::shared_ptr<AudioSound> InitAndCreate(int channels, std::string path) {
    std::shared_ptr<AudioSound> sound;
    if (path.find('/') == std::string::npos) path = "assets/" + path;
    EXPECT_EQ(system->Init(channels, kAudioInitNormal), AudioResult::Ok);
    EXPECT_EQ(system->CreateSound(path, kAudioMode3D, sound), AudioResult::Ok) << path;
    return sound;
  }
  bool Playing(const AudioChannel& channel) {
    bool playing = false;
    system->IsChannelPlaying(channel, playing);
    return playing;
  }

  std::unique_ptr<AudioSystem> system;
  support::ScratchDir scratch;
};

TEST_F(AudioSystemNoDevice, ChannelPlaysSilentlyForItsSoundsDurationAndNotWhilePaused) {
  support::Wav tone{1, 8000, std::vector<float>(4000)};  // half a second
  for (size_t i = 0; i < tone.samples.size(); ++i) tone.samples[i] = 0.1f * std::sin(0.3f * float(i));
  ASSERT_TRUE(support::WriteWav(scratch.File("half_second.wav"), tone));
  const std::shared_ptr<AudioSound> sound = InitAndCreate(4, scratch.File("half_second.wav"));
  ASSERT_TRUE(sound);
  EXPECT_NEAR(sound->Duration(), 0.5, 1e-9);

  // A paused channel holds its sound for as long as it stays paused;
  // unpaused, it plays until its sound has run out (not before), then stops
  // for good.
  AudioChannel channel;
  ASSERT_EQ(system->PlaySound(sound, true, channel), AudioResult::Ok);
  std::this_thread::sleep_for(std::chrono::milliseconds(600));
  EXPECT_TRUE(Playing(channel));
  const auto started = std::chrono::steady_clock::now();
  ASSERT_EQ(system->SetChannelPaused(channel, false), AudioResult::Ok);
  while (Playing(channel) && std::chrono::steady_clock::now() - started < std::chrono::seconds(5))
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  EXPECT_GE(std::chrono::steady_clock::now() - started, std::chrono::milliseconds(500));
  system->SetChannelPaused(channel, true);
  system->SetChannelPaused(channel, false);
  EXPECT_FALSE(Playing(channel));
}

TEST_F(AudioSystemNoDevice, StereoFilesAreDownmixedToMonoAtTheirOwnRate) {
  // Left 0.6, right 0.2, then left -0.5, right 0.5: the mono mix is their mean.
  support::Wav stereo{2, 22050, {}};
  for (int i = 0; i < 150; ++i) stereo.samples.insert(stereo.samples.end(), {i < 100 ? 0.6f : -0.5f, i < 100 ? 0.2f : 0.5f});
  ASSERT_TRUE(support::WriteWav(scratch.File("stereo.wav"), stereo));
  const std::shared_ptr<AudioSound> sound = InitAndCreate(1, scratch.File("stereo.wav"));
  ASSERT_TRUE(sound);
  EXPECT_EQ(sound->SampleRate(), 22050);
  ASSERT_EQ(sound->Samples().size(), 150u);
  for (size_t i : {0, 99, 100, 149}) EXPECT_NEAR(sound->Samples()[i] / 32767.0, i < 100 ? 0.4 : 0.0, 2e-4) << i;
  EXPECT_NEAR(sound->Duration(), 150.0 / 22050, 1e-12);
}

TEST_F(AudioSystemNoDevice, BadCallsFailWithoutHarm) {
  // Before Init nothing can be created; zero channels are refused.
  std::shared_ptr<AudioSound> sound;
  EXPECT_EQ(system->CreateSound("assets/chop1.wav", kAudioMode3D, sound), AudioResult::InvalidParam);
  EXPECT_EQ(system->Init(0, kAudioInitNormal), AudioResult::InvalidParam);
  ASSERT_EQ(system->Init(2, kAudioInitNormal), AudioResult::Ok);
  EXPECT_EQ(system->Init(2, kAudioInitNormal), AudioResult::InvalidParam);  // a second Init too

  // A bad mode; (missing and corrupt files: sound_manager_test.cpp).
  EXPECT_EQ(system->CreateSound("assets/chop1.wav", 0x8000, sound), AudioResult::InvalidParam);
  // No sound, a default channel, a bad listener.
  AudioChannel channel;
  bool playing = true;
  EXPECT_TRUE(system->PlaySound(nullptr, false, channel) == AudioResult::InvalidParam && channel.index == -1);
  EXPECT_TRUE(system->IsChannelPlaying(channel, playing) == AudioResult::InvalidHandle && !playing);
  EXPECT_EQ(system->Set3DListenerAttributes(0, {std::nanf(""), 0, 0}, {}, {0, 0, 1}, {0, 1, 0}), AudioResult::InvalidParam);
}

TEST_F(AudioSystemNoDevice, ChannelsAreStolenOldestFirstAndStaleHandlesGoInvalid) {
  std::shared_ptr<AudioSound> sound = InitAndCreate(2, "collide1.wav");
  // Paused channels never finish, so the third play must steal.
  AudioChannel first, second, third;
  for (AudioChannel* channel : {&first, &second, &third})
    ASSERT_EQ(system->PlaySound(sound, true, *channel), AudioResult::Ok);
  EXPECT_EQ(third.index, first.index);
  bool playing = true;
  EXPECT_TRUE(system->IsChannelPlaying(first, playing) == AudioResult::InvalidHandle && !playing);
  EXPECT_EQ(system->SetChannelVolume(first, 0.5f), AudioResult::InvalidHandle);
  EXPECT_TRUE(Playing(second) && Playing(third));
  // After Close every channel is gone; sounds held elsewhere stay safe to drop.
  EXPECT_EQ(system->Close(), AudioResult::Ok);
  EXPECT_EQ(system->IsChannelPlaying(second, playing), AudioResult::InvalidHandle);
  EXPECT_EQ(system->PlaySound(sound, false, third), AudioResult::InvalidParam);
  AudioSystem::Release(system);
  sound.reset();
}

}  // namespace
