#include "geom/mass_properties.h"

#include <algorithm>
#include <cmath>

namespace {

// The sums over one triangle's three values w0, w1, w2 of one coordinate
// that the face integrals are made of: f1 = sum w_i, f2 = sum over i <= j
// of w_i w_j, f3 = sum over i <= j <= k of w_i w_j w_k, and
// g_i = f2 + w_i (f1 + w_i).
struct Powers {
  double f1, f2, f3, g0, g1, g2;
};

Powers PowersOf(double w0, double w1, double w2) {
  Powers p;
  const double t0 = w0 + w1;
  const double t1 = w0 * w0;
  const double t2 = t1 + w1 * t0;
  p.f1 = t0 + w2;
  p.f2 = t2 + w2 * p.f1;
  p.f3 = w0 * t1 + w1 * t2 + w2 * p.f2;
  p.g0 = p.f2 + w0 * (p.f1 + w0);
  p.g1 = p.f2 + w1 * (p.f1 + w1);
  p.g2 = p.f2 + w2 * (p.f1 + w2);
  return p;
}

// The point the integrals are taken from: the centre of the bounding box,
// so that the sums lose little precision to large coordinates.
void ReferencePoint(const Mesh& mesh, double ref[3]) {
  double low[3], high[3];
  for (int k = 0; k < 3; ++k) low[k] = high[k] = mesh.vertices[0].Position()[k];
  for (const Vertex& v : mesh.vertices) {
    const double p[3] = {v.x, v.y, v.z};
    for (int k = 0; k < 3; ++k) {
      low[k] = std::min(low[k], p[k]);
      high[k] = std::max(high[k], p[k]);
    }
  }
  for (int k = 0; k < 3; ++k) ref[k] = 0.5 * (low[k] + high[k]);
}

// Triangle t's corners in double precision, from the reference point.
void CornersFrom(const Mesh& mesh, const Triangle& t, const double ref[3], double x[3],
                 double y[3], double z[3]) {
  for (int c = 0; c < 3; ++c) {
    const Vertex& v = mesh.vertices[t.indices[c]];
    x[c] = static_cast<double>(v.x) - ref[0];
    y[c] = static_cast<double>(v.y) - ref[1];
    z[c] = static_cast<double>(v.z) - ref[2];
  }
}

}  // namespace

Vector MassProperties::Centre() const {
  return Vector(static_cast<float>(centre[0]), static_cast<float>(centre[1]),
                static_cast<float>(centre[2]), 0.0f);
}

Matrix4 MassProperties::InertiaMatrix(double factor) const {
  Matrix4 m;
  for (int r = 0; r < 3; ++r)
    for (int c = 0; c < 3; ++c) m(r, c) = static_cast<float>(inertia[r][c] * factor);
  return m;
}

MassProperties ComputeMassProperties(const Mesh& mesh, double density) {
  MassProperties props;
  if (mesh.vertices.empty()) return props;

  double ref[3];
  ReferencePoint(mesh, ref);

  // Integrals over the solid, from the reference point: 1; x, y, z;
  // x^2, y^2, z^2; xy, yz, zx. Each is the integral over the surface of a
  // field whose divergence is the integrand, taken along one axis, so the
  // triangle contributes through one component of its doubled-area normal.
  double sum[10] = {0.0, 0.0, 0.0, 0.0, 0.0, 0.0, 0.0, 0.0, 0.0, 0.0};
  for (const Triangle& t : mesh.triangles) {
    double x[3], y[3], z[3];
    CornersFrom(mesh, t, ref, x, y, z);
    // d = (p1 - p0) x (p2 - p0)
    const double a1 = x[1] - x[0], b1 = y[1] - y[0], c1 = z[1] - z[0];
    const double a2 = x[2] - x[0], b2 = y[2] - y[0], c2 = z[2] - z[0];
    const double d0 = b1 * c2 - b2 * c1;
    const double d1 = a2 * c1 - a1 * c2;
    const double d2 = a1 * b2 - a2 * b1;
    const Powers px = PowersOf(x[0], x[1], x[2]);
    const Powers py = PowersOf(y[0], y[1], y[2]);
    const Powers pz = PowersOf(z[0], z[1], z[2]);
    sum[0] += d0 * px.f1;
    sum[1] += d0 * px.f2;
    sum[2] += d1 * py.f2;
    sum[3] += d2 * pz.f2;
    sum[4] += d0 * px.f3;
    sum[5] += d1 * py.f3;
    sum[6] += d2 * pz.f3;
    sum[7] += d0 * (y[0] * px.g0 + y[1] * px.g1 + y[2] * px.g2);
    sum[8] += d1 * (z[0] * py.g0 + z[1] * py.g1 + z[2] * py.g2);
    sum[9] += d2 * (x[0] * pz.g0 + x[1] * pz.g1 + x[2] * pz.g2);
  }
  // The closed forms' constant factors.
  const double volume = sum[0] / 6.0;
  const double first[3] = {sum[1] / 24.0, sum[2] / 24.0, sum[3] / 24.0};
  const double square[3] = {sum[4] / 60.0, sum[5] / 60.0, sum[6] / 60.0};
  const double xy = sum[7] / 120.0, yz = sum[8] / 120.0, zx = sum[9] / 120.0;

  props.volume = volume;
  props.mass = density * volume;
  for (int k = 0; k < 3; ++k) props.centre[k] = ref[k];
  // `!(volume > 0)` also catches NaN.
  if (!(volume > 0.0) || !std::isfinite(volume)) return props;

  // Centre of mass, from the reference point.
  double c[3];
  for (int k = 0; k < 3; ++k) {
    c[k] = first[k] / volume;
    props.centre[k] = ref[k] + c[k];
  }
  // Second moments about the centre of mass (parallel axis theorem), per
  // unit density: the reference point lies inside the bounding box, so the
  // shift takes away little of the sums' precision.
  const double xx = square[0] - volume * c[0] * c[0];
  const double yy = square[1] - volume * c[1] * c[1];
  const double zz = square[2] - volume * c[2] * c[2];
  const double pxy = xy - volume * c[0] * c[1];
  const double pyz = yz - volume * c[1] * c[2];
  const double pzx = zx - volume * c[2] * c[0];
  double (&i)[3][3] = props.inertia;
  i[0][0] = density * (yy + zz);
  i[1][1] = density * (xx + zz);
  i[2][2] = density * (xx + yy);
  i[0][1] = i[1][0] = -density * pxy;
  i[1][2] = i[2][1] = -density * pyz;
  i[0][2] = i[2][0] = -density * pzx;
  return props;
}

double EnclosedVolume(const Mesh& mesh) {
  // ComputeMassProperties' first sum alone, term for term the same: a
  // third of the cost, and the same volume to the last bit.
  if (mesh.vertices.empty()) return 0.0;
  double ref[3];
  ReferencePoint(mesh, ref);
  double sum = 0.0;
  for (const Triangle& t : mesh.triangles) {
    double x[3], y[3], z[3];
    CornersFrom(mesh, t, ref, x, y, z);
    const double b1 = y[1] - y[0], c1 = z[1] - z[0];
    const double b2 = y[2] - y[0], c2 = z[2] - z[0];
    sum += (b1 * c2 - b2 * c1) * ((x[0] + x[1]) + x[2]);
  }
  return sum / 6.0;
}

double TriangleArea(const Vertex& a, const Vertex& b, const Vertex& c) {
  const double u[3] = {double(b.x) - a.x, double(b.y) - a.y, double(b.z) - a.z};
  const double w[3] = {double(c.x) - a.x, double(c.y) - a.y, double(c.z) - a.z};
  const double cx = u[1] * w[2] - u[2] * w[1], cy = u[2] * w[0] - u[0] * w[2],
               cz = u[0] * w[1] - u[1] * w[0];
  return 0.5 * std::sqrt(cx * cx + cy * cy + cz * cz);
}

double SurfaceArea(const Mesh& mesh) {
  double sum = 0.0;
  for (const Triangle& t : mesh.triangles)
    sum += TriangleArea(mesh.vertices[t.indices[0]], mesh.vertices[t.indices[1]],
                        mesh.vertices[t.indices[2]]);
  return sum;
}
