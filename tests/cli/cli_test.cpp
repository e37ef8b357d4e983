// The command as a user runs it: exit codes, messages and report bytes.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "support/cli_runner.h"
#include "support/files.h"

namespace fs = std::filesystem;

namespace tarnscan {
namespace {

using Outcome = testing::CliOutcome;
using testing::ReadFile;
using testing::ReportLines;
using testing::RunCli;


std::string Banner(int left, const std::string& title, int right) {
  return std::string(left, '\xBB') + " " + title + " " + std::string(right, '\xBB');
}

class Cli : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() /
           ("tarnscan-cli-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) +
            "-" + ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(dir_);
    fs::create_directories(dir_);
  }
  void TearDown() override { fs::remove_all(dir_); }

  std::string Sample() const { return std::string(TARNSCAN_SAMPLES_DIR) + "/xp-home"; }
  std::string Patterns() const { return std::string(TARNSCAN_SAMPLES_DIR) + "/patterns.txt"; }
  fs::path Out() const { return dir_ / "Tarnscan.Txt"; }
  std::string Common() const {
    return "--patterns " + Patterns() + " --plugins " + (dir_ / "no-plugins").string() + " --out " +
           Out().string() + " --quiet";
  }

  fs::path dir_;
};

TEST_F(Cli, EverySectionUntickedGivesTheExactHeaderInTheSampleLocale) {
  const Outcome outcome =
      RunCli("--system " + Sample() + " --only \"\" --as-of \"2026-01-02 03:04:05\" " + Common());
  ASSERT_EQ(outcome.exit_code, 0) << outcome.output;
  const std::string folder = fs::path(TARNSCAN_CLI_PATH).parent_path().string() + "/";
  const std::vector<std::string> lines{
      "WARNING: not all files found by this scanner are bad. Consult with a knowledgable person "
      "before proceeding.",
      "",
      "If you see a message in the titlebar saying \"Not responding...\" you can ignore it. "
      "Windows sometimes displays this message due to the high volume of disk I/O. As long as "
      "the hard disk light is flashing, the program is still working properly.",
      "",
      Banner(17, "Windows OS and Versions", 31),
      "Logfile created on: 02/01/2026 03:04:05",
      "Tarnscan v1.5.0\tFolder = " + folder,
      "Microsoft Windows XP Service Pack 3 (Version = 5.1.2600)",
      "Internet Explorer (Version = 8.0.6001.18702)",
      "",
      Banner(17, "Checking Selected Standard Folders", 20),
      "",
      Banner(17, "Checking Selected Startup Folders", 21),
      "",
      Banner(17, "Checking Selected Registry Keys", 23),
      "",
      "",
      Banner(24, "Scan Complete", 34)};
  std::string expected;
  for (const auto& line : lines) expected += line + "\r\n";
  EXPECT_EQ(ReadFile(Out().string()), expected);
  EXPECT_NE(outcome.output.find("Report written to " + Out().string()), std::string::npos);
}

TEST_F(Cli, Utf8EncodingConvertsTheBannerCharacter) {
  ASSERT_EQ(RunCli("--system " + Sample() + " --only \"\" --encoding utf-8 " + Common()).exit_code,
            0);
  const std::string text = ReadFile(Out().string());
  EXPECT_EQ(text.substr(text.size() - 4), "\xC2\xBB\r\n");
}

TEST_F(Cli, UsageAndStartUpFailuresExitTwoWithOneLine) {
  struct Case {
    std::string arguments;
    std::string message;
  };
  const std::vector<Case> cases{
      {"--only RunKeys", "give either --system DIR or --image ROOT"},
      {"--system " + Sample() + " --image /tmp " + Common(),
       "give either --system DIR or --image ROOT"},
      {"--system " + Sample() + " --user Owner " + Common(), "--user and --drive go with --image"},
      {"--image /tmp --drive DX " + Common(), "--drive wants D=PATH"},
      {"--image " + (dir_ / "empty").string() + " " + Common(), "tarnscan: "},
      {"--system " + Sample() + " --bogus", "unknown option --bogus"},
      {"--system " + Sample() + " --only NoSuchBox " + Common(), "no option named 'NoSuchBox'"},
      {"--system " + Sample() + " --as-of 2026-13-01 " + Common(), "--as-of wants"},
      {"--system " + (dir_ / "nowhere").string() + " " + Common(), "no system folder at"},
      {"--system " + Sample() + " --patterns " + (dir_ / "missing.txt").string(),
       "missing.txt': File not found"},
      {"--system " + Sample() + " --addon nothere.def " + Common(), "no AddOn file named"},
  };
  for (const auto& c : cases) {
    const Outcome outcome = RunCli(c.arguments);
    EXPECT_EQ(outcome.exit_code, 2) << c.arguments << "\n" << outcome.output;
    EXPECT_NE(outcome.output.find(c.message), std::string::npos) << c.arguments << "\n"
                                                                 << outcome.output;
  }
}

TEST_F(Cli, MalformedRegFileIsNamedWithItsLine) {
  fs::create_directories(dir_ / "sys/registry");
  std::ofstream(dir_ / "sys/registry/00-bad.reg") << "REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\X]\r\n"
                                                     "\"v\"=dword:zz\r\n";
  const Outcome outcome = RunCli("--system " + (dir_ / "sys").string() + " " + Common());
  EXPECT_EQ(outcome.exit_code, 2);
  EXPECT_NE(outcome.output.find("registry/00-bad.reg:4:"), std::string::npos) << outcome.output;
}

TEST_F(Cli, PlantedWrongTypeEndsTheScanButSavesTheReport) {
  fs::copy(Sample(), dir_ / "sys", fs::copy_options::recursive);
  std::ofstream(dir_ / "sys/registry/99-planted.reg")
      << "REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Internet Explorer]\r\n"
         "\"Version\"=dword:00000008\r\n";
  const Outcome outcome = RunCli("--system " + (dir_ / "sys").string() + " " + Common());
  EXPECT_EQ(outcome.exit_code, 1) << outcome.output;
  EXPECT_NE(outcome.output.find("Invalid data type for 'Version'"), std::string::npos);
  const std::string report = ReadFile(Out().string());
  EXPECT_NE(report.find("Microsoft Windows XP Service Pack 3"), std::string::npos);
  const std::string tail = "\r\n\r\nScan ended early: Invalid data type for 'Version'\r\n";
  ASSERT_GE(report.size(), tail.size());
  EXPECT_EQ(report.substr(report.size() - tail.size()), tail);
}

// Values read before the first section: at start-up (shown, the rest of
// start-up skipped, the scan still runs) and at the start of the scan (the
// scan ends with the report so far). Never an abort.
TEST_F(Cli, WrongTypesBeforeTheSectionsAreToldNeverAnAbort) {
  struct Case {
    std::string key;
    std::string value;
    int exit_code;
    std::string message;
    std::string report_end;
  };
  const std::vector<Case> cases{
      {"SOFTWARE\\Microsoft\\Windows\\CurrentVersion", "ProgramFilesDir", 1,
       "Invalid data type for 'ProgramFilesDir'",
       "\r\n\r\nScan ended early: Invalid data type for 'ProgramFilesDir'\r\n"},
      {"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders", "Common Desktop", 0,
       "start-up stopped: Invalid data type for 'Common Desktop'",
       Banner(24, "Scan Complete", 34) + "\r\n"},
      {"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion", "SystemRoot", 0,
       "start-up stopped: Invalid data type for 'SystemRoot'",
       Banner(24, "Scan Complete", 34) + "\r\n"},
  };
  for (const auto& c : cases) {
    fs::remove_all(dir_ / "sys");
    fs::copy(Sample(), dir_ / "sys", fs::copy_options::recursive);
    std::ofstream(dir_ / "sys/registry/99-planted.reg")
        << "REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\" << c.key << "]\r\n\"" << c.value
        << "\"=dword:00000007\r\n";
    const Outcome outcome =
        RunCli("--system " + (dir_ / "sys").string() + " --only RunKeys " + Common());
    EXPECT_EQ(outcome.exit_code, c.exit_code) << c.value << "\n" << outcome.output;
    EXPECT_NE(outcome.output.find(c.message), std::string::npos) << outcome.output;
    const std::string report = ReadFile(Out().string());
    ASSERT_GE(report.size(), c.report_end.size()) << c.value;
    EXPECT_EQ(report.substr(report.size() - c.report_end.size()), c.report_end) << c.value;
  }
}

TEST_F(Cli, AScanErrorWithAnUnwritableReportTellsBothAndClaimsNoReport) {
  fs::copy(Sample(), dir_ / "sys", fs::copy_options::recursive);
  std::ofstream(dir_ / "sys/registry/99-planted.reg")
      << "REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Internet Explorer]\r\n"
         "\"Version\"=dword:00000008\r\n";
  const Outcome outcome =
      RunCli("--system " + (dir_ / "sys").string() + " --only \"\" --quiet " + "--patterns " +
             Patterns() + " --out " + (dir_ / "no/such/dir/r.txt").string());
  EXPECT_EQ(outcome.exit_code, 1);
  EXPECT_NE(outcome.output.find("Invalid data type for 'Version'"), std::string::npos)
      << outcome.output;
  EXPECT_NE(outcome.output.find("Cannot create file"), std::string::npos) << outcome.output;
  EXPECT_EQ(outcome.output.find("saved to"), std::string::npos) << outcome.output;
}

TEST_F(Cli, ListOptionsNamesEveryBoxAndAddOn) {
  fs::create_directories(dir_ / "plugins");
  std::ofstream(dir_ / "plugins/b.def") << "OUTPUT\r\n";
  std::ofstream(dir_ / "plugins/A.def") << "OUTPUT\r\n";
  const Outcome outcome = RunCli("--system " + Sample() + " --plugins " +
                                 (dir_ / "plugins").string() + " --addon a.def --list-options");
  EXPECT_EQ(outcome.exit_code, 0) << outcome.output;
  EXPECT_NE(outcome.output.find("RunKeys\tticked\tRegistry Run Keys"), std::string::npos);
  EXPECT_NE(outcome.output.find("AllWinsock2\tticked\tShow All of Winsock2"), std::string::npos);
  EXPECT_NE(outcome.output.find("AddOn\tticked\tA.def\nAddOn\tunticked\tb.def"), std::string::npos)
      << outcome.output;
}

TEST_F(Cli, MissingPluginsFolderIsSaidOnceAndTheScanGoesOn) {
  const Outcome outcome = RunCli("--system " + Sample() + " --only RunKeys " + Common());
  EXPECT_EQ(outcome.exit_code, 0);
  EXPECT_NE(outcome.output.find("the AddOn list is empty"), std::string::npos);
}

TEST_F(Cli, AnUnwritableReportIsAnError) {
  const Outcome outcome = RunCli("--system " + Sample() + " --only \"\" --quiet --patterns " +
                                 Patterns() + " --out " + (dir_ / "no/such/dir/r.txt").string());
  EXPECT_EQ(outcome.exit_code, 1);
  EXPECT_NE(outcome.output.find("Cannot create file"), std::string::npos) << outcome.output;
}

}  // namespace
}  // namespace tarnscan

namespace tarnscan {
namespace {


// The whole sample report, every section and the sample AddOn, byte for
// byte (the program folder aside, which depends on the build).
TEST_F(Cli, SampleReportMatchesTheGoldenFile) {
  const Outcome outcome = RunCli("--system " + Sample() + " --patterns " + Patterns() +
                                 " --plugins " + TARNSCAN_SAMPLES_DIR + "/plugins" +
                                 " --addon spyware-check.def --as-of \"2026-01-02 03:04:05\"" +
                                 " --quiet --out " + Out().string());
  ASSERT_EQ(outcome.exit_code, 0) << outcome.output;
  std::string report = ReadFile(Out().string());
  const std::string folder_line = "Tarnscan v1.5.0\tFolder = ";
  const size_t at = report.find(folder_line);
  ASSERT_NE(at, std::string::npos);
  const size_t end = report.find("\r\n", at);
  report.replace(at + folder_line.size(), end - at - folder_line.size(), "<program folder>");
  const std::string golden =
      ReadFile(std::string(TARNSCAN_SOURCE_DIR) + "/tests/cli/data/xp-home-report.txt");
  EXPECT_EQ(ReportLines(report), ReportLines(golden));
  EXPECT_EQ(report, golden);
}

}  // namespace
}  // namespace tarnscan
