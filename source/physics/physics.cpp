#include "physics/physics.h"
