#pragma once
// Graphics: draws each frame with a deferred pipeline.
//
//   geometry pass  every object with a model is drawn, nearest first and
//                  with back faces culled, through one framebuffer into two
//                  screen-sized targets: packed linear depth (attachment 0)
//                  and the colour lit with "cameraLightVec" (1), in the form
//                  the final pass combines with the occlusion term;
//   occlusion pass a full-screen quad at half the resolution reads the depth
//                  target and writes the screen-space ambient occlusion term
//                  into the occlusion target (its own framebuffer);
//   final pass     a full-screen quad reads the lit colour and the
//                  occlusion term (upsampled), combines them and writes
//                  every pixel of the window (no clear, no depth test);
//   still scene    while nothing the three passes draw from changes (see
//                  scene_image.h), the picture they drew last stands in for
//                  them;
//   overlays       debug primitives, the tweak bar, the help icon and the
//                  instruction picture, depth test off;
//   end            swap buffers, then glfwPollEvents, so window input arrives
//                  at this point of the frame.
// Programs are read from the data folder's shaders/ and compiled behind a generated preamble
// ("#version 120" and the screen size as SCREEN_WIDTH / SCREEN_HEIGHT).
//
// Events (client "Graphics"): "DebugDraw" (queued for this frame's debug
// draw, see debug_graphics.h), "renderMode" (cycles 0 -> 1 -> 2 -> 0), "Set"
// (ignored).
//
// Failures: a shader file that cannot be read, does not compile or does not
// link is an error naming the file with the compiler's or linker's message
// (the run then ends); a pass whose program is missing draws nothing. GL
// errors are reported with file, line and error number.
// Without a window the module draws nothing and never touches GL.

#include <string>
#include <utility>
#include <vector>

#include "core/frame_stats.h"
#include "core/module.h"
#include "graphics/debug_graphics.h"
#include "graphics/debug_views.h"
#include "graphics/image_graphics.h"
#include "graphics/mesh_graphics.h"
#include "graphics/particle_graphics.h"
#include "graphics/scene_image.h"
#include "graphics/stats_overlay.h"
#include "math/matrix4.h"
#include "math/vector.h"

struct GLFWwindow;

// The light's position in world space (w = 1: a point light).
extern const Vector kLightPosition;

class Graphics : public Module<Graphics> {
 public:
  Graphics();

  void Init() override;
  void Update() override;
  void Kill() override;
  void HandleEvent(Event& event) override;

  // Compiles and links a program from two files behind the preamble;
  // reports a failure as an error and then returns 0.
  uint32_t LoadProgram(const std::string& vertexFile, const std::string& fragmentFile);
  // Attaches texture as colour attachment `index` of the bound framebuffer
  // and checks the framebuffer ("Problem binding framebuffer!").
  void AttachRenderTarget(uint32_t texture, int index);
  // Binds texture to `unit` for the sampler uniform `uniformName` of program;
  // returns the uniform's location (-1 when the program has none).
  int BindSampler(uint32_t program, uint32_t texture, int unit, const std::string& uniformName);
  // The window's framebuffer changed size: viewport, projection, tweak bar,
  // render targets.
  void WindowSizeCallback(int width, int height);
  // Sets fixed-function light i from ObjectManager's light i.
  void ApplyLights();
  // One quad over the whole viewport, texture coordinates 0..1, with both
  // matrix stacks reset around it.
  void DrawFullScreenQuad();

  // The preamble for a screen of width x height pixels (five lines).
  static std::string BuildPreamble(int width, int height);
  // The console lines for a slow frame (render time over 1/30 s), or an
  // empty string for a frame that is not slow.
  static std::string SlowFrameReport(double renderTime, double geomPassTime,
                                     double finalPassTime);
  // Whether program linked (false for 0): passes skip a program that did
  // not, so a broken shader gives a blank frame instead of GL errors.
  static bool ProgramUsable(uint32_t program);

  // Members in declaration order: particle, debug, mesh, image.
  ParticleGraphics particleGraphics;
  DebugGraphics debugGraphics;
  MeshGraphics meshGraphics;
  ImageGraphics imageGraphics;
  // Views of the physics over the frame, and the statistics overlay; the
  // scene adds their switches to the bar and hands over the cut it drags.
  DebugViews debugViews;
  StatsOverlay statsOverlay;

  Matrix4 lightProjection;  // 72 degree, square, near 0.1, far 100
  uint32_t shadowProgram = 0;
  uint32_t geometryProgram = 0;
  uint32_t finalProgram = 0;
  uint32_t occlusionProgram = 0;  // the occlusion pass
  std::string preamble;
  int renderMode = 2;  // cycles on "renderMode" events; no pass reads it

  // Frame timings of the last frame, seconds.
  double renderTime = 0.0, geomPassTime = 0.0, finalPassTime = 0.0;
  long frameCount = 0;  // frames drawn since Init

  // Read-back of a finished frame (before its swap), RGBA top row first, at
  // capturedWidth x capturedHeight. Set captureNextFrame to have the next
  // frame read back; the screenshot option reads back the program's last
  // frame the same way.
  bool captureNextFrame = false;
  std::vector<unsigned char> capturedFrame;
  int capturedWidth = 0, capturedHeight = 0;

 private:
  void GeometryPass();
  void OcclusionPass();
  void FinalPass();
  // Sets the program's "cameraLightVec" uniform (when it has one): the
  // light position in eye space.
  void SetLight(uint32_t program);
  // Sets the program's "screenSize" uniform (when it has one) to the size
  // of the render targets, in pixels, and "pixelSize" to its inverse.
  void SetScreenSize(uint32_t program);
  void CheckGlError(int line);
  // Ends a timed step that began at `mark`: records it in System's frame
  // statistics (waiting for GL to finish first when they are enabled), sets
  // mark to now and returns the step's time in seconds.
  double EndStep(FrameStep step, double& mark);
  // Draws the frame into the back buffer (everything but swap and events).
  void DrawFrame();
  void CaptureBackBuffer();
  // Whether this frame is the program's last: the running flag is already
  // clear, or the frame limit of the command line is reached.
  bool IsLastFrame() const;
  void TakeScreenshot();
  static void FramebufferSizeCallback(GLFWwindow* window, int width, int height);

  bool glReady = false;  // Init found a window and set GL state up
  // The picture of a still scene, drawn instead of the passes while nothing
  // it shows changes; frames in which mesh buffers were made or released.
  SceneImage sceneImage;
  uint64_t meshChanges = 0;
  // The geometry pass's objects, nearest first (eye depth of the position).
  std::vector<std::pair<float, GameObject*>> drawOrder;
  // The latest collision frame's contacts, copied for the views and counts.
  std::vector<ContactManifold> contactManifolds;
  std::vector<ContactPoint> contactPoints;
};
