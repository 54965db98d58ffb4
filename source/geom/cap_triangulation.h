#pragma once
// Cap triangulation: fills the flat region that the simple closed loops of
// one cut bound with triangles, whatever the outlines: concave outlines,
// several separate outlines, outlines with holes, islands inside the holes
// and so on. CloseCut uses it for every cut but a single convex loop, which
// a fan closes already.
//
// The loops are projected onto the coordinate plane most nearly parallel to
// them and triangulated by ear clipping after bridging each hole to the
// outline around it. Both halves of a cut hold the same loops, each the
// other's reversed; the loops are put in one canonical order, direction and
// starting point before they are triangulated, so that the two caps come out
// as exact mirrors of each other and the halves' volumes add up to the
// source's even where the loops are not quite flat.

#include <cstddef>
#include <cstdint>
#include <vector>

#include "geom/mesh.h"

// The loops to cap: loop k is entries[starts[k] .. starts[k + 1]), vertex
// indices of `mesh` in the order of the boundary edges (a cap triangle built
// on consecutive entries a, b winds a -> b). `joined` lists, as
// (smaller << 32 | larger), the pairs of loop vertices that the mesh already
// joins by an edge although they are not neighbours in a loop; the cap uses
// them as diagonals only when nothing else is possible (a doubled edge leaves
// the half open).
struct CapOutline {
  std::vector<uint32_t> entries;
  std::vector<size_t> starts{0};
  std::vector<uint64_t> joined;  // sorted
};

// Adds the cap triangles to `mesh`, each with all three corner normals set to
// the cap's outward unit normal (flat shading). Returns false, adding
// nothing, when the loops bound no region: an index out of range, no net
// area, or a loop turning the wrong way (a hole) with no outline around it,
// as where the band of on-plane vertices turns a sliver over. Where the ear clipping finds no
// proper ear (crossing or badly broken outlines) it closes what is left with
// a fan and writes a warning; it never loops without bound (at most a few
// passes over the outline per triangle).
bool TriangulateCap(const CapOutline& outline, Mesh& mesh);

// True when a fan from its first entry over every loop of `outline` is a
// proper cap: no fan triangle turns against the cap's normal (beyond float
// rounding of straight runs) and no fan turns round more than once. That
// holds for convex loops, and for any loop all of whose vertices its first
// entry sees; it fails for a hole, whose fan turns the other way.
bool FansAreValid(const CapOutline& outline, const Mesh& mesh);
