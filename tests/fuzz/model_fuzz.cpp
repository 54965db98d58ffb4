// Fuzzes the model reader and the slicer behind it: the input, from its
// second byte on, is written as an OBJ, OFF, PLY, STL, glTF or binary glTF
// file (the first byte picks which) and sliced through the origin as
// `--slice` does: read, check, cut, cap, split into parts, write the parts. Besides the sanitizers' checks
// and the fuzzer's limits on time and memory: a refused file is reported in
// one line naming it, and an accepted one prints its JSON. assimp reads in
// a child process, so what it does wrong comes back as such a refusal; the
// checks before it (the prescan) and everything after it run here.

#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "scene/slice_command.h"

// The reader's reports land here instead of in System's log and error file.
namespace diagnostics {
void Log(const std::string&) {}
void Warning(const std::string&) {}
void Error(const std::string&) {}
}  // namespace diagnostics
std::string ErrorReport(const char*, int, const std::string& message) { return message; }

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  static const char* const kExtensions[] = {".obj", ".off", ".ply", ".stl", ".gltf", ".glb"};
  static const std::string folder =
      (std::filesystem::temp_directory_path() / ("fuzz_model_" + std::to_string(getpid())))
          .string();
  std::filesystem::create_directories(folder);
  const std::string file = folder + "/model" + kExtensions[data[0] % 6];
  std::ofstream(file, std::ios::binary | std::ios::trunc)
      .write(reinterpret_cast<const char*>(data + 1), static_cast<std::streamsize>(size - 1));
  std::ostringstream out, err;
  const int status = RunSliceCommand(file, "1,0,0,0", folder + "/parts", out, err);
  const std::string prefix = "cleave: Model \"" + file + "\": ";
  if (status == 0 ? out.str().empty() || !err.str().empty()
                  : err.str().compare(0, prefix.size(), prefix) != 0 ||
                        err.str().find('\n') != err.str().size() - 1)
    std::abort();
  return 0;
}
