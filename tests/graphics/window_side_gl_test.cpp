// The window side with a real window and GL context (run under Xvfb): render
// targets across resizes, textures, debug draw, overlays, programs, the
// "renderMode" event, a missing shader, and routing the mouse to the bar.

#include <filesystem>
#include <fstream>
#include <imgui.h>

#include "gl_test_support.h"
#include "graphics/texture.h"
#include "objects/object_manager.h"
#include "window/resource_manager.h"

namespace {

using gltest::kHeight;
using gltest::kWidth;
using gltest::Rgb;

// Whether `text` was logged since construction.
struct LogWatch {
  size_t start = System::Instance().GetLogText().size();
  bool Saw(const std::string& text) const {
    return System::Instance().GetLogText().find(text, start) != std::string::npos;
  }
};

// For a test that provokes an error report: the error file lands in the
// build folder, and the running flag is set again afterwards.
class ExpectedErrors {
 public:
  ExpectedErrors() { std::filesystem::current_path(CLEAVE_BINARY_DIR); }
  ~ExpectedErrors() {
    std::filesystem::current_path(home);
    System::Instance().running = true;
  }

 private:
  std::filesystem::path home = std::filesystem::current_path();
};

std::pair<int, int> TextureSize(uint32_t texture) {
  GLint width = 0, height = 0;
  glBindTexture(GL_TEXTURE_2D, texture);
  glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_WIDTH, &width);
  glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_HEIGHT, &height);
  glBindTexture(GL_TEXTURE_2D, 0);
  return {width, height};
}

bool IsTexture(unsigned n) { return glIsTexture(n) == GL_TRUE; }

class WindowSide : public ::testing::Test {
 protected:
  void SetUp() override {
    CLEAVE_REQUIRE_WINDOW();
    ObjectManager::Instance().camera.view = Matrix4();  // eye at the origin looking down -z
  }
  void TearDown() override {
    ObjectManager::Instance().questionMarkTex = nullptr;
    ObjectManager::Instance().currentInstructionTex = nullptr;
  }
};

TEST_F(WindowSide, RenderTargetsMatchTheWindowAndResizingLeaksNothing) {
  ResourceManager& resources = ResourceManager::Instance();
  int fbWidth = 0, fbHeight = 0;
  glfwGetFramebufferSize(MainWindow(), &fbWidth, &fbHeight);
  for (uint32_t target : {resources.geomRenderTarget, resources.depthRenderTarget,
                          resources.normalRenderTarget, resources.shadowRenderTarget,
                          resources.finalShadowRenderTarget}) {
    ASSERT_NE(target, 0u);
    EXPECT_EQ(TextureSize(target), std::make_pair(fbWidth, fbHeight));
  }

  // Count live GL objects before and after size changes down to 1 x 1 and
  // back. One frame first, so that what the first frame makes once (the
  // bar's font) is there.
  gltest::RunFrame();
  auto isFramebuffer = [](unsigned n) { return glIsFramebufferEXT(n) == GL_TRUE; };
  auto isRenderbuffer = [](unsigned n) { return glIsRenderbufferEXT(n) == GL_TRUE; };
  const int textures = gltest::CountLive(IsTexture);
  const int framebuffers = gltest::CountLive(isFramebuffer);
  const int renderbuffers = gltest::CountLive(isRenderbuffer);
  for (const auto& size : {std::make_pair(1, 1), {640, 480}, {1, 1}, {1024, 700},
                           {kWidth, kHeight}}) {
    Graphics::Instance().WindowSizeCallback(size.first, size.second);
    EXPECT_EQ(TextureSize(resources.geomRenderTarget), size);
    EXPECT_EQ(TextureSize(resources.normalRenderTarget), size);
    EXPECT_EQ(System::Instance().screenWidth, size.first);
    gltest::RunFrame();  // draws through the new targets
  }
  EXPECT_EQ(gltest::CountLive(IsTexture), textures);
  EXPECT_EQ(gltest::CountLive(isFramebuffer), framebuffers);
  EXPECT_EQ(gltest::CountLive(isRenderbuffer), renderbuffers);
  EXPECT_TRUE(System::Instance().running) << System::Instance().GetLogText();
}

TEST_F(WindowSide, TextureLoadsRgbaAndUploadsOnce) {
  const unsigned char grey[1] = {77};
  ASSERT_TRUE(gltest::WriteSolidPng(gltest::ScratchFile("grey.png"), 5, 3, 1, grey));
  std::unique_ptr<Texture> texture(Texture::Load(gltest::ScratchFile("grey.png")));
  ASSERT_NE(texture->pixels, nullptr);
  EXPECT_EQ(texture->width, 5);
  EXPECT_EQ(texture->height, 3);
  EXPECT_EQ(texture->channels, 1);  // the file's own count, but the data is RGBA
  const unsigned char* p = texture->pixels;
  for (int i = 0; i < 5 * 3; ++i)  // grey in red and blue, opaque alpha
    EXPECT_TRUE(gltest::Near(Rgb{p[4 * i], p[4 * i + 2], p[4 * i + 3]}, Rgb{77, 77, 255}, 0)) << i;

  const int before = gltest::CountLive(IsTexture);
  texture->Upload();
  const uint32_t first = texture->texID;
  texture->Upload();
  EXPECT_EQ(texture->texID, first);
  EXPECT_NE(first, Texture::kNoTexture);
  EXPECT_EQ(gltest::CountLive(IsTexture), before + 1);
  texture->FreePixels();
  EXPECT_EQ(texture->pixels, nullptr);
  texture->FreePixels();  // twice is harmless
}

TEST_F(WindowSide, MissingOrCorruptImageIsReportedAndGivesAnEmptyRecord) {
  const std::string corrupt = gltest::ScratchFile("corrupt.png");
  std::ofstream(corrupt) << "\x89PNG this is not a picture";
  for (const std::string& file : {gltest::ScratchFile("missing.png"), corrupt}) {
    ExpectedErrors errors;
    LogWatch log;
    std::unique_ptr<Texture> texture(Texture::Load(file));
    EXPECT_TRUE(log.Saw("filename = " + file));
    EXPECT_TRUE(log.Saw("Unable to load texture!"));
    EXPECT_EQ(texture->pixels, nullptr);
    EXPECT_EQ(texture->width + texture->height, 0);
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
  const std::vector<unsigned char> withLine = gltest::RunFrame(true);
  const std::vector<unsigned char> after = gltest::RunFrame(true);
  WritePng(std::string(CLEAVE_BINARY_DIR) + "/debug_line.png", withLine, kWidth, kHeight);

  const Matrix4 projection = ObjectManager::Instance().camera.Projection();
  auto pixelOf = [&](const Vector& p) {
    const Vector clip = projection * WithW(p, 1.0f);
    return std::make_pair(static_cast<int>((clip.x / clip.w + 1.0f) * 0.5f * kWidth),
                          static_cast<int>((1.0f - clip.y / clip.w) * 0.5f * kHeight));
  };
  const auto [ax, ay] = pixelOf(a);
  const auto [bx, by] = pixelOf(b);
  const Rgb cyan{0, 255, 255}, marker{0, 128, 255};
  const int midX = (ax + bx) / 2;
  EXPECT_TRUE(gltest::Near(gltest::PixelAt(withLine, midX, ay), cyan, 40));
  EXPECT_TRUE(gltest::Near(gltest::PixelAt(withLine, ax, ay), marker, 40));
  EXPECT_TRUE(gltest::Near(gltest::PixelAt(withLine, bx, by), marker, 40));
  // Only one frame: the next one shows none of it.
  EXPECT_FALSE(gltest::Near(gltest::PixelAt(after, midX, ay), cyan, 60));
  EXPECT_FALSE(gltest::Near(gltest::PixelAt(after, ax, ay), marker, 60));
  EXPECT_TRUE(Graphics::Instance().debugGraphics.queue.empty());
}

TEST_F(WindowSide, OverlaysCoverTheirRectangles) {
  const unsigned char red[4] = {255, 0, 0, 255}, green[4] = {0, 255, 0, 255};
  ASSERT_TRUE(gltest::WriteSolidPng(gltest::ScratchFile("red.png"), 8, 8, 4, red));
  ASSERT_TRUE(gltest::WriteSolidPng(gltest::ScratchFile("green.png"), 8, 8, 4, green));
  std::unique_ptr<Texture> icon(Texture::Load(gltest::ScratchFile("red.png")));
  std::unique_ptr<Texture> page(Texture::Load(gltest::ScratchFile("green.png")));
  ObjectManager::Instance().questionMarkTex = icon.get();
  ObjectManager::Instance().currentInstructionTex = page.get();
  const std::vector<unsigned char> frame = gltest::RunFrame(true);

  using Overlay = std::pair<OverlayRect, Rgb>;
  for (const auto& [rect, colour] : {Overlay{ImageGraphics::kHelpIcon, {255, 0, 0}},
                                     Overlay{ImageGraphics::kInstructions, {0, 255, 0}}}) {
    // NDC to pixels (row 0 at the top); 2 pixels inside each edge the
    // picture shows, 2 or 3 outside it does not.
    const int left = static_cast<int>((rect.left + 1.0f) * 0.5f * kWidth);
    const int right = static_cast<int>((rect.right + 1.0f) * 0.5f * kWidth);
    const int top = static_cast<int>((1.0f - rect.top) * 0.5f * kHeight);
    const int bottom = static_cast<int>((1.0f - rect.bottom) * 0.5f * kHeight);
    const int midX = (left + right) / 2, midY = (top + bottom) / 2;
    for (int x : {left + 2, midX, right - 3})
      for (int y : {top + 2, midY, bottom - 3})
        EXPECT_TRUE(gltest::Near(gltest::PixelAt(frame, x, y), colour, 8)) << x << "," << y;
    for (const auto& [x, y] : {std::make_pair(left - 3, midY), {right + 2, midY}, {midX, top - 3},
                               {midX, bottom + 2}})
      if (x >= 0 && y >= 0 && x < kWidth && y < kHeight) {
        EXPECT_FALSE(gltest::Near(gltest::PixelAt(frame, x, y), colour, 8)) << x << "," << y;
      }
  }
}

TEST_F(WindowSide, DebugDrawKeepsTheProgramInUseAndReportsMalformedEvents) {
  ExpectedErrors errors;
  LogWatch log;
  DebugGraphics& debug = Graphics::Instance().debugGraphics;
  ASSERT_TRUE(debug.enabled);
  Event box("Test", "Graphics", "DebugDraw"), noEnds = box, wrongType = box, unknown = box;
  box.SetParam<std::string>("type", "wireBox");
  noEnds.SetParam<std::string>("type", "line");
  wrongType.SetParam<std::string>("type", "wireBox");
  wrongType.SetParam("trans", 3.0f);  // a float where a Vector belongs
  unknown.SetParam<std::string>("type", "sphere");
  for (uint32_t program : {Graphics::Instance().finalProgram, 0u}) {
    for (const Event* event : {&box, &noEnds, &wrongType, &unknown}) debug.Enqueue(*event);
    glUseProgram(program);
    debug.DrawQueued();
    GLint current = -1;
    glGetIntegerv(GL_CURRENT_PROGRAM, &current);
    EXPECT_EQ(static_cast<uint32_t>(current), program);
    EXPECT_TRUE(debug.queue.empty());
  }
  glUseProgram(0);
  EXPECT_TRUE(log.Saw("DebugDraw line without pointA or pointB"));
  EXPECT_TRUE(log.Saw("DebugDraw event with a parameter of the wrong type"));
}

TEST_F(WindowSide, ThreeRenderModeEventsComeBackToTwo) {
  ASSERT_EQ(Graphics::Instance().renderMode, 2);
  for (int want : {0, 1, 2}) {
    EventManager::Instance().PostEvent(Event("Test", "Graphics", "renderMode"));
    EventManager::Instance().PostEvent(Event("Test", "Graphics", "Set"));  // ignored
    gltest::RunFrame();
    EXPECT_EQ(Graphics::Instance().renderMode, want);
  }
}

TEST_F(WindowSide, MissingOrBrokenShaderIsAnErrorAndFramesStaySafe) {
  Graphics& graphics = Graphics::Instance();
  ExpectedErrors errors;
  LogWatch log;
  const std::string shaders = std::string(CLEAVE_SOURCE_DIR) + "/shaders/";
  const uint32_t missing =
      graphics.LoadProgram(shaders + "no_such_shader.glsl", shaders + "simple_ssao_frag.glsl");
  EXPECT_TRUE(log.Saw("ERROR: graphics/graphics.cpp:"));
  EXPECT_TRUE(log.Saw(" " + shaders + "no_such_shader.glsl"));
  EXPECT_FALSE(Graphics::ProgramUsable(missing));
  const std::string bad = gltest::ScratchFile("bad_frag.glsl");
  std::ofstream(bad) << "void main() { gl_FragColor = vec4(1.0) +; }\n";
  const uint32_t broken = graphics.LoadProgram(shaders + "deferred_final_vert.glsl", bad);
  EXPECT_TRUE(log.Saw(" " + bad + " does not compile: "));
  EXPECT_FALSE(Graphics::ProgramUsable(broken));
  EXPECT_FALSE(System::Instance().running);

  // Frames without usable programs in both passes: blank, but no GL error.
  System::Instance().running = true;
  const uint32_t geometry = graphics.geometryProgram, final = graphics.finalProgram;
  graphics.geometryProgram = missing;
  graphics.finalProgram = broken;
  for (int i = 0; i < 3; ++i) gltest::RunFrame();
  graphics.geometryProgram = geometry;
  graphics.finalProgram = final;
  EXPECT_TRUE(System::Instance().running) << System::Instance().GetLogText();
  EXPECT_TRUE(Graphics::ProgramUsable(graphics.shadowProgram));  // the shadow pair links
}

TEST_F(WindowSide, BarTakesTheMouseOnlyWhileEnabled) {
  InterfaceManager& interface = InterfaceManager::Instance();
  ASSERT_TRUE(interface.IsBarShown());
  ASSERT_FALSE(interface.IsInputEnabled());
  // A press forwarded by the input callbacks reaches the bar's frame only
  // while the bar takes the mouse.
  for (const bool enabled : {false, true, false}) {
    interface.SetInputEnabled(enabled);
    interface.MouseButtonInput(GLFW_MOUSE_BUTTON_LEFT, GLFW_PRESS, 0);
    gltest::RunFrame();
    EXPECT_EQ(ImGui::GetIO().MouseDown[0], enabled) << "bar input enabled: " << enabled;
    interface.MouseButtonInput(GLFW_MOUSE_BUTTON_LEFT, GLFW_RELEASE, 0);
    gltest::RunFrame();
  }
}

TEST_F(WindowSide, BarDrawsItsDescriptionAndReportsItsBox) {
  InterfaceManager& interface = InterfaceManager::Instance();
  TweakBar& bar = interface.bar;
  bar.Clear();
  int modelType = 2, presses = 0;
  float shotSize = 1.0f;
  bar.AddText("Help", "Left drag: slice");
  bar.AddReadOnlyInt("Settings", "Objects", [] { return 4; });
  bar.AddEnum("Settings", "Model", &modelType, {"Random", "Sphere", "Box", "Cone"});
  bar.AddFloat("Settings", "Shot size", &shotSize, 0.5f, 3.0f, 0.25f);
  bar.AddButton("Settings", "Reset", [&] { ++presses; });
  gltest::RunFrame();  // the bar's height follows its items one frame late
  const std::vector<unsigned char> frame = gltest::RunFrame(true);
  WritePng(std::string(CLEAVE_BINARY_DIR) + "/tweak_bar.png", frame, kWidth, kHeight);
  EXPECT_TRUE(System::Instance().running) << System::Instance().GetLogText();

  // The bar at (20, 40), 220 wide and as high as its five items need
  // (above the instruction picture): its blue shows inside its box and the
  // values are untouched.
  const BoundingBox box = interface.GetBarBox();
  EXPECT_EQ(box.center.x - box.halfExtents.x, 20.0f);
  EXPECT_EQ(box.center.y - box.halfExtents.y, 40.0f);
  EXPECT_EQ(box.halfExtents.x, 110.0f);
  EXPECT_GT(box.halfExtents.y, 50.0f);
  EXPECT_LT(box.center.y + box.halfExtents.y, 400.0f);
  // (The bar lies over the blue sky: compare with the sky beside it.)
  const int y = static_cast<int>(box.center.y);
  const Rgb inside = gltest::PixelAt(frame, 24, y), beside = gltest::PixelAt(frame, 260, y);
  EXPECT_GT(inside.b, inside.r + 40);
  EXPECT_FALSE(gltest::Near(inside, beside, 10));
  EXPECT_EQ(modelType, 2);
  EXPECT_EQ(shotSize, 1.0f);
  EXPECT_EQ(presses, 0);
  bar.Clear();
}

}  // namespace
