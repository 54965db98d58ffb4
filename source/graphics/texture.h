#pragma once
// Texture: an image file loaded into memory as 8-bit RGBA and uploaded once
// to an OpenGL 2D texture.
//
// Load never fails outright: a file that cannot be read is reported ("Unable
// to load texture!") and gives a record with no pixels and zero size, which
// uploads as an empty texture. Rows are kept in file order (top row first),
// so texture coordinate t = 0 is the top edge of the picture.

#include <cstdint>
#include <string>

class Texture {
 public:
  // Value of texID before Upload: all bits set.
  static constexpr uint32_t kNoTexture = 0xFFFFFFFFu;

  Texture() = default;  // an empty record; Load is the usual way to make one
  // Frees the pixels and, once uploaded, the GL texture (main thread, with
  // the context still open).
  ~Texture();
  Texture(const Texture&) = delete;
  Texture& operator=(const Texture&) = delete;

  // A new record for the file (never null; the caller owns it).
  static Texture* Load(const std::string& filename);

  // Creates the GL texture on the first call (needs the GL context); later
  // calls do nothing.
  void Upload();
  // Releases the pixel data, if any. The GL texture stays.
  void FreePixels();

  int32_t width = 0;     // pixels
  int32_t height = 0;    // pixels
  int32_t channels = 0;  // channel count of the file; pixels always hold 4
  uint32_t texID = kNoTexture;
  unsigned char* pixels = nullptr;  // RGBA, 4 bytes per pixel, top row first
};
