// Which of a list of text fragments occur in a stream of bytes, folding the
// ASCII letters A to Z only (other bytes compare exactly). An empty
// fragment never occurs. The stream is fed in blocks of any size; a
// fragment that spans two blocks is found.
#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace tarnscan::platform {

class PatternStream {
 public:
  virtual ~PatternStream() = default;
  virtual void Feed(std::string_view block) = 0;
  // found[i] is true when fragment i occurred anywhere in what was fed.
  virtual const std::vector<bool>& Found() const = 0;
  // True when every fragment has been found, so reading on is pointless.
  virtual bool AllFound() const = 0;
};

class PatternSet {
 public:
  virtual ~PatternSet() = default;
  // A fresh stream; streams of one set may be used by several threads at
  // once, each its own.
  virtual std::unique_ptr<PatternStream> Open() const = 0;
  virtual size_t Size() const = 0;
};

// The portable matcher (Aho-Corasick over case-folded bytes).
std::unique_ptr<PatternSet> MakeAhoCorasickSet(const std::vector<std::string>& patterns);

// The fastest matcher the build has (Vectorscan where it is available).
std::unique_ptr<PatternSet> MakePatternSet(const std::vector<std::string>& patterns);

}  // namespace tarnscan::platform
