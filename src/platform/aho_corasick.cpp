// A dense Aho-Corasick automaton over ASCII-folded bytes: one 256-entry
// transition row per state, so scanning is one table lookup per byte.
#include <algorithm>
#include <array>
#include <cstdint>
#include <queue>

#include "platform/pattern_search.h"
#include "platform/text.h"

namespace tarnscan::platform {
namespace {

constexpr std::array<uint8_t, 256> MakeFoldTable() {
  std::array<uint8_t, 256> table{};
  for (int c = 0; c < 256; ++c) {
    table[c] = static_cast<uint8_t>(c >= 'a' && c <= 'z' ? c - 32 : c);
  }
  return table;
}
constexpr auto kFold = MakeFoldTable();

class Automaton {
 public:
  explicit Automaton(const std::vector<std::string>& patterns) : pattern_count_(patterns.size()) {
    AddState();
    for (size_t i = 0; i < patterns.size(); ++i) {
      if (!patterns[i].empty()) Insert(patterns[i], static_cast<uint32_t>(i));
    }
    Link();
  }

  uint32_t Next(uint32_t state, unsigned char byte) const {
    return goto_[state * 256 + kFold[byte]];
  }
  // Patterns that end at this state, its suffix links' included.
  const std::vector<uint32_t>& Output(uint32_t state) const { return output_[state]; }
  size_t PatternCount() const { return pattern_count_; }
  size_t SearchableCount() const { return searchable_; }

 private:
  uint32_t AddState() {
    goto_.resize(goto_.size() + 256, 0);
    output_.emplace_back();
    fail_.push_back(0);
    return static_cast<uint32_t>(output_.size() - 1);
  }

  void Insert(const std::string& pattern, uint32_t index) {
    uint32_t state = 0;
    for (unsigned char c : pattern) {
      const uint8_t folded = kFold[c];
      uint32_t next = goto_[state * 256 + folded];
      if (next == 0) {
        next = AddState();
        goto_[state * 256 + folded] = next;
      }
      state = next;
    }
    ++searchable_;
    output_[state].push_back(index);
  }

  // Breadth-first: fills the failure links and turns the trie into a full
  // transition table.
  void Link() {
    std::queue<uint32_t> queue;
    for (int c = 0; c < 256; ++c) {
      if (const uint32_t next = goto_[c]) queue.push(next);
    }
    while (!queue.empty()) {
      const uint32_t state = queue.front();
      queue.pop();
      const auto& inherited = output_[fail_[state]];
      output_[state].insert(output_[state].end(), inherited.begin(), inherited.end());
      for (int c = 0; c < 256; ++c) {
        uint32_t& next = goto_[state * 256 + c];
        const uint32_t fallback = goto_[fail_[state] * 256 + c];
        if (next != 0) {
          fail_[next] = fallback;
          queue.push(next);
        } else {
          next = fallback;
        }
      }
    }
  }

  size_t pattern_count_;
  size_t searchable_ = 0;  // the non-empty patterns
  std::vector<uint32_t> goto_;
  std::vector<uint32_t> fail_;
  std::vector<std::vector<uint32_t>> output_;
};

class AhoCorasickStream final : public PatternStream {
 public:
  explicit AhoCorasickStream(const Automaton& automaton)
      : automaton_(automaton), found_(automaton.PatternCount(), false) {}

  void Feed(std::string_view block) override {
    uint32_t state = state_;
    for (char c : block) {
      state = automaton_.Next(state, static_cast<unsigned char>(c));
      const auto& output = automaton_.Output(state);
      if (!output.empty()) Record(output);
    }
    state_ = state;
  }
  const std::vector<bool>& Found() const override { return found_; }
  bool AllFound() const override { return found_count_ == automaton_.SearchableCount(); }

 private:
  void Record(const std::vector<uint32_t>& output) {
    for (uint32_t index : output) {
      if (!found_[index]) {
        found_[index] = true;
        ++found_count_;
      }
    }
  }

  const Automaton& automaton_;
  uint32_t state_ = 0;
  std::vector<bool> found_;
  size_t found_count_ = 0;
};

class AhoCorasickSet final : public PatternSet {
 public:
  explicit AhoCorasickSet(const std::vector<std::string>& patterns) : automaton_(patterns) {}
  std::unique_ptr<PatternStream> Open() const override {
    return std::make_unique<AhoCorasickStream>(automaton_);
  }
  size_t Size() const override { return automaton_.PatternCount(); }

 private:
  Automaton automaton_;
};

}  // namespace

std::unique_ptr<PatternSet> MakeAhoCorasickSet(const std::vector<std::string>& patterns) {
  return std::make_unique<AhoCorasickSet>(patterns);
}

}  // namespace tarnscan::platform
