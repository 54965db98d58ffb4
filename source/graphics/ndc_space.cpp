#include "graphics/ndc_space.h"

#include <GL/glew.h>

NdcSpace::NdcSpace() {
  glMatrixMode(GL_PROJECTION);
  glPushMatrix();
  glLoadIdentity();
  glMatrixMode(GL_MODELVIEW);
  glPushMatrix();
  glLoadIdentity();
}

NdcSpace::~NdcSpace() {
  glMatrixMode(GL_PROJECTION);
  glPopMatrix();
  glMatrixMode(GL_MODELVIEW);
  glPopMatrix();
}

void DrawNdcQuad(float x0, float y0, float x1, float y1) {
  const NdcSpace ndc;
  glBegin(GL_QUADS);
  glTexCoord2f(0.0f, 0.0f);
  glVertex2f(x0, y0);
  glTexCoord2f(1.0f, 0.0f);
  glVertex2f(x1, y0);
  glTexCoord2f(1.0f, 1.0f);
  glVertex2f(x1, y1);
  glTexCoord2f(0.0f, 1.0f);
  glVertex2f(x0, y1);
  glEnd();
}
