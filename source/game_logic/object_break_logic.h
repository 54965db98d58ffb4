#pragma once
// ObjectBreakLogic: the slicing sandbox that GameLogic runs.
//
// Set-up (Init): seeds rand() (with --seed when given, else the time), fills
// the tweak bar's Help and Settings groups, places the camera, switches
// collision and picking on, builds the ground box and the three start
// objects (kStartObjects: cone "obj3", sphere "obj4", box "obj7") with
// gravity, reads the --model file (a bad one is reported as a warning and
// left out) and drops it as "model" onto the box, loads the textures and the
// two sounds. Kill frees the textures.
//
// Per frame (Update): advances the split queue, then turns polled input into
// the scene's interactions: a left drag draws a cyan cut line and, on
// release, cuts every object the plane through the line and the eye reaches;
// Shift + left picks and drags an object; the right button turns the camera,
// W, A, S, D move it and Home puts it back; Space shoots a new object; P
// pauses, O steps, Ctrl+Z takes back the last cut, T shows or hides the
// tutorial; the help icon switches the bar's mouse handling; Escape ends the
// program. It also walks the six tutorial pages, sheds objects while many
// objects make frames slow (SceneCulling) and shows its notice, removes
// objects that fell far below the ground, ages every object and sweeps dead
// ones. Every 600 frames it logs "objects = N".
//
// Main thread only. Every walk over the object table or change of a
// component happens under the ObjectManager lock, because the physics and
// collision workers walk the same table during the frame.

#include <cstdint>
#include <string>

#include "core/live_settings.h"
#include "core/module.h"
#include "game_logic/camera_controller.h"
#include "game_logic/cut_gesture.h"
#include "game_logic/cut_history.h"
#include "game_logic/pick_drag.h"
#include "game_logic/scene_culling.h"
#include "game_logic/tutorial.h"
#include "math/plane.h"
#include "math/quaternion.h"
#include "math/vector.h"
#include "scene/model_type.h"
#include "scene/split_orchestration.h"
#include "window/live_settings_panel.h"

class GameLogic;
class InputManager;

class ObjectBreakLogic : public Extension<GameLogic> {
 public:
  ObjectBreakLogic();

  void Init();
  void Update();
  void Kill();

  // The bar's "Reset" button: every object but the ground is removed and the
  // three start objects are built again; the culler's grace period restarts. Works on GameLogic::Instance();
  // clientData is unused (always null).
  static void Reset(void* clientData);

  // Builds one solid (see BuildSolid; modelType Model: BuildModelSolid, sized
  // kModelSize * dimensions.x / 2 like a sphere of that radius) and adds it;
  // the window side gives it GPU buffers at the next frame. Gravity is not
  // added here (AddGravity).
  void CreateObject(const std::string& name, const Vector& position, const Vector& dimensions,
                    int32_t modelType, const Quaternion& orientation, float density);
  void CreateGroundPlane();
  void SpawnInitialObjects();
  // Asks Physics for a gravity force of 10 on the named object.
  void AddGravity(const std::string& name);

  // Queues the cut's split jobs and records the cut for Undo.
  void SliceObjects(const Plane& plane);
  void ProcessSplitQueue() { history.ProcessSplitQueue(splitter, kSplitBudget); }
  // Ctrl+Z: takes back the last cut (see CutHistory).
  bool UndoCut() { return history.Undo(splitter); }

  SplitOrchestrator splitter;  // holds splitQueue
  // The --model mesh as read (its own units), when one was loaded.
  bool haveModel = false;
  Mesh model;
  std::string helpText;
  float bulletScale = 0.7f;  // size of shot objects; bar range 0.1 .. 1.5
  int32_t modelType = Random;  // shape of shot objects (a ModelType)
  int32_t objectCount = 0;           // objects in the table, refreshed every frame

  bool leftButtonUp = true;     // the left button was up at the last test
  bool clickArmed = true;       // the left button has been up since the last icon click
  CameraController cameraControl;
  CutGesture cut;
  PickDrag pick;
  Tutorial tutorial;
  SceneCulling culling;  // restarted by Init and Reset
  CutHistory history;    // cleared by Init and Reset
  // What the user changes while the sandbox runs; this logic reads the time
  // scale, the shot speed and the culling switch and threshold every frame.
  LiveSettings liveSettings;
  LiveSettingsPanel livePanel;  // the bar's group, the file, the physics hand-over

 private:
  void FillTweakBar();
  // The frame's single-key commands: P, O, Ctrl+Z, T, Space.
  void KeyCommands(InputManager& input);
  void LoadMedia();
  // Deletes the textures LoadMedia made and empties the registry's slots.
  void FreeMedia();

  long framesRun = 0;  // Update calls so far
};
