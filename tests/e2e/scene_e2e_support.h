#pragma once
// Running the real program for end-to-end tests.
//
// Each SceneRun owns a private X server (Xvfb with -displayfd, so parallel
// tests never share a pointer or a keyboard) and a scratch working directory
// with links to the shaders/ and assets/ folders, which the program reads
// relative to its working directory, and no settings file: the program runs
// at its defaults. Its output goes to "out.log" there.
//
// Input goes through xdotool as real X events. The mouse buttons are sampled
// once per frame, so every press spans frames: mousedown, sleep, mousemove,
// sleep, mouseup.

#include <fcntl.h>
#include <signal.h>
#include <sndfile.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace e2e {

inline void Sleep(double seconds) {
  std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
}

inline std::string ReadFile(const std::filesystem::path& path) {
  std::stringstream text;
  text << std::ifstream(path).rdbuf();
  return text.str();
}

inline std::vector<std::string> SplitLines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

// The text after "key" in a --dump-scene line: a quoted name, a bracketed
// array or a plain value (the scene's names hold no quotes, commas or
// brackets).
inline std::string RawField(const std::string& line, const std::string& key) {
  const std::string tag = "\"" + key + "\":";
  size_t begin = line.find(tag);
  if (begin == std::string::npos) return "";
  begin += tag.size();
  if (line[begin] == '"') return line.substr(begin + 1, line.find('"', begin + 1) - begin - 1);
  if (line[begin] == '[') return line.substr(begin + 1, line.find(']', begin) - begin - 1);
  return line.substr(begin, line.find_first_of(",}", begin) - begin);
}

// One object line of the dump.
struct DumpedObject {
  std::string name, line;
  // A number field, or item i of an array field; NaN when null.
  double Get(const std::string& key, int i = 0) const {
    std::istringstream items(RawField(line, key));
    std::string item;
    for (int k = 0; k <= i; ++k) std::getline(items, item, ',');
    return item == "null" ? NAN : std::strtod(item.c_str(), nullptr);
  }
  // Some number was not finite when written.
  bool HasNull() const { return line.find("null") != std::string::npos; }
};

struct SceneDump {
  std::vector<DumpedObject> objects;
  int tutorialPage = -1;

  explicit SceneDump(const std::string& text) {
    for (const std::string& line : SplitLines(text)) {
      if (line.rfind("{\"tutorialPage\":", 0) == 0)
        tutorialPage = std::atoi(RawField(line, "tutorialPage").c_str());
      else
        objects.push_back(DumpedObject{RawField(line, "name"), line});
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

// Largest absolute sample of a WAV file, or -1 when it cannot be read.
inline double PeakAmplitude(const std::string& path) {
  SF_INFO info{};
  SNDFILE* file = sf_open(path.c_str(), SFM_READ, &info);
  if (file == nullptr) return -1.0;
  std::vector<float> samples(static_cast<size_t>(info.frames * info.channels));
  const sf_count_t read = sf_readf_float(file, samples.data(), info.frames);
  sf_close(file);
  double peak = 0.0;
  for (sf_count_t i = 0; i < read * info.channels; ++i)
    peak = std::max(peak, std::fabs(static_cast<double>(samples[static_cast<size_t>(i)])));
  return peak;
}

class SceneRun {
 public:
  SceneRun() {
    char pattern[] = "/tmp/cleave_e2e_XXXXXX";
    if (mkdtemp(pattern) != nullptr) dir = pattern;
    const std::filesystem::path source(CLEAVE_SOURCE_DIR);
    std::error_code ignored;
    std::filesystem::create_directory_symlink(source / "shaders", dir / "shaders", ignored);
    std::filesystem::create_directory_symlink(source / "assets", dir / "assets", ignored);
  }

  ~SceneRun() {
    StopProgram();
    if (xvfbPid > 0) {
      kill(xvfbPid, SIGTERM);
      waitpid(xvfbPid, nullptr, 0);
    }
    std::error_code ignored;
    if (!keepDir) std::filesystem::remove_all(dir, ignored);
  }

  SceneRun(const SceneRun&) = delete;
  SceneRun& operator=(const SceneRun&) = delete;

  const std::filesystem::path& Dir() const { return dir; }
  void KeepDirectory() { keepDir = true; }  // for a look after a failure

  // Starts a private X server; false when it does not come up.
  bool StartDisplay() {
    int fds[2];
    if (pipe(fds) != 0) return false;
    xvfbPid = fork();
    if (xvfbPid == 0) {
      close(fds[0]);
      const int null = open("/dev/null", O_WRONLY);
      dup2(null, STDOUT_FILENO);
      dup2(null, STDERR_FILENO);
      const std::string fd = std::to_string(fds[1]);
      execlp("Xvfb", "Xvfb", "-displayfd", fd.c_str(), "-screen", "0", "1024x768x24", "-nolisten",
             "tcp", static_cast<char*>(nullptr));
      _exit(127);
    }
    close(fds[1]);
    std::string number;
    char c = 0;
    while (xvfbPid > 0 && read(fds[0], &c, 1) == 1 && c != '\n') number += c;
    close(fds[0]);
    display = ":" + number;
    return !number.empty();
  }

  // Starts build/cleave in the scratch directory with these arguments and
  // extra environment variables.
  bool StartProgram(const std::vector<std::string>& args,
                    const std::map<std::string, std::string>& env = {}) {
    const std::string binary = std::string(CLEAVE_BINARY_DIR) + "/cleave";
    programPid = fork();
    if (programPid == 0) {
      if (chdir(dir.c_str()) != 0) _exit(127);
      const int out = open("out.log", O_WRONLY | O_CREAT | O_TRUNC, 0644);
      dup2(out, STDOUT_FILENO);
      dup2(out, STDERR_FILENO);
      setenv("DISPLAY", display.c_str(), 1);
      // No sound card on a test machine: OpenAL's null output unless the
      // test asks for its wave writer.
      setenv("ALSOFT_DRIVERS", "null", 1);
      for (const auto& entry : env) setenv(entry.first.c_str(), entry.second.c_str(), 1);
      std::vector<char*> argv{const_cast<char*>(binary.c_str())};
      for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
      argv.push_back(nullptr);
      execv(binary.c_str(), argv.data());
      _exit(127);
    }
    return programPid > 0;
  }

  // Waits up to `seconds` for the program to print text.
  bool WaitForLog(const std::string& text, double seconds) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    while (std::chrono::steady_clock::now() < end && Running()) {
      if (Log().find(text) != std::string::npos) return true;
      Sleep(0.1);
    }
    return Log().find(text) != std::string::npos;
  }

  bool Running() {
    int status = 0;
    if (programPid <= 0 || waitpid(programPid, &status, WNOHANG) != programPid)
      return programPid > 0;
    exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    programPid = -1;
    return false;
  }

  // Waits for the program to end: its exit code, or -1 after `seconds`
  // (the program is then stopped).
  int WaitExit(double seconds) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    while (Running()) {
      if (std::chrono::steady_clock::now() >= end) {
        StopProgram();
        return -1;
      }
      Sleep(0.1);
    }
    return exitCode;
  }

  // One xdotool command on this run's display; true when it succeeded.
  bool Xdo(const std::string& args) {
    return std::system(("DISPLAY=" + display + " xdotool " + args + " >/dev/null 2>&1").c_str()) == 0;
  }
  void Move(int x, int y) { Xdo("mousemove " + std::to_string(x) + " " + std::to_string(y)); }

  // A press of `button` (1 left, 3 right) at (x0, y0) moved to (x1, y1)
  // and released, spread over several frames; `modifier` (an X key name
  // such as "shift") is held around the press when given.
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

  std::string Log() const { return ReadFile(dir / "out.log"); }
  SceneDump Dump() const { return SceneDump(ReadFile(dir / "scene.jsonl")); }

  void StopProgram() {
    if (programPid <= 0) return;
    kill(programPid, SIGTERM);
    for (int i = 0; i < 50 && Running(); ++i) Sleep(0.1);
    if (programPid > 0) {
      kill(programPid, SIGKILL);
      waitpid(programPid, nullptr, 0);
      programPid = -1;
    }
  }

 private:
  std::filesystem::path dir;
  std::string display;
  pid_t xvfbPid = -1, programPid = -1;
  int exitCode = -1;
  bool keepDir = false;
};

}  // namespace e2e
