#include "objects/model_comp.h"

Component* ModelComp::Clone() const { return new ModelComp(*this); }
