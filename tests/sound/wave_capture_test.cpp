// Hearing the engine: OpenAL Soft's wave writer (ALSOFT_DRIVERS=wave, with a configuration file
// naming the output) mixes everything the sound module plays into a WAV file. A child process
// plays the chop sound to the listener's right, at the listener at two volumes, to its left and
// further to its right; this process then reads the file and checks where, when and how loud
// each one was heard.

#include <gtest/gtest.h>

#include <AL/alc.h>
#include <AL/alext.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <thread>

#include "core/system.h"
#include "objects/object_manager.h"
#include "sound/sound_manager.h"
#include "sound_test_support.h"
#include "support/log_capture.h"
#include "support/process.h"
#include "support/scratch.h"
#include "support/wav.h"

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
  ASSERT_TRUE(manager.system && manager.system->HasDevice());

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
  const std::pair<Vector, float> plays[] = {{right * kSideDistance, 1.0f}, {Vector(), 1.0f}, {Vector(), 0.5f},
                                            {right * -kSideDistance, 1.0f}, {right * (2.0f * kSideDistance), 1.0f}};
  for (int i = 0; i <= 5; ++i) {
    const auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (DeviceSeconds() < previousPlay + kGapSeconds && std::chrono::steady_clock::now() < giveUp)
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    if (i == 5) break;
    previousPlay = DeviceSeconds();
    support::LogCapture log;
    events << i << ' ' << previousPlay << ' ' << plays[i].second << '\n';
    manager.PlaySound(chop, camera.position + plays[i].first, plays[i].second);
    EXPECT_TRUE(log.Logged("isPlaying = 1\n")) << log.NewLog();
  }
  events.close();
  manager.Kill();  // closing the device completes the WAV file
  EXPECT_FALSE(System::Instance().ErrorReported());
}

struct Heard {
  std::string label;
  double playedAt = 0.0;  // seconds of output mixed when PlaySound was called
  float volume = 0.0f;
  double left = 0.0, right = 0.0;  // energy (sum of squares) of each channel over the sound
};

TEST(SoundWaveCapture, ChopIsHeardOnItsSideAtItsTimeAndScaledByVolume) {
  if (std::getenv(sound_test::kChildDirVariable) != nullptr) GTEST_SKIP() << "in the child";
  const support::ScratchDir scratch;
  const std::string dir = scratch.Path().string(), conf = scratch.File("alsoft.conf"), output = scratch.File("out.wav");
  std::ofstream(conf) << "[wave]\nfile=" << output << "\n";
  ASSERT_EQ(support::RunSelf("SoundWaveChild.*", {"ALSOFT_DRIVERS=wave", "ALSOFT_CONF=" + conf,
                                                  std::string(sound_test::kChildDirVariable) + "=" + dir}),
            0);
  support::Wav capture;
  ASSERT_TRUE(support::ReadWav(output, capture));
  ASSERT_EQ(capture.channels, 2);
  const std::vector<float>& wav = capture.samples;
  const int rate = capture.rate;
  const long frames = long(wav.size() / 2);

  std::vector<Heard> heard;
  std::ifstream events(scratch.File("events.txt"));
  Heard h;
  while (events >> h.label >> h.playedAt >> h.volume) heard.push_back(h);
  ASSERT_EQ(heard.size(), 5u);

  // Loud enough to be the chop, far above the silence between plays (16-bit: 1 step = 3e-5).
  constexpr float kLoud = 0.01f;
  // The mixer starts a sound at its next period: allow a little before (clock rounding) and up
  // to 0.1 s after the call.
  const long early = long(0.005 * rate), late = long(0.1 * rate);
  const long window = long(0.25 * rate);  // covers the 0.18 s chop
  long previousEnd = 0;
  for (Heard& e : heard) {
    const long called = long(e.playedAt * rate);
    ASSERT_GE(called, previousEnd) << e.label;
    long onset = previousEnd;  // first loud frame after the previous sound
    const long searchEnd = std::min(frames, called + late + window);
    while (onset < searchEnd && std::fabs(wav[2 * onset]) <= kLoud &&
           std::fabs(wav[2 * onset + 1]) <= kLoud)
      ++onset;
    ASSERT_TRUE(onset >= called - early && onset <= called + late && onset + window <= frames)
        << e.label << ": heard at " << onset << ", played at " << called;
    for (long f = onset; f < onset + window; ++f) {
      e.left += double(wav[2 * f]) * wav[2 * f];
      e.right += double(wav[2 * f + 1]) * wav[2 * f + 1];
    }
    previousEnd = onset + window;
  }

  const Heard &right = heard[0], &centre = heard[1], &half = heard[2], &left = heard[3], &rightFar = heard[4];
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
