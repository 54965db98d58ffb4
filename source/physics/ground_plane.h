#pragma once
// The name of the scene's ground box, the one object physics knows by name:
// its side of every contact row is left out, so nothing the solver does
// moves it. The scene builds it under this name, never cuts it and keeps it
// on Reset.
constexpr const char* kGroundPlaneName = "GROUND_PLANE";
