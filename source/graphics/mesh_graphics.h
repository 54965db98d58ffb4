#pragma once
// MeshGraphics: draws a game object's mesh at its place: the modelview is
// multiplied by translation(position) * rotation(orientation) * uniform
// scale(ModelComp.scale) around the mesh's draw. A mesh is drawn from its
// GPU vertex buffers (positions, normals, colours when the mesh uses them,
// texture coordinates when it uses them), one draw call per mesh; one still
// without buffers is drawn in immediate mode (Mesh::Draw), which sends the
// same attributes.

#include "core/module.h"
#include "geom/mesh.h"
#include "math/matrix4.h"
#include "objects/game_object.h"

class Graphics;

class MeshGraphics : public Extension<Graphics> {
 public:
  // Around a run of DrawObject calls: turn the vertex arrays every mesh
  // uses on, and every array off again afterwards.
  void BeginDraw();
  void EndDraw();
  // Draws the object's ModelComp mesh; objects without one are skipped.
  void DrawObject(GameObject& object);
  // The object-to-world matrix DrawObject applies.
  static Matrix4 ObjectTransform(const GameObject& object, float scale);

 private:
  void DrawMesh(const Mesh& mesh);
};
