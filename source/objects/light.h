#pragma once
// Light: one entry of the ObjectManager's light list, handed to the renderer
// as a fixed-function light (position, the three colours, then the
// attenuation 1 / (constant + linear d + quadratic d^2) over distance d).

#include "math/vector.h"

struct Light {
  Vector position;  // w = 1 for a point light, 0 for a directional one
  Vector ambient;
  Vector diffuse;
  Vector specular;
  float constantAttenuation = 1.0f;
  float linearAttenuation = 0.0f;
  float quadraticAttenuation = 0.0f;
};
