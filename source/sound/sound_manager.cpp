#include "sound/sound_manager.h"
