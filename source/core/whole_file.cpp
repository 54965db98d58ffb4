#include "core/whole_file.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

bool WriteWholeFile(const std::string& path, const std::string& contents, std::string& error) {
  // In the target's folder, so that the rename stays on one file system.
  const std::string temporary = path + ".partial-" + std::to_string(getpid());
  const int file = open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
  if (file < 0) {
    error = "cannot create \"" + temporary + "\" (" + std::strerror(errno) + ")";
    return false;
  }
  size_t written = 0;
  while (written < contents.size()) {
    const ssize_t n = write(file, contents.data() + written, contents.size() - written);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    written += static_cast<size_t>(n);
  }
  const int writeErrno = written == contents.size() ? 0 : errno != 0 ? errno : ENOSPC;
  const bool closed = close(file) == 0;
  const int closeErrno = errno;
  if (writeErrno != 0 || !closed) {
    error = "cannot write \"" + path + "\" (" +
            std::strerror(writeErrno != 0 ? writeErrno : closeErrno) + ")";
    std::remove(temporary.c_str());
    return false;
  }
  if (std::rename(temporary.c_str(), path.c_str()) != 0) {
    error = "cannot write \"" + path + "\" (" + std::strerror(errno) + ")";
    std::remove(temporary.c_str());
    return false;
  }
  return true;
}
