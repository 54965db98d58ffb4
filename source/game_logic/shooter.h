#pragma once
// Shooting: Space adds a new solid 5 to 12 units ahead of the camera, up to 3
// to either side and up to 6 above its line of sight, turned as the camera
// is. A shot placed inside another object or the ground would be pushed out
// at once and flung, so it goes to the nearest clear place beside where it
// was aimed, or above it. It leaves at `speed` along the camera's line of
// sight; at 0 it drops.

#include <cstdint>

class Camera;
class Mesh;

// Adds one shot "bullet_<n>" of the given size and shape (a ModelType),
// moving forward at speed (units/s), and returns its object number (0 when
// it could not be added). Gravity is not added here.
// With modelType Model and a loaded `model`, the shot is a copy of the model
// (sized like a sphere of radius kModelSize * size / 2); without one,
// BuildSolid picks a random shape.
uint32_t Shoot(const Camera& camera, float size, int32_t modelType, float speed,
               const Mesh* model = nullptr);
