#pragma once
// Running the real program for end-to-end tests.
//
// Each SceneRun owns a private X server (Xvfb with -displayfd, so parallel
// tests never share a pointer or a keyboard) and a scratch working directory
// with links to the shaders/ and assets/ folders, and no settings file: the
// program runs at its defaults. Its output goes to "out.log" there.
//
// Input goes through xdotool as real X events. The mouse buttons are sampled
// once per frame, so every press spans frames: mousedown, sleep, mousemove,
// sleep, mouseup.

#include <unistd.h>

#include <chrono>
#include <cmath>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "support/process.h"
#include "support/scratch.h"

namespace e2e {

inline void Sleep(double seconds) { std::this_thread::sleep_for(std::chrono::duration<double>(seconds)); }

// The lines of the log that begin with prefix.
inline int CountLines(const std::string& log, const std::string& prefix) {
  std::istringstream lines(log);
  int count = 0;
  for (std::string line; std::getline(lines, line);) count += line.rfind(prefix, 0) == 0;
  return count;
}

// One line of a --dump-scene file (the scene's names hold no quotes, commas
// or brackets): a number field, or item i of an array field; NaN for null.
struct DumpedObject {
  std::string name, line;
  double Get(const std::string& key, int i = 0) const {
    size_t at = line.find("\"" + key + "\":");
    if (at == std::string::npos) return NAN;
    at += key.size() + 3 + (line[at + key.size() + 3] == '[' ? 1 : 0);
    for (int k = 0; k < i; ++k) at = line.find(',', at) + 1;
    return line.compare(at, 4, "null") == 0 ? NAN : std::strtod(line.c_str() + at, nullptr);
  }
  bool HasNull() const { return line.find("null") != std::string::npos; }  // a number was not finite
};

struct SceneDump {
  std::vector<DumpedObject> objects;
  int tutorialPage = -1;
  explicit SceneDump(const std::string& text) {
    std::istringstream lines(text);
    for (std::string line; std::getline(lines, line);) {
      const size_t name = line.find("{\"name\":\"");
      if (name == 0) objects.push_back({line.substr(9, line.find('"', 9) - 9), line});
      else tutorialPage = int(DumpedObject{"", line}.Get("tutorialPage"));
    }
  }
  const DumpedObject* Find(const std::string& name) const {
    for (const DumpedObject& o : objects)
      if (o.name == name) return &o;
    return nullptr;
  }
  int CountPrefix(const std::string& prefix) const {
    int count = 0;
    for (const DumpedObject& o : objects) count += o.name.rfind(prefix, 0) == 0;
    return count;
  }
};

class SceneRun {
 public:
  SceneRun() : dir("cleave_e2e") { dir.LinkProgramData(); }
  ~SceneRun() {
    support::StopChild(programPid);
    support::StopChild(xvfbPid);
  }
  SceneRun(const SceneRun&) = delete;
  SceneRun& operator=(const SceneRun&) = delete;

  support::ScratchDir dir;

  // Starts a private X server; false when it does not come up.
  bool StartDisplay() {
    int fds[2];
    if (pipe(fds) != 0) return false;
    xvfbPid = support::Spawn("Xvfb", {"-displayfd", std::to_string(fds[1]), "-screen", "0", "1024x768x24", "-nolisten",
                                      "tcp"}, {{}, "", "/dev/null"});
    close(fds[1]);
    char c = 0;
    while (xvfbPid > 0 && read(fds[0], &c, 1) == 1 && c != '\n') display += c;
    close(fds[0]);
    display = ":" + display;
    return display.size() > 1;
  }
  // Starts build/cleave in the scratch directory with these arguments and
  // extra environment ("NAME=value"). No sound card on a test machine:
  // OpenAL's null output unless the test asks for its wave writer.
  bool StartProgram(const std::vector<std::string>& args, std::vector<std::string> env = {}) {
    env.insert(env.end(), {"DISPLAY=" + display, "ALSOFT_DRIVERS=null"});
    programPid = support::Spawn(std::string(CLEAVE_BINARY_DIR) + "/cleave", args,
                                {env, dir.Path().string(), dir.File("out.log")});
    return programPid > 0;
  }
  // Waits up to `seconds` for the program to print text.
  bool WaitForLog(const std::string& text, double seconds) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    while (std::chrono::steady_clock::now() < end && Log().find(text) == std::string::npos && programPid > 0) {
      if (support::WaitChild(programPid, 0.1) >= 0) programPid = -1;
    }
    return Log().find(text) != std::string::npos;
  }
  // Waits up to `seconds` for the program to run `frames` more frames
  // (rounded up to its "objects = N" lines, one every 600 frames): a wait in
  // the scene's own time, which a slow machine only stretches.
  bool WaitForFrames(int frames, double seconds) {
    const int target = CountLines(Log(), "objects = ") + (frames + 599) / 600 + 1;
    const auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    while (std::chrono::steady_clock::now() < end && CountLines(Log(), "objects = ") < target && programPid > 0) {
      if (support::WaitChild(programPid, 0.1) >= 0) programPid = -1;
    }
    return CountLines(Log(), "objects = ") >= target;
  }
  // The program's exit code, or -1 when it did not end within `seconds`
  // (it is then stopped).
  int WaitExit(double seconds) {
    const int code = programPid > 0 ? support::WaitChild(programPid, seconds) : -1;
    if (code < 0) support::StopChild(programPid);
    programPid = -1;
    return code;
  }
  // One xdotool command on this run's display; true when it succeeded.
  bool Xdo(const std::string& args) {
    return std::system(("DISPLAY=" + display + " xdotool " + args + " >/dev/null 2>&1").c_str()) == 0;
  }
  void Move(int x, int y) { Xdo("mousemove " + std::to_string(x) + " " + std::to_string(y)); }
  // A press of `button` (1 left, 3 right) at (x0, y0) moved to (x1, y1) and
  // released, spread over several frames; `modifier` (an X key name such as
  // "shift") is held around the press when given.
  void Drag(int x0, int y0, int x1, int y1, int button = 1, const std::string& modifier = "") {
    Move(x0, y0);
    Sleep(0.4);
    if (!modifier.empty()) Xdo("keydown " + modifier);
    Xdo("mousedown " + std::to_string(button));
    Sleep(0.6);
    Move((x0 + x1) / 2, (y0 + y1) / 2);
    Sleep(0.4);
    Move(x1, y1);
    Sleep(0.6);
    Xdo("mouseup " + std::to_string(button));
    if (!modifier.empty()) Xdo("keyup " + modifier);
    Sleep(0.4);
  }
  void Click(int x, int y) { Drag(x, y, x, y); }
  // Holds a key over several frames.
  void HoldKey(const std::string& key, double seconds) {
    Xdo("keydown " + key);
    Sleep(seconds);
    Xdo("keyup " + key);
    Sleep(0.3);
  }
  std::string Log() const { return support::ReadFile(dir.File("out.log")); }
  // The private X server's display name (":N").
  const std::string& Display() const { return display; }
  SceneDump Dump() const { return SceneDump(support::ReadFile(dir.File("scene.jsonl"))); }

 private:
  std::string display;
  pid_t xvfbPid = -1, programPid = -1;
};

}  // namespace e2e
