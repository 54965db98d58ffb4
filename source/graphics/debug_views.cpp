#include "graphics/debug_views.h"

#include <GL/glew.h>

#include <algorithm>
#include <cmath>
#include <unordered_set>

#include "collision/collision_shapes.h"
#include "graphics/debug_graphics.h"
#include "math/plane.h"
#include "objects/model_comp.h"
#include "objects/object_manager.h"
#include "physics/ground_plane.h"
#include "physics/physics_comp.h"
#include "window/input_manager.h"
#include "window/tweak_bar.h"

namespace {

const Vector kHullColour(1.0f, 1.0f, 1.0f, 1.0f);
const Vector kContactColour(1.0f, 1.0f, 0.0f, 1.0f);
const Vector kNormalColour(1.0f, 0.0f, 1.0f, 1.0f);
const Vector kAxisColours[3] = {Vector(1.0f, 0.0f, 0.0f, 1.0f), Vector(0.0f, 1.0f, 0.0f, 1.0f),
                                Vector(0.0f, 0.3f, 1.0f, 1.0f)};
const Vector kAwakeTint(1.0f, 0.55f, 0.0f, 0.35f);
const Vector kAsleepTint(0.2f, 0.4f, 1.0f, 0.35f);
const Vector kCutColour(1.0f, 0.1f, 0.1f, 1.0f);
constexpr float kContactCross = 0.04f;   // half size of a contact cross, units
constexpr float kNormalLength = 0.25f;   // drawn length of a contact normal, units
constexpr float kCentreCross = 0.15f;    // half size of a centre-of-mass cross, units
constexpr float kLineWidth = 1.5f;       // pixels
// A hull vertex belongs to a face when it lies within the hull margin (by
// which every vertex was pushed out along its own direction, so a face's
// vertices are no longer in one plane) and this much of the hull's size of
// the face's outermost vertex.
constexpr float kFaceTolerance = 1e-3f;

// The keys of the views, in the order of the header's list.
constexpr char kViewKeys[5] = {'1', '2', '3', '4', '5'};

// The corners of the convex polygon spanned by `points` (which lie in one
// plane of the given normal), counter-clockwise seen from where the normal
// points: Andrew's monotone chain in the plane's own coordinates, so points
// inside the face or along its edges are left out.
std::vector<Vector> FaceLoop(const std::vector<Vector>& points, const Vector& normal) {
  const Vector helper = std::fabs(normal.x) < 0.9f ? Vector(1, 0, 0, 0) : Vector(0, 1, 0, 0);
  const Vector u = Normalize(WithW(Cross(normal, helper), 0.0f));
  const Vector w = Cross(normal, u);
  std::vector<std::pair<float, float>> flat;
  for (const Vector& p : points) flat.emplace_back(Dot3(p, u), Dot3(p, w));
  std::vector<size_t> order(points.size());
  for (size_t i = 0; i < order.size(); ++i) order[i] = i;
  std::sort(order.begin(), order.end(), [&](size_t a, size_t b) { return flat[a] < flat[b]; });
  auto turn = [&](size_t o, size_t a, size_t b) {
    return (flat[a].first - flat[o].first) * (flat[b].second - flat[o].second) -
           (flat[a].second - flat[o].second) * (flat[b].first - flat[o].first);
  };
  std::vector<size_t> hull(2 * order.size());
  size_t k = 0;
  for (size_t i = 0; i < order.size(); ++i) {  // lower chain
    while (k >= 2 && turn(hull[k - 2], hull[k - 1], order[i]) <= 0.0f) --k;
    hull[k++] = order[i];
  }
  for (size_t i = order.size() - 1, lower = k + 1; i-- > 0;) {  // upper chain
    while (k >= lower && turn(hull[k - 2], hull[k - 1], order[i]) <= 0.0f) --k;
    hull[k++] = order[i];
  }
  std::vector<Vector> loop;
  for (size_t i = 0; i + 1 < k; ++i) loop.push_back(points[hull[i]]);
  return loop;
}

}  // namespace

HullOutline OutlineHull(const CollisionComp& hull) {
  HullOutline outline;
  float size = 0.0f;
  for (const Vector& v : hull.hullVertices) size = std::max(size, Length(WithW(v, 0.0f)));
  const float tolerance = kHullMargin + kFaceTolerance * std::max(size, 1.0f);
  for (size_t k = 0; k < hull.faceNormals.size() && 2 * k + 1 < hull.faceExtents.size(); ++k) {
    const Vector& n = hull.faceNormals[k];
    // The least extent is the face of -n, unless -n is a normal of its own;
    // the greatest is that of n.
    const bool opposite = std::any_of(hull.faceNormals.begin(), hull.faceNormals.end(),
                                      [&](const Vector& m) { return Dot3(m, n) < -0.9999f; });
    for (int side = opposite ? 1 : 0; side < 2; ++side) {
      const float extent = hull.faceExtents[2 * k + side];
      std::vector<Vector> loop;
      for (const Vector& v : hull.hullVertices)
        if (std::fabs(Dot3(v, n) - extent) <= tolerance) loop.push_back(WithW(v, 0.0f));
      if (loop.size() == 2) outline.edges.emplace_back(loop[0], loop[1]);
      if (loop.size() < 3) continue;
      std::vector<Vector> face = FaceLoop(loop, side == 0 ? -n : n);
      if (face.size() >= 3) outline.faces.push_back(std::move(face));
    }
  }
  return outline;
}

void DebugViews::FillBar(TweakBar& bar) {
  bar.AddGroup("Debug views", false);
  bar.AddBool("Debug views", "Hulls (1)", &hulls);
  bar.AddBool("Debug views", "Contacts (2)", &contacts);
  bar.AddBool("Debug views", "Centres of mass (3)", &centres);
  bar.AddBool("Debug views", "Sleep states (4)", &states);
  bar.AddBool("Debug views", "Cut plane (5)", &cutPlane);
}

void DebugViews::PollKeys() {
  InputManager& input = InputManager::Instance();
  bool* const views[5] = {&hulls, &contacts, &centres, &states, &cutPlane};
  for (int i = 0; i < 5; ++i)
    if (input.WasKeyPressed(kViewKeys[i])) *views[i] = !*views[i];
}

void DebugViews::PreviewCut(const Vector& start, const Vector& end) {
  cutPending = true;
  cutStart = start;
  cutEnd = end;
}

const HullOutline& DebugViews::Outline(uint32_t id, const CollisionComp& hull) {
  CachedOutline& cached = outlines[id];
  const Vector first = hull.hullVertices.empty() ? Vector() : hull.hullVertices.front();
  if (cached.vertexCount != hull.hullVertices.size() || !(cached.firstVertex == first)) {
    cached.vertexCount = hull.hullVertices.size();
    cached.firstVertex = first;
    cached.outline = OutlineHull(hull);
  }
  return cached.outline;
}

void DebugViews::Collect(const std::vector<ContactManifold>& manifolds,
                         const std::vector<ContactPoint>& points) {
  segments.clear();
  tints.clear();
  const bool cutting = cutPlane && cutPending;
  cutPending = false;
  ObjectManager& manager = ObjectManager::Instance();
  const Vector eye = WithW(manager.camera.GetInverseView().Column(3), 0.0f);
  const Plane cut = Plane::FromPoints(cutStart, cutEnd, eye);
  auto add = [this](const Vector& a, const Vector& b, const Vector& colour) {
    segments.push_back(Segment{a, b, colour});
  };

  if (contacts) {
    for (const ContactManifold& manifold : manifolds)
      for (uint32_t i = 0; i < manifold.pointCount; ++i) {
        if (manifold.firstPoint + i >= points.size()) break;
        const ContactPoint& p = points[manifold.firstPoint + i];
        for (int axis = 0; axis < 3; ++axis) {
          Vector d;
          d[axis] = kContactCross;
          add(p.point - d, p.point + d, kContactColour);
        }
        add(p.point, p.point + WithW(p.normal, 0.0f) * kNormalLength, kNormalColour);
      }
  }
  if (!hulls && !centres && !states && !cutting) return;

  ObjectLock lock;
  std::unordered_set<uint32_t> seen;
  for (auto& entry : manager.objects) {
    const GameObject& obj = entry.second;
    if (obj.dead) continue;
    const Quaternion q = obj.orientation;
    auto world = [&](const Vector& local) { return WithW(obj.position, 0.0f) + q.Rotate(local); };
    const PhysicsComp* physics = obj.Find<PhysicsComp>();
    const CollisionComp* collision = obj.Find<CollisionComp>();
    const bool ground = obj.name == kGroundPlaneName;

    if (collision != nullptr && collision->hasHull && (hulls || (states && physics && !ground))) {
      seen.insert(entry.first);
      const HullOutline& outline = Outline(entry.first, *collision);
      if (hulls) {
        for (const std::vector<Vector>& face : outline.faces)
          for (size_t i = 0; i < face.size(); ++i)
            add(world(face[i]), world(face[(i + 1) % face.size()]), kHullColour);
        for (const auto& edge : outline.edges) add(world(edge.first), world(edge.second), kHullColour);
      }
      if (states && physics != nullptr && !ground) {
        const Vector tint = physics->sleeping ? kAsleepTint : kAwakeTint;
        for (const std::vector<Vector>& face : outline.faces) {
          TintedFace tinted{{}, tint};
          for (const Vector& v : face) tinted.points.push_back(world(v));
          tints.push_back(std::move(tinted));
        }
      }
    }
    if (centres && physics != nullptr && !ground) {
      for (int axis = 0; axis < 3; ++axis) {
        Vector d;
        d[axis] = kCentreCross;
        add(world(-d), world(d), kAxisColours[axis]);
      }
    }
    const ModelComp* model = obj.Find<ModelComp>();
    if (cutting && model != nullptr && !ground) {
      // Each triangle the plane crosses gives one segment of the section.
      const Mesh& mesh = model->mesh;
      std::vector<Vector> corners(mesh.vertices.size());
      std::vector<float> side(mesh.vertices.size());
      for (size_t i = 0; i < corners.size(); ++i) {
        corners[i] = world(mesh.vertices[i].Position() * model->scale);
        side[i] = cut.SignedDistance(corners[i]);
      }
      for (const Triangle& t : mesh.triangles) {
        Vector ends[2];
        int found = 0;
        for (int e = 0; e < 3 && found < 2; ++e) {
          const uint32_t i = t.indices[e], j = t.indices[(e + 1) % 3];
          if (i >= corners.size() || j >= corners.size()) break;
          if ((side[i] < 0.0f) == (side[j] < 0.0f)) continue;
          const float s = side[i] / (side[i] - side[j]);
          ends[found++] = corners[i] + (corners[j] - corners[i]) * s;
        }
        if (found == 2) add(ends[0], ends[1], kCutColour);
      }
    }
  }
  // Outlines of objects that are gone, or whose views are off, are dropped.
  for (auto it = outlines.begin(); it != outlines.end();)
    it = seen.count(it->first) ? std::next(it) : outlines.erase(it);
}

void DebugViews::Draw() {
  if (segments.empty() && tints.empty()) return;
  const uint32_t program = DebugGraphics::SuspendProgram();
  const Camera& camera = ObjectManager::Instance().camera;
  glMatrixMode(GL_PROJECTION);
  glLoadMatrixf(camera.Projection().m);
  glMatrixMode(GL_MODELVIEW);
  glLoadMatrixf(camera.view.m);
  glDisable(GL_TEXTURE_2D);
  glDisable(GL_LIGHTING);
  glDisable(GL_DEPTH_TEST);
  glEnable(GL_BLEND);
  if (!tints.empty()) {
    // Front faces only: a body is tinted once, as it is seen.
    glEnable(GL_CULL_FACE);
    for (const TintedFace& face : tints) {
      glColor4f(face.colour.x, face.colour.y, face.colour.z, face.colour.w);
      glBegin(GL_POLYGON);
      for (const Vector& v : face.points) glVertex3f(v.x, v.y, v.z);
      glEnd();
    }
    glDisable(GL_CULL_FACE);
  }
  glLineWidth(kLineWidth);
  glBegin(GL_LINES);
  for (const Segment& s : segments) {
    glColor4f(s.colour.x, s.colour.y, s.colour.z, s.colour.w);
    glVertex3f(s.a.x, s.a.y, s.a.z);
    glVertex3f(s.b.x, s.b.y, s.b.z);
  }
  glEnd();
  glColor4f(1.0f, 1.0f, 1.0f, 1.0f);
  glEnable(GL_TEXTURE_2D);
  DebugGraphics::ResumeProgram(program);
}
