#include "support/process.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <thread>

extern char** environ;

namespace support {

pid_t Spawn(const std::string& binary, const std::vector<std::string>& args,
            const ChildOptions& options) {
  // Everything the child needs is built here: between fork and exec only
  // async-signal-safe calls are allowed.
  std::vector<std::string> strings{binary};
  strings.insert(strings.end(), args.begin(), args.end());
  std::vector<char*> argv, envp;
  for (std::string& s : strings) argv.push_back(s.data());
  argv.push_back(nullptr);
  std::vector<std::string> env = options.env;
  for (std::string& s : env) envp.push_back(s.data());
  for (char** e = environ; *e != nullptr; ++e) envp.push_back(*e);
  envp.push_back(nullptr);

  const pid_t pid = fork();
  if (pid != 0) return pid;
  if (!options.workDir.empty() && chdir(options.workDir.c_str()) != 0) _exit(127);
  if (!options.output.empty()) {
    const int out = open(options.output.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (out < 0) _exit(127);
    dup2(out, STDOUT_FILENO);
    dup2(out, STDERR_FILENO);
  }
  execvpe(binary.c_str(), argv.data(), envp.data());  // a bare name is looked up in PATH
  _exit(127);
}

int WaitChild(pid_t pid, double seconds) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
  for (;;) {
    int status = 0;
    const pid_t done = waitpid(pid, &status, WNOHANG);
    if (done == pid) return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    if (done < 0) return 255;  // not our child any more
    if (std::chrono::steady_clock::now() >= end) return -1;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
}

void StopChild(pid_t pid) {
  if (pid <= 0) return;
  kill(pid, SIGTERM);
  if (WaitChild(pid, 5.0) >= 0) return;
  kill(pid, SIGKILL);
  waitpid(pid, nullptr, 0);
}

int RunSelf(const std::string& filter, const std::vector<std::string>& env) {
  const pid_t pid = Spawn("/proc/self/exe", {"--gtest_filter=" + filter}, {env, "", ""});
  return pid > 0 ? WaitChild(pid, 600.0) : -1;
}

}  // namespace support
