#include "scene/solid_factory.h"

#include <cmath>
#include <cstdlib>

#include "collision/collision_comp.h"
#include "collision/collision_shapes.h"
#include "core/module.h"
#include "core/system.h"
#include "geom/mass_properties.h"
#include "geom/mesh_builders.h"
#include "math/matrix4.h"
#include "objects/model_comp.h"
#include "physics/ground_plane.h"
#include "physics/physics_comp.h"
#include "scene/model_file.h"

namespace {

// Grows the local box on every side, units; the box keys the contact feature
// codes, so points on the hull margin still fall inside it.
constexpr float kLocalBoxMargin = 0.04f;
// Random dimensions are drawn in [kRandomMin, kRandomMin + kRandomSpan], units.
constexpr float kRandomMin = 0.5f;
constexpr float kRandomSpan = 1.5f;

const Vector kSolidColour(0.2f, 0.5f, 0.9f);

constexpr float kGroundMass = 1.0e9f;  // heavy enough that nothing moves it
const Vector kGroundPosition(0.0f, -5.0f, 0.0f, 0.0f);
constexpr float kGroundWidth = 300.0f;   // x and z, units
constexpr float kGroundHeight = 10.0f;   // y, units
constexpr uint32_t kGroundDivisions = 5;

// The collision data every solid gets: bounding sphere, hull, local box,
// masks. The object's ModelComp and CollisionComp must be attached.
void PrepareCollision(GameObject& object, bool pickable) {
  GenerateBoundingSphere(object);
  GenerateCollisionHull(object);
  CollisionComp* comp = object.Find<CollisionComp>();
  const ModelComp* model = object.Find<ModelComp>();
  if (comp == nullptr || model == nullptr) return;
  comp->localBox = ComputeBoundingBox(model->mesh, model->scale);
  comp->localBox.halfExtents.x += kLocalBoxMargin;
  comp->localBox.halfExtents.y += kLocalBoxMargin;
  comp->localBox.halfExtents.z += kLocalBoxMargin;
  comp->hasLocalBox = true;
  comp->groupMask |= 1u;
  comp->collideMask |= 1u;
  comp->pickable = pickable;
}

// Moves the mesh's origin to its centre of mass and sets `physics` to the
// mesh's mass and inertia at `density`; returns the centre's old place in
// the mesh frame, by which the caller moves the object so that nothing
// moves in the world. Collision data is made after, from the moved mesh.
Vector CentreOnMass(const std::string& name, Mesh& mesh, float density, PhysicsComp& physics) {
  const MassProperties props = ComputeMassProperties(mesh, density);
  if (mesh.TriangleCount() > 0 && !(props.volume > 0.0))
    CLEAVE_WARNING("Solid " + name + " encloses no volume; it gets no mass");
  const Vector c = props.Centre();
  for (Vertex& v : mesh.vertices) {
    v.x -= c.x;
    v.y -= c.y;
    v.z -= c.z;
  }
  // A mass of 0 (no volume) makes the body immovable rather than negative.
  physics.mass = props.volume > 0.0 ? static_cast<float>(props.mass) : 0.0f;
  physics.inertiaTensor = props.InertiaMatrix();
  return c;
}

}  // namespace

void GenerateNormals(Mesh& mesh) {
  if (mesh.loadedModel) {
    // A model's faces meet at edges of any angle: flat shading shows them as
    // they are, where the radial normals of the built-in solids would not.
    for (uint32_t t = 0; t < mesh.TriangleCount(); ++t) {
      const Vector n = mesh.FaceNormal(t);
      const bool finite = std::isfinite(n.x) && std::isfinite(n.y) && std::isfinite(n.z);
      for (int c = 0; c < 3; ++c) mesh.SetCornerNormal(t, c, finite ? n : Vector(0.0f, 1.0f, 0.0f));
    }
    return;
  }
  for (uint32_t t = 0; t < mesh.TriangleCount(); ++t) {
    for (int c = 0; c < 3; ++c) {
      const Vector p = mesh.CornerPosition(t, c);
      const float length = Length(p);
      // A vertex at the origin has no direction; keep its normal finite.
      mesh.SetCornerNormal(t, c, length > 0.0f ? p / length : Vector(0.0f, 1.0f, 0.0f));
    }
  }
}

void GenerateColours(Mesh& mesh) {
  for (uint32_t t = 0; t < mesh.TriangleCount(); ++t) {
    for (int c = 0; c < 3; ++c) mesh.SetCornerColour(t, c, kSolidColour);
  }
}

GameObject BuildSolid(const std::string& name, const Vector& position, Vector dimensions,
                      int modelType, const Quaternion& orientation, float density) {
  GameObject object;
  object.name = name;
  ModelComp model;
  const float r = dimensions.x;  // the caller's radius, kept even for Random

  int type = modelType;
  if (type == Model) {
    // The model is built by BuildModelSolid; asked here, there is none.
    diagnostics::Log("no model is loaded: " + name + " is a random shape");
    type = Random;
  }
  if (type == Random) {
    type = std::rand() % 3 + 1;
    const float u1 = UniformDraw();
    const float u2 = UniformDraw();
    const float u3 = UniformDraw();
    dimensions = Vector(kRandomMin + kRandomSpan * u1, kRandomMin + kRandomSpan * u2,
                        kRandomMin + kRandomSpan * u3, 0.0f);
  }

  switch (type) {
    case Sphere:
      model.mesh = BuildSphere(12, 12, r);
      break;
    case Box:
      model.mesh = BuildBox(2, 2, 2, 2.0f * dimensions.x, 2.0f * dimensions.y, 2.0f * dimensions.z);
      break;
    case Cone:
      model.mesh = BuildCone(16, 8, r, 0.0f, 2.0f * dimensions.y);
      // Stand it on its base: pi about x, (x, y, z) -> (x, -y, -z) exactly.
      model.mesh.Transform(Matrix4::Scale(1.0f, -1.0f, -1.0f));
      break;
    default:
      // Not a shape: the object gets an empty mesh, no mass and no collision data.
      CLEAVE_WARNING("BuildSolid: unknown model type " + std::to_string(modelType));
      break;
  }

  model.mesh.Transform(orientation.ToMatrix());
  // Mass and inertia are those of the mesh as built, the solid the collision
  // hull and every later cut see, not of the smooth shape it stands for.
  PhysicsComp physics;
  const Vector c = CentreOnMass(name, model.mesh, density, physics);
  model.mesh.useTexCoords = false;
  model.mesh.useColours = true;
  GenerateNormals(model.mesh);
  GenerateColours(model.mesh);
  const bool hasShape = model.mesh.VertexCount() > 0;
  object.AttachComponent(model);
  object.AttachComponent(physics);

  object.AttachComponent(CollisionComp());
  if (hasShape) PrepareCollision(object, true);

  object.position = position + c;
  return object;
}

GameObject BuildModelSolid(const std::string& name, const Vector& position, const Mesh& model,
                           float size, const Quaternion& orientation, float density) {
  GameObject object;
  object.name = name;
  ModelComp comp;
  comp.mesh = model;
  Mesh& mesh = comp.mesh;
  FitToSize(mesh, size);
  mesh.Transform(orientation.ToMatrix());
  // The body turns about the object's origin: put it at the centre of mass,
  // as every split piece has it.
  PhysicsComp physics;
  const Vector c = CentreOnMass(name, mesh, density, physics);
  mesh.useTexCoords = false;
  mesh.useColours = true;
  GenerateNormals(mesh);
  GenerateColours(mesh);
  object.AttachComponent(comp);
  object.AttachComponent(physics);
  object.AttachComponent(CollisionComp());
  PrepareCollision(object, true);
  object.position = position + c;
  return object;
}

GameObject BuildGroundPlane() {
  GameObject object;
  object.name = kGroundPlaneName;
  object.position = kGroundPosition;

  ModelComp model;
  model.mesh = BuildBox(kGroundDivisions, kGroundDivisions, kGroundDivisions, kGroundWidth,
                        kGroundHeight, kGroundWidth);
  model.mesh.useTexCoords = false;
  model.mesh.useColours = true;
  object.AttachComponent(model);

  PhysicsComp physics;
  physics.mass = kGroundMass;
  object.AttachComponent(physics);

  object.AttachComponent(CollisionComp());
  PrepareCollision(object, false);
  return object;
}

float UniformDraw() { return static_cast<float>(std::rand()) / static_cast<float>(RAND_MAX); }

Event GravityRequest(const std::string& sender, uint32_t number, float g) {
  Event event(sender, "Physics", "AddForce");
  event.timestamp = module_events::FrameStartTime();
  event.SetParam<std::string>("type", "GravityForce");
  event.SetParam<uint32_t>("obj", number);
  event.SetParam<float>("g", g);
  return event;
}
