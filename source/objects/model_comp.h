#pragma once
// ModelComp: the visible and collidable shape of a game object. It owns one
// Mesh by value, in the object's local space, together with a uniform scale
// that the renderer and the collision code apply on top of the object's
// position and orientation.

#include "geom/mesh.h"
#include "objects/component.h"

class ModelComp : public Component {
 public:
  // The name it is attached and stored under (scene dumps and logs show it).
  static constexpr const char* kName = "ModelComp";

  ModelComp() : Component(kName) {}

  // A heap copy, mesh included; the copied mesh has no GPU buffers (they
  // stay with the original mesh).
  Component* Clone() const override;

  float scale = 1.0f;       // uniform scale of the mesh
  bool extraFlag0 = true;   // copied only: read by nothing in the engine
  bool extraFlag1 = false;  // copied only: read by nothing in the engine
  Mesh mesh;
};
