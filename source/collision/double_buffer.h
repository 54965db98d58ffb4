#pragma once
// DoubleBuffer: one producer thread appends to the back array while readers
// copy the front one; Flip makes the back the new front.
//
// Only the producer calls Back() and Flip(), so it may read the front/back
// index without the lock; readers take the small lock for the whole copy, so
// a flip never swaps the arrays under a copy in progress.

#include <vector>

#include <boost/thread/mutex.hpp>

template <class T>
class DoubleBuffer {
 public:
  // The array being filled. Producer thread only.
  std::vector<T>& Back() { return arrays[1 - front]; }

  // Swaps front and back under the small lock, then empties the new back
  // (the old front, which no reader can reach any more). Producer thread only.
  void Flip() {
    {
      boost::mutex::scoped_lock guard(lock);
      front = 1 - front;
    }
    arrays[1 - front].clear();
  }

  // Copies the front array. Any thread.
  void CopyFront(std::vector<T>& out) {
    boost::mutex::scoped_lock guard(lock);
    out = arrays[front];
  }

 private:
  boost::mutex lock;
  int front = 0;
  std::vector<T> arrays[2];
};
