// Model files: welding, the closed-solid check and its message, and the
// command-line slicer's parts, against the analytic volume of a 2 x 2 x 2 cube.

#include "scene/model_file.h"

#include <gtest/gtest.h>

#include <fstream>
#include <string>

#include "support/scratch.h"

namespace {

// A cube of side 2 about the origin as a triangle soup (every triangle with
// its own three vertex lines, as STL stores it), wound outwards; `skip`
// triangles are left off the end.
std::string WriteCube(const support::ScratchDir& dir, const std::string& name, int skip = 0) {
  // Each face: outward axis, then corners counter-clockwise seen from outside.
  const int quads[6][4][3] = {{{1, -1, -1}, {1, 1, -1}, {1, 1, 1}, {1, -1, 1}},
                              {{-1, -1, -1}, {-1, -1, 1}, {-1, 1, 1}, {-1, 1, -1}},
                              {{-1, 1, -1}, {-1, 1, 1}, {1, 1, 1}, {1, 1, -1}},
                              {{-1, -1, -1}, {1, -1, -1}, {1, -1, 1}, {-1, -1, 1}},
                              {{-1, -1, 1}, {1, -1, 1}, {1, 1, 1}, {-1, 1, 1}},
                              {{-1, -1, -1}, {-1, 1, -1}, {1, 1, -1}, {1, -1, -1}}};
  std::ofstream out(dir.File(name));
  int written = 0;
  for (const auto& q : quads)
    for (const int tri : {0, 1}) {
      if (written++ >= 12 - skip) break;
      for (const int c : {0, 1 + tri, 2 + tri})
        out << "v " << q[c][0] << ' ' << q[c][1] << ' ' << q[c][2] << '\n';
      out << "f -3 -2 -1\n";
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

  const std::string open = WriteCube(dir, "open.obj", 1);
  EXPECT_FALSE(LoadModelFile(open, mesh, error));
  EXPECT_EQ(error, "Model \"" + open + "\": 3 open edges; not a closed solid");
  EXPECT_FALSE(LoadModelFile(dir.File("missing.obj"), mesh, error));
  EXPECT_EQ(error.rfind("Model \"" + dir.File("missing.obj") + "\": ", 0), 0u) << error;
}

}  // namespace
