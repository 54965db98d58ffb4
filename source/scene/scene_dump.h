#pragma once
// The scene dump: a plain-text snapshot of every game object, written at
// shutdown when the program is run with --dump-scene FILE. Tests and users
// read it to see where things ended up without a window.
//
// Format: JSON lines. One object per line for every game object, in
// ascending object number:
//   {"name":"obj4","number":3,"position":[x,y,z],"orientation":[s,x,y,z],
//    "mass":335.103,"triangles":264,"vertices":134,"openEdges":0,
//    "bottom":0.0012,"speed":0.0003,"velocity":[x,y,z],
//    "angularVelocity":[x,y,z],"sleeping":true,"dead":false}
// then one last line {"tutorialPage":N} with N = 1..6 for the page shown and
// 0 when the pages are hidden.
//
// "mass", "speed" (length of the linear velocity), "velocity" (linear,
// units/s, world frame), "angularVelocity" (rad/s, world frame) and
// "sleeping" (Physics has put the body to sleep: it rests and costs no
// solver work until something wakes it) are null for an object without a
// PhysicsComp; "triangles", "vertices", "openEdges" (directed
// edges without exactly one reverse, CountOpenEdges: 0 for a closed surface) and
// "bottom" (the lowest world height of the mesh) need a ModelComp and are
// 0 / null without one. A value that is not finite is written as null,
// since JSON has no NaN: a reader that finds null in a position has found a
// broken body.

#include <cstdint>
#include <iosfwd>
#include <string>

#include "objects/object_manager.h"
#include "scene/model_file.h"  // CountOpenEdges

class GameObject;
class Mesh;

// One JSON object (no line feed) describing obj, registered under number.
std::string SceneDumpLine(const GameObject& obj, uint32_t number);

// Every object of the table, in ascending number, then the tutorial line.
void WriteSceneDump(std::ostream& out, const ObjectManager::ObjectTable& objects, int tutorialPage);

// WriteSceneDump of the ObjectManager's table into the file at path, under
// the ObjectManager lock, whole or not at all (WriteWholeFile). A file that
// cannot be written is an Error (the run ends, with exit status 1); returns
// false then.
bool WriteSceneDumpFile(const std::string& path, int tutorialPage);
