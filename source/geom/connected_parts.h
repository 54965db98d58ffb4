#pragma once
// Connected parts: a cut may leave a half in several pieces (a torus cut
// through its hole, a mug cut through its handle), each of which must go on
// as a body of its own. Triangles belong to one part when they are joined
// through shared vertex indices (the meshes are indexed with welded
// vertices, so touching by position alone does not join).

#include <vector>

#include "geom/mesh.h"

// The parts of `mesh`, ordered by their first triangle in triangle order.
// Each part is a compact mesh: only the vertices its triangles use, in order
// of first use by those triangles, and its triangles in their original order
// with indices renumbered and every other triangle word kept; the mesh-level
// fields (name, flags, word arrays) are copied, GL buffer names are not.
// Vertices no triangle uses belong to no part; a triangle with an index out
// of range is left out with a warning. Linear in the size of the mesh.
std::vector<Mesh> SplitIntoConnectedParts(const Mesh& mesh);
