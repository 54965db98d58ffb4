#pragma once
// ModelType: the shapes a solid can be built as (also the values of the
// tweak bar's "ModelType" enum).

enum ModelType { Random = 0, Sphere = 1, Box = 2, Cone = 3 };
