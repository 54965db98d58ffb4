#include "math/vector.h"

#include <cstdio>
#include <ostream>

std::ostream& operator<<(std::ostream& os, const Vector& v) {
  char buffer[128];
  std::snprintf(buffer, sizeof buffer, "%+.4f %+.4f %+.4f %+.4f \n", v.x, v.y, v.z, v.w);
  return os << buffer;
}
