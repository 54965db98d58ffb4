#pragma once
// Making a loaded model a solid the splitter can cut: what a model from the
// wild needs after it is read, whatever its units. Holes along simple loops
// are filled, each shell is turned to face the way its nesting asks (outer
// shells outwards, cavities inwards), and a model that still is no solid is
// refused with one line saying why.

#include <cstddef>
#include <string>

#include "geom/hole_filling.h"
#include "geom/mesh.h"

// What MakeModelSolid changed.
struct ModelRepair {
  FilledHoles filled;       // holes closed (FillHoles)
  size_t shellsTurned = 0;  // shells wound against their nesting (OrientShells)
};

// Fills the holes of `mesh` (FillHoles), orients its shells (OrientShells)
// and checks that it encloses a volume by the rule cut pieces are held to
// (LeastVolume, for the model centred as the object will hold it). Returns
// false with `error` one line without a prefix: the reason FillHoles gives
// (non-manifold edges, inconsistent winding, rims that form no loops,
// holes that no fill closes), or
// "encloses no volume; not a solid".
bool MakeModelSolid(Mesh& mesh, ModelRepair& repair, std::string& error);
