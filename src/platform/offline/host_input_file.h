// A file of the machine the scanner runs on, read with pread: no stream
// buffer between the disk cache and the parsers.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "platform/file_system.h"

namespace tarnscan::platform {

class HostInputFile final : public InputFile {
 public:
  // Takes ownership of an open descriptor.
  HostInputFile(int fd, uint64_t size) : fd_(fd), size_(size) {}
  ~HostInputFile() override;
  HostInputFile(const HostInputFile&) = delete;
  HostInputFile& operator=(const HostInputFile&) = delete;

  uint64_t Size() const override { return size_; }
  size_t ReadAt(uint64_t offset, void* out, size_t count) const override;
  size_t Read(void* out, size_t count) override;

 private:
  int fd_;
  uint64_t size_;
  uint64_t position_ = 0;
};

// Opens a host file for reading; throws FileError naming `shown_path`.
std::unique_ptr<InputFile> OpenHostFile(const std::string& host_path, std::string_view shown_path);

}  // namespace tarnscan::platform
