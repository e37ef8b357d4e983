#include "main/scan_driver.h"

#include <gtest/gtest.h>

#include "platform/file_system.h"
#include "support/test_system.h"

namespace tarnscan {
namespace {

using platform::RootKey;
constexpr auto kLm = RootKey::kLocalMachine;

const char* const kWarning1 =
    "WARNING: not all files found by this scanner are bad. Consult with a knowledgable person "
    "before proceeding.";
const char* const kWarning2 =
    "If you see a message in the titlebar saying \"Not responding...\" you can ignore it. Windows "
    "sometimes displays this message due to the high volume of disk I/O. As long as the hard "
    "disk light is flashing, the program is still working properly.";

std::string Banner(int left, const std::string& title, int right) {
  return std::string(left, '\xBB') + " " + title + " " + std::string(right, '\xBB');
}

struct DriverFixture : ::testing::Test {
  DriverFixture() {
    auto& reg = scan.test_system.registry;
    const char* nt = "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion";
    reg.SetString(kLm, nt, "ProductName", "Microsoft Windows XP");
    reg.SetString(kLm, nt, "CSDVersion", "Service Pack 2");
    reg.SetString(kLm, nt, "CurrentVersion", "5.1");
    reg.SetString(kLm, nt, "CurrentBuildNumber", "2600");
    reg.SetString(kLm, "SOFTWARE\\Microsoft\\Internet Explorer", "Version", "6.0.2900.2180");
    scan.context->program_folder = "C:\\Tools\\";
    scan.options.FolderRemoveAll();
    scan.options.RegistryRemoveAll();
    scan.options.Set("chkAddOns", false);
  }

  ScanResult Run() {
    return RunScan(*scan.context,
                   ReportTarget{"C:\\Tools\\Tarnscan.Txt",
                                [this](const std::string& bytes) { saved = bytes; }});
  }

  std::vector<std::string> HeaderLines() const {
    return {kWarning1,
            "",
            kWarning2,
            "",
            Banner(17, "Windows OS and Versions", 31),
            "Logfile created on: 1/2/2026 3:04:05 AM",
            "Tarnscan v1.5.0\tFolder = C:\\Tools\\",
            "Microsoft Windows XP Service Pack 2 (Version = 5.1.2600)",
            "Internet Explorer (Version = 6.0.2900.2180)"};
  }

  static std::string Join(const std::vector<std::string>& lines) {
    std::string text;
    for (const auto& line : lines) text += line + "\r\n";
    return text;
  }

  testing::TestScan scan;
  std::string saved;
};

TEST_F(DriverFixture, EveryBoxUntickedGivesHeaderAndBannersOnly) {
  auto lines = HeaderLines();
  for (const std::string& line :
       {std::string(), Banner(17, "Checking Selected Standard Folders", 20), std::string(),
        Banner(17, "Checking Selected Startup Folders", 21), std::string(),
        Banner(17, "Checking Selected Registry Keys", 23), std::string(), std::string(),
        Banner(24, "Scan Complete", 34)}) {
    lines.push_back(line);
  }
  const ScanResult result = Run();
  EXPECT_TRUE(result.completed);
  EXPECT_EQ(saved, Join(lines));
  EXPECT_EQ(scan.test_system.shell.opened, "C:\\WINDOWS\\notepad.exe C:\\Tools\\Tarnscan.Txt");
}

TEST_F(DriverFixture, BannersAreSeventyThreeBytesOfCode187) {
  for (auto title : {kBannerVersions, kBannerStandardFolders, kBannerStartupFolders,
                     kBannerRegistry, kBannerComplete}) {
    const std::string banner = BlockBanner(title);
    EXPECT_EQ(banner.size(), 73u) << title;
    EXPECT_EQ(banner.front(), '\xBB');
    EXPECT_EQ(banner.back(), '\xBB');
  }
}

TEST_F(DriverFixture, SectionBannersFollowTheShowAllBoxes) {
  scan.options.Set("chkWinsock2", true);
  scan.options.Set("chkAllWinsock2", true);
  scan.options.Set("chkProtocolFilters", true);
  scan.options.Set("chkAllProtocolFilters", false);
  // Ticked "Show All" without its section writes nothing.
  scan.options.Set("chkAllShellExtensions", true);
  scan.options.Set("chkAddOns", true);
  Run();
  const auto& lines = scan.context->log.Lines();
  const auto count = [&](const std::string& text) {
    return std::count(lines.begin(), lines.end(), text);
  };
  EXPECT_EQ(count(">>> All Winsock2 Catalogs <<<"), 1);
  EXPECT_EQ(count(">>> Protocol Filters (Non-Microsoft Only) <<<"), 1);
  EXPECT_EQ(count(">>> All Approved Shell Extensions <<<"), 0);
  EXPECT_EQ(count(">>> Approved Shell Extensions (Non-Microsoft Only) <<<"), 0);
  EXPECT_EQ(count(">>> Selected AddOn's <<<"), 1);
}

TEST_F(DriverFixture, NinetyEightFamilyHeader) {
  auto& reg = scan.test_system.registry;
  reg.SetString(kLm, "SOFTWARE\\Microsoft\\Windows\\CurrentVersion", "Version", "Windows 98");
  reg.SetString(kLm, "SOFTWARE\\Microsoft\\Windows\\CurrentVersion", "VersionNumber", "4.10.2222");
  scan.context->env.os_family = "98";
  Run();
  const auto& lines = scan.context->log.Lines();
  EXPECT_EQ(lines[7], "Product Name: Windows 98    Version: 4.10.2222");
  EXPECT_EQ(lines[8], "Internet Explorer Version: 6.0.2900.2180");
}

TEST_F(DriverFixture, MissingVersionsLeaveEmptyPieces) {
  scan.test_system.registry.DeleteKey(kLm, "SOFTWARE\\Microsoft\\Internet Explorer");
  scan.test_system.registry.DeleteKey(kLm, "SOFTWARE\\Microsoft\\Windows NT");
  Run();
  EXPECT_EQ(scan.context->log.Lines()[7], "  (Version = .)");
  EXPECT_EQ(scan.context->log.Lines()[8], "Internet Explorer (Version = )");
}

TEST_F(DriverFixture, MidnightLeavesOutTheTime) {
  scan.test_system.clock.Set({2026, 12, 31, 0, 0, 0, 0});
  Run();
  EXPECT_EQ(scan.context->log.Lines()[5], "Logfile created on: 12/31/2026");
}

// A wrong-typed value read at the start of the scan or in the header: the
// lines so far are saved with the reason, nothing is opened.
TEST_F(DriverFixture, WrongTypedValueSavesThePartialReportWithTheReason) {
  struct Case {
    const char* key;
    const char* value;
    const char* sound;  // the value as the fixture has it
    size_t lines_kept;  // of the header
  };
  auto& registry = scan.test_system.registry;
  for (const Case& c : {Case{"SOFTWARE\\Microsoft\\Windows\\CurrentVersion", "ProgramFilesDir",
                             "C:\\Program Files", 4},
                        Case{"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion", "ProductName",
                             "Microsoft Windows XP", 7}}) {
    registry.SetDword(kLm, c.key, c.value, 7);
    const ScanResult result = Run();
    registry.SetString(kLm, c.key, c.value, c.sound);
    const std::string reason = "Invalid data type for '" + std::string(c.value) + "'";
    EXPECT_FALSE(result.completed);
    EXPECT_TRUE(result.saved);
    EXPECT_EQ(result.error, reason);
    auto lines = HeaderLines();
    lines.resize(c.lines_kept);
    lines.push_back("");
    lines.push_back("Scan ended early: " + reason);
    EXPECT_EQ(saved, Join(lines));
    EXPECT_EQ(scan.test_system.shell.opened, "");
  }
}

ScanResult RunWithFailingSave(ScanContext& context) {
  return RunScan(context, ReportTarget{"C:\\Tools\\Tarnscan.Txt", [](const std::string&) {
                                         throw platform::FileError("Cannot create file");
                                       }});
}

TEST_F(DriverFixture, AFailedSaveIsReportedAndNothingIsOpened) {
  const ScanResult result = RunWithFailingSave(*scan.context);
  EXPECT_FALSE(result.completed);
  EXPECT_FALSE(result.saved);
  EXPECT_EQ(result.error, "");
  EXPECT_EQ(result.save_error, "Cannot create file");
  EXPECT_EQ(FailureLines(result, "C:\\Tools\\Tarnscan.Txt"),
            std::vector<std::string>{"Cannot create file"});
  EXPECT_EQ(scan.test_system.shell.opened, "");
}

TEST_F(DriverFixture, AScanErrorAndAFailedSaveAreBothToldAndNothingClaimsTheReportWasKept) {
  scan.test_system.registry.SetDword(kLm, "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion",
                                     "ProductName", 7);
  const ScanResult result = RunWithFailingSave(*scan.context);
  EXPECT_FALSE(result.saved);
  EXPECT_EQ(
      FailureLines(result, "C:\\Tools\\Tarnscan.Txt"),
      (std::vector<std::string>{"Invalid data type for 'ProductName'", "Cannot create file"}));
}

TEST_F(DriverFixture, AScanErrorWithTheReportKeptSaysWhere) {
  scan.test_system.registry.SetDword(kLm, "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion",
                                     "ProductName", 7);
  const ScanResult result = Run();
  EXPECT_EQ(FailureLines(result, "C:\\Tools\\Tarnscan.Txt"),
            (std::vector<std::string>{"Invalid data type for 'ProductName'",
                                      "The report so far was saved to C:\\Tools\\Tarnscan.Txt."}));
}

TEST_F(DriverFixture, ASecondScanReplacesTheFirst) {
  Run();
  const std::string first = saved;
  scan.test_system.clock.Set({2026, 1, 2, 15, 4, 6, 0});
  Run();
  EXPECT_EQ(scan.context->log.Lines()[5], "Logfile created on: 1/2/2026 3:04:06 PM");
  EXPECT_EQ(saved.size(), first.size());
  EXPECT_EQ(scan.context->log.Lines().front(), kWarning1);
}

}  // namespace
}  // namespace tarnscan
