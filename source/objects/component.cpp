#include "objects/component.h"

// Defined out of line so the vtable of Component has one home.
Component::~Component() = default;
