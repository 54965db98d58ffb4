#pragma once
// Shells and cavities. A closed mesh may hold several shells (connected
// parts). A shell that lies inside another and is wound inwards is a
// cavity: the hollow of the solid around it, which goes wherever that solid
// goes. Which shell lies inside which is told by the winding number of the
// outer one about a point of the inner one, in double precision, so it
// holds for shells of any shape and at any scale.

#include <cstddef>
#include <vector>

#include "geom/mesh.h"

// Winding number of the closed surface `shell` about point `p`: 1 inside a
// surface wound outwards, -1 inside one wound inwards, 0 outside (the sum of
// the solid angles its triangles subtend at p, over 4 pi). Linear in the
// number of triangles.
double WindingNumber(const Mesh& shell, const double p[3]);

// The solids of a closed mesh: its connected parts (SplitIntoConnectedParts),
// each cavity (a part of negative volume) joined to the smallest part of
// positive volume around it, or else to the first that has a vertex at the
// same place as one of its own (a lump turned inside out, where a surface
// that crosses itself is cut, touching a solid at a point of the plane), in
// the order of their first triangles. Parts that enclose no volume by the
// rule every piece is held to (LeastVolume), and cavities inside and
// touching no solid, are left out with a log line: they are no solids and
// must never become bodies.
std::vector<Mesh> SplitIntoSolids(const Mesh& mesh);

// SplitIntoSolids for the connected parts of a mesh already found.
std::vector<Mesh> GroupShells(std::vector<Mesh>&& parts);

// Turns every shell of `mesh` wound against its nesting: a shell inside an
// even number of others (none, for one) must enclose a positive volume, a
// shell inside an odd number a negative one (a cavity). When some shell is
// turned the mesh is rebuilt from its shells, so vertices no triangle uses
// are dropped. Returns the number of shells turned.
size_t OrientShells(Mesh& mesh);
