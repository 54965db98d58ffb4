#include "graphics/scene_image.h"

#include <GL/glew.h>

#include <cstring>

#include "objects/model_comp.h"
#include "objects/object_manager.h"

namespace {
// 64-bit FNV-1a over the bytes of what is added.
class Fingerprint {
 public:
  template <class T>
  void Add(const T& value) {
    unsigned char bytes[sizeof(T)];
    std::memcpy(bytes, &value, sizeof(T));
    for (unsigned char b : bytes) hash = (hash ^ b) * 0x100000001B3ull;
  }
  uint64_t Value() const { return hash; }

 private:
  uint64_t hash = 0xCBF29CE484222325ull;
};
}  // namespace

uint64_t SceneFingerprint(const ObjectManager& objects, int width, int height,
                          uint64_t meshChanges) {
  Fingerprint print;
  print.Add(width);
  print.Add(height);
  print.Add(meshChanges);
  print.Add(objects.camera.view);
  print.Add(objects.camera.Projection());
  // The table's order is the same from frame to frame while its contents
  // are; any change of contents changes the fingerprint anyway.
  for (const auto& entry : objects.objects) {
    const ModelComp* model = entry.second.Find<ModelComp>();
    if (model == nullptr) continue;
    const Mesh& mesh = model->mesh;
    print.Add(entry.first);
    print.Add(entry.second.position);
    print.Add(entry.second.orientation);
    print.Add(model->scale);
    print.Add(mesh.bufferIds);
    print.Add(mesh.buffersCreated);
    print.Add(mesh.useColours);
    print.Add(mesh.TriangleCount());
  }
  return print.Value();
}

void SceneImage::Draw() const { Blit(framebuffer, 0); }

void SceneImage::Blit(uint32_t from, uint32_t to) const {
  // Same size, same pixel format, no scaling: a software renderer copies
  // the rows as they are, where drawing a textured quad would shade every
  // pixel.
  glBindFramebufferEXT(GL_READ_FRAMEBUFFER_EXT, from);
  glBindFramebufferEXT(GL_DRAW_FRAMEBUFFER_EXT, to);
  if (from == 0) glReadBuffer(GL_BACK);
  glBlitFramebufferEXT(0, 0, width, height, 0, 0, width, height, GL_COLOR_BUFFER_BIT, GL_NEAREST);
  glBindFramebufferEXT(GL_FRAMEBUFFER_EXT, 0);
}

void SceneImage::Offer(uint64_t fingerprint, int viewWidth, int viewHeight) {
  const bool still = havePrevious && previousFingerprint == fingerprint;
  havePrevious = true;
  previousFingerprint = fingerprint;
  kept = false;
  if (!still || viewWidth <= 0 || viewHeight <= 0) return;

  if (framebuffer == 0 || width != viewWidth || height != viewHeight) {
    Release();
    width = viewWidth;
    height = viewHeight;
    GLuint name = 0;
    glGenTextures(1, &name);
    texture = name;
    glBindTexture(GL_TEXTURE_2D, texture);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
    // BGRA bytes, as a window's pixels usually are, so that the copies
    // need no conversion.
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, width, height, 0, GL_BGRA,
                 GL_UNSIGNED_INT_8_8_8_8_REV, nullptr);
    glBindTexture(GL_TEXTURE_2D, 0);
    glGenFramebuffersEXT(1, &name);
    framebuffer = name;
    glBindFramebufferEXT(GL_FRAMEBUFFER_EXT, framebuffer);
    glFramebufferTexture2DEXT(GL_FRAMEBUFFER_EXT, GL_COLOR_ATTACHMENT0_EXT, GL_TEXTURE_2D,
                              texture, 0);
    const GLenum status = glCheckFramebufferStatusEXT(GL_FRAMEBUFFER_EXT);
    glBindFramebufferEXT(GL_FRAMEBUFFER_EXT, 0);
    if (status != GL_FRAMEBUFFER_COMPLETE_EXT) {
      Release();  // no copy then: every frame is drawn by the passes
      return;
    }
  }
  Blit(0, framebuffer);
  kept = true;
  keptFingerprint = fingerprint;
}

void SceneImage::Release() {
  if (framebuffer != 0) {
    GLuint name = framebuffer;
    glDeleteFramebuffersEXT(1, &name);
  }
  if (texture != 0) {
    GLuint name = texture;
    glDeleteTextures(1, &name);
  }
  framebuffer = texture = 0;
  width = height = 0;
  kept = false;
  havePrevious = false;
}
