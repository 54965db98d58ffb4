// The window side's logic that needs no GL: mesh streams for the GPU, the
// shader preamble, the cursor mapping, the key tables, the bar description,
// the slow-frame report and the small matrix and image helpers.

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "geom/mesh.h"
#include "graphics/debug_graphics.h"
#include "graphics/graphics.h"
#include "graphics/mesh_graphics.h"
#include "window/input_manager.h"
#include "window/resource_manager.h"
#include "window/tweak_bar.h"

namespace {

// Two triangles over four vertices, every field distinct, so that a value
// taken from the wrong place shows.
Mesh DistinctMesh() {
  Mesh mesh;
  for (int v = 0; v < 4; ++v) {
    Vertex vertex(10.0f * v + 1, 10.0f * v + 2, 10.0f * v + 3);
    for (int k = 0; k < 4; ++k) {
      vertex.floatAttributes[k] = 100.0f * v + k + 0.5f;
      vertex.intAttributes[k] = -1000 * v - k;
    }
    mesh.AddVertex(vertex);
  }
  mesh.AddTriangle(0, 1, 2);
  mesh.AddTriangle(2, 1, 3);
  for (uint32_t t = 0; t < 2; ++t)
    for (int c = 0; c < 3; ++c) {
      const float base = 1000.0f * (t + 1) + 10.0f * c;
      mesh.SetCornerNormal(t, c, base + 1, base + 2, base + 3);
      mesh.SetCornerColour(t, c, base + 4, base + 5, base + 6);
      mesh.SetCornerTexCoord(t, c, base + 7, base + 8);
    }
  const float marker = 4242.0f;  // read by stream 2 at triangle 1's last corner
  std::memcpy(&mesh.triangles[1].reserved[0], &marker, sizeof marker);
  return mesh;
}

TEST(FlattenStream, EveryStreamHasOneEntryPerCornerInTriangleOrder) {
  const Mesh mesh = DistinctMesh();
  for (int stream = 0; stream < 6; ++stream) {
    const int width = ResourceManager::StreamWidth(stream);
    const std::vector<float> data = ResourceManager::FlattenStream(mesh, stream);
    ASSERT_EQ(data.size(), mesh.triangles.size() * 3 * width) << "stream " << stream;
    for (uint32_t t = 0; t < mesh.TriangleCount(); ++t)
      for (int c = 0; c < 3; ++c) {
        const Triangle& tri = mesh.triangles[t];
        const Vertex& v = mesh.vertices[tri.indices[c]];
        std::vector<float> want;
        switch (stream) {
          case 0: want = {v.x, v.y, v.z}; break;
          case 1: want = {tri.colours[c][0], tri.colours[c][1], tri.colours[c][2]}; break;
          case 2: {
            // u, v and the word after them: the next corner's u, or the
            // first reserved word after the last corner (4242 or zero).
            float third = 0.0f;
            if (c < 2) third = tri.texCoords[c + 1][0];
            else std::memcpy(&third, &tri.reserved[0], sizeof third);
            want = {tri.texCoords[c][0], tri.texCoords[c][1], third};
            break;
          }
          case 3: want = {tri.normals[c][0], tri.normals[c][1], tri.normals[c][2]}; break;
          case 4: want.assign(v.floatAttributes, v.floatAttributes + 4); break;
          case 5: want.assign(v.intAttributes, v.intAttributes + 4); break;
        }
        for (int k = 0; k < width; ++k)
          EXPECT_EQ(data[(t * 3 + c) * width + k], want[k])
              << "stream " << stream << " triangle " << t << " corner " << c << " float " << k;
      }
  }
}

TEST(FlattenStream, EmptyMeshUnknownStreamAndDanglingIndex) {
  for (int stream = 0; stream < 6; ++stream)
    EXPECT_TRUE(ResourceManager::FlattenStream(Mesh(), stream).empty());
  EXPECT_TRUE(ResourceManager::FlattenStream(DistinctMesh(), 6).empty());
  EXPECT_TRUE(ResourceManager::FlattenStream(DistinctMesh(), -1).empty());
  // A corner naming a vertex that does not exist gives zeros, not a read
  // past the vertex array.
  Mesh broken = DistinctMesh();
  broken.triangles[0].indices[1] = 99;
  const std::vector<float> positions = ResourceManager::FlattenStream(broken, 0);
  EXPECT_EQ(std::vector<float>(positions.begin(), positions.begin() + 6),
            (std::vector<float>{1, 2, 3, 0, 0, 0}));
}

TEST(GraphicsText, PreambleAndSlowFrameReport) {
  EXPECT_EQ(Graphics::BuildPreamble(800, 600),
            "// Program-generated preprocessor defines\n"
            "#version 120\n"
            "#define SCREEN_WIDTH 800.0\n"
            "#define SCREEN_HEIGHT 600.0\n"
            "// -----------------------------------------------------------------------------\n");
  // Only frames over a thirtieth of a second are reported.
  EXPECT_EQ(Graphics::SlowFrameReport(1.0 / 30.0, 0.01, 0.02), "");
  EXPECT_EQ(Graphics::SlowFrameReport(0.05, 0.01, 0.03),
            "renderTime = 0.05\n"
            "  geomPassEnd - geomPassStart = 0.01\n"
            "  finalPassEnd - finalPassStart = 0.03\n\n");
}

TEST(CursorToNdc, PixelCentresMapInsideTheSquareWithUpPositive) {
  const Vector corner = CursorToNdc(0.0, 0.0, 800, 600);
  EXPECT_FLOAT_EQ(corner.x, -0.99875f);
  EXPECT_NEAR(corner.y, 0.998333f, 1e-6);
  EXPECT_EQ(corner, Vector(corner.x, corner.y, 0.0f, 0.0f));
  // Mirror pixels map to mirror points, and every pixel lies strictly inside.
  for (int x = 0; x < 800; x += 37)
    for (int y = 0; y < 600; y += 41) {
      const Vector a = CursorToNdc(x, y, 800, 600), b = CursorToNdc(799 - x, 599 - y, 800, 600);
      EXPECT_NEAR(a.x, -b.x, 1e-6);
      EXPECT_NEAR(a.y, -b.y, 1e-6);
      EXPECT_LT(std::fmax(std::fabs(a.x), std::fabs(a.y)), 1.0f);
    }
  // A minimised window (no pixels) does not divide by zero.
  EXPECT_EQ(CursorToNdc(10.0, 10.0, 0, 0), Vector());
}

TEST(KeyTable, TapRepeatHeldButtonAndCodesOutsideTheTable) {
  KeyTable table;
  // A tap between two polls is one press, and not held.
  table.KeyAction('W', 1);
  table.KeyAction('W', 0);
  EXPECT_FALSE(table.IsDown('W'));
  EXPECT_TRUE(table.TakePressed('W'));
  EXPECT_FALSE(table.TakePressed('W'));
  // A repeat counts as another press.
  table.KeyAction(256, 1);
  EXPECT_TRUE(table.TakePressed(256));
  table.KeyAction(256, 2);
  EXPECT_TRUE(table.IsDown(256));
  EXPECT_TRUE(table.TakePressed(256));
  // A held mouse button is pressed once and down until released; the right
  // button has its own entry at 385.
  for (int frame = 0; frame < 5; ++frame) table.PollButton(0, true);
  EXPECT_TRUE(table.TakePressed(kMouseButtonBase));
  table.PollButton(0, true);
  EXPECT_FALSE(table.TakePressed(kMouseButtonBase));
  EXPECT_TRUE(table.IsDown(kMouseButtonBase));
  table.PollButton(0, false);
  table.PollButton(1, true);
  EXPECT_FALSE(table.IsDown(kMouseButtonBase));
  EXPECT_TRUE(table.IsDown(kMouseButtonBase + 1));
  // Codes outside the table are ignored, not written past it.
  table.Clear();
  table.KeyAction(-1, 1);  // GLFW_KEY_UNKNOWN
  table.KeyAction(kKeyTableSize, 1);
  table.PollButton(200, true);
  table.PollButton(-1, true);
  EXPECT_FALSE(table.IsDown(-1));
  EXPECT_FALSE(table.TakePressed(kKeyTableSize));
  for (int i = 0; i < kKeyTableSize; ++i) EXPECT_FALSE(table.keyDown[i] || table.keyPressed[i]);
}

TEST(TweakBarDescription, GroupsKeepTheirOrderAndItemsWork) {
  TweakBar bar;
  bar.AddText("Help", "one");
  bar.AddGroup("Settings", false);
  bar.AddText("Help", "two");
  bar.AddGroup("Help", false);  // already there: stays open
  int count = 3, resets = 0;
  bar.AddReadOnlyInt("Settings", "Objects", &count);
  bar.AddButton("Settings", "Reset", [&] { ++resets; });
  ASSERT_EQ(bar.Groups().size(), 2u);
  EXPECT_EQ(bar.Groups()[0].name, "Help");
  EXPECT_TRUE(bar.Groups()[0].open);
  EXPECT_FALSE(bar.Groups()[1].open);
  ASSERT_EQ(bar.Groups()[0].items.size(), 2u);
  EXPECT_EQ(bar.Groups()[0].items[1].label, "two");
  // A read-only value is read when shown, not when added.
  count = 7;
  EXPECT_EQ(bar.Find("Settings", "Objects")->intValue(), 7);
  EXPECT_EQ(bar.Find("Help", "Objects"), nullptr);
  EXPECT_TRUE(bar.PressButton("Reset"));
  EXPECT_FALSE(bar.PressButton("Objects"));
  EXPECT_EQ(resets, 1);
}

TEST(TweakBarDescription, SliderValuesStayInRangeOnTheStepGrid) {
  const float kMin = 0.25f, kMax = 3.0f, kStep = 0.1f;
  for (float raw = -2.0f; raw < 5.0f; raw += 0.013f) {
    const float v = TweakBar::SnapFloat(raw, kMin, kMax, kStep);
    EXPECT_GE(v, kMin);
    EXPECT_LE(v, kMax);
    const float steps = (v - kMin) / kStep;
    EXPECT_NEAR(steps, std::round(steps), 1e-3) << raw;
    if (raw >= kMin && raw <= kMax - kStep) {
      EXPECT_LE(std::fabs(v - raw), 0.5f * kStep + 1e-5f);
    }
  }
  EXPECT_EQ(TweakBar::SnapFloat(std::nanf(""), kMin, kMax, kStep), kMin);
  EXPECT_EQ(TweakBar::SnapFloat(1.234f, kMin, kMax, 0.0f), 1.234f);
  EXPECT_EQ(TweakBar::ClampIndex(7, 4), 3);
  EXPECT_EQ(TweakBar::ClampIndex(-2, 4), 0);
  EXPECT_EQ(TweakBar::ClampIndex(2, 0), 0);
}

void ExpectNear3(const Vector& got, const Vector& want) {
  EXPECT_NEAR(got.x, want.x, 1e-5);
  EXPECT_NEAR(got.y, want.y, 1e-5);
  EXPECT_NEAR(got.z, want.z, 1e-5);
}

TEST(DrawMatrices, WireBoxAndObjectTransformScaleThenRotateThenMove) {
  // The cube's +x face centre lands at trans + 2 * 0.5 * (rotated x axis);
  // y is not stretched.
  const Quaternion rot = Quaternion::FromAxisAngle(Normalize(Vector(1, 2, 3)), 0.7f);
  const Vector trans(4, 5, 6, 0);
  const Matrix4 m = DebugGraphics::BoxMatrix(trans, rot, Vector(2, 1, 1));
  ExpectNear3(m * Vector(0.5f, 0.0f, 0.0f, 1.0f), trans + rot.Rotate(Vector(1, 0, 0)));
  const Vector top = m * Vector(0.0f, 0.5f, 0.0f, 1.0f) - m * Vector(0, 0, 0, 1);
  EXPECT_NEAR(Length(WithW(top, 0.0f)), 0.5f, 1e-5);

  GameObject object;
  object.position = Vector(1, 2, 3);
  object.orientation = Quaternion::FromAxisAngle(Vector(0, 1, 0), 1.5707963f);
  // x turns to -z under +90 deg about y, scaled by 2, then moved.
  ExpectNear3(MeshGraphics::ObjectTransform(object, 2.0f) * Vector(1, 0, 0, 1), Vector(1, 2, 1));
}

}  // namespace
