#pragma once
// StateHash: one 64-bit FNV-1a hash of the simulated state of every object,
// so that two runs of the same session can be compared cheaply, step by step
// or second by second, and the first place they part found.
//
// Hashed, object by object in ascending number: the number and the name
// (both relative to the lowest number in the table: numbers are never
// reused, so a second scene in one process counts on from the first; a cut
// piece's name "split_obj_<n>" carries a number too), position, orientation,
// velocities, mass and sleep flag of the body, and the mesh's vertices.

#include <cstdint>

#include "objects/object_manager.h"

// The hash of the table's objects; call with the ObjectManager lock held.
uint64_t StateHash(const ObjectManager::ObjectTable& objects);
