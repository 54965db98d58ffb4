#include "interface_manager.h"
