#include "core/live_settings.h"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "core/settings.h"
#include "core/system.h"

namespace {

// Leading and trailing blanks, tabs and carriage returns removed.
std::string Trim(const std::string& text) {
  const char* const blanks = " \t\r";
  const size_t begin = text.find_first_not_of(blanks);
  if (begin == std::string::npos) return std::string();
  return text.substr(begin, text.find_last_not_of(blanks) - begin + 1);
}

bool ReadFloat(const std::string& text, float minValue, float maxValue, float& value) {
  char* end = nullptr;
  errno = 0;
  const float read = std::strtof(text.c_str(), &end);
  if (text.empty() || *end != '\0' || errno != 0 || !std::isfinite(read)) return false;
  if (read < minValue || read > maxValue) return false;
  value = read;
  return true;
}

bool ReadInt(const std::string& text, int32_t minValue, int32_t maxValue, int32_t& value) {
  char* end = nullptr;
  errno = 0;
  const long read = std::strtol(text.c_str(), &end, 10);
  if (text.empty() || *end != '\0' || errno != 0 || read < minValue || read > maxValue)
    return false;
  value = static_cast<int32_t>(read);
  return true;
}

bool ReadBool(const std::string& text, bool& value) {
  if (text != "true" && text != "false") return false;
  value = text == "true";
  return true;
}

// Stores `value` under `key`; false for an unknown key or a bad value.
bool ReadEntry(const std::string& key, const std::string& value, LiveSettings& s) {
  if (key == "gravity") return ReadFloat(value, kMinGravity, kMaxGravity, s.gravity);
  if (key == "solverIterations")
    return ReadInt(value, kMinSolverIterations, kMaxSolverIterations, s.solverIterations);
  if (key == "sleeping") return ReadBool(value, s.sleeping);
  if (key == "timeScale") return ReadFloat(value, kMinTimeScale, kMaxTimeScale, s.timeScale);
  if (key == "shotSpeed") return ReadFloat(value, kMinShotSpeed, kMaxShotSpeed, s.shotSpeed);
  if (key == "culling") return ReadBool(value, s.culling);
  if (key == "cullFrameMs")
    return ReadFloat(value, kMinCullFrameMs, kMaxCullFrameMs, s.cullFrameMs);
  return false;
}

}  // namespace

bool operator==(const LiveSettings& a, const LiveSettings& b) {
  return a.gravity == b.gravity && a.solverIterations == b.solverIterations &&
         a.sleeping == b.sleeping && a.timeScale == b.timeScale && a.shotSpeed == b.shotSpeed &&
         a.culling == b.culling && a.cullFrameMs == b.cullFrameMs;
}

std::string FormatLiveSettings(const LiveSettings& s) {
  char text[512];
  std::snprintf(text, sizeof text,
                "# The sandbox's live settings, rewritten whenever they change in the bar.\n"
                "gravity = %.9g\nsolverIterations = %d\nsleeping = %s\ntimeScale = %.9g\n"
                "shotSpeed = %.9g\nculling = %s\ncullFrameMs = %.9g\n",
                s.gravity, static_cast<int>(s.solverIterations), s.sleeping ? "true" : "false",
                s.timeScale, s.shotSpeed, s.culling ? "true" : "false", s.cullFrameMs);
  return text;
}

bool ParseLiveSettings(const std::string& text, LiveSettings& settings, std::string& error) {
  LiveSettings read = settings;
  size_t lineStart = 0;
  for (int lineNumber = 1; lineStart <= text.size(); ++lineNumber) {
    size_t lineEnd = text.find('\n', lineStart);
    if (lineEnd == std::string::npos) lineEnd = text.size();
    const std::string line = Trim(text.substr(lineStart, lineEnd - lineStart));
    lineStart = lineEnd + 1;
    if (line.empty() || line[0] == '#') continue;
    const size_t equals = line.find('=');
    if (equals == std::string::npos ||
        !ReadEntry(Trim(line.substr(0, equals)), Trim(line.substr(equals + 1)), read)) {
      error = "line " + std::to_string(lineNumber) + ": \"" + line + "\"";
      return false;
    }
  }
  settings = read;
  return true;
}

LiveSettings LoadLiveSettings(const std::string& path) {
  LiveSettings settings;
  std::string text, error;
  if (!ReadTextFile(path, text)) return settings;
  if (!ParseLiveSettings(text, settings, error))
    CLEAVE_WARNING("Bad live settings file " + path + " (" + error + "); using the defaults");
  return settings;
}

bool SaveLiveSettings(const std::string& path, const LiveSettings& settings) {
  const std::string temporary = path + ".tmp";
  const std::string text = FormatLiveSettings(settings);
  std::FILE* file = std::fopen(temporary.c_str(), "wb");
  bool written = file != nullptr && std::fwrite(text.data(), 1, text.size(), file) == text.size();
  if (file != nullptr) written = std::fclose(file) == 0 && written;
  if (written && std::rename(temporary.c_str(), path.c_str()) == 0) return true;
  const std::string reason = std::strerror(errno);
  std::remove(temporary.c_str());
  CLEAVE_WARNING("Cannot write the live settings to " + path + ": " + reason);
  return false;
}
