#pragma once
// The window of a gl test program: opened once, with the window-side
// modules initialised as the program does it. Tests that need it begin with
// CLEAVE_REQUIRE_WINDOW(), which skips them when no display can be reached.
// Also: reading the window back and counting live GL objects.

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace support {

constexpr int kWindowWidth = 800, kWindowHeight = 600;  // pixels

// Empty once the window is open, else why it is not.
const std::string& WindowProblem();

struct Rgb {
  int r, g, b;
};
// A pixel of an RGBA picture of the window, top row first.
Rgb PixelAt(const std::vector<unsigned char>& rgba, int x, int y);
bool Near(const Rgb& a, const Rgb& b, int tolerance);
// The back buffer of the window as drawn so far, RGBA, top row first.
std::vector<unsigned char> ReadBackBuffer();
// Number of live GL objects among the names 1 .. 400 by the given test.
int CountLive(bool (*isObject)(unsigned name));

}  // namespace support

#define CLEAVE_REQUIRE_WINDOW()                                                      \
  do {                                                                               \
    if (!support::WindowProblem().empty()) GTEST_SKIP() << support::WindowProblem(); \
  } while (0)
