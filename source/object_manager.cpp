#include "object_manager.h"
