#include "graphics/image_graphics.h"

#include <GL/glew.h>

#include "graphics/ndc_space.h"
#include "graphics/texture.h"
#include "objects/object_manager.h"
#include "window/interface_manager.h"

constexpr OverlayRect ImageGraphics::kHelpIcon;
constexpr OverlayRect ImageGraphics::kInstructions;

namespace {
// The frame around the help icon while the bar takes the mouse: the colour
// of the bar's "Mouse: ON" line, RGBA, and its width in pixels.
const float kIconFrameColour[4] = {0.45f, 1.0f, 0.45f, 1.0f};
constexpr float kIconFrameWidth = 3.0f;

void DrawFrame(const OverlayRect& rect) {
  glDisable(GL_TEXTURE_2D);
  glColor4fv(kIconFrameColour);
  glLineWidth(kIconFrameWidth);
  {
    const NdcSpace ndc;
    glBegin(GL_LINE_LOOP);
    glVertex2f(rect.left, rect.top);
    glVertex2f(rect.right, rect.top);
    glVertex2f(rect.right, rect.bottom);
    glVertex2f(rect.left, rect.bottom);
    glEnd();
  }
  glLineWidth(1.0f);
  glColor4f(1.0f, 1.0f, 1.0f, 1.0f);
}
}  // namespace

void ImageGraphics::DrawOverlays() {
  ObjectManager& objects = ObjectManager::Instance();
  if (objects.questionMarkTex != nullptr) {
    DrawImage(*objects.questionMarkTex, kHelpIcon);
    if (InterfaceManager::Instance().IsInputEnabled()) DrawFrame(kHelpIcon);
  }
  if (objects.currentInstructionTex != nullptr)
    DrawImage(*objects.currentInstructionTex, kInstructions);
}

void ImageGraphics::DrawImage(Texture& texture, const OverlayRect& rect) {
  // A record that was never uploaded would bind the name ~0 (a GL error).
  texture.Upload();
  glActiveTexture(GL_TEXTURE0);
  glEnable(GL_TEXTURE_2D);
  glBindTexture(GL_TEXTURE_2D, texture.texID);
  glColor4f(1.0f, 1.0f, 1.0f, 1.0f);
  glEnable(GL_BLEND);
  DrawNdcQuad(rect.left, rect.top, rect.right, rect.bottom);
  glDisable(GL_BLEND);
}
