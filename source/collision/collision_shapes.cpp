#include "collision/collision_shapes.h"

#include <algorithm>
#include <string>
#include <cstdint>
#include <utility>
#include <vector>

#include "collision/collision_comp.h"
#include "collision/distinct_vector_list.h"
#include "collision/qhull_hull.h"
#include "core/diagnostics.h"
#include "objects/model_comp.h"

namespace {

// Hull generation. Vectors shorter than this are treated as zero.
constexpr float kTiny = 1e-8f;
// Manhattan tolerances of the distinct lists: unit edge directions, unit
// face normals, and vertices as a fraction of the bounding radius.
constexpr float kEdgeTolerance = 2.5f;
constexpr float kNormalTolerance = 0.5f;
constexpr float kVertexToleranceFactor = 0.03f;
// A loaded model's piece gets a Qhull hull of at most this many vertices:
// enough to follow a curved side, few enough for a quick separating-axis test.
constexpr size_t kMaxModelHullVertices = 32;

// Pushes v out from the local origin by the hull margin: v (margin/|v| + 1).
Vector PushedOut(Vector v) {
  const float length = Length(v);
  return length > kTiny ? v * (kHullMargin / length + 1.0f) : v;
}

// The hull's cloud; the interval of its vertices on each face normal,
// projected as the narrow phase projects them (x a.x + y a.y + z a.z in
// float); and its inner radius about the bounding centre.
void SetHullBounds(CollisionComp& comp) {
  comp.faceExtents.clear();
  comp.innerRadius = InnerRadius(comp.hullVertices, comp.boundingCenter);
  comp.hullCloud.Resize(comp.hullVertices.size());
  if (comp.hullVertices.empty()) return;
  for (size_t i = 0; i < comp.hullVertices.size(); ++i) comp.hullCloud.Set(i, comp.hullVertices[i]);
  comp.hullCloud.Pad();
  for (const Vector& n : comp.faceNormals) {
    float low = 0.0f, high = 0.0f;
    for (size_t i = 0; i < comp.hullVertices.size(); ++i) {
      const Vector& v = comp.hullVertices[i];
      const float d = v.x * n.x + v.y * n.y + v.z * n.z;
      if (i == 0 || d < low) low = d;
      if (i == 0 || d > high) high = d;
    }
    comp.faceExtents.push_back(low);
    comp.faceExtents.push_back(high);
  }
}

// The hull of a loaded model's piece through Qhull. False (with a warning)
// when Qhull finds no hull; the caller then builds the mesh hull.
bool GenerateQhullHull(const Mesh& mesh, float s, CollisionComp& comp) {
  std::vector<Vector> points;
  points.reserve(mesh.vertices.size());
  for (const Vertex& vertex : mesh.vertices) points.push_back(vertex.Position() * s);
  ConvexHull hull;
  std::string error;
  if (!BuildConvexHull(points, kMaxModelHullVertices, hull, error)) {
    CLEAVE_WARNING("Qhull found no hull (" + error + "); using the mesh hull");
    return false;
  }
  for (Vector& v : hull.vertices) v = PushedOut(v);
  comp.edgeDirections = std::move(hull.edgeDirections);
  comp.faceNormals = std::move(hull.faceNormals);
  comp.hullVertices = std::move(hull.vertices);
  SetHullBounds(comp);
  comp.boundingRadius += kHullMargin;
  comp.hasHull = true;
  return true;
}

// The two components both generators need. Warns about the first one missing
// and returns false, so the caller changes nothing.
bool GeneratorSources(GameObject& object, const ModelComp*& model, CollisionComp*& comp) {
  model = object.Find<ModelComp>();
  if (model == nullptr) {
    CLEAVE_WARNING("No model to generate bounding sphere from!");
    return false;
  }
  comp = object.Find<CollisionComp>();
  if (comp == nullptr) {
    CLEAVE_WARNING("No collision component on this GameObject!");
    return false;
  }
  return true;
}

}  // namespace

void GenerateBoundingSphere(GameObject& object) {
  const ModelComp* model = nullptr;
  CollisionComp* comp = nullptr;
  if (!GeneratorSources(object, model, comp)) return;
  const std::vector<Vertex>& vertices = model->mesh.vertices;
  // A mesh without vertices has no sphere; leave the component as it is
  // rather than divide by zero.
  if (vertices.empty()) return;
  const float s = model->scale;
  const float inverseCount = 1.0f / static_cast<float>(vertices.size());
  Vector center;
  for (const Vertex& v : vertices) center += v.Position() * inverseCount;
  // The first vertex starts the search; a later one replaces it only when
  // strictly farther.
  float radius = Length(vertices[0].Position() - center);
  for (const Vertex& v : vertices) radius = std::max(radius, Length(v.Position() - center));
  comp->boundingRadius = radius * s;
  comp->boundingCenter = center * s;
  comp->hasBoundingSphere = true;
}

void GenerateCollisionHull(GameObject& object) {
  const ModelComp* model = nullptr;
  CollisionComp* comp = nullptr;
  if (!GeneratorSources(object, model, comp)) return;
  if (!comp->hasBoundingSphere) GenerateBoundingSphere(object);
  const Mesh& mesh = model->mesh;
  const float s = model->scale;
  if (mesh.loadedModel && GenerateQhullHull(mesh, s, *comp)) return;

  // Edge directions. Every distinct directed index pair of the triangles'
  // edges (i0, i1), (i2, i1), (i0, i2), visited in index order; the wide
  // tolerance then keeps only a few well-separated directions.
  std::vector<uint64_t> pairs;
  pairs.reserve(mesh.triangles.size() * 3);
  const auto key = [](uint32_t first, uint32_t second) {
    return (static_cast<uint64_t>(first) << 32) | second;
  };
  for (const Triangle& t : mesh.triangles) {
    pairs.push_back(key(t.indices[0], t.indices[1]));
    pairs.push_back(key(t.indices[2], t.indices[1]));
    pairs.push_back(key(t.indices[0], t.indices[2]));
  }
  std::sort(pairs.begin(), pairs.end());
  pairs.erase(std::unique(pairs.begin(), pairs.end()), pairs.end());
  const uint32_t vertexCount = mesh.VertexCount();
  DistinctVectorList edges(kEdgeTolerance);
  for (const uint64_t pair : pairs) {
    const uint32_t first = static_cast<uint32_t>(pair >> 32);
    const uint32_t second = static_cast<uint32_t>(pair & 0xffffffffu);
    if (first >= vertexCount || second >= vertexCount) continue;
    const Vector e = mesh.vertices[second].Position() - mesh.vertices[first].Position();
    const float length = Length(e);
    if (length > kTiny) edges.Add(e / length);
  }

  // Face normals: (p1 - p0) x (p2 - p0), normalised.
  DistinctVectorList normals(kNormalTolerance);
  for (const Triangle& t : mesh.triangles) {
    if (t.indices[0] >= vertexCount || t.indices[1] >= vertexCount || t.indices[2] >= vertexCount)
      continue;
    const Vector p0 = mesh.vertices[t.indices[0]].Position();
    const Vector p1 = mesh.vertices[t.indices[1]].Position();
    const Vector p2 = mesh.vertices[t.indices[2]].Position();
    const Vector n = Cross(p1 - p0, p2 - p0);
    const float length = Length(n);
    if (length > kTiny) normals.Add(n / length);
  }

  // Vertices: scaled, pushed out from the local origin by the margin
  // (v (margin/|v| + 1)), near-duplicates merged.
  DistinctVectorList vertices(kVertexToleranceFactor * comp->boundingRadius);
  for (const Vertex& vertex : mesh.vertices) vertices.Add(PushedOut(vertex.Position() * s));

  comp->edgeDirections = std::move(edges.vectors);
  comp->faceNormals = std::move(normals.vectors);
  comp->hullVertices = std::move(vertices.vectors);
  SetHullBounds(*comp);
  comp->boundingRadius += kHullMargin;
  comp->hasHull = true;
}

BoundingBox ComputeBoundingBox(const Mesh& mesh, float scale) {
  BoundingBox box;
  // An empty mesh has no first vertex to start from: the zero box.
  if (mesh.vertices.empty()) return box;
  Vector min = mesh.vertices[0].Position() * scale;
  Vector max = min;
  for (const Vertex& vertex : mesh.vertices) {
    const Vector p = vertex.Position() * scale;
    for (int k = 0; k < 3; ++k) {
      if (p[k] < min[k]) {
        min[k] = p[k];
      } else if (p[k] > max[k]) {
        max[k] = p[k];
      }
    }
  }
  box.center = (max + min) * 0.5f;
  box.halfExtents = (max - min) * 0.5f;
  return box;
}
