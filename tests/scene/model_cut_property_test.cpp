// Cutting models from the wild: real meshes from outside the project
// (tests/data/meshes) and made ones with cavities, holes and shells wound
// either way. The reference is computed here in double precision: every
// triangle clipped to the half-space, the clipped triangles joined into
// pieces through their vertices strictly on that side, and each piece's
// volume by the divergence theorem about a point of the plane (where the
// flat cap adds nothing). A piece of negative volume is a dent or hollow
// within a solid piece, so the solids are the pieces of positive volume.

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <map>
#include <numeric>
#include <string>
#include <tuple>
#include <vector>

#include "collision/collision_shapes.h"
#include "geom/close_cut.h"
#include "geom/mass_properties.h"
#include "geom/mesh_splitter.h"
#include "geom/model_solid.h"
#include "geom/shell_nesting.h"
#include "scene/model_file.h"

namespace {

// Part volumes of each side (front, back), sorted.
using SideVolumes = std::vector<double>[2];

// The cut as --slice makes it: split, close, solids; every part must be
// closed and enclose a positive volume.
void Cut(const Mesh& mesh, const Plane& plane, SideVolumes& volumes) {
  SplitContext context;
  Mesh halves[2];
  SplitMesh(mesh, plane, halves[0], halves[1], context, OnPlaneTolerance(mesh));
  CloseCut(halves[0], context.frontCutSet);
  CloseCut(halves[1], context.backCutSet);
  for (int side = 0; side < 2; ++side) {
    for (const Mesh& part : SplitIntoSolids(halves[side])) {
      EXPECT_EQ(CountOpenEdges(part), 0u);
      volumes[side].push_back(EnclosedVolume(part));
      EXPECT_GT(volumes[side].back(), 0.0);
    }
    std::sort(volumes[side].begin(), volumes[side].end());
  }
}

// Adds the reference's number of solids and total volume on each side.
void Reference(const Mesh& mesh, const Plane& plane, size_t solids[2], double total[2]) {
  const double n[3] = {plane.normal.x, plane.normal.y, plane.normal.z};
  std::vector<std::array<double, 3>> r;  // positions relative to the plane's point
  for (const Vertex& v : mesh.vertices)
    r.push_back({v.x - double(plane.point.x), v.y - double(plane.point.y),
                 v.z - double(plane.point.z)});
  for (int side = 0; side < 2; ++side) {
    std::vector<double> d;  // distances towards the side
    for (const auto& p : r)
      d.push_back((side == 0 ? 1 : -1) * (n[0] * p[0] + n[1] * p[1] + n[2] * p[2]));
    std::vector<size_t> parent(r.size());  // union-find over the vertices on the side
    std::iota(parent.begin(), parent.end(), 0);
    const auto find = [&](size_t x) {
      while (parent[x] != x) x = parent[x] = parent[parent[x]];
      return x;
    };
    for (const Triangle& t : mesh.triangles)
      for (const uint32_t a : t.indices)
        for (const uint32_t b : t.indices)
          if (d[a] > 0 && d[b] > 0) parent[find(a)] = find(b);
    std::map<size_t, double> pieces;
    for (const Triangle& t : mesh.triangles) {
      const uint32_t* c = t.indices;
      const uint32_t* in = std::find_if(c, c + 3, [&](uint32_t v) { return d[v] > 0; });
      if (in == c + 3) continue;
      std::vector<std::array<double, 3>> polygon;  // the triangle clipped to the side
      for (int k = 0; k < 3; ++k) {
        const uint32_t a = c[k], b = c[(k + 1) % 3];
        if (d[a] >= 0) polygon.push_back(r[a]);
        const double s = d[a] / (d[a] - d[b]);
        if (d[a] * d[b] < 0)
          polygon.push_back({r[a][0] + s * (r[b][0] - r[a][0]), r[a][1] + s * (r[b][1] - r[a][1]),
                             r[a][2] + s * (r[b][2] - r[a][2])});
      }
      for (size_t k = 1; k + 1 < polygon.size(); ++k) {
        const auto &a = polygon[0], &b = polygon[k], &e = polygon[k + 1];
        pieces[find(*in)] += (a[0] * (b[1] * e[2] - b[2] * e[1]) -
                              a[1] * (b[0] * e[2] - b[2] * e[0]) +
                              a[2] * (b[0] * e[1] - b[1] * e[0])) / 6.0;
      }
    }
    for (const auto& piece : pieces) solids[side] += piece.second > 0, total[side] += piece.second;
  }
}

// Every corpus mesh, cut through its box centre along four directions at
// three scales: as many parts as the reference has solids, each side's
// volume within 1e-5 of the whole from the reference's, and the parts at
// each scale those at unit scale (volumes within 1e-6 of the whole).
TEST(ModelCut, RealMeshesMatchTheClippedReferenceAtEveryScale) {
  const std::string dir = std::string(CLEAVE_SOURCE_DIR) + "/tests/data/meshes/";
  const double scales[] = {1.0, 0.01, 100.0};
  for (const char* name : {"anchor", "blobby_3cc", "eight", "elephant", "elephant-with-holes",
                           "femur", "handle", "knot1", "mushroom", "pig", "rotor", "spool"}) {
    Mesh model;
    std::string error;
    ASSERT_TRUE(LoadModelFile(dir + name + ".off", model, error)) << error;
    for (const Vector& direction :
         {Vector(1, 0, 0), Vector(0, 1, 0), Vector(0, 0, 1), Vector(1, 1, 1)}) {
      SideVolumes unit;
      for (int s = 0; s < 3; ++s) {
        Mesh mesh = model;
        const float f = static_cast<float>(scales[s]);
        for (Vertex& v : mesh.vertices) v = Vertex(v.x * f, v.y * f, v.z * f);
        const Plane plane(Normalize(direction), ComputeBoundingBox(mesh, 1.0f).center);
        SideVolumes got;
        size_t solids[2] = {0, 0};
        double total[2] = {0, 0};
        Cut(mesh, plane, got);
        Reference(mesh, plane, solids, total);
        const double whole = EnclosedVolume(mesh);
        if (s == 0) std::copy(got, got + 2, unit);
        for (int side = 0; side < 2; ++side) {
          const std::string where = name + (" " + std::to_string(scales[s])) + " normal " +
                                    std::to_string(Dot3(direction, Vector(1, 2, 4)));
          ASSERT_EQ(got[side].size(), solids[side]) << where;
          const double sum = std::accumulate(got[side].begin(), got[side].end(), 0.0);
          EXPECT_LT(std::fabs(sum - total[side]) / whole, 1e-5) << where;
          for (size_t k = 0; k < std::max(got[side].size(), unit[side].size()); ++k)
            EXPECT_LT(std::fabs(got[side].at(k) - unit[side].at(k) * f * f * f) / whole, 1e-6) << where;
        }
      }
    }
  }
}

// A box from `low` to `high` appended to `mesh`, wound outwards (inwards
// when `inward`).
void AddBox(Mesh& mesh, float low, float high, bool inward = false) {
  const uint32_t o = mesh.VertexCount();
  for (int i = 0; i < 8; ++i)
    mesh.AddVertex(Vertex(i & 1 ? high : low, i & 2 ? high : low, i & 4 ? high : low));
  for (const auto& f : {std::array{0, 4, 6, 2}, {1, 3, 7, 5}, {0, 1, 5, 4}, {2, 6, 7, 3},
                        {0, 2, 3, 1}, {4, 5, 7, 6}})
    for (const int k : {1, 2})
      mesh.AddTriangle(o + f[0], o + f[inward ? k + 1 : k], o + f[inward ? k : k + 1]);
}

// A tube of `segments` sides, radius 1 and height 2 about z, open at both ends.
Mesh Tube(uint32_t segments) {
  Mesh mesh;
  for (uint32_t i = 0; i < 2 * segments; ++i)
    mesh.AddVertex(Vertex(float(std::cos(2 * M_PI * i / segments)),
                          float(std::sin(2 * M_PI * i / segments)), i < segments ? 0.0f : 2.0f));
  for (uint32_t i = 0, j = 1 % segments; i < segments; ++i, j = (i + 1) % segments) {
    mesh.AddTriangle(i, j, segments + j);
    mesh.AddTriangle(i, segments + j, segments + i);
  }
  return mesh;
}

// Made models through MakeModelSolid: the two ends of a tube filled (by
// least area and, past kMaxDynamicLoop, by a fan), shells turned to their
// nesting, two holes whose rims meet twice; then the hollow cube (side 4, a
// cavity of side 2 at its centre) cut beside its cavity and through it. The
// volumes are the analytic ones: a tube's ends are regular n-gons of area
// n/2 sin(2 pi / n).
TEST(ModelCut, MadeModelsAreMadeSolidAndKeepTheirCavities) {
  Mesh twoCubes, hollow, pinched;
  AddBox(twoCubes, -1, 1);
  AddBox(twoCubes, 2, 4, true);
  AddBox(hollow, -2, 2);
  AddBox(hollow, -1, 1);
  // An octahedron of half-axes 1, 1, 0.1 without its faces over x, y > 0
  // and x, y < 0: both rims run through the two tips, and the short chord
  // between them is the least-area fill of either. One hole may take it,
  // the other must not (it would be on four triangles): the quadrant
  // x, y > 0 is left out, three quarters of 4/3 * 0.1 remain.
  for (const Vertex& v : {Vertex(1, 0, 0), Vertex(-1, 0, 0), Vertex(0, 1, 0), Vertex(0, -1, 0),
                          Vertex(0, 0, 0.1f), Vertex(0, 0, -0.1f)})
    pinched.AddVertex(v);
  for (const auto& t : {std::array{0, 4, 3}, {0, 3, 5}, {1, 4, 2}, {1, 2, 5}})
    pinched.AddTriangle(t[0], t[1], t[2]);
  struct Case {
    Mesh mesh;
    size_t holes, triangles, turned;
    double volume;
  } cases[] = {{Tube(24), 2, 44, 0, 24 * std::sin(2 * M_PI / 24)},
               {Tube(400), 2, 800, 0, 400 * std::sin(2 * M_PI / 400)},
               {twoCubes, 0, 0, 1, 16.0},
               {hollow, 0, 0, 1, 56.0},
               {pinched, 2, 4, 0, 0.1}};
  for (Case& c : cases) {
    ModelRepair repair;
    std::string error;
    ASSERT_TRUE(MakeModelSolid(c.mesh, repair, error)) << c.volume << ": " << error;
    EXPECT_EQ(std::tuple(repair.filled.holes, repair.filled.triangles, repair.shellsTurned),
              std::tuple(c.holes, c.triangles, c.turned));
    EXPECT_EQ(CountOpenEdges(c.mesh), 0u) << c.volume;
    EXPECT_NEAR(EnclosedVolume(c.mesh), c.volume, 1e-5 * c.volume) << c.volume;
  }
  // A square hole both of whose diagonals are edges of the mesh (of two
  // tetrahedra hung from its corners): no fill closes it, and it is refused.
  const std::string dir = std::string(CLEAVE_SOURCE_DIR) + "/tests/data/meshes/";
  std::string error;
  EXPECT_FALSE(LoadModelFile(dir + "crossed_hole.obj", twoCubes, error));
  EXPECT_NE(error.find("unpaired (on more than two triangles); not a closed solid"),
            std::string::npos) << error;
  // A pyramid (base 2 x 2, height 1) whose base is gone but for one triangle
  // touching the rest at its corners: the triangle and the fill that turns
  // it over enclose nothing and are dropped; the base is one hole of eight
  // corners (six triangles), and a cut through the lost triangle is closed.
  ModelRepair repair;
  ASSERT_TRUE(LoadModelFile(dir + "island_hole.obj", twoCubes, error, &repair)) << error;
  EXPECT_EQ(std::tuple(repair.filled.holes, repair.filled.triangles, twoCubes.TriangleCount()),
            std::tuple(size_t{1}, size_t{6}, size_t{14}));
  SideVolumes island;
  Cut(twoCubes, Plane(Vector(1, 0, 0), Vector(0.25f, 0, 0)), island);
  EXPECT_NEAR(island[0].at(0) + island[1].at(0), 4.0 / 3.0, 1e-6);
  // A box whose top rises and falls about its centre (corners 0.5 above and
  // below z = 1 in turn), cut at z = 1 through the centre: in front two
  // pyramids of unit base and height 0.5 meeting at that one point, two
  // parts of 1/6; behind, the box up to z = 1 less two such dents.
  ASSERT_TRUE(LoadModelFile(dir + "saddle_top.obj", twoCubes, error)) << error;
  SideVolumes saddle;
  Cut(twoCubes, Plane(Vector(0, 0, 1), Vector(0, 0, 1)), saddle);
  ASSERT_EQ(saddle[0].size(), 2u);
  EXPECT_NEAR(saddle[0][0], 1.0 / 6.0, 1e-6);
  EXPECT_NEAR(saddle[0][1], 1.0 / 6.0, 1e-6);
  EXPECT_NEAR(saddle[1].at(0), 8.0 - 1.0 / 3.0, 1e-6);
  // A part whose filled hole passes through the rest, cut along its face
  // at z = -8: lumps turned inside out touch a solid at one point of the
  // plane and stay with it, so each side's volume is the reference's.
  ASSERT_TRUE(LoadModelFile(dir + "example007_holed.obj", twoCubes, error)) << error;
  const Plane face(Vector(0, 0, 1), Vector(0, 0, -8));
  SideVolumes parts;
  size_t solids[2] = {0, 0};
  double total[2] = {0, 0};
  Cut(twoCubes, face, parts);
  Reference(twoCubes, face, solids, total);
  for (int side = 0; side < 2; ++side)
    EXPECT_NEAR(std::accumulate(parts[side].begin(), parts[side].end(), 0.0), total[side],
                1e-5 * EnclosedVolume(twoCubes)) << side;
  // Beside the cavity (x = 1.5): a slab of 0.5 x 4 x 4 in front, the rest
  // less the cavity behind; through it (x = 0): two bowls of 32 - 4.
  for (const auto& [x, front, back] : {std::tuple{1.5f, 8.0, 48.0}, std::tuple{0.0f, 28.0, 28.0}}) {
    SideVolumes got;
    Cut(cases[3].mesh, Plane(Vector(1, 0, 0), Vector(x, 0, 0)), got);
    EXPECT_EQ(got[0], std::vector<double>{front}) << x;
    EXPECT_EQ(got[1], std::vector<double>{back}) << x;
  }
}

}  // namespace
