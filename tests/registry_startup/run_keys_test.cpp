#include "platform/registry_reader.h"
#include "registry/startup_sections.h"
#include "registry_scan_fixture.h"

namespace tarnscan::testing {
namespace {

const std::string kLmRun =
    "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run]";
const std::string kLmOptional =
    "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run\\OptionalComponents]";
const std::string kLmRunOnce =
    "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\RunOnce]";
const std::string kLmRunOnceEx =
    "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\RunOnceEx]";
const std::string kLmRunServices =
    "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\RunServices]";
const std::string kLmRunServicesOnce =
    "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\RunServicesOnce]";
const std::string kCuRun = "[HKEY_CURRENT_USER\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run]";
const std::string kCuRunOnce =
    "[HKEY_CURRENT_USER\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\RunOnce]";
const std::string kCuRunServices =
    "[HKEY_CURRENT_USER\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\RunServices]";
const std::string kCuRunServicesOnce =
    "[HKEY_CURRENT_USER\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\RunServicesOnce]";
const std::string kCuLoad =
    "[HKEY_CURRENT_USER\\SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Windows\\load]";
const std::string kCuNtRun =
    "[HKEY_CURRENT_USER\\SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Windows\\run]";
const std::string kNot9xKey = "<<< WARNING! - NOT A VALID WIN98/ME KEY! >>>";

// The ten blocks both families share, with nothing in them.
Lines EmptyCommonBlocks() {
  return {kLmRun,         "", kLmOptional,        "", kLmRunOnce, "", kLmRunOnceEx, "",
          kLmRunServices, "", kLmRunServicesOnce, "", kCuRun,     "", kCuRunOnce,   "",
          kCuRunServices, "", kCuRunServicesOnce, ""};
}

Lines Concat(Lines a, const Lines& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

using RunKeys = RegistryScanTest;

TEST_F(RunKeys, EveryBlockInOrderWithFilesCompaniesAndInstalledFlags) {
  AddProgram("C:\\Program Files\\Tool\\tool.exe", "Tool Corp");
  AddProgram("C:\\WINDOWS\\system32\\rundll32.exe", "Microsoft Corporation");
  AddProgram("C:\\WINDOWS\\adw.exe", "Bad Soft Inc.");
  Reg(R"([HKEY_LOCAL_MACHINE\SOFTWARE\Microsoft\Windows\CurrentVersion\Run]
"Tool"="\"C:\\Program Files\\Tool\\tool.exe\" -min"
@=""
"Panel"="rundll32.exe shell32.dll,Control_RunDLL"

[HKEY_LOCAL_MACHINE\SOFTWARE\Microsoft\Windows\CurrentVersion\Run\OptionalComponents\IMAIL]
"Installed"="1"

[HKEY_LOCAL_MACHINE\SOFTWARE\Microsoft\Windows\CurrentVersion\Run\OptionalComponents\MAPI]
"Other"="x"

[HKEY_CURRENT_USER\SOFTWARE\Microsoft\Windows\CurrentVersion\Run]
"adware"="C:\\WINDOWS\\adw.exe /s"

[HKEY_CURRENT_USER\SOFTWARE\Microsoft\Windows NT\CurrentVersion\Windows\load]
"loader"="C:\\missing\\loader.exe"
)");
  EXPECT_EQ(Run(ScanRunKeys),
            (Lines{kLmRun,
                   "  Tool - C:\\Program Files\\Tool\\tool.exe (Tool Corp)",
                   "   - Reg Data missing or invalid ()",
                   "  Panel - C:\\WINDOWS\\SYSTEM32\\rundll32.exe (Microsoft Corporation)",
                   "",
                   kLmOptional,
                   "  IMAIL\tInstalled = 1",
                   "  MAPI\tInstalled = ",
                   "",
                   kLmRunOnce,
                   "",
                   kLmRunOnceEx,
                   "",
                   kLmRunServices,
                   "",
                   kLmRunServicesOnce,
                   "",
                   kCuRun,
                   "  adware - C:\\WINDOWS\\adw.exe (Bad Soft Inc.)",
                   "",
                   kCuRunOnce,
                   "",
                   kCuRunServices,
                   "",
                   kCuRunServicesOnce,
                   "",
                   kCuLoad,
                   "  loader - C:\\missing\\loader.exe ()",
                   "",
                   kCuNtRun,
                   ""}));
}

TEST_F(RunKeys, Windows98ListsTheNtKeysOnlyWhenPresentAndWarnsAboutThem) {
  UseWindows98();
  Run(ScanRunKeys);
  EXPECT_EQ(context().log.Lines(), EmptyCommonBlocks());

  context().log.Clear();
  Reg(R"([HKEY_CURRENT_USER\SOFTWARE\Microsoft\Windows NT\CurrentVersion\Windows\run]
"odd"="C:\\odd.exe"
)");
  EXPECT_EQ(Run(ScanRunKeys),
            Concat(EmptyCommonBlocks(), {kNot9xKey, kCuNtRun, "  odd - C:\\odd.exe ()", ""}));
}

TEST_F(RunKeys, NtFamilyWritesBothNtHeadersEvenWhenTheKeysAreMissing) {
  EXPECT_EQ(Run(ScanRunKeys), Concat(EmptyCommonBlocks(), {kCuLoad, "", kCuNtRun, ""}));
}

TEST_F(RunKeys, ANumberInARunKeyEndsTheSectionWithTheRegistryError) {
  Reg(R"([HKEY_LOCAL_MACHINE\SOFTWARE\Microsoft\Windows\CurrentVersion\Run]
"Bad"=dword:00000001
)");
  try {
    ScanRunKeys(context());
    FAIL() << "no error";
  } catch (const platform::RegistryError& error) {
    EXPECT_STREQ(error.what(), "Invalid data type for 'Bad'");
  }
  EXPECT_EQ(context().log.Lines(), Lines{kLmRun});
}

}  // namespace
}  // namespace tarnscan::testing
