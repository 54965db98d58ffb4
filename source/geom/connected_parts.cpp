#include "geom/connected_parts.h"

#include <cstdint>
#include <utility>
#include <string>

#include "core/diagnostics.h"

namespace {

constexpr uint32_t kNone = UINT32_MAX;

// Union-find over vertex indices with path halving and union by size.
class DisjointSets {
 public:
  explicit DisjointSets(uint32_t count) : parent(count), size(count, 1) {
    for (uint32_t i = 0; i < count; ++i) parent[i] = i;
  }
  uint32_t Find(uint32_t v) {
    while (parent[v] != v) {
      parent[v] = parent[parent[v]];
      v = parent[v];
    }
    return v;
  }
  void Join(uint32_t a, uint32_t b) {
    a = Find(a);
    b = Find(b);
    if (a == b) return;
    if (size[a] < size[b]) std::swap(a, b);
    parent[b] = a;
    size[a] += size[b];
  }

 private:
  std::vector<uint32_t> parent, size;
};

// Every field but the two arrays and the GL buffer names.
void CopyMeshFields(const Mesh& from, Mesh& to) {
  to.name = from.name;
  to.useTexCoords = from.useTexCoords;
  to.useColours = from.useColours;
  to.extraFlag0 = from.extraFlag0;
  to.extraFlag1 = from.extraFlag1;
  to.extraWord = from.extraWord;
  for (int i = 0; i < 3; ++i) to.extraVectors[i] = from.extraVectors[i];
  to.extraFloat = from.extraFloat;
  to.extraFlag2 = from.extraFlag2;
  to.wordArray0 = from.wordArray0;
  to.wordArray1 = from.wordArray1;
  to.extraFlag3 = from.extraFlag3;
  to.extraWords[0] = from.extraWords[0];
  to.extraWords[1] = from.extraWords[1];
}

}  // namespace

std::vector<Mesh> SplitIntoConnectedParts(const Mesh& mesh) {
  const uint32_t vertexCount = mesh.VertexCount();
  auto inRange = [vertexCount](const Triangle& t) {
    return t.indices[0] < vertexCount && t.indices[1] < vertexCount && t.indices[2] < vertexCount;
  };
  DisjointSets sets(vertexCount);
  size_t outOfRange = 0;
  // The two scans below read 12 bytes of each 180-byte record: the index
  // words are asked for ahead (PrefetchIndices), or each record waits on memory.
  constexpr size_t kAhead = 16;  // records
  const Triangle* records = mesh.triangles.data();
  for (size_t k = 0; k < mesh.triangles.size(); ++k) {
    PrefetchIndices(records + k + kAhead);
    const Triangle& t = records[k];
    if (!inRange(t)) {
      ++outOfRange;
      continue;
    }
    sets.Join(t.indices[0], t.indices[1]);
    sets.Join(t.indices[0], t.indices[2]);
  }
  if (outOfRange > 0)
    CLEAVE_WARNING(std::to_string(outOfRange) +
                   " triangles with a vertex index out of range left out of the parts");

  // Part number per root, in order of each part's first triangle; then the
  // sizes, so every array is allocated once.
  std::vector<uint32_t> partOfRoot(vertexCount, kNone);
  std::vector<uint32_t> partOfTriangle(mesh.triangles.size(), kNone);
  std::vector<size_t> triangleCounts;
  for (size_t k = 0; k < mesh.triangles.size(); ++k) {
    PrefetchIndices(records + k + kAhead);
    const Triangle& t = records[k];
    if (!inRange(t)) continue;
    uint32_t& part = partOfRoot[sets.Find(t.indices[0])];
    if (part == kNone) {
      part = static_cast<uint32_t>(triangleCounts.size());
      triangleCounts.push_back(0);
    }
    partOfTriangle[k] = part;
    ++triangleCounts[part];
  }

  // A vertex belongs to the part of its set, if that set has triangles.
  std::vector<size_t> vertexCounts(triangleCounts.size(), 0);
  for (uint32_t v = 0; v < vertexCount; ++v) {
    const uint32_t part = partOfRoot[sets.Find(v)];
    if (part != kNone) ++vertexCounts[part];
  }

  // Through Reserve*, whose large arrays come from memory written before
  // (or are offered huge pages): the parts of a large mesh are as large as
  // it, and fresh pages, faulted in one by one, cost more than the copy.
  std::vector<Mesh> parts(triangleCounts.size());
  for (size_t p = 0; p < parts.size(); ++p) {
    CopyMeshFields(mesh, parts[p]);
    parts[p].ReserveVertices(vertexCounts[p]);
    parts[p].ReserveTriangles(triangleCounts[p], 0);
  }
  // A vertex belongs to exactly one part, so one renumbering array serves all.
  std::vector<uint32_t> newIndex(vertexCount, kNone);
  // The renumbering is one to one: a part of a mesh whose triples are
  // distinct gets distinct triples too, and knows it (the splitter copies a
  // mesh that knows it faster).
  const bool distinct = mesh.KnownDistinct();
  for (size_t k = 0; k < mesh.triangles.size(); ++k) {
    if (partOfTriangle[k] == kNone) continue;
    Mesh& part = parts[partOfTriangle[k]];
    Triangle t = mesh.triangles[k];
    for (uint32_t& i : t.indices) {
      if (newIndex[i] == kNone) {
        newIndex[i] = part.VertexCount();
        part.vertices.push_back(mesh.vertices[i]);
      }
      i = newIndex[i];
    }
    // The source's triangles need no de-duplication again.
    if (distinct) {
      part.AppendNewTriangle(t);
    } else {
      part.triangles.push_back(t);  // the part's index is rebuilt on its first AddTriangle
    }
  }
  return parts;
}
