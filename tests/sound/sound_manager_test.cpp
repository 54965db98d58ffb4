// SoundManager: the set-up sequence and the two results it acts on (an old layer version, a
// speaker mode the output cannot use), the no-device path, loading and playing with their
// diagnostics, the listener on the camera, the "Sound Volume" event and bad sound files.

#include <gtest/gtest.h>

#include <unistd.h>

#include <cmath>
#include <cstdlib>
#include <fstream>
#include <sstream>

#include "core/event_manager.h"
#include "core/system.h"
#include "objects/object_manager.h"
#include "sound/sound_manager.h"
#include "sound_test_support.h"

namespace {

using Calls = std::vector<std::string>;

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
  RecordingAudioSystem(const Script& script_, Calls& calls_) : script(script_), calls(calls_) {}

  AudioResult GetVersion(uint32_t& version) override {
    version = script.version;
    return Record("GetVersion");
  }
  AudioResult GetNumDrivers(int& numDrivers) override {
    numDrivers = script.numDrivers;
    return Record("GetNumDrivers");
  }
  AudioResult GetDriverCaps(int driver, uint32_t& caps, SpeakerMode& mode) override {
    caps = script.caps;
    mode = script.speakerMode;
    return Record("GetDriverCaps", driver);
  }
  AudioResult GetDriverInfo(int driver, std::string& name) override {
    name = script.driverName;
    return Record("GetDriverInfo", driver);
  }
  AudioResult SetOutput(OutputType type) override {
    Record("SetOutput", int(type));
    return AudioSystem::SetOutput(type);
  }
  // The real layer would refuse anything but stereo on a device.
  AudioResult SetSpeakerMode(SpeakerMode mode) override {
    return Record("SetSpeakerMode", int(mode));
  }
  AudioResult SetDSPBufferSize(uint32_t length, int numBuffers) override {
    Record("SetDSPBufferSize", length, numBuffers);
    return AudioSystem::SetDSPBufferSize(length, numBuffers);
  }
  AudioResult SetSoftwareFormat(int rate, SampleFormat format, int outputs, int inputs,
                                Resampler resampler) override {
    return Record("SetSoftwareFormat", rate, int(format), outputs, inputs, int(resampler));
  }
  AudioResult Init(int maxChannels, uint32_t flags) override {
    Record("Init", maxChannels, flags);
    if (script.failFirstInit && ++initCalls == 1) return AudioResult::OutputCreateBuffer;
    return AudioSystem::Init(maxChannels, flags);
  }
  AudioResult Set3DSettings(float doppler, float distance, float rollOff) override {
    Record("Set3DSettings", doppler, distance, rollOff);
    return AudioSystem::Set3DSettings(doppler, distance, rollOff);
  }

 private:
  template <class... Args>
  AudioResult Record(const std::string& call, Args... args) {
    std::ostringstream text;
    text << call;
    ((text << ' ' << args), ...);
    calls.push_back(text.str());
    return AudioResult::Ok;
  }

  Script script;
  Calls& calls;
  int initCalls = 0;
};

// Log lines written since `before` characters of the log.
std::string LogSince(size_t before) { return System::Instance().GetLogText().substr(before); }
size_t LogSize() { return System::Instance().GetLogText().size(); }

class SoundManagerTest : public ::testing::Test {
 protected:
  void TearDown() override {
    SoundManager& sound = SoundManager::Instance();
    if (sound.system) sound.Kill();  // tests that kill it themselves have unregistered already
    sound.createSystem = AudioSystem::Create;
    System::Instance().running = true;
  }

  // Init with a recording system following script; returns the calls it saw.
  Calls InitRecorded(const RecordingAudioSystem::Script& script) {
    calls.clear();
    SoundManager::Instance().createSystem = [this, script](std::unique_ptr<AudioSystem>& out) {
      out.reset(new RecordingAudioSystem(script, calls));
      return AudioResult::Ok;
    };
    SoundManager::Instance().Init();
    return calls;
  }

  Calls calls;
};

TEST_F(SoundManagerTest, WithoutADriverInitSetsNoSoundAndMakesNoDriverQuery) {
  const size_t start = LogSize();
  EXPECT_EQ(InitRecorded(RecordingAudioSystem::Script()),
            (Calls{"GetVersion", "GetNumDrivers", "SetOutput 2", "Init 32 0",
                   "Set3DSettings 1 1 0.6"}));
  EXPECT_EQ(SoundManager::Instance().system->GetOutputType(), OutputType::NoSound);
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
  script = RecordingAudioSystem::Script();
  script.numDrivers = 1;
  script.driverName = "Some Card";
  EXPECT_EQ(InitRecorded(script),
            (Calls{"GetVersion", "GetNumDrivers", "GetDriverCaps 0", "SetSpeakerMode 2",
                   "GetDriverInfo 0", "Init 32 0", "Set3DSettings 1 1 0.6"}));
}

TEST_F(SoundManagerTest, AnOldLayerVersionIsReportedAndStartUpGoesOn) {
  // The error report writes an error file into the working directory: use a scratch one.
  const std::string previous = std::filesystem::current_path();
  const sound_test::TempDir scratch;
  ASSERT_EQ(chdir(scratch.path.c_str()), 0);
  RecordingAudioSystem::Script script;
  script.version = 0x00043003;
  const size_t start = LogSize();
  const Calls seen = InitRecorded(script);
  ASSERT_EQ(chdir(previous.c_str()), 0);

  EXPECT_FALSE(System::Instance().running);
  EXPECT_NE(LogSince(start).find("ERROR: sound/sound_manager.cpp:"), std::string::npos);
  EXPECT_NE(LogSince(start).find("Error!  You are using an old version of the audio layer "
                                 "00043003.  This program requires 00043004\n"),
            std::string::npos);
  ASSERT_FALSE(seen.empty());
  EXPECT_EQ(seen.back(), "Set3DSettings 1 1 0.6");  // the rest of the sequence still ran
}

TEST_F(SoundManagerTest, NoDevicePathLoadsPlaysFollowsTheCameraAndKills) {
  SoundManager& manager = SoundManager::Instance();
  const size_t start = LogSize();
  manager.Init();  // the real layer: no driver here
  ASSERT_TRUE(manager.system);
  EXPECT_EQ(manager.system->GetOutputType(), OutputType::NoSound);
  const Sound chop = manager.LoadSound("assets/chop1.wav");
  EXPECT_EQ(chop.fileName, "assets/chop1.wav");
  ASSERT_TRUE(chop.IsLoaded());
  const size_t beforePlay = LogSize();
  manager.PlaySound(chop, Vector(1.0f, 2.0f, 3.0f), 0.7f);
  EXPECT_EQ(LogSince(beforePlay), "num2d = 0\nnum3d = 0\nisPlaying = 1\naudibility = 0\n");

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
    EXPECT_EQ(Vector(p.x, p.y, p.z), WithW(camera.position, 0.0f));
    EXPECT_EQ(Vector(f.x, f.y, f.z), Vector(back.x, -back.y, back.z));
    EXPECT_EQ(Vector(u.x, u.y, u.z), Vector(0.0f, 1.0f, 0.0f));
    EXPECT_EQ(Vector(v.x, v.y, v.z), Vector());
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
  const size_t start = LogSize();
  manager.Init();
  const sound_test::TempDir scratch;
  const std::string corrupt = scratch.path + "/corrupt.wav";
  std::ofstream(corrupt, std::ios::binary)
      << "RIFF\x24\x08\x00\x00WAVEfmt \x10\x00\x00\x00 this is not a format block";
  for (const std::string& path : {scratch.path + "/no_such_sound.wav", corrupt}) {
    const size_t beforeLoad = LogSize();
    const Sound sound = manager.LoadSound(path);
    EXPECT_FALSE(sound.IsLoaded());
    EXPECT_EQ(sound.fileName, path);
    const std::string log = LogSince(beforeLoad);
    EXPECT_NE(log.find("WARNING: "), std::string::npos) << log;
    EXPECT_NE(log.find(path), std::string::npos) << log;
    // Playing it plays nothing and still reports.
    const size_t beforePlay = LogSize();
    manager.PlaySound(sound, Vector(1.0f, 0.0f, 0.0f), 1.0f);
    EXPECT_NE(LogSince(beforePlay).find("isPlaying = 0\naudibility = 0\n"), std::string::npos);
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
  // Out-of-range values are clamped to 0 .. 255.
  for (const auto& [value, expected] : {std::make_pair(1.0f, 255), {0.999f, 254}, {2.0f, 255},
                                        {-0.5f, 0}, {std::nanf(""), 0}}) {
    event.SetParam<float>("volume", value);
    manager.HandleEvent(event);
    EXPECT_EQ(manager.volume, expected) << value;
  }
  // Other types are ignored; a missing or mistyped parameter is reported, not thrown.
  manager.volume = 42;
  Event other("Test", "SoundManager", "Something Else"), missing = event, mistyped = event;
  other.SetParam<float>("volume", 1.0f);
  manager.HandleEvent(other);
  missing = Event("Test", "SoundManager", "Sound Volume");
  mistyped.SetParam<double>("volume", 0.5);
  EXPECT_NO_THROW(manager.HandleEvent(missing));
  EXPECT_NO_THROW(manager.HandleEvent(mistyped));
  EXPECT_EQ(manager.volume, 42);
  EventManager::Instance().Kill();
}

// The same no-device path with OpenAL Soft given a driver list it cannot use (instead of its
// null backend), in a process of its own.
TEST(SoundManagerUnusableDrivers, RunsTheNoDevicePath) {
  if (std::getenv(sound_test::kKeepDriversVariable) != nullptr) GTEST_SKIP() << "in the child";
  EXPECT_EQ(sound_test::RunSelf("SoundManagerTest.NoDevicePathLoadsPlaysFollowsTheCameraAndKills",
                                {{"ALSOFT_DRIVERS", "no_such_backend"},
                                 {sound_test::kKeepDriversVariable, "1"}}),
            0);
}

}  // namespace
