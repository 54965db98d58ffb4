#pragma once
// DebugViews: what the physics sees, drawn over the frame on request.
//
//   hulls      every collision hull as a wireframe (white)
//   contacts   the latest collision frame's contact points (yellow crosses)
//              and normals (magenta, from A towards B)
//   centres    each body's centre of mass: a small cross along its axes
//              (red x, green y, blue z)
//   states     bodies tinted by state: awake orange, asleep blue
//   cutPlane   while a cut is dragged, where the cut plane meets every
//              object it would cut (red outlines)
// Keys 1 to 5 switch them in that order; the bar's "Debug views" group
// holds the same switches.
//
// Main thread only. Collect copies what the views draw (hull outlines in
// world space, body states, positions, the contacts) under the object lock
// once per frame; Draw then needs no lock. A hull's outline in its own
// frame is worked out once and kept while the hull stays the same.

#include <cstdint>
#include <unordered_map>
#include <vector>

#include "collision/collision_comp.h"
#include "collision/contact.h"
#include "math/vector.h"

class TweakBar;

// The faces of a convex hull, each a loop of vertices wound counter-clockwise
// seen from outside, and the lone edges (extreme sets of two vertices).
struct HullOutline {
  std::vector<std::vector<Vector>> faces;
  std::vector<std::pair<Vector, Vector>> edges;
};

// Recovers the faces of a collision hull from its vertices and face normals:
// the vertices at a normal's greatest (and least) extent, within the hull
// margin, span a face (their convex outline across the normal) when there
// are three or more, an edge when two.
HullOutline OutlineHull(const CollisionComp& hull);

class DebugViews {
 public:
  struct Segment {
    Vector a, b, colour;
  };
  struct TintedFace {
    std::vector<Vector> points;  // world frame, counter-clockwise from outside
    Vector colour;
  };

  // Adds the "Debug views" group of switches to the bar.
  void FillBar(TweakBar& bar);
  // Toggles a view for each of its keys pressed since the last frame.
  void PollKeys();
  // The cut being dragged, from its start to its end (world points near the
  // eye); the cut plane passes through them and the eye. Lasts one frame.
  void PreviewCut(const Vector& start, const Vector& end);
  // Copies what the switched-on views draw; takes the object lock.
  void Collect(const std::vector<ContactManifold>& manifolds,
               const std::vector<ContactPoint>& points);
  // Draws the collected lines and tints with the fixed pipeline, depth test
  // off, under the camera's matrices; restores the GLSL program in use.
  void Draw();
  bool AnyOn() const { return hulls || contacts || centres || states || cutPlane; }

  bool hulls = false, contacts = false, centres = false, states = false, cutPlane = false;
  std::vector<Segment> segments;  // this frame's lines, world frame
  std::vector<TintedFace> tints;  // this frame's tinted faces

 private:
  struct CachedOutline {
    size_t vertexCount = 0;
    Vector firstVertex;
    HullOutline outline;
  };
  const HullOutline& Outline(uint32_t id, const CollisionComp& hull);

  std::unordered_map<uint32_t, CachedOutline> outlines;  // by object id
  bool cutPending = false;
  Vector cutStart, cutEnd;
};
