#include "scene/slice_command.h"

#include <algorithm>
#include <cfloat>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <ostream>
#include <sstream>
#include <vector>

#include "collision/collision_shapes.h"
#include "core/whole_file.h"
#include "geom/close_cut.h"
#include "geom/shell_nesting.h"
#include "geom/mass_properties.h"
#include "geom/mesh_splitter.h"
#include "scene/model_file.h"

namespace {

std::string Quoted(const std::string& text) {
  std::string out = "\"";
  for (const char ch : text) {
    if (ch == '"' || ch == '\\') {
      out += '\\';
      out += ch;
    } else if (static_cast<unsigned char>(ch) < 0x20) {
      char escaped[8];
      std::snprintf(escaped, sizeof escaped, "\\u%04x", static_cast<unsigned>(ch));
      out += escaped;
    } else {
      out += ch;
    }
  }
  return out + "\"";
}

std::string Number(double value) {
  char text[32];
  std::snprintf(text, sizeof text, "%.9g", value);
  return text;
}

// Positions and faces only (1-based indices), written whole or not at all.
bool WriteObj(const Mesh& mesh, const std::string& path, std::string& error) {
  std::string text;
  for (const Vertex& v : mesh.vertices)
    text += "v " + Number(v.x) + ' ' + Number(v.y) + ' ' + Number(v.z) + '\n';
  for (const Triangle& t : mesh.triangles)
    text += "f " + std::to_string(t.indices[0] + 1) + ' ' + std::to_string(t.indices[1] + 1) +
            ' ' + std::to_string(t.indices[2] + 1) + '\n';
  return WriteWholeFile(path, text, error);
}

}  // namespace

bool ParseSlicePlane(const std::string& text, double plane[4], std::string& error) {
  error = "--plane needs four numbers A,B,C,D with (A,B,C) not zero, got '" + text + "'";
  std::stringstream items(text);
  std::string item;
  int count = 0;
  while (std::getline(items, item, ',')) {
    if (count == 4 || item.empty()) return false;
    char* end = nullptr;
    const double value = std::strtod(item.c_str(), &end);
    if (end == item.c_str() || *end != '\0' || !std::isfinite(value)) return false;
    plane[count++] = value;
  }
  if (count != 4 || text.back() == ',') return false;
  // Scaled by its largest coefficient first, so that the squares below
  // neither overflow (1e200) nor vanish (1e-200) for any finite plane.
  const double largest = std::max({std::fabs(plane[0]), std::fabs(plane[1]), std::fabs(plane[2])});
  if (!(largest > 0.0)) return false;
  for (int i = 0; i < 4; ++i) plane[i] /= largest;
  const double length =
      std::sqrt(plane[0] * plane[0] + plane[1] * plane[1] + plane[2] * plane[2]);
  for (int i = 0; i < 4; ++i) plane[i] /= length;
  // The cut runs in float: a plane farther out than the largest float would
  // be put at infinity, where every side test fails (and the whole model
  // was reported on the wrong side).
  if (!(std::fabs(plane[3]) <= FLT_MAX)) {
    error = "--plane puts the plane " + Number(plane[3]) +
            " from the origin, farther than any float coordinate reaches";
    return false;
  }
  error.clear();
  return true;
}

int RunSliceCommand(const std::string& model, const std::string& planeText,
                    const std::string& outDir, std::ostream& out, std::ostream& err) {
  double plane[4];
  std::string error;
  if (!ParseSlicePlane(planeText, plane, error)) {
    err << "cleave: " << error << "\n";
    return 1;
  }
  if (outDir.empty()) {
    err << "cleave: --slice needs --out DIR\n";
    return 1;
  }
  Mesh source;
  ModelRepair repair;
  if (!LoadModelFile(model, source, error, &repair)) {
    err << "cleave: " << error << "\n";
    return 1;
  }
  std::error_code code;
  std::filesystem::create_directories(outDir, code);
  if (code || !std::filesystem::is_directory(outDir)) {
    err << "cleave: cannot make the folder \"" << outDir << "\""
        << (code ? " (" + code.message() + ")" : std::string()) << "\n";
    return 1;
  }

  const auto start = std::chrono::steady_clock::now();
  const Vector normal(static_cast<float>(plane[0]), static_cast<float>(plane[1]),
                      static_cast<float>(plane[2]));
  const Plane cut(normal, normal * static_cast<float>(plane[3]));
  SplitContext context;
  const BoundingBox bounds = ComputeBoundingBox(source, 1.0f);
  context.frontOctree.Init(bounds);
  context.backOctree.Init(bounds);
  Mesh halves[2];  // front, back
  SplitMesh(source, cut, halves[0], halves[1], context, OnPlaneTolerance(source));
  CloseCut(halves[0], context.frontCutSet);
  CloseCut(halves[1], context.backCutSet);
  std::vector<Mesh> parts[2];
  for (int side = 0; side < 2; ++side)
    if (halves[side].TriangleCount() > 0) parts[side] = SplitIntoSolids(halves[side]);
  const double milliseconds =
      std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();

  const std::string stem = std::filesystem::path(model).stem().string();
  const char* const sideNames[2] = {"front", "back"};
  std::string json = "{\"model\":" + Quoted(model) + ",\"plane\":[" + Number(plane[0]) + "," +
                     Number(plane[1]) + "," + Number(plane[2]) + "," + Number(plane[3]) +
                     "],\"holesFilled\":" + std::to_string(repair.filled.holes) +
                     ",\"trianglesAdded\":" + std::to_string(repair.filled.triangles) +
                     ",\"parts\":[";
  bool first = true;
  for (int side = 0; side < 2; ++side) {
    for (size_t k = 0; k < parts[side].size(); ++k) {
      const Mesh& part = parts[side][k];
      const std::string file = (std::filesystem::path(outDir) /
                                (stem + "_" + sideNames[side] + "_" + std::to_string(k) + ".obj"))
                                   .string();
      if (!WriteObj(part, file, error)) {
        err << "cleave: " << error << "\n";
        return 1;
      }
      json += std::string(first ? "" : ",") + "{\"file\":" + Quoted(file) + ",\"side\":\"" +
              sideNames[side] + "\",\"triangles\":" + std::to_string(part.TriangleCount()) +
              ",\"volume\":" + Number(EnclosedVolume(part)) +
              ",\"closed\":" + (CountOpenEdges(part) == 0 ? "true" : "false") + "}";
      first = false;
    }
  }
  json += "],\"milliseconds\":" + Number(milliseconds) + "}";
  out << json << std::endl;
  return 0;
}
