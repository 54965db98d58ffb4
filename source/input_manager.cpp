#include "input_manager.h"
