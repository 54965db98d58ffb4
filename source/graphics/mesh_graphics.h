#pragma once
// MeshGraphics: draws a game object's mesh at its place: the modelview is
// multiplied by translation(position) * rotation(orientation) * uniform
// scale(ModelComp.scale) around the immediate-mode Mesh::Draw.

#include "core/module.h"
#include "math/matrix4.h"
#include "objects/game_object.h"

class Graphics;

class MeshGraphics : public Extension<Graphics> {
 public:
  // Draws the object's ModelComp mesh; objects without one are skipped.
  void DrawObject(GameObject& object);
  // The object-to-world matrix DrawObject applies.
  static Matrix4 ObjectTransform(const GameObject& object, float scale);
};
