// Cutting models from the wild: real meshes from outside the project
// (tests/data/meshes) and made ones with cavities, holes and shells wound
// either way. The reference is computed here in double precision: every
// triangle clipped to the half-space, the clipped triangles joined into
// pieces where they share a vertex on that side or a crossing edge, and each
// piece's volume by the divergence theorem about a point of the plane (where
// the flat cap adds nothing).

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <functional>
#include <iostream>
#include <map>
#include <numeric>
#include <string>
#include <utility>
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
    volumes[side].clear();
    for (const Mesh& part : SplitIntoSolids(halves[side])) {
      EXPECT_EQ(CountOpenEdges(part), 0u);
      volumes[side].push_back(EnclosedVolume(part));
      EXPECT_GT(volumes[side].back(), 0.0);
    }
    std::sort(volumes[side].begin(), volumes[side].end());
  }
}

// A piece of the clipped surface: its volume and the segments where it
// meets the plane, in two coordinates of the plane.
struct Piece {
  double volume = 0.0;
  std::vector<std::array<double, 4>> segments;  // u0, v0, u1, v1
};

// Whether the point (u, v) lies inside the outline of `piece` (ray parity).
bool Encloses(const Piece& piece, double u, double v) {
  bool inside = false;
  for (const auto& s : piece.segments)
    if ((s[1] > v) != (s[3] > v) && s[0] + (v - s[1]) / (s[3] - s[1]) * (s[2] - s[0]) > u)
      inside = !inside;
  return inside;
}

void Reference(const Mesh& mesh, const Plane& plane, SideVolumes& volumes) {
  const double n[3] = {plane.normal.x, plane.normal.y, plane.normal.z};
  const double q[3] = {plane.point.x, plane.point.y, plane.point.z};
  const auto distance = [&](const Vertex& v) {
    return n[0] * (v.x - q[0]) + n[1] * (v.y - q[1]) + n[2] * (v.z - q[2]);
  };
  // The plane's two coordinates: the axes other than the normal's largest.
  const int axis = std::fabs(n[0]) > std::fabs(n[1])
                       ? (std::fabs(n[0]) > std::fabs(n[2]) ? 0 : 2)
                       : (std::fabs(n[1]) > std::fabs(n[2]) ? 1 : 2);
  const int iu = (axis + 1) % 3, iv = (axis + 2) % 3;
  const size_t vertexCount = mesh.vertices.size(), triangleCount = mesh.triangles.size();
  for (int side = 0; side < 2; ++side) {
    const double sign = side == 0 ? 1.0 : -1.0;
    // Union-find over vertices, then triangles, then crossing edges.
    std::vector<size_t> parent(vertexCount + triangleCount);
    std::iota(parent.begin(), parent.end(), 0);
    std::map<std::pair<uint32_t, uint32_t>, size_t> crossing;
    const std::function<size_t(size_t)> find = [&](size_t x) {
      return parent[x] == x ? x : parent[x] = find(parent[x]);
    };
    std::vector<Piece> clipped(triangleCount);
    std::vector<bool> kept(triangleCount, false);
    for (size_t t = 0; t < triangleCount; ++t) {
      const uint32_t* c = mesh.triangles[t].indices;
      std::vector<std::array<double, 3>> polygon, onPlane;  // the clipped triangle
      for (int k = 0; k < 3; ++k) {
        const Vertex &a = mesh.vertices[c[k]], &b = mesh.vertices[c[(k + 1) % 3]];
        const double da = sign * distance(a), db = sign * distance(b);
        if (da >= 0) polygon.push_back({a.x - q[0], a.y - q[1], a.z - q[2]});
        if (da == 0) onPlane.push_back(polygon.back());
        if (da > 0) parent[find(c[k])] = find(vertexCount + t);
        if ((da > 0 && db < 0) || (da < 0 && db > 0)) {
          const double s = da / (da - db);
          polygon.push_back({a.x - q[0] + s * (double(b.x) - a.x), a.y - q[1] + s * (double(b.y) - a.y),
                             a.z - q[2] + s * (double(b.z) - a.z)});
          onPlane.push_back(polygon.back());
          const auto key = std::minmax(c[k], c[(k + 1) % 3]);
          const auto found = crossing.emplace(key, parent.size());
          if (found.second) parent.push_back(parent.size());
          parent[find(found.first->second)] = find(vertexCount + t);
        }
      }
      for (size_t k = 1; k + 1 < polygon.size(); ++k) {
        const auto &a = polygon[0], &b = polygon[k], &d = polygon[k + 1];
        clipped[t].volume += (a[0] * (b[1] * d[2] - b[2] * d[1]) - a[1] * (b[0] * d[2] - b[2] * d[0]) +
                              a[2] * (b[0] * d[1] - b[1] * d[0])) / 6.0;
      }
      if (onPlane.size() == 2)
        clipped[t].segments.push_back({onPlane[0][iu], onPlane[0][iv], onPlane[1][iu], onPlane[1][iv]});
      kept[t] = polygon.size() >= 3;
    }
    std::map<size_t, Piece> pieces;
    for (size_t t = 0; t < triangleCount; ++t) {
      if (!kept[t]) continue;
      Piece& piece = pieces[find(vertexCount + t)];
      piece.volume += clipped[t].volume;
      piece.segments.insert(piece.segments.end(), clipped[t].segments.begin(), clipped[t].segments.end());
    }
    // A piece of negative volume is a dent or hollow whose outline lies
    // within the outline of a solid piece: the smallest such is its solid.
    volumes[side].clear();
    for (auto& [root, piece] : pieces) {
      if (piece.volume > 0 || piece.segments.empty()) continue;
      const auto& s = piece.segments[0];
      Piece* host = nullptr;
      for (auto& [other, around] : pieces)
        if (around.volume > 0 && Encloses(around, (s[0] + s[2]) / 2, (s[1] + s[3]) / 2) &&
            (host == nullptr || around.volume < host->volume))
          host = &around;
      if (host != nullptr) host->volume += std::exchange(piece.volume, 0.0);
    }
    for (const auto& piece : pieces)
      if (piece.second.volume != 0.0) volumes[side].push_back(piece.second.volume);
    std::sort(volumes[side].begin(), volumes[side].end());
  }
}

// Largest difference between two sides' sorted volumes (infinite when the
// counts differ).
double Worst(const SideVolumes& a, const SideVolumes& b, double scale = 1.0) {
  double worst = 0.0;
  for (int side = 0; side < 2; ++side) {
    if (a[side].size() != b[side].size()) return INFINITY;
    for (size_t k = 0; k < a[side].size(); ++k)
      worst = std::max(worst, std::fabs(a[side][k] - b[side][k] * scale));
  }
  return worst;
}

// Every corpus mesh, cut through its box centre along four directions at
// three scales: the parts match the reference (count, and volumes within
// 1e-5 of the whole), and the parts at each scale are those at unit scale
// (volumes within 1e-6 of the whole).
TEST(ModelCut, RealMeshesMatchTheClippedReferenceAtEveryScale) {
  const std::string dir = std::string(CLEAVE_SOURCE_DIR) + "/tests/data/meshes/";
  const double scales[] = {1.0, 0.01, 100.0};
  const Vector directions[] = {{1, 0, 0}, {0, 1, 0}, {0, 0, 1}, {1, 1, 1}};
  double worst[3] = {0, 0, 0}, worstAcross = 0;
  size_t cuts = 0, parts = 0;
  for (const char* name : {"anchor", "blobby_3cc", "eight", "elephant", "elephant-with-holes",
                           "femur", "handle", "knot1", "mushroom", "pig", "rotor", "spool"}) {
    Mesh model;
    std::string error;
    ASSERT_TRUE(LoadModelFile(dir + name + ".off", model, error)) << error;
    for (const Vector& direction : directions) {
      SideVolumes unit;
      for (int s = 0; s < 3; ++s) {
        Mesh mesh = model;
        for (Vertex& v : mesh.vertices) v = Vertex(v.x * scales[s], v.y * scales[s], v.z * scales[s]);
        const Plane plane(Normalize(direction), ComputeBoundingBox(mesh, 1.0f).center);
        SideVolumes got, expected;
        Cut(mesh, plane, got);
        Reference(mesh, plane, expected);
        const double whole = EnclosedVolume(mesh);
        const double error = Worst(got, expected) / whole;
        EXPECT_LT(error, 1e-5) << name << " scale " << scales[s] << " along " << direction.x
                               << "," << direction.y << "," << direction.z;
        worst[s] = std::max(worst[s], error);
        if (s == 0) std::copy(got, got + 2, unit);
        const double across = Worst(got, unit, std::pow(scales[s], 3.0)) / whole;
        EXPECT_LT(across, 1e-6) << name << " scale " << scales[s];
        worstAcross = std::max(worstAcross, across);
        ++cuts;
        parts += got[0].size() + got[1].size();
      }
    }
  }
  std::cout << cuts << " cuts, " << parts << " parts; worst volume error at scale 1, 0.01, 100: "
            << worst[0] << ", " << worst[1] << ", " << worst[2] << "; across scales "
            << worstAcross << "\n";
}

}  // namespace
