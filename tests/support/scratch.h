#pragma once
// A fresh directory under the system's temporary folder, removed with all it
// holds when the object goes. Every test program runs in one (see main.cpp),
// so the error files that reported errors write never land in the sources.

#include <filesystem>
#include <string>

namespace support {

class ScratchDir {
 public:
  explicit ScratchDir(const std::string& prefix = "cleave_test");
  ~ScratchDir();
  ScratchDir(const ScratchDir&) = delete;
  ScratchDir& operator=(const ScratchDir&) = delete;

  const std::filesystem::path& Path() const { return path; }
  std::string File(const std::string& name) const { return (path / name).string(); }
  // Links shaders/ and assets/ of the sources into the directory: the
  // program reads both relative to its working directory.
  void LinkProgramData() const;
  void Keep() { keep = true; }  // left behind for a look after a failure

 private:
  std::filesystem::path path;
  bool keep = false;
};

// Text of a whole file; empty when it cannot be read.
std::string ReadFile(const std::filesystem::path& path);

}  // namespace support
