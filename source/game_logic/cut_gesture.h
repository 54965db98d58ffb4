#pragma once
// CutGesture: a left drag draws a cut line from where the button went down to
// the cursor; on release, the plane through the line and the eye is the cut.
// A line shorter than kMinCutLength is a click and cuts nothing.

#include "math/plane.h"
#include "math/vector.h"

class Camera;

class CutGesture {
 public:
  // A cut line shorter than this (world units) is a click, not a cut.
  static constexpr float kMinCutLength = 0.01f;

  // One frame: `cutting` tells whether the gesture's button is held, mouse is
  // the cursor (normalised device coordinates). Returns true, with the plane,
  // on the frame a cut is released; the line's ends go to the log. While a
  // line is drawn, asks the renderer to draw it.
  bool Update(bool cutting, const Camera& camera, const Vector& mouse, Plane& plane);
  bool Slicing() const { return slicing; }

 private:
  Vector start, end;     // world points under the cursor: cut start and now
  bool slicing = false;  // a cut gesture is in progress
};
