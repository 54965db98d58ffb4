#pragma once
// Shared by the sound tests: the environment that keeps OpenAL Soft away from any real sound card,
// temporary directories, WAV files through libsndfile, and re-running this test binary in a child
// process with its own environment (OpenAL Soft reads its drivers and configuration once per
// process, so each configuration needs a process of its own).

#include <sndfile.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
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
struct TempDir {
  TempDir() {
    char pattern[] = "/tmp/cleave_sound_XXXXXX";
    if (mkdtemp(pattern) != nullptr) path = pattern;
  }
  ~TempDir() {
    std::error_code ignored;
    if (!path.empty()) std::filesystem::remove_all(path, ignored);
  }
  std::string path;  // empty when no directory could be made
};

inline std::string AssetPath(const std::string& name) {
  return std::string(CLEAVE_SOURCE_DIR) + "/assets/" + name;
}

// Writes (mode SFM_WRITE, 16-bit WAV) or reads interleaved float frames; false when the file
// cannot be opened or written.
inline bool Wav(const std::string& path, int mode, int& channels, int& rate,
                std::vector<float>& interleaved) {
  SF_INFO info{};
  info.channels = channels;
  info.samplerate = rate;
  info.format = mode == SFM_WRITE ? SF_FORMAT_WAV | SF_FORMAT_PCM_16 : 0;
  SNDFILE* file = sf_open(path.c_str(), mode, &info);
  if (file == nullptr) return false;
  channels = info.channels;
  rate = info.samplerate;
  sf_count_t frames = sf_count_t(interleaved.size()) / channels;
  if (mode == SFM_READ) {
    interleaved.assign(size_t(info.frames) * size_t(channels), 0.0f);
    frames = sf_readf_float(file, interleaved.data(), info.frames);
    interleaved.resize(size_t(frames) * size_t(channels));
  } else if (sf_writef_float(file, interleaved.data(), frames) != frames) {
    frames = -1;
  }
  sf_close(file);
  return frames >= 0;
}
inline bool WriteWav(const std::string& path, int channels, int rate, std::vector<float> data) {
  return Wav(path, SFM_WRITE, channels, rate, data);
}

// Runs this test binary again with one test filter and extra environment variables; returns the
// child's exit status (0 when its tests passed), or -1 when it could not be run. The extra
// variables come first, so that they are the ones getenv finds.
inline int RunSelf(std::string filter, const std::map<std::string, std::string>& extraEnv) {
  std::vector<std::string> extra;
  for (const auto& kv : extraEnv) extra.push_back(kv.first + "=" + kv.second);
  std::vector<char*> envp;
  for (std::string& s : extra) envp.push_back(&s[0]);
  for (char** e = environ; *e != nullptr; ++e) envp.push_back(*e);
  envp.push_back(nullptr);
  std::string exe = "/proc/self/exe";
  filter = "--gtest_filter=" + filter;
  char* argv[] = {&exe[0], &filter[0], nullptr};
  pid_t pid = 0;
  int status = 0;
  if (posix_spawn(&pid, exe.c_str(), nullptr, nullptr, argv, envp.data()) != 0 ||
      waitpid(pid, &status, 0) != pid)
    return -1;
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

}  // namespace sound_test
