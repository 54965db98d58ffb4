#include "graphics/mesh_graphics.h"

#include <GL/glew.h>

#include "objects/model_comp.h"

Matrix4 MeshGraphics::ObjectTransform(const GameObject& object, float scale) {
  return Matrix4::Translation(object.position) * object.orientation.ToMatrix() *
         Matrix4::Scale(scale, scale, scale);
}

void MeshGraphics::DrawObject(GameObject& object) {
  const ModelComp* model = object.Find<ModelComp>();
  if (model == nullptr) return;
  const Matrix4 transform = ObjectTransform(object, model->scale);
  glPushMatrix();
  glMultMatrixf(transform.m);
  model->mesh.Draw();
  glPopMatrix();
}
