#include "core/barrier.h"

Barrier::Barrier(unsigned threshold_) : threshold(threshold_), count(threshold_) {}

bool Barrier::Wait() {
  boost::mutex::scoped_lock lock(mutex);
  if (released) return false;
  if (--count == 0) {
    ++generation;
    count = threshold;
    condition.notify_all();
    return true;
  }
  const unsigned arrivedIn = generation;
  while (generation == arrivedIn && !released) condition.wait(lock);
  return false;
}

void Barrier::Release() {
  boost::mutex::scoped_lock lock(mutex);
  released = true;
  condition.notify_all();
}

bool Barrier::Released() {
  boost::mutex::scoped_lock lock(mutex);
  return released;
}

unsigned Barrier::Generation() {
  boost::mutex::scoped_lock lock(mutex);
  return generation;
}
