#pragma once
// Closing the cut: after SplitMesh each half has an opening where the cut
// passed. CloseCut finds the open (boundary) edges that touch the cut, links
// them into loops of vertex indices and fans every loop into triangles, so
// the half is again a closed surface; IsDegenerate (solid_check.h) then
// tells whether it is a proper solid.

#include <cstddef>
#include <cstdint>
#include <deque>
#include <vector>

#include "geom/boundary_loops.h"
#include "geom/index_pair.h"
#include "geom/mesh.h"
#include "geom/mesh_splitter.h"
#include "geom/solid_check.h"

// Closes the openings of `mesh` around the vertices of `cutSet` (vertex
// indices of this mesh): FindBoundaryEdges, LinkBoundaryLoops, then caps. A
// closed loop that passes more than once through a vertex is first cut there
// into simple loops; each is to be fanned from its vertex of least position
// (x, then y, then z) among those the mesh joins to no loop vertex but their
// two neighbours, so that the two halves of a cut get mirrored caps and no
// fan chord doubles an edge of the mesh. Where those fans make a proper cap
// (FansAreValid: convex loops, for one) they are the cap, with no shading
// data. Any other outline (concave, with holes, islands in holes) is
// triangulated as a whole by TriangulateCap (cap_triangulation.h), whose
// triangles carry the cap's normal; where it finds no region the fans are
// used with a warning. Open loops follow, fanned by CapLoop as they stand.
// Last, at each vertex where a loop was cut (a pinch), every fan of
// triangles around it but the first gets a copy of the vertex, so that
// lumps meeting at that one point of the plane come apart as parts.
void CloseCut(Mesh& mesh, const VertexIndexSet& cutSet);

// The boundary edges among the directed triangle edges with an end in
// `cutSet`. Order: the unpaired triangle edges (a, b) are taken grouped by a,
// the groups in the order in which their a first starts such an edge (in
// triangle and corner order), each group in triangle and corner order; each
// gives the boundary edge (b, a). Cut-set members and triangle edges with an
// end past the vertex list (a broken mesh) are left out.
std::vector<BoundaryEdge> FindBoundaryEdges(const Mesh& mesh, const VertexIndexSet& cutSet);

// Fans a loop of n >= 3 entries from its first entry: (L0, Lk+1, Lk+2) for
// k = 0 .. n-3, with AddTriangle; shorter loops add nothing. No convexity test.
void CapLoop(const std::deque<uint32_t>& loop, Mesh& mesh);
