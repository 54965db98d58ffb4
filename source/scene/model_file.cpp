#include "scene/model_file.h"

#include <assimp/postprocess.h>
#include <assimp/scene.h>

#include <algorithm>
#include <assimp/BaseImporter.h>
#include <assimp/DefaultLogger.hpp>
#include <assimp/Importer.hpp>
#include <assimp/IOSystem.hpp>
#include <assimp/LogStream.hpp>
#include <assimp/MemoryIOWrapper.h>
#include <cctype>
#include <chrono>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <new>
#include <set>
#include <unordered_map>
#include <utility>
#include <vector>

#include "core/child_process.h"
#include "core/diagnostics.h"
#include "geom/close_cut.h"
#include "geom/mass_properties.h"
#include "geom/model_solid.h"
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

// Some of assimp's readers leave out what they cannot make sense of and go
// on, saying so only in their log: a glTF triangle naming a vertex past the
// end, an OBJ face without corners, an ASCII STL facet of four corners. The
// model would then come out with a hole (which MakeModelSolid would fill)
// instead of being refused. This stream hears the log of the reads on this
// thread and keeps the first such message.
class DroppedDataLog : public Assimp::LogStream {
 public:
  // Collects into `heard` on this thread until destroyed.
  class Scope {
   public:
    explicit Scope(std::string& heard) { Listener() = &heard; }
    ~Scope() { Listener() = nullptr; }
  };
  void write(const char* message) override {
    std::string* heard = Listener();
    if (heard == nullptr || !heard->empty()) return;
    static const char* const kDropped[] = {"were dropped", "Ignoring empty face",
                                           "more than 3 vertices"};
    for (const char* phrase : kDropped)
      if (std::strstr(message, phrase) != nullptr) {
        // Without the logger's "Warn,  T0: " in front.
        const char* text = std::strstr(message, ": ");
        *heard = text != nullptr ? text + 2 : message;
        while (!heard->empty() && (heard->back() == '\n' || heard->back() == '\r'))
          heard->pop_back();
      }
  }
  // assimp's logger is one for the process: made once, kept to the end.
  static void Install() {
    static std::once_flag once;
    std::call_once(once, [] {
      Assimp::DefaultLogger::create(nullptr, Assimp::Logger::NORMAL, 0);
      Assimp::DefaultLogger::get()->attachStream(new DroppedDataLog,
                                                 Assimp::Logger::Warn | Assimp::Logger::Err);
    });
  }

 private:
  static std::string*& Listener() {
    thread_local std::string* heard = nullptr;
    return heard;
  }
};

// A file system of one file, `name`, whose bytes are `bytes`, for text the
// prescan mended or made. Not assimp's ReadFileFromMemory: its file system
// hands out the buffer for every name that starts like the buffer's, so an
// OBJ whose material library is missing had its own text read as the
// fallback library (named after the buffer), which crashed assimp on some
// inputs. Here every other name is missing.
class OneFileSystem : public Assimp::IOSystem {
 public:
  OneFileSystem(std::string name, const std::string& bytes)
      : name_(std::move(name)), bytes_(bytes) {}
  bool Exists(const char* file) const override { return name_ == file; }
  char getOsSeparator() const override { return '/'; }
  Assimp::IOStream* Open(const char* file, const char* mode) override {
    if (name_ != file || mode == nullptr || mode[0] != 'r') return nullptr;
    return new Assimp::MemoryIOStream(reinterpret_cast<const uint8_t*>(bytes_.data()),
                                      bytes_.size());
  }
  void Close(Assimp::IOStream* stream) override { delete stream; }

 private:
  std::string name_;
  const std::string& bytes_;
};

// Leaves `importer` only the readers of the format `name`'s extension
// names (the whole end of the name, any case, so "x.mesh.xml" keeps the
// readers of ".mesh.xml"). Left to itself assimp gives a file its own
// readers refuse to every reader whose signature test it passes: a broken
// ".gltf" holding some XML was parsed as XGL, AMF or Collada, so that the
// faults of a dozen readers counted against a file that never claimed
// their formats, and their messages named formats the user never used. A
// file is read as what its name says it is, or refused; a name with an
// extension no reader knows is still recognised by its content.
void KeepOnlyReadersOf(Assimp::Importer& importer, const std::string& name) {
  std::string lower = name;
  for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  const auto named = [&lower](Assimp::BaseImporter* reader) {
    std::set<std::string> extensions;
    reader->GetExtensionList(extensions);
    for (const std::string& extension : extensions) {
      const std::string end = "." + extension;
      if (lower.size() > end.size() &&
          lower.compare(lower.size() - end.size(), end.size(), end) == 0)
        return true;
    }
    return false;
  };
  std::vector<Assimp::BaseImporter*> others;
  for (size_t i = 0; i < importer.GetImporterCount(); ++i) {
    Assimp::BaseImporter* reader = importer.GetImporter(i);
    if (!named(reader)) others.push_back(reader);
  }
  if (others.size() == importer.GetImporterCount()) return;
  // An unregistered reader is no longer the importer's to delete.
  for (Assimp::BaseImporter* reader : others)
    if (importer.UnregisterLoader(reader) == AI_SUCCESS) delete reader;
}

// An importer's message for ours: one line of printable characters, cut
// at 160 (some quote the rest of the file after where they stopped).
std::string ImporterMessage(const std::string& message) {
  std::string shown = message.substr(0, 160);
  for (char& c : shown)
    if (static_cast<unsigned char>(c) < 0x20) c = ' ';
  return message.size() > 160 ? shown + "..." : shown;
}

// What is wrong with a file assimp refused, after the prefix. Its readers
// catch running out of memory themselves and say only "std::bad_alloc".
std::string ImporterError(const std::string& message) {
  if (message.find("bad_alloc") != std::string::npos) return "not enough memory to read it";
  return "cannot read it (" + ImporterMessage(message) + ")";
}

// The whole file in `bytes`: only a regular file is read (a folder, a
// device such as /dev/zero or a pipe would give nothing, never end, or
// block), in one piece of its size.
bool ReadModelBytes(const std::string& file, std::string& bytes, std::string& error) {
  namespace fs = std::filesystem;
  std::error_code failed;
  const fs::file_status status = fs::status(file, failed);
  if (fs::is_directory(status)) {
    error = "is a folder, not a file";
    return false;
  }
  if (fs::exists(status) && !fs::is_regular_file(status)) {
    error = "is not a regular file (a device, pipe or socket)";
    return false;
  }
  const uintmax_t size = fs::file_size(file, failed);
  std::ifstream in(file, std::ios::binary);
  if (failed || !in) {
    error = "cannot read it (no such file, or not readable)";
    return false;
  }
  bytes.resize(size);
  in.read(bytes.data(), static_cast<std::streamsize>(size));
  if (static_cast<uintmax_t>(in.gcount()) != size) {
    error = "cannot read it (" + std::to_string(in.gcount()) + " of its " + std::to_string(size) +
            " bytes read)";
    return false;
  }
  return true;
}

// What assimp made of a model file: its positions welded (x, y, z per
// vertex) and its triangles as three corners each, those that welding
// makes degenerate left out; or what is wrong.
struct ImportedMesh {
  std::vector<float> positions;
  std::vector<uint32_t> corners;
  std::string error;  // empty when read
};

// Reads `readName` (from `scan`'s text when the prescan converted it) with
// assimp, checks what it made and welds it. Runs in a child process.
ImportedMesh ImportWithAssimp(const std::string& readName, const ModelPrescan& scan) {
  ImportedMesh imported;
  std::string& error = imported.error;
  DroppedDataLog::Install();
  std::string dropped;
  const DroppedDataLog::Scope listening(dropped);
  Assimp::Importer importer;
  if (scan.result == ModelPrescan::Result::kConverted)
    importer.SetIOHandler(new OneFileSystem(readName, scan.text));  // the importer owns it
  KeepOnlyReadersOf(importer, readName);
  // ValidateDataStructure checks what the reader made (every face's
  // indices in range, mesh and node arrays consistent) before anything
  // else trusts it.
  const aiScene* scene = importer.ReadFile(readName, aiProcess_ValidateDataStructure);
  if (scene == nullptr) {
    error = ImporterError(importer.GetErrorString());
    return imported;
  }
  if (!dropped.empty()) {
    error = "malformed (" + ImporterMessage(dropped) + ")";
    return imported;
  }
  // Triangulation takes every face for a polygon of at least one corner.
  for (unsigned m = 0; m < scene->mNumMeshes; ++m) {
    const aiMesh* source = scene->mMeshes[m];
    for (unsigned f = 0; f < source->mNumFaces; ++f) {
      const aiFace& face = source->mFaces[f];
      if (face.mNumIndices == 0 || face.mIndices == nullptr) {
        error = "face " + std::to_string(f) + " has no corners";
        return imported;
      }
      for (unsigned c = 0; c < face.mNumIndices; ++c) {
        if (face.mIndices[c] >= source->mNumVertices) {
          error = "face " + std::to_string(f) + " names vertex " +
                  std::to_string(face.mIndices[c]) + " of " +
                  std::to_string(source->mNumVertices);
          return imported;
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
    error = ImporterError(importer.GetErrorString());
    return imported;
  }

  std::unordered_map<PositionKey, uint32_t, PositionKeyHash> welded;
  std::vector<uint32_t> local;  // this aiMesh's vertex -> welded vertex
  for (unsigned m = 0; m < scene->mNumMeshes; ++m) {
    const aiMesh* source = scene->mMeshes[m];
    local.resize(source->mNumVertices);
    for (unsigned v = 0; v < source->mNumVertices; ++v) {
      const aiVector3D& p = source->mVertices[v];
      const auto found = welded.emplace(KeyOf(p.x, p.y, p.z),
                                        static_cast<uint32_t>(imported.positions.size() / 3));
      if (found.second) imported.positions.insert(imported.positions.end(), {p.x, p.y, p.z});
      local[v] = found.first->second;
    }
    for (unsigned f = 0; f < source->mNumFaces; ++f) {
      const aiFace& face = source->mFaces[f];
      if (face.mNumIndices != 3) continue;  // points and lines
      const uint32_t a = local[face.mIndices[0]], b = local[face.mIndices[1]],
                     c = local[face.mIndices[2]];
      if (a == b || b == c || c == a) continue;
      imported.corners.insert(imported.corners.end(), {a, b, c});
    }
  }
  return imported;
}

// An ImportedMesh as bytes, to hand it from the child to its parent: the
// error's length and bytes, then the positions' count and values, then the
// corners'.
std::string Encode(const ImportedMesh& imported) {
  std::string bytes;
  const auto put = [&bytes](const void* data, uint64_t count, size_t size) {
    bytes.append(reinterpret_cast<const char*>(&count), sizeof count);
    if (count > 0) bytes.append(static_cast<const char*>(data), count * size);
  };
  put(imported.error.data(), imported.error.size(), 1);
  put(imported.positions.data(), imported.positions.size(), sizeof(float));
  put(imported.corners.data(), imported.corners.size(), sizeof(uint32_t));
  return bytes;
}

// The ImportedMesh of Encode's `bytes`; false if they are not whole, or a
// corner names a vertex that is not there.
bool Decode(const std::string& bytes, ImportedMesh& imported) {
  size_t at = 0;
  const auto take = [&bytes, &at](auto& into, size_t size) {
    uint64_t count = 0;
    if (bytes.size() - at < sizeof count) return false;
    std::memcpy(&count, bytes.data() + at, sizeof count);
    at += sizeof count;
    if (count > (bytes.size() - at) / size) return false;
    into.resize(count);
    if (count > 0) std::memcpy(into.data(), bytes.data() + at, count * size);
    at += count * size;
    return true;
  };
  if (!take(imported.error, 1) || !take(imported.positions, sizeof(float)) ||
      !take(imported.corners, sizeof(uint32_t)) || at != bytes.size() ||
      imported.positions.size() % 3 != 0 || imported.corners.size() % 3 != 0)
    return false;
  const size_t vertices = imported.positions.size() / 3;
  return std::all_of(imported.corners.begin(), imported.corners.end(),
                     [vertices](uint32_t corner) { return corner < vertices; });
}

// Reads the file's meshes into `mesh`, welded, as they come (see
// LoadModelFile); `error` is what is wrong, after the prefix. The prescan
// runs here; assimp runs in a child process, so a reader that crashes on a
// malformed file, or corrupts memory, takes down only the child.
bool ReadModelMesh(const std::string& file, Mesh& mesh, std::string& error) {
  std::string bytes;
  if (!ReadModelBytes(file, bytes, error)) return false;
  const ModelPrescan scan = PrescanModel(file, bytes);
  // assimp reads a megabyte in well under a second; a reader that takes
  // many times that is caught in a loop (as its SMD reader is on a file
  // cut short in its node list) and is stopped.
  constexpr double kImporterSeconds = 5.0;             // for any file
  constexpr double kImporterSecondsPerMegabyte = 1.0;  // and for its size on top
  const double secondsAllowed =
      kImporterSeconds + kImporterSecondsPerMegabyte * static_cast<double>(bytes.size()) / 1e6;
  bytes = std::string();
  if (scan.result == ModelPrescan::Result::kRefused) {
    error = scan.error;
    return false;
  }
  const std::string readName =
      scan.result == ModelPrescan::Result::kConverted ? std::string("model.") + scan.format : file;
  std::string answer, failure;
  ImportedMesh imported;
  if (!RunInChildProcess(
          [&] {
            try {
              return Encode(ImportWithAssimp(readName, scan));
            } catch (const std::bad_alloc&) {
              ImportedMesh none;
              none.error = "not enough memory to read it";
              return Encode(none);
            }
          },
          secondsAllowed, answer, failure)) {
    error = "cannot read it (the importer " + failure + ")";
    return false;
  }
  if (!Decode(answer, imported)) {
    error = "cannot read it (the importer's answer is not whole)";
    return false;
  }
  answer = std::string();
  if (!imported.error.empty()) {
    error = imported.error;
    return false;
  }
  mesh = Mesh();
  mesh.loadedModel = true;
  mesh.useTexCoords = false;
  const std::vector<float>& p = imported.positions;
  for (size_t v = 0; v < p.size(); v += 3) mesh.AddVertex(Vertex(p[v], p[v + 1], p[v + 2]));
  const std::vector<uint32_t>& c = imported.corners;
  for (size_t t = 0; t < c.size(); t += 3) mesh.AddTriangle(c[t], c[t + 1], c[t + 2]);
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
  bool read = false;
  try {
    read = ReadModelMesh(file, mesh, error) && CheckModelSolid(mesh, repair, error);
  } catch (const std::bad_alloc&) {
    // A file larger than the memory left (or one whose counts make the
    // reader ask for more): refused like any other, not an abort.
    mesh = Mesh();
    error = "not enough memory to read it";
  }
  if (!read) {
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
  if (repair.shellsTurned > 0)
    diagnostics::Log(prefix + "turned " + std::to_string(repair.shellsTurned) +
                     " shells wound the wrong way");
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
