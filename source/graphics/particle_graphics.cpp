// ParticleGraphics has no out-of-line code: the class is header-only (see
// particle_graphics.h). This file keeps one source per member of Graphics.
#include "graphics/particle_graphics.h"
