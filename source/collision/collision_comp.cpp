#include "collision/collision_comp.h"

Component* CollisionComp::Clone() const { return new CollisionComp(*this); }
