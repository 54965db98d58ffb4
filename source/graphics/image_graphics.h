#pragma once
// ImageGraphics: draws the two 2D pictures over the frame, in normalised
// device coordinates: the help icon (top-left corner) and the current
// instruction page (bottom centre), both textures held by ObjectManager.
// While the tweak bar takes the mouse the icon has a green frame.
// A missing texture skips its picture. Texture coordinate (0, 0) is the
// picture's top-left corner.

#include "core/module.h"

class Graphics;
class Texture;

// A rectangle in normalised device coordinates.
struct OverlayRect {
  float left, right, top, bottom;
};

class ImageGraphics : public Extension<Graphics> {
 public:
  static constexpr OverlayRect kHelpIcon = {-0.99f, -0.91f, 1.0f, 0.9f};
  static constexpr OverlayRect kInstructions = {-0.6f, 0.6f, -0.7f, -0.95f};

  // Help icon first, then the instruction picture.
  void DrawOverlays();
  // One blended textured quad over rect (uploads the texture if needed).
  static void DrawImage(Texture& texture, const OverlayRect& rect);
};
