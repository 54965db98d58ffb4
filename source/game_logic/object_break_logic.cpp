#include "game_logic/object_break_logic.h"

#include <GLFW/glfw3.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <sstream>
#include <vector>

#include "collision/broad_phase.h"
#include "collision/collision_comp.h"
#include "collision/collision_manager.h"
#include "core/data_folder.h"
#include "core/event_manager.h"
#include "core/system.h"
#include "game_logic/game_logic.h"
#include "graphics/texture.h"
#include "objects/model_comp.h"
#include "objects/object_manager.h"
#include "physics/ground_plane.h"
#include "physics/physics_comp.h"
#include "scene/model_file.h"
#include "scene/scene_dump.h"
#include "scene/scene_setup.h"
#include "scene/scene_snapshot.h"
#include "scene/shot_placement.h"
#include "scene/solid_factory.h"
#include "sound/sound_manager.h"
#include "window/input_manager.h"
#include "window/interface_manager.h"
#include "window/resource_manager.h"
#include "window/system_window.h"

namespace {

// Table entries of the mouse buttons (384 + GLFW button number).
constexpr int kLeftButton = kMouseButtonBase + 0;
constexpr int kRightButton = kMouseButtonBase + 1;

// Start camera: eye position, yaw (rad).
const Vector kCameraStart(5.3574f, 2.1208f, 1.2421f, 0.0f);
constexpr float kCameraStartYaw = 1.4625f;
// Camera turning with the right button, radians per NDC unit.
constexpr float kPanRate = 3.0f;

// A cut line shorter than this (world units) is a click, not a cut.
constexpr float kMinCutLength = 0.01f;
// Colour of the cut line, RGBA.
const Vector kCutLineColour(0.0f, 0.75f, 0.75f, 1.0f);

// The help icon: NDC rectangle around (-0.95, 0.95) with half size (0.04, 0.05).
constexpr float kIconX = -0.95f, kIconY = 0.95f;
constexpr float kIconHalfW = 0.04f, kIconHalfH = 0.05f;

// Dragging by velocity: v += (-damping v + stiffness (target - x)) dt, with
// damping in 1/s and stiffness in 1/s^2.
constexpr float kDragDamping = 10.0f;
constexpr float kDragStiffness = 100.0f;
// Ray/plane tests: parallel below this |n . d|; behind the origin below -this t.
constexpr float kRayEpsilon = 1e-8f;

// Frames between two "objects = N" log lines: ten seconds at 60 Hz.
constexpr long kObjectReportFrames = 600;

// Slow-frame culling takes only objects lighter than this (the ground is 1e9).
constexpr float kCullMassLimit = 10000.0f;

const char* const kHelpText =
    "W,A,S,D\n   -Move the camera\nLeft Mouse\n   -Hold to slice objects\nRight Mouse\n"
    "   -Hold to pan\nShift + Left Mouse\n   -Pick/drag objects\nSpace\n   -Shoot a new object\n"
    "? (top left)\n   -Bar mouse on/off";

// The eye of the camera: the translation of its inverse view.
Vector EyePosition(const Camera& camera) {
  return WithW(camera.GetInverseView().Column(3), 0.0f);
}

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
  slicing = false;
  clickArmed = true;

  EventManager::Instance().RegisterClient("GameLogic");
  InterfaceManager::Instance().SetInputEnabled(false);

  cameraSpeed = 5.0f;
  Camera& camera = ObjectManager::Instance().camera;
  camera.position = kCameraStart;
  camera.yaw = kCameraStartYaw;
  camera.UpdateView();
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
    // A bad model is left out; the sandbox goes on without it.
    if (!haveModel) CLEAVE_WARNING(error);
  }
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
  pickState.dragByVelocity = true;

  LoadMedia();
  // The first frames (loading, first uploads) are slow whatever the scene.
  culler.Restart(system.GetTime());
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
  bar.AddButton("Settings", "Save scene", [] { SnapshotButton(true, "GameLogic"); });
  bar.AddButton("Settings", "Load scene", [] {
    SnapshotButton(false, "GameLogic");
    GameLogic::Instance().Logic().culler.Restart(System::Instance().GetTime());  // as Reset does
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
  ShowTutorialPage(1);

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
  logic.SpawnInitialObjects();
  logic.culler.Restart(System::Instance().GetTime());
}

void ObjectBreakLogic::Kill() {
  const std::string& dump = System::Instance().options.dumpScene;
  if (!dump.empty()) WriteSceneDumpFile(dump, tutorialPage);
  const std::string& save = System::Instance().options.saveScene;
  std::string error;
  if (!save.empty() && !SaveSnapshotFile(save, error)) CLEAVE_WARNING(error);
  FreeMedia();
  EventManager::Instance().UnregisterClient("GameLogic");
}

// ---------------------------------------------------------------------------
// Tutorial pages
// ---------------------------------------------------------------------------

void ObjectBreakLogic::ShowTutorialPage(int page) {
  tutorialPage = page;
  ObjectManager& manager = ObjectManager::Instance();
  manager.currentInstructionTex = (page >= 1 && page <= 6) ? manager.instructionTex[page - 1]
                                                           : nullptr;
}

void ObjectBreakLogic::AdvanceTutorial(int from, int to) {
  if (tutorialPage == from) ShowTutorialPage(to);
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
      AdvanceTutorial(6, 0);
    }
    clickArmed = false;
  } else {
    clickArmed = true;
  }

  if (input.WasKeyPressed(' ')) Shoot();

  leftButtonUp = !input.IsKeyDown(kLeftButton);
  const bool shift = input.IsKeyDown(GLFW_KEY_LEFT_SHIFT) || input.IsKeyDown(GLFW_KEY_RIGHT_SHIFT);
  const bool cutting = !overBar && !overIcon && !shift && input.IsKeyDown(kLeftButton);

  CutGesture(cutting);

  if (cutting) {
    pickState.picking = false;
  } else {
    if (leftButtonUp) pickState.picking = false;
    UpdatePick();
  }
  if (shift && input.IsKeyDown(kLeftButton)) AdvanceTutorial(4, 5);

  if (slicing) {
    sliceEnd = MouseWorldPoint();
    Event line = GameLogic::Instance().CreateEvent("Graphics", "DebugDraw");
    line.SetParam<std::string>("type", "line");
    line.SetParam<Vector>("color", kCutLineColour);
    line.SetParam<Vector>("pointA", sliceStart);
    line.SetParam<Vector>("pointB", sliceEnd);
    GameLogic::Instance().SendEvent(line);
  }

  CullSlowFrame();

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

  if (leftButtonUp) UpdateCamera();
}

void ObjectBreakLogic::Shoot() {
  ObjectManager& manager = ObjectManager::Instance();
  const Camera& camera = manager.camera;
  const Vector right = camera.GetRight();
  const Vector up = camera.GetUp();
  const Vector back = camera.GetBack();
  const Quaternion rotation = Quaternion::FromMatrix(camera.GetInverseView());

  std::string name;
  {
    ObjectLock lock;
    name = "bullet_" + std::to_string(manager.objCounter);
  }

  // 5 to 12 units ahead, up to 3 to either side, 0 to 6 up.
  const float s1 = 6.0f * UniformDraw();
  const float s2 = 6.0f * UniformDraw() - 3.0f;
  const float s3 = 7.0f * UniformDraw() + 5.0f;
  const Vector position = camera.position - back * s3 + right * s2 + up * s1;

  GameObject shot = BuildSolid(name, position, Vector(bulletScale, bulletScale, bulletScale, 0.0f),
                               modelType, rotation, kShotDensity);
  // Shot objects carry group bit 5 besides the bit every solid has.
  if (CollisionComp* collision = shot.Find<CollisionComp>()) {
    collision->groupMask |= 1u << 5;
    // Placed inside another object (or the ground), the two would be pushed
    // apart at once and flung: the shot goes to the nearest clear place beside
    // where it was aimed, or above it.
    std::vector<SphereEntry> others;
    {
      ObjectLock lock;
      for (auto& entry : manager.objects) {
        const GameObject& obj = entry.second;
        const CollisionComp* comp = obj.Find<CollisionComp>();
        if (obj.dead || obj.name == kGroundPlaneName || comp == nullptr || !comp->hasBoundingSphere)
          continue;
        others.push_back(WorldSphere(entry.first, obj.position, obj.orientation, *comp));
      }
    }
    const Vector center = shot.position + collision->boundingCenter;
    shot.position += PlaceClear(center, collision->boundingRadius, others, kGroundTop) - center;
  }
  manager.AddGameObject(shot);
  AddGravity(name);
  AdvanceTutorial(5, 6);
}

void ObjectBreakLogic::CutGesture(bool cutting) {
  if (slicing && !cutting) {
    if (Length(WithW(sliceStart - sliceEnd, 0.0f)) > kMinCutLength) {
      System& system = System::Instance();
      std::ostringstream start, end;
      start << "startWorldPoint = " << sliceStart;
      end << "endWorldPoint = " << sliceEnd;
      // A Vector prints with its own line feed; the log adds one per line.
      std::string startLine = start.str(), endLine = end.str();
      if (!startLine.empty() && startLine.back() == '\n') startLine.pop_back();
      if (!endLine.empty() && endLine.back() == '\n') endLine.pop_back();
      system.Log(startLine);
      system.Log(endLine);
      const Vector eye = EyePosition(ObjectManager::Instance().camera);
      const Plane plane = Plane::FromPoints(sliceStart, sliceEnd, eye);
      AdvanceTutorial(1, 2);
      SliceObjects(plane);
    }
  } else if (!slicing && cutting) {
    sliceStart = MouseWorldPoint();
    sliceEnd = sliceStart;
  }
  slicing = cutting;
}

void ObjectBreakLogic::CullSlowFrame() {
  System& system = System::Instance();
  ObjectManager& manager = ObjectManager::Instance();
  int objects = 0, removable = 0;
  {
    ObjectLock lock;
    for (auto& entry : manager.objects) {
      const GameObject& obj = entry.second;
      if (obj.dead || obj.name == kGroundPlaneName) continue;
      ++objects;
      const PhysicsComp* physics = obj.Find<PhysicsComp>();
      if (physics != nullptr && physics->mass < kCullMassLimit) ++removable;
    }
  }
  const SlowFrameCuller::Action action =
      culler.Update(system.GetTime(), system.avgFrameTime, system.settings.slowFrameTime, objects,
                    removable);
  if (action == SlowFrameCuller::Action::kUnable) {
    CLEAVE_WARNING("Unable to cull objects");
    return;
  }
  if (action == SlowFrameCuller::Action::kPause) {
    system.Log("Culling paused: removing objects did not make frames faster");
    return;
  }
  if (action == SlowFrameCuller::Action::kStartBatch) {
    system.Log("Culling the " + std::to_string(culler.BatchSize()) +
               " oldest objects: frames take " +
               std::to_string(static_cast<int>(system.avgFrameTime * 1000.0)) + " ms");
  } else if (action != SlowFrameCuller::Action::kRemoveOldest) {
    return;
  }
  std::multimap<int32_t, uint32_t> candidates;
  CollectCullCandidates(kCullMassLimit, candidates);
  if (candidates.empty()) return;
  // The last entry: the largest age, among equal ages the one inserted last.
  const uint32_t oldest = std::prev(candidates.end())->second;
  ObjectLock lock;
  if (manager.HasObject(oldest)) manager.KillGameObject(manager.GetGameObject(oldest));
}

void ObjectBreakLogic::CollectCullCandidates(float massLimit,
                                             std::multimap<int32_t, uint32_t>& candidates) {
  ObjectLock lock;
  for (auto& entry : ObjectManager::Instance().objects) {
    const GameObject& obj = entry.second;
    if (obj.dead || obj.name == kGroundPlaneName) continue;
    const PhysicsComp* physics = obj.Find<PhysicsComp>();
    if (physics != nullptr && physics->mass < massLimit) candidates.emplace(obj.age, entry.first);
  }
}

Vector ObjectBreakLogic::MouseWorldPoint() const {
  const Vector mouse = InputManager::Instance().GetMousePos();
  // Depth 0 in normalised device coordinates: just beyond the near plane,
  // where the cut line is drawn.
  return ObjectManager::Instance().camera.Unproject(Vector(mouse.x, mouse.y, 0.0f));
}

void ObjectBreakLogic::UpdatePick() {
  InputManager& input = InputManager::Instance();
  CollisionManager& collision = CollisionManager::Instance();
  ObjectManager& manager = ObjectManager::Instance();

  if (input.IsKeyDown(kLeftButton)) {
    if (!pickState.picking && !pickState.tried) {
      std::vector<PickResult> results;
      collision.GetPickResults(results);
      // Only hits in front of the eye count: a ray starting inside a sphere,
      // or a sphere behind the camera, reports a negative parameter.
      results.erase(std::remove_if(results.begin(), results.end(),
                                   [](const PickResult& r) { return !(r.t >= 0.0f); }),
                    results.end());
      if (!results.empty()) {
        std::sort(results.begin(), results.end(),
                  [](const PickResult& a, const PickResult& b) { return a.t < b.t; });
        pickState.held = results.front();
        pickState.dragPlane = Plane(pickState.dragPlaneNormal, pickState.held.point);
        pickState.picking = true;
      }
      pickState.tried = true;
    } else if (pickState.picking && pickState.tried) {
      const Vector n = pickState.dragPlane.normal;
      const Vector d = pickState.ray.direction;
      const float denominator = Dot3(n, d);
      if (std::fabs(denominator) > kRayEpsilon) {
        const float t = Dot3(n, pickState.dragPlane.point - pickState.ray.origin) / denominator;
        if (t >= -kRayEpsilon) {
          const Vector hit = pickState.ray.origin + d * t;
          const Vector target = hit + (pickState.held.position - pickState.held.point);
          ObjectLock lock;
          if (manager.HasObject(pickState.held.objectId)) {
            GameObject& obj = manager.GetGameObject(pickState.held.objectId);
            PhysicsComp* physics = obj.Find<PhysicsComp>();
            if (physics != nullptr) physics->sleeping = false;  // a held body is awake
            if (pickState.dragByVelocity && physics != nullptr) {
              const float dt = static_cast<float>(System::Instance().avgFrameTime);
              Vector& v = physics->linearVelocity;
              v = v - v * (kDragDamping * dt) + (target - obj.position) * (kDragStiffness * dt);
            } else {
              obj.position = target;
            }
          }
        }
      }
    }
  } else {
    pickState.picking = false;
    pickState.tried = false;
  }

  // The ray from the eye through the cursor, for this frame's drag and the
  // collision thread's next pick pass.
  const Vector eye = EyePosition(manager.camera);
  pickState.ray.origin = eye;
  pickState.ray.direction = WithW(MouseWorldPoint() - eye, 0.0f);
  collision.SetPickRay(pickState.ray);
  pickState.dragPlaneNormal = manager.camera.GetBack();
}

void ObjectBreakLogic::UpdateCamera() {
  InputManager& input = InputManager::Instance();
  Camera& camera = ObjectManager::Instance().camera;
  const float dt = static_cast<float>(System::Instance().avgFrameTime);
  const Vector mouse = input.GetMousePos();

  if (input.IsKeyDown(kRightButton)) {
    if (input.WasKeyPressed(kRightButton)) {
      panAnchorMouse = mouse;
      panAnchorAngles = Vector(camera.yaw, camera.pitch, 0.0f, 0.0f);
    }
    camera.yaw = panAnchorAngles.x - kPanRate * (mouse.x - panAnchorMouse.x);
    camera.pitch = panAnchorAngles.y - kPanRate * (mouse.y - panAnchorMouse.y);
    AdvanceTutorial(2, 3);
  }

  // Camera-space steps turned into world space by the camera's rotation:
  // right is row 0 of the view, back is row 2.
  const float step = cameraSpeed * dt;
  bool moved = false;
  auto move = [&](char key, const Vector& worldStep) {
    if (input.IsKeyDown(key)) {
      camera.position = camera.position + worldStep;
      moved = true;
    }
  };
  move('A', camera.GetRight() * -step);
  move('D', camera.GetRight() * step);
  move('W', camera.GetBack() * -step);
  move('S', camera.GetBack() * step);
  if (moved) AdvanceTutorial(3, 4);

  camera.UpdateView();
}
