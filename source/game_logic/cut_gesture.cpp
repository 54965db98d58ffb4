#include "game_logic/cut_gesture.h"

#include <sstream>
#include <string>

#include "core/event.h"
#include "core/system.h"
#include "game_logic/cursor_ray.h"
#include "game_logic/game_logic.h"
#include "graphics/graphics.h"

namespace {

// Colour of the cut line, RGBA.
const Vector kCutLineColour(0.0f, 0.75f, 0.75f, 1.0f);

// "label = v" as one log line: a Vector prints with its own line feed, and
// the log adds one per line.
void LogPoint(const char* label, const Vector& v) {
  std::ostringstream text;
  text << label << " = " << v;
  std::string line = text.str();
  if (!line.empty() && line.back() == '\n') line.pop_back();
  System::Instance().Log(line);
}

}  // namespace

bool CutGesture::Update(bool cutting, const Camera& camera, const Vector& mouse, Plane& plane) {
  bool cut = false;
  if (slicing && !cutting) {
    if (Length(WithW(start - end, 0.0f)) > kMinCutLength) {
      LogPoint("startWorldPoint", start);
      LogPoint("endWorldPoint", end);
      plane = Plane::FromPoints(start, end, EyePosition(camera));
      cut = true;
    }
  } else if (!slicing && cutting) {
    start = CursorWorldPoint(camera, mouse);
    end = start;
  }
  slicing = cutting;

  if (slicing) {
    end = CursorWorldPoint(camera, mouse);
    GameLogic& logic = GameLogic::Instance();
    Event line = logic.CreateEvent("Graphics", "DebugDraw");
    line.SetParam<std::string>("type", "line");
    line.SetParam<Vector>("color", kCutLineColour);
    line.SetParam<Vector>("pointA", start);
    line.SetParam<Vector>("pointB", end);
    logic.SendEvent(line);
    Graphics::Instance().debugViews.PreviewCut(start, end);
  }
  return cut;
}
