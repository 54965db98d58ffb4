#pragma once
// Primitive builders. Every mesh is centred on the origin, closed, wound
// outwards, built through AddVertex and AddTriangleWithAttributes, and ends
// with unit corner normals.

#include <cstdint>

#include "geom/mesh.h"

// "Box": one grid of (div + 1) x (div + 1) vertices per face, vertices along
// the box's edges shared by the neighbouring faces; full width (x), height
// (y) and depth (z). Divisions below 1 count as 1.
Mesh BuildBox(uint32_t divX, uint32_t divY, uint32_t divZ, float width, float height, float depth);

// "Cone": the base circle at y = +height/2, the apex (or the top circle when
// topRadius >= 1e-6) at y = -height/2; the scene turns it over by pi about x
// so that it stands on its base. Slices below 3 count as 3, stacks below 1
// as 1.
Mesh BuildCone(uint32_t slices, uint32_t stacks, float baseRadius, float topRadius, float height);

// "Sphere": the UV sphere with poles on y (see the builder for the exact
// vertex and triangle order), smooth corner normals. Needs slices >= 3 and
// stacks >= 2.
Mesh BuildSphere(uint32_t slices, uint32_t stacks, float radius);
