#pragma once
// Shared by the sound tests: the environment that keeps OpenAL Soft away from any real sound card,
// temporary directories, WAV files written with libsndfile, and re-running this test binary in a
// child process with its own environment (OpenAL Soft reads its drivers and configuration once
// per process, so each configuration needs a process of its own).

#include <sndfile.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <vector>

extern char** environ;

namespace sound_test {

// Set in a child that captures sound into a WAV file: names the directory to work in.
constexpr const char* kChildDirVariable = "CLEAVE_SOUND_CHILD_DIR";
// Set in a child that must keep the OpenAL driver list it was given.
constexpr const char* kKeepDriversVariable = "CLEAVE_SOUND_KEEP_DRIVERS";

// Before any OpenAL call: unless a parent chose the drivers, use only OpenAL Soft's null backend,
// so the tests behave the same with or without a sound card (the layer counts no driver there).
inline bool PrepareEnvironment() {
  if (std::getenv(kChildDirVariable) == nullptr && std::getenv(kKeepDriversVariable) == nullptr) {
    setenv("ALSOFT_DRIVERS", "null", 1);
    unsetenv("ALSOFT_CONF");
  }
  return true;
}
inline const bool environmentPrepared = PrepareEnvironment();

// A fresh directory under /tmp, removed with everything in it when this goes out of scope.
class TempDir {
 public:
  TempDir() {
    char pattern[] = "/tmp/cleave_sound_XXXXXX";
    const char* made = mkdtemp(pattern);
    if (made != nullptr) path = made;
  }
  ~TempDir() {
    std::error_code ignored;
    if (!path.empty()) std::filesystem::remove_all(path, ignored);
  }
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  std::string path;  // empty when no directory could be made
};

inline std::string AssetPath(const std::string& name) {
  return std::string(CLEAVE_SOURCE_DIR) + "/assets/" + name;
}

// Writes interleaved float frames as a 16-bit WAV file.
inline bool WriteWav(const std::string& path, int channels, int rate,
                     const std::vector<float>& interleaved) {
  SF_INFO info;
  std::memset(&info, 0, sizeof(info));
  info.channels = channels;
  info.samplerate = rate;
  info.format = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
  SNDFILE* file = sf_open(path.c_str(), SFM_WRITE, &info);
  if (file == nullptr) return false;
  const sf_count_t frames = sf_count_t(interleaved.size()) / channels;
  const bool ok = sf_writef_float(file, interleaved.data(), frames) == frames;
  sf_close(file);
  return ok;
}

struct WavData {
  int channels = 0;
  int rate = 0;
  std::vector<float> interleaved;
};

inline bool ReadWav(const std::string& path, WavData& data) {
  SF_INFO info;
  std::memset(&info, 0, sizeof(info));
  SNDFILE* file = sf_open(path.c_str(), SFM_READ, &info);
  if (file == nullptr) return false;
  data.channels = info.channels;
  data.rate = info.samplerate;
  data.interleaved.assign(size_t(info.frames) * size_t(info.channels), 0.0f);
  const sf_count_t read = sf_readf_float(file, data.interleaved.data(), info.frames);
  data.interleaved.resize(size_t(read) * size_t(info.channels));
  sf_close(file);
  return true;
}

inline std::string ReadText(const std::string& path) {
  std::ifstream in(path);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Runs this test binary again with one test filter and extra environment variables; returns the
// child's exit status (0 when its tests passed), or -1 when it could not be run.
inline int RunSelf(const std::string& filter, const std::map<std::string, std::string>& extraEnv) {
  std::vector<std::string> envStrings;
  for (char** e = environ; *e != nullptr; ++e) {
    const std::string entry(*e);
    const std::string key = entry.substr(0, entry.find('='));
    if (extraEnv.count(key) == 0) envStrings.push_back(entry);
  }
  for (const auto& kv : extraEnv) envStrings.push_back(kv.first + "=" + kv.second);
  std::vector<char*> envp;
  for (std::string& s : envStrings) envp.push_back(&s[0]);
  envp.push_back(nullptr);

  std::string exe = "/proc/self/exe";
  std::string filterArg = "--gtest_filter=" + filter;
  char* argv[] = {&exe[0], &filterArg[0], nullptr};
  pid_t pid = 0;
  if (posix_spawn(&pid, exe.c_str(), nullptr, nullptr, argv, envp.data()) != 0) return -1;
  int status = 0;
  if (waitpid(pid, &status, 0) != pid) return -1;
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

}  // namespace sound_test
