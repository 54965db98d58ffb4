#pragma once
// Helpers shared by the geometry tests: surface checks computed independently
// of the code under test, and a capture for reported errors.

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <unordered_map>

#include "core/system.h"
#include "geom/mesh.h"

namespace geomtest {

// Empty when every index is in range and every directed edge occurs once and
// its reverse exactly once (a closed, consistently wound surface); otherwise
// a description of the first fault found.
inline std::string SurfaceFault(const Mesh& mesh) {
  auto key = [](uint64_t a, uint64_t b) { return a << 32 | b; };
  std::unordered_map<uint64_t, int> count;
  for (const Triangle& t : mesh.triangles)
    for (int c = 0; c < 3; ++c) {
      if (t.indices[c] >= mesh.VertexCount()) return "index out of range";
      ++count[key(t.indices[c], t.indices[(c + 1) % 3])];
    }
  for (const auto& [k, n] : count) {
    const uint32_t a = uint32_t(k >> 32), b = uint32_t(k);
    const auto reverse = count.find(key(b, a));
    const int r = reverse == count.end() ? 0 : reverse->second;
    if (n != 1 || r != 1)
      return "edge (" + std::to_string(a) + "," + std::to_string(b) + ") occurs " +
             std::to_string(n) + " times, its reverse " + std::to_string(r) + " times";
  }
  return "";
}

// Signed volume by the divergence theorem: the sum over triangles of
// p0 . (p1 x p2) / 6, in double. Positive for a closed outward-wound surface.
inline double SignedVolume(const Mesh& mesh) {
  double sum = 0.0;
  for (const Triangle& t : mesh.triangles) {
    const Vertex &a = mesh.vertices[t.indices[0]], &b = mesh.vertices[t.indices[1]],
                 &c = mesh.vertices[t.indices[2]];
    sum += a.x * (double(b.y) * c.z - double(b.z) * c.y) +
           a.y * (double(b.z) * c.x - double(b.x) * c.z) +
           a.z * (double(b.x) * c.y - double(b.y) * c.x);
  }
  return sum / 6.0;
}

// Lets a test provoke a reported error: System::Error writes an error file
// into the working directory and clears the running flag, so while a capture
// lives the working directory is a private temporary one; on destruction the
// files are removed, the directory restored and the running flag set again.
class ErrorCapture {
 public:
  ErrorCapture() : home(std::filesystem::current_path()) {
    std::string pattern = (std::filesystem::temp_directory_path() / "cleave_geom_XXXXXX").string();
    if (mkdtemp(pattern.data()) != nullptr) {
      scratch = pattern;
      std::filesystem::current_path(scratch);
    }
    logStart = System::Instance().GetLogText().size();
  }
  ~ErrorCapture() {
    System::Instance().running = true;
    std::filesystem::current_path(home);
    std::error_code ignored;
    if (!scratch.empty()) std::filesystem::remove_all(scratch, ignored);
  }
  ErrorCapture(const ErrorCapture&) = delete;
  ErrorCapture& operator=(const ErrorCapture&) = delete;

  std::string NewLog() const { return System::Instance().GetLogText().substr(logStart); }
  bool Logged(const std::string& text) const { return NewLog().find(text) != std::string::npos; }

 private:
  std::filesystem::path home, scratch;
  size_t logStart = 0;
};

}  // namespace geomtest
