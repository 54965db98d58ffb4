#pragma once
// The convex hull of a point cloud through Qhull, cut down to a bounded
// number of vertices so the separating-axis test on it stays fast. Used for
// the pieces of loaded models, whose meshes can be large and concave; the
// built-in solids keep the hull made straight from their meshes.

#include <cstddef>
#include <string>
#include <vector>

#include "math/vector.h"

struct ConvexHull {
  std::vector<Vector> vertices;        // hull vertices, at most the bound
  std::vector<Vector> faceNormals;     // unit outward normals of the (merged) facets
  std::vector<Vector> edgeDirections;  // unit directions of the facets' edges, no two alike
};

// Hull of `points`: Qhull's hull of all of them (of a large cloud, of its
// points extreme along 256 directions spread over the sphere, all of which
// are vertices of the full hull); when it has more than
// maxVertices vertices, that many of them picked by farthest-point sampling
// (the vertex farthest from the centroid first, then always the one
// farthest from those picked) and their hull. Coplanar facets are merged.
// False with Qhull's message in `error` when there is no proper hull (fewer
// than four points, all in one plane, not finite).
bool BuildConvexHull(const std::vector<Vector>& points, size_t maxVertices, ConvexHull& hull,
                     std::string& error);

// The radius of a ball about `center` that lies inside the hull of the
// points: the least distance from the centre to a facet plane of Qhull's
// hull, each plane placed through the points' own extreme along its normal
// (in double precision), less a thousandth for rounding. 0 when the centre
// is not inside or there is no proper hull.
float InnerRadius(const std::vector<Vector>& points, const Vector& center);
