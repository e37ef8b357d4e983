#include "platform/offline/host_files.h"

#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>

#include "platform/file_system.h"

namespace tarnscan::platform {

std::string ReadHostFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw FileError(errno == ENOENT ? "File not found" : std::strerror(errno));
  std::ostringstream bytes;
  bytes << in.rdbuf();
  if (in.bad()) throw FileError("Read error");
  return bytes.str();
}

void SaveHostFileAtomically(const std::string& path, std::string_view bytes) {
  const std::string temporary = path + ".tmp" + std::to_string(getpid());
  auto fail = [&](const std::string& what) {
    const std::string reason = std::strerror(errno);
    std::remove(temporary.c_str());
    throw FileError("Cannot create file \"" + path + "\". " + what + ": " + reason);
  };
  std::FILE* file = std::fopen(temporary.c_str(), "wb");
  if (file == nullptr) fail("open");
  const bool written = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
  const bool flushed = std::fflush(file) == 0 && fsync(fileno(file)) == 0;
  const bool closed = std::fclose(file) == 0;
  if (!written || !flushed || !closed) fail("write");
  if (std::rename(temporary.c_str(), path.c_str()) != 0) fail("rename");
}

}  // namespace tarnscan::platform
