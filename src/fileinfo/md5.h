// MD5 (RFC 1321) and the digest of a file, as the AddOn FILE lines name
// files by their content.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "platform/file_system.h"

namespace tarnscan {

using Md5Digest = std::array<uint8_t, 16>;

class Md5 {
 public:
  Md5() { Reset(); }
  void Update(const void* data, size_t size);
  // The digest of everything added; the context is cleared and starts
  // afresh.
  Md5Digest Finish();

 private:
  void Reset();
  void Transform(const uint8_t block[64]);

  uint32_t state_[4];
  uint32_t count_[2];  // bits processed, low word first
  uint8_t buffer_[64];
};

// The digest of a file's content, read in 4096-byte blocks through an
// exclusive open. Throws FileError when the file cannot be opened.
Md5Digest FileMD5(const platform::FileSystem& files, std::string_view path);

// 32 upper-case hexadecimal digits.
std::string MD5Text(const Md5Digest& digest);

}  // namespace tarnscan
