// The GL side of Mesh: its two drawers. The mesh record itself is GL-free
// (geom/mesh.h); these live with the renderer.

#include <GL/glew.h>

#include "geom/mesh.h"

void Mesh::Draw() const {
  glEnable(GL_TEXTURE_2D);
  glBegin(GL_TRIANGLES);
  const size_t count = vertices.size();
  for (const Triangle& tri : triangles) {
    // A corner naming a missing vertex would read past the array: skip the
    // whole triangle (skipping one corner would shift every later one).
    if (tri.indices[0] >= count || tri.indices[1] >= count || tri.indices[2] >= count) continue;
    for (int c = 0; c < 3; ++c) {
      if (useTexCoords) glTexCoord2fv(tri.texCoords[c]);
      if (useColours) glColor3fv(tri.colours[c]);
      glNormal3fv(tri.normals[c]);
      const Vertex& v = vertices[tri.indices[c]];
      glVertex3f(v.x, v.y, v.z);
    }
  }
  glEnd();
}

void Mesh::DrawFromBuffer() const {
  if (!buffersCreated) return;  // nothing uploaded: nothing to draw
  glBindBuffer(GL_ARRAY_BUFFER, bufferIds[0]);
  glEnableClientState(GL_VERTEX_ARRAY);
  glVertexPointer(3, GL_FLOAT, 0, nullptr);
  glDrawArrays(GL_TRIANGLES, 0, static_cast<GLsizei>(3 * TriangleCount()));
  glDisableClientState(GL_VERTEX_ARRAY);
  glBindBuffer(GL_ARRAY_BUFFER, 0);
}
