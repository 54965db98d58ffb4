// Model files: welding, the closed-solid check and its message, and the
// command-line slicer's parts, against the analytic volume of a 2 x 2 x 2 cube.

#include "scene/model_file.h"
#include "scene/slice_command.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <random>
#include <regex>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "geom/mass_properties.h"
#include "support/scratch.h"

namespace {

// A cube of side 2 about the origin as a triangle soup (every triangle with
// its own three vertex lines, as STL stores it), wound outwards; `skip`
// triangles are left off the end.
// `copies` cubes side by side, 4 apart along x, in one file; `inward`: every
// face wound the other way. `size` stretches it along each axis (a box of
// 2 size[0] x 2 size[1] x 2 size[2]).
struct Stretch {
  double x = 1.0, y = 1.0, z = 1.0;
  double shift = 0.0;  // added to every coordinate
};
std::string WriteCube(const support::ScratchDir& dir, const std::string& name, int skip = 0,
                      int copies = 1, bool inward = false, Stretch size = {}) {
  // Each face: outward axis, then corners counter-clockwise seen from outside.
  const int quads[6][4][3] = {{{1, -1, -1}, {1, 1, -1}, {1, 1, 1}, {1, -1, 1}},
                              {{-1, -1, -1}, {-1, -1, 1}, {-1, 1, 1}, {-1, 1, -1}},
                              {{-1, 1, -1}, {-1, 1, 1}, {1, 1, 1}, {1, 1, -1}},
                              {{-1, -1, -1}, {1, -1, -1}, {1, -1, 1}, {-1, -1, 1}},
                              {{-1, -1, 1}, {1, -1, 1}, {1, 1, 1}, {-1, 1, 1}},
                              {{-1, -1, -1}, {-1, 1, -1}, {1, 1, -1}, {1, -1, -1}}};
  std::ofstream out(dir.File(name));
  out.precision(17);
  int written = 0;
  for (int copy = 0; copy < copies; ++copy)
    for (const auto& q : quads)
      for (const int tri : {0, 1}) {
        if (written++ >= 12 * copies - skip) break;
        for (const int c : {0, 1 + tri, 2 + tri})
          out << "v " << (q[c][0] + 4 * copy) * size.x + size.shift << ' '
              << q[c][1] * size.y + size.shift << ' ' << q[c][2] * size.z + size.shift << '\n';
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

  // A fin on an edge makes it an edge of three triangles.
  const std::string fin = WriteCube(dir, "fin.obj");
  std::ofstream(fin, std::ios::app) << "v 1 -1 -1\nv 1 1 -1\nv 5 0 0\nf -3 -2 -1\n";
  EXPECT_FALSE(LoadModelFile(fin, mesh, error));
  EXPECT_EQ(error, "Model \"" + fin +
                       "\": 1 non-manifold edges (each on three or more triangles); not a solid");
  EXPECT_FALSE(LoadModelFile(dir.File("missing.obj"), mesh, error));
  EXPECT_EQ(error.rfind("Model \"" + dir.File("missing.obj") + "\": ", 0), 0u) << error;
}

// OFF as people write it: comment lines, a comment after a vertex, a square
// base: the pyramid over [-1, 1]^2 of height 1 holds 4/3.
TEST(ModelFile, ReadsOffWithCommentsAndPolygons) {
  support::ScratchDir dir;
  std::ofstream(dir.File("pyramid.off")) << "OFF\n# made by hand\n5 5 0\n-1 -1 0\n1 -1 0\n"
                                            "1 1 0 # corner\n-1 1 0\n\n0 0 1\n4 0 3 2 1\n"
                                            "3 0 1 4\n3 1 2 4\n3 2 3 4\n3 3 0 4\n";
  Mesh mesh;
  std::string error;
  ASSERT_TRUE(LoadModelFile(dir.File("pyramid.off"), mesh, error)) << error;
  EXPECT_NEAR(EnclosedVolume(mesh), 4.0 / 3.0, 1e-9);
}

std::string Repeat(const std::string& text, int times) {
  std::string out;
  for (int k = 0; k < times; ++k) out += text;
  return out;
}

// Broken files of every format: each is refused with one line naming the
// file, before any reader sizes an array by a count the file cannot hold.
TEST(ModelFile, RefusesMalformedFilesOfEveryFormat) {
  const std::string plyHead =
      "ply\nformat ascii 1.0\nelement vertex 4\nproperty float x\nproperty float y\n"
      "property float z\nelement face 4\nproperty list uchar int vertex_indices\nend_header\n"
      "0 0 0\n1 0 0\n0 1 0\n0 0 1\n3 0 2 1\n3 0 1 3\n3 0 3 2\n";
  const std::string binaryPly = "ply\nformat binary_little_endian 1.0\nelement vertex 3\n"
                                "property float x\nproperty float y\nproperty float z\n"
                                "element face 1\nproperty list uint int i\nend_header\n" +
                                std::string(36, '\0');
  std::string junk(700, '\0');
  std::mt19937 random(7);
  for (char& c : junk) c = static_cast<char>(random());
  const std::string offHead = "OFF\n4 4 0\n0 0 0\n1 0 0\n0 1 0\n0 0 1\n3 0 2 1\n3 0 1 3\n3 0 3 2\n";
  const struct {
    const char* name;
    std::string text;
    const char* says;  // a part of the message, or "" for any
  } cases[] = {
      {"negative.ply", plyHead + "3 1 2 -1\n", "out of range"},
      {"past.ply", plyHead + "3 1 2 4\n", "out of range"},
      {"cornerless.ply", plyHead + "0\n", "face 3 has no corners"},
      {"short.ply", plyHead, "ends before the 4 \"face\" elements"},
      {"lying.ply", std::regex_replace(plyHead, std::regex("vertex 4"), "vertex 4000000000"), "ends before"},
      {"list.ply", binaryPly + "\xff\xff\xff\x7f", "ends before the 1 \"face\""},
      {"junk.ply", "ply\n" + junk, ""},
      // assimp wrote the second element's vertices past the first's array.
      {"twice.ply",
       std::regex_replace(plyHead, std::regex("element face"),
                          "element vertex 2\nproperty float x\nelement face") + "0\n1\n3 0 1 2\n",
       "PLY element \"vertex\" is declared twice"},
      {"huge.off", "OFF\n353000000000 1 0\n" + std::string(280, '0'), "declares 353000000000 vertices"},
      {"past.off", offHead + "3 1 2 4\n", "face 3 of 4 names a vertex"},
      {"two.off", offHead + "2 1 2\n", "face 3 of 4 has 2 corners"},
      {"short.off", offHead, "4 vertices and 4 faces, more than the file's 58 bytes"},
      {"cut.off", offHead + "3 1 2 # a comment where the last corner was\n", "face 3 of 4 names a vertex"},
      {"junk.off", junk, ""},
      {"past.obj", "v 0 0 0\nv 1 0 0\nv 0 1 0\nf 1 2 9\n", ""},
      {"junk.obj", junk, ""},
      {"lying.stl", std::string(80, ' ') + "\xff\xff\xff\x0f" + std::string(100, '\0'), ""},
      {"short.stl", "solid t\nfacet normal 0 0 1\nouter loop\nvertex 0 0 0\nvertex 1 0", ""},
      {"junk.stl", junk, ""},
      {"cut.stl", std::string(80, ' ') + "\x0c" + std::string(3 + 50 * 5 + 20, '\0'),
       "declares 12 triangles; the file's 354 bytes hold 5 and part"},
      {"tiny.stl", "solid x\n", "neither an ASCII STL"},
      {"four.stl",
       "solid\nfacet normal 0 0 1\nouter loop\nvertex 0 0 0\nvertex 1 0 0\nvertex 0 1 0\n"
       "vertex 1 1 0\nendloop\nendfacet\nendsolid\n",
       "malformed (STL: a facet with more than 3"},
      // Indented, so mended and read from memory, where assimp took the file
      // itself for its missing material library (and crashed on this one).
      {"material.obj", std::string(" mtllib m\0a\0she1\n", 17), ""},
      {"cornerless.obj", "v 0 0 0\nv 1 0 0\nv 0 1 0\nf 1 2 3\nf\n",
       "malformed (Obj: Ignoring empty face)"},
      // A tetrahedron whose last triangle names vertex 9 of 4.
      {"past.gltf",
       R"({"asset":{"version":"2.0"},"scene":0,"scenes":[{"nodes":[0]}],"nodes":[{"mesh":0}],)"
       R"("meshes":[{"primitives":[{"attributes":{"POSITION":0},"indices":1}]}],)"
       R"("buffers":[{"byteLength":72,"uri":"data:application/octet-stream;base64,AAAAAAAAAAAAAAAAAACAPwAA)"
       R"(AAAAAAAAAAAAAAAAgD8AAAAAAAAAAAAAAAAAAIA/AAACAAEAAAABAAMAAAADAAIAAQACAAkA"}],)"
       R"("bufferViews":[{"buffer":0,"byteLength":48},{"buffer":0,"byteOffset":48,"byteLength":24}],)"
       R"("accessors":[{"bufferView":0,"componentType":5126,"count":4,"type":"VEC3"},)"
       R"({"bufferView":1,"componentType":5123,"count":12,"type":"SCALAR"}]})",
       "malformed (Some faces had out-of-range indices"},
      // 10^9 elements replaced, read from 400 002 bytes: assimp read past them.
      {"sparse.gltf",
       R"({"asset":{"version":"2.0"},"scene":0,"scenes":[{"nodes":[0]}],"nodes":[{"mesh":0}],)"
       R"("meshes":[{"primitives":[{"attributes":{"POSITION":0}}]}],"buffers":[{"byteLength":)"
       R"(400002,"uri":"data:application/octet-stream;base64,)" + std::string(533336, 'A') +
           R"("}],"bufferViews":[{"buffer":0,"byteLength":400002}],"accessors":[{"bufferView":0,)"
           R"("componentType":5126,"count":3,"type":"VEC3","sparse":{"count":1000000000,)"
           R"("indices":{"bufferView":0,"componentType":5125},"values":{"bufferView":0}}}]})",
       "glTF sparse accessor 0 replaces more elements than it has"},
      // Its "indices" name no buffer view through a key with a byte that is
      // not UTF-8; assimp's parser took the JSON, and crashed on the view.
      {"sparse-bytes.gltf",
       R"({"asset":{"version":"2.0"},"accessors":[{"bufferView":0,"componentType":5126,)"
       R"("count":4,"type":"VEC3","sparse":{"count":1,"indices":{")" "\x8a" R"(ufferView":2,)"
       R"("componentType":5125},"values":{"bufferView":3}}}]})",
       "glTF JSON is malformed (invalid code sequence on line 1)"},
      {"chunk.glb", std::string("glTF\x02\0\0\0\x20\0\0\0\xf0\xff\xff\xffJSON{}  ", 24),
       "chunk is longer than the rest"},
      // Read only as what its name says: XGL's reader parsed it (and others
      // crashed on such XML) once the glTF readers had refused it.
      {"world.gltf", "<?xml version=\"1.0\"?><world><object/></world>", "No suitable reader"},
      // assimp's SMD reader loops for ever at the end of a file cut short in
      // its node list: stopped after 5 s.
      {"short.smd", "version 1\nnodes\n  0 \"root\" -1\n",
       "cannot read it (the importer took longer than 5 s)"},
      // Parsers that recurse once per level would run out of stack.
      {"deep.gltf", "{\"asset\":" + std::string(1000000, '['), "nested more than 256 levels"},
      {"deep.x", "xof 0302txt 0064\n" + std::string(1000000, '{'), "nested more than 256 levels"},
      {"deep.dae", "<?xml version=\"1.0\"?><COLLADA>" + Repeat("<node/><node>", 300000), "256"},
      {"deep.ac", "AC3Db\nOBJECT world\nkids 1\n" + Repeat("OBJECT a\nkids 1\n", 300000), "256"},
  };
  support::ScratchDir dir;
  for (const auto& c : cases) {
    std::ofstream(dir.File(c.name), std::ios::binary) << c.text;
    Mesh mesh;
    std::string error;
    EXPECT_FALSE(LoadModelFile(dir.File(c.name), mesh, error)) << c.name;
    EXPECT_EQ(error.rfind("Model \"" + dir.File(c.name) + "\": ", 0), 0u) << error;
    EXPECT_EQ(error.find('\n'), std::string::npos) << error;
    EXPECT_NE(error.find(c.says), std::string::npos) << error;
  }
  // A reader that crashes ends only the child process it runs in (under
  // AddressSanitizer the child reports the fault and exits 1 instead).
  {
    Mesh mesh;
    std::string error;
    const std::string file =
        std::string(CLEAVE_SOURCE_DIR) + "/tests/data/malformed/cube_compressed_bad.x";
    EXPECT_FALSE(LoadModelFile(file, mesh, error));
    EXPECT_EQ(error.rfind("Model \"" + file + "\": cannot read it (the importer ", 0), 0u) << error;
  }
  // What is not a regular file is not read: a folder, and a device that never ends.
  std::filesystem::create_directory(dir.File("folder.obj"));
  for (const auto& [file, says] :
       {std::pair<std::string, std::string>{dir.File("folder.obj"), "is a folder"},
        {"/dev/zero", "is not a regular file"}}) {
    Mesh mesh;
    std::string error;
    EXPECT_FALSE(LoadModelFile(file, mesh, error));
    EXPECT_EQ(error, "Model \"" + file + "\": " + says +
                         (file == "/dev/zero" ? " (a device, pipe or socket)" : ", not a file"));
  }
}

// The variants exporters write of the cube of side 2 (volume 8): binary STL
// whose count is 0 or whose header starts "solid" and is followed by padding,
// ASCII STL in capitals after a blank line (also with lines ended by CR), OBJ with a byte order mark,
// indented lines and comments after the data, PLY with "PLY", a header
// line of no known keyword (old Blender wrote one) and spaces after
// end_header.
TEST(ModelFile, ReadsTheVariantsExportersWrite) {
  support::ScratchDir dir;
  std::string soup;  // "v x y z" three times, then "f -3 -2 -1", for each triangle
  {
    std::ifstream in(WriteCube(dir, "cube.obj"));
    std::getline(in, soup, '\0');
  }
  std::vector<float> corners;
  std::string obj = "\xEF\xBB\xBF# made by hand\nmtllib none.mtl\n", ply, stlText = "\n SOLID CUBE\n", stl(80, ' ');
  std::istringstream lines(soup);
  for (std::string line; std::getline(lines, line);) {
    obj += (line[0] == 'v' ? "  " : "\t") + line + (line[0] == 'v' ? " # corner\n" : "#face\n");
    if (line[0] != 'v') continue;
    std::istringstream xyz(line.substr(2));
    float p[3];
    xyz >> p[0] >> p[1] >> p[2];
    corners.insert(corners.end(), p, p + 3);
    ply += line.substr(2) + "\n";
    stlText += (corners.size() % 9 == 3 ? "FACET NORMAL 0 0 0\nOUTER LOOP\n" : "") +
               ("VERTEX" + line.substr(1)) +
               (corners.size() % 9 == 0 ? "\nENDLOOP\nENDFACET\n" : "\n");
  }
  for (int t = 0; t < 12; ++t)
    ply += "3 " + std::to_string(3 * t) + ' ' + std::to_string(3 * t + 1) + ' ' +
           std::to_string(3 * t + 2) + '\n';
  ply = "PLY\nformat ascii 1.0\nCreated by Blender3D 247 - www.blender.org, source file: \n"
        "element vertex 36\nproperty float x\nproperty float y\n"
        "property float z\nelement face 12\nproperty list uchar int vertex_indices\n"
        "end_header  \n" + ply;
  stl += std::string(4, '\0');  // a count of 0: the size says 12
  for (int t = 0; t < 12; ++t) {
    stl.append(12, '\0');
    stl.append(reinterpret_cast<const char*>(&corners[9 * t]), 36);
    stl.append(2, '\0');
  }
  std::string mac = stlText + "ENDSOLID";  // lines ended by CR alone
  std::replace(mac.begin(), mac.end(), '\n', '\r');
  std::string solidStl = stl;
  solidStl.replace(0, 10, "solid cube");
  solidStl[80] = 12;
  const std::pair<const char*, std::string> files[] = {
      {"zero.stl", stl},
      {"solid.stl", solidStl + std::string(20, '\0')},
      {"capitals.stl", stlText + "ENDSOLID\n"},
      {"mac.stl", mac},
      {"marked.obj", obj},
      {"capitals.ply", ply}};
  for (const auto& [name, text] : files) {
    std::ofstream(dir.File(name), std::ios::binary) << text;
    Mesh mesh;
    std::string error;
    ASSERT_TRUE(LoadModelFile(dir.File(name), mesh, error)) << name << ": " << error;
    EXPECT_EQ(mesh.TriangleCount(), 12u) << name;
    EXPECT_NEAR(EnclosedVolume(mesh), 8.0, 1e-9) << name;
  }
}

// Models that would make a body without a proper mass are refused: a
// coordinate that is not a number, and boxes too flat to be solids. A box
// 2 x 2 x 2t has V = 8t and A = 8 + 16t, so V > 1e-4 A^1.5 holds from about
// t = 2.83e-4 on; a model spanning more than the largest float still fits.
TEST(ModelFile, RefusesNonFiniteAndFlatModelsAndFitsAnySpan) {
  support::ScratchDir dir;
  Mesh mesh;
  std::string error;
  for (const char* bad : {"nan", "inf"}) {
    const std::string file = dir.File(std::string(bad) + ".obj");
    std::string text;
    {
      std::ifstream in(WriteCube(dir, std::string(bad) + ".obj"));
      std::getline(in, text, '\0');
    }
    std::ofstream(file) << "v " << bad << text.substr(text.find(' ', 2));
    EXPECT_FALSE(LoadModelFile(file, mesh, error)) << bad;
    EXPECT_EQ(error, "Model \"" + file + "\": a vertex position is not a finite number");
  }
  for (const double t : {3.2e-4, 2.5e-4}) {
    const std::string file = WriteCube(dir, "plate.obj", 0, 1, false, {1.0, t, 1.0});
    EXPECT_EQ(LoadModelFile(file, mesh, error), t > 2.9e-4) << t << " " << error;
    if (t < 2.9e-4) {
      EXPECT_EQ(error, "Model \"" + file + "\": encloses no volume; not a solid");
    }
  }

  // Far from the origin (float spacing there is 1/16): still a cube of 8,
  // either way wound.
  for (const bool inward : {false, true}) {
    ASSERT_TRUE(LoadModelFile(WriteCube(dir, "far.obj", 0, 1, inward, {1, 1, 1, 1e6}), mesh, error))
        << error;
    EXPECT_NEAR(EnclosedVolume(mesh), 8.0, 1e-9);
  }

  ASSERT_TRUE(LoadModelFile(WriteCube(dir, "vast.obj", 0, 1, false, {3e38, 1e38, 2e38}), mesh, error))
      << error;
  FitToSize(mesh, 3.0f);
  float high[3] = {0, 0, 0};
  for (const Vertex& v : mesh.vertices)
    for (int k = 0; k < 3; ++k) high[k] = std::max(high[k], std::fabs(v.Position()[k]));
  EXPECT_FLOAT_EQ(high[0], 1.5f);
  EXPECT_FLOAT_EQ(high[1], 0.5f);
  EXPECT_FLOAT_EQ(high[2], 1.0f);
}

// A glTF scene whose parent node scales by 2 and whose two child nodes use
// the same cube of side 2, one moved by +3 and the other by -3 and turned a
// quarter about z: two cubes of side 4 centred at x = +6 and x = -6, as the
// file's node tree places them, not one cube at the origin.
TEST(ModelFile, PartsArePlacedWhereTheFileTreePutsThem) {
  support::ScratchDir dir;
  const std::string file = dir.File("two.gltf");
  std::ofstream(file)
      << R"({"asset":{"version":"2.0"},"scene":0,"scenes":[{"nodes":[0]}],)"
         R"("nodes":[{"children":[1,2],"scale":[2,2,2]},{"mesh":0,"translation":[3,0,0]},)"
         R"({"mesh":0,"translation":[-3,0,0],"rotation":[0,0,0.7071068,0.7071068]}],)"
         R"("meshes":[{"primitives":[{"attributes":{"POSITION":0},"indices":1}]}],)"
         R"("buffers":[{"byteLength":168,"uri":"data:application/octet-stream;base64,)"
         R"(AACAvwAAgL8AAIC/AACAPwAAgL8AAIC/AACAPwAAgD8AAIC/AACAvwAAgD8AAIC/AACAvwAAgL8AAIA/)"
         R"(AACAPwAAgL8AAIA/AACAPwAAgD8AAIA/AACAvwAAgD8AAIA/AAACAAEAAAADAAIABAAFAAYABAAGAAcA)"
         R"(AAABAAUAAAAFAAQAAgADAAcAAgAHAAYAAQACAAYAAQAGAAUAAAAEAAcAAAAHAAMA"}],)"
         R"("bufferViews":[{"buffer":0,"byteOffset":0,"byteLength":96},)"
         R"({"buffer":0,"byteOffset":96,"byteLength":72}],)"
         R"("accessors":[{"bufferView":0,"componentType":5126,"count":8,"type":"VEC3",)"
         R"("min":[-1,-1,-1],"max":[1,1,1]},{"bufferView":1,"componentType":5123,"count":36,)"
         R"("type":"SCALAR"}]})";
  Mesh mesh;
  std::string error;
  ASSERT_TRUE(LoadModelFile(file, mesh, error)) << error;
  EXPECT_EQ(mesh.TriangleCount(), 24u);
  EXPECT_NEAR(EnclosedVolume(mesh), 2 * 64.0, 1e-3);
  float low = 0.0f, high = 0.0f;
  for (const Vertex& v : mesh.vertices) low = std::min(low, v.x), high = std::max(high, v.x);
  EXPECT_NEAR(low, -8.0f, 1e-5f);
  EXPECT_NEAR(high, 8.0f, 1e-5f);
}

// Against the rule taken literally, for every use of every directed edge:
// random soups over five vertices, with repeated triangles, both windings
// and corners that repeat (an edge from a vertex to itself is its own reverse).
TEST(ModelFile, OpenEdgesCountEveryUseWithoutExactlyOneReverse) {
  std::mt19937 random(7);
  for (int round = 0; round < 2000; ++round) {
    Mesh mesh;
    const int count = static_cast<int>(random() % 21);  // none at all, too
    for (int t = 0; t < count; ++t) {
      Triangle& tri = mesh.triangles.emplace_back();
      for (uint32_t& i : tri.indices) i = static_cast<uint32_t>(random() % 5);
    }
    std::vector<std::pair<uint32_t, uint32_t>> edges;
    for (const Triangle& t : mesh.triangles)
      for (int c = 0; c < 3; ++c) edges.emplace_back(t.indices[c], t.indices[(c + 1) % 3]);
    size_t open = 0;
    for (const auto& e : edges)
      open += std::count(edges.begin(), edges.end(), std::make_pair(e.second, e.first)) != 1;
    ASSERT_EQ(CountOpenEdges(mesh), open) << "round " << round;
  }
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

  // Any finite magnitude: both planes are x = 1, behind which lie both cubes' halves.
  for (const char* large : {"1e200,0,0,1e200", "1e-300,0,0,1e-300"}) {
    out.str("");
    ASSERT_EQ(RunSliceCommand(cubes, large, dir.File("large"), out, err), 0) << err.str();
    EXPECT_NE(out.str().find("\"plane\":[1,0,0,1]"), std::string::npos) << out.str();
  }
  for (const char* bad : {"0,0,0,1", "1,2,3", "1,2,3,4,5"})
    EXPECT_EQ(RunSliceCommand(cubes, bad, dir.File("parts"), out, err), 1) << bad;
  // x = 1e39 lies beyond float range; x = 3e38 does not, and has both cubes behind it.
  EXPECT_EQ(RunSliceCommand(cubes, "1,0,0,1e39", dir.File("far"), out, err), 1);
  EXPECT_NE(err.str().find("farther than any float coordinate reaches"), std::string::npos) << err.str();
  out.str("");
  ASSERT_EQ(RunSliceCommand(cubes, "2,0,0,6e38", dir.File("far"), out, err), 0) << err.str();
  EXPECT_NE(out.str().find("\"side\":\"back\""), std::string::npos) << out.str();
  EXPECT_EQ(out.str().find("\"side\":\"front\""), std::string::npos) << out.str();
  // A cube without its last face: one hole of four corners, two triangles.
  out.str("");
  ASSERT_EQ(RunSliceCommand(WriteCube(dir, "open.obj", 2), "1,0,0,0", dir.File("o"), out, err), 0);
  EXPECT_NE(out.str().find("\"holesFilled\":1,\"trianglesAdded\":2,"), std::string::npos) << out.str();
}

}  // namespace
