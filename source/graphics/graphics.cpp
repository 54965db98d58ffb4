#include "graphics/graphics.h"
