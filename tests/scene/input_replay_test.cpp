// Record and replay in the headless scene: a session of cut gestures,
// recorded with its state hashes and written out, replays from the text into
// the same dump bit for bit with no second diverging; one sample moved by a
// frame is seen as divergence from its second on. Damaged recordings are
// refused.

#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>
#include <string>

#include "core/input_recording.h"
#include "objects/camera.h"
#include "scene/headless_scene.h"
#include "scene/scene_dump.h"
#include "scene/split_orchestration.h"
#include "scene/state_hash.h"

namespace {

constexpr long kFrames = 300;

// The app's gesture, reduced: a left drag from press to release cuts along
// the plane through both cursor points (just past the near plane) and the eye.
struct CutDriver {
  Camera camera;
  SplitOrchestrator cutter;
  bool down = false;
  Vector start;
  CutDriver() {
    camera.position = Vector(5.3574f, 2.1208f, 1.2421f, 0.0f);
    camera.yaw = 1.4625f;
    camera.UpdateView();
    camera.SetViewportSize(800, 600);
  }
  void Sample(const InputRecord& input) {
    const Vector point = camera.Unproject(Vector(float(input.values[0]), float(input.values[1]), 0.0f));
    const bool pressed = static_cast<int>(input.values[2]) & 1;
    if (pressed && !down) start = point;
    if (!pressed && down) cutter.SliceObjects(Plane::FromPoints(start, point, WithW(camera.GetInverseView().Column(3), 0.0f)));
    down = pressed;
  }
};

// Runs the session: recording, the user's drags are made here; replaying,
// they come from the session. Returns the scene dump at the end.
std::string RunSession(InputSession& session) {
  ObjectManager::Instance().objCounter = 0;  // numbered as in a fresh run
  HeadlessScene scene;
  scene.AddStartObjects();
  CutDriver driver;
  const auto drag = [&](long frame, float x0, float y0, float x1, float y1) {
    for (long k = 0; k <= 20; ++k)
      session.Add(frame + k, 'F', {x0 + (x1 - x0) * k / 20.0, y0 + (y1 - y0) * k / 20.0, 1.0});
    session.Add(frame + 21, 'F', {x1, y1, 0.0});
  };
  if (session.mode == InputSession::Mode::kRecord) {
    drag(60, -0.6f, -0.1f, 0.6f, -0.1f);
    drag(150, 0.1f, 0.5f, 0.1f, -0.7f);
  }
  size_t next = 0;
  while (session.frame < kFrames) {
    session.BeginFrame();
    if (session.SecondDue()) session.AddHash(StateHash(ObjectManager::Instance().objects));
    const std::vector<InputRecord>& recorded = session.recording.inputs;
    if (session.mode == InputSession::Mode::kRecord)
      for (; next < recorded.size() && recorded[next].frame == session.frame; ++next) driver.Sample(recorded[next]);
    else
      for (const InputRecord& input : session.TakeFrame()) driver.Sample(input);
    driver.cutter.ProcessSplitQueue(1.0e9);
    scene.Step(1);
  }
  session.recording.endFrame = session.frame;
  std::ostringstream dump;
  WriteSceneDump(dump, ObjectManager::Instance().objects, 0);
  return dump.str();
}

}  // namespace

TEST(InputReplay, ReplayedSessionGivesTheRecordedDumpAndFlagsAMovedSample) {
  InputSession recorder;
  recorder.mode = InputSession::Mode::kRecord;
  const std::string recordedDump = RunSession(recorder);
  ASSERT_GE(std::count(recordedDump.begin(), recordedDump.end(), '\n'), 7);  // ground, 3 solids, 3+ pieces
  const std::string text = FormatRecording(recorder.recording);

  InputSession player;
  player.mode = InputSession::Mode::kReplay;
  std::string error;
  ASSERT_TRUE(ParseRecording(text, player.recording, error)) << error;
  EXPECT_EQ(RunSession(player), recordedDump);
  const Divergence same = CompareHashes(recorder.recording.hashes, player.hashes);
  EXPECT_EQ(same.compared, size_t(kFrames / 60 - 1));
  EXPECT_EQ(same.differing, 0u);

  // The second drag's release a frame later (frame 171 -> 172, in second 3).
  std::string moved = text;
  moved.replace(moved.find("F 171 "), 6, "F 172 ");
  InputSession late;
  late.mode = InputSession::Mode::kReplay;
  ASSERT_TRUE(ParseRecording(moved, late.recording, error)) << error;
  RunSession(late);
  const Divergence d = CompareHashes(recorder.recording.hashes, late.hashes);
  EXPECT_EQ(d.compared, 4u);
  EXPECT_EQ(d.firstSecond, 3u);
  EXPECT_NE(DivergenceReport(d).find("at second 3: " + std::to_string(d.differing) + " of 4 seconds differ"), std::string::npos) << DivergenceReport(d);
}

TEST(InputReplay, DamagedRecordingsAreRefused) {
  const std::string good = "cleave-recording 1\nseed 5\nF 2 0.5 -0.25 1\nK 3 32 65 1 0\nH 1 00000000000000ff\nE 9\n";
  Recording recording;
  std::string error;
  ASSERT_TRUE(ParseRecording(good, recording, error)) << error;
  EXPECT_EQ(recording.seed, 5u);
  EXPECT_EQ(recording.hashes.at(0), 255u);
  for (const std::string& bad : {std::string("cleave-recording 2\nE 1\n"), good.substr(0, good.size() - 4),
                                 std::string("cleave-recording 1\nF 2 0.5 -0.25\nE 1\n"),
                                 std::string("cleave-recording 1\nF 4 0 0 0\nF 3 0 0 0\nE 9\n"),
                                 std::string("cleave-recording 1\nQ 1 0\nE 1\n"), std::string("cleave-recording 1\nH 2 00000000000000ff\nE 1\n")}) {
    error.clear();
    EXPECT_FALSE(ParseRecording(bad, recording, error)) << bad;
    EXPECT_FALSE(error.empty());
  }
}
