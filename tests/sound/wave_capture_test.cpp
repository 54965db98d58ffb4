// Hearing the engine: OpenAL Soft's wave writer (ALSOFT_DRIVERS=wave, with a configuration file
// naming the output) mixes everything the sound module plays into a WAV file. A child process
// plays the chop sound to the listener's right, at the listener at two volumes, to its left and
// further to its right;
// this process then reads the file and checks where, when and how loud each one was heard.

#include <gtest/gtest.h>

#include <AL/alc.h>
#include <AL/alext.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <sstream>
#include <thread>

#include "object_manager.h"
#include "sound/sound_manager.h"
#include "sound_test_support.h"
#include "system.h"

namespace {

// Output time between one play and the next, and after the last: the chop lasts 0.18 s.
constexpr double kGapSeconds = 0.45;
// How far to the side the side sounds are played, in world units.
constexpr float kSideDistance = 3.0f;

// Seconds of output the device has mixed so far (OpenAL Soft's device clock).
double DeviceSeconds() {
  ALCdevice* device = alcGetContextsDevice(alcGetCurrentContext());
  auto getInteger64 =
      reinterpret_cast<LPALCGETINTEGER64VSOFT>(alcGetProcAddress(device, "alcGetInteger64vSOFT"));
  if (device == nullptr || getInteger64 == nullptr) return -1.0;
  ALCint64SOFT nanoseconds = -1;
  getInteger64(device, ALC_DEVICE_CLOCK_SOFT, 1, &nanoseconds);
  return double(nanoseconds) * 1e-9;
}

// The child: runs only when started by the test below, in an environment with the wave writer.
TEST(SoundWaveChild, PlaysChopRightCentreAndLeft) {
  const char* dir = std::getenv(sound_test::kChildDirVariable);
  if (dir == nullptr) GTEST_SKIP() << "runs in a child process of SoundWaveCapture";

  SoundManager& manager = SoundManager::Instance();
  manager.Init();
  ASSERT_TRUE(manager.system);
  ASSERT_TRUE(manager.system->HasDevice());
  std::string driver;
  EXPECT_EQ(manager.system->GetDriverInfo(0, driver), AudioResult::Ok);
  EXPECT_EQ(driver, "Wave File Writer");

  // A camera somewhere, turned away from the axes: "right" is the camera's own right.
  Camera& camera = ObjectManager::Instance().camera;
  camera.mode = Camera::kEyeMode;
  camera.position = Vector(2.0f, 1.0f, -3.0f);
  camera.yaw = 0.9f;
  camera.pitch = -0.3f;
  camera.UpdateView();
  manager.Update();
  const Vector right = camera.GetRight();

  const Sound chop = manager.LoadSound("assets/chop1.wav");
  ASSERT_TRUE(chop.IsLoaded());

  std::ofstream events(std::string(dir) + "/events.txt");
  // Plays are spaced by the device's clock, not the wall clock, so they stay apart in the output
  // even when the mixer thread is held up by a busy machine.
  double previousPlay = DeviceSeconds();
  ASSERT_GE(previousPlay, 0.0);
  auto waitGap = [&] {
    const auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (DeviceSeconds() < previousPlay + kGapSeconds &&
           std::chrono::steady_clock::now() < giveUp)
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
  };
  auto play = [&](const char* label, const Vector& position, float volume) {
    waitGap();
    previousPlay = DeviceSeconds();
    const size_t logBefore = System::Instance().GetLogText().size();
    events << label << ' ' << previousPlay << ' ' << volume << '\n';
    manager.PlaySound(chop, position, volume);
    const std::string log = System::Instance().GetLogText().substr(logBefore);
    // The device mixes at least the 32 channels asked for as positional sources.
    const size_t num3d = log.find("num3d = ");
    ASSERT_NE(num3d, std::string::npos) << log;
    EXPECT_GE(std::atoi(log.c_str() + num3d + 8), 32) << log;
    EXPECT_NE(log.find("isPlaying = 1\n"), std::string::npos) << log;
  };
  play("right", camera.position + right * kSideDistance, 1.0f);
  play("centre", camera.position, 1.0f);
  play("centre_half", camera.position, 0.5f);
  play("left", camera.position - right * kSideDistance, 1.0f);
  play("right_far", camera.position + right * (2.0f * kSideDistance), 1.0f);
  waitGap();
  events.close();
  manager.Kill();  // closing the device completes the WAV file
  EXPECT_FALSE(System::Instance().ErrorReported());
}

struct Heard {
  std::string label;
  double playedAt = 0.0;  // seconds of output mixed when PlaySound was called
  float volume = 0.0f;
  long onset = -1;    // first loud frame after playedAt
  double left = 0.0;  // energy (sum of squares) of each channel over the sound
  double right = 0.0;
};

TEST(SoundWaveCapture, ChopIsHeardOnItsSideAtItsTimeAndScaledByVolume) {
  if (std::getenv(sound_test::kChildDirVariable) != nullptr) GTEST_SKIP() << "in the child";
  const sound_test::TempDir scratch;
  ASSERT_FALSE(scratch.path.empty());
  const std::string dir = scratch.path;
  const std::string conf = dir + "/alsoft.conf";
  const std::string output = dir + "/out.wav";
  std::ofstream(conf) << "[wave]\nfile=" << output << "\n";
  ASSERT_EQ(sound_test::RunSelf("SoundWaveChild.*", {{"ALSOFT_DRIVERS", "wave"},
                                                     {"ALSOFT_CONF", conf},
                                                     {sound_test::kChildDirVariable, dir}}),
            0);

  sound_test::WavData wav;
  ASSERT_TRUE(sound_test::ReadWav(output, wav));
  ASSERT_EQ(wav.channels, 2);
  ASSERT_GT(wav.rate, 0);
  const long frames = long(wav.interleaved.size() / 2);
  auto sample = [&](long frame, int channel) {
    return wav.interleaved[size_t(frame * 2 + channel)];
  };

  std::vector<Heard> heard;
  std::istringstream events(sound_test::ReadText(dir + "/events.txt"));
  Heard h;
  while (events >> h.label >> h.playedAt >> h.volume) heard.push_back(h);
  ASSERT_EQ(heard.size(), 5u);

  // Loud enough to be the chop, far above the silence between plays (16-bit: 1 step = 3e-5).
  constexpr float kLoud = 0.01f;
  // The mixer starts a sound at its next period: allow a little before (clock rounding) and up
  // to 0.1 s after the call.
  const long early = long(0.005 * wav.rate), late = long(0.1 * wav.rate);
  const long window = long(0.25 * wav.rate);  // covers the 0.18 s chop
  long previousEnd = 0;
  for (Heard& e : heard) {
    const long called = long(e.playedAt * wav.rate);
    ASSERT_GE(called, previousEnd) << e.label;
    for (long f = previousEnd; f < std::min(frames, called + late + window); ++f) {
      if (std::fabs(sample(f, 0)) > kLoud || std::fabs(sample(f, 1)) > kLoud) {
        e.onset = f;
        break;
      }
    }
    ASSERT_GE(e.onset, called - early) << e.label << ": sound before it was played";
    ASSERT_LE(e.onset, called + late) << e.label << ": sound late or missing";
    ASSERT_LE(e.onset + window, frames) << e.label;
    for (long f = e.onset; f < e.onset + window; ++f) {
      e.left += double(sample(f, 0)) * sample(f, 0);
      e.right += double(sample(f, 1)) * sample(f, 1);
    }
    previousEnd = e.onset + window;
    std::cout << e.label << ": heard " << 1000.0 * double(e.onset - called) / wav.rate
              << " ms after the call, energy left " << e.left << ", right " << e.right << "\n";
  }

  const Heard& right = heard[0];
  const Heard& centre = heard[1];
  const Heard& half = heard[2];
  const Heard& left = heard[3];
  const Heard& rightFar = heard[4];
  // Panned: clearly more energy on the side it was played on.
  EXPECT_GT(right.right, 4.0 * right.left) << right.left << " " << right.right;
  EXPECT_GT(left.left, 4.0 * left.right) << left.left << " " << left.right;
  // At the listener: balanced.
  EXPECT_NEAR(centre.left / centre.right, 1.0, 0.05);
  // Energy goes with the square of the volume.
  EXPECT_NEAR((half.left + half.right) / (centre.left + centre.right), 0.25, 0.25 * 0.15);
  // Distance: the inverse-distance model with minimum distance 1 and roll-off 0.6 gives a gain of
  // 1 / (1 + 0.6 (d - 1)): 1 / 2.2 at 3 units, 1 / 4 at 6 units, in the same direction.
  const double gainNear = 1.0 / (1.0 + 0.6 * (kSideDistance - 1.0));
  const double gainFar = 1.0 / (1.0 + 0.6 * (2.0 * kSideDistance - 1.0));
  const double expected = (gainNear * gainNear) / (gainFar * gainFar);
  EXPECT_NEAR((right.left + right.right) / (rightFar.left + rightFar.right), expected,
              0.1 * expected);
  EXPECT_GT(rightFar.right, 4.0 * rightFar.left);
}

}  // namespace
