#include "collision/collision_manager.h"
