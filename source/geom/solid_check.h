#pragma once
// The solid check: whether a mesh (a closed half of a cut, a loaded model)
// is a proper solid, closed and enclosing a volume, before it becomes a body.

#include "geom/mesh.h"

// True when the mesh is not a proper solid; the reason is written to the log.
// A mesh without triangles is not degenerate (it is simply empty). Checked in
// this order:
// - a vertex index out of range;
// - crowding: some triangle shares edges with more than three other
//   triangles (counting every triangle that holds both ends of one of its
//   edges); the first such triangle, its shared edge counts and its
//   neighbours are written to the log;
// - not closed: some directed edge does not occur exactly once with its
//   reverse exactly once (an opening, a doubled edge, or a mixed winding);
// - no volume: the signed volume V is not above 1e-4 A^1.5 for surface area
//   A (plus the volume that float rounding of the positions can account
//   for), so the surface is flat (folded onto itself) or inside out (V < 0).
// Linear in the size of the mesh for closed, uncrowded surfaces.
bool IsDegenerate(const Mesh& mesh);

// The least volume a closed surface of area `area` must enclose to count as
// a solid (the no-volume rule above), where `reach` is the largest magnitude
// of a vertex coordinate: 1e-4 area^1.5 plus what float rounding of the
// positions can account for. Both terms grow as the cube of the scale, so a
// surface passes or fails at any size alike.
double LeastVolume(double area, double reach);
