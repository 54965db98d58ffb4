#pragma once
// Work in a child process, for a library fed bytes nobody vouches for
// (assimp reading a model file). assimp's readers have faults no check
// before them can rule out: a null read, a write into freed memory that
// corrupts the heap and brings the program down later, somewhere else. In
// a forked child such a fault ends only the child; the caller gets what
// went wrong as a message and goes on.
//
// The child shares nothing with the caller after the fork but what it
// hands back, and leaves with _exit: no destructors, no buffered output
// flushed twice. Work given to it must not take locks other threads may
// hold (it runs where only the forking thread exists); the allocator is
// safe, as the C library and the sanitizers prepare it for fork.

#include <functional>
#include <string>

// Runs `work` in a forked child and returns true with what it returned in
// `output`. False, with `failure` saying how (for example "stopped on
// signal 11 (Segmentation fault)", "ran out of memory", "took longer than
// 5 s"), when the child ends without handing its output back whole or has
// not done so within `secondsAllowed` (then it is killed; a reader caught
// in a loop must not hang the caller). When no child can be made (the
// process limit reached), `work` runs in this process instead, unbounded.
bool RunInChildProcess(const std::function<std::string()>& work, double secondsAllowed,
                       std::string& output, std::string& failure);
