// Fuzzes a cut of an arbitrary mesh: SplitMesh, then CloseCut and
// IsDegenerate on both halves, as every cut in the scene runs them, plus
// IsDegenerate on the source mesh itself.
//
// Input: [vertex count % 64] [plane normal x y z] [plane point x y z]
// [x y z per vertex] [three index bytes per triangle, to the end]. A
// coordinate is a signed byte / 16, so vertices often lie exactly on the
// plane or on one another. An index byte is the vertex index, often past
// the vertex count; 255 stands for UINT32_MAX.
//
// Besides the sanitizers' checks: the split reports an error exactly when a
// triangle names a missing vertex, and every index of both closed halves
// names a vertex of its half.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "geom/close_cut.h"
#include "geom/mesh_splitter.h"

// The geometry code's reports land here instead of in System's log and error
// file (a run makes millions); defining them keeps System out of the link.
namespace {
int errorCount = 0;
}  // namespace
namespace diagnostics {
void Log(const std::string&) {}
void Warning(const std::string&) {}
void Error(const std::string&) { ++errorCount; }
}  // namespace diagnostics
std::string ErrorReport(const char*, int, const std::string& message) { return message; }

namespace {
float Coordinate(uint8_t byte) { return static_cast<int8_t>(byte) / 16.0f; }
Vector Point(const uint8_t* bytes) {
  return Vector(Coordinate(bytes[0]), Coordinate(bytes[1]), Coordinate(bytes[2]));
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  constexpr size_t kHeader = 7;
  if (size < kHeader) return 0;
  const uint32_t vertexCount = data[0] % 64;
  const Vector normal = Point(data + 1);
  if (Length(normal) == 0.0f || size < kHeader + 3 * vertexCount) return 0;
  const Plane plane(Normalize(normal), Point(data + 4));

  Mesh source;
  size_t at = kHeader;
  for (uint32_t v = 0; v < vertexCount; ++v, at += 3) {
    const Vector p = Point(data + at);
    source.vertices.emplace_back(p.x, p.y, p.z);
  }
  bool missingVertex = false;
  for (; at + 3 <= size; at += 3) {
    Triangle tri;
    for (int c = 0; c < 3; ++c) {
      tri.indices[c] = data[at + c] == 255 ? UINT32_MAX : data[at + c];
      missingVertex |= tri.indices[c] >= vertexCount;
    }
    source.triangles.push_back(tri);
  }

  errorCount = 0;
  Mesh front, back;
  SplitContext context;
  SplitMesh(source, plane, front, back, context);
  if ((errorCount > 0) != missingVertex) std::abort();
  CloseCut(front, context.frontCutSet);
  CloseCut(back, context.backCutSet);
  for (const Mesh* half : {&front, &back}) {
    IsDegenerate(*half);
    for (const Triangle& tri : half->triangles)
      for (uint32_t i : tri.indices)
        if (i >= half->VertexCount()) std::abort();
  }
  IsDegenerate(source);
  return 0;
}
