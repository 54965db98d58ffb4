#include "game_logic/object_break_logic.h"

#include <GLFW/glfw3.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <vector>

#include "collision/collision_manager.h"
#include "core/data_folder.h"
#include "core/event_manager.h"
#include "core/system.h"
#include "game_logic/game_logic.h"
#include "game_logic/shooter.h"
#include "game_logic/time_control.h"
#include "graphics/graphics.h"
#include "graphics/texture.h"
#include "objects/model_comp.h"
#include "objects/object_manager.h"
#include "physics/ground_plane.h"
#include "physics/physics.h"
#include "physics/physics_comp.h"
#include "scene/model_file.h"
#include "scene/scene_dump.h"
#include "scene/scene_setup.h"
#include "scene/scene_snapshot.h"
#include "scene/solid_factory.h"
#include "sound/sound_manager.h"
#include "window/input_manager.h"
#include "window/interface_manager.h"
#include "window/resource_manager.h"
#include "window/system_window.h"

namespace {

// The left mouse button's table entry (384 + GLFW button number).
constexpr int kLeftButton = kMouseButtonBase + 0;

// The help icon: NDC rectangle around (-0.95, 0.95) with half size (0.04, 0.05).
constexpr float kIconX = -0.95f, kIconY = 0.95f;
constexpr float kIconHalfW = 0.04f, kIconHalfH = 0.05f;

// Frames between two "objects = N" log lines: ten seconds at 60 Hz.
constexpr long kObjectReportFrames = 600;

const char* const kHelpText =
    "W,A,S,D\n   -Move the camera\nLeft Mouse\n   -Hold to slice objects\nRight Mouse\n"
    "   -Hold to pan\nShift + Left Mouse\n   -Pick/drag objects\nSpace\n   -Shoot a new object\n"
    "? (top left)\n   -Bar mouse on/off";

// The "Keys" group: one line per key beyond the help text's.
const char* const kKeyLines[] = {
    "P - pause or resume the physics",
    "O - one physics step while paused",
    "Ctrl+Z - take back the last cut",
    "Home - camera back to its start",
    "T - show or hide the tutorial",
    "Escape - quit",
};

}  // namespace

ObjectBreakLogic::ObjectBreakLogic() {
  splitter.sender = "GameLogic";
  splitter.onChop = [](const Vector& midpoint) {
    SoundManager::Instance().PlaySound(ResourceManager::Instance().chopSound, midpoint, 1.0f);
  };
}

// ---------------------------------------------------------------------------
// Set-up
// ---------------------------------------------------------------------------

void ObjectBreakLogic::Init() {
  System& system = System::Instance();
  const CommandLineOptions& options = system.options;
  std::srand(options.hasSeed ? options.seed : static_cast<unsigned>(std::time(nullptr)));

  leftButtonUp = true;
  cut = CutGesture();
  clickArmed = true;

  EventManager::Instance().RegisterClient("GameLogic");
  InterfaceManager::Instance().SetInputEnabled(false);

  Camera& camera = ObjectManager::Instance().camera;
  cameraControl.Start(camera);
  // The window may not exist (or not have reported its size); the
  // projection follows the size System holds, which the window keeps.
  camera.SetViewportSize(system.screenWidth, system.screenHeight);

  Event switches = GameLogic::Instance().CreateEvent("CollisionManager", "Set");
  switches.SetParam<bool>("collisionOn", true);
  switches.SetParam<bool>("pickOn", true);
  switches.SetParam<bool>("doMultipleContacts", true);
  GameLogic::Instance().SendEvent(switches);

  haveModel = false;
  model = Mesh();
  if (!options.model.empty()) {
    std::string error;
    haveModel = LoadModelFile(options.model, model, error);
    // The model asked for cannot be shown: the run ends, naming what is wrong.
    if (!haveModel) CLEAVE_ERROR(error);
  }
  // The settings file's slow-frame time is the culling threshold until the
  // user changes it.
  liveSettings.cullFrameMs = static_cast<float>(system.settings.slowFrameTime * 1000.0);
  livePanel.Load(liveSettings);
  FillTweakBar();

  CreateGroundPlane();
  {
    ObjectLock lock;
    GameObject& ground = ObjectManager::Instance().GetGameObject(kGroundPlaneName);
    if (ModelComp* model = ground.Find<ModelComp>()) GenerateNormals(model->mesh);
  }

  std::string error;
  if (options.loadScene.empty())
    SpawnInitialObjects();
  else if (!LoadSnapshotFile(options.loadScene, GameLogic::Instance().name, error))
    CLEAVE_ERROR(error);
  pick.dragByVelocity = true;
  history.Clear();

  LoadMedia();
  // The first frames (loading, first uploads) are slow whatever the scene.
  culling.Restart(system.GetTime());
}

void ObjectBreakLogic::FillTweakBar() {
  TweakBar& bar = InterfaceManager::Instance().bar;
  bar.Clear();
  bar.AddGroup("Help", true);
  helpText = kHelpText;
  // One text line per piece between line feeds, the last piece included.
  std::string::size_type begin = 0;
  while (true) {
    const std::string::size_type end = helpText.find('\n', begin);
    bar.AddText("Help", helpText.substr(begin, end == std::string::npos ? end : end - begin));
    if (end == std::string::npos) break;
    begin = end + 1;
  }

  bar.AddGroup("Settings", true);
  objectCount = 0;
  bar.AddReadOnlyInt("Settings", "ObjectCount", &objectCount);
  modelType = Random;
  std::vector<std::string> types = {"Random", "Sphere", "Box", "Cone"};
  if (haveModel) types.push_back("Model");  // index Model
  bar.AddEnum("Settings", "ModelType", &modelType, types);
  bulletScale = 0.7f;
  bar.AddFloat("Settings", "Bullet Scale", &bulletScale, 0.1f, 1.5f, 0.1f);
  bar.AddButton("Settings", "Reset", [] { ObjectBreakLogic::Reset(nullptr); });
  livePanel.FillBar(bar);
  Graphics::Instance().debugViews.FillBar(bar);
  Graphics::Instance().statsOverlay.FillBar(bar);

  bar.AddGroup("Keys", false);
  for (const char* line : kKeyLines) bar.AddText("Keys", line);
  bar.AddButton("Keys", "Tutorial", [this] { tutorial.Toggle(); });
  bar.AddButton("Settings", "Save scene", [] { SnapshotButton(true, "GameLogic"); });
  bar.AddButton("Settings", "Load scene", [] {
    SnapshotButton(false, "GameLogic");
    // As Reset does: the culler's grace period restarts and the cuts made
    // before the load can no longer be taken back.
    ObjectBreakLogic& logic = GameLogic::Instance().Logic();
    logic.culling.Restart(System::Instance().GetTime());
    logic.history.Clear();
  });
}

void ObjectBreakLogic::LoadMedia() {
  FreeMedia();  // a second Init loads everything again
  ObjectManager& manager = ObjectManager::Instance();
  const bool haveContext = MainWindow() != nullptr;
  auto load = [haveContext](const std::string& file) {
    Texture* texture = Texture::Load(DataPath(file));
    if (haveContext) texture->Upload();
    return texture;
  };
  manager.randomNormTex = load("assets/noise.png");
  manager.questionMarkTex = load("assets/question_mark.png");
  for (int page = 1; page <= 6; ++page) {
    char file[64];
    std::snprintf(file, sizeof file, "assets/instructions%d.png", page);
    manager.instructionTex[page - 1] = load(file);
  }
  tutorial.Show(1);

  ResourceManager& resources = ResourceManager::Instance();
  resources.chopSound = SoundManager::Instance().LoadSound(DataPath("assets/chop1.wav"));
  resources.collideSound = SoundManager::Instance().LoadSound(DataPath("assets/collide1.wav"));

  System::Instance().Log("ObjectManager::Instance().randomNormTex->texID = " +
                         std::to_string(manager.randomNormTex->texID));
}

void ObjectBreakLogic::FreeMedia() {
  ObjectManager& manager = ObjectManager::Instance();
  manager.currentInstructionTex = nullptr;
  for (Texture*& texture : manager.instructionTex) {
    delete texture;
    texture = nullptr;
  }
  delete manager.questionMarkTex;
  manager.questionMarkTex = nullptr;
  delete manager.randomNormTex;
  manager.randomNormTex = nullptr;
}

void ObjectBreakLogic::CreateObject(const std::string& name, const Vector& position,
                                    const Vector& dimensions, int32_t type,
                                    const Quaternion& orientation, float density) {
  if (type == Model && haveModel) {
    // As large as a sphere of radius dimensions.x: a start model (radius 2)
    // is kModelSize across.
    ObjectManager::Instance().AddGameObject(BuildModelSolid(
        name, position, model, kModelSize * dimensions.x / 2.0f, orientation, density));
    return;
  }
  ObjectManager::Instance().AddGameObject(
      BuildSolid(name, position, dimensions, type, orientation, density));
}

void ObjectBreakLogic::CreateGroundPlane() {
  ObjectManager::Instance().AddGameObject(BuildGroundPlane());
}

void ObjectBreakLogic::SpawnInitialObjects() {
  for (const StartObject& start : kStartObjects)
    CreateObject(start.name, start.position, start.dimensions, start.type, Quaternion(),
                 kStartDensity);
  for (const StartObject& start : kStartObjects) AddGravity(start.name);
  if (haveModel) {
    CreateObject(kModelObjectName, kModelStartPosition, Vector(2.0f, 2.0f, 2.0f), Model,
                 Quaternion(), kStartDensity);
    AddGravity(kModelObjectName);
  }
}

void ObjectBreakLogic::AddGravity(const std::string& name) {
  uint32_t number = 0;
  bool found = true;
  {
    ObjectLock lock;
    try {
      number = ObjectManager::Instance().GetObjNum(name);
    } catch (const std::out_of_range&) {
      found = false;
    }
  }
  if (!found) {
    CLEAVE_WARNING("AddGravity: no object named " + name);
    return;
  }
  GameLogic::Instance().SendEvent(GravityRequest(GameLogic::Instance().name, number));
}

void ObjectBreakLogic::Reset(void* clientData) {
  (void)clientData;
  ObjectBreakLogic& logic = GameLogic::Instance().Logic();
  ObjectManager& manager = ObjectManager::Instance();
  {
    ObjectLock lock;
    for (auto& entry : manager.objects)
      if (entry.second.name != kGroundPlaneName) manager.KillGameObject(entry.second);
    manager.RemoveDeadObjects();
  }
  // The pieces and the cuts in flight went with the objects.
  logic.splitter.splitQueue.clear();
  logic.history.Clear();
  logic.SpawnInitialObjects();
  logic.culling.Restart(System::Instance().GetTime());
}

void ObjectBreakLogic::Kill() {
  const std::string& dump = System::Instance().options.dumpScene;
  if (!dump.empty()) WriteSceneDumpFile(dump, tutorial.Page());
  livePanel.Save();
  const std::string& save = System::Instance().options.saveScene;
  std::string error;
  if (!save.empty() && !SaveSnapshotFile(save, error)) CLEAVE_ERROR(error);
  FreeMedia();
  EventManager::Instance().UnregisterClient("GameLogic");
}

// ---------------------------------------------------------------------------
// Per frame
// ---------------------------------------------------------------------------

void ObjectBreakLogic::Update() {
  System& system = System::Instance();
  InputManager& input = InputManager::Instance();
  InterfaceManager& interface = InterfaceManager::Instance();
  ObjectManager& manager = ObjectManager::Instance();

  ProcessSplitQueue();
  livePanel.Update(system.GetTime());

  if (input.WasKeyPressed(GLFW_KEY_ESCAPE)) system.running = false;

  {
    ObjectLock lock;
    objectCount = static_cast<int32_t>(manager.objects.size());
  }
  // One line every kObjectReportFrames frames, so a long run's log shows
  // how the scene grows and shrinks (tools/soak reads it).
  if (++framesRun % kObjectReportFrames == 0) system.Log("objects = " + std::to_string(objectCount));

  const Vector mouse = input.GetMousePos();

  // Over the bar: its pixel box in NDC, tested only while it takes the mouse.
  bool overBar = false;
  if (interface.IsInputEnabled()) {
    const BoundingBox box = interface.GetBarBox();
    const float width = static_cast<float>(system.screenWidth);
    const float height = static_cast<float>(system.screenHeight);
    const float cx = 2.0f * box.center.x / width - 1.0f;
    const float cy = 1.0f - 2.0f * box.center.y / height;
    const float hx = 2.0f * box.halfExtents.x / width;
    const float hy = 2.0f * box.halfExtents.y / height;
    overBar = std::fabs(mouse.x - cx) < hx && std::fabs(mouse.y - cy) < hy;
  }
  const bool overIcon =
      std::fabs(mouse.x - kIconX) < kIconHalfW && std::fabs(mouse.y - kIconY) < kIconHalfH;

  // The help icon: one toggle per press, however long the button is held.
  if (input.IsKeyDown(kLeftButton)) {
    if (clickArmed && overIcon) {
      interface.SetInputEnabled(!interface.IsInputEnabled());
      tutorial.Advance(6, 0);
    }
    clickArmed = false;
  } else {
    clickArmed = true;
  }

  Camera& camera = manager.camera;
  const float dt = static_cast<float>(system.avgFrameTime);
  KeyCommands(input);

  leftButtonUp = !input.IsKeyDown(kLeftButton);
  const bool shift = input.IsKeyDown(GLFW_KEY_LEFT_SHIFT) || input.IsKeyDown(GLFW_KEY_RIGHT_SHIFT);
  const bool cutting = !overBar && !overIcon && !shift && input.IsKeyDown(kLeftButton);

  Plane plane;
  if (cut.Update(cutting, camera, mouse, plane)) {
    tutorial.Advance(1, 2);
    SliceObjects(plane);
  }

  if (cutting) {
    pick.picking = false;
  } else {
    if (leftButtonUp) pick.picking = false;
    pick.Update(input.IsKeyDown(kLeftButton), camera, mouse, dt);
  }
  if (shift && input.IsKeyDown(kLeftButton)) tutorial.Advance(4, 5);

  const double now = system.GetTime();
  culling.Update(now, system.avgFrameTime, liveSettings.cullFrameMs, liveSettings.culling, camera);
  interface.notice = culling.Notice(now);

  {
    ObjectLock lock;
    for (auto& entry : manager.objects) {
      GameObject& obj = entry.second;
      ++obj.age;
      // Off the ground's edge, or through it: it would fall, be simulated and
      // counted for ever.
      if (!obj.dead && obj.position.y < kGroundTop - kFallDepth && obj.name != kGroundPlaneName) {
        system.Log("Removed " + obj.name + ": it fell below the ground");
        manager.KillGameObject(obj);
      }
    }
    manager.RemoveDeadObjects();
  }

  if (leftButtonUp) {
    const CameraController::Moves moves = cameraControl.Update(camera, input, dt);
    if (moves.turned) tutorial.Advance(2, 3);
    if (moves.moved) tutorial.Advance(3, 4);
  }
}

void ObjectBreakLogic::KeyCommands(InputManager& input) {
  UpdateTimeControl(input, Physics::Instance().clock, liveSettings.timeScale);
  const bool control =
      input.IsKeyDown(GLFW_KEY_LEFT_CONTROL) || input.IsKeyDown(GLFW_KEY_RIGHT_CONTROL);
  if (input.WasKeyPressed('Z') && control) UndoCut();
  if (input.WasKeyPressed('T')) tutorial.Toggle();
  if (input.WasKeyPressed(' ')) {
    const Camera& camera = ObjectManager::Instance().camera;
    const uint32_t shot = Shoot(camera, bulletScale, modelType, liveSettings.shotSpeed, haveModel ? &model : nullptr);
    if (shot != 0) GameLogic::Instance().SendEvent(GravityRequest(GameLogic::Instance().name, shot));
    tutorial.Advance(5, 6);
  }
}

void ObjectBreakLogic::SliceObjects(const Plane& plane) {
  const size_t queued = splitter.splitQueue.size();
  splitter.SliceObjects(plane);
  history.BeginCut(splitter.splitQueue.size() - queued);
}
