#include "support/scratch.h"

#include <cstdlib>
#include <fstream>
#include <sstream>

namespace support {

ScratchDir::ScratchDir(const std::string& prefix) {
  std::string pattern = (std::filesystem::temp_directory_path() / (prefix + "_XXXXXX")).string();
  if (mkdtemp(pattern.data()) != nullptr) path = pattern;
}

ScratchDir::~ScratchDir() {
  std::error_code ignored;
  if (!keep && !path.empty()) std::filesystem::remove_all(path, ignored);
}

void ScratchDir::LinkProgramData() const {
  const std::filesystem::path source(CLEAVE_SOURCE_DIR);
  std::error_code ignored;
  for (const char* folder : {"shaders", "assets"})
    std::filesystem::create_directory_symlink(source / folder, path / folder, ignored);
}

std::string ReadFile(const std::filesystem::path& path) {
  std::stringstream text;
  text << std::ifstream(path, std::ios::binary).rdbuf();
  return text.str();
}

}  // namespace support
