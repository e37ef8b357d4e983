// Random access to the bytes of a file (or of a buffer) for the parsers of
// hostile formats: executables, shortcuts, hives. A parser asks only for
// the ranges it needs, and every read may come back short.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace tarnscan::platform {

// Little-endian integers at `at` in `bytes`; the caller has checked that
// the bytes are there.
inline uint16_t Le16(std::string_view bytes, size_t at) {
  return static_cast<uint16_t>(static_cast<unsigned char>(bytes[at]) |
                               (static_cast<unsigned char>(bytes[at + 1]) << 8));
}
inline uint32_t Le32(std::string_view bytes, size_t at) {
  return static_cast<uint32_t>(Le16(bytes, at)) |
         (static_cast<uint32_t>(Le16(bytes, at + 2)) << 16);
}
inline uint64_t Le64(std::string_view bytes, size_t at) {
  return static_cast<uint64_t>(Le32(bytes, at)) | (static_cast<uint64_t>(Le32(bytes, at + 4)) << 32);
}

// Writes little-endian integers at `at`, first growing `bytes` with zeros
// when it is shorter: the hive writer, log replay and the file writers of
// the tests and benchmarks.
inline void PutLe16(std::string& bytes, size_t at, uint16_t value) {
  if (bytes.size() < at + 2) bytes.resize(at + 2, '\0');
  bytes[at] = static_cast<char>(value & 0xFF);
  bytes[at + 1] = static_cast<char>(value >> 8);
}
inline void PutLe32(std::string& bytes, size_t at, uint32_t value) {
  PutLe16(bytes, at, static_cast<uint16_t>(value & 0xFFFF));
  PutLe16(bytes, at + 2, static_cast<uint16_t>(value >> 16));
}
inline void PutLe64(std::string& bytes, size_t at, uint64_t value) {
  PutLe32(bytes, at, static_cast<uint32_t>(value));
  PutLe32(bytes, at + 4, static_cast<uint32_t>(value >> 32));
}
inline void AppendLe16(std::string& bytes, uint16_t value) { PutLe16(bytes, bytes.size(), value); }
inline void AppendLe32(std::string& bytes, uint32_t value) { PutLe32(bytes, bytes.size(), value); }

class ByteSource {
 public:
  virtual ~ByteSource() = default;
  virtual uint64_t Size() const = 0;
  // Copies up to `count` bytes from `offset` into `out`; returns how many
  // were copied (0 at or past the end). Never throws for a range outside
  // the source.
  virtual size_t ReadAt(uint64_t offset, void* out, size_t count) const = 0;

  // Reads exactly `count` bytes or returns false; `out` is resized.
  bool ReadExact(uint64_t offset, size_t count, std::string& out) const;
};

// A view of bytes that outlive it.
class MemoryByteSource final : public ByteSource {
 public:
  explicit MemoryByteSource(std::string_view bytes) : bytes_(bytes) {}
  uint64_t Size() const override { return bytes_.size(); }
  size_t ReadAt(uint64_t offset, void* out, size_t count) const override;

 private:
  std::string_view bytes_;
};

}  // namespace tarnscan::platform
