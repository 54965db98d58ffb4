#include "window/resource_manager.h"

#include <GL/glew.h>

#include <cstddef>
#include <cstring>
#include <string>

#include "core/system.h"
#include "objects/model_comp.h"
#include "objects/object_manager.h"

// Stream 2 reads the word after each corner's (u, v): the next corner's u,
// or for the last corner the first reserved word.
static_assert(offsetof(Triangle, reserved) == offsetof(Triangle, texCoords) + 6 * sizeof(float),
              "the reserved words follow the texture coordinates");

ResourceManager::ResourceManager() : Module<ResourceManager>("ResourceManager") {}

uint32_t ResourceManager::CreateRenderTexture(int width, int height) {
  GLuint texture = 0;
  glGenTextures(1, &texture);
  glBindTexture(GL_TEXTURE_2D, texture);
  // Nearest: the final pass reads exactly one texel per pixel, and depth or
  // normals must never be blended between neighbours.
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
  glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, width, height, 0, GL_RGBA, GL_UNSIGNED_BYTE, nullptr);
  return texture;
}

void ResourceManager::CreateRenderTargets() {
  System& system = System::Instance();
  // A minimised window reports 0 x 0; GL needs at least one texel.
  const int width = system.screenWidth > 0 ? system.screenWidth : 1;
  const int height = system.screenHeight > 0 ? system.screenHeight : 1;

  geomRenderTarget = CreateRenderTexture(width, height);
  depthRenderTarget = CreateRenderTexture(width, height);
  normalRenderTarget = CreateRenderTexture(width, height);
  shadowRenderTarget = CreateRenderTexture(width, height);
  finalShadowRenderTarget = CreateRenderTexture(width, height);
  CLEAVE_ASSERT(geomRenderTarget != 0);
  CLEAVE_ASSERT(depthRenderTarget != 0);
  CLEAVE_ASSERT(normalRenderTarget != 0);
  CLEAVE_ASSERT(shadowRenderTarget != 0);
  CLEAVE_ASSERT(finalShadowRenderTarget != 0);
  system.Log("geomRenderTarget = " + std::to_string(geomRenderTarget));
  system.Log("depthRenderTarget = " + std::to_string(depthRenderTarget));
  system.Log("normalRenderTarget = " + std::to_string(normalRenderTarget));
  system.Log("shadowRenderTarget = " + std::to_string(shadowRenderTarget));
  system.Log("finalShadowRenderTarget = " + std::to_string(finalShadowRenderTarget));
  glBindTexture(GL_TEXTURE_2D, 0);

  GLuint fbo = 0, rbo = 0;
  glGenFramebuffersEXT(1, &fbo);
  glBindFramebufferEXT(GL_FRAMEBUFFER_EXT, fbo);
  glGenRenderbuffersEXT(1, &rbo);
  glBindRenderbufferEXT(GL_RENDERBUFFER_EXT, rbo);
  glRenderbufferStorageEXT(GL_RENDERBUFFER_EXT, GL_DEPTH_COMPONENT24, width, height);
  glFramebufferRenderbufferEXT(GL_FRAMEBUFFER_EXT, GL_DEPTH_ATTACHMENT_EXT, GL_RENDERBUFFER_EXT,
                               rbo);
  glBindFramebufferEXT(GL_FRAMEBUFFER_EXT, 0);
  framebuffer = fbo;
  depthRenderbuffer = rbo;
  targetWidth = width;
  targetHeight = height;

  // The occlusion term at half the size in each direction (rounded up), in
  // a framebuffer of its own (a framebuffer's attachments share one size).
  // Linear filtering: the final pass upsamples it.
  occlusionWidth = (width + 1) / 2;
  occlusionHeight = (height + 1) / 2;
  occlusionRenderTarget = CreateRenderTexture(occlusionWidth, occlusionHeight);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
  glBindTexture(GL_TEXTURE_2D, 0);
  GLuint occlusionFbo = 0;
  glGenFramebuffersEXT(1, &occlusionFbo);
  glBindFramebufferEXT(GL_FRAMEBUFFER_EXT, occlusionFbo);
  glFramebufferTexture2DEXT(GL_FRAMEBUFFER_EXT, GL_COLOR_ATTACHMENT0_EXT, GL_TEXTURE_2D,
                            occlusionRenderTarget, 0);
  const uint32_t status = CheckFramebufferStatus();
  glBindFramebufferEXT(GL_FRAMEBUFFER_EXT, 0);
  occlusionFramebuffer = occlusionFbo;
  // A GL that cannot hold targets this large (out of memory, or a size it
  // does not support) says so here; nothing could be drawn into them.
  const GLenum error = glGetError();
  if (status != GL_FRAMEBUFFER_COMPLETE_EXT || error != GL_NO_ERROR) {
    const char* statusName = FramebufferStatusName(status);
    CLEAVE_ERROR("cannot make the " + std::to_string(width) + " x " + std::to_string(height) +
                 " render targets (" +
                 (error == GL_OUT_OF_MEMORY ? std::string("GL_OUT_OF_MEMORY")
                  : error != GL_NO_ERROR    ? "GL error " + std::to_string(error)
                  : statusName != nullptr   ? std::string(statusName)
                                            : "framebuffer status " + std::to_string(status)) +
                 "); set a smaller screenWidth and screenHeight in settings.txt");
  }
}

void ResourceManager::ReleaseRenderTargets() {
  uint32_t* targets[] = {&geomRenderTarget,   &depthRenderTarget,       &normalRenderTarget,
                         &shadowRenderTarget, &finalShadowRenderTarget, &occlusionRenderTarget};
  for (uint32_t* target : targets) {
    if (*target != 0 && glIsTexture(*target)) {
      GLuint name = *target;
      glDeleteTextures(1, &name);
    }
    *target = 0;
  }
  if (depthRenderbuffer != 0 && glIsRenderbufferEXT(depthRenderbuffer)) {
    GLuint name = depthRenderbuffer;
    glDeleteRenderbuffersEXT(1, &name);
  }
  depthRenderbuffer = 0;
  if (framebuffer != 0 && glIsFramebufferEXT(framebuffer)) {
    glBindFramebufferEXT(GL_FRAMEBUFFER_EXT, 0);
    GLuint name = framebuffer;
    glDeleteFramebuffersEXT(1, &name);
  }
  framebuffer = 0;
  if (occlusionFramebuffer != 0 && glIsFramebufferEXT(occlusionFramebuffer)) {
    glBindFramebufferEXT(GL_FRAMEBUFFER_EXT, 0);
    GLuint name = occlusionFramebuffer;
    glDeleteFramebuffersEXT(1, &name);
  }
  occlusionFramebuffer = 0;
  targetWidth = targetHeight = 0;
  occlusionWidth = occlusionHeight = 0;
}

const char* ResourceManager::FramebufferStatusName(uint32_t status) {
  switch (status) {
    case 0x8CD6: return "GL_FRAMEBUFFER_INCOMPLETE_ATTACHMENT_EXT";
    case 0x8CD7: return "GL_FRAMEBUFFER_INCOMPLETE_MISSING_ATTACHMENT_EXT";
    case 0x8CD9: return "GL_FRAMEBUFFER_INCOMPLETE_DIMENSIONS_EXT";
    case 0x8CDA: return "GL_FRAMEBUFFER_INCOMPLETE_FORMATS_EXT";
    case 0x8CDB: return "GL_FRAMEBUFFER_INCOMPLETE_DRAW_BUFFER_EXT";
    case 0x8CDC: return "GL_FRAMEBUFFER_INCOMPLETE_READ_BUFFER_EXT";
    case 0x8CDD: return "GL_FRAMEBUFFER_UNSUPPORTED_EXT";
    case 0x8D56: return "GL_FRAMEBUFFER_INCOMPLETE_MULTISAMPLE_EXT";
    default: return nullptr;
  }
}

uint32_t ResourceManager::CheckFramebufferStatus() {
  const GLenum status = glCheckFramebufferStatusEXT(GL_FRAMEBUFFER_EXT);
  if (const char* statusName = FramebufferStatusName(status)) System::Instance().Log(statusName);
  return status;
}

int ResourceManager::StreamWidth(int stream) {
  static const int kWidths[6] = {3, 3, 3, 3, 4, 4};
  return stream >= 0 && stream < 6 ? kWidths[stream] : 0;
}

std::vector<float> ResourceManager::FlattenStream(const Mesh& mesh, int stream) {
  const int width = StreamWidth(stream);
  std::vector<float> out(static_cast<size_t>(mesh.TriangleCount()) * 3 * width, 0.0f);
  float* dst = out.data();
  for (const Triangle& tri : mesh.triangles) {
    for (int c = 0; c < 3; ++c, dst += width) {
      const uint32_t index = tri.indices[c];
      const Vertex* vertex = index < mesh.vertices.size() ? &mesh.vertices[index] : nullptr;
      switch (stream) {
        case 0:
          if (vertex) dst[0] = vertex->x, dst[1] = vertex->y, dst[2] = vertex->z;
          break;
        case 1:
          std::memcpy(dst, tri.colours[c], 3 * sizeof(float));
          break;
        case 2: {
          // u, v and the word after them in the record, whatever it holds:
          // the texture coordinates are followed by the reserved words, so
          // the last corner reads reserved[0]. Copied as raw bytes.
          const size_t offset = offsetof(Triangle, texCoords) + c * 2 * sizeof(float);
          std::memcpy(dst, reinterpret_cast<const unsigned char*>(&tri) + offset,
                      3 * sizeof(float));
          break;
        }
        case 3:
          std::memcpy(dst, tri.normals[c], 3 * sizeof(float));
          break;
        case 4:
          if (vertex) std::memcpy(dst, vertex->floatAttributes, 4 * sizeof(float));
          break;
        case 5:
          if (vertex)
            for (int k = 0; k < 4; ++k) dst[k] = static_cast<float>(vertex->intAttributes[k]);
          break;
        default:
          break;
      }
    }
  }
  return out;
}

uint32_t ResourceManager::CreateMeshBuffer(const Mesh& mesh, int stream) {
  GLuint buffer = 0;
  glGenBuffers(1, &buffer);
  glBindBuffer(GL_ARRAY_BUFFER, buffer);
  const std::vector<float> data = FlattenStream(mesh, stream);
  glBufferData(GL_ARRAY_BUFFER, static_cast<GLsizeiptr>(data.size() * sizeof(float)),
               data.empty() ? nullptr : data.data(), GL_STATIC_DRAW);
  return buffer;
}

void ResourceManager::CreateMeshBuffers(Mesh& mesh) {
  for (int stream = 0; stream < 4; ++stream) mesh.bufferIds[stream] = CreateMeshBuffer(mesh, stream);
  mesh.buffersCreated = true;
}

bool ResourceManager::UpdateMeshBuffers() {
  const bool deleted = DeleteReleasedBuffers();
  const bool created = CreateMissingBuffers();
  return deleted || created;
}

bool ResourceManager::DeleteReleasedBuffers() {
  std::vector<uint32_t> released;
  {
    ObjectLock lock;
    released = ObjectManager::Instance().TakeReleasedBuffers();
  }
  // GL ignores the name 0 and names that are not buffers.
  if (!released.empty())
    glDeleteBuffers(static_cast<GLsizei>(released.size()), released.data());
  return !released.empty();
}

bool ResourceManager::CreateMissingBuffers() {
  ObjectLock lock;
  bool created = false;
  for (auto& entry : ObjectManager::Instance().objects) {
    ModelComp* model = entry.second.Find<ModelComp>();
    if (model != nullptr && !model->mesh.buffersCreated) {
      CreateMeshBuffers(model->mesh);
      created = true;
    }
  }
  glBindBuffer(GL_ARRAY_BUFFER, 0);
  return created;
}
