// Differential fuzzing of the two pattern matchers: the first bytes choose
// the fragments, the rest is the searched text, fed in blocks.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "platform/pattern_search.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 2) return 0;
  const size_t count = 1 + data[0] % 16;
  const size_t block = 1 + data[1] % 64;
  std::string_view rest(reinterpret_cast<const char*>(data + 2), size - 2);
  std::vector<std::string> patterns;
  for (size_t i = 0; i < count && !rest.empty(); ++i) {
    const size_t length = static_cast<unsigned char>(rest[0]) % 8;
    rest.remove_prefix(1);
    patterns.emplace_back(rest.substr(0, length));
    rest.remove_prefix(std::min(length, rest.size()));
  }
  const auto fast = tarnscan::platform::MakePatternSet(patterns);
  const auto portable = tarnscan::platform::MakeAhoCorasickSet(patterns);
  auto a = fast->Open();
  auto b = portable->Open();
  for (size_t at = 0; at < rest.size(); at += block) a->Feed(rest.substr(at, block));
  b->Feed(rest);
  if (a->Found() != b->Found() || a->AllFound() != b->AllFound()) std::abort();
  return 0;
}
