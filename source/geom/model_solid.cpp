#include "geom/model_solid.h"

#include <algorithm>
#include <cfloat>
#include <cmath>

#include "geom/mass_properties.h"
#include "geom/shell_nesting.h"
#include "geom/solid_check.h"

bool MakeModelSolid(Mesh& mesh, ModelRepair& repair, std::string& error) {
  repair = ModelRepair();
  if (!FillHoles(mesh, repair.filled, error)) return false;
  repair.shellsTurned = OrientShells(mesh);
  // The rounding allowance is taken for the model centred, as the object
  // will hold it, wherever the file puts it.
  double low[3] = {DBL_MAX, DBL_MAX, DBL_MAX}, high[3] = {-DBL_MAX, -DBL_MAX, -DBL_MAX};
  for (const Vertex& v : mesh.vertices) {
    const double p[3] = {v.x, v.y, v.z};
    for (int k = 0; k < 3; ++k) {
      low[k] = std::min(low[k], p[k]);
      high[k] = std::max(high[k], p[k]);
    }
  }
  const double reach = std::max({high[0] - low[0], high[1] - low[1], high[2] - low[2]}) / 2.0;
  if (!(EnclosedVolume(mesh) > LeastVolume(SurfaceArea(mesh), reach))) {
    error = "encloses no volume; not a solid";
    return false;
  }
  return true;
}
