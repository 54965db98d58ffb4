#pragma once
// Collision shapes made from a game object's mesh: the bounding sphere and
// the hull its CollisionComp carries, and the axis-aligned box of a mesh.
// Plain geometry with no module state; the solid factory and the split call
// them when they build or re-mesh an object.

#include "geom/mesh.h"
#include "math/bounding_box.h"
#include "objects/game_object.h"

// How far hull vertices are pushed out from the local origin, in object
// units; the bounding radius grows by the same amount. A hull vertex is its
// mesh vertex v moved by kHullMargin along v / |v|, so two touching hulls
// overlap by the margins along the contact normal while their meshes only
// touch (Physics subtracts them from the contact depth).
constexpr float kHullMargin = 0.08f;

// Fill the object's CollisionComp from its ModelComp's mesh. The hull of a
// mesh marked loadedModel is its convex hull through Qhull with at most 32
// vertices (the mesh hull when Qhull fails, with a warning). The caller
// holds the object lock when the object is in the table. A missing
// component is warned about and nothing changes.
void GenerateBoundingSphere(GameObject& object);
void GenerateCollisionHull(GameObject& object);

// Axis-aligned box of the mesh's vertex positions times scale.
BoundingBox ComputeBoundingBox(const Mesh& mesh, float scale);
