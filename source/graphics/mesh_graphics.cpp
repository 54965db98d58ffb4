#include "graphics/mesh_graphics.h"

#include <GL/glew.h>

#include "objects/model_comp.h"

Matrix4 MeshGraphics::ObjectTransform(const GameObject& object, float scale) {
  return Matrix4::Translation(object.position) * object.orientation.ToMatrix() *
         Matrix4::Scale(scale, scale, scale);
}

void MeshGraphics::BeginDraw() {
  glEnableClientState(GL_VERTEX_ARRAY);
  glEnableClientState(GL_NORMAL_ARRAY);
}

void MeshGraphics::EndDraw() {
  glDisableClientState(GL_VERTEX_ARRAY);
  glDisableClientState(GL_NORMAL_ARRAY);
  glDisableClientState(GL_COLOR_ARRAY);
  glDisableClientState(GL_TEXTURE_COORD_ARRAY);
  glBindBuffer(GL_ARRAY_BUFFER, 0);
}

void MeshGraphics::DrawObject(GameObject& object) {
  const ModelComp* model = object.Find<ModelComp>();
  if (model == nullptr) return;
  const Matrix4 transform = ObjectTransform(object, model->scale);
  glPushMatrix();
  glMultMatrixf(transform.m);
  DrawMesh(model->mesh);
  glPopMatrix();
}

void MeshGraphics::DrawMesh(const Mesh& mesh) {
  // Buffers are made at the start of each frame; a mesh added since then
  // (none is, today) is still drawn, the slow way.
  if (!mesh.buffersCreated) {
    mesh.Draw();
    return;
  }
  // Stream order of bufferIds: positions, colours, texture coordinates
  // (u, v and a spare word per corner), normals; one entry per corner.
  glBindBuffer(GL_ARRAY_BUFFER, mesh.bufferIds[0]);
  glVertexPointer(3, GL_FLOAT, 0, nullptr);
  glBindBuffer(GL_ARRAY_BUFFER, mesh.bufferIds[3]);
  glNormalPointer(GL_FLOAT, 0, nullptr);
  if (mesh.useColours) {
    glBindBuffer(GL_ARRAY_BUFFER, mesh.bufferIds[1]);
    glColorPointer(3, GL_FLOAT, 0, nullptr);
    glEnableClientState(GL_COLOR_ARRAY);
  } else {
    // The colour after an array draw is undefined: without colours of its
    // own a mesh is white, as the pass starts.
    glDisableClientState(GL_COLOR_ARRAY);
    glColor4f(1.0f, 1.0f, 1.0f, 1.0f);
  }
  if (mesh.useTexCoords) {
    glBindBuffer(GL_ARRAY_BUFFER, mesh.bufferIds[2]);
    glTexCoordPointer(2, GL_FLOAT, 3 * sizeof(float), nullptr);
    glEnableClientState(GL_TEXTURE_COORD_ARRAY);
  } else {
    glDisableClientState(GL_TEXTURE_COORD_ARRAY);
  }
  glDrawArrays(GL_TRIANGLES, 0, static_cast<GLsizei>(3 * mesh.TriangleCount()));
}
