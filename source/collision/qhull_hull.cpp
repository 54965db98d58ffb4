#include "collision/qhull_hull.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <limits>

extern "C" {
#include <libqhull_r/qhull_ra.h>
}

#include "collision/distinct_vector_list.h"

namespace {

// Manhattan tolerances for the hull's distinct normals and edge directions
// (unit vectors): near-parallel ones add nothing to the separating-axis test
// but its cost, which grows with the product of two hulls' edge counts.
constexpr float kNormalTolerance = 0.02f;
constexpr float kEdgeTolerance = 0.25f;
// Cross products of neighbouring facet normals shorter than this belong to
// facets too close to parallel to give a usable edge direction.
constexpr double kTinyCross = 1e-9;

// What an inner radius keeps of the least facet distance: the planes are
// Qhull's, rounded, so the ball is shrunk a little to stay inside.
constexpr double kInnerShrink = 0.999;

// Runs Qhull on `points` (x, y, z each) and fills the hull, and `planes`
// (when given) with every facet's unit outward normal, three numbers each;
// false with the message Qhull wrote when it fails.
bool RunQhull(std::vector<coordT>& points, ConvexHull& hull, std::string& error,
              std::vector<double>* planes = nullptr) {
  char* errorText = nullptr;
  size_t errorSize = 0;
  FILE* errorFile = open_memstream(&errorText, &errorSize);
  qhT qhData;
  qhT* qh = &qhData;
  QHULL_LIB_CHECK
  qh_zero(qh, errorFile);
  // Qt is left out: facets stay merged polygons, so a flat side gives one
  // normal, not one per triangle.
  char options[] = "qhull";
  const int status = qh_new_qhull(qh, 3, static_cast<int>(points.size() / 3), points.data(),
                                  False, options, nullptr, errorFile);
  bool ok = status == 0;
  if (ok) {
    hull = ConvexHull();
    vertexT* vertex;
    FORALLvertices {
      const coordT* p = vertex->point;
      hull.vertices.push_back(Vector(static_cast<float>(p[0]), static_cast<float>(p[1]),
                                     static_cast<float>(p[2])));
    }
    DistinctVectorList normals(kNormalTolerance), edges(kEdgeTolerance);
    facetT* facet;
    FORALLfacets {
      const double* n = facet->normal;
      if (planes != nullptr) planes->insert(planes->end(), n, n + 3);
      normals.Add(Vector(static_cast<float>(n[0]), static_cast<float>(n[1]),
                         static_cast<float>(n[2])));
      // Two neighbouring facets of a 3D convex hull meet in an edge along
      // the cross product of their normals.
      facetT *neighbor, **neighborp;
      FOREACHneighbor_(facet) {
        const double* m = neighbor->normal;
        const double e[3] = {n[1] * m[2] - n[2] * m[1], n[2] * m[0] - n[0] * m[2],
                             n[0] * m[1] - n[1] * m[0]};
        const double length = std::sqrt(e[0] * e[0] + e[1] * e[1] + e[2] * e[2]);
        if (length < kTinyCross) continue;
        const Vector direction(static_cast<float>(e[0] / length),
                               static_cast<float>(e[1] / length),
                               static_cast<float>(e[2] / length));
        // An axis and its reverse are the same axis.
        if (!edges.Contains(direction * -1.0f)) edges.Add(direction);
      }
    }
    hull.faceNormals = std::move(normals.vectors);
    hull.edgeDirections = std::move(edges.vectors);
  }
  int curlong = 0, totlong = 0;
  qh_freeqhull(qh, !qh_ALL);
  qh_memfreeshort(qh, &curlong, &totlong);
  std::fclose(errorFile);
  if (!ok) {
    error = errorText != nullptr ? errorText : "qhull failed";
    while (!error.empty() && (error.back() == '\n' || error.back() == ' ')) error.pop_back();
    if (error.empty()) error = "qhull failed with code " + std::to_string(status);
  }
  std::free(errorText);
  return ok;
}

std::vector<coordT> Coordinates(const std::vector<Vector>& points) {
  std::vector<coordT> xyz;
  xyz.reserve(points.size() * 3);
  for (const Vector& p : points) {
    xyz.push_back(p.x);
    xyz.push_back(p.y);
    xyz.push_back(p.z);
  }
  return xyz;
}

float LengthSquared3(const Vector& v) { return Dot3(v, v); }

// `count` of the points, far apart from each other.
std::vector<Vector> FarthestPoints(const std::vector<Vector>& points, size_t count) {
  Vector centroid;
  for (const Vector& p : points) centroid += p;
  centroid = centroid / static_cast<float>(points.size());
  std::vector<float> nearest(points.size(), std::numeric_limits<float>::infinity());
  std::vector<Vector> picked;
  size_t next = 0;
  float best = -1.0f;
  for (size_t i = 0; i < points.size(); ++i) {
    const float d = LengthSquared3(points[i] - centroid);
    if (d > best) best = d, next = i;
  }
  while (picked.size() < count) {
    picked.push_back(points[next]);
    const Vector last = points[next];
    best = -1.0f;
    for (size_t i = 0; i < points.size(); ++i) {
      nearest[i] = std::min(nearest[i], LengthSquared3(points[i] - last));
      if (nearest[i] > best) best = nearest[i], next = i;
    }
  }
  return picked;
}

// Points extreme along kDirections directions spread evenly over the sphere
// (a Fibonacci spiral): each is a vertex of the cloud's hull, so they stand
// in for the whole cloud at a cost linear in its size, where Qhull on a
// large cloud with many points on its hull takes far longer.
constexpr int kDirections = 256;
std::vector<Vector> ExtremePoints(const std::vector<Vector>& points) {
  std::vector<size_t> best;
  const double golden = 3.14159265358979 * (3.0 - std::sqrt(5.0));
  for (int k = 0; k < kDirections; ++k) {
    const double z = 1.0 - (2.0 * k + 1.0) / kDirections;
    const double r = std::sqrt(1.0 - z * z);
    const Vector d(static_cast<float>(r * std::cos(golden * k)),
                   static_cast<float>(r * std::sin(golden * k)), static_cast<float>(z));
    size_t index = 0;
    float most = -std::numeric_limits<float>::infinity();
    for (size_t i = 0; i < points.size(); ++i) {
      const float p = Dot3(points[i], d);
      if (p > most) most = p, index = i;
    }
    best.push_back(index);
  }
  std::sort(best.begin(), best.end());
  best.erase(std::unique(best.begin(), best.end()), best.end());
  std::vector<Vector> extreme;
  for (const size_t i : best) extreme.push_back(points[i]);
  return extreme;
}

}  // namespace

bool BuildConvexHull(const std::vector<Vector>& points, size_t maxVertices, ConvexHull& hull,
                     std::string& error) {
  if (points.size() < 4) {
    error = "fewer than four points";
    return false;
  }
  for (const Vector& p : points)
    if (!std::isfinite(p.x) || !std::isfinite(p.y) || !std::isfinite(p.z)) {
      error = "a point is not finite";
      return false;
    }
  // A small cloud goes to Qhull whole; a large one is first cut down to its
  // extreme points.
  std::vector<coordT> xyz =
      Coordinates(points.size() > 4 * kDirections ? ExtremePoints(points) : points);
  if (!RunQhull(xyz, hull, error)) return false;
  if (hull.vertices.size() <= maxVertices) return true;
  std::vector<coordT> fewer = Coordinates(FarthestPoints(hull.vertices, maxVertices));
  return RunQhull(fewer, hull, error);
}

float InnerRadius(const std::vector<Vector>& points, const Vector& center) {
  if (points.size() < 4) return 0.0f;
  std::vector<coordT> xyz = Coordinates(points);
  ConvexHull hull;
  std::string error;
  std::vector<double> planes;
  if (!RunQhull(xyz, hull, error, &planes) || planes.empty()) return 0.0f;
  double radius = std::numeric_limits<double>::infinity();
  for (size_t f = 0; f < planes.size(); f += 3) {
    const double* n = &planes[f];
    double extreme = -std::numeric_limits<double>::infinity();
    for (size_t i = 0; i < xyz.size(); i += 3)
      extreme = std::max(extreme, n[0] * xyz[i] + n[1] * xyz[i + 1] + n[2] * xyz[i + 2]);
    const double distance = extreme - (n[0] * center.x + n[1] * center.y + n[2] * center.z);
    radius = std::min(radius, distance);
  }
  return radius > 0.0 ? static_cast<float>(kInnerShrink * radius) : 0.0f;
}
