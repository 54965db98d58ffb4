#include "graphics/graphics.h"

#include <GL/glew.h>
#include <GLFW/glfw3.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <iostream>
#include <sstream>

#include "collision/collision_manager.h"
#include "core/data_folder.h"
#include "core/event_manager.h"
#include "core/settings.h"
#include "core/system.h"
#include "graphics/ndc_space.h"
#include "graphics/scene_image.h"
#include "graphics/screenshot.h"
#include "objects/model_comp.h"
#include "objects/object_manager.h"
#include "window/interface_manager.h"
#include "window/resource_manager.h"
#include "window/system_window.h"

const Vector kLightPosition(3.0f, 55.0f, 0.0f, 1.0f);

namespace {
// Light projection for shadow maps.
const float kLightFov = 1.2566371f;  // radians, 72 degrees
const float kLightNear = 0.1f, kLightFar = 100.0f;
// Frames whose rendering takes longer than this are reported (seconds).
const double kSlowRenderTime = 1.0 / 30.0;
// Fixed-function GL guarantees 8 lights; ObjectManager may hold more.
const int kMaxLights = 8;

const char* const kGeomVert = "shaders/deferred_geom_vert.glsl";
const char* const kGeomFrag = "shaders/deferred_geom_frag.glsl";
const char* const kFinalVert = "shaders/deferred_final_vert.glsl";
const char* const kFinalFrag = "shaders/simple_ssao_frag.glsl";
const char* const kOcclusionFrag = "shaders/ssao_occlusion_frag.glsl";
const char* const kShadowVert = "shaders/shadow_gen_vert.glsl";
const char* const kShadowFrag = "shaders/shadow_gen_frag.glsl";

// A shader's or program's info log (the compiler's or linker's message).
template <class GetLength, class GetLog>
std::string InfoLog(GLuint name, GetLength getLength, GetLog getLog) {
  GLint length = 0;
  getLength(name, GL_INFO_LOG_LENGTH, &length);
  std::string log(length > 0 ? length : 1, '\0');
  getLog(name, static_cast<GLsizei>(log.size()), nullptr, &log[0]);
  log.resize(std::strlen(log.c_str()));
  while (!log.empty() && std::isspace(static_cast<unsigned char>(log.back()))) log.pop_back();
  return log;
}

// Compiles one shader from the preamble and the file's text. A file that
// cannot be read or does not compile is an error that names the file and
// gives the compiler's message; the result is then 0.
GLuint CompileShader(GLenum kind, const std::string& preamble, const std::string& file) {
  std::string text;
  if (!ReadTextFile(file, text)) {
    CLEAVE_ERROR("cannot read the shader file " + file);
    return 0;
  }
  const GLuint shader = glCreateShader(kind);
  const char* sources[2] = {preamble.c_str(), text.c_str()};
  glShaderSource(shader, 2, sources, nullptr);
  glCompileShader(shader);
  GLint compiled = GL_FALSE;
  glGetShaderiv(shader, GL_COMPILE_STATUS, &compiled);
  if (compiled == GL_TRUE) return shader;
  CLEAVE_ERROR("the shader " + file + " does not compile: " +
               InfoLog(shader, glGetShaderiv, glGetShaderInfoLog));
  glDeleteShader(shader);
  return 0;
}
}  // namespace

Graphics::Graphics() : Module<Graphics>("Graphics") {}

std::string Graphics::BuildPreamble(int width, int height) {
  std::ostringstream text;
  text << "// Program-generated preprocessor defines\n"
       << "#version 120\n"
       << "#define SCREEN_WIDTH " << width << ".0\n"
       << "#define SCREEN_HEIGHT " << height << ".0\n"
       << "// " << std::string(77, '-') << "\n";
  return text.str();
}

std::string Graphics::SlowFrameReport(double renderTime, double geomPassTime,
                                      double finalPassTime) {
  if (!(renderTime > kSlowRenderTime)) return std::string();
  std::ostringstream text;
  text << "renderTime = " << renderTime << "\n"
       << "  geomPassEnd - geomPassStart = " << geomPassTime << "\n"
       << "  finalPassEnd - finalPassStart = " << finalPassTime << "\n"
       << "\n";
  return text.str();
}

bool Graphics::ProgramUsable(uint32_t program) {
  if (program == 0 || !glIsProgram(program)) return false;
  GLint linked = GL_FALSE;
  glGetProgramiv(program, GL_LINK_STATUS, &linked);
  return linked == GL_TRUE;
}

void Graphics::Init() {
  EventManager::Instance().RegisterClient(name);
  renderMode = 2;
  lightProjection = Matrix4::Perspective(kLightFov, 1.0f, kLightNear, kLightFar);
  GLFWwindow* window = MainWindow();
  if (window == nullptr) return;  // headless: nothing to draw with
  glReady = true;

  System::Instance().Log(std::string("GL_RENDERER = ") +
                         reinterpret_cast<const char*>(glGetString(GL_RENDERER)));
  debugGraphics.Init();

  glEnable(GL_MULTISAMPLE);
  glShadeModel(GL_SMOOTH);
  glClearColor(0.5f, 0.5f, 0.5f, 1.0f);
  glClearDepth(1.0);
  glEnable(GL_DEPTH_TEST);
  glDepthFunc(GL_LEQUAL);
  glHint(GL_PERSPECTIVE_CORRECTION_HINT, GL_NICEST);
  glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
  glEnable(GL_BLEND);
  glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
  glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_MODULATE);

  // GLFW 3 does not call a size callback when it is installed (GLFW 2 did):
  // call it once with the current size, which creates the render targets.
  // The framebuffer size is in pixels, which is what GL and the targets need.
  glfwSetFramebufferSizeCallback(window, FramebufferSizeCallback);
  int width = 0, height = 0;
  glfwGetFramebufferSize(window, &width, &height);
  WindowSizeCallback(width, height);
  // Render targets the GL could not make (a window larger than it allows)
  // end the start-up here: nothing could be drawn, not even a screenshot.
  if (!System::Instance().running) {
    glReady = false;
    return;
  }

  const System& system = System::Instance();
  preamble = BuildPreamble(system.screenWidth, system.screenHeight);
  geometryProgram = LoadProgram(DataPath(kGeomVert), DataPath(kGeomFrag));
  finalProgram = LoadProgram(DataPath(kFinalVert), DataPath(kFinalFrag));
  shadowProgram = LoadProgram(DataPath(kShadowVert), DataPath(kShadowFrag));
  occlusionProgram = LoadProgram(DataPath(kFinalVert), DataPath(kOcclusionFrag));

  debugGraphics.enabled = true;
}

void Graphics::FramebufferSizeCallback(GLFWwindow*, int width, int height) {
  Graphics::Instance().WindowSizeCallback(width, height);
}

void Graphics::WindowSizeCallback(int width, int height) {
  // The rest of the engine (render targets, cursor mapping) reads the size
  // from System, so keep it in step with the window.
  System& system = System::Instance();
  if (width > 0 && height > 0) {
    system.screenWidth = width;
    system.screenHeight = height;
  }
  glViewport(0, 0, width, height);
  ObjectManager::Instance().camera.SetViewportSize(width, height);
  InterfaceManager::Instance().WindowSize(width, height);
  sceneImage.Release();
  ResourceManager& resources = ResourceManager::Instance();
  resources.ReleaseRenderTargets();
  resources.CreateRenderTargets();
}

uint32_t Graphics::LoadProgram(const std::string& vertexFile, const std::string& fragmentFile) {
  const GLuint vertex = CompileShader(GL_VERTEX_SHADER, preamble, vertexFile);
  const GLuint fragment = CompileShader(GL_FRAGMENT_SHADER, preamble, fragmentFile);
  GLuint program = 0;
  if (vertex != 0 && fragment != 0) {
    program = glCreateProgram();
    glAttachShader(program, vertex);
    glAttachShader(program, fragment);
    glLinkProgram(program);
    GLint linked = GL_FALSE;
    glGetProgramiv(program, GL_LINK_STATUS, &linked);
    if (linked != GL_TRUE) {
      CLEAVE_ERROR("the shaders " + vertexFile + " and " + fragmentFile + " do not link: " +
                   InfoLog(program, glGetProgramiv, glGetProgramInfoLog));
      glDeleteProgram(program);
      program = 0;
    }
  }
  // The program keeps the shaders alive while it needs them (0 is ignored).
  glDeleteShader(vertex);
  glDeleteShader(fragment);
  return program;
}

void Graphics::AttachRenderTarget(uint32_t texture, int index) {
  glFramebufferTexture2DEXT(GL_FRAMEBUFFER_EXT, GL_COLOR_ATTACHMENT0_EXT + index, GL_TEXTURE_2D,
                            texture, 0);
  if (ResourceManager::Instance().CheckFramebufferStatus() != GL_FRAMEBUFFER_COMPLETE_EXT)
    CLEAVE_ERROR("Problem binding framebuffer!");
}

int Graphics::BindSampler(uint32_t program, uint32_t texture, int unit,
                          const std::string& uniformName) {
  CLEAVE_ASSERT(texture != 0);
  const GLint location = glGetUniformLocation(program, uniformName.c_str());
  if (location != -1) {
    glActiveTexture(GL_TEXTURE0 + unit);
    glBindTexture(GL_TEXTURE_2D, texture);
    glUniform1i(location, unit);
  }
  return location;
}

void Graphics::ApplyLights() {
  const std::vector<Light>& lights = ObjectManager::Instance().lights;
  const int count = std::min(static_cast<int>(lights.size()), kMaxLights);
  for (int i = 0; i < count; ++i) {
    const Light& light = lights[i];
    const GLenum id = GL_LIGHT0 + i;
    glLightfv(id, GL_POSITION, &light.position.x);
    glLightfv(id, GL_AMBIENT, &light.ambient.x);
    glLightfv(id, GL_DIFFUSE, &light.diffuse.x);
    glLightfv(id, GL_SPECULAR, &light.specular.x);
    glLightf(id, GL_CONSTANT_ATTENUATION, light.constantAttenuation);
    glLightf(id, GL_LINEAR_ATTENUATION, light.linearAttenuation);
    glLightf(id, GL_QUADRATIC_ATTENUATION, light.quadraticAttenuation);
  }
}

void Graphics::DrawFullScreenQuad() { DrawNdcQuad(-1.0f, -1.0f, 1.0f, 1.0f); }

void Graphics::HandleEvent(Event& event) {
  if (event.type == "DebugDraw")
    debugGraphics.Enqueue(event);
  else if (event.type == "renderMode")
    renderMode = (renderMode + 1) % 3;
  // "Set" and anything else: accepted and ignored.
}

void Graphics::CheckGlError(int line) {
  const GLenum error = glGetError();
  if (error != GL_NO_ERROR)
    System::Instance().Error(ErrorReport(__FILE__, line, "GL error " + std::to_string(error)));
}

void Graphics::Update() {
  ProcessEvents();
  debugViews.PollKeys();
  System& system = System::Instance();
  contactManifolds.clear();
  contactPoints.clear();
  if (debugViews.contacts || statsOverlay.shown || system.frameStats.enabled)
    CollisionManager::Instance().GetContacts(contactManifolds, contactPoints);
  statsOverlay.Update(static_cast<int>(contactPoints.size()));
  if (!glReady) {
    debugGraphics.queue.clear();  // nothing draws them; do not let them pile up
    return;
  }
  debugViews.Collect(contactManifolds, contactPoints);
  const double renderStart = system.GetTime();
  double mark = renderStart;
  ++frameCount;
  if (ResourceManager::Instance().UpdateMeshBuffers()) ++meshChanges;
  EndStep(FrameStep::kMeshUpload, mark);
  DrawFrame();

  // Read the frame back before the swap: what the back buffer holds after
  // a swap is undefined, and the front buffer of a window cannot be read
  // back reliably (it reads as black under Xvfb).
  const bool screenshot = !system.options.screenshot.empty() && IsLastFrame();
  if (captureNextFrame || screenshot) CaptureBackBuffer();
  captureNextFrame = false;

  mark = system.GetTime();
  glFlush();
  GLFWwindow* window = MainWindow();
  if (window != nullptr) {
    glfwSwapBuffers(window);
    // GLFW 3 runs the input callbacks here: keys reach InputManager at the
    // same point of the frame as they did with the buffer swap.
    glfwPollEvents();
  }
  EndStep(FrameStep::kPresent, mark);

  renderTime = system.GetTime() - renderStart;
  const std::string report = SlowFrameReport(renderTime, geomPassTime, finalPassTime);
  if (!report.empty()) std::cout << report << std::flush;
}

double Graphics::EndStep(FrameStep step, double& mark) {
  System& system = System::Instance();
  // GL queues commands and a software renderer draws them at the next
  // flush: without waiting here a pass would look free and the swap would
  // carry its cost. Only the statistics wait; a normal run overlaps them.
  if (system.frameStats.enabled) glFinish();
  const double now = system.GetTime();
  const double elapsed = now - mark;
  system.frameStats.AddStep(step, elapsed);
  mark = now;
  return elapsed;
}

void Graphics::DrawFrame() {
  const Camera& camera = ObjectManager::Instance().camera;
  glMatrixMode(GL_PROJECTION);
  glLoadMatrixf(camera.Projection().m);
  glMatrixMode(GL_MODELVIEW);
  glLoadMatrixf(camera.view.m);
  ApplyLights();

  const ResourceManager& resources = ResourceManager::Instance();
  uint64_t fingerprint = 0;
  {
    ObjectLock lock;
    fingerprint = SceneFingerprint(ObjectManager::Instance(), resources.targetWidth,
                                   resources.targetHeight, meshChanges);
  }
  double mark = System::Instance().GetTime();
  if (sceneImage.Holds(fingerprint)) {
    // Nothing moved since the picture was kept: it stands in for the three
    // passes (which count as taking no time).
    geomPassTime = EndStep(FrameStep::kGeometryPass, mark);
    EndStep(FrameStep::kOcclusionPass, mark);
    sceneImage.Draw();
    glDisable(GL_DEPTH_TEST);  // as the final pass leaves it for the overlays
  } else {
    GeometryPass();
    geomPassTime = EndStep(FrameStep::kGeometryPass, mark);
    OcclusionPass();
    EndStep(FrameStep::kOcclusionPass, mark);
    FinalPass();
    sceneImage.Offer(fingerprint, resources.targetWidth, resources.targetHeight);
  }
  CheckGlError(__LINE__);
  finalPassTime = EndStep(FrameStep::kFinalPass, mark);

  // Overlays go on top of the frame, with the depth test still off (the
  // window's depth buffer is not used).
  debugGraphics.DrawQueued();
  debugViews.Draw();
  particleGraphics.Draw();
  InterfaceManager& interface = InterfaceManager::Instance();
  if (interface.IsBarShown()) interface.Draw();
  imageGraphics.DrawOverlays();
  glEnable(GL_DEPTH_TEST);
  CheckGlError(__LINE__);
  EndStep(FrameStep::kOverlays, mark);
}

bool Graphics::IsLastFrame() const {
  const System& system = System::Instance();
  return !system.running || (system.options.frames > 0 && frameCount >= system.options.frames);
}

void Graphics::CaptureBackBuffer() {
  GLFWwindow* window = MainWindow();
  if (window == nullptr) return;
  glfwGetFramebufferSize(window, &capturedWidth, &capturedHeight);
  capturedFrame = ReadWindowPixels(capturedWidth, capturedHeight, GL_BACK);
  // The window is opaque whatever alpha the blending left behind.
  for (size_t i = 3; i < capturedFrame.size(); i += 4) capturedFrame[i] = 255;
}

void Graphics::GeometryPass() {
  ResourceManager& resources = ResourceManager::Instance();
  ObjectManager& objects = ObjectManager::Instance();
  glBindFramebufferEXT(GL_FRAMEBUFFER_EXT, resources.framebuffer);
  glBindRenderbufferEXT(GL_RENDERBUFFER_EXT, resources.depthRenderbuffer);

  const bool usable = ProgramUsable(geometryProgram);
  if (usable) {
    glUseProgram(geometryProgram);
    SetLight(geometryProgram);
  }
  AttachRenderTarget(resources.depthRenderTarget, 0);
  AttachRenderTarget(resources.geomRenderTarget, 1);
  const GLenum drawBuffers[2] = {GL_COLOR_ATTACHMENT0_EXT, GL_COLOR_ATTACHMENT1_EXT};
  glDrawBuffers(2, drawBuffers);

  glDisable(GL_BLEND);
  glClearColor(1.0f, 1.0f, 1.0f, 1.0f);
  glClearDepth(1.0);
  glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
  CheckGlError(__LINE__);

  // Meshes without colours take the current colour: start from white.
  glColor4f(1.0f, 1.0f, 1.0f, 1.0f);
  if (usable) {
    // Every solid is closed and wound counter-clockwise seen from outside:
    // faces turned away are hidden behind its front, and culling them
    // halves what is rasterised.
    glEnable(GL_CULL_FACE);
    meshGraphics.BeginDraw();
    ObjectLock lock;
    // Nearest first (eye depth of the position): a software renderer skips
    // shading a block whose pixels all fail the depth test, so surfaces
    // hidden behind ones drawn earlier cost little.
    drawOrder.clear();
    const Matrix4& view = objects.camera.view;
    for (auto& entry : objects.objects) {
      if (entry.second.Find<ModelComp>() == nullptr) continue;
      const Vector eye = view * WithW(entry.second.position, 1.0f);
      drawOrder.emplace_back(-eye.z, &entry.second);
    }
    std::sort(drawOrder.begin(), drawOrder.end(),
              [](const auto& a, const auto& b) { return a.first < b.first; });
    for (const auto& item : drawOrder) meshGraphics.DrawObject(*item.second);
    meshGraphics.EndDraw();
    glDisable(GL_CULL_FACE);
  }
  CheckGlError(__LINE__);

  glUseProgram(0);
  glBindFramebufferEXT(GL_FRAMEBUFFER_EXT, 0);
  glBindRenderbufferEXT(GL_RENDERBUFFER_EXT, 0);
  glDrawBuffer(GL_BACK);
  glClearColor(0.5f, 0.5f, 0.5f, 1.0f);
}

void Graphics::OcclusionPass() {
  ResourceManager& resources = ResourceManager::Instance();
  GLint viewport[4] = {0, 0, 0, 0};
  glGetIntegerv(GL_VIEWPORT, viewport);
  glBindFramebufferEXT(GL_FRAMEBUFFER_EXT, resources.occlusionFramebuffer);
  glViewport(0, 0, resources.occlusionWidth, resources.occlusionHeight);
  // 1 is no occlusion: what the pass leaves where it draws nothing (the sky,
  // far away), and the whole term when its program is unusable.
  glClearColor(1.0f, 1.0f, 1.0f, 1.0f);
  glClear(GL_COLOR_BUFFER_BIT);
  if (ProgramUsable(occlusionProgram)) {
    glUseProgram(occlusionProgram);
    SetScreenSize(occlusionProgram);
    BindSampler(occlusionProgram, resources.depthRenderTarget, 0, "depthTex");
    glActiveTexture(GL_TEXTURE0);
    glDisable(GL_BLEND);
    glDisable(GL_DEPTH_TEST);
    DrawFullScreenQuad();
    glEnable(GL_DEPTH_TEST);
    glUseProgram(0);
  }
  glBindFramebufferEXT(GL_FRAMEBUFFER_EXT, 0);
  glViewport(viewport[0], viewport[1], viewport[2], viewport[3]);
  glClearColor(0.5f, 0.5f, 0.5f, 1.0f);
}

void Graphics::SetLight(uint32_t program) {
  const Vector light = ObjectManager::Instance().camera.view * kLightPosition;
  const GLint location = glGetUniformLocation(program, "cameraLightVec");
  if (location != -1) glUniform4f(location, light.x, light.y, light.z, light.w);
}

void Graphics::SetScreenSize(uint32_t program) {
  const ResourceManager& resources = ResourceManager::Instance();
  const float width = static_cast<float>(resources.targetWidth);
  const float height = static_cast<float>(resources.targetHeight);
  const GLint size = glGetUniformLocation(program, "screenSize");
  if (size != -1) glUniform2f(size, width, height);
  const GLint pixel = glGetUniformLocation(program, "pixelSize");
  if (pixel != -1) glUniform2f(pixel, 1.0f / width, 1.0f / height);
}

void Graphics::FinalPass() {
  // The quad covers every pixel of the window, and nothing after it tests
  // depth: no clear of the window, no depth test.
  glDisable(GL_DEPTH_TEST);
  if (!ProgramUsable(finalProgram)) {
    glClear(GL_COLOR_BUFFER_BIT);  // a blank (grey) frame
    return;
  }
  ResourceManager& resources = ResourceManager::Instance();
  glUseProgram(finalProgram);
  SetScreenSize(finalProgram);
  BindSampler(finalProgram, resources.geomRenderTarget, 1, "geomTex");
  BindSampler(finalProgram, resources.occlusionRenderTarget, 3, "occlusionTex");

  glActiveTexture(GL_TEXTURE0);
  glColor4f(1.0f, 1.0f, 1.0f, 1.0f);
  glEnable(GL_TEXTURE_2D);
  glDisable(GL_BLEND);
  DrawFullScreenQuad();
  glUseProgram(0);
}

void Graphics::TakeScreenshot() {
  const std::string& path = System::Instance().options.screenshot;
  if (path.empty() || !glReady) return;
  // The run ended where no frame knew it was the last (a close request or
  // a worker's error after the swap): draw the scene once more, as it is
  // now, and read that back instead.
  if (capturedFrame.empty()) {
    DrawFrame();
    CaptureBackBuffer();
  }
  if (WritePng(path, capturedFrame, capturedWidth, capturedHeight))
    System::Instance().Log("screenshot = " + path);
  else
    CLEAVE_ERROR("unable to write screenshot " + path);
}

void Graphics::Kill() {
  TakeScreenshot();
  if (glReady) sceneImage.Release();
  EventManager::Instance().UnregisterClient(name);
}
