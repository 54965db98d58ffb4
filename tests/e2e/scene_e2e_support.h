#pragma once
// Running the real program for end-to-end tests.
//
// Each SceneRun owns a private X server (Xvfb with -displayfd, so parallel
// tests never share a pointer or a keyboard) and a scratch working directory
// holding a settings file (a large slowFrameTime, so the slow-frame culling
// of a loaded machine never removes objects under a test) and links to the
// shaders/ and assets/ folders. The program's output goes to "out.log" there.
//
// Input goes through xdotool as real X events. The mouse buttons are sampled
// once per frame, so every press spans frames: mousedown, sleep, mousemove,
// sleep, mouseup.

#include <unistd.h>

#include <chrono>
#include <cmath>
#include <cstdlib>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "support/process.h"
#include "support/scratch.h"

namespace e2e {

inline void Sleep(double seconds) { std::this_thread::sleep_for(std::chrono::duration<double>(seconds)); }

inline std::vector<std::string> SplitLines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

// One object line of a --dump-scene file (the scene's names hold no quotes,
// commas or brackets).
struct DumpedObject {
  std::string name, line;
  // The text after "key": a quoted name, a bracketed array or a plain value.
  std::string Raw(const std::string& key) const {
    const std::string tag = "\"" + key + "\":";
    size_t begin = line.find(tag);
    if (begin == std::string::npos) return "";
    begin += tag.size();
    if (line[begin] == '"') return line.substr(begin + 1, line.find('"', begin + 1) - begin - 1);
    if (line[begin] == '[') return line.substr(begin + 1, line.find(']', begin) - begin - 1);
    return line.substr(begin, line.find_first_of(",}", begin) - begin);
  }
  // A number field, or item i of an array field; NaN when null.
  double Get(const std::string& key, int i = 0) const {
    std::istringstream items(Raw(key));
    std::string item;
    for (int k = 0; k <= i; ++k) std::getline(items, item, ',');
    return item == "null" ? NAN : std::strtod(item.c_str(), nullptr);
  }
  bool HasNull() const { return line.find("null") != std::string::npos; }  // a number was not finite
};

struct SceneDump {
  std::vector<DumpedObject> objects;
  int tutorialPage = -1;
  explicit SceneDump(const std::string& text) {
    for (const std::string& line : SplitLines(text)) {
      DumpedObject object{"", line};
      if (line.rfind("{\"tutorialPage\":", 0) == 0) {
        tutorialPage = int(object.Get("tutorialPage"));
      } else {
        object.name = object.Raw("name");
        objects.push_back(object);
      }
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
  SceneRun() : dir("cleave_e2e") {
    std::ofstream(dir.File("settings.txt")) << "slowFrameTime=1000\n";
    dir.LinkProgramData();
  }
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
    xvfbPid = support::Spawn("Xvfb", {"-displayfd", std::to_string(fds[1]), "-screen", "0", "1024x768x24",
                                               "-nolisten", "tcp"}, {{}, "", "/dev/null"});
    close(fds[1]);
    std::string number;
    char c = 0;
    while (xvfbPid > 0 && read(fds[0], &c, 1) == 1 && c != '\n') number += c;
    close(fds[0]);
    display = ":" + number;
    return !number.empty();
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
    while (std::chrono::steady_clock::now() < end && Log().find(text) == std::string::npos && Running()) Sleep(0.1);
    return Log().find(text) != std::string::npos;
  }
  bool Running() {
    if (programPid > 0 && (exitCode = support::WaitChild(programPid, 0.0)) >= 0) programPid = -1;
    return programPid > 0;
  }
  // The program's exit code, or -1 when it did not end within `seconds`
  // (it is then stopped).
  int WaitExit(double seconds) {
    if (programPid > 0 && (exitCode = support::WaitChild(programPid, seconds)) < 0) support::StopChild(programPid);
    programPid = -1;
    return exitCode;
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
  SceneDump Dump() const { return SceneDump(support::ReadFile(dir.File("scene.jsonl"))); }

 private:
  std::string display;
  pid_t xvfbPid = -1, programPid = -1;
  int exitCode = -1;
};

}  // namespace e2e
