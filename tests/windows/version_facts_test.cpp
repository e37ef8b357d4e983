// The version facts of every executable in the prefix's system32: what
// GetFileVersionInfoA / VerQueryValueA give inside Wine equals what the
// offline reader gives for the same bytes.
#include <gtest/gtest.h>

#include <set>

#include "platform/memory/system_folder.h"
#include "windows/version_facts_row.h"
#include "windows/wine_results.h"

namespace tarnscan::testing {
namespace {

constexpr const char* kSystemFolder = "C:\\windows\\system32";

std::string FirstField(const std::string& row) { return row.substr(0, row.find('\t')); }

TEST(VersionFacts, SystemFolderExecutablesAgree) {
  SKIP_WITHOUT_WINE_RESULTS();
  const auto live_rows = TextLines(ResultFile("version-facts-live.tsv"));
  ASSERT_FALSE(live_rows.empty()) << ResultFile("version-facts-live.log");
  const platform::System system = platform::LoadSystemFolder((WineResults() / "system").string());

  int mismatches = 0;
  size_t with_company = 0;
  for (const auto& live : live_rows) {
    const std::string name = FirstField(live);
    const std::string offline =
        VersionFactsRow(*system.facts, name, std::string(kSystemFolder) + "\\" + name);
    if (live != offline && ++mismatches <= 20) {
      ADD_FAILURE() << name << "\n  live:    " << live << "\n  offline: " << offline;
    }
    if (live.find("\t=Microsoft Corporation\t") != std::string::npos) ++with_company;
  }
  EXPECT_EQ(mismatches, 0);
  // Strings were compared, not only empty resources.
  EXPECT_GT(with_company, 0u);
}

// The helper saw every executable the offline file system holds there.
TEST(VersionFacts, EveryExecutableHasARow) {
  SKIP_WITHOUT_WINE_RESULTS();
  std::set<std::string, platform::LessIgnoreCase> live;
  for (const auto& row : TextLines(ResultFile("version-facts-live.tsv")))
    live.insert(FirstField(row));
  const platform::System system = platform::LoadSystemFolder((WineResults() / "system").string());
  size_t executables = 0;
  for (const auto& entry : system.files->List(kSystemFolder, "*")) {
    if (entry.IsDirectory()) continue;
    std::string magic;
    const auto file = system.files->OpenExclusive(std::string(kSystemFolder) + "\\" + entry.name);
    if (!file->ReadExact(0, 2, magic) || magic != "MZ") continue;
    ++executables;
    EXPECT_TRUE(live.count(entry.name)) << entry.name;
  }
  EXPECT_EQ(executables, live.size());
}

}  // namespace
}  // namespace tarnscan::testing
