// The window side's logic that needs no display: mesh streams for the GPU,
// the cursor mapping, the key table, the bar's value snapping and the live
// settings panel.

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <deque>
#include <filesystem>
#include <string>
#include <vector>

#include "core/event_manager.h"
#include "geom/mesh.h"
#include "support/scratch.h"
#include "window/input_manager.h"
#include "window/resource_manager.h"
#include "window/live_settings_panel.h"
#include "window/tweak_bar.h"

namespace {

// Two triangles over four vertices, every field distinct so that a value
// taken from the wrong place shows: one entry per corner in triangle order.
// Stream 2 holds u, v and the word after them: the next corner's u, or the
// first reserved word after the last corner. A corner naming a missing
// vertex gives zeros, not a read past the vertex array.
TEST(FlattenStream, EveryStreamHasOneEntryPerCornerInTriangleOrder) {
  Mesh mesh;
  for (int v = 0; v < 4; ++v) {
    Vertex vertex(10.0f * v + 1, 10.0f * v + 2, 10.0f * v + 3);
    for (int k = 0; k < 4; ++k) vertex.floatAttributes[k] = 100.0f * v + k + 0.5f, vertex.intAttributes[k] = -1000 * v - k;
    mesh.AddVertex(vertex);
  }
  mesh.AddTriangle(0, 1, 2);
  mesh.AddTriangle(2, 1, 3);
  for (int t = 0; t < 2; ++t)  // normals, colours and texture coordinates: 24 floats in a row
    for (int i = 0; i < 24; ++i) (&mesh.triangles[t].normals[0][0])[i] = 1000.0f * (t + 1) + i;
  const float marker = 4242.0f;
  std::memcpy(&mesh.triangles[1].reserved[0], &marker, sizeof marker);
  EXPECT_TRUE(ResourceManager::FlattenStream(mesh, 6).empty() && ResourceManager::FlattenStream(mesh, -1).empty());
  for (int stream = 0; stream < 6; ++stream) {
    const int width = ResourceManager::StreamWidth(stream);
    const std::vector<float> data = ResourceManager::FlattenStream(mesh, stream);
    ASSERT_EQ(data.size(), 2u * 3 * width) << "stream " << stream;
    for (uint32_t t = 0; t < 2; ++t)
      for (int c = 0; c < 3; ++c) {
        const Triangle& tri = mesh.triangles[t];
        const Vertex& v = mesh.vertices[tri.indices[c]];
        float third = 0.0f;
        if (c < 2) third = tri.texCoords[c + 1][0];
        else std::memcpy(&third, &tri.reserved[0], sizeof third);
        const std::vector<std::vector<float>> want = {
            {v.x, v.y, v.z}, {tri.colours[c][0], tri.colours[c][1], tri.colours[c][2]},
            {tri.texCoords[c][0], tri.texCoords[c][1], third}, {tri.normals[c][0], tri.normals[c][1], tri.normals[c][2]},
            std::vector<float>(v.floatAttributes, v.floatAttributes + 4), std::vector<float>(v.intAttributes, v.intAttributes + 4)};
        for (int k = 0; k < width; ++k)
          EXPECT_EQ(data[(t * 3 + c) * width + k], want[stream][k]) << "stream " << stream << " triangle " << t << " corner " << c;
      }
  }
  mesh.triangles[0].indices[1] = 99;
  const std::vector<float> positions = ResourceManager::FlattenStream(mesh, 0);
  EXPECT_EQ(std::vector<float>(positions.begin(), positions.begin() + 6), (std::vector<float>{1, 2, 3, 0, 0, 0}));
}

// Pixel centres map to (2 (x + 1/2) / w - 1, 1 - 2 (y + 1/2) / h), strictly
// inside the square, up positive; a minimised window does not divide by zero.
TEST(CursorToNdc, PixelCentresMapInsideTheSquareWithUpPositive) {
  for (const auto& size : {std::make_pair(800, 600), {1, 1}, {1023, 77}})
    for (double x = 0; x < size.first; x += 13.5)
      for (double y = 0; y < size.second; y += 7.25) {
        const Vector ndc = CursorToNdc(x, y, size.first, size.second);
        EXPECT_NEAR(ndc.x, 2.0 * (x + 0.5) / size.first - 1.0, 1e-6);
        EXPECT_NEAR(ndc.y, 1.0 - 2.0 * (y + 0.5) / size.second, 1e-6);
        EXPECT_TRUE(ndc.z == 0.0f && ndc.w == 0.0f && std::fmax(std::fabs(ndc.x), std::fabs(ndc.y)) < 1.0f);
      }
  EXPECT_EQ(CursorToNdc(10.0, 10.0, 0, 0), Vector());
}

// A tap between two polls is one press and not held; a repeat is another
// press; a held mouse button is pressed once and down until released, the
// right button at its own entry; codes outside the table are ignored.
TEST(KeyTable, TapRepeatHeldButtonAndCodesOutsideTheTable) {
  KeyTable table;
  table.KeyAction('W', 1);
  table.KeyAction('W', 0);
  EXPECT_TRUE(!table.IsDown('W') && table.TakePressed('W') && !table.TakePressed('W'));
  table.KeyAction(256, 1);
  EXPECT_TRUE(table.TakePressed(256));
  table.KeyAction(256, 2);
  EXPECT_TRUE(table.IsDown(256) && table.TakePressed(256));
  for (int frame = 0; frame < 5; ++frame) table.PollButton(0, true);
  EXPECT_TRUE(table.TakePressed(kMouseButtonBase) && !table.TakePressed(kMouseButtonBase));
  table.PollButton(0, false);
  table.PollButton(1, true);
  EXPECT_TRUE(!table.IsDown(kMouseButtonBase) && table.IsDown(kMouseButtonBase + 1));
  table.Clear();
  for (int code : {-1, kKeyTableSize}) table.KeyAction(code, 1);
  for (int button : {-1, 200}) table.PollButton(button, true);
  EXPECT_FALSE(table.IsDown(-1) || table.TakePressed(kKeyTableSize));
  for (int i = 0; i < kKeyTableSize; ++i) EXPECT_FALSE(table.keyDown[i] || table.keyPressed[i]);
}

// Slider values stay in range on the step grid (a NaN goes to the minimum),
// list indices in range. (The bar's description is drawn and pressed in
// window_gl_test.cpp and end to end.)
TEST(TweakBarDescription, SliderValuesAndListIndicesStayInRange) {
  const float kMin = 0.25f, kMax = 3.0f, kStep = 0.1f;
  for (float raw = -2.0f; raw < 5.0f; raw += 0.013f) {
    const float v = TweakBar::SnapFloat(raw, kMin, kMax, kStep), steps = (v - kMin) / kStep;
    EXPECT_TRUE(v >= kMin && v <= kMax && std::fabs(steps - std::round(steps)) < 1e-3f) << raw;
    EXPECT_TRUE(raw < kMin || raw > kMax - kStep || std::fabs(v - raw) <= 0.5f * kStep + 1e-5f) << raw;
  }
  EXPECT_TRUE(TweakBar::SnapFloat(std::nanf(""), kMin, kMax, kStep) == kMin && TweakBar::SnapFloat(1.234f, kMin, kMax, 0.0f) == 1.234f);
  EXPECT_TRUE(TweakBar::ClampIndex(7, 4) == 3 && TweakBar::ClampIndex(-2, 4) == 0 && TweakBar::ClampIndex(2, 0) == 0);
}

// The live settings panel hands Physics every setting at its first frame,
// then only what changed; it writes the file once a change has stood for
// the save delay (not while a slider is still moving), and at exit only what
// is still unwritten.
TEST(LiveSettingsPanel, SendsWhatChangedAndWritesTheFileOnceSettled) {
  support::ScratchDir dir;
  const std::string path = dir.File("live.txt");
  EventManager& events = EventManager::Instance();
  events.RegisterClient("Physics");
  events.GetEvents("Physics");
  LiveSettings settings;
  LiveSettingsPanel panel;
  panel.Load(settings, path);
  auto sent = [&events] {
    std::deque<Event> queue = events.GetEvents("Physics");
    std::string keys;
    for (Event& event : queue)
      for (const char* key : {"gravity", "iterations", "sleeping"})
        if (event.type == "Settings" && event.HasParam(key)) keys += std::string(key) + " ";
    return keys;
  };
  panel.Update(0.0);
  EXPECT_EQ("gravity iterations sleeping ", sent());
  settings.gravity = 4.0f;
  panel.Update(1.0);
  settings.shotSpeed = 7.0f;
  panel.Update(1.4);
  EXPECT_EQ("gravity ", sent());
  EXPECT_FALSE(std::filesystem::exists(path));
  panel.Update(1.4 + LiveSettingsPanel::kSaveDelay);
  EXPECT_EQ("", sent());
  EXPECT_TRUE(LoadLiveSettings(path) == settings);
  std::filesystem::remove(path);
  panel.Save();  // nothing new to write
  EXPECT_FALSE(std::filesystem::exists(path));
  settings.sleeping = false;
  panel.Save();
  EXPECT_TRUE(LoadLiveSettings(path) == settings);
  events.UnregisterClient("Physics");
}

}  // namespace
