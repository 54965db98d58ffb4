#pragma once
// SceneImage: the picture the three passes drew (before the overlays),
// kept while nothing it shows changes, so that a still scene seen by a
// still camera is not drawn again every frame. On a software renderer the
// passes cost some 10 ms at 800 x 600; copying the kept picture into the
// window instead costs a fraction of one.
//
// What the passes draw from is summed up in a fingerprint (SceneFingerprint:
// the camera, the viewport size, every drawn object's place, turn, scale
// and mesh, and a count of mesh uploads and releases). A picture is kept
// only once two frames in a row had the same fingerprint (the scene has
// come to rest), and drawn instead of the passes while the fingerprint
// stays the one it was kept under. Main thread (GL context) only.

#include <cstdint>

class ObjectManager;

// The fingerprint of what the passes would draw. `meshChanges` counts the
// frames in which vertex buffers were made or released (a re-meshed object
// may get its old buffer names back). Call with the ObjectLock held.
uint64_t SceneFingerprint(const ObjectManager& objects, int width, int height,
                          uint64_t meshChanges);

class SceneImage {
 public:
  SceneImage() = default;
  SceneImage(const SceneImage&) = delete;
  SceneImage& operator=(const SceneImage&) = delete;
  // Leaves the GL objects alone (the context may be gone by then): the
  // owner calls Release while it is current.
  ~SceneImage() = default;

  // Whether the picture kept is the one for `fingerprint`.
  bool Holds(uint64_t fingerprint) const { return kept && keptFingerprint == fingerprint; }
  // Copies the kept picture into the window's back buffer, pixel for pixel.
  void Draw() const;
  // The passes have just drawn the picture for `fingerprint` into the back
  // buffer of a viewWidth x viewHeight window: keeps a copy when the frame
  // before had the same fingerprint, otherwise forgets any copy.
  void Offer(uint64_t fingerprint, int viewWidth, int viewHeight);
  // Forgets the picture and frees its texture and framebuffer.
  void Release();

 private:
  // Copies width x height pixels from one framebuffer to another (0: the
  // window's back buffer).
  void Blit(uint32_t from, uint32_t to) const;

  uint32_t texture = 0, framebuffer = 0;  // the copy, and the framebuffer around it
  int width = 0, height = 0;
  bool kept = false;
  uint64_t keptFingerprint = 0;
  bool havePrevious = false;
  uint64_t previousFingerprint = 0;
};
