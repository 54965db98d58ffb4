#pragma once
// ObjectManager: the one registry of the scene's game objects and the holder
// of scene-wide state (camera, lights, texture slots).
//
// Every added object gets the next number, counting from 1; numbers are never
// reused. Objects are found by number or by name. Killing marks an object
// dead and announces it with a "KillGameObject" event to "BROADCAST"; the
// gameplay module removes dead objects later, in one sweep.
//
// Threads: `objects` and `names` are shared by the main, physics and
// collision threads. Every walk over `objects` and every lookup happens
// while an ObjectLock (below) is held; the lock can be taken no other way.
// It is not recursive: a thread that holds it must not call AddGameObject
// (which takes it itself). KillGameObject and RemoveDeadObjects do not take
// it; they run on the main thread.
//
// GPU buffers: a mesh's vertex buffers are made and deleted by the window
// side on the main thread (the registry stays GL-free). When an object is
// removed, or its mesh is replaced, the registry queues the mesh's buffer
// names; the window side takes the queue once per frame and deletes them.

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include <boost/thread/mutex.hpp>
#include <boost/unordered_map.hpp>

#include "core/module.h"
#include "geom/mesh.h"
#include "objects/camera.h"
#include "objects/game_object.h"
#include "objects/light.h"
#include "objects/particle_system_controller.h"

// Loaded and uploaded on the app side, which also frees them; the registry
// only holds the pointers.
class Texture;

class ObjectManager : public Module<ObjectManager> {
 public:
  using ObjectTable = boost::unordered_map<uint32_t, GameObject>;

  ObjectManager();

  void Init() override;    // registers "ObjectManager" with the event manager
  void Update() override;  // fetches this module's events and drops them
  void Kill() override;    // unregisters

  // Stores a copy of obj under the next number and records its name. An
  // empty name is reported and still added; a name already registered is
  // reported and nothing is stored. Returns the number given, or 0 when
  // nothing was stored. Takes the lock itself: never call it while holding
  // the lock.
  uint32_t AddGameObject(GameObject obj);

  // Marks a stored object dead and sends one "KillGameObject" event; an
  // object already dead is left alone (so the event goes out once).
  void KillGameObject(GameObject& obj);

  // Removes every dead object, destroying it with its components, and
  // forgets its name so that the name can be added again. Queues the
  // buffers of its mesh for release.
  void RemoveDeadObjects();

  // Queues the mesh's GPU buffer names for release and marks the mesh as
  // having none; a mesh without buffers is left alone. Call before a stored
  // mesh is replaced or thrown away, holding the lock.
  void ReleaseMeshBuffers(Mesh& mesh);
  // Hands over the queued buffer names and empties the queue. Holding the
  // lock.
  std::vector<uint32_t> TakeReleasedBuffers();

  // The stored object with that number; throws std::out_of_range("Unable to
  // find key in unordered_map.") when no such object is stored.
  GameObject& GetGameObject(uint32_t objNum);
  // The stored object registered under name; throws std::out_of_range
  // naming the object when the name is not registered.
  GameObject& GetGameObject(const std::string& name);
  // The number registered for name; throws std::out_of_range naming the
  // object when the name is not registered.
  uint32_t GetObjNum(const std::string& name) const;
  // Whether an object with that number is stored.
  bool HasObject(uint32_t objNum) const;

  Camera camera;
  std::vector<Light> lights;

  // Texture slots filled by the scene set-up; owned and freed by the app.
  Texture* randomNormTex = nullptr;          // the noise texture
  Texture* questionMarkTex = nullptr;
  Texture* currentInstructionTex = nullptr;  // the instruction page shown, or null
  Texture* instructionTex[6] = {nullptr, nullptr, nullptr, nullptr, nullptr, nullptr};

  ObjectTable objects;
  uint32_t objCounter = 0;  // the last number given out

  // The particle emitters, drawn by the renderer; main thread only.
  ParticleSystemController particles;

 private:
  friend class ObjectLock;  // the only way to take the lock
  void Lock();
  void Unlock();

  boost::mutex lock;  // guards objects, names and releasedBuffers; not recursive
  std::map<std::string, uint32_t> names;  // object name -> object number
  std::vector<uint32_t> releasedBuffers;  // buffer names waiting to be deleted
};

// Holds the ObjectManager's lock for one scope, so no exit path (an early
// return, an exception) leaves it held. Code that must not hold it for part
// of its work (adding an object, a long computation on a copy) ends the
// scope first.
class ObjectLock {
 public:
  explicit ObjectLock(ObjectManager& manager_ = ObjectManager::Instance()) : manager(manager_) {
    manager.Lock();
  }
  ~ObjectLock() { manager.Unlock(); }
  ObjectLock(const ObjectLock&) = delete;
  ObjectLock& operator=(const ObjectLock&) = delete;

 private:
  ObjectManager& manager;
};
