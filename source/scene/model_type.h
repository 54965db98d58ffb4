#pragma once
// ModelType: the shapes a solid can be built as (also the values of the
// tweak bar's "ModelType" enum).

// Model: the solid loaded with --model (offered only when one was loaded;
// Random never picks it).
enum ModelType { Random = 0, Sphere = 1, Box = 2, Cone = 3, Model = 4 };
