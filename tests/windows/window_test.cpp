// Tarnscan.exe under Xvfb, driven through its buttons by a helper program
// (scripts/test-windows.sh): the boxes the window shows, what its buttons
// do to them, the memo, the report it saves and Notepad opened on it.
#include <gtest/gtest.h>

#include "main/options.h"
#include "windows/wine_results.h"

namespace tarnscan::testing {
namespace {

// What the window's check boxes must show: one line per box of the
// options table, in its order, with the caption the table gives.
std::vector<std::string> ExpectedBoxes(const ScanOptions& options) {
  std::vector<std::string> lines;
  for (const auto& box : OptionBoxes()) {
    lines.push_back(std::string(box.caption) + "\t" +
                    (options.Ticked(box.name) ? "ticked" : "unticked"));
  }
  return lines;
}

TEST(Window, BoxesShowTheStartStates) {
  SKIP_WITHOUT_WINE_RESULTS();
  EXPECT_EQ(TextLines(ResultFile("boxes-start.txt")), ExpectedBoxes(ScanOptions()));
}

TEST(Window, RemoveAllOnBothGroupsUnticksTheirBoxes) {
  SKIP_WITHOUT_WINE_RESULTS();
  ScanOptions options;
  options.FolderRemoveAll();
  options.RegistryRemoveAll();
  EXPECT_EQ(TextLines(ResultFile("boxes-removed.txt")), ExpectedBoxes(options));
}

TEST(Window, DefaultRestoresTheStartStates) {
  SKIP_WITHOUT_WINE_RESULTS();
  EXPECT_EQ(TextLines(ResultFile("boxes-default.txt")), ExpectedBoxes(ScanOptions()));
}

TEST(Window, AddOnListHoldsThePluginsSortedAndUnticked) {
  SKIP_WITHOUT_WINE_RESULTS();
  ScanOptions options;
  for (const auto& name : TextLines(ResultFile("gui-plugins.txt"))) options.AddAddOn(name);
  std::vector<std::string> expected;
  for (const auto& addon : options.AddOns()) expected.push_back(addon.name + "\tunticked");
  ASSERT_GE(expected.size(), 2u);
  EXPECT_EQ(TextLines(ResultFile("addons-start.txt")), expected);
}

TEST(Window, MemoShowsTheWarningBeforeTheFirstScan) {
  SKIP_WITHOUT_WINE_RESULTS();
  const std::string expected =
      "WARNING: not all files found by this scanner are bad. Consult with a knowledgable person "
      "before taking any \r\n"
      "action based on the output.\r\n"
      "\r\n"
      "If you see a message in the titlebar saying 'Not responding...' you can ignore it. "
      "Windows sometimes \r\n"
      "displays this message due to the high volume of disk I/O. As long as the hard disk light "
      "is flashing, the \r\n"
      "program is still working properly.\r\n"
      "\r\n";
  EXPECT_EQ(ResultFile("memo-start.txt"), expected);
}

// With every box of both groups unticked the report is the frame alone
// (and the AddOn banner: "Run AddOn's" is no group's box), the same as
// the offline command makes of the prefix with only AddOns ticked.
TEST(Window, ScanWithEveryBoxUntickedGivesTheBareReport) {
  SKIP_WITHOUT_WINE_RESULTS();
  const std::string report = ResultFile("gui-report.txt");
  ExpectSameReport(report, ResultFile("linux-unticked.txt"));
  for (const auto& line : ReportLines(report)) {
    if (platform::StartsWith(line, ">>> ")) {
      EXPECT_EQ(line, ">>> Selected AddOn's <<<");
    }
  }
}

// The scan runs on a thread of its own; its report is the one the
// offline command makes of the same prefix with the same options.
TEST(Window, ScanWithTheStartStatesGivesTheOfflineReport) {
  SKIP_WITHOUT_WINE_RESULTS();
  ExpectSameReport(ResultFile("gui-report-default.txt"), ResultFile("linux-gui-default.txt"));
}

TEST(Window, MemoShowsTheReportAfterTheScan) {
  SKIP_WITHOUT_WINE_RESULTS();
  const std::string report = ResultFile("gui-report.txt");
  ASSERT_FALSE(report.empty());
  EXPECT_EQ(ResultFile("memo-scanned.txt"), report);
}

TEST(Window, NotepadOpensTheReport) {
  SKIP_WITHOUT_WINE_RESULTS();
  const std::string title = Trimmed(ResultFile("notepad-title.txt"));
  EXPECT_NE(platform::UpperCase(title).find("TARNSCAN.TXT"), std::string::npos) << title;
}

}  // namespace
}  // namespace tarnscan::testing
