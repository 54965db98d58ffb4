#include "geom/mesh_builders.h"

#include <algorithm>
#include <cmath>
#include <vector>

namespace {

// Row-major grid of vertex indices: G[r][c] = cells[r * cols + c].
struct Grid {
  uint32_t rows = 0, cols = 0;
  std::vector<uint32_t> cells;
  Grid(uint32_t r, uint32_t c) : rows(r), cols(c), cells(static_cast<size_t>(r) * c, 0) {}
  uint32_t& At(uint32_t r, uint32_t c) { return cells[static_cast<size_t>(r) * cols + c]; }
};

// The grid rule: for every cell add (G[r][c], G[r+1][c], G[r+1][c+1]) and
// (G[r+1][c+1], G[r][c+1], G[r][c]). With row step U and column step V both
// triangles have the normal direction U x V, so callers lay out their grids
// with U x V pointing out of the solid.
//
// A grid may collapse a whole row onto one vertex (a cone apex or the centre
// of a disc); the triangles that then repeat an index have no area and no
// normal, so they are skipped.
void AddGrid(Mesh& mesh, Grid& g, float sx, float sy, float sz) {
  auto add = [&](uint32_t a, uint32_t b, uint32_t c) {
    if (a == b || b == c || c == a) return;
    mesh.AddTriangleWithAttributes(a, b, c, sx, sy, sz);
  };
  for (uint32_t r = 0; r + 1 < g.rows; ++r)
    for (uint32_t c = 0; c + 1 < g.cols; ++c) {
      add(g.At(r, c), g.At(r + 1, c), g.At(r + 1, c + 1));
      add(g.At(r + 1, c + 1), g.At(r, c + 1), g.At(r, c));
    }
}

}  // namespace

Mesh BuildBox(uint32_t divX, uint32_t divY, uint32_t divZ, float width, float height,
              float depth) {
  divX = std::max(divX, 1u);
  divY = std::max(divY, 1u);
  divZ = std::max(divZ, 1u);
  const uint32_t div[3] = {divX, divY, divZ};
  const float size[3] = {width, height, depth};
  // Texture scale: half extents, so the box's corners map to the ends of [0, 1].
  const float sx = 0.5f * width, sy = 0.5f * height, sz = 0.5f * depth;

  Mesh mesh;
  mesh.name = "Box";

  // Surface lattice points (i, j, k), created on first use; a point on an
  // edge or corner is used by two or three faces and created once.
  const size_t nx = divX + 1, ny = divY + 1, nz = divZ + 1;
  std::vector<uint32_t> lattice(nx * ny * nz, UINT32_MAX);
  auto latticeVertex = [&](const uint32_t ijk[3]) {
    uint32_t& slot = lattice[(ijk[0] * ny + ijk[1]) * nz + ijk[2]];
    if (slot == UINT32_MAX) {
      float p[3];
      for (int a = 0; a < 3; ++a)
        p[a] = -0.5f * size[a] + size[a] * static_cast<float>(ijk[a]) / static_cast<float>(div[a]);
      slot = mesh.AddVertex(Vertex(p[0], p[1], p[2]));
    }
    return slot;
  };

  // Each face: the fixed axis and its side, the row axis U and the column
  // axis V chosen so that U x V is the outward normal.
  struct Face {
    int axis, side, u, v;
  };
  const Face faces[6] = {
      {0, 1, 1, 2},  // +x: y x z = +x
      {0, 0, 2, 1},  // -x: z x y = -x
      {1, 1, 2, 0},  // +y: z x x = +y
      {1, 0, 0, 2},  // -y: x x z = -y
      {2, 1, 0, 1},  // +z: x x y = +z
      {2, 0, 1, 0},  // -z: y x x = -z
  };
  for (const Face& f : faces) {
    Grid g(div[f.u] + 1, div[f.v] + 1);
    for (uint32_t r = 0; r < g.rows; ++r)
      for (uint32_t c = 0; c < g.cols; ++c) {
        uint32_t ijk[3];
        ijk[f.axis] = f.side ? div[f.axis] : 0;
        ijk[f.u] = r;
        ijk[f.v] = c;
        g.At(r, c) = latticeVertex(ijk);
      }
    AddGrid(mesh, g, sx, sy, sz);
  }
  mesh.NormalizeCornerNormals();
  return mesh;
}

Mesh BuildCone(uint32_t slices, uint32_t stacks, float baseRadius, float topRadius, float height) {
  // A top radius below this is an apex, in the mesh's length unit.
  constexpr float kApexRadius = 1e-6f;
  slices = std::max(slices, 3u);
  stacks = std::max(stacks, 1u);
  const bool apex = topRadius < kApexRadius;
  const float half = 0.5f * height;
  const float radius = std::max(baseRadius, topRadius);
  // Texture scale: the bounding half extents.
  const float sx = radius, sy = half, sz = radius;
  const float step = 2.0f * static_cast<float>(M_PI) / static_cast<float>(slices);

  Mesh mesh;
  mesh.name = "Cone";

  // Body grid: row 0 is the top circle (or apex) at y = -height/2, the last
  // row the base circle at y = +height/2; column c at angle c * step, the
  // last column repeating column 0 so the seam shares its vertices. Rows go
  // up (+y) and columns turn from +x towards +z, so U x V points outwards.
  Grid body(stacks + 1, slices + 1);
  for (uint32_t r = 0; r <= stacks; ++r) {
    const float f = static_cast<float>(r) / static_cast<float>(stacks);
    const float y = -half + height * f;
    const float ringRadius = topRadius + (baseRadius - topRadius) * f;
    if (r == 0 && apex) {
      const uint32_t a = mesh.AddVertex(Vertex(0.0f, y, 0.0f));
      for (uint32_t c = 0; c <= slices; ++c) body.At(r, c) = a;
      continue;
    }
    for (uint32_t c = 0; c < slices; ++c) {
      const float theta = static_cast<float>(c) * step;
      body.At(r, c) =
          mesh.AddVertex(Vertex(ringRadius * std::cos(theta), y, ringRadius * std::sin(theta)));
    }
    body.At(r, slices) = body.At(r, 0);
  }
  AddGrid(mesh, body, sx, sy, sz);

  // Base disc at y = +height/2 facing +y: row 0 the base circle, row 1 the
  // centre (rows run inwards, so U x V = -radial x tangent = +y).
  const uint32_t baseCentre = mesh.AddVertex(Vertex(0.0f, half, 0.0f));
  Grid base(2, slices + 1);
  for (uint32_t c = 0; c <= slices; ++c) {
    base.At(0, c) = body.At(stacks, c);
    base.At(1, c) = baseCentre;
  }
  AddGrid(mesh, base, sx, sy, sz);

  // Top disc at y = -height/2 facing -y, rows running outwards.
  if (!apex) {
    const uint32_t topCentre = mesh.AddVertex(Vertex(0.0f, -half, 0.0f));
    Grid top(2, slices + 1);
    for (uint32_t c = 0; c <= slices; ++c) {
      top.At(0, c) = topCentre;
      top.At(1, c) = body.At(0, c);
    }
    AddGrid(mesh, top, sx, sy, sz);
  }
  mesh.NormalizeCornerNormals();
  return mesh;
}

Mesh BuildSphere(uint32_t slices, uint32_t stacks, float radius) {
  slices = std::max(slices, 3u);
  stacks = std::max(stacks, 2u);
  const uint32_t s = slices, k = stacks;
  const float r = radius;

  // Angle tables in single precision.
  const float twoPi = 2.0f * static_cast<float>(M_PI);
  const float pi = static_cast<float>(M_PI);
  std::vector<float> cosTheta(s + 1), sinTheta(s + 1), cosPhi(k + 1), sinPhi(k + 1);
  for (uint32_t j = 0; j <= s; ++j) {
    const float theta = static_cast<float>(j) * (twoPi / static_cast<float>(s));
    cosTheta[j] = std::cos(theta);
    sinTheta[j] = std::sin(theta);
  }
  for (uint32_t i = 0; i <= k; ++i) {
    const float phi = static_cast<float>(i) * (pi / static_cast<float>(k));
    cosPhi[i] = std::cos(phi);
    sinPhi[i] = std::sin(phi);
  }

  Mesh mesh;
  mesh.name = "Sphere";
  mesh.ReserveVertices(2 + static_cast<size_t>(k) * s);
  mesh.ReserveTriangles(2 * static_cast<size_t>(s) + 2 * static_cast<size_t>(s) * (k - 2));

  const uint32_t top = mesh.AddVertex(Vertex(0.0f, r, 0.0f));
  const uint32_t bottom = mesh.AddVertex(Vertex(0.0f, -r, 0.0f));
  // Ring R[i-1] for i = 1..k; the last ring sits on the bottom pole and no
  // triangle uses it, but its vertices stay in the list.
  for (uint32_t i = 1; i <= k; ++i)
    for (uint32_t j = 0; j < s; ++j)
      mesh.AddVertex(Vertex(r * sinPhi[i] * cosTheta[j], r * cosPhi[i], r * sinPhi[i] * sinTheta[j]));
  auto ring = [&](uint32_t m, uint32_t j) { return 2 + m * s + j; };

  auto add = [&](uint32_t a, uint32_t b, uint32_t c) {
    const uint32_t t = mesh.AddTriangleWithAttributes(a, b, c, r, r, r);
    // Smooth shading: each corner normal is its position (made unit below).
    for (int corner = 0; corner < 3; ++corner)
      mesh.SetCornerNormal(t, corner, mesh.CornerPosition(t, corner));
  };
  for (uint32_t j = 0; j < s; ++j) {
    const uint32_t jn = (j + 1) % s;
    add(ring(0, jn), ring(0, j), top);
    add(ring(k - 2, j), ring(k - 2, jn), bottom);
  }
  for (uint32_t m = 0; m + 3 <= k; ++m)
    for (uint32_t j = 0; j < s; ++j) {
      const uint32_t jn = (j + 1) % s;
      const uint32_t a = ring(m, j), b = ring(m, jn), c = ring(m + 1, j), d = ring(m + 1, jn);
      add(b, d, c);
      add(c, a, b);
    }
  mesh.NormalizeCornerNormals();
  return mesh;
}
