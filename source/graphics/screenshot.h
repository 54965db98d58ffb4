#pragma once
// Screenshots: reading the window back and writing it as an 8-bit RGBA PNG.

#include <string>
#include <vector>

// The pixels of `buffer` (GL_FRONT, GL_BACK, ...) of the window's
// framebuffer, width x height RGBA bytes, top row first.
std::vector<unsigned char> ReadWindowPixels(int width, int height, unsigned int buffer);

// Reverses the row order of an RGBA image in place (GL reads bottom-up,
// PNG stores top-down).
void FlipRows(std::vector<unsigned char>& rgba, int width, int height);

// Writes width x height RGBA bytes (top row first) as PNG, whole or not at
// all (WriteWholeFile); false on failure.
bool WritePng(const std::string& path, const std::vector<unsigned char>& rgba, int width,
              int height);
