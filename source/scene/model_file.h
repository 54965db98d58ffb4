#pragma once
// Model files: reading a triangle mesh from OBJ, STL, PLY, OFF, glTF
// (anything assimp reads; OFF through the prescan) and checking that it is
// a closed solid the splitter can cut.

#include <cstddef>
#include <string>

#include "geom/mesh.h"
#include "geom/model_solid.h"

// Reads every mesh of `file` into one Mesh, triangulated, each placed (and
// repeated) as the file's node tree places it, with vertices at the same
// position welded into one, in the file's own units. Triangles that
// welding makes degenerate (two equal corners) are dropped; then
// MakeModelSolid fills its holes and turns its shells (what it did goes to
// `repairs` when given, and "filled N holes with M triangles" to the log).
// The mesh is
// marked loadedModel. Logs "Reading model "FILE"" as it starts and, on
// success, "Model "FILE": N triangles, M vertices, read in T s". On failure
// returns false and `error` is one line:
//   Model "FILE": <what is wrong>
// for an unreadable or malformed file (see PrescanModel for what is checked
// before assimp reads it; then assimp's own validation of what it read, and
// every face checked for at least one corner and indices in range before
// triangulation), a vertex position that is not a finite number, a
// mesh without triangles, or one that MakeModelSolid refuses (non-manifold
// edges, holes that are no simple loops, no volume enclosed).
bool LoadModelFile(const std::string& file, Mesh& mesh, std::string& error,
                   ModelRepair* repairs = nullptr);

// Directed edges (a, b) of the triangles that lack exactly one reverse
// (b, a): 0 for a closed, consistently wound surface.
size_t CountOpenEdges(const Mesh& mesh);

// Moves the mesh so its bounding box is centred on the origin and scales it
// uniformly so the box's longest side is `size`.
void FitToSize(Mesh& mesh, float size);
