// Work in a child process: its answer comes back whole however long, its
// memory is its own, and every way it can end without answering (a signal,
// no memory, an exit, its time up) is named.

#include "core/child_process.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <new>
#include <string>

namespace {

TEST(ChildProcess, HandsBackItsAnswerWholeAndKeepsItsMemoryToItself) {
  // Five megabytes: many times what a pipe holds, so the child blocks
  // until the caller reads; a byte pattern that a lost or repeated piece
  // of the stream would break.
  constexpr size_t kSize = 5u << 20;
  int touched = 0;
  std::string output, failure;
  ASSERT_TRUE(RunInChildProcess(
      [&touched] {
        touched = 1;
        std::string bytes(kSize, '\0');
        for (size_t k = 0; k < kSize; ++k) bytes[k] = static_cast<char>((k * 2654435761u) >> 13);
        return bytes + std::to_string(getpid());
      },
      60.0, output, failure))
      << failure;
  ASSERT_GT(output.size(), kSize);
  size_t wrong = 0;
  for (size_t k = 0; k < kSize; ++k)
    wrong += output[k] != static_cast<char>((k * 2654435761u) >> 13);
  EXPECT_EQ(wrong, 0u);
  EXPECT_NE(output.substr(kSize), std::to_string(getpid())) << "ran in this process";
  EXPECT_EQ(touched, 0) << "the child's writes reached the caller";

  ASSERT_TRUE(RunInChildProcess([] { return std::string(); }, 60.0, output, failure));
  EXPECT_EQ(output, "");
}

TEST(ChildProcess, NamesHowAChildEndedWithoutAnswering) {
  const struct {
    const char* what;
    std::string (*work)();
    const char* failure;
  } cases[] = {
      {"killed", [] { kill(getpid(), SIGKILL); return std::string("never"); },
       "stopped on signal 9 (Killed)"},
      {"out of memory", []() -> std::string { throw std::bad_alloc(); }, "ran out of memory"},
      {"exited", []() -> std::string { _exit(3); }, "ended with exit code 3"},
      // Caught in a loop: stopped when its time is up.
      {"late", [] { for (;;) pause(); return std::string("never"); }, "took longer than 0.25 s"},
  };
  for (const auto& c : cases) {
    std::string output = "untouched", failure;
    EXPECT_FALSE(RunInChildProcess(c.work, 0.25, output, failure)) << c.what;
    EXPECT_EQ(failure, c.failure) << c.what;
    EXPECT_EQ(output, "untouched") << c.what;
  }
}

}  // namespace
