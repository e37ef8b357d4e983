// Vectorscan is not built for Windows; the portable matcher serves.
#include "platform/pattern_search.h"

namespace tarnscan::platform {

std::unique_ptr<PatternSet> MakePatternSet(const std::vector<std::string>& patterns) {
  return MakeAhoCorasickSet(patterns);
}

}  // namespace tarnscan::platform
