// SoundManager: an old layer version, the no-device path (loading, playing, the listener on the
// camera, the "Sound Volume" event), and bad sound files.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <fstream>
#include <memory>

#include "core/system.h"
#include "objects/object_manager.h"
#include "sound/sound_manager.h"
#include "sound_test_support.h"
#include "support/log_capture.h"
#include "support/process.h"
#include "support/scratch.h"

namespace {

class SoundManagerTest : public ::testing::Test {
 protected:
  void TearDown() override {
    SoundManager& sound = SoundManager::Instance();
    if (sound.system) sound.Kill();  // tests that kill it themselves have unregistered already
    sound.createSystem = AudioSystem::Create;
  }
  support::LogCapture log;
};

// The real layer (which, without a device, runs with no sound) claiming to
// be an older version than the one the program needs.
class OldAudioSystem : public AudioSystem {
 public:
  AudioResult GetVersion(uint32_t& version) override {
    version = 0x00043003;
    return AudioResult::Ok;
  }
};

TEST_F(SoundManagerTest, AnOldLayerVersionIsReportedAndStartUpGoesOn) {
  SoundManager::Instance().createSystem = [](std::unique_ptr<AudioSystem>& out) {
    out.reset(new OldAudioSystem);
    return AudioResult::Ok;
  };
  SoundManager::Instance().Init();
  EXPECT_FALSE(System::Instance().running);
  EXPECT_TRUE(log.Logged("ERROR: sound/sound_manager.cpp:")) << log.NewLog();
  EXPECT_TRUE(log.Logged("old version of the audio layer 00043003.  This program requires 00043004\n"));
  EXPECT_EQ(SoundManager::Instance().system->GetOutputType(), OutputType::NoSound);  // set-up still ran
}

TEST_F(SoundManagerTest, NoDevicePathLoadsPlaysFollowsTheCameraAndKills) {
  SoundManager& manager = SoundManager::Instance();
  manager.Init();  // the real layer: no driver here
  ASSERT_TRUE(manager.system && manager.system->GetOutputType() == OutputType::NoSound);
  const Sound chop = manager.LoadSound("assets/chop1.wav");
  ASSERT_TRUE(chop.IsLoaded() && chop.fileName == "assets/chop1.wav");
  manager.PlaySound(chop, Vector(1.0f, 2.0f, 3.0f), 0.7f);
  EXPECT_EQ(log.Count("isPlaying = 1\n"), 1u) << log.NewLog();

  // The listener sits on the camera after every update, facing (f.x, -f.y, f.z) of the camera's
  // back vector f, up the world's y, not moving.
  Camera& camera = ObjectManager::Instance().camera;
  camera.mode = Camera::kEyeMode;
  for (int step = 0; step < 40; ++step) {
    camera.position = Vector(0.37f * step - 5.0f, std::sin(0.5f * step), 100.0f - 3.1f * step);
    camera.yaw = 0.41f * step;
    camera.pitch = 0.07f * float(step % 17) - 0.5f;
    camera.UpdateView();
    manager.Update();
    AudioVector p, v, f, u;
    ASSERT_EQ(manager.system->Get3DListenerAttributes(0, p, v, f, u), AudioResult::Ok);
    const Vector back = camera.GetBack();
    EXPECT_TRUE(Vector(p.x, p.y, p.z) == WithW(camera.position, 0.0f) && Vector(v.x, v.y, v.z) == Vector()) << step;
    EXPECT_TRUE(Vector(f.x, f.y, f.z) == Vector(back.x, -back.y, back.z) && Vector(u.x, u.y, u.z) == Vector(0, 1, 0)) << step;
  }

  // "Sound Volume" takes a gain of 0 to 1 to 0 .. 255, truncated: 0.5 gives 127.
  Event volume("Test", manager.name, "Sound Volume");
  volume.SetParam<float>("volume", 0.5f);
  manager.HandleEvent(volume);
  EXPECT_EQ(manager.volume, 127);

  manager.Kill();  // after which the module stays harmless
  EXPECT_FALSE(manager.system);
  manager.Update();
  manager.PlaySound(chop, Vector(), 1.0f);
  EXPECT_FALSE(manager.LoadSound("assets/collide1.wav").IsLoaded());
  EXPECT_FALSE(log.ErrorLogged()) << log.NewLog();
}

TEST_F(SoundManagerTest, MissingOrCorruptFilesGiveSilentSoundsAndAWarningNamingThem) {
  SoundManager& manager = SoundManager::Instance();
  manager.Init();
  const support::ScratchDir scratch;
  const std::string corrupt = scratch.File("corrupt.wav");
  std::ofstream(corrupt, std::ios::binary) << "RIFF\x24\x08\x00\x00WAVEfmt \x10\x00\x00\x00 this is not a format block";
  for (const std::string& path : {scratch.File("no_such_sound.wav"), corrupt}) {
    support::LogCapture load;
    const Sound sound = manager.LoadSound(path);
    EXPECT_FALSE(sound.IsLoaded());
    EXPECT_EQ(sound.fileName, path);
    EXPECT_TRUE(load.Logged("WARNING: ") && load.Logged(path)) << load.NewLog();
    manager.PlaySound(sound, Vector(1.0f, 0.0f, 0.0f), 1.0f);  // plays nothing, and says so
    EXPECT_TRUE(load.Logged("isPlaying = 0\n"));
  }
  EXPECT_FALSE(log.ErrorLogged()) << log.NewLog();
}

// The same no-device path with OpenAL Soft given a driver list it cannot use (instead of its
// null backend), in a process of its own.
TEST(SoundManagerUnusableDrivers, RunsTheNoDevicePath) {
  if (std::getenv(sound_test::kKeepDriversVariable) != nullptr) GTEST_SKIP() << "in the child";
  EXPECT_EQ(support::RunSelf("SoundManagerTest.NoDevicePathLoadsPlaysFollowsTheCameraAndKills",
                             {"ALSOFT_DRIVERS=no_such_backend", std::string(sound_test::kKeepDriversVariable) + "=1"}),
            0);
}

}  // namespace
