#pragma once
// Hole filling: a mesh open along simple closed loops of boundary edges (a
// scan with a hole at its base, a figure missing a few triangles) is closed
// by triangulating each loop. A loop of up to kMaxDynamicLoop vertices gets
// the triangulation of least total area (dynamic programming over the loop,
// as in Barequet and Sharir, and Liepa: O(n^3) time, O(n^2) memory), which
// follows a curved rim closely; a longer loop is fanned from a new vertex at
// its centroid.

#include <cstddef>
#include <string>

#include "geom/mesh.h"

// The longest loop triangulated by least area.
constexpr size_t kMaxDynamicLoop = 300;

// What FillHoles added.
struct FilledHoles {
  size_t holes = 0;
  size_t triangles = 0;
};

// Edges (unordered vertex pairs) that three or more triangles share.
size_t CountNonManifoldEdges(const Mesh& mesh);

// Closes every hole of `mesh`: each directed edge (a, b) of a triangle that
// no triangle runs back as (b, a) borders a hole, whose rim runs b -> a; the
// rims are linked into simple loops (rims that touch at a vertex are cut
// there into several) and each loop is triangulated so its triangles run
// the rim's edges, which pairs every edge. A chord that the mesh already
// has as an edge (or that an earlier loop's triangles made) is avoided
// where the loop allows. Pieces of the closed surface (triangles joined
// through edges) that then enclose no volume, as a lone triangle among
// holes and the fill that turns it over, are dropped with their vertices
// (unless every piece is such); `filled` counts the holes and triangles
// that stay. Returns false, changing nothing, with `error`
// saying why, when an edge is on three or more triangles, two triangles run
// an edge the same way (faces wound inconsistently), the rims form no
// closed loops, or the loops allow no fill that leaves every edge on two
// triangles running it both ways.
bool FillHoles(Mesh& mesh, FilledHoles& filled, std::string& error);
