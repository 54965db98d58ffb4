#pragma once
// Model prescan: what is read from a model file before assimp sees it.
// Some of assimp's readers size their arrays from the counts a file
// declares, so a small file that claims billions of vertices would take
// all the memory there is; and its OFF reader misreads comment lines and
// polygons. PLY files are walked here element by element against their
// size (every declared count and list length must fit in the bytes that
// follow), and OFF files are read here and handed on as OBJ text, which
// assimp triangulates and validates like any OBJ.

#include <string>

struct ModelPrescan {
  enum class Result { kUntouched, kConverted, kRefused } result = Result::kUntouched;
  std::string objText;  // kConverted: the model as OBJ text
  std::string error;    // kRefused: what is wrong, without the file name
};

// Looks at `bytes`, the whole contents of a model file named `file`: a
// ".ply" extension or a start "ply" (any case) picks PLY, an ".off"
// extension (any case) or a start "OFF" picks OFF; anything else is left to
// assimp untouched.
ModelPrescan PrescanModel(const std::string& file, const std::string& bytes);
