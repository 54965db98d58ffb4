#include "core/child_process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstring>
#include <iomanip>
#include <new>
#include <sstream>
#include <utility>

namespace {

// Exit codes of a child that could not hand its output back.
constexpr int kChildOutOfMemory = 86;
constexpr int kChildThrew = 87;

bool WriteAll(int fd, const char* bytes, size_t size) {
  while (size > 0) {
    const ssize_t n = write(fd, bytes, size);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    bytes += n;
    size -= static_cast<size_t>(n);
  }
  return true;
}

// The child's side: runs the work and writes its length (8 bytes), then
// its bytes. Never returns.
[[noreturn]] void ServeInChild(const std::function<std::string()>& work, int fd) {
  int code = 0;
  try {
    const std::string output = work();
    const uint64_t size = output.size();
    char header[sizeof size];
    std::memcpy(header, &size, sizeof size);
    code = WriteAll(fd, header, sizeof header) && WriteAll(fd, output.data(), output.size())
               ? 0
               : kChildThrew;
  } catch (const std::bad_alloc&) {
    code = kChildOutOfMemory;
  } catch (...) {
    code = kChildThrew;
  }
  _exit(code);
}

std::string HowItEnded(int status) {
  if (WIFSIGNALED(status)) {
    const int signal = WTERMSIG(status);
    const char* name = strsignal(signal);
    return "stopped on signal " + std::to_string(signal) + " (" +
           (name != nullptr ? name : "unknown") + ")";
  }
  if (WIFEXITED(status) && WEXITSTATUS(status) == kChildOutOfMemory)
    return "ran out of memory";
  if (WIFEXITED(status) && WEXITSTATUS(status) != 0)
    return "ended with exit code " + std::to_string(WEXITSTATUS(status));
  return "ended without handing back its answer";
}

}  // namespace

bool RunInChildProcess(const std::function<std::string()>& work, double secondsAllowed,
                       std::string& output, std::string& failure) {
  int pipeEnds[2];
  if (pipe2(pipeEnds, O_CLOEXEC) != 0) {
    output = work();
    return true;
  }
  const pid_t child = fork();
  if (child < 0) {
    close(pipeEnds[0]);
    close(pipeEnds[1]);
    output = work();
    return true;
  }
  if (child == 0) {
    close(pipeEnds[0]);
    ServeInChild(work, pipeEnds[1]);
  }
  close(pipeEnds[1]);
  // Read to the end before waiting: the child blocks on a full pipe until
  // its output is taken.
  using Clock = std::chrono::steady_clock;
  const Clock::time_point deadline =
      Clock::now() + std::chrono::duration_cast<Clock::duration>(
                         std::chrono::duration<double>(secondsAllowed));
  std::string received;
  char buffer[1 << 16];
  bool late = false;
  for (;;) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    pollfd ready = {pipeEnds[0], POLLIN, 0};
    const int polled =
        left > 0 ? poll(&ready, 1, static_cast<int>(std::min<long long>(left, 1 << 30))) : 0;
    if (polled < 0 && errno == EINTR) continue;
    if (polled == 0) {
      late = true;
      kill(child, SIGKILL);
      break;
    }
    const ssize_t n = read(pipeEnds[0], buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    received.append(buffer, static_cast<size_t>(n));
  }
  close(pipeEnds[0]);
  int status = 0;
  while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
  }
  if (late) {
    std::ostringstream seconds;
    seconds << std::setprecision(3) << secondsAllowed;
    failure = "took longer than " + seconds.str() + " s";
    return false;
  }
  uint64_t size = 0;
  if (received.size() >= sizeof size) std::memcpy(&size, received.data(), sizeof size);
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0 || received.size() < sizeof size ||
      size != received.size() - sizeof size) {
    failure = HowItEnded(status);
    return false;
  }
  received.erase(0, sizeof size);
  output = std::move(received);
  return true;
}
