#include "platform/registry_reader.h"
#include "registry/startup_sections.h"
#include "registry_scan_fixture.h"
#include "support/lnk_writer.h"

namespace tarnscan::testing {
namespace {

const std::string kTreeHeader = "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Shared Tools\\MSConfig]";
const std::string kTree = "HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Shared Tools\\MSConfig\\";
const std::string kAllUsersHeader = "[All Users Startup Folder Disabled Items]";
const std::string kUserHeader = "[Current User Startup Folder Disabled Items]";
const Lines kNoDisabledFolderItems{kAllUsersHeader, "", kUserHeader, ""};

Lines Concat(Lines a, const Lines& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

using MSConfig = RegistryScanTest;

TEST_F(MSConfig, TreeOfServicesAndStartupRegistryItems) {
  Reg(R"([HKEY_LOCAL_MACHINE\SOFTWARE\Microsoft\Shared Tools\MSConfig\services]
"Alerter"=dword:00000004
"TrustedSvc"=dword:ffffffff

[HKEY_LOCAL_MACHINE\SOFTWARE\Microsoft\Shared Tools\MSConfig\startupreg\Tool]
"key"="SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run"
"item"="tool"
"hkey"="HKLM"
"command"="C:\\Program Files\\Tool\\tool.exe -min"
"inimapping"="0"
)");
  EXPECT_EQ(Run(ScanMSConfigDisabled),
            Concat({kTreeHeader, "", kTree + "services", "\tAlerter\t4", "\tTrustedSvc\t-1", "", "",
                    kTree + "startupreg", "", kTree + "startupreg\\Tool",
                    "\tkey\tSOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run", "\titem\ttool",
                    "\thkey\tHKLM", "\tcommand\tC:\\Program Files\\Tool\\tool.exe -min",
                    "\tinimapping\t0", ""},
                   kNoDisabledFolderItems));
}

TEST_F(MSConfig, ValuesThatCannotBeShownAreDroppedQuietly) {
  Reg(R"([HKEY_LOCAL_MACHINE\SOFTWARE\Microsoft\Shared Tools\MSConfig\state]
"text"="hello"
"empty"=""
"bin8"=hex:41,42,00,43,44,45,46,47
"bin32"=hex:61,62,63,64,65,66,67,68,69,6a,6b,6c,6d,6e,6f,70,71,72,73,74,75,76,77,78,\
  79,7a,41,42,43,44,45,46
"bin33"=hex:61,62,63,64,65,66,67,68,69,6a,6b,6c,6d,6e,6f,70,71,72,73,74,75,76,77,78,\
  79,7a,41,42,43,44,45,46,47
"bin0"=hex:
"expand"=hex(2):25,77,69,6e,64,69,72,25,00
"multi"=hex(7):61,00,62,00,00
"qword"=hex(b):01,00,00,00,00,00,00,00
"none"=hex(0):01
"min"=dword:80000000
)");
  EXPECT_EQ(Run(ScanMSConfigDisabled),
            Concat({kTreeHeader, "", kTree + "state", "\ttext\thello", "\tempty\t", "\tbin8\tAB",
                    "\tbin32\tabcdefghijklmnopqrstuvwxyzABCDEF", "\tbin0\t", "\tmin\t-2147483648",
                    "", ""},
                   kNoDisabledFolderItems));
}

TEST_F(MSConfig, AKeyWithValuesAndSubkeysShowsBothButNothingDeeper) {
  Reg(R"([HKEY_LOCAL_MACHINE\SOFTWARE\Microsoft\Shared Tools\MSConfig\startupfolder]
"count"=dword:00000001

[HKEY_LOCAL_MACHINE\SOFTWARE\Microsoft\Shared Tools\MSConfig\startupfolder\C:^Documents and Settings^Owner^Start Menu^Programs^Startup^Tool.lnk]
"path"="C:\\Documents and Settings\\Owner\\Start Menu\\Programs\\Startup\\Tool.lnk"

[HKEY_LOCAL_MACHINE\SOFTWARE\Microsoft\Shared Tools\MSConfig\startupfolder\C:^Documents and Settings^Owner^Start Menu^Programs^Startup^Tool.lnk\deeper]
"hidden"="not listed"
)");
  const std::string sub =
      "startupfolder\\C:^Documents and Settings^Owner^Start Menu^Programs^Startup^Tool.lnk";
  EXPECT_EQ(
      Run(ScanMSConfigDisabled),
      Concat({kTreeHeader, "", kTree + "startupfolder", "\tcount\t1", "", "", kTree + sub,
              "\tpath\tC:\\Documents and Settings\\Owner\\Start Menu\\Programs\\Startup\\Tool.lnk",
              ""},
             kNoDisabledFolderItems));
}

TEST_F(MSConfig, WithoutTheKeyOnlyTheHeaderAndTheFolderParts) {
  EXPECT_EQ(Run(ScanMSConfigDisabled), Concat({kTreeHeader, ""}, kNoDisabledFolderItems));
}

TEST_F(MSConfig, DisabledStartupFolderItemsOfTheNtFamily) {
  AddProgram("C:\\Program Files\\Tool\\tool.exe", "Tool Corp");
  const std::string all_users =
      "C:\\Documents and Settings\\All Users\\Start Menu\\Programs\\Startup - Disabled\\";
  const std::string user =
      "C:\\Documents and Settings\\Owner\\Start Menu\\Programs\\Startup - Disabled\\";
  AddFile(all_users + "Tool.lnk", MakeLocalShortcut("C:\\Program Files\\Tool\\tool.exe"));
  AddFile(user + "note.txt");
  EXPECT_EQ(Run(ScanMSConfigDisabled),
            (Lines{kTreeHeader, "", kAllUsersHeader,
                   "  " + all_users + "Tool.lnk - C:\\Program Files\\Tool\\tool.exe (Tool Corp)",
                   "", kUserHeader, "  " + user + "note.txt ()", ""}));
}

TEST_F(MSConfig, Windows98ListsTheNineDashKeysAndItsOwnFolders) {
  UseWindows98();
  AddFile("C:\\WINDOWS\\All Users\\Start Menu\\Programs\\Disabled Startup Items\\a.bat");
  AddFile("C:\\WINDOWS\\Start Menu\\Programs\\Disabled Startup Items\\b.bat");
  // The NT family's folders mean nothing on 9x.
  AddFile("C:\\Documents and Settings\\Owner\\Start Menu\\Programs\\Startup - Disabled\\c.bat");
  Reg(R"([HKEY_LOCAL_MACHINE\SOFTWARE\Microsoft\Windows\CurrentVersion\Run-]
"Tool"="C:\\tool.exe -x"

[HKEY_CURRENT_USER\SOFTWARE\Microsoft\Windows\CurrentVersion\RunServicesOnce-]
"once"=""
)");
  const std::string lm = "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\";
  const std::string cu = "[HKEY_CURRENT_USER\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\";
  EXPECT_EQ(
      Run(ScanMSConfigDisabled),
      (Lines{lm + "Run-]",
             "\tTool\tC:\\tool.exe -x",
             "",
             lm + "RunOnce-]",
             "",
             lm + "RunOnceEx-]",
             "",
             lm + "RunServices-]",
             "",
             lm + "RunServicesOnce-]",
             "",
             cu + "Run-]",
             "",
             cu + "RunOnce-]",
             "",
             cu + "RunServices-]",
             "",
             cu + "RunServicesOnce-]",
             "\tonce\t",
             "",
             kAllUsersHeader,
             "  C:\\WINDOWS\\All Users\\Start Menu\\Programs\\Disabled Startup Items\\a.bat ()",
             "",
             kUserHeader,
             "  C:\\WINDOWS\\Start Menu\\Programs\\Disabled Startup Items\\b.bat ()",
             ""}));
}

TEST_F(MSConfig, Windows98KeysReadAsTextLikeTheRunKeys) {
  UseWindows98();
  Reg(R"([HKEY_CURRENT_USER\SOFTWARE\Microsoft\Windows\CurrentVersion\Run-]
"Bad"=hex:01,02
)");
  EXPECT_THROW(ScanMSConfigDisabled(context()), platform::RegistryError);
}

}  // namespace
}  // namespace tarnscan::testing
