// The live scan inside Wine and the offline scan of the same prefix on
// Linux give the same report: the Win32 backends and the offline ones
// present one system identically, section by section.
#include <gtest/gtest.h>

#include "main/options.h"
#include "main/scan_driver.h"
#include "windows/wine_results.h"

namespace tarnscan::testing {
namespace {

struct Variant {
  const char* name;
  bool every_show_all_box;
};

class AgreementTest : public ::testing::TestWithParam<Variant> {};

TEST_P(AgreementTest, LiveReportEqualsOfflineReport) {
  SKIP_WITHOUT_WINE_RESULTS();
  const std::string name = GetParam().name;
  EXPECT_EQ(Trimmed(ResultFile("live-" + name + ".rc")),
            Trimmed(ResultFile("linux-" + name + ".rc")))
      << ResultFile("live-" + name + ".log") << ResultFile("linux-" + name + ".log");
  ExpectSameReport(ResultFile("live-" + name + ".txt"), ResultFile("linux-" + name + ".txt"));
}

// Every section of the driver's tables ran, so the agreement covers all.
TEST_P(AgreementTest, EverySectionTakesPart) {
  SKIP_WITHOUT_WINE_RESULTS();
  const auto lines = ReportLines(ResultFile(std::string("live-") + GetParam().name + ".txt"));
  ScanOptions options;
  if (GetParam().every_show_all_box) {
    for (const auto& box : OptionBoxes()) {
      if (!box.show_all_of.empty()) options.Set(box.name, true);
    }
  }
  for (auto title : {kBannerVersions, kBannerStandardFolders, kBannerStartupFolders,
                     kBannerRegistry, kBannerComplete}) {
    EXPECT_TRUE(HasLineContaining(lines, BlockBanner(title))) << title;
  }
  for (const auto& row : RegistrySections()) {
    const bool show_all = !row.show_all_box.empty() && options.Ticked(row.show_all_box);
    EXPECT_TRUE(HasLineContaining(lines, show_all ? row.banner_show_all : row.banner)) << row.box;
  }
  EXPECT_TRUE(HasLineContaining(lines, ">>> Selected AddOn's <<<"));
  EXPECT_TRUE(HasLineContaining(lines, "spyware-check.def"));
}

// The traces the script planted are in the report, so the comparison
// covered shortcuts, Run entries, hidden files and pattern matches.
TEST_P(AgreementTest, ReportShowsThePlantedTraces) {
  SKIP_WITHOUT_WINE_RESULTS();
  const auto lines = ReportLines(ResultFile(std::string("live-") + GetParam().name + ".txt"));
  for (const char* trace :
       {"\\Notepad.lnk - ", "\\notepad.exe", "\\Tray Helper.lnk - ", "\\Updater.lnk - ",
        "\\run.bat", "\\desktop.ini", "tsfilter.dll", "toolbar.dll", "settings.ini",
        "TrayHelper - ", "Updater - ", "Wine builtin DLL", "localhost"}) {
    EXPECT_TRUE(HasLineContaining(lines, trace)) << trace;
  }
}

INSTANTIATE_TEST_SUITE_P(Options, AgreementTest,
                         ::testing::Values(Variant{"default", false}, Variant{"show-all", true}),
                         [](const auto& info) {
                           return std::string(info.param.every_show_all_box ? "EveryShowAllBox"
                                                                            : "StartStates");
                         });

}  // namespace
}  // namespace tarnscan::testing
