// BM_CgalClip/<mesh>/<shuffled>: the yardstick for the cut benchmarks of
// cut_scan_mesh.cpp: CGAL's Polygon_mesh_processing::clip (exact
// predicates) of the same meshes by the same plane, once per side with the
// clipped volume closed, as our cut closes both halves. mesh 0 is the
// 100k-triangle scan blob, 1 the subdivided blob (98k). Built only where
// CGAL (libcgal-dev) is installed; the copies of the input are not timed.

#include <benchmark/benchmark.h>

#include <CGAL/Exact_predicates_inexact_constructions_kernel.h>
#include <CGAL/Polygon_mesh_processing/clip.h>
#include <CGAL/Surface_mesh.h>

#include "scan_blob.h"

namespace {

using Kernel = CGAL::Exact_predicates_inexact_constructions_kernel;
using SurfaceMesh = CGAL::Surface_mesh<Kernel::Point_3>;
namespace PMP = CGAL::Polygon_mesh_processing;

SurfaceMesh ToSurfaceMesh(const scan_blob::Soup& soup) {
  SurfaceMesh mesh;
  std::vector<SurfaceMesh::Vertex_index> index;
  index.reserve(soup.vertices.size());
  for (const Vertex& v : soup.vertices) index.push_back(mesh.add_vertex(Kernel::Point_3(v.x, v.y, v.z)));
  for (size_t k = 0; k < soup.corners.size(); k += 3)
    mesh.add_face(index[soup.corners[k]], index[soup.corners[k + 1]], index[soup.corners[k + 2]]);
  return mesh;
}

void BM_CgalClip(benchmark::State& state) {
  scan_blob::Soup soup = state.range(0) == 0 ? scan_blob::ScanBlob(100000)
                                             : scan_blob::Subdivided(scan_blob::ScanBlob(25000));
  if (state.range(1) != 0) soup = scan_blob::Shuffled(soup);
  const SurfaceMesh mesh = ToSurfaceMesh(soup);
  const Vector& n = scan_blob::kPlane.normal;
  const Vector& p = scan_blob::kPlane.point;
  const double d = -(double(n.x) * p.x + double(n.y) * p.y + double(n.z) * p.z);
  // clip keeps the negative side of the plane: one plane per side.
  const Kernel::Plane_3 front(-n.x, -n.y, -n.z, -d), back(n.x, n.y, n.z, d);
  for (auto _ : state) {
    state.PauseTiming();
    SurfaceMesh frontPart = mesh, backPart = mesh;
    state.ResumeTiming();
    PMP::clip(frontPart, front, CGAL::parameters::clip_volume(true));
    PMP::clip(backPart, back, CGAL::parameters::clip_volume(true));
    benchmark::DoNotOptimize(frontPart.number_of_faces() + backPart.number_of_faces());
  }
  state.counters["triangles"] = static_cast<double>(mesh.number_of_faces());
}
BENCHMARK(BM_CgalClip)->Args({0, 0})->Args({0, 1})->Args({1, 0})->Args({1, 1})->Unit(
    benchmark::kMillisecond);

}  // namespace
