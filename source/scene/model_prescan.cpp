#include "scene/model_prescan.h"

#include <algorithm>
#include <boost/property_tree/json_parser.hpp>
#include <boost/property_tree/ptree.hpp>
#include <cctype>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <iterator>
#include <sstream>
#include <utility>
#include <vector>

namespace {

// Words of a text one at a time, with '#' comments (to the end of their
// line) left out when `comments` is set.
class Words {
 public:
  Words(const std::string& text, size_t start, bool comments)
      : text_(text), at_(start), comments_(comments) {}

  // The next word, or false at the end of the text.
  bool Next(std::string& word) {
    for (;;) {
      while (at_ < text_.size() && std::isspace(static_cast<unsigned char>(text_[at_]))) ++at_;
      if (comments_ && at_ < text_.size() && text_[at_] == '#') {
        while (at_ < text_.size() && text_[at_] != '\n') ++at_;
        continue;
      }
      break;
    }
    if (at_ >= text_.size()) return false;
    const size_t start = at_;
    while (at_ < text_.size() && !std::isspace(static_cast<unsigned char>(text_[at_])) &&
           !(comments_ && text_[at_] == '#'))
      ++at_;
    word.assign(text_, start, at_ - start);
    return true;
  }
  // Skips to the start of the next line.
  void EndLine() {
    while (at_ < text_.size() && text_[at_] != '\n') ++at_;
  }
  size_t Remaining() const { return text_.size() - at_; }

 private:
  const std::string& text_;
  size_t at_;
  bool comments_;
};

// At most the first 20 bytes of a word read from the file, for a message:
// bytes that are not printable ASCII (a line end, a control, half of a
// UTF-8 letter) as '?', so the message stays one readable line.
std::string Shown(const std::string& word) {
  std::string shown = word.substr(0, 20);
  for (char& c : shown)
    if (static_cast<unsigned char>(c) < 0x20 || static_cast<unsigned char>(c) >= 0x7F) c = '?';
  return shown;
}

bool ReadCount(const std::string& word, uint64_t& count) {
  if (word.empty() || !std::isdigit(static_cast<unsigned char>(word[0]))) return false;
  char* end = nullptr;
  count = std::strtoull(word.c_str(), &end, 10);
  // Larger counts are refused by the size checks; this bound keeps their
  // sums and products in range.
  return *end == '\0' && count < (uint64_t(1) << 48);
}

bool ReadNumber(const std::string& word, double& value) {
  char* end = nullptr;
  value = std::strtod(word.c_str(), &end);
  return end != word.c_str() && *end == '\0';
}

// OFF: an optional keyword line ([ST][C][N][4][n]OFF), the vertex, face and
// edge counts, then one vertex per line (x y z, then colours or normals the
// prefixes announce) and one face per line (corner count, corner indices,
// then an optional colour). Only the positions and the faces are kept.
ModelPrescan ReadOff(const std::string& bytes) {
  ModelPrescan scan;
  scan.result = ModelPrescan::Result::kRefused;
  Words words(bytes, 0, true);
  std::string word;
  if (!words.Next(word)) {
    scan.error = "empty OFF file";
    return scan;
  }
  if (word.size() >= 3 && word.compare(word.size() - 3, 3, "OFF") == 0) {
    if (word.find('n') != std::string::npos || word.find('4') != std::string::npos) {
      scan.error = "OFF files of other than three dimensions are not supported";
      return scan;
    }
    if (!words.Next(word)) word.clear();
  }
  if (word == "BINARY") {
    scan.error = "binary OFF files are not supported";
    return scan;
  }
  uint64_t vertexCount = 0, faceCount = 0, edgeCount = 0;
  std::string faceWord, edgeWord;
  if (!ReadCount(word, vertexCount) || !words.Next(faceWord) || !ReadCount(faceWord, faceCount) ||
      !words.Next(edgeWord) || !ReadCount(edgeWord, edgeCount)) {
    scan.error = "no vertex, face and edge counts after the OFF keyword";
    return scan;
  }
  words.EndLine();
  // Each vertex takes at least "0 0 0" and a line end, each face "3 0 1 2"
  // and one: counts the rest of the file cannot hold are refused before
  // anything is sized by them.
  if (vertexCount * 6 + faceCount * 8 > words.Remaining() + 2) {
    scan.error = "the header declares " + std::to_string(vertexCount) + " vertices and " +
                 std::to_string(faceCount) + " faces, more than the file's " +
                 std::to_string(bytes.size()) + " bytes can hold";
    return scan;
  }
  if (vertexCount >= (uint64_t(1) << 32)) {
    scan.error = "more than 2^32 vertices";
    return scan;
  }
  std::string& obj = scan.text;
  obj.reserve(bytes.size() + (vertexCount + faceCount) * 8);
  for (uint64_t v = 0; v < vertexCount; ++v) {
    double xyz[3];
    for (double& value : xyz) {
      if (!words.Next(word) || !ReadNumber(word, value)) {
        scan.error = "vertex " + std::to_string(v) + " of " + std::to_string(vertexCount) +
                     " is missing or not three numbers";
        return scan;
      }
    }
    char line[96];
    std::snprintf(line, sizeof line, "v %.17g %.17g %.17g\n", xyz[0], xyz[1], xyz[2]);
    obj += line;
    words.EndLine();
  }
  for (uint64_t f = 0; f < faceCount; ++f) {
    uint64_t corners = 0;
    const std::string where = "face " + std::to_string(f) + " of " + std::to_string(faceCount);
    if (!words.Next(word) || !ReadCount(word, corners)) {
      scan.error = where + " is missing or has no corner count";
      return scan;
    }
    if (corners < 3) {
      scan.error = where + " has " + std::to_string(corners) + " corners, fewer than 3";
      return scan;
    }
    obj += 'f';
    for (uint64_t c = 0; c < corners; ++c) {
      uint64_t index = 0;
      if (!words.Next(word) || !ReadCount(word, index) || index >= vertexCount) {
        scan.error = where + " names a vertex that is not one of the " +
                     std::to_string(vertexCount) + " (\"" + Shown(word) + "\")";
        return scan;
      }
      obj += ' ' + std::to_string(index + 1);
    }
    obj += '\n';
    words.EndLine();
  }
  scan.result = ModelPrescan::Result::kConverted;
  return scan;
}

// Bytes a PLY property type takes in a binary file; 0 for an unknown type.
size_t PlyTypeSize(const std::string& type) {
  if (type == "char" || type == "uchar" || type == "int8" || type == "uint8") return 1;
  if (type == "short" || type == "ushort" || type == "int16" || type == "uint16") return 2;
  if (type == "int" || type == "uint" || type == "int32" || type == "uint32" ||
      type == "float" || type == "float32")
    return 4;
  if (type == "double" || type == "float64") return 8;
  return 0;
}

struct PlyProperty {
  size_t size = 0;       // a scalar's bytes, or a list's items' bytes
  size_t countSize = 0;  // a list's count's bytes; 0 for a scalar
};
struct PlyElement {
  std::string name;
  uint64_t count = 0;
  std::vector<PlyProperty> properties;
};

// Reads a binary list count of `size` bytes at `at`.
uint64_t ReadBinaryCount(const std::string& bytes, size_t at, size_t size, bool bigEndian) {
  uint64_t value = 0;
  for (size_t k = 0; k < size; ++k) {
    const uint64_t byte = static_cast<unsigned char>(bytes[at + (bigEndian ? k : size - 1 - k)]);
    value = value << 8 | byte;
  }
  return value;
}

// Whether only spaces or tabs stand between `at` and the end of its line.
bool LineEndsAt(const std::string& bytes, size_t at) {
  while (at < bytes.size() && (bytes[at] == ' ' || bytes[at] == '\t')) ++at;
  return bytes.compare(at, 1, "\n") == 0 || bytes.compare(at, 2, "\r\n") == 0;
}

// PLY: the header is read and the body walked element by element, property
// by property, so that every declared count and list length is known to fit
// in the file before assimp allocates for it.
ModelPrescan CheckPly(const std::string& bytes) {
  ModelPrescan scan;
  scan.result = ModelPrescan::Result::kRefused;
  // The header ends at a line that is "end_header" alone (spaces after it
  // are let pass, as assimp does).
  size_t headerEnd = bytes.find("\nend_header");
  while (headerEnd != std::string::npos && !LineEndsAt(bytes, headerEnd + 11))
    headerEnd = bytes.find("\nend_header", headerEnd + 1);
  if (headerEnd == std::string::npos) {
    scan.error = "PLY header without an end_header line";
    return scan;
  }
  ++headerEnd;
  const std::string headerText = bytes.substr(0, headerEnd);
  Words header(headerText, 0, false);
  std::string format, word;
  std::vector<PlyElement> elements;
  header.Next(word);  // "ply"
  while (header.Next(word)) {
    if (word == "format") {
      header.Next(format);
    } else if (word == "element") {
      PlyElement element;
      std::string count;
      header.Next(element.name);
      if (!header.Next(count) || !ReadCount(count, element.count)) {
        scan.error = "PLY element \"" + Shown(element.name) + "\" without a count";
        return scan;
      }
      // assimp sizes its arrays by the first "vertex" (or "face") element
      // and fills them from every one: a second overran the first's.
      for (const PlyElement& before : elements)
        if (before.name == element.name) {
          scan.error = "PLY element \"" + Shown(element.name) + "\" is declared twice";
          return scan;
        }
      elements.push_back(element);
    } else if (word == "property") {
      PlyProperty property;
      std::string type;
      header.Next(type);
      if (type == "list") {
        std::string countType;
        header.Next(countType);
        header.Next(type);
        property.countSize = PlyTypeSize(countType);
        if (property.countSize == 0 || property.countSize == 8) {
          scan.error = "PLY list with count type \"" + Shown(countType) + "\"";
          return scan;
        }
      }
      property.size = PlyTypeSize(type);
      if (property.size == 0 || elements.empty()) {
        scan.error = "PLY property of type \"" + Shown(type) + "\" outside an element";
        return scan;
      }
      elements.back().properties.push_back(property);
    }
    // Any other line ("comment", "obj_info", or no keyword at all, as the
    // "Created by ..." line of older Blender exports) declares nothing and
    // is passed over, as assimp passes over it.
    header.EndLine();
  }
  const bool ascii = format == "ascii";
  const bool bigEndian = format == "binary_big_endian";
  if (!ascii && !bigEndian && format != "binary_little_endian") {
    scan.error = "PLY format \"" + Shown(format) + "\" is not ascii or binary";
    return scan;
  }
  size_t at = bytes.find('\n', headerEnd);
  at = at == std::string::npos ? bytes.size() : at + 1;
  Words body(bytes, at, false);
  for (const PlyElement& element : elements) {
    // Even an element without properties takes a line in an ASCII file.
    if (ascii && element.count > body.Remaining()) at = bytes.size() + 1;
    for (uint64_t k = 0; k < element.count && at <= bytes.size(); ++k) {
      for (const PlyProperty& property : element.properties) {
        uint64_t items = 0;
        if (ascii) {
          if (!body.Next(word) ||
              (property.countSize != 0 && !ReadCount(word, items))) {
            at = bytes.size() + 1;
            break;
          }
          // Each item takes a character and a separator.
          if (items * 2 > body.Remaining() + 1) {
            at = bytes.size() + 1;
            break;
          }
          for (uint64_t i = 0; i < items; ++i) body.Next(word);
          continue;
        }
        if (property.countSize != 0) {
          if (bytes.size() - at < property.countSize) {
            at = bytes.size() + 1;
            break;
          }
          items = ReadBinaryCount(bytes, at, property.countSize, bigEndian);
          at += property.countSize;
        } else {
          items = 1;
        }
        if ((bytes.size() - at) / property.size < items) {
          at = bytes.size() + 1;
          break;
        }
        at += items * property.size;
      }
      if (!ascii && element.properties.empty()) ++at;  // nothing to read: one byte as the bound
    }
    if (at > bytes.size()) {
      scan.error = "the file ends before the " + std::to_string(element.count) + " \"" +
                   Shown(element.name) + "\" elements its header declares";
      return scan;
    }
  }
  scan.result = ModelPrescan::Result::kUntouched;
  return scan;
}

// Whether `text` begins with `start`, in any case.
bool StartsLike(const std::string& text, const std::string& start) {
  if (text.size() < start.size()) return false;
  for (size_t k = 0; k < start.size(); ++k)
    if (std::tolower(static_cast<unsigned char>(text[k])) != start[k]) return false;
  return true;
}

bool EndsWith(const std::string& file, const std::string& ending) {
  return file.size() >= ending.size() &&
         StartsLike(file.substr(file.size() - ending.size()), ending);
}

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

ModelPrescan Refused(const std::string& error) {
  ModelPrescan scan;
  scan.result = ModelPrescan::Result::kRefused;
  scan.error = error;
  return scan;
}

ModelPrescan Converted(std::string text, const char* format) {
  ModelPrescan scan;
  scan.result = ModelPrescan::Result::kConverted;
  scan.text = std::move(text);
  scan.format = format;
  return scan;
}

// STL: ASCII when it starts "solid" (after blank lines, in any case) and
// the next line's word is "facet" or "endsolid"; else binary:
// an 80-byte header, a triangle count, 50 bytes a triangle. assimp takes a
// file for binary only when its size is exactly what the count makes, and
// otherwise for ASCII when it starts "solid", as many binary headers do:
// so a binary file whose count is off (left 0 by a writer that streams, or
// followed by padding) is refused, or read as text that holds nothing.
// Here a body of whole triangles is read whatever the count says, trailing
// bytes after the counted triangles are left aside, and a count past the
// end is a file cut short. assimp's text reader knows its keywords only in
// lower case, at the very start of the file.
ModelPrescan CheckStl(const std::string& bytes) {
  size_t start = bytes.compare(0, 3, "\xEF\xBB\xBF") == 0 ? 3 : 0;  // a byte order mark
  while (start < bytes.size() && IsBlank(bytes[start])) ++start;
  if (StartsLike(bytes.substr(start, 5), "solid")) {
    size_t next = std::min(bytes.find_first_of("\r\n", start), bytes.size());
    while (next < bytes.size() && IsBlank(bytes[next])) ++next;
    const std::string word = bytes.substr(std::min(next, bytes.size()), 8);
    if (StartsLike(word, "facet") || StartsLike(word, "endsolid")) {
      if (start == 0 && bytes.compare(0, 5, "solid") == 0 &&
          (word.compare(0, 5, "facet") == 0 || word.compare(0, 8, "endsolid") == 0))
        return ModelPrescan();
      std::string text = bytes.substr(start);
      for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
      return Converted(std::move(text), "stl");
    }
  }
  if (bytes.size() < 84)
    return Refused("neither an ASCII STL (\"solid\", then facets) nor a binary one (" +
                   std::to_string(bytes.size()) + " bytes, fewer than its 84-byte header)");
  const uint64_t declared = ReadBinaryCount(bytes, 80, 4, false);
  const uint64_t room = (bytes.size() - 84) / 50;
  const bool whole = (bytes.size() - 84) % 50 == 0;
  if (whole && declared == room) return ModelPrescan();
  uint64_t count = room;
  if (!whole) {
    if (declared == 0 || declared > room)
      return Refused("the binary STL header declares " + std::to_string(declared) +
                     " triangles; the file's " + std::to_string(bytes.size()) + " bytes hold " +
                     std::to_string(room) + " and part of another");
    count = declared;
  }
  std::string text = bytes.substr(0, 84 + count * 50);
  for (int k = 0; k < 4; ++k) text[80 + k] = static_cast<char>(count >> (8 * k) & 0xFF);
  return Converted(std::move(text), "stl");
}

// Where a '#' starts a comment in the line bytes [at, end); `end` if none.
size_t CommentAt(const std::string& bytes, size_t at, size_t end) {
  return static_cast<size_t>(std::find(bytes.begin() + at, bytes.begin() + end, '#') -
                             bytes.begin());
}

// OBJ: assimp's reader skips a line that does not start with its keyword
// (an indented line, or the first line after a UTF-8 byte order mark) and
// takes a comment after a face's corners for a corner. Such files are
// handed on with the mark, the indentation and the trailing comments taken
// out; others are left as they are.
ModelPrescan CheckObj(const std::string& bytes) {
  const bool mark = bytes.compare(0, 3, "\xEF\xBB\xBF") == 0;
  bool mend = mark;
  const size_t first = mark ? 3 : 0;
  for (size_t at = first; at < bytes.size() && !mend;) {
    const size_t end = std::min(bytes.find_first_of("\r\n", at), bytes.size());
    mend = (bytes[at] == ' ' || bytes[at] == '\t') ||
           (bytes[at] != '#' && CommentAt(bytes, at, end) < end);
    at = end + 1;
  }
  if (!mend) return ModelPrescan();
  std::string text;
  text.reserve(bytes.size());
  for (size_t at = first; at < bytes.size();) {
    size_t end = bytes.find_first_of("\r\n", at);
    if (end == std::string::npos) end = bytes.size();
    size_t from = at;
    while (from < end && (bytes[from] == ' ' || bytes[from] == '\t')) ++from;
    size_t to = end;
    if (from < end && bytes[from] != '#') to = CommentAt(bytes, from, end);
    text.append(bytes, from, to - from);
    if (end < bytes.size()) text += bytes[end];
    at = end + 1;
  }
  return Converted(std::move(text), "obj");
}

// The deepest nesting of [ and { in bytes [begin, end), outside strings in
// double quotes (with JSON's backslash escapes when `escapes`).
size_t NestingDepth(const std::string& bytes, size_t begin, size_t end, bool escapes) {
  size_t depth = 0, deepest = 0;
  bool quoted = false;
  for (size_t k = begin; k < end; ++k) {
    const char c = bytes[k];
    if (quoted) {
      if (escapes && c == '\\')
        ++k;
      else if (c == '"')
        quoted = false;
    } else if (c == '"') {
      quoted = true;
    } else if (c == '[' || c == '{') {
      deepest = std::max(deepest, ++depth);
    } else if ((c == ']' || c == '}') && depth > 0) {
      --depth;
    }
  }
  return deepest;
}

// The deepest nesting of XML elements: each start tag opens one, each end
// tag and each "/>" closes one (declarations, comments and <!...> left aside).
size_t ElementDepth(const std::string& bytes) {
  size_t depth = 0, deepest = 0;
  for (size_t k = 0; k + 1 < bytes.size(); ++k) {
    if (bytes[k] == '<' && bytes[k + 1] == '/') {
      if (depth > 0) --depth;
    } else if (bytes[k] == '<' && bytes[k + 1] != '?' && bytes[k + 1] != '!') {
      deepest = std::max(deepest, ++depth);
    } else if (bytes[k] == '/' && bytes[k + 1] == '>' && depth > 0) {
      --depth;
    }
  }
  return deepest;
}

// The deepest nesting of AC3D objects: an object's "kids N" line is
// followed by its N children, each an object with its own kids.
size_t AcDepth(const std::string& bytes) {
  std::vector<uint64_t> open;  // children still to come, for each open object
  size_t deepest = 0;
  for (size_t at = bytes.find("\nkids "); at != std::string::npos;
       at = bytes.find("\nkids ", at + 1)) {
    const uint64_t kids = std::strtoull(bytes.c_str() + at + 6, nullptr, 10);
    if (kids > 0) {
      open.push_back(kids);
      deepest = std::max(deepest, open.size());
      continue;
    }
    // A leaf ends its parent, and that one its own, when it was the last.
    while (!open.empty() && --open.back() == 0) open.pop_back();
  }
  return deepest;
}

// Bytes of one element of a glTF accessor of `type` and `componentType`; 0
// for an unknown one.
uint64_t GltfElementSize(const std::string& type, int componentType) {
  const int component = componentType == 5120 || componentType == 5121   ? 1
                        : componentType == 5122 || componentType == 5123 ? 2
                        : componentType == 5125 || componentType == 5126 ? 4
                                                                         : 0;
  const int items = type == "SCALAR" ? 1
                    : type == "VEC2" ? 2
                    : type == "VEC3" ? 3
                    : type == "VEC4" || type == "MAT2" ? 4
                    : type == "MAT3" ? 9
                    : type == "MAT4" ? 16
                                     : 0;
  return static_cast<uint64_t>(component) * items;
}

// A sparse glTF accessor replaces `count` of its elements by values read
// from one buffer view at indices read from another. assimp reads all
// `count` of each without looking at the views' lengths, so a count larger
// than they hold reads past the end of its buffer (and a large one crashes):
// each sparse accessor's views are checked to hold its indices and values.
ModelPrescan CheckSparse(const std::string& json) {
  using boost::property_tree::ptree;
  if (json.find("\"sparse\"") == std::string::npos) return ModelPrescan();
  ptree root;
  try {
    std::istringstream in(json);
    boost::property_tree::read_json(in, root);
  } catch (const boost::property_tree::json_parser_error& error) {
    // Not JSON, or not UTF-8: assimp's own parser takes bytes it should
    // refuse, and then reads the sparse accessor that the check could not
    // see (a "bufferView" key with a stray byte crashed it).
    return Refused("glTF JSON is malformed (" + error.message() + " on line " +
                   std::to_string(error.line()) + ")");
  }
  const auto views = root.get_child_optional("bufferViews");
  const auto accessors = root.get_child_optional("accessors");
  if (!accessors) return ModelPrescan();
  int k = -1;
  for (const auto& entry : *accessors) {
    ++k;
    const ptree& accessor = entry.second;
    const auto sparse = accessor.get_child_optional("sparse");
    if (!sparse) continue;
    // Within the number of elements a view can hold, or refused.
    const auto fits = [&](const char* part, uint64_t count, uint64_t size) {
      const auto view = sparse->get_optional<uint64_t>(std::string(part) + ".bufferView");
      if (!view || !views || *view >= views->size() || size == 0) return false;
      const ptree& v = std::next(views->begin(), static_cast<long>(*view))->second;
      const uint64_t length = v.get<uint64_t>("byteLength", 0);
      const uint64_t offset = sparse->get<uint64_t>(std::string(part) + ".byteOffset", 0);
      return offset <= length && count <= (length - offset) / size;
    };
    bool sound = false;
    try {
      const uint64_t count = sparse->get<uint64_t>("count");
      const uint64_t indexSize =
          GltfElementSize("SCALAR", sparse->get<int>("indices.componentType"));
      const uint64_t valueSize = GltfElementSize(accessor.get<std::string>("type", ""),
                                                 accessor.get<int>("componentType", 0));
      sound = count <= accessor.get<uint64_t>("count", 0) && fits("indices", count, indexSize) &&
              fits("values", count, valueSize);
    } catch (const std::exception&) {
      sound = false;  // a member missing, or not a number
    }
    if (!sound)
      return Refused("glTF sparse accessor " + std::to_string(k) +
                     " replaces more elements than it has, or than its buffer views hold");
  }
  return ModelPrescan();
}

// A glTF's JSON, a text model of another format nested with brackets (FBX,
// DirectX, ASE), an XML one (Collada) or an AC3D one: assimp's parsers
// recurse once per level, so a small file that opens a million of them
// would overflow the stack. No model needs more than a few dozen levels.
ModelPrescan CheckNesting(const std::string& bytes) {
  constexpr size_t kDeepest = 256;
  size_t start = 0;
  while (start < bytes.size() && IsBlank(bytes[start])) ++start;
  size_t depth = 0;
  std::string json;  // a glTF's JSON, when the file is one
  if (bytes.compare(0, 4, "glTF") == 0) {  // binary glTF: its first chunk is the JSON
    // assimp allocates each chunk as long as its header says before it
    // reads it: 4 GiB for a small file that claims so.
    const uint64_t length = bytes.size() >= 20 ? ReadBinaryCount(bytes, 12, 4, false) : 0;
    const uint64_t binary = 28 + length <= bytes.size() ? 20 + length : 0;
    if (bytes.size() < 20 || length > bytes.size() - 20 ||
        (binary != 0 && ReadBinaryCount(bytes, binary, 4, false) > bytes.size() - binary - 8))
      return Refused("a binary glTF chunk is longer than the rest of the file");
    depth = NestingDepth(bytes, 20, 20 + length, true);
    json = bytes.substr(20, length);
  } else if (bytes.compare(0, 4, "AC3D") == 0) {
    depth = AcDepth(bytes);
  } else if (start < bytes.size() && bytes[start] == '<') {
    depth = ElementDepth(bytes);
  } else if (start < bytes.size() && (bytes[start] == '{' || bytes[start] == '[')) {
    depth = NestingDepth(bytes, 0, bytes.size(), true);
    if (depth <= kDeepest) return CheckSparse(bytes);
  } else if (bytes.find('\0') == std::string::npos) {
    // Binary files other than glTF hold brackets as any other byte.
    depth = NestingDepth(bytes, 0, bytes.size(), false);
  }
  if (depth > kDeepest)
    return Refused("nested more than " + std::to_string(kDeepest) + " levels deep");
  return CheckSparse(json);
}

}  // namespace

ModelPrescan PrescanModel(const std::string& file, const std::string& bytes) {
  // assimp takes any file that starts "ply" for a PLY, whatever follows.
  if (EndsWith(file, ".ply") || StartsLike(bytes, "ply")) {
    if ((bytes.compare(0, 3, "ply") == 0 || bytes.compare(0, 3, "PLY") == 0) &&
        LineEndsAt(bytes, 3))
      return CheckPly(bytes);
    ModelPrescan scan;
    scan.result = ModelPrescan::Result::kRefused;
    scan.error = "a PLY file starts with the line \"ply\"";
    return scan;
  }
  if (EndsWith(file, ".off") || bytes.compare(0, 3, "OFF") == 0) return ReadOff(bytes);
  if (EndsWith(file, ".stl") || bytes.compare(0, 5, "solid") == 0) return CheckStl(bytes);
  if (EndsWith(file, ".obj")) return CheckObj(bytes);
  return CheckNesting(bytes);
}

size_t JsonNestingDepth(const std::string& text) { return NestingDepth(text, 0, text.size(), true); }
