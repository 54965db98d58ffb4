#include "graphics/screenshot.h"

#include <GL/glew.h>
#include <stb_image_write.h>

#include <algorithm>

#include "core/whole_file.h"

std::vector<unsigned char> ReadWindowPixels(int width, int height, unsigned int buffer) {
  std::vector<unsigned char> rgba;
  if (width <= 0 || height <= 0) return rgba;
  rgba.resize(static_cast<size_t>(width) * height * 4);
  GLint oldFramebuffer = 0;
  glGetIntegerv(GL_FRAMEBUFFER_BINDING_EXT, &oldFramebuffer);
  glBindFramebufferEXT(GL_FRAMEBUFFER_EXT, 0);
  glPixelStorei(GL_PACK_ALIGNMENT, 1);
  glReadBuffer(buffer);
  glReadPixels(0, 0, width, height, GL_RGBA, GL_UNSIGNED_BYTE, rgba.data());
  glBindFramebufferEXT(GL_FRAMEBUFFER_EXT, static_cast<GLuint>(oldFramebuffer));
  FlipRows(rgba, width, height);
  return rgba;
}

void FlipRows(std::vector<unsigned char>& rgba, int width, int height) {
  const size_t stride = static_cast<size_t>(width) * 4;
  if (rgba.size() < stride * height) return;
  for (int top = 0, bottom = height - 1; top < bottom; ++top, --bottom)
    std::swap_ranges(rgba.begin() + top * stride, rgba.begin() + (top + 1) * stride,
                     rgba.begin() + bottom * stride);
}

bool WritePng(const std::string& path, const std::vector<unsigned char>& rgba, int width,
              int height) {
  if (width <= 0 || height <= 0 || rgba.size() < static_cast<size_t>(width) * height * 4)
    return false;
  std::string png;
  const auto append = [](void* context, void* data, int size) {
    static_cast<std::string*>(context)->append(static_cast<const char*>(data), size);
  };
  if (stbi_write_png_to_func(append, &png, width, height, 4, rgba.data(), width * 4) == 0)
    return false;
  std::string error;
  return WriteWholeFile(path, png, error);
}
