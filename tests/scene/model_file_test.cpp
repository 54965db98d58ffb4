// Model files: welding, the closed-solid check and its message, and the
// command-line slicer's parts, against the analytic volume of a 2 x 2 x 2 cube.

#include "scene/model_file.h"
#include "scene/slice_command.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <regex>
#include <sstream>
#include <string>

#include "support/scratch.h"

namespace {

// A cube of side 2 about the origin as a triangle soup (every triangle with
// its own three vertex lines, as STL stores it), wound outwards; `skip`
// triangles are left off the end.
// `copies` cubes side by side, 4 apart along x, in one file; `inward`: every
// face wound the other way.
std::string WriteCube(const support::ScratchDir& dir, const std::string& name, int skip = 0,
                      int copies = 1, bool inward = false) {
  // Each face: outward axis, then corners counter-clockwise seen from outside.
  const int quads[6][4][3] = {{{1, -1, -1}, {1, 1, -1}, {1, 1, 1}, {1, -1, 1}},
                              {{-1, -1, -1}, {-1, -1, 1}, {-1, 1, 1}, {-1, 1, -1}},
                              {{-1, 1, -1}, {-1, 1, 1}, {1, 1, 1}, {1, 1, -1}},
                              {{-1, -1, -1}, {1, -1, -1}, {1, -1, 1}, {-1, -1, 1}},
                              {{-1, -1, 1}, {1, -1, 1}, {1, 1, 1}, {-1, 1, 1}},
                              {{-1, -1, -1}, {-1, 1, -1}, {1, 1, -1}, {1, -1, -1}}};
  std::ofstream out(dir.File(name));
  int written = 0;
  for (int copy = 0; copy < copies; ++copy)
    for (const auto& q : quads)
      for (const int tri : {0, 1}) {
        if (written++ >= 12 * copies - skip) break;
        for (const int c : {0, 1 + tri, 2 + tri})
          out << "v " << q[c][0] + 4 * copy << ' ' << q[c][1] << ' ' << q[c][2] << '\n';
        out << (inward ? "f -1 -2 -3\n" : "f -3 -2 -1\n");
      }
  return dir.File(name);
}

TEST(ModelFile, WeldsASoupIntoAClosedSolidAndNamesWhatIsWrongOtherwise) {
  support::ScratchDir dir;
  Mesh mesh;
  std::string error;
  ASSERT_TRUE(LoadModelFile(WriteCube(dir, "cube.obj"), mesh, error)) << error;
  EXPECT_EQ(mesh.VertexCount(), 8u);
  EXPECT_EQ(mesh.TriangleCount(), 12u);
  EXPECT_NEAR(EnclosedVolume(mesh), 8.0, 1e-9);
  EXPECT_TRUE(mesh.loadedModel);
  ASSERT_TRUE(LoadModelFile(WriteCube(dir, "inward.obj", 0, 1, true), mesh, error)) << error;
  EXPECT_NEAR(EnclosedVolume(mesh), 8.0, 1e-9);

  const std::string open = WriteCube(dir, "open.obj", 1);
  EXPECT_FALSE(LoadModelFile(open, mesh, error));
  EXPECT_EQ(error, "Model \"" + open + "\": 3 open edges; not a closed solid");
  EXPECT_FALSE(LoadModelFile(dir.File("missing.obj"), mesh, error));
  EXPECT_EQ(error.rfind("Model \"" + dir.File("missing.obj") + "\": ", 0), 0u) << error;
}

// Two cubes cut by y + z = 0.5: in each, the part in front (y + z > 0.5) is
// a prism over the triangle (-0.5, 1), (1, 1), (1, -0.5) of the yz square,
// 1.125 * 2 = 2.25; behind it the rest, 5.75. Each half is two parts.
TEST(SliceCommand, WritesEachClosedPartWithItsVolumeAndRefusesBadInput) {
  support::ScratchDir dir;
  const std::string cubes = WriteCube(dir, "cubes.obj", 0, 2);
  std::ostringstream out, err;
  ASSERT_EQ(RunSliceCommand(cubes, "0,2,2,1", dir.File("parts"), out, err), 0) << err.str();
  const std::string json = out.str();
  EXPECT_NE(json.find("\"plane\":[0,0.707106781,0.707106781,0.353553391]"), std::string::npos);
  const std::regex part(
      "\"file\":\"([^\"]+)\",\"side\":\"(front|back)\",\"triangles\":\\d+,"
      "\"volume\":([-0-9.e]+),\"closed\":true");
  std::vector<std::string> found;
  for (std::sregex_iterator m(json.begin(), json.end(), part), end; m != end; ++m) {
    Mesh mesh;
    std::string error;
    ASSERT_TRUE(LoadModelFile((*m)[1], mesh, error)) << error;
    const double expected = (*m)[2] == "front" ? 2.25 : 5.75;
    EXPECT_NEAR(EnclosedVolume(mesh), expected, 1e-5) << (*m)[1];
    EXPECT_NEAR(std::stod((*m)[3]), expected, 1e-5) << (*m)[1];
    found.push_back((*m)[2]);
  }
  std::sort(found.begin(), found.end());
  EXPECT_EQ(found, (std::vector<std::string>{"back", "back", "front", "front"})) << json;

  EXPECT_EQ(RunSliceCommand(cubes, "0,0,0,1", dir.File("parts"), out, err), 1);
  EXPECT_EQ(RunSliceCommand(cubes, "1,2,3", dir.File("parts"), out, err), 1);
  EXPECT_EQ(RunSliceCommand(WriteCube(dir, "open.obj", 2), "1,0,0,0", dir.File("o"), out, err), 1);
  EXPECT_NE(err.str().find("open edges; not a closed solid"), std::string::npos) << err.str();
}

}  // namespace
