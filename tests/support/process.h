#pragma once
// Child processes for the tests that run a program: the end-to-end tests
// (the program and its X server) and the sound tests that run their own
// binary again with another environment (OpenAL Soft reads its drivers and
// configuration once per process).

#include <sys/types.h>

#include <string>
#include <vector>

namespace support {

struct ChildOptions {
  std::vector<std::string> env;  // "NAME=value", ahead of the inherited ones (getenv finds them)
  std::string workDir;           // empty: this process's
  std::string output;            // file taking stdout and stderr; empty: inherited
};

// Starts binary (a bare name is looked up in PATH) with the arguments; its
// pid, or -1.
pid_t Spawn(const std::string& binary, const std::vector<std::string>& args,
            const ChildOptions& options = {});
// Waits up to `seconds` for the child to end: its exit code (128 + the
// signal when a signal ended it), or -1 when it is still running.
int WaitChild(pid_t pid, double seconds);
// Asks the child to end (SIGTERM), kills it after five seconds, reaps it.
void StopChild(pid_t pid);
// Runs this test program again with one test filter: the child's exit code
// (0 when its tests passed), or -1.
int RunSelf(const std::string& filter, const std::vector<std::string>& env);

}  // namespace support
