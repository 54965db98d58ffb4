#pragma once
// DebugGraphics: draws primitives that other modules ask for with
// "DebugDraw" events to "Graphics". Events arrive through Enqueue during the
// frame's event handling and are drawn (depth test off, fixed pipeline) by
// DrawQueued in that same frame, then dropped: a primitive that should stay
// visible must be sent every frame.
//
// Event parameters:
//   "type"    string  "wireBox" or "line"; anything else draws nothing
//   "trans"   Vector      wireBox centre             default (0, 0, 0)
//   "rot"     Quaternion  wireBox rotation           default identity
//   "scale"   Vector      wireBox edge lengths       default (1, 1, 1)
//   "color"   Vector      r, g, b, a (both types)    default (0, 1, 0, 1)
//   "pointA", "pointB" Vector  line ends (required)
// A "wireBox" is the cube [-0.5, 0.5]^3 under translation * rotation * scale,
// drawn as 12 edges, line width 2. A "line" is one segment, width 5, with a
// light-blue marker sphere at each end.
//
// A malformed event (a line without its ends, a parameter of the wrong
// type) is reported and skipped; it never leaves the program suspended.

#include <cstdint>
#include <deque>

#include "core/event.h"
#include "core/module.h"
#include "geom/mesh.h"
#include "math/matrix4.h"
#include "math/quaternion.h"

class Graphics;

class DebugGraphics : public Extension<Graphics> {
 public:
  // Builds the marker meshes and their GPU buffers (needs the GL context).
  void Init();

  void Enqueue(const Event& event) { queue.push_back(event); }
  // Draws and empties the queue when enabled; the GLSL program in use (if
  // any) is in use again afterwards.
  void DrawQueued();
  void DrawEvent(Event& event);

  // Switches to the fixed pipeline; returns the program that was in use.
  static uint32_t SuspendProgram();
  // Switches back to `program` if it is not 0.
  static void ResumeProgram(uint32_t program);
  // translation(trans) * rotation(rot) * scale(scale): the wire box's matrix.
  static Matrix4 BoxMatrix(const Vector& trans, const Quaternion& rot, const Vector& scale);

  std::deque<Event> queue;  // "DebugDraw" events since the last frame, in order
  bool enabled = false;     // set by Graphics::Init
  Mesh markerSphere;        // line-end marker: sphere, 8 x 8, radius 0.25
  Mesh smallSphere;         // sphere, 4 x 4, radius 0.05 (not drawn)
  Mesh unitBox;             // box 1 x 1 x 1 divisions, 0.5 on a side (not drawn)

 private:
  void DrawWireBox(Event& event);
  void DrawLine(Event& event);
};
