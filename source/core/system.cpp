#include "core/system.h"

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iostream>
#include <sstream>
#include <thread>

namespace {

const char* const kSettingsFile = "settings.txt";

double SteadySeconds() {
  using namespace std::chrono;
  return duration<double>(steady_clock::now().time_since_epoch()).count();
}

}  // namespace

System::System()
    : Module<System>("System"), logSpool(std::tmpfile()), clockOrigin(SteadySeconds()) {
  Settings loaded;
  std::string text;
  if (ReadTextFile(kSettingsFile, text)) {
    loaded = ParseSettings(text);
    if (!loaded.valid) {
      Log(loaded.errorMessage);
      loaded = Settings();
    }
  }
  ApplySettings(loaded);
}

void System::ApplySettings(const Settings& newSettings) {
  settings = newSettings;
  screenWidth = settings.screenWidth;
  screenHeight = settings.screenHeight;
  fullscreen = settings.fullscreen;
}

void System::Init() { clockOrigin = SteadySeconds(); }

void System::Update() {
  if (window && windowOpen) window->SetTitle(LoadDisplay());
}

void System::Kill() {}

void System::SetWindow(std::unique_ptr<SystemWindow> newWindow) { window = std::move(newWindow); }

void System::OpenWindow() {
  if (!window) {
    CLEAVE_ERROR("no window system available");
    return;
  }
  window->Open(screenWidth, screenHeight, fullscreen);
}

double System::GetTime() const { return SteadySeconds() - clockOrigin; }

void System::FrameStart() { frameStartTime = GetTime(); }

void System::FrameEnd() {
  const double elapsed = GetTime() - frameStartTime;
  frameStats.AddFrame(elapsed);
  const double sleep = AccountFrame(elapsed);
  if (sleep > 0.0) std::this_thread::sleep_for(std::chrono::duration<double>(sleep));
}

double System::AccountFrame(double elapsed) {
  lastFrameTime = elapsed;
  avgWorkTime = 0.9 * avgWorkTime + 0.1 * elapsed;
  if (elapsed < kFrameBudget) {
    avgFrameTime = 0.9 * avgFrameTime + 0.1 * kFrameBudget;
    return kFrameBudget - elapsed;
  }
  avgFrameTime = 0.9 * avgFrameTime + 0.1 * elapsed;
  return 0.0;
}

std::string System::LoadDisplay() const {
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, "Load: %.6f\n", avgWorkTime / kFrameBudget);
  return buffer;
}

void System::Write(const std::string& prefix, const std::string& message, bool console) {
  // Console and log text are written under one lock, so lines from the
  // three threads never interleave and the log keeps the console's order.
  boost::mutex::scoped_lock lock(logMutex);
  if (console) (logToStandardError ? std::cerr : std::cout) << prefix << message << '\n' << std::flush;
  if (logSpool != nullptr) {
    std::fputs(prefix.c_str(), logSpool);
    std::fwrite(message.data(), 1, message.size(), logSpool);
    std::fputc('\n', logSpool);
    return;
  }
  logText += prefix;
  logText += message;
  logText += '\n';
}

void System::CopyLog(std::ostream& out) {
  if (logSpool == nullptr) {
    out << logText;
    return;
  }
  std::fflush(logSpool);
  std::rewind(logSpool);
  char buffer[1 << 16];
  for (size_t n; (n = std::fread(buffer, 1, sizeof buffer, logSpool)) > 0;)
    out.write(buffer, static_cast<std::streamsize>(n));
  // Writes go on at the end (a read and a write need a seek between them).
  std::fseek(logSpool, 0, SEEK_END);
}

void System::Log(const std::string& message) { Write("", message, !options.quiet); }

void System::Milestone(const std::string& message) { Write("", message); }

void System::Warning(const std::string& message) { Write("WARNING: ", message); }

void System::Error(const std::string& message) {
  Write("ERROR: ", message);
  ++errorCount;

  const std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  {
    boost::mutex::scoped_lock lock(logMutex);
    const std::string name = ErrorFileName(local);
    std::ofstream file(name, std::ios::out | std::ios::app);
    const int openError = file ? 0 : errno;
    CopyLog(file);
    file << '\n' << std::flush;
    // The console still has the log; say once that the file is missing.
    static std::atomic<bool> told{false};
    if (!file && !told.exchange(true))
      std::cerr << "cannot write the error file " << name << ": "
                << std::strerror(openError != 0 ? openError : EIO) << '\n';
  }
  running = false;
  // Never wait for input here: the reporting thread may hold the object
  // lock. main waits for a key once, after shutdown, when appropriate.
}

std::string System::GetLogText() {
  boost::mutex::scoped_lock lock(logMutex);
  std::ostringstream text;
  CopyLog(text);
  return text.str();
}

std::string System::ErrorFileName(const std::tm& t) {
  std::ostringstream name;
  name << "error_log_" << (t.tm_mon + 1) << '_' << t.tm_mday << '_' << (t.tm_year + 1900) << '_'
       << t.tm_hour << '_' << t.tm_min << '_' << t.tm_sec << ".txt";
  return name.str();
}

std::string ErrorReport(const char* file, int line, const std::string& message) {
  // Report paths below the source root: ".../source/geom/mesh.cpp" gives
  // "geom/mesh.cpp". Files outside it (tests) keep their whole path.
  std::string path(file);
  const size_t root = path.rfind("/source/");
  if (root != std::string::npos) path = path.substr(root + std::strlen("/source/"));
  std::ostringstream report;
  report << path << ':' << line << ' ' << message;
  return report.str();
}

namespace diagnostics {
void Log(const std::string& message) { System::Instance().Log(message); }
void Warning(const std::string& message) { System::Instance().Warning(message); }
void Error(const std::string& message) { System::Instance().Error(message); }
}  // namespace diagnostics
