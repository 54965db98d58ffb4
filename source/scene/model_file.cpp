#include "scene/model_file.h"

#include <assimp/postprocess.h>
#include <assimp/scene.h>

#include <algorithm>
#include <assimp/Importer.hpp>
#include <chrono>
#include <cmath>
#include <cstring>
#include <unordered_map>
#include <utility>
#include <vector>

#include "core/diagnostics.h"
#include "core/settings.h"
#include "geom/close_cut.h"
#include "geom/model_solid.h"
#include "geom/mass_properties.h"
#include "math/bounding_box.h"
#include "scene/model_prescan.h"

namespace {

// Key of a position for welding: its three floats bit for bit (-0 and +0
// made equal), so only exactly identical positions merge.
struct PositionKey {
  uint32_t bits[3];
  bool operator==(const PositionKey& o) const {
    return bits[0] == o.bits[0] && bits[1] == o.bits[1] && bits[2] == o.bits[2];
  }
};
struct PositionKeyHash {
  size_t operator()(const PositionKey& k) const {
    return (k.bits[0] * 0x9E3779B1u) ^ (k.bits[1] * 0x85EBCA77u) ^ (k.bits[2] * 0xC2B2AE3Du);
  }
};
PositionKey KeyOf(float x, float y, float z) {
  PositionKey key;
  const float v[3] = {x + 0.0f, y + 0.0f, z + 0.0f};  // -0 + 0 = +0
  std::memcpy(key.bits, v, sizeof key.bits);
  return key;
}

// The bounding box of the vertices, in double; zero for a mesh without any.
void BoundsOf(const Mesh& mesh, double low[3], double high[3]) {
  for (int k = 0; k < 3; ++k)
    low[k] = high[k] = mesh.vertices.empty() ? 0.0 : mesh.vertices[0].Position()[k];
  for (const Vertex& v : mesh.vertices) {
    const double p[3] = {v.x, v.y, v.z};
    for (int k = 0; k < 3; ++k) {
      low[k] = std::min(low[k], p[k]);
      high[k] = std::max(high[k], p[k]);
    }
  }
}

// Reads the file's meshes into `mesh`, welded, as they come (see
// LoadModelFile); `error` is what is wrong, after the prefix.
bool ReadModelMesh(const std::string& file, Mesh& mesh, std::string& error) {
  std::string bytes;
  if (!ReadTextFile(file, bytes)) {
    error = "cannot read it (no such file, or not readable)";
    return false;
  }
  const ModelPrescan scan = PrescanModel(file, bytes);
  bytes = std::string();
  if (scan.result == ModelPrescan::Result::kRefused) {
    error = scan.error;
    return false;
  }
  Assimp::Importer importer;
  // ValidateDataStructure checks what the reader made (every face's
  // indices in range, mesh and node arrays consistent) before anything
  // else trusts it.
  const aiScene* scene =
      scan.result == ModelPrescan::Result::kConverted
          ? importer.ReadFileFromMemory(scan.objText.data(), scan.objText.size(),
                                        aiProcess_ValidateDataStructure, "obj")
          : importer.ReadFile(file, aiProcess_ValidateDataStructure);
  if (scene == nullptr) {
    error = std::string("cannot read it (") + importer.GetErrorString() + ")";
    return false;
  }
  // Triangulation takes every face for a polygon of at least one corner.
  for (unsigned m = 0; m < scene->mNumMeshes; ++m) {
    const aiMesh* source = scene->mMeshes[m];
    for (unsigned f = 0; f < source->mNumFaces; ++f) {
      const aiFace& face = source->mFaces[f];
      if (face.mNumIndices == 0 || face.mIndices == nullptr) {
        error = "face " + std::to_string(f) + " has no corners";
        return false;
      }
      for (unsigned c = 0; c < face.mNumIndices; ++c) {
        if (face.mIndices[c] >= source->mNumVertices) {
          error = "face " + std::to_string(f) + " names vertex " +
                  std::to_string(face.mIndices[c]) + " of " +
                  std::to_string(source->mNumVertices);
          return false;
        }
      }
    }
  }
  // PreTransformVertices places every mesh where the file's node tree puts
  // it (scaled, turned, moved, and once per node that uses it): the meshes
  // alone hold only their own local coordinates, and a glTF or Collada
  // model built of placed parts would otherwise come out as its parts
  // stacked at the origin. Faces of one or two corners (points and lines)
  // are sorted out and left aside.
  scene = importer.ApplyPostProcessing(aiProcess_Triangulate | aiProcess_JoinIdenticalVertices |
                                       aiProcess_SortByPType | aiProcess_PreTransformVertices);
  if (scene == nullptr) {
    error = std::string("cannot read it (") + importer.GetErrorString() + ")";
    return false;
  }

  mesh = Mesh();
  mesh.loadedModel = true;
  mesh.useTexCoords = false;
  std::unordered_map<PositionKey, uint32_t, PositionKeyHash> welded;
  std::vector<uint32_t> local;  // this aiMesh's vertex -> welded vertex
  for (unsigned m = 0; m < scene->mNumMeshes; ++m) {
    const aiMesh* source = scene->mMeshes[m];
    local.resize(source->mNumVertices);
    for (unsigned v = 0; v < source->mNumVertices; ++v) {
      const aiVector3D& p = source->mVertices[v];
      const auto found = welded.emplace(KeyOf(p.x, p.y, p.z), mesh.VertexCount());
      if (found.second) mesh.AddVertex(Vertex(p.x, p.y, p.z));
      local[v] = found.first->second;
    }
    for (unsigned f = 0; f < source->mNumFaces; ++f) {
      const aiFace& face = source->mFaces[f];
      if (face.mNumIndices != 3) continue;  // points and lines
      const uint32_t a = local[face.mIndices[0]], b = local[face.mIndices[1]],
                     c = local[face.mIndices[2]];
      if (a == b || b == c || c == a) continue;
      mesh.AddTriangle(a, b, c);
    }
  }
  return true;
}

// Holds a read mesh to the rules of a solid and winds it outwards.
bool CheckModelSolid(Mesh& mesh, ModelRepair& repair, std::string& error) {
  // A NaN or infinite coordinate would spread through the fitting, the mass
  // and the physics of everything the object touches.
  for (const Vertex& v : mesh.vertices) {
    if (!std::isfinite(v.x) || !std::isfinite(v.y) || !std::isfinite(v.z)) {
      error = "a vertex position is not a finite number";
      return false;
    }
  }
  if (mesh.TriangleCount() == 0) {
    error = "no triangles";
    return false;
  }
  // Holes filled, shells turned the right way, a volume enclosed.
  return MakeModelSolid(mesh, repair, error);
}

}  // namespace

bool LoadModelFile(const std::string& file, Mesh& mesh, std::string& error,
                   ModelRepair* repairs) {
  const std::string prefix = "Model \"" + file + "\": ";
  // A model of a million triangles takes seconds to read and check, before
  // any window opens: say what is going on.
  diagnostics::Log("Reading model \"" + file + "\"");
  const auto start = std::chrono::steady_clock::now();
  ModelRepair repair;
  if (!ReadModelMesh(file, mesh, error) || !CheckModelSolid(mesh, repair, error)) {
    error = prefix + error;
    return false;
  }
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  diagnostics::Log(prefix + std::to_string(mesh.TriangleCount()) + " triangles, " +
                   std::to_string(mesh.VertexCount()) + " vertices, read in " +
                   std::to_string(seconds) + " s");
  if (repair.filled.holes > 0)
    diagnostics::Log(prefix + "filled " + std::to_string(repair.filled.holes) + " holes with " +
                     std::to_string(repair.filled.triangles) + " triangles");
  if (repairs != nullptr) *repairs = repair;
  return true;
}

size_t CountOpenEdges(const Mesh& mesh) {
  // Every directed edge as its undirected key (smaller end high) and its
  // direction; sorted, the uses of both directions of an edge lie side by
  // side. A sort of a flat array, where a hash map of a million-triangle
  // model's three million edges took most of a second.
  struct Use {
    uint64_t edge;
    bool backward;  // from the larger end to the smaller
    bool operator<(const Use& o) const {
      return edge != o.edge ? edge < o.edge : backward < o.backward;
    }
  };
  std::vector<Use> uses;
  uses.reserve(mesh.triangles.size() * 3);
  for (const Triangle& t : mesh.triangles)
    for (int c = 0; c < 3; ++c) {
      const uint64_t a = t.indices[c], b = t.indices[(c + 1) % 3];
      uses.push_back(a < b ? Use{a << 32 | b, false} : Use{b << 32 | a, true});
    }
  std::sort(uses.begin(), uses.end());
  size_t open = 0;
  for (size_t k = 0; k < uses.size();) {
    size_t count[2] = {0, 0};  // forward, backward
    const uint64_t edge = uses[k].edge;
    for (; k < uses.size() && uses[k].edge == edge; ++k) ++count[uses[k].backward];
    if (edge >> 32 == (edge & 0xFFFFFFFFu)) {
      // An edge from a vertex to itself is its own reverse.
      if (count[1] != 1) open += count[1];
      continue;
    }
    // The uses of one direction are open unless the other occurs exactly once.
    if (count[1] != 1) open += count[0];
    if (count[0] != 1) open += count[1];
  }
  return open;
}

void FitToSize(Mesh& mesh, float size) {
  if (mesh.vertices.empty()) return;
  // In double: a model whose coordinates are finite floats may still span
  // more than the largest float (and would be scaled to a point).
  double low[3], high[3];
  BoundsOf(mesh, low, high);
  const double longest = std::max({high[0] - low[0], high[1] - low[1], high[2] - low[2]});
  const double scale = longest > 0.0 ? size / longest : 1.0;
  for (Vertex& v : mesh.vertices) {
    v.x = static_cast<float>((v.x - (low[0] + high[0]) / 2.0) * scale);
    v.y = static_cast<float>((v.y - (low[1] + high[1]) / 2.0) * scale);
    v.z = static_cast<float>((v.z - (low[2] + high[2]) / 2.0) * scale);
  }
}
