#pragma once
// Barrier: the per-frame meeting point of the main thread and the physics and
// collision workers. Wait blocks until `threshold` parties have arrived; the
// last one to arrive starts a new generation and wakes the others.
//
// Release() ends the barrier for good: every current and later Wait returns
// at once. Shutdown uses it so that a worker blocked at the barrier, which
// the main thread no longer reaches, can leave and be joined.

#include <boost/thread/condition_variable.hpp>
#include <boost/thread/mutex.hpp>

class Barrier {
 public:
  explicit Barrier(unsigned threshold);

  // True for the party that completed the generation, false for the others
  // and after Release.
  bool Wait();
  void Release();
  bool Released();
  unsigned Generation();

 private:
  boost::mutex mutex;
  boost::condition_variable condition;
  const unsigned threshold;
  unsigned count;
  unsigned generation = 0;
  bool released = false;
};
