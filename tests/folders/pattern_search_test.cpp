#include "platform/pattern_search.h"

#include <gtest/gtest.h>

#include <random>

namespace tarnscan::platform {
namespace {

std::vector<bool> Search(const PatternSet& set, std::string_view text, size_t block) {
  auto stream = set.Open();
  for (size_t at = 0; at < text.size(); at += block) stream->Feed(text.substr(at, block));
  return stream->Found();
}

TEST(PatternSearch, FoldsAsciiLettersOnlyAndNeverMatchesEmptyFragments) {
  const std::vector<std::string> patterns{"abc", "", "\xE9t\xE9", "ABC", "x\0y", "zz"};
  for (const auto& set : {MakePatternSet(patterns), MakeAhoCorasickSet(patterns)}) {
    EXPECT_EQ(Search(*set, "..aBc..\xC9T\xC9..\xE9T\xE9", 64),
              (std::vector<bool>{true, false, true, true, false, false}));
    EXPECT_EQ(Search(*set, "", 64), (std::vector<bool>(6, false)));
    EXPECT_FALSE(set->Open()->AllFound());
  }
}

TEST(PatternSearch, FindsFragmentsAcrossBlocksAndKnowsWhenAllAreFound) {
  const std::vector<std::string> patterns{"needle", "NEEDLE", "hay"};
  for (const auto& set : {MakePatternSet(patterns), MakeAhoCorasickSet(patterns)}) {
    auto stream = set->Open();
    stream->Feed("xxhaynee");
    EXPECT_FALSE(stream->AllFound());
    stream->Feed("dlexx");
    EXPECT_TRUE(stream->AllFound());
  }
}

// The Linux matcher and the portable one must agree on every input.
TEST(PatternSearch, VectorscanAndAhoCorasickAgreeOnRandomData) {
  std::mt19937 random(20261211);
  const std::string alphabet("abAB.\xE9\xC9\0z", 9);
  auto random_text = [&](size_t length) {
    std::string text;
    for (size_t i = 0; i < length; ++i) text += alphabet[random() % alphabet.size()];
    return text;
  };
  for (int round = 0; round < 200; ++round) {
    std::vector<std::string> patterns;
    const int count = 1 + static_cast<int>(random() % 12);
    for (int i = 0; i < count; ++i) patterns.push_back(random_text(random() % 5));
    const auto fast = MakePatternSet(patterns);
    const auto portable = MakeAhoCorasickSet(patterns);
    const std::string text = random_text(random() % 300);
    const size_t block = 1 + random() % 17;
    ASSERT_EQ(Search(*fast, text, block), Search(*portable, text, 300)) << "round " << round;
  }
}

}  // namespace
}  // namespace tarnscan::platform
