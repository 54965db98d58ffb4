#include "game_logic/game_logic.h"
