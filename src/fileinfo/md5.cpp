#include "fileinfo/md5.h"

#include <algorithm>
#include <cstring>

namespace tarnscan {
namespace {

constexpr size_t kFileBlock = 4096;

// Per-round shift amounts and the sine table of RFC 1321 section 3.4.
constexpr uint8_t kShift[64] = {
    7,  12, 17, 22, 7,  12, 17, 22, 7,  12, 17, 22, 7,  12, 17, 22, 5,  9,  14, 20, 5,  9,
    14, 20, 5,  9,  14, 20, 5,  9,  14, 20, 4,  11, 16, 23, 4,  11, 16, 23, 4,  11, 16, 23,
    4,  11, 16, 23, 6,  10, 15, 21, 6,  10, 15, 21, 6,  10, 15, 21, 6,  10, 15, 21,
};

constexpr uint32_t kSine[64] = {
    0xd76aa478, 0xe8c7b756, 0x242070db, 0xc1bdceee, 0xf57c0faf, 0x4787c62a, 0xa8304613, 0xfd469501,
    0x698098d8, 0x8b44f7af, 0xffff5bb1, 0x895cd7be, 0x6b901122, 0xfd987193, 0xa679438e, 0x49b40821,
    0xf61e2562, 0xc040b340, 0x265e5a51, 0xe9b6c7aa, 0xd62f105d, 0x02441453, 0xd8a1e681, 0xe7d3fbc8,
    0x21e1cde6, 0xc33707d6, 0xf4d50d87, 0x455a14ed, 0xa9e3e905, 0xfcefa3f8, 0x676f02d9, 0x8d2a4c8a,
    0xfffa3942, 0x8771f681, 0x6d9d6122, 0xfde5380c, 0xa4beea44, 0x4bdecfa9, 0xf6bb4b60, 0xbebfbc70,
    0x289b7ec6, 0xeaa127fa, 0xd4ef3085, 0x04881d05, 0xd9d4d039, 0xe6db99e5, 0x1fa27cf8, 0xc4ac5665,
    0xf4292244, 0x432aff97, 0xab9423a7, 0xfc93a039, 0x655b59c3, 0x8f0ccc92, 0xffeff47d, 0x85845dd1,
    0x6fa87e4f, 0xfe2ce6e0, 0xa3014314, 0x4e0811a1, 0xf7537e82, 0xbd3af235, 0x2ad7d2bb, 0xeb86d391,
};

uint32_t RotateLeft(uint32_t x, unsigned n) { return (x << n) | (x >> (32 - n)); }

void StoreLe32(uint32_t value, uint8_t* out) {
  for (int i = 0; i < 4; ++i) out[i] = static_cast<uint8_t>(value >> (8 * i));
}

}  // namespace

void Md5::Reset() {
  state_[0] = 0x67452301;
  state_[1] = 0xefcdab89;
  state_[2] = 0x98badcfe;
  state_[3] = 0x10325476;
  count_[0] = count_[1] = 0;
  std::memset(buffer_, 0, sizeof buffer_);
}

void Md5::Transform(const uint8_t block[64]) {
  uint32_t x[16];
  for (int i = 0; i < 16; ++i) {
    x[i] = uint32_t{block[i * 4]} | (uint32_t{block[i * 4 + 1]} << 8) |
           (uint32_t{block[i * 4 + 2]} << 16) | (uint32_t{block[i * 4 + 3]} << 24);
  }
  uint32_t a = state_[0], b = state_[1], c = state_[2], d = state_[3];
  for (unsigned i = 0; i < 64; ++i) {
    uint32_t f;
    unsigned g;
    if (i < 16) {
      f = (b & c) | (~b & d);
      g = i;
    } else if (i < 32) {
      f = (b & d) | (c & ~d);
      g = (5 * i + 1) % 16;
    } else if (i < 48) {
      f = b ^ c ^ d;
      g = (3 * i + 5) % 16;
    } else {
      f = c ^ (b | ~d);
      g = (7 * i) % 16;
    }
    const uint32_t rotated = RotateLeft(a + f + kSine[i] + x[g], kShift[i]);
    a = d;
    d = c;
    c = b;
    b += rotated;
  }
  state_[0] += a;
  state_[1] += b;
  state_[2] += c;
  state_[3] += d;
  std::memset(x, 0, sizeof x);
}

void Md5::Update(const void* data, size_t size) {
  const auto* input = static_cast<const uint8_t*>(data);
  size_t used = (count_[0] >> 3) & 0x3F;
  const uint64_t bits = (uint64_t{count_[1]} << 32 | count_[0]) + uint64_t{size} * 8;
  count_[0] = static_cast<uint32_t>(bits);
  count_[1] = static_cast<uint32_t>(bits >> 32);
  while (size > 0) {
    const size_t take = std::min(size, sizeof buffer_ - used);
    if (used == 0 && take == sizeof buffer_) {
      Transform(input);
    } else {
      std::memcpy(buffer_ + used, input, take);
      used += take;
      if (used == sizeof buffer_) {
        Transform(buffer_);
        used = 0;
      }
    }
    input += take;
    size -= take;
  }
}

Md5Digest Md5::Finish() {
  uint8_t length[8];
  StoreLe32(count_[0], length);
  StoreLe32(count_[1], length + 4);
  // A one bit, zeros up to 56 bytes into a block, then the bit count.
  const size_t used = (count_[0] >> 3) & 0x3F;
  const size_t pad = used < 56 ? 56 - used : 120 - used;
  uint8_t padding[64] = {0x80};
  Update(padding, pad);
  Update(length, sizeof length);
  Md5Digest digest;
  for (int i = 0; i < 4; ++i) StoreLe32(state_[i], digest.data() + 4 * i);
  Reset();
  return digest;
}

Md5Digest FileMD5(const platform::FileSystem& files, std::string_view path) {
  const auto file = files.OpenExclusive(path);
  const uint64_t size = file->Size();
  Md5 md5;
  uint8_t block[kFileBlock];
  uint64_t total = 0;
  while (total < size) {
    const size_t n = file->Read(block, sizeof block);
    if (n == 0) break;
    md5.Update(block, n);
    total += n;
  }
  return md5.Finish();
}

std::string MD5Text(const Md5Digest& digest) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string text;
  text.reserve(32);
  for (uint8_t byte : digest) {
    text.push_back(kHex[byte >> 4]);
    text.push_back(kHex[byte & 0x0F]);
  }
  return text;
}

}  // namespace tarnscan
