#include "platform/byte_source.h"

#include <algorithm>
#include <cstring>

namespace tarnscan::platform {

bool ByteSource::ReadExact(uint64_t offset, size_t count, std::string& out) const {
  if (offset > Size() || count > Size() - offset) return false;
  out.resize(count);
  return ReadAt(offset, out.data(), count) == count;
}

size_t MemoryByteSource::ReadAt(uint64_t offset, void* out, size_t count) const {
  if (offset >= bytes_.size()) return 0;
  const size_t n = std::min<uint64_t>(count, bytes_.size() - offset);
  std::memcpy(out, bytes_.data() + offset, n);
  return n;
}

}  // namespace tarnscan::platform
