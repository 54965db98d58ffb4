#include "graphics/texture.h"

#include <GL/glew.h>
#include <stb_image.h>

#include "core/system.h"

Texture::~Texture() {
  FreePixels();
  // Only an uploaded texture has a GL name, and uploading needed the
  // context, which the program keeps until its modules are shut down.
  if (texID != kNoTexture) {
    const GLuint name = texID;
    glDeleteTextures(1, &name);
  }
}

Texture* Texture::Load(const std::string& filename) {
  Texture* texture = new Texture;
  // Always ask for four channels: the data is RGBA whatever the file holds,
  // and `channels` reports what the file itself had.
  const int kRgba = 4;
  texture->pixels =
      stbi_load(filename.c_str(), &texture->width, &texture->height, &texture->channels, kRgba);
  if (texture->pixels == nullptr) {
    texture->width = texture->height = texture->channels = 0;
    System::Instance().Log("filename = " + filename);
    CLEAVE_ERROR("Unable to load texture!");
  }
  return texture;
}

void Texture::Upload() {
  if (texID != kNoTexture) return;
  glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
  GLuint name = 0;
  glGenTextures(1, &name);
  texID = name;
  glBindTexture(GL_TEXTURE_2D, name);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_REPEAT);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_REPEAT);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
  // A record without pixels gets an empty (0 x 0) level: drawing it shows
  // nothing useful, but nothing reads past a null pointer.
  glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, width, height, 0, GL_RGBA, GL_UNSIGNED_BYTE, pixels);
}

void Texture::FreePixels() {
  if (pixels != nullptr) {
    stbi_image_free(pixels);
    pixels = nullptr;
  }
}
