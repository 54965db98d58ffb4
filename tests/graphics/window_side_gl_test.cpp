// The window side with a real window and GL context (run under Xvfb): render
// targets across resizes, textures, debug draw, overlays, programs, the
// "renderMode" event, a missing shader, and routing the mouse to the bar.

#include <algorithm>
#include <cmath>
#include <fstream>

#include "gl_test_support.h"
#include "graphics/texture.h"
#include "object_manager.h"
#include "resource_manager.h"

namespace {

using gltest::kHeight;
using gltest::kWidth;
using gltest::Rgb;

// Everything logged from construction on.
class LogWatch {
 public:
  LogWatch() : start(System::Instance().GetLogText().size()) {}
  bool Saw(const std::string& text) const {
    return System::Instance().GetLogText().substr(start).find(text) != std::string::npos;
  }

 private:
  size_t start;
};

// Runs a test that provokes an error report in a scratch folder (the error
// file lands there) and sets the running flag again afterwards.
class ExpectedErrors {
 public:
  ExpectedErrors() : home(std::filesystem::current_path()) {
    std::filesystem::current_path(scratch.path);
  }
  ~ExpectedErrors() {
    std::filesystem::current_path(home);
    System::Instance().running = true;
  }

 private:
  gltest::ScratchDir scratch;
  std::filesystem::path home;
};

int TextureWidth(uint32_t texture) {
  GLint width = 0;
  glBindTexture(GL_TEXTURE_2D, texture);
  glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_WIDTH, &width);
  glBindTexture(GL_TEXTURE_2D, 0);
  return width;
}
int TextureHeight(uint32_t texture) {
  GLint height = 0;
  glBindTexture(GL_TEXTURE_2D, texture);
  glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_HEIGHT, &height);
  glBindTexture(GL_TEXTURE_2D, 0);
  return height;
}

class WindowSide : public ::testing::Test {
 protected:
  void SetUp() override {
    CLEAVE_REQUIRE_WINDOW();
    ObjectManager& objects = ObjectManager::Instance();
    objects.camera.view = Matrix4();  // eye at the origin looking down -z
  }
  void TearDown() override {
    ObjectManager& objects = ObjectManager::Instance();
    objects.questionMarkTex = nullptr;
    objects.currentInstructionTex = nullptr;
  }
};

TEST_F(WindowSide, RenderTargetsMatchTheWindowAndResizingLeaksNothing) {
  ResourceManager& resources = ResourceManager::Instance();
  int fbWidth = 0, fbHeight = 0;
  glfwGetFramebufferSize(MainWindow(), &fbWidth, &fbHeight);
  const uint32_t targets[] = {resources.geomRenderTarget, resources.depthRenderTarget,
                              resources.normalRenderTarget, resources.shadowRenderTarget,
                              resources.finalShadowRenderTarget};
  for (uint32_t target : targets) {
    ASSERT_NE(target, 0u);
    EXPECT_EQ(TextureWidth(target), fbWidth);
    EXPECT_EQ(TextureHeight(target), fbHeight);
  }

  // Count live GL objects over a generous range of names, before and after
  // a series of size changes down to 1 x 1 and back. One frame first, so
  // that what is made once on the first frame (the bar's font) is there.
  gltest::RunFrame();
  const unsigned kNames = 400;
  auto isTexture = [](unsigned n) { return glIsTexture(n) == GL_TRUE; };
  auto isFramebuffer = [](unsigned n) { return glIsFramebufferEXT(n) == GL_TRUE; };
  auto isRenderbuffer = [](unsigned n) { return glIsRenderbufferEXT(n) == GL_TRUE; };
  const int textures = gltest::CountLive(isTexture, kNames);
  const int framebuffers = gltest::CountLive(isFramebuffer, kNames);
  const int renderbuffers = gltest::CountLive(isRenderbuffer, kNames);

  Graphics& graphics = Graphics::Instance();
  const int sizes[][2] = {{1, 1}, {640, 480}, {1, 1}, {1024, 700}, {kWidth, kHeight}};
  for (const auto& size : sizes) {
    graphics.WindowSizeCallback(size[0], size[1]);
    EXPECT_EQ(TextureWidth(resources.geomRenderTarget), size[0]);
    EXPECT_EQ(TextureHeight(resources.normalRenderTarget), size[1]);
    EXPECT_EQ(System::Instance().screenWidth, size[0]);
    gltest::RunFrame();  // draws through the new targets
  }
  EXPECT_EQ(gltest::CountLive(isTexture, kNames), textures);
  EXPECT_EQ(gltest::CountLive(isFramebuffer, kNames), framebuffers);
  EXPECT_EQ(gltest::CountLive(isRenderbuffer, kNames), renderbuffers);
  EXPECT_TRUE(System::Instance().running) << System::Instance().GetLogText();
}

TEST_F(WindowSide, TextureLoadsRgbaAndUploadsOnce) {
  gltest::ScratchDir scratch;
  const unsigned char grey[1] = {77};
  const std::string file = scratch.File("grey.png");
  ASSERT_TRUE(gltest::WriteSolidPng(file, 5, 3, 1, grey));

  std::unique_ptr<Texture> texture(Texture::Load(file));
  ASSERT_NE(texture->pixels, nullptr);
  EXPECT_EQ(texture->width, 5);
  EXPECT_EQ(texture->height, 3);
  EXPECT_EQ(texture->channels, 1);  // the file's own count
  for (int i = 0; i < 5 * 3; ++i) {  // ... but the data is RGBA
    EXPECT_EQ(texture->pixels[4 * i], 77);
    EXPECT_EQ(texture->pixels[4 * i + 2], 77);
    EXPECT_EQ(texture->pixels[4 * i + 3], 255);
  }
  EXPECT_EQ(texture->texID, Texture::kNoTexture);

  auto isTexture = [](unsigned n) { return glIsTexture(n) == GL_TRUE; };
  const int before = gltest::CountLive(isTexture, 400);
  texture->Upload();
  const uint32_t first = texture->texID;
  texture->Upload();
  EXPECT_EQ(texture->texID, first);
  EXPECT_NE(first, Texture::kNoTexture);
  EXPECT_EQ(gltest::CountLive(isTexture, 400), before + 1);
  texture->FreePixels();
  EXPECT_EQ(texture->pixels, nullptr);
  texture->FreePixels();  // twice is harmless
}

TEST_F(WindowSide, MissingOrCorruptImageIsReportedAndGivesAnEmptyRecord) {
  gltest::ScratchDir scratch;
  const std::string corrupt = scratch.File("corrupt.png");
  std::ofstream(corrupt) << "\x89PNG this is not a picture";
  for (const std::string& file : {scratch.File("missing.png"), corrupt}) {
    ExpectedErrors errors;
    LogWatch log;
    std::unique_ptr<Texture> texture(Texture::Load(file));
    EXPECT_TRUE(log.Saw("filename = " + file));
    EXPECT_TRUE(log.Saw("Unable to load texture!"));
    EXPECT_EQ(texture->pixels, nullptr);
    EXPECT_EQ(texture->width, 0);
    EXPECT_EQ(texture->height, 0);
    texture->Upload();  // an empty texture, no GL error
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
  }
}

TEST_F(WindowSide, DebugLineIsDrawnForOneFrameWithItsMarkers) {
  // The scene draws its cutting line just beyond the near plane; so does
  // this one, 0.2 in front of the eye, across the middle of the window.
  const Vector a(-0.05f, 0.0f, -0.2f), b(0.05f, 0.0f, -0.2f);
  Event line("Test", "Graphics", "DebugDraw");
  line.SetParam<std::string>("type", "line");
  line.SetParam("pointA", a);
  line.SetParam("pointB", b);
  line.SetParam("color", Vector(0.0f, 1.0f, 1.0f, 1.0f));  // cyan
  EventManager::Instance().PostEvent(line);
  const std::vector<unsigned char> withLine = gltest::RunFrameAndRead();
  const std::vector<unsigned char> after = gltest::RunFrameAndRead();

  // Where the ends land on screen.
  const Matrix4& projection = ObjectManager::Instance().projection;
  auto pixelOf = [&](const Vector& p, int& x, int& y) {
    const Vector clip = projection * WithW(p, 1.0f);
    x = static_cast<int>((clip.x / clip.w + 1.0f) * 0.5f * kWidth);
    y = static_cast<int>((1.0f - clip.y / clip.w) * 0.5f * kHeight);
  };
  int ax = 0, ay = 0, bx = 0, by = 0;
  pixelOf(a, ax, ay);
  pixelOf(b, bx, by);
  const Rgb cyan{0, 255, 255}, marker{0, 128, 255};
  const int midX = (ax + bx) / 2;
  EXPECT_TRUE(gltest::Near(gltest::PixelAt(withLine, midX, ay), cyan, 40));
  EXPECT_TRUE(gltest::Near(gltest::PixelAt(withLine, ax, ay), marker, 40));
  EXPECT_TRUE(gltest::Near(gltest::PixelAt(withLine, bx, by), marker, 40));
  // Only one frame: the next one shows none of it.
  EXPECT_FALSE(gltest::Near(gltest::PixelAt(after, midX, ay), cyan, 60));
  EXPECT_FALSE(gltest::Near(gltest::PixelAt(after, ax, ay), marker, 60));
  EXPECT_TRUE(Graphics::Instance().debugGraphics.queue.empty());

  WritePng(std::string(CLEAVE_BINARY_DIR) + "/debug_line.png", withLine, kWidth, kHeight);
}

TEST_F(WindowSide, OverlaysCoverTheirRectangles) {
  gltest::ScratchDir scratch;
  const unsigned char red[4] = {255, 0, 0, 255}, green[4] = {0, 255, 0, 255};
  ASSERT_TRUE(gltest::WriteSolidPng(scratch.File("red.png"), 8, 8, 4, red));
  ASSERT_TRUE(gltest::WriteSolidPng(scratch.File("green.png"), 8, 8, 4, green));
  std::unique_ptr<Texture> icon(Texture::Load(scratch.File("red.png")));
  std::unique_ptr<Texture> page(Texture::Load(scratch.File("green.png")));
  ObjectManager& objects = ObjectManager::Instance();
  objects.questionMarkTex = icon.get();
  objects.currentInstructionTex = page.get();
  const std::vector<unsigned char> frame = gltest::RunFrameAndRead();

  struct Case {
    OverlayRect rect;
    Rgb colour;
  };
  for (const Case& c : {Case{ImageGraphics::kHelpIcon, {255, 0, 0}},
                        Case{ImageGraphics::kInstructions, {0, 255, 0}}}) {
    // NDC to pixels (row 0 at the top).
    const int left = static_cast<int>((c.rect.left + 1.0f) * 0.5f * kWidth);
    const int right = static_cast<int>((c.rect.right + 1.0f) * 0.5f * kWidth);
    const int top = static_cast<int>((1.0f - c.rect.top) * 0.5f * kHeight);
    const int bottom = static_cast<int>((1.0f - c.rect.bottom) * 0.5f * kHeight);
    const int inset = 2;
    for (int x : {left + inset, (left + right) / 2, right - inset - 1})
      for (int y : {top + inset, (top + bottom) / 2, bottom - inset - 1})
        EXPECT_TRUE(gltest::Near(gltest::PixelAt(frame, x, y), c.colour, 8)) << x << "," << y;
    // Just outside each edge the picture is not there.
    const int midX = (left + right) / 2, midY = (top + bottom) / 2;
    for (const auto& outside : {std::pair<int, int>{left - 3, midY}, {right + 2, midY},
                                {midX, top - 3}, {midX, bottom + 2}}) {
      if (outside.first < 0 || outside.second < 0 || outside.first >= kWidth ||
          outside.second >= kHeight)
        continue;
      EXPECT_FALSE(gltest::Near(gltest::PixelAt(frame, outside.first, outside.second), c.colour,
                                8))
          << outside.first << "," << outside.second;
    }
  }
}

TEST_F(WindowSide, DebugDrawKeepsTheProgramThatWasInUse) {
  Graphics& graphics = Graphics::Instance();
  DebugGraphics& debug = graphics.debugGraphics;
  ASSERT_TRUE(debug.enabled);
  for (uint32_t program : {graphics.finalProgram, 0u}) {
    Event box("Test", "Graphics", "DebugDraw");
    box.SetParam<std::string>("type", "wireBox");
    debug.Enqueue(box);
    glUseProgram(program);
    debug.DrawQueued();
    GLint current = -1;
    glGetIntegerv(GL_CURRENT_PROGRAM, &current);
    EXPECT_EQ(static_cast<uint32_t>(current), program);
    EXPECT_TRUE(debug.queue.empty());
  }
  glUseProgram(0);
}

TEST_F(WindowSide, MalformedDebugDrawIsReportedAndTheQueueMovesOn) {
  ExpectedErrors errors;
  LogWatch log;
  DebugGraphics& debug = Graphics::Instance().debugGraphics;
  Event noEnds("Test", "Graphics", "DebugDraw");
  noEnds.SetParam<std::string>("type", "line");
  Event wrongType("Test", "Graphics", "DebugDraw");
  wrongType.SetParam<std::string>("type", "wireBox");
  wrongType.SetParam("trans", 3.0f);  // a float where a Vector belongs
  Event unknown("Test", "Graphics", "DebugDraw");
  unknown.SetParam<std::string>("type", "sphere");
  debug.Enqueue(noEnds);
  debug.Enqueue(wrongType);
  debug.Enqueue(unknown);
  glUseProgram(Graphics::Instance().finalProgram);
  debug.DrawQueued();
  GLint current = 0;
  glGetIntegerv(GL_CURRENT_PROGRAM, &current);
  EXPECT_EQ(static_cast<uint32_t>(current), Graphics::Instance().finalProgram);
  glUseProgram(0);
  EXPECT_TRUE(debug.queue.empty());
  EXPECT_TRUE(log.Saw("DebugDraw line without pointA or pointB"));
  EXPECT_TRUE(log.Saw("DebugDraw event with a parameter of the wrong type"));
}

TEST_F(WindowSide, ThreeRenderModeEventsComeBackToTwo) {
  Graphics& graphics = Graphics::Instance();
  ASSERT_EQ(graphics.renderMode, 2);
  const int expected[] = {0, 1, 2};
  for (int want : expected) {
    EventManager::Instance().PostEvent(Event("Test", "Graphics", "renderMode"));
    EventManager::Instance().PostEvent(Event("Test", "Graphics", "Set"));  // ignored
    gltest::RunFrame();
    EXPECT_EQ(graphics.renderMode, want);
  }
}

TEST_F(WindowSide, MissingShaderIsLoggedAndTheLoopGoesOn) {
  Graphics& graphics = Graphics::Instance();
  LogWatch log;
  const uint32_t broken =
      graphics.LoadProgram("shaders/no_such_shader.glsl", "shaders/simple_ssao_frag.glsl");
  EXPECT_TRUE(log.Saw("vertShaderFile = shaders/no_such_shader.glsl"));
  EXPECT_TRUE(log.Saw("log = "));
  EXPECT_FALSE(Graphics::ProgramUsable(broken));

  // A program that does not compile: its own log line too.
  gltest::ScratchDir scratch;
  const std::string bad = scratch.File("bad_frag.glsl");
  std::ofstream(bad) << "void main() { gl_FragColor = vec4(1.0) +; }\n";
  const uint32_t badProgram = graphics.LoadProgram("shaders/deferred_final_vert.glsl", bad);
  EXPECT_TRUE(log.Saw("fragShaderFile = " + bad));
  EXPECT_FALSE(Graphics::ProgramUsable(badProgram));

  // Frames with broken programs in both passes: blank but no GL error.
  const uint32_t geometry = graphics.geometryProgram, final = graphics.finalProgram;
  graphics.geometryProgram = broken;
  graphics.finalProgram = badProgram;
  for (int i = 0; i < 3; ++i) gltest::RunFrame();
  graphics.geometryProgram = geometry;
  graphics.finalProgram = final;
  EXPECT_TRUE(System::Instance().running) << System::Instance().GetLogText();
  EXPECT_TRUE(Graphics::ProgramUsable(graphics.shadowProgram));  // the shadow pair links
}

TEST_F(WindowSide, BarTakesTheMouseOnlyWhileEnabled) {
  InterfaceManager& interface = InterfaceManager::Instance();
  InputManager& input = InputManager::Instance();
  GLFWwindow* window = MainWindow();
  ASSERT_TRUE(interface.IsBarShown());
  ASSERT_FALSE(interface.IsInputEnabled());
  const int installs = input.MouseHandlerInstalls();

  interface.SetInputEnabled(true);
  interface.SetInputEnabled(true);
  EXPECT_EQ(input.MouseHandlerInstalls(), installs + 1);
  EXPECT_TRUE(input.tweakBarInput);
  // A handler is in place (reinstalling returns it, then we put it back).
  GLFWmousebuttonfun handler = glfwSetMouseButtonCallback(window, nullptr);
  EXPECT_NE(handler, nullptr);
  glfwSetMouseButtonCallback(window, handler);

  interface.SetInputEnabled(false);
  EXPECT_FALSE(input.tweakBarInput);
  EXPECT_EQ(glfwSetMouseButtonCallback(window, nullptr), nullptr);
  EXPECT_EQ(glfwSetCursorPosCallback(window, nullptr), nullptr);
  EXPECT_EQ(glfwSetScrollCallback(window, nullptr), nullptr);
}

TEST_F(WindowSide, BarDrawsItsDescriptionAndReportsItsBox) {
  InterfaceManager& interface = InterfaceManager::Instance();
  TweakBar& bar = interface.bar;
  bar.Clear();
  int modelType = 2;
  float shotSize = 1.0f;
  int presses = 0;
  bar.AddText("Help", "Left drag: slice");
  bar.AddReadOnlyInt("Settings", "Objects", [] { return 4; });
  bar.AddEnum("Settings", "Model", &modelType, {"Random", "Sphere", "Box", "Cone"});
  bar.AddFloat("Settings", "Shot size", &shotSize, 0.5f, 3.0f, 0.25f);
  bar.AddButton("Settings", "Reset", [&] { ++presses; });
  const std::vector<unsigned char> frame = gltest::RunFrameAndRead();
  WritePng(std::string(CLEAVE_BINARY_DIR) + "/tweak_bar.png", frame, kWidth, kHeight);
  EXPECT_TRUE(System::Instance().running) << System::Instance().GetLogText();

  const BoundingBox box = interface.GetBarBox();
  EXPECT_EQ(box.center, Vector(20.0f + 100.0f, 200.0f + 160.0f, 0.0f, 0.0f));
  EXPECT_EQ(box.halfExtents, Vector(100.0f, 160.0f, 0.0f, 0.0f));
  // The bar's blue shows inside its box and the values are untouched.
  const Rgb inside = gltest::PixelAt(frame, 30, 480);
  EXPECT_GT(inside.b, inside.r + 40);
  EXPECT_EQ(modelType, 2);
  EXPECT_EQ(shotSize, 1.0f);
  EXPECT_EQ(presses, 0);
  bar.Clear();
}

}  // namespace
