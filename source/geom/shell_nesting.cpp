#include "geom/shell_nesting.h"

#include <algorithm>
#include <array>
#include <cfloat>
#include <cmath>
#include <set>
#include <string>
#include <utility>

#include "core/diagnostics.h"
#include "geom/connected_parts.h"
#include "geom/mass_properties.h"
#include "geom/solid_check.h"

namespace {

constexpr double kFourPi = 12.566370614359172;
// A winding number above this (in magnitude) puts a point inside: exactly 1
// there and 0 outside, up to rounding.
constexpr double kInside = 0.5;

struct Shell {
  Mesh mesh;
  double volume = 0.0;
  double low[3] = {DBL_MAX, DBL_MAX, DBL_MAX};
  double high[3] = {-DBL_MAX, -DBL_MAX, -DBL_MAX};
  double point[3] = {0.0, 0.0, 0.0};  // the centroid of its first triangle
  double area = 0.0;
  double reach = 0.0;  // largest coordinate magnitude of a vertex
};

Shell Describe(Mesh&& mesh) {
  Shell shell;
  shell.mesh = std::move(mesh);
  const Mesh& m = shell.mesh;
  for (const Vertex& v : m.vertices) {
    const double p[3] = {v.x, v.y, v.z};
    for (int k = 0; k < 3; ++k) {
      shell.low[k] = std::min(shell.low[k], p[k]);
      shell.high[k] = std::max(shell.high[k], p[k]);
      shell.reach = std::max(shell.reach, std::fabs(p[k]));
    }
  }
  shell.volume = EnclosedVolume(m);
  shell.area = SurfaceArea(m);
  if (!m.triangles.empty()) {
    for (int c = 0; c < 3; ++c) {
      const Vertex& v = m.vertices[m.triangles[0].indices[c]];
      shell.point[0] += v.x / 3.0;
      shell.point[1] += v.y / 3.0;
      shell.point[2] += v.z / 3.0;
    }
  }
  return shell;
}

// True when `inner`'s point lies inside `outer` (which it must not be).
bool Inside(const Shell& inner, const Shell& outer) {
  for (int k = 0; k < 3; ++k)
    if (inner.low[k] < outer.low[k] || inner.high[k] > outer.high[k]) return false;
  return std::fabs(WindingNumber(outer.mesh, inner.point)) > kInside;
}

// True when the two shells have a vertex at the same place.
bool Touching(const Shell& a, const Shell& b) {
  for (int k = 0; k < 3; ++k)
    if (a.high[k] < b.low[k] || b.high[k] < a.low[k]) return false;
  std::set<std::array<float, 3>> places;
  for (const Vertex& v : a.mesh.vertices) places.insert({v.x, v.y, v.z});
  for (const Vertex& v : b.mesh.vertices)
    if (places.count({v.x, v.y, v.z})) return true;
  return false;
}

// Appends `from`'s vertices and triangles to `to`.
void Append(const Mesh& from, Mesh& to) {
  const uint32_t offset = to.VertexCount();
  to.vertices.insert(to.vertices.end(), from.vertices.begin(), from.vertices.end());
  for (Triangle t : from.triangles) {
    for (uint32_t& i : t.indices) i += offset;
    // Appended directly: the triangle index is rebuilt on first use.
    to.triangles.push_back(t);
  }
}

std::vector<Shell> Shells(const Mesh& mesh) {
  std::vector<Shell> shells;
  for (Mesh& part : SplitIntoConnectedParts(mesh)) shells.push_back(Describe(std::move(part)));
  return shells;
}

}  // namespace

double WindingNumber(const Mesh& shell, const double p[3]) {
  // Van Oosterom and Strackee: the solid angle of triangle (a, b, c) seen
  // from the origin is 2 atan2(a . (b x c), |a||b||c| + (a.b)|c| + (b.c)|a|
  // + (c.a)|b|).
  double sum = 0.0;
  const uint32_t count = shell.VertexCount();
  for (const Triangle& t : shell.triangles) {
    if (t.indices[0] >= count || t.indices[1] >= count || t.indices[2] >= count) continue;
    double r[3][3], len[3];
    for (int c = 0; c < 3; ++c) {
      const Vertex& v = shell.vertices[t.indices[c]];
      r[c][0] = v.x - p[0];
      r[c][1] = v.y - p[1];
      r[c][2] = v.z - p[2];
      len[c] = std::sqrt(r[c][0] * r[c][0] + r[c][1] * r[c][1] + r[c][2] * r[c][2]);
    }
    const auto dot = [&r](int i, int j) {
      return r[i][0] * r[j][0] + r[i][1] * r[j][1] + r[i][2] * r[j][2];
    };
    const double det = r[0][0] * (r[1][1] * r[2][2] - r[1][2] * r[2][1]) -
                       r[0][1] * (r[1][0] * r[2][2] - r[1][2] * r[2][0]) +
                       r[0][2] * (r[1][0] * r[2][1] - r[1][1] * r[2][0]);
    const double den = len[0] * len[1] * len[2] + dot(0, 1) * len[2] + dot(1, 2) * len[0] +
                       dot(2, 0) * len[1];
    sum += 2.0 * std::atan2(det, den);
  }
  return sum / kFourPi;
}

std::vector<Mesh> SplitIntoSolids(const Mesh& mesh) {
  return GroupShells(SplitIntoConnectedParts(mesh));
}

std::vector<Mesh> GroupShells(std::vector<Mesh>&& parts) {
  std::vector<Shell> shells;
  for (Mesh& part : parts) shells.push_back(Describe(std::move(part)));
  std::vector<size_t> solids, cavities;
  size_t empty = 0;
  for (size_t s = 0; s < shells.size(); ++s) {
    const double least = LeastVolume(shells[s].area, shells[s].reach);
    if (shells[s].volume > least) {
      solids.push_back(s);
    } else if (shells[s].volume < -least) {
      cavities.push_back(s);
    } else {
      ++empty;
    }
  }
  size_t homeless = 0;
  for (const size_t c : cavities) {
    size_t host = shells.size();
    for (const size_t s : solids) {
      if (!Inside(shells[c], shells[s])) continue;
      if (host == shells.size() || shells[s].volume < shells[host].volume) host = s;
    }
    // A cavity inside no solid may touch one at a point: a cut separates
    // lumps that meet at one vertex of the plane, and where the surface
    // crosses itself (a fill that cuts through the rest) such a lump is
    // turned inside out. It stays with the solid it touches, as it was.
    for (size_t s = 0; host == shells.size() && s < solids.size(); ++s)
      if (Touching(shells[c], shells[solids[s]])) host = solids[s];
    if (host == shells.size()) {
      ++homeless;
      continue;
    }
    Append(shells[c].mesh, shells[host].mesh);
  }
  if (empty + homeless > 0)
    diagnostics::Log(std::to_string(empty) + " parts enclosing no volume and " +
                     std::to_string(homeless) + " inside-out parts left out");
  std::vector<Mesh> result;
  result.reserve(solids.size());
  for (const size_t s : solids) result.push_back(std::move(shells[s].mesh));
  return result;
}

size_t OrientShells(Mesh& mesh) {
  std::vector<Shell> shells = Shells(mesh);
  size_t turned = 0;
  std::vector<bool> turn(shells.size(), false);
  for (size_t a = 0; a < shells.size(); ++a) {
    size_t depth = 0;
    for (size_t b = 0; b < shells.size(); ++b)
      if (b != a && Inside(shells[a], shells[b])) ++depth;
    turn[a] = (shells[a].volume > 0.0) != (depth % 2 == 0);
    turned += turn[a];
  }
  if (turned == 0) return 0;
  Mesh rebuilt;
  rebuilt.loadedModel = mesh.loadedModel;
  rebuilt.useTexCoords = mesh.useTexCoords;
  for (size_t s = 0; s < shells.size(); ++s) {
    if (turn[s])
      for (Triangle& t : shells[s].mesh.triangles) std::swap(t.indices[1], t.indices[2]);
    Append(shells[s].mesh, rebuilt);
  }
  rebuilt.ReindexTriangles();
  mesh = std::move(rebuilt);
  return turned;
}
