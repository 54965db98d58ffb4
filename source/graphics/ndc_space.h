#pragma once
// Drawing straight in normalised device coordinates: while an NdcSpace
// lives, the projection and model-view matrices are the identity, so a
// vertex (x, y) with x and y in [-1, 1] lands on the screen as given; the
// caller's matrices come back when it goes. Main thread (GL context) only.

class NdcSpace {
 public:
  NdcSpace();
  ~NdcSpace();
  NdcSpace(const NdcSpace&) = delete;
  NdcSpace& operator=(const NdcSpace&) = delete;
};

// One quad with corners (x0, y0), (x1, y0), (x1, y1), (x0, y1), texture
// coordinates (0, 0) at (x0, y0) to (1, 1) at (x1, y1), under an NdcSpace.
void DrawNdcQuad(float x0, float y0, float x1, float y1);
