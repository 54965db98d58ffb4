#pragma once
// Mass properties of the uniform solid a closed triangle mesh encloses:
// volume, centre of mass and inertia tensor, exact for the polyhedron the
// triangles bound (a 12 x 12 UV sphere weighs what its flat faces enclose,
// a little less than the round sphere).
//
// The volume integrals of 1, x, y, z, x^2, y^2, z^2, xy, yz and zx become
// surface integrals by the divergence theorem and are summed over the
// triangles in closed form (Eberly, "Polyhedral Mass Properties"), in
// double precision. Positions are taken from the centre of the mesh's
// bounding box rather than from the origin, so a mesh far from the origin
// keeps the precision it would have at the origin.
//
// Every body of the scene gets its mass, its turning point and its inertia
// from here: the start objects and shots, loaded models and cut pieces, so
// the pieces of a cut weigh what the object they came from weighed.

#include "geom/mesh.h"
#include "math/matrix4.h"
#include "math/vector.h"

struct MassProperties {
  // Signed: positive for a closed surface wound outwards (Mesh's winding).
  // Zero or negative for a surface that is flat, open in a way that cancels,
  // or wound inwards: not a solid. The centre is then the centre of the
  // mesh's bounding box and the inertia zero; the mass is density * volume
  // as always, so a caller can tell and decide.
  double volume = 0.0;
  double mass = 0.0;  // density * volume
  // Centre of mass in the mesh's frame.
  double centre[3] = {0.0, 0.0, 0.0};
  // Inertia tensor about the centre of mass, the mesh's axes, for the
  // density: inertia[i][i] = integral of (|r|^2 - r_i^2) dm and, off the
  // diagonal, inertia[i][j] = -(integral of r_i r_j dm), with r measured
  // from the centre. Symmetric.
  double inertia[3][3] = {{0.0, 0.0, 0.0}, {0.0, 0.0, 0.0}, {0.0, 0.0, 0.0}};

  // The centre as a float Vector (w = 0).
  Vector Centre() const;
  // The tensor times `factor` in the upper-left 3x3 of a Matrix4, the rest
  // as in the identity: the layout PhysicsComp::inertiaTensor holds.
  Matrix4 InertiaMatrix(double factor = 1.0) const;
};

// Mass properties of `mesh` at `density` (mass per unit volume). A mesh
// without triangles has volume 0. Linear in the size of the mesh.
MassProperties ComputeMassProperties(const Mesh& mesh, double density = 1.0);

// ComputeMassProperties(mesh).volume.
double EnclosedVolume(const Mesh& mesh);

// Area of the triangle (a, b, c), in double precision.
double TriangleArea(const Vertex& a, const Vertex& b, const Vertex& c);

// Surface area of the triangles, in double precision.
double SurfaceArea(const Mesh& mesh);
