#pragma once
// ResourceManager: the GPU objects that outlive a frame: the offscreen
// framebuffer with its depth renderbuffer, the five screen-sized render
// targets the deferred renderer draws into, the half-size occlusion target
// with its own framebuffer, and the vertex buffers of each mesh. Also the
// scene's two sounds (chop and collide).
//
// It is a module only in name: Init, Update and Kill do nothing and the main
// loop does not drive it. The renderer's window-size callback releases and
// recreates the render targets on every size change (the first one at
// start-up), so resizing never accumulates GPU objects. The renderer calls
// UpdateMeshBuffers once per frame: the buffers of removed and re-meshed
// objects, which the registry queues (it stays GL-free), are deleted there,
// and every stored mesh without buffers gets them. Main thread (GL context)
// only.

#include <cstdint>
#include <vector>

#include "core/module.h"
#include "geom/mesh.h"
#include "sound/sound.h"

class ResourceManager : public Module<ResourceManager> {
 public:
  ResourceManager();

  void Init() override {}
  void Update() override {}
  void Kill() override {}

  // One RGBA8 texture with nearest filtering and clamped edges, no data;
  // it stays bound.
  uint32_t CreateRenderTexture(int width, int height);
  // The five targets, the framebuffer and its 24-bit depth renderbuffer at
  // the screen size System holds; the occlusion target (linear filtering)
  // and its framebuffer at half that size, rounded up.
  void CreateRenderTargets();
  // Deletes what CreateRenderTargets made (and zeroes the names).
  void ReleaseRenderTargets();
  // The status of the bound framebuffer; an incomplete one is logged by name.
  uint32_t CheckFramebufferStatus();
  // The name logged for an incomplete framebuffer status, or null for
  // complete and unknown values.
  static const char* FramebufferStatusName(uint32_t status);

  // Buffers for streams 0 to 3 (positions, colours, texture coordinates,
  // normals) into mesh.bufferIds; marks mesh.buffersCreated.
  void CreateMeshBuffers(Mesh& mesh);
  // One STATIC_DRAW array buffer holding the flattened stream; stays bound.
  uint32_t CreateMeshBuffer(const Mesh& mesh, int stream);

  // DeleteReleasedBuffers, then CreateMissingBuffers; true when either did
  // anything.
  bool UpdateMeshBuffers();
  // Deletes the buffers the ObjectManager queued for release; true when
  // there were any.
  bool DeleteReleasedBuffers();
  // Creates the buffers of every stored object's mesh that has none; true
  // when some mesh had none.
  bool CreateMissingBuffers();

  // Floats per triangle corner of each stream (0 for an unknown stream).
  static int StreamWidth(int stream);
  // One entry per triangle corner, in triangle and corner order:
  //   0: position (3)            1: corner colour (3)
  //   2: texture coordinate u, v and the 32-bit word stored right after it
  //      in the triangle record (3): for corners 0 and 1 the next corner's
  //      u, for corner 2 the first reserved word
  //   3: corner normal (3)       4: the vertex's float attributes (4)
  //   5: the vertex's integer attributes as floats (4)
  // Length: triangles x 3 x StreamWidth(stream). An unknown stream, or a
  // triangle that names a missing vertex, gives zeros there.
  static std::vector<float> FlattenStream(const Mesh& mesh, int stream);

  uint32_t framebuffer = 0;
  uint32_t depthRenderbuffer = 0;
  uint32_t geomRenderTarget = 0;         // lit colour of the geometry pass
  uint32_t depthRenderTarget = 0;        // depth, written as colour
  uint32_t normalRenderTarget = 0;       // normals (unused by the frame: lit in the geometry pass)
  uint32_t shadowRenderTarget = 0;       // light-space depth (unused by the frame)
  uint32_t finalShadowRenderTarget = 0;  // shadow term (unused by the frame)
  int targetWidth = 0, targetHeight = 0;  // size the targets were made at
  uint32_t occlusionFramebuffer = 0;
  uint32_t occlusionRenderTarget = 0;     // ambient occlusion term, half size
  int occlusionWidth = 0, occlusionHeight = 0;

  Sound chopSound;
  Sound collideSound;
};
