#include "platform/offline/host_input_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace tarnscan::platform {

HostInputFile::~HostInputFile() { ::close(fd_); }

size_t HostInputFile::ReadAt(uint64_t offset, void* out, size_t count) const {
  size_t total = 0;
  while (total < count && offset + total < size_) {
    const ssize_t n = ::pread(fd_, static_cast<char*>(out) + total, count - total,
                              static_cast<off_t>(offset + total));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    total += static_cast<size_t>(n);
  }
  return total;
}

size_t HostInputFile::Read(void* out, size_t count) {
  const size_t n = ReadAt(position_, out, count);
  position_ += n;
  return n;
}

std::unique_ptr<InputFile> OpenHostFile(const std::string& host_path,
                                        std::string_view shown_path) {
  const int fd = ::open(host_path.c_str(), O_RDONLY | O_CLOEXEC);
  struct stat facts {};
  if (fd < 0 || ::fstat(fd, &facts) != 0) {
    if (fd >= 0) ::close(fd);
    throw FileError("Cannot open file \"" + std::string(shown_path) + "\"");
  }
  return std::make_unique<HostInputFile>(fd, static_cast<uint64_t>(facts.st_size));
}

}  // namespace tarnscan::platform
