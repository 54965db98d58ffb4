#pragma once
// Model prescan: what is read from a model file before assimp sees it.
// Some of assimp's readers size their arrays from the counts a file
// declares, so a small file that claims billions of vertices would take
// all the memory there is; and its OFF reader misreads comment lines and
// polygons. PLY files are walked here element by element against their
// size (every declared count and list length must fit in the bytes that
// follow), and OFF files are read here and handed on as OBJ text, which
// assimp triangulates and validates like any OBJ. Ordinary variants
// assimp's readers refuse or misread are mended before they see them: a
// binary STL whose triangle count disagrees with its size, an ASCII STL in
// capitals or after blank lines, an OBJ with a byte order mark, indented
// lines or comments after a line's data. A file nested deeper than any
// model needs is refused, as assimp's parsers recurse once per level.

#include <cstddef>
#include <string>

struct ModelPrescan {
  enum class Result { kUntouched, kConverted, kRefused } result = Result::kUntouched;
  std::string text;            // kConverted: the model as the importer is to read it
  const char* format = "obj";  // kConverted: the format of `text`, as a file extension
  std::string error;           // kRefused: what is wrong, without the file name
};

// Looks at `bytes`, the whole contents of a model file named `file`: a
// ".ply" extension or a start "ply" (any case) picks PLY, an ".off"
// extension (any case) or a start "OFF" picks OFF, an ".stl" extension or a
// start "solid" picks STL, an ".obj" extension OBJ; anything else is left
// to assimp untouched once its nesting is checked (brackets of JSON or
// other text, XML elements, AC3D objects), and for glTF its binary chunks'
// lengths and its sparse accessors.
ModelPrescan PrescanModel(const std::string& file, const std::string& bytes);

// The deepest nesting of [ and { in JSON `text`, outside its strings: what
// a recursive JSON parser (assimp's, Boost's) takes in stack frames.
size_t JsonNestingDepth(const std::string& text);
