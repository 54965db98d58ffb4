// The renderer: its draw matrices, then with a real window and GL context
// (run under Xvfb) window size changes, textures, debug draw, overlays, the
// "renderMode" event and a missing or broken shader.

#include <GL/glew.h>
#include <stb_image_write.h>

#include <cmath>
#include <fstream>
#include <memory>

#include "collision/collision_shapes.h"
#include "graphics/debug_graphics.h"
#include "graphics/debug_views.h"
#include "graphics/mesh_graphics.h"
#include "graphics/stats_overlay.h"
#include "graphics/texture.h"
#include "graphics_test_support.h"
#include "objects/object_manager.h"
#include "scene/model_type.h"
#include "scene/solid_factory.h"
#include "support/log_capture.h"
#include "window/resource_manager.h"

namespace {

using support::kWindowHeight;
using support::kWindowWidth;
using support::Near;
using support::PixelAt;
using support::Rgb;

bool IsTexture(unsigned n) { return glIsTexture(n) == GL_TRUE; }

// A width x height PNG of one colour with `channels` channels (1: grey).
bool WriteSolidPng(const std::string& file, int width, int height, int channels, const unsigned char* colour) {
  std::vector<unsigned char> data(static_cast<size_t>(width) * height * channels);
  for (size_t i = 0; i < data.size(); ++i) data[i] = colour[i % channels];
  return stbi_write_png(file.c_str(), width, height, channels, data.data(), width * channels) != 0;
}

void ExpectNear3(const Vector& got, const Vector& want) {
  for (int k = 0; k < 3; ++k) EXPECT_NEAR(got[k], want[k], 1e-5) << k;
}

// Scale, then rotate, then move: the wire box's +x face centre lands at
// trans + 2 * 0.5 * (rotated x axis) and y is not stretched; an object's
// x turns to -z under +90 degrees about y, is scaled by 2, then moved.
TEST(DrawMatrices, WireBoxAndObjectTransformScaleThenRotateThenMove) {
  const Quaternion rot = Quaternion::FromAxisAngle(Normalize(Vector(1, 2, 3)), 0.7f);
  const Vector trans(4, 5, 6, 0);
  const Matrix4 m = DebugGraphics::BoxMatrix(trans, rot, Vector(2, 1, 1));
  ExpectNear3(m * Vector(0.5f, 0.0f, 0.0f, 1.0f), trans + rot.Rotate(Vector(1, 0, 0)));
  EXPECT_NEAR(Length(WithW(m * Vector(0.0f, 0.5f, 0.0f, 1.0f) - m * Vector(0, 0, 0, 1), 0.0f)), 0.5f, 1e-5);
  GameObject object;
  object.position = Vector(1, 2, 3);
  object.orientation = Quaternion::FromAxisAngle(Vector(0, 1, 0), 1.5707963f);
  ExpectNear3(MeshGraphics::ObjectTransform(object, 2.0f) * Vector(1, 0, 0, 1), Vector(1, 2, 1));
}

class GraphicsGl : public ::testing::Test {
 protected:
  void SetUp() override {
    CLEAVE_REQUIRE_GRAPHICS();
    ObjectManager::Instance().camera.view = Matrix4();  // eye at the origin looking down -z
  }
  void TearDown() override {
    ObjectManager::Instance().questionMarkTex = nullptr;
    ObjectManager::Instance().currentInstructionTex = nullptr;
  }
};

// A size change reaches System and remakes the render targets without a
// leak, and the frame draws through them; three "renderMode" events cycle
// back to mode 2.
// The overlay shows the figures of the --stats line, to its digits: frames of
// 10, 20, 30 and 40 ms have mean 25, nearest-rank median 20 and p95 40.
TEST(StatsOverlay, ShowsTheFiguresOfTheStatsLine) {
  FrameStats stats;
  stats.enabled = true;
  for (double ms : {30.0, 10.0, 40.0, 20.0}) stats.AddFrame(ms / 1000.0);
  stats.AddStep(FrameStep::kCollision, 0.0015);
  stats.AddStep(FrameStep::kCollision, 0.0025);
  stats.SetScene(3, 7, 12);
  stats.AddPieces(5);
  const FrameSummary summary = stats.Summarise();
  std::string text;
  for (const std::string& line : StatsOverlay::Lines(summary)) text += line + "\n";
  const std::string json = FrameStats::Json(summary);
  for (const char* figure : {"25.000", "20.000", "40.000", "10.000", "2.000"})
    EXPECT_TRUE(text.find(figure) != std::string::npos && json.find(figure) != std::string::npos) << figure;
  EXPECT_NE(std::string::npos, text.find("collision step 2.000 ms")) << text;
  EXPECT_NE(std::string::npos, text.find("median 20.000  p95 40.000  worst 40.000")) << text;
  EXPECT_NE(std::string::npos, text.find("bodies awake 3, asleep 7\ncontact points 12\npieces made 5")) << text;
  EXPECT_EQ(json, stats.Json());
}

// A box's hull (a grid of 26 vertices v, each moved out by the margin m
// along v / |v|) is outlined as its six faces, each through the box's four
// corners and its four edge midpoints (moved out, they stick out past the
// lines between the corners): moved back in, every point of a face is on
// the box's grid with one coordinate or none at the centre.
TEST(HullOutline, ABoxHullIsSixFacesThroughItsCornersAndEdgeMidpoints) {
  const Vector half(1.0f, 0.5f, 2.0f);
  const GameObject box = BuildSolid("box", Vector(), half, Box, Quaternion(), 1.0f);
  const HullOutline outline = OutlineHull(*box.Find<CollisionComp>());
  ASSERT_EQ(6u, outline.faces.size());
  for (const std::vector<Vector>& face : outline.faces) {
    ASSERT_EQ(8u, face.size());
    int corners = 0;
    for (const Vector& p : face) {
      const double length = std::sqrt(double(p.x) * p.x + double(p.y) * p.y + double(p.z) * p.z);
      int centred = 0;
      for (int k = 0; k < 3; ++k) {
        const double in = std::fabs(p[k] * (length - kHullMargin) / length);
        centred += in < 1e-4;
        if (in >= 1e-4) {
          EXPECT_NEAR(in, half[k], 1e-4) << k;
        }
      }
      EXPECT_LE(centred, 1);
      corners += centred == 0;
    }
    EXPECT_EQ(4, corners);
    // Wound counter-clockwise seen from outside: the turn points away from the centre.
    EXPECT_GT(Dot3(Cross(face[1] - face[0], face[2] - face[1]), face[0]), 0.0f);
  }
}

TEST_F(GraphicsGl, ResizingAndRenderModesKeepDrawing) {
  graphics_test::RunFrame();  // what the first frame makes once (the bar's font) is there
  const int textures = support::CountLive(IsTexture);
  for (const auto& size : {std::make_pair(1, 1), {640, 480}, {kWindowWidth, kWindowHeight}}) {
    Graphics::Instance().WindowSizeCallback(size.first, size.second);
    EXPECT_TRUE(System::Instance().screenWidth == size.first && ResourceManager::Instance().targetWidth == size.first);
    graphics_test::RunFrame();
  }
  EXPECT_EQ(support::CountLive(IsTexture), textures);
  ASSERT_EQ(Graphics::Instance().renderMode, 2);
  for (int want : {0, 1, 2}) {
    EventManager::Instance().PostEvent(Event("Test", "Graphics", "renderMode"));
    EventManager::Instance().PostEvent(Event("Test", "Graphics", "Set"));  // ignored
    graphics_test::RunFrame();
    EXPECT_EQ(Graphics::Instance().renderMode, want);
  }
  EXPECT_TRUE(System::Instance().running) << System::Instance().GetLogText();
}

TEST_F(GraphicsGl, TexturesLoadAsRgbaUploadOnceAndBadFilesAreReported) {
  const unsigned char grey[1] = {77};
  ASSERT_TRUE(WriteSolidPng("grey.png", 5, 3, 1, grey));
  std::unique_ptr<Texture> texture(Texture::Load("grey.png"));
  ASSERT_TRUE(texture->pixels != nullptr && texture->width == 5 && texture->height == 3 && texture->channels == 1);
  const unsigned char* p = texture->pixels;
  for (int i = 0; i < 5 * 3; ++i)  // but the data is RGBA: grey in red and blue, opaque alpha
    EXPECT_TRUE(Near(Rgb{p[4 * i], p[4 * i + 2], p[4 * i + 3]}, Rgb{77, 77, 255}, 0)) << i;
  const int before = support::CountLive(IsTexture);
  texture->Upload();
  const uint32_t first = texture->texID;
  texture->Upload();
  EXPECT_TRUE(texture->texID == first && first != Texture::kNoTexture && support::CountLive(IsTexture) == before + 1);
  texture->FreePixels();
  texture->FreePixels();  // twice is harmless
  EXPECT_EQ(texture->pixels, nullptr);
  texture.reset();  // the GL texture goes with the record
  EXPECT_EQ(glIsTexture(first), GL_FALSE);

  std::ofstream("corrupt.png") << "\x89PNG this is not a picture";
  for (const std::string file : {"missing.png", "corrupt.png"}) {
    support::LogCapture log;
    std::unique_ptr<Texture> bad(Texture::Load(file));
    EXPECT_TRUE(log.Logged("Unable to load texture!") && log.Logged(file)) << log.NewLog();
    EXPECT_TRUE(bad->pixels == nullptr && bad->width + bad->height == 0);
    bad->Upload();  // an empty texture, no GL error
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
  }
}

TEST_F(GraphicsGl, DebugLineIsDrawnForOneFrameWithItsMarkers) {
  // The scene draws its cutting line just beyond the near plane; so does
  // this one, 0.2 in front of the eye, across the middle of the window.
  const Vector a(-0.05f, 0.0f, -0.2f), b(0.05f, 0.0f, -0.2f);
  Event line("Test", "Graphics", "DebugDraw");
  line.SetParam<std::string>("type", "line");
  line.SetParam("pointA", a);
  line.SetParam("pointB", b);
  line.SetParam("color", Vector(0.0f, 1.0f, 1.0f, 1.0f));  // cyan
  EventManager::Instance().PostEvent(line);
  const std::vector<unsigned char> withLine = graphics_test::RunFrame(true);
  const std::vector<unsigned char> after = graphics_test::RunFrame(true);
  const Matrix4 projection = ObjectManager::Instance().camera.Projection();
  auto pixelOf = [&](const Vector& p) {
    const Vector clip = projection * WithW(p, 1.0f);
    return std::make_pair(static_cast<int>((clip.x / clip.w + 1.0f) * 0.5f * kWindowWidth),
                          static_cast<int>((1.0f - clip.y / clip.w) * 0.5f * kWindowHeight));
  };
  const auto [ax, ay] = pixelOf(a);
  const auto [bx, by] = pixelOf(b);
  const Rgb cyan{0, 255, 255}, marker{0, 128, 255};
  const int midX = (ax + bx) / 2;
  EXPECT_TRUE(Near(PixelAt(withLine, midX, ay), cyan, 40) && Near(PixelAt(withLine, ax, ay), marker, 40) &&
              Near(PixelAt(withLine, bx, by), marker, 40));
  // Only one frame: the next one shows none of it.
  EXPECT_FALSE(Near(PixelAt(after, midX, ay), cyan, 60) || Near(PixelAt(after, ax, ay), marker, 60));
  EXPECT_TRUE(Graphics::Instance().debugGraphics.queue.empty());
}

TEST_F(GraphicsGl, DebugDrawKeepsTheProgramInUseAndReportsMalformedEvents) {
  support::LogCapture log;
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
    EXPECT_TRUE(static_cast<uint32_t>(current) == program && debug.queue.empty()) << current;
  }
  glUseProgram(0);
  EXPECT_EQ(log.Count("ERROR: graphics/debug_graphics.cpp:"), 4u) << log.NewLog();  // two malformed events, twice
}

// Each overlay picture covers its rectangle: its colour 2 pixels inside
// each edge and in the middle, not 3 pixels outside.
TEST_F(GraphicsGl, OverlaysCoverTheirRectangles) {
  const unsigned char red[4] = {255, 0, 0, 255}, green[4] = {0, 255, 0, 255};
  ASSERT_TRUE(WriteSolidPng("red.png", 8, 8, 4, red) && WriteSolidPng("green.png", 8, 8, 4, green));
  std::unique_ptr<Texture> icon(Texture::Load("red.png")), page(Texture::Load("green.png"));
  ObjectManager::Instance().questionMarkTex = icon.get();
  ObjectManager::Instance().currentInstructionTex = page.get();
  const std::vector<unsigned char> frame = graphics_test::RunFrame(true);
  using Overlay = std::pair<OverlayRect, Rgb>;
  for (const auto& [rect, colour] : {Overlay{ImageGraphics::kHelpIcon, {255, 0, 0}}, Overlay{ImageGraphics::kInstructions, {0, 255, 0}}}) {
    const int left = int((rect.left + 1.0f) * 0.5f * kWindowWidth), right = int((rect.right + 1.0f) * 0.5f * kWindowWidth);
    const int top = int((1.0f - rect.top) * 0.5f * kWindowHeight), bottom = int((1.0f - rect.bottom) * 0.5f * kWindowHeight);
    const int midX = (left + right) / 2, midY = (top + bottom) / 2;
    for (const auto& [x, y] : {std::make_pair(left + 2, top + 2), {midX, midY}, {right - 3, bottom - 3}})
      EXPECT_TRUE(Near(PixelAt(frame, x, y), colour, 8)) << x << "," << y;
    for (const auto& [x, y] : {std::make_pair(left - 3, midY), {right + 2, midY}, {midX, top - 3}, {midX, bottom + 2}})
      EXPECT_TRUE(x < 0 || y < 0 || x >= kWindowWidth || y >= kWindowHeight || !Near(PixelAt(frame, x, y), colour, 8)) << x << "," << y;
  }
}

TEST_F(GraphicsGl, MissingOrBrokenShaderIsAnErrorNamingTheFileAndFramesStaySafe) {
  Graphics& graphics = Graphics::Instance();
  support::LogCapture log;
  const uint32_t missing = graphics.LoadProgram("shaders/no_such_shader.glsl", "shaders/simple_ssao_frag.glsl");
  EXPECT_TRUE(log.Logged("ERROR: graphics/graphics.cpp:") && log.Logged(" shaders/no_such_shader.glsl")) << log.NewLog();
  EXPECT_FALSE(Graphics::ProgramUsable(missing));
  // Only the compiler knows this name: its message is passed on. One report per bad file.
  std::ofstream("bad_frag.glsl") << "void main() { gl_FragColor = vec4(undeclared_name_xyz); }\n";
  const uint32_t broken = graphics.LoadProgram("shaders/deferred_final_vert.glsl", "bad_frag.glsl");
  EXPECT_TRUE(log.Logged(" bad_frag.glsl does not compile: ") && log.Logged("undeclared_name_xyz") && log.Count("ERROR") == 2u)
      << log.NewLog();
  EXPECT_FALSE(Graphics::ProgramUsable(broken));
  EXPECT_FALSE(System::Instance().running);
  System::Instance().running = true;
  // Frames without usable programs in both passes: blank, but no GL error.
  const uint32_t geometry = graphics.geometryProgram, final = graphics.finalProgram;
  graphics.geometryProgram = missing;
  graphics.finalProgram = broken;
  for (int i = 0; i < 3; ++i) graphics_test::RunFrame();
  graphics.geometryProgram = geometry;
  graphics.finalProgram = final;
  EXPECT_TRUE(System::Instance().running) << System::Instance().GetLogText();
  EXPECT_TRUE(Graphics::ProgramUsable(graphics.shadowProgram));  // the shadow pair links
}

}  // namespace
