#include <gtest/gtest.h>

#include "fileinfo/version_info.h"
#include "folders/file_line.h"
#include "folders/folder_sections.h"
#include "folders/pattern_scan.h"
#include "support/pe_writer.h"
#include "support/test_system.h"

namespace tarnscan {
namespace {

using platform::CalendarToFileTime;
using platform::kAttrHidden;
using platform::kAttrReadOnly;
using platform::kAttrSystem;
using platform::LocalTime;

const platform::FileTime kWritten = CalendarToFileTime({2025, 12, 24, 10, 30, 15, 0});
const std::string kDate = "12/24/2025 10:30:14 AM";  // two-second resolution

// Builds the expected file line by hand, column by column.
std::string Line(const std::string& pattern, const std::string& attrs, uint64_t size,
                 const std::string& path) {
  std::string line = pattern + std::string(21 - std::min<size_t>(21, pattern.size()), ' ');
  line += kDate + std::string(23 - kDate.size(), ' ');
  line += " " + attrs + " ";
  const std::string size_text = std::to_string(size);
  line += size_text + std::string(11 - std::min<size_t>(11, size_text.size()), ' ');
  return line + path + " ()";
}

struct FolderScan : ::testing::Test {
  FolderScan() { SetPatterns({"hotbar", "CoolWebSearch", "", "hotbar"}); }
  void SetPatterns(std::vector<std::string> patterns) {
    scan.context->patterns = std::move(patterns);
    scan.context->pattern_set = platform::MakePatternSet(scan.context->patterns);
  }
  platform::MemoryFileSystem::Node& Add(const std::string& path, std::string bytes,
                                        uint32_t attributes = platform::kAttrArchive) {
    return scan.test_system.files.AddFile(path, std::move(bytes), attributes, kWritten);
  }
  const std::vector<std::string>& Lines() const { return scan.context->log.Lines(); }

  testing::TestScan scan;
};

TEST(FormatFileLine, FixedColumnsAndLongFieldsPushRight) {
  const std::string line =
      FormatFileLine("abcdefghij", std::string(19, 'd'), " HS", "5120", "C:\\f");
  EXPECT_EQ(line, "abcdefghij" + std::string(11, ' ') + std::string(19, 'd') + "    " + "  HS " +
                      "5120" + std::string(7, ' ') + "C:\\f");
  EXPECT_EQ(line.find("C:\\f"), 60u);  // the path at column 61
  const std::string long_pattern(25, 'p');
  EXPECT_EQ(FormatFileLine(long_pattern, "d", "   ", "1", "x").find('d'), 25u);
  EXPECT_EQ(FormatFileLine("", "", "", "", "x"),
            std::string(21 + 23, ' ') + "  " + std::string(11, ' ') + "x");
}

TEST_F(FolderScan, OneLinePerFragmentInListOrderCaseFoldedAsciiOnly) {
  Add("C:\\WINDOWS\\adware.dll", "xx HOTBAR yy coolwebsearch");
  Add("C:\\WINDOWS\\umlaut.txt", "\xC4hotbar");
  Add("C:\\WINDOWS\\clean.txt", "nothing here");
  Add("C:\\WINDOWS\\accent.txt", "COOLWEBSEARC\xC8");
  ScanFolderForPatterns(*scan.context, "C:\\WINDOWS", "*.*", false);
  EXPECT_EQ(Lines(),
            (std::vector<std::string>{Line("hotbar", "   ", 26, "C:\\WINDOWS\\adware.dll"),
                                      Line("CoolWebSearch", "   ", 26, "C:\\WINDOWS\\adware.dll"),
                                      Line("hotbar", "   ", 26, "C:\\WINDOWS\\adware.dll"),
                                      Line("hotbar", "   ", 7, "C:\\WINDOWS\\umlaut.txt"),
                                      Line("hotbar", "   ", 7, "C:\\WINDOWS\\umlaut.txt")}));
}

TEST_F(FolderScan, NonAsciiLettersMustMatchExactly) {
  SetPatterns({"caf\xE9"});
  Add("C:\\d\\a.txt", "CAF\xC9");
  Add("C:\\d\\b.txt", "CAF\xE9");
  ScanFolderForPatterns(*scan.context, "C:\\d\\", "*.*", false);
  ASSERT_EQ(Lines().size(), 1u);
  EXPECT_NE(Lines()[0].find("C:\\d\\b.txt"), std::string::npos);
}

TEST_F(FolderScan, FragmentsAcrossReadBlocksAreFound) {
  std::string content(64 * 1024 - 3, 'x');
  content += "HOTBAR";
  content += std::string(100000, 'y');
  Add("C:\\d\\big.bin", content);
  ScanFolderForPatterns(*scan.context, "C:\\d", "*.*", false);
  EXPECT_EQ(Lines().size(), 2u);
}

TEST_F(FolderScan, HostsFilesListTheirMatchingLines) {
  Add("C:\\etc\\hosts",
      "127.0.0.1 localhost\r\n1.2.3.4 www.hotbar.com\r\n5.6.7.8 coolwebsearch.hotbar\r\n");
  Add("C:\\etc\\lmhosts", "nothing\r\n");
  Add("C:\\etc\\hosts.sam", "1.2.3.4 hotbar\r\n");
  ScanFolderForPatterns(*scan.context, "C:\\etc", "*.*", false);
  EXPECT_EQ(Lines(), (std::vector<std::string>{
                         "", "Items found in C:\\etc\\hosts", "1.2.3.4 www.hotbar.com",
                         "1.2.3.4 www.hotbar.com", "5.6.7.8 coolwebsearch.hotbar",
                         "5.6.7.8 coolwebsearch.hotbar", "5.6.7.8 coolwebsearch.hotbar", "",
                         Line("hotbar", "   ", 16, "C:\\etc\\hosts.sam"),
                         Line("hotbar", "   ", 16, "C:\\etc\\hosts.sam"), "",
                         "Items found in C:\\etc\\lmhosts", ""}));
}

TEST_F(FolderScan, EmptyPatternListStillListsHostsFrames) {
  SetPatterns({});
  Add("C:\\etc\\HOSTS", "1.2.3.4 hotbar\r\n");
  Add("C:\\etc\\other.txt", "hotbar");
  ScanFolderForPatterns(*scan.context, "C:\\etc", "*.*", false);
  EXPECT_EQ(Lines(), (std::vector<std::string>{"", "Items found in C:\\etc\\HOSTS", ""}));
}

TEST_F(FolderScan, SwapFilesAreNeverReadAndUnreadableFilesAreSkipped) {
  Add("C:\\PageFile.SYS", "hotbar");
  Add("C:\\win386.swp", "hotbar");
  Add("C:\\locked.dat", "hotbar").locked = true;
  Add("C:\\z.dat", "hotbar");
  auto& hosts = Add("C:\\x\\hosts", "hotbar\r\n");
  hosts.locked = true;
  ScanFolderForPatterns(*scan.context, "C:\\", "*.*", true);
  EXPECT_EQ(Lines(), (std::vector<std::string>{Line("hotbar", "   ", 6, "C:\\z.dat"),
                                               Line("hotbar", "   ", 6, "C:\\z.dat"), "",
                                               "Items found in C:\\x\\hosts"}));
}

TEST_F(FolderScan, WalkListsFilesBeforeSubFoldersDepthFirstAndSkipsFolderLinks) {
  Add("C:\\r\\b\\inner.txt", "hotbar");
  Add("C:\\r\\a\\deep\\d.txt", "hotbar");
  Add("C:\\r\\a\\c.txt", "hotbar");
  Add("C:\\r\\top.txt", "hotbar");
  scan.test_system.files.AddFolder("C:\\r\\hidden", platform::kAttrHidden | platform::kAttrSystem);
  Add("C:\\r\\hidden\\h.txt", "hotbar");
  scan.test_system.files.AddFolder("C:\\r\\link", platform::kAttrReparsePoint);
  Add("C:\\r\\link\\loop.txt", "hotbar");
  SetPatterns({"hotbar"});
  ScanFolderForPatterns(*scan.context, "C:\\r", "*.txt", true);
  std::vector<std::string> paths;
  for (const auto& line : Lines()) paths.push_back(line.substr(60, line.size() - 63));
  EXPECT_EQ(paths,
            (std::vector<std::string>{"C:\\r\\top.txt", "C:\\r\\a\\c.txt", "C:\\r\\a\\deep\\d.txt",
                                      "C:\\r\\b\\inner.txt", "C:\\r\\hidden\\h.txt"}));
}

TEST_F(FolderScan, ParallelReadingGivesTheSequentialReport) {
  for (int i = 0; i < 300; ++i) {
    std::string content(static_cast<size_t>(i * 37 % 5000), 'a');
    if (i % 3 == 0) content += "coolwebsearch";
    if (i % 5 == 0) content += "HoTbAr";
    Add("C:\\many\\sub" + std::to_string(i % 7) + "\\f" + std::to_string(i) + ".bin", content);
  }
  Add("C:\\many\\hosts", "hotbar\r\n").locked = (false);
  scan.context->scan_threads = 1;
  ScanFolderForPatterns(*scan.context, "C:\\many", "*.*", true);
  const auto sequential = Lines();
  ASSERT_GT(sequential.size(), 200u);
  scan.context->log.Clear();
  scan.context->scan_threads = 4;
  ScanFolderForPatterns(*scan.context, "C:\\many", "*.*", true);
  EXPECT_EQ(Lines(), sequential);
}

TEST_F(FolderScan, CheckFileForPatternsResultAndErrors) {
  Add("C:\\a.txt", "hotbar");
  Add("C:\\b.txt", "clean");
  Add("C:\\hosts", "hotbar\r\n");
  EXPECT_EQ(CheckFileForPatterns(*scan.context, "C:\\a.txt"), 1);
  EXPECT_EQ(CheckFileForPatterns(*scan.context, "C:\\b.txt"), -1);
  EXPECT_EQ(CheckFileForPatterns(*scan.context, "C:\\hosts"), -1);
  EXPECT_THROW(CheckFileForPatterns(*scan.context, "C:\\missing.txt"), std::exception);
}

TEST_F(FolderScan, SixtyDayWalkBoundaries) {
  scan.test_system.clock.Set({2026, 3, 1, 12, 0, 0, 0});
  auto& files = scan.test_system.files;
  // 59 days 23 hours before, listed; 60 days 2 seconds before, not.
  files.AddFile("C:\\WINDOWS\\recent.sys", "", kAttrHidden,
                CalendarToFileTime({2026, 1, 1, 13, 0, 0, 0}));
  files.AddFile("C:\\WINDOWS\\old.sys", "", kAttrSystem,
                CalendarToFileTime({2025, 12, 31, 11, 59, 58, 0}));
  files.AddFile("C:\\WINDOWS\\system32\\sys.dll", "", kAttrSystem,
                CalendarToFileTime({2026, 2, 20, 8, 0, 0, 0}));
  files.AddFile("C:\\WINDOWS\\readonly.txt", "", kAttrReadOnly,
                CalendarToFileTime({2026, 2, 28, 8, 0, 0, 0}));
  ScanRecentHiddenFiles(*scan.context);
  ASSERT_EQ(Lines().size(), 4u);
  EXPECT_EQ(Lines()[0],
            "Checking the Windows folder and sub-folders for system and hidden files within the "
            "last 60 days...");
  EXPECT_NE(Lines()[1].find(" H  0          C:\\WINDOWS\\recent.sys ()"), std::string::npos)
      << Lines()[1];
  EXPECT_NE(Lines()[2].find("  S 0          C:\\WINDOWS\\system32\\sys.dll ()"), std::string::npos);
  EXPECT_EQ(Lines()[3], "");
}

TEST_F(FolderScan, CplFilesInSubFoldersAnyCaseWithSixtyFourBitSizes) {
  Add("C:\\WINDOWS\\system32\\desk.CPL", "");
  Add("C:\\WINDOWS\\system32\\sub\\x.cpl", "").entry.size = 3221225472ULL;
  Add("C:\\WINDOWS\\system32\\x.cplx", "");
  ScanCplFiles(*scan.context);
  EXPECT_EQ(Lines(),
            (std::vector<std::string>{
                "Checking for CPL files...", Line("", "   ", 0, "C:\\WINDOWS\\SYSTEM32\\desk.CPL"),
                Line("", "   ", 3221225472ULL, "C:\\WINDOWS\\SYSTEM32\\sub\\x.cpl"), ""}));
}

TEST_F(FolderScan, StandardFolderSectionWritesTitleAndEmptyLineEvenWithNoMatch) {
  ScanSystemDriversFolder(*scan.context);
  EXPECT_EQ(Lines(),
            (std::vector<std::string>{"Checking %System%\\Drivers folder and sub-folders...", ""}));
  Add("C:\\WINDOWS\\system32\\drivers\\etc\\hosts", "0.0.0.0 hotbar.com\r\n");
  scan.context->log.Clear();
  ScanSystemDriversFolder(*scan.context);
  EXPECT_EQ(Lines(),
            (std::vector<std::string>{"Checking %System%\\Drivers folder and sub-folders...", "",
                                      "Items found in C:\\WINDOWS\\SYSTEM32\\drivers\\etc\\hosts",
                                      "0.0.0.0 hotbar.com", "0.0.0.0 hotbar.com", "", ""}));
}

TEST_F(FolderScan, StartupFoldersListEveryFileOnce) {
  const char* kShell = "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";
  scan.test_system.registry.SetString(platform::RootKey::kCurrentUser, kShell, "Startup",
                                      "C:\\Users\\Owner\\Startup");
  scan.test_system.registry.SetString(platform::RootKey::kCurrentUser, kShell, "AppData",
                                      "C:\\Users\\Owner\\AppData");
  Add("C:\\Users\\Owner\\Startup\\b.exe", "coolwebsearch hotbar");
  Add("C:\\Users\\Owner\\Startup\\A.lnk", "plain", kAttrHidden);
  Add("C:\\Users\\Owner\\Startup\\sub\\deeper.exe", "hotbar");
  Add("C:\\Users\\Owner\\Startup\\locked.db", "hotbar").locked = true;
  scan.UseCompanyNames();
  testing::VersionSpec damaged = testing::CompanyVersion("Adware Inc");
  damaged.with_fixed_info = false;
  const std::string damaged_pe = testing::MakePeWithVersion(damaged);
  Add("C:\\Users\\Owner\\Startup\\damaged.dll", damaged_pe);
  std::string damaged_line =
      Line("", "   ", damaged_pe.size(), "C:\\Users\\Owner\\Startup\\damaged.dll");
  damaged_line.replace(damaged_line.size() - 3, 3, "[Detail Data unreadable]");
  scan.test_system.files.AddFolder("C:\\Users\\Owner\\AppData");
  scan.options.FolderRemoveAll();
  ScanStartupFolders(*scan.context);
  EXPECT_TRUE(Lines().empty());
  scan.options.Set("chkCurrentUserStartupFolder", true);
  scan.options.Set("chkCurrentUserApplicationDataFolder", true);
  scan.options.Set("chkAllUsersStartupFolder", true);
  ScanStartupFolders(*scan.context);
  EXPECT_EQ(Lines(), (std::vector<std::string>{
                         "Checking files in %ALLUSERSPROFILE%\\Startup folder...", "",
                         "Checking files in %USERPROFILE%\\Startup folder...",
                         Line("", " H ", 5, "C:\\Users\\Owner\\Startup\\A.lnk"),
                         Line("hotbar", "   ", 20, "C:\\Users\\Owner\\Startup\\b.exe"),
                         Line("CoolWebSearch", "   ", 20, "C:\\Users\\Owner\\Startup\\b.exe"),
                         Line("hotbar", "   ", 20, "C:\\Users\\Owner\\Startup\\b.exe"),
                         damaged_line, Line("", "   ", 6, "C:\\Users\\Owner\\Startup\\locked.db"),
                         "", "Checking files in %USERPROFILE%\\Application Data folder...", ""}));
  EXPECT_EQ(scan.context->current_folder, "C:\\Users\\Owner\\AppData");
}

TEST_F(FolderScan, DownloadedProgramFilesSortedWithClassNames) {
  scan.test_system.ApplyReg(R"(REGEDIT4

[HKEY_LOCAL_MACHINE\SOFTWARE\Microsoft\Code Store Database\Distribution Units\{b-unit}]
[HKEY_LOCAL_MACHINE\SOFTWARE\Microsoft\Code Store Database\Distribution Units\{b-unit}\DownloadInformation]
"CODEBASE"="http://ads.example/b.cab"
[HKEY_LOCAL_MACHINE\SOFTWARE\Microsoft\Code Store Database\Distribution Units\{A-unit}]
[HKEY_LOCAL_MACHINE\SOFTWARE\Microsoft\Code Store Database\Distribution Units\NotAClsid]
[HKEY_LOCAL_MACHINE\SOFTWARE\Classes\CLSID\{b-unit}]
@="Bargain Control"
)");
  ScanDownloadedProgramFiles(*scan.context);
  EXPECT_EQ(Lines(), (std::vector<std::string>{
                         "Checking for Downloaded Program Files...", "{A-unit} -  - CodeBase = ",
                         "{b-unit} - Bargain Control - CodeBase = http://ads.example/b.cab",
                         "NotAClsid -  - CodeBase = ", ""}));
  EXPECT_FALSE(scan.context->reg1.HasKey());
}

}  // namespace
}  // namespace tarnscan
