#include "graphics/debug_graphics.h"

#include <GL/glew.h>

#include <boost/any.hpp>

#include "core/system.h"
#include "geom/mesh_builders.h"
#include "window/resource_manager.h"

namespace {
const Vector kDefaultColour(0.0f, 1.0f, 0.0f, 1.0f);  // opaque green
const Vector kMarkerColour(0.0f, 0.5f, 1.0f, 1.0f);   // light blue
const float kBoxLineWidth = 2.0f;                     // pixels
const float kLineWidth = 5.0f;                        // pixels
// The marker sphere (radius 0.25) is drawn at 1/100 of its size: the scene
// draws its line on the near plane (0.1 from the eye), where a radius of
// 0.0025 covers about a dozen pixels.
const float kMarkerScale = 0.01f;

Vector ParamOr(Event& event, const std::string& key, const Vector& fallback) {
  return event.HasParam(key) ? event.GetParam<Vector>(key) : fallback;
}
}  // namespace

void DebugGraphics::Init() {
  markerSphere = BuildSphere(8, 8, 0.25f);
  smallSphere = BuildSphere(4, 4, 0.05f);
  unitBox = BuildBox(1, 1, 1, 0.5f, 0.5f, 0.5f);
  ResourceManager& resources = ResourceManager::Instance();
  resources.CreateMeshBuffers(markerSphere);
  resources.CreateMeshBuffers(smallSphere);
  resources.CreateMeshBuffers(unitBox);
}

uint32_t DebugGraphics::SuspendProgram() {
  GLint program = 0;
  glGetIntegerv(GL_CURRENT_PROGRAM, &program);
  if (program != 0) glUseProgram(0);
  return static_cast<uint32_t>(program);
}

void DebugGraphics::ResumeProgram(uint32_t program) {
  if (program != 0) glUseProgram(program);
}

Matrix4 DebugGraphics::BoxMatrix(const Vector& trans, const Quaternion& rot, const Vector& scale) {
  Matrix4 m = rot.ToMatrix();
  m(0, 3) = trans.x;
  m(1, 3) = trans.y;
  m(2, 3) = trans.z;
  // Scaling the first three columns is rotation * diag(scale): the box is
  // stretched along its own (rotated) axes.
  for (int c = 0; c < 3; ++c)
    for (int r = 0; r < 3; ++r) m(r, c) *= scale[c];
  return m;
}

void DebugGraphics::DrawQueued() {
  if (!enabled || queue.empty()) return;
  const uint32_t program = SuspendProgram();
  for (Event& event : queue) {
    try {
      DrawEvent(event);
    } catch (const boost::bad_any_cast&) {
      CLEAVE_ERROR("DebugDraw event with a parameter of the wrong type");
    }
  }
  ResumeProgram(program);
  queue.clear();
}

void DebugGraphics::DrawEvent(Event& event) {
  if (!event.HasParam("type")) return;
  const std::string type = event.GetParam<std::string>("type");
  if (type == "wireBox")
    DrawWireBox(event);
  else if (type == "line")
    DrawLine(event);
}

void DebugGraphics::DrawWireBox(Event& event) {
  glDisable(GL_TEXTURE_2D);
  glLineWidth(kBoxLineWidth);
  const Vector trans = ParamOr(event, "trans", Vector());
  const Quaternion rot = event.HasParam("rot") ? event.GetParam<Quaternion>("rot") : Quaternion();
  const Vector scale = ParamOr(event, "scale", Vector(1.0f, 1.0f, 1.0f));
  const Vector colour = ParamOr(event, "color", kDefaultColour);
  const Matrix4 m = BoxMatrix(trans, rot, scale);

  glPushMatrix();
  glMultMatrixf(m.m);
  glColor4f(colour.x, colour.y, colour.z, colour.w);
  const float h = 0.5f;
  for (float z : {-h, h}) {
    glBegin(GL_LINE_LOOP);
    glVertex3f(-h, -h, z);
    glVertex3f(h, -h, z);
    glVertex3f(h, h, z);
    glVertex3f(-h, h, z);
    glEnd();
  }
  glBegin(GL_LINES);
  const float corners[4][2] = {{-h, -h}, {h, -h}, {h, h}, {-h, h}};
  for (const auto& corner : corners) {
    glVertex3f(corner[0], corner[1], -h);
    glVertex3f(corner[0], corner[1], h);
  }
  glEnd();
  glPopMatrix();
}

void DebugGraphics::DrawLine(Event& event) {
  if (!event.HasParam("pointA") || !event.HasParam("pointB")) {
    CLEAVE_ERROR("DebugDraw line without pointA or pointB");
    return;
  }
  const Vector a = event.GetParam<Vector>("pointA");
  const Vector b = event.GetParam<Vector>("pointB");
  const Vector colour = ParamOr(event, "color", kDefaultColour);

  glDisable(GL_TEXTURE_2D);
  glLineWidth(kLineWidth);
  glColor4f(colour.x, colour.y, colour.z, colour.w);
  glBegin(GL_LINES);
  glVertex3f(a.x, a.y, a.z);
  glVertex3f(b.x, b.y, b.z);
  glEnd();

  for (const Vector& end : {a, b}) {
    glPushMatrix();
    glTranslatef(end.x, end.y, end.z);
    glPushMatrix();
    glScalef(kMarkerScale, kMarkerScale, kMarkerScale);
    glColor4f(kMarkerColour.x, kMarkerColour.y, kMarkerColour.z, kMarkerColour.w);
    markerSphere.DrawFromBuffer();
    glPopMatrix();
    glPopMatrix();
  }
  glEnable(GL_TEXTURE_2D);
}
