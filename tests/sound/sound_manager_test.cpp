// SoundManager: the set-up sequence and the two results it acts on (an old layer version, a
// speaker mode the output cannot use), the no-device path, loading and playing with their
// diagnostics, the listener on the camera, the "Sound Volume" event and bad sound files.

#include <gtest/gtest.h>

#include <unistd.h>

#include <cmath>
#include <cstdlib>
#include <sstream>

#include "event_manager.h"
#include "object_manager.h"
#include "sound/sound_manager.h"
#include "sound_test_support.h"
#include "system.h"

namespace {

// An audio system whose driver queries are scripted and whose set-up calls are written down;
// everything else is the real layer (which, without a device, runs with no sound).
class RecordingAudioSystem : public AudioSystem {
 public:
  struct Script {
    uint32_t version = kAudioLayerVersion;
    int numDrivers = 0;
    uint32_t caps = 0;
    SpeakerMode speakerMode = SpeakerMode::Stereo;
    std::string driverName = "Test Driver";
    bool failFirstInit = false;  // with "no output in this speaker mode"
  };

  RecordingAudioSystem(const Script& script_, std::vector<std::string>& calls_)
      : script(script_), calls(calls_) {}

  AudioResult GetVersion(uint32_t& version) override {
    Record("GetVersion");
    version = script.version;
    return AudioResult::Ok;
  }
  AudioResult GetNumDrivers(int& numDrivers) override {
    Record("GetNumDrivers");
    numDrivers = script.numDrivers;
    return AudioResult::Ok;
  }
  AudioResult GetDriverCaps(int driver, uint32_t& caps, SpeakerMode& mode) override {
    Record("GetDriverCaps", driver);
    caps = script.caps;
    mode = script.speakerMode;
    return AudioResult::Ok;
  }
  AudioResult GetDriverInfo(int driver, std::string& name) override {
    Record("GetDriverInfo", driver);
    name = script.driverName;
    return AudioResult::Ok;
  }
  AudioResult SetOutput(OutputType type) override {
    Record("SetOutput", int(type));
    return AudioSystem::SetOutput(type);
  }
  AudioResult SetSpeakerMode(SpeakerMode mode) override {
    Record("SetSpeakerMode", int(mode));
    return AudioResult::Ok;  // the real layer would refuse anything but stereo on a device
  }
  AudioResult SetDSPBufferSize(uint32_t length, int numBuffers) override {
    Record("SetDSPBufferSize", int(length), numBuffers);
    return AudioSystem::SetDSPBufferSize(length, numBuffers);
  }
  AudioResult SetSoftwareFormat(int rate, SampleFormat format, int outputs, int inputs,
                                Resampler resampler) override {
    Record("SetSoftwareFormat", rate, int(format), outputs, inputs, int(resampler));
    return AudioResult::Ok;
  }
  AudioResult Init(int maxChannels, uint32_t flags) override {
    Record("Init", maxChannels, int(flags));
    if (script.failFirstInit && ++initCalls == 1) return AudioResult::OutputCreateBuffer;
    return AudioSystem::Init(maxChannels, flags);
  }
  AudioResult Set3DSettings(float doppler, float distanceFactor, float rollOff) override {
    std::ostringstream text;
    text << "Set3DSettings " << doppler << ' ' << distanceFactor << ' ' << rollOff;
    calls.push_back(text.str());
    return AudioSystem::Set3DSettings(doppler, distanceFactor, rollOff);
  }

 private:
  template <class... Args>
  void Record(const std::string& call, Args... args) {
    std::ostringstream text;
    text << call;
    ((text << ' ' << args), ...);
    calls.push_back(text.str());
  }

  Script script;
  std::vector<std::string>& calls;
  int initCalls = 0;
};

class SoundManagerTest : public ::testing::Test {
 protected:
  void TearDown() override {
    SoundManager& sound = SoundManager::Instance();
    if (sound.system) sound.Kill();  // tests that kill it themselves have unregistered already
    sound.createSystem = AudioSystem::Create;
    System::Instance().running = true;
  }

  // Init with a recording system following script; returns the calls it saw.
  std::vector<std::string> InitRecorded(const RecordingAudioSystem::Script& script) {
    calls.clear();
    SoundManager::Instance().createSystem = [this, script](std::unique_ptr<AudioSystem>& out) {
      out.reset(new RecordingAudioSystem(script, calls));
      return AudioResult::Ok;
    };
    SoundManager::Instance().Init();
    return calls;
  }

  // Log lines written since `before` characters of the log.
  static std::string LogSince(size_t before) {
    return System::Instance().GetLogText().substr(before);
  }

  std::vector<std::string> calls;
};

using Calls = std::vector<std::string>;

TEST_F(SoundManagerTest, WithoutADriverInitSetsNoSoundAndMakesNoDriverQuery) {
  const size_t start = System::Instance().GetLogText().size();
  const Calls seen = InitRecorded(RecordingAudioSystem::Script());
  EXPECT_EQ(seen, (Calls{"GetVersion", "GetNumDrivers", "SetOutput 2", "Init 32 0",
                         "Set3DSettings 1 1 0.6"}));
  EXPECT_EQ(SoundManager::Instance().system->GetOutputType(), OutputType::NoSound);
  EXPECT_EQ(SoundManager::Instance().volume, 255);
  EXPECT_EQ(LogSince(start).find("ERROR"), std::string::npos);
}

TEST_F(SoundManagerTest, ADriverIsSetUpFromItsCapsAndNameAndStereoIsRetriedOnce) {
  RecordingAudioSystem::Script script;
  script.numDrivers = 2;
  script.caps = kAudioCapsHardwareEmulated;
  script.speakerMode = SpeakerMode::FivePointOne;
  script.driverName = "SigmaTel High Definition Audio";
  script.failFirstInit = true;
  EXPECT_EQ(InitRecorded(script),
            (Calls{"GetVersion", "GetNumDrivers", "GetDriverCaps 0", "SetSpeakerMode 5",
                   "SetDSPBufferSize 1024 10", "GetDriverInfo 0", "SetSoftwareFormat 48000 5 0 0 1",
                   "Init 32 0", "SetSpeakerMode 2", "Init 32 0", "Set3DSettings 1 1 0.6"}));
  SoundManager::Instance().Kill();

  // A hardware-mixing driver of another make: no buffer size, no format, one Init.
  script.caps = 0;
  script.speakerMode = SpeakerMode::Stereo;
  script.driverName = "Some Card";
  script.failFirstInit = false;
  EXPECT_EQ(InitRecorded(script),
            (Calls{"GetVersion", "GetNumDrivers", "GetDriverCaps 0", "SetSpeakerMode 2",
                   "GetDriverInfo 0", "Init 32 0", "Set3DSettings 1 1 0.6"}));
}

TEST_F(SoundManagerTest, AnOldLayerVersionIsReportedAndStartUpGoesOn) {
  // The error report writes an error file into the working directory: use a scratch one.
  char previous[4096];
  ASSERT_NE(getcwd(previous, sizeof(previous)), nullptr);
  const sound_test::TempDir scratch;
  ASSERT_EQ(chdir(scratch.path.c_str()), 0);
  RecordingAudioSystem::Script script;
  script.version = 0x00043003;
  const size_t logBefore = System::Instance().GetLogText().size();
  const Calls seen = InitRecorded(script);
  ASSERT_EQ(chdir(previous), 0);

  EXPECT_FALSE(System::Instance().running);
  EXPECT_NE(LogSince(logBefore).find("ERROR: sound/sound_manager.cpp:"), std::string::npos);
  EXPECT_NE(LogSince(logBefore).find("Error!  You are using an old version of the audio layer "
                                     "00043003.  This program requires 00043004\n"),
            std::string::npos);
  ASSERT_FALSE(seen.empty());
  EXPECT_EQ(seen.back(), "Set3DSettings 1 1 0.6");  // the rest of the sequence still ran
}

TEST_F(SoundManagerTest, NoDevicePathLoadsPlaysFollowsTheCameraAndKills) {
  SoundManager& manager = SoundManager::Instance();
  const size_t start = System::Instance().GetLogText().size();
  manager.Init();  // the real layer: no driver here
  ASSERT_TRUE(manager.system);
  EXPECT_EQ(manager.system->GetOutputType(), OutputType::NoSound);

  const Sound chop = manager.LoadSound("assets/chop1.wav");
  EXPECT_EQ(chop.fileName, "assets/chop1.wav");
  ASSERT_TRUE(chop.IsLoaded());
  const size_t logBefore = System::Instance().GetLogText().size();
  manager.PlaySound(chop, Vector(1.0f, 2.0f, 3.0f), 0.7f);
  EXPECT_EQ(LogSince(logBefore), "num2d = 0\nnum3d = 0\nisPlaying = 1\naudibility = 0\n");

  // The listener sits on the camera after every update, whatever the camera does.
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
    EXPECT_EQ(p.x, camera.position.x);
    EXPECT_EQ(p.y, camera.position.y);
    EXPECT_EQ(p.z, camera.position.z);
    EXPECT_EQ(f.x, back.x);
    EXPECT_EQ(f.y, -back.y);
    EXPECT_EQ(f.z, back.z);
    EXPECT_EQ(u.x, 0.0f);
    EXPECT_EQ(u.y, 1.0f);
    EXPECT_EQ(u.z, 0.0f);
    EXPECT_EQ(v.x * v.x + v.y * v.y + v.z * v.z, 0.0f);
  }

  manager.Kill();
  EXPECT_FALSE(manager.system);
  // After Kill the module stays harmless.
  manager.Update();
  manager.PlaySound(chop, Vector(), 1.0f);
  EXPECT_FALSE(manager.LoadSound("assets/collide1.wav").IsLoaded());
  EXPECT_EQ(LogSince(start).find("ERROR"), std::string::npos);
}

TEST_F(SoundManagerTest, MissingOrCorruptFilesGiveSilentSoundsAndAWarningNamingThem) {
  SoundManager& manager = SoundManager::Instance();
  const size_t start = System::Instance().GetLogText().size();
  manager.Init();
  const sound_test::TempDir scratch;
  const std::string dir = scratch.path;
  const std::string corrupt = dir + "/corrupt.wav";
  {
    std::ofstream out(corrupt, std::ios::binary);
    out << "RIFF\x24\x08\x00\x00WAVEfmt \x10\x00\x00\x00 this is not a format block";
  }
  for (const std::string& path : {dir + "/no_such_sound.wav", corrupt}) {
    const size_t logBefore = System::Instance().GetLogText().size();
    const Sound sound = manager.LoadSound(path);
    EXPECT_FALSE(sound.IsLoaded());
    EXPECT_EQ(sound.fileName, path);
    const std::string log = LogSince(logBefore);
    EXPECT_NE(log.find("WARNING: "), std::string::npos) << log;
    EXPECT_NE(log.find(path), std::string::npos) << log;

    // Playing it plays nothing and still reports.
    const size_t playBefore = System::Instance().GetLogText().size();
    manager.PlaySound(sound, Vector(1.0f, 0.0f, 0.0f), 1.0f);
    EXPECT_NE(LogSince(playBefore).find("isPlaying = 0\naudibility = 0\n"), std::string::npos);
  }
  EXPECT_EQ(LogSince(start).find("ERROR"), std::string::npos);
}

TEST_F(SoundManagerTest, SoundVolumeEventSetsTheStoredVolume) {
  SoundManager& manager = SoundManager::Instance();
  EventManager::Instance().Init();
  manager.Init();
  EXPECT_EQ(manager.volume, 255);

  // Through the event bus: 0.5 of 255, truncated.
  Event event("Test", "SoundManager", "Sound Volume");
  event.SetParam<float>("volume", 0.5f);
  EventManager::Instance().PostEvent(event);
  manager.Update();
  EXPECT_EQ(manager.volume, 127);

  struct Case {
    float value;
    int32_t expected;
  };
  for (const Case& c : {Case{1.0f, 255}, Case{0.0f, 0}, Case{0.999f, 254}, Case{2.0f, 255},
                        Case{-0.5f, 0}, Case{std::nanf(""), 0}}) {
    Event direct("Test", "SoundManager", "Sound Volume");
    direct.SetParam<float>("volume", c.value);
    manager.HandleEvent(direct);
    EXPECT_EQ(manager.volume, c.expected) << c.value;
  }

  // Other types are ignored; a missing or mistyped parameter is reported, not thrown.
  manager.volume = 42;
  Event other("Test", "SoundManager", "Something Else");
  other.SetParam<float>("volume", 1.0f);
  manager.HandleEvent(other);
  Event missing("Test", "SoundManager", "Sound Volume");
  EXPECT_NO_THROW(manager.HandleEvent(missing));
  Event mistyped("Test", "SoundManager", "Sound Volume");
  mistyped.SetParam<double>("volume", 0.5);
  EXPECT_NO_THROW(manager.HandleEvent(mistyped));
  EXPECT_EQ(manager.volume, 42);
  EventManager::Instance().Kill();
}

// The same no-device path with OpenAL Soft given a driver list it cannot use (instead of its
// null backend), in a process of its own.
TEST(SoundManagerUnusableDrivers, RunsTheNoDevicePath) {
  if (std::getenv(sound_test::kKeepDriversVariable) != nullptr) GTEST_SKIP() << "in the child";
  const int status = sound_test::RunSelf(
      "SoundManagerTest.NoDevicePathLoadsPlaysFollowsTheCameraAndKills:"
      "AudioSystemNoDevice.SetUpFallsBackToNoSoundAndEveryCallSucceeds",
      {{"ALSOFT_DRIVERS", "no_such_backend"}, {sound_test::kKeepDriversVariable, "1"}});
  EXPECT_EQ(status, 0);
}

}  // namespace
