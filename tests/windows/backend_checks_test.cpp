// The checks test-backend-checks.exe makes of the live backends inside
// Wine (exclusive opens, listings, ANSI registry reads, shell answers):
// every one ran, and each passed.
#include <gtest/gtest.h>

#include <map>

#include "windows/wine_results.h"

namespace tarnscan::testing {
namespace {

TEST(BackendChecks, EveryCheckRanAndPassed) {
  SKIP_WITHOUT_WINE_RESULTS();
  std::map<std::string, std::string> results;
  for (const auto& line : TextLines(ResultFile("backend-checks.tsv"))) {
    const auto fields = platform::Split(line, '\t');
    ASSERT_GE(fields.size(), 2u) << line;
    results[std::string(fields[0])] = line;
    EXPECT_EQ(fields[1], "ok") << line;
  }
  for (const char* check : {
           "open exclusive: a file another handle holds",
           "open exclusive: a folder",
           "open exclusive: a missing file",
           "open exclusive: the second open of a file fails",
           "read: positions, short reads, past the end",
           "list: mask, no dot entries",
           "list: a missing folder is empty",
           "stat: roots, trailing backslashes, wildcards",
           "registry: strings converted as the code page converts them",
           "registry: raw data keeps its NULs",
           "registry: numbers, empty data, long names",
           "registry: sub-keys in the code page, missing keys",
           "registry: the wrong type is an error",
           "shell: a file that is no shortcut resolves to nothing",
           "shell: type name of a file, none for a missing one",
           "version: none for a text file or a missing one",
       }) {
    EXPECT_TRUE(results.count(check)) << "did not run: " << check;
  }
}

}  // namespace
}  // namespace tarnscan::testing
