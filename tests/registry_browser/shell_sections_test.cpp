#include "registry/shell_sections.h"

#include <gtest/gtest.h>

#include "platform/registry_reader.h"
#include "registry_browser/browser_fixture.h"

namespace tarnscan::testing {
namespace {

const std::string kAcmeFile = R"(C:\Program Files\Acme\acme.dll (Acme Software))";
const std::string kUserFile = R"("C:\Documents and Settings\Owner\user.dll" (Per User Inc))";
const std::string kMsFile = R"(%SystemRoot%\system32\msthing.dll (Microsoft Corporation))";
const std::string kLtdFile = R"(C:\WINDOWS\system32\ltd.dll (Microsoft Corporation Ltd))";
const std::string kLowerFile = R"(C:\WINDOWS\system32\lower.dll (microsoft corporation))";
const std::string kMarker = "(HKCU CLSID)";

// ---- Approved shell extensions ----

const std::string kLmApproved =
    R"([HKEY_LOCAL_MACHINE\SOFTWARE\Microsoft\Windows\CurrentVersion\Shell Extensions\Approved])";
const std::string kCuApproved =
    R"([HKEY_CURRENT_USER\Software\Microsoft\Windows\CurrentVersion\Shell Extensions\Approved])";

const std::string kMachineApprovedList = R"(
[HKEY_LOCAL_MACHINE\SOFTWARE\Microsoft\Windows\CurrentVersion\Shell Extensions\Approved]
"{ACME}"="Acme Ext"
"{MS}"="Microsoft Ext"
"{LOWER}"="Lower Ext"
"{LTD}"="Ltd Ext"
"{UNREG}"="Ghost Ext"
"{MSUSER}"="Mixed Ext"
"{NOINPROC}"="Bare Ext"
)";

class ApprovedShellExtensions : public BrowserScanTest,
                                public ::testing::WithParamInterface<SectionCase> {};

TEST_P(ApprovedShellExtensions, Lines) {
  Reg(GetParam().reg);
  for (const auto& box : GetParam().ticked) Tick(box);
  EXPECT_EQ(Run(ScanApprovedShellExtensions), GetParam().expected);
  ExpectCleanEnd();
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ApprovedShellExtensions,
    ::testing::Values(
        SectionCase{"NoKeys", "", {}, {kLmApproved, kCuApproved, ""}},
        // Without a per-user list the section ends with one empty line.
        SectionCase{
            "MicrosoftHiddenOtherSpellingsShown",
            kMachineApprovedList,
            {},
            {kLmApproved, R"(  \\{ACME} - Acme Ext = )" + kAcmeFile,
             R"(  \\{LOWER} - Lower Ext = )" + kLowerFile, R"(  \\{UNREG} - Ghost Ext =  ())",
             R"(  \\{MSUSER} - Mixed Ext = )" + kAcmeFile, R"(  \\{NOINPROC} - Bare Ext =  ())", "",
             kCuApproved, ""}},
        SectionCase{
            "ShowAllListsMicrosoftToo",
            kMachineApprovedList,
            {"chkAllShellExtensions"},
            {kLmApproved, R"(  \\{ACME} - Acme Ext = )" + kAcmeFile,
             R"(  \\{MS} - Microsoft Ext = )" + kMsFile,
             R"(  \\{LOWER} - Lower Ext = )" + kLowerFile, R"(  \\{LTD} - Ltd Ext = )" + kLtdFile,
             R"(  \\{UNREG} - Ghost Ext =  ())", R"(  \\{MSUSER} - Mixed Ext = )" + kAcmeFile,
             R"(  \\{MSUSER} - Mixed Ext = )" + kMsFile + kMarker,
             R"(  \\{NOINPROC} - Bare Ext =  ())", "", kCuApproved, ""}},
        // An empty machine list is followed directly by the per-user
        // header; a per-user list ends the section with two empty lines.
        SectionCase{"EmptyMachineListPerUserListWithDescriptionsOfItsOwn",
                    R"(
[HKEY_LOCAL_MACHINE\SOFTWARE\Microsoft\Windows\CurrentVersion\Shell Extensions\Approved]
[HKEY_CURRENT_USER\Software\Microsoft\Windows\CurrentVersion\Shell Extensions\Approved]
"{BOTH}"="User Desc"
"{USER}"="Only Mine"
)",
                    {},
                    {kLmApproved, kCuApproved, R"(  \\{BOTH} - User Desc = )" + kAcmeFile,
                     R"(  \\{BOTH} - User Desc = )" + kUserFile + kMarker,
                     R"(  \\{USER} - Only Mine =  ())",
                     R"(  \\{USER} - Only Mine = )" + kUserFile + kMarker, "", ""}},
        SectionCase{"SameClassInBothLists",
                    R"(
[HKEY_LOCAL_MACHINE\SOFTWARE\Microsoft\Windows\CurrentVersion\Shell Extensions\Approved]
"{ACME}"="Machine Desc"
[HKEY_CURRENT_USER\Software\Microsoft\Windows\CurrentVersion\Shell Extensions\Approved]
"{ACME}"="User Desc"
)",
                    {},
                    {kLmApproved, R"(  \\{ACME} - Machine Desc = )" + kAcmeFile, "", kCuApproved,
                     R"(  \\{ACME} - User Desc = )" + kAcmeFile, "", ""}},
        // A hidden entry's description is never read, so its type does
        // not matter.
        SectionCase{"HiddenEntryOfAnyType",
                    R"(
[HKEY_LOCAL_MACHINE\SOFTWARE\Microsoft\Windows\CurrentVersion\Shell Extensions\Approved]
"{MS}"=dword:00000001
)",
                    {},
                    {kLmApproved, "", kCuApproved, ""}}),
    CaseName);

// ---- Context-menu and column handlers ----

const std::string kStar = R"([HKEY_LOCAL_MACHINE\Software\Classes\*\shellex\ContextMenuHandlers])";
const std::string kAllFs =
    R"([HKEY_LOCAL_MACHINE\Software\Classes\AllFilesystemObjects\shellex\ContextMenuHandlers])";
const std::string kDirectory =
    R"([HKEY_LOCAL_MACHINE\Software\Classes\Directory\shellex\ContextMenuHandlers])";
const std::string kBackground =
    R"([HKEY_LOCAL_MACHINE\Software\Classes\Directory\BackGround\shellex\ContextMenuHandlers])";
const std::string kFolder =
    R"([HKEY_LOCAL_MACHINE\Software\Classes\Folder\shellex\ContextMenuHandlers])";
const std::string kColumns =
    R"([HKEY_LOCAL_MACHINE\SOFTWARE\Classes\Folder\shellex\ColumnHandlers])";

const std::string kHandlers = R"(
[HKEY_LOCAL_MACHINE\SOFTWARE\Classes\*\shellex\ContextMenuHandlers\{ACME}]
[HKEY_LOCAL_MACHINE\SOFTWARE\Classes\*\shellex\ContextMenuHandlers\AcmeMenu]
@="{ACME}"
[HKEY_LOCAL_MACHINE\SOFTWARE\Classes\*\shellex\ContextMenuHandlers\MsMenu]
@="{MS}"
[HKEY_LOCAL_MACHINE\SOFTWARE\Classes\*\shellex\ContextMenuHandlers\LowerMenu]
@="{LOWER}"
[HKEY_LOCAL_MACHINE\SOFTWARE\Classes\*\shellex\ContextMenuHandlers\Empty]
[HKEY_LOCAL_MACHINE\SOFTWARE\Classes\AllFilesystemObjects\shellex\ContextMenuHandlers\{USER}]
[HKEY_LOCAL_MACHINE\SOFTWARE\Classes\Directory\Background\shellex\ContextMenuHandlers\Both]
@="{BOTH}"
[HKEY_LOCAL_MACHINE\SOFTWARE\Classes\Folder\shellex\ContextMenuHandlers\{LTD}]
[HKEY_LOCAL_MACHINE\SOFTWARE\Classes\Folder\shellex\ContextMenuHandlers\Mixed]
@="{MSUSER}"
)";

class ContextMenuHandlers : public BrowserScanTest,
                            public ::testing::WithParamInterface<SectionCase> {};

TEST_P(ContextMenuHandlers, Lines) {
  Reg(GetParam().reg);
  for (const auto& box : GetParam().ticked) Tick(box);
  EXPECT_EQ(Run(ScanContextMenuHandlers), GetParam().expected);
  ExpectCleanEnd();
}

// A handler key named by a word is resolved through its default value,
// which is also its description; the per-user line has no marker.
INSTANTIATE_TEST_SUITE_P(
    Cases, ContextMenuHandlers,
    ::testing::Values(
        SectionCase{"NoKeys",
                    "",
                    {},
                    {kStar, "", kAllFs, "", kDirectory, "", kBackground, "", kFolder, ""}},
        SectionCase{"MicrosoftHidden",
                    kHandlers,
                    {},
                    {kStar, R"(  \AcmeMenu - {ACME} = )" + kAcmeFile, R"(  \Empty -  =  ())",
                     R"(  \LowerMenu - {LOWER} = )" + kLowerFile, R"(  \{ACME} -  = )" + kAcmeFile,
                     "", kAllFs, R"(  \{USER} -  =  ())", R"(  \{USER} -  = )" + kUserFile, "",
                     kDirectory, "", kBackground, R"(  \Both - {BOTH} = )" + kAcmeFile,
                     R"(  \Both - {BOTH} = )" + kUserFile, "", kFolder,
                     R"(  \Mixed - {MSUSER} = )" + kAcmeFile, ""}},
        SectionCase{"ShowAll",
                    kHandlers,
                    {"chkAllContextMenuHandlerKeys"},
                    {kStar,
                     R"(  \AcmeMenu - {ACME} = )" + kAcmeFile,
                     R"(  \Empty -  =  ())",
                     R"(  \LowerMenu - {LOWER} = )" + kLowerFile,
                     R"(  \MsMenu - {MS} = )" + kMsFile,
                     R"(  \{ACME} -  = )" + kAcmeFile,
                     "",
                     kAllFs,
                     R"(  \{USER} -  =  ())",
                     R"(  \{USER} -  = )" + kUserFile,
                     "",
                     kDirectory,
                     "",
                     kBackground,
                     R"(  \Both - {BOTH} = )" + kAcmeFile,
                     R"(  \Both - {BOTH} = )" + kUserFile,
                     "",
                     kFolder,
                     R"(  \Mixed - {MSUSER} = )" + kAcmeFile,
                     R"(  \Mixed - {MSUSER} = )" + kMsFile,
                     R"(  \{LTD} -  = )" + kLtdFile,
                     ""}},
        // Only the column handlers' box is ticked: it does not show
        // Microsoft's context-menu handlers.
        SectionCase{"OtherSectionsShowAllBoxIgnored",
                    kHandlers,
                    {"chkAllColumnHandlers", "chkAllShellExtensions"},
                    {kStar, R"(  \AcmeMenu - {ACME} = )" + kAcmeFile, R"(  \Empty -  =  ())",
                     R"(  \LowerMenu - {LOWER} = )" + kLowerFile, R"(  \{ACME} -  = )" + kAcmeFile,
                     "", kAllFs, R"(  \{USER} -  =  ())", R"(  \{USER} -  = )" + kUserFile, "",
                     kDirectory, "", kBackground, R"(  \Both - {BOTH} = )" + kAcmeFile,
                     R"(  \Both - {BOTH} = )" + kUserFile, "", kFolder,
                     R"(  \Mixed - {MSUSER} = )" + kAcmeFile, ""}}),
    CaseName);

const std::string kColumnHandlerKeys = R"(
[HKEY_LOCAL_MACHINE\SOFTWARE\Classes\Folder\shellex\ColumnHandlers\{MS}]
[HKEY_LOCAL_MACHINE\SOFTWARE\Classes\Folder\shellex\ColumnHandlers\{ACME}]
@="Acme Columns"
)";

class ColumnHandlers : public BrowserScanTest, public ::testing::WithParamInterface<SectionCase> {};

TEST_P(ColumnHandlers, Lines) {
  Reg(GetParam().reg);
  for (const auto& box : GetParam().ticked) Tick(box);
  EXPECT_EQ(Run(ScanColumnHandlers), GetParam().expected);
  ExpectCleanEnd();
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ColumnHandlers,
    ::testing::Values(SectionCase{"NoKey", "", {}, {kColumns, ""}},
                      SectionCase{"MicrosoftHidden",
                                  kColumnHandlerKeys,
                                  {},
                                  {kColumns, R"(  \{ACME} - Acme Columns = )" + kAcmeFile, ""}},
                      SectionCase{"OwnShowAllBox",
                                  kColumnHandlerKeys,
                                  {"chkAllColumnHandlers"},
                                  {kColumns, R"(  \{ACME} - Acme Columns = )" + kAcmeFile,
                                   R"(  \{MS} -  = )" + kMsFile, ""}},
                      SectionCase{"ContextMenuBoxIgnored",
                                  kColumnHandlerKeys,
                                  {"chkAllContextMenuHandlerKeys"},
                                  {kColumns, R"(  \{ACME} - Acme Columns = )" + kAcmeFile, ""}}),
    CaseName);

// ---- Hook lists ----

const std::string kUserAgent =
    R"([HKEY_LOCAL_MACHINE\SOFTWARE\Microsoft\Windows\CurrentVersion\Internet Settings\User Agent\Post Platform])";
const std::string kExecuteHooks =
    R"([HKEY_LOCAL_MACHINE\SOFTWARE\Microsoft\Windows\CurrentVersion\Explorer\ShellExecuteHooks])";
const std::string kTaskScheduler =
    R"([HKEY_LOCAL_MACHINE\SOFTWARE\Microsoft\Windows\CurrentVersion\Explorer\SharedTaskScheduler])";

struct HookCase {
  std::string name;
  Section section;
  std::string reg;
  Lines expected;
};

std::ostream& operator<<(std::ostream& out, const HookCase& c) { return out << c.name; }

class HookLists : public BrowserScanTest, public ::testing::WithParamInterface<HookCase> {};

TEST_P(HookLists, Lines) {
  Reg(GetParam().reg);
  EXPECT_EQ(Run(GetParam().section), GetParam().expected);
  ExpectCleanEnd();
}

INSTANTIATE_TEST_SUITE_P(
    Cases, HookLists,
    ::testing::Values(
        HookCase{"UserAgentMissing", ScanUserAgentPostPlatform, "", {kUserAgent, ""}},
        HookCase{"UserAgentTokensAndDefaultValue",
                 ScanUserAgentPostPlatform,
                 R"(
[HKEY_LOCAL_MACHINE\SOFTWARE\Microsoft\Windows\CurrentVersion\Internet Settings\User Agent\Post Platform]
@="default text"
"SV1"=""
"FunWebProducts"=""
)",
                 {kUserAgent, R"(  \\ - default text)", R"(  \\SV1 - )", R"(  \\FunWebProducts - )",
                  ""}},
        // Plain values after a class entry still show their own data.
        HookCase{
            "ExecuteHooksClassesAndPlainValues",
            ScanShellExecuteHooks,
            R"(
[HKEY_LOCAL_MACHINE\SOFTWARE\Microsoft\Windows\CurrentVersion\Explorer\ShellExecuteHooks]
"{ACME}"=""
"plain"="C:\\x.dll"
"{UNREG}"="data not shown"
"{NOINPROC}"=""
"after"="still shown"
"{MS}"="Microsoft hooks are listed"
)",
            {kExecuteHooks, R"(  \\{ACME} - Acme Helper = )" + kAcmeFile, R"(  \\plain - C:\x.dll)",
             R"(  \\{UNREG} -  =  ())", R"(  \\{NOINPROC} -  =  ())",
             R"(  \\{NOINPROC} - Bare User Class =  ())" + kMarker, R"(  \\after - still shown)",
             R"(  \\{MS} - Microsoft Thing = )" + kMsFile, ""}},
        HookCase{"ExecuteHooksEmptyKey",
                 ScanShellExecuteHooks,
                 R"(
[HKEY_LOCAL_MACHINE\SOFTWARE\Microsoft\Windows\CurrentVersion\Explorer\ShellExecuteHooks]
)",
                 {kExecuteHooks, ""}},
        HookCase{"TaskSchedulerBothHives",
                 ScanSharedTaskScheduler,
                 R"(
[HKEY_LOCAL_MACHINE\SOFTWARE\Microsoft\Windows\CurrentVersion\Explorer\SharedTaskScheduler]
"{BOTH}"="Both Desc"
"{USER}"="User Desc"
)",
                 {kTaskScheduler, R"(  \\{BOTH} - Both Machine = )" + kAcmeFile,
                  R"(  \\{BOTH} - Both User = )" + kUserFile + kMarker, R"(  \\{USER} -  =  ())",
                  R"(  \\{USER} - User Bar = )" + kUserFile + kMarker, ""}},
        HookCase{"TaskSchedulerMissing", ScanSharedTaskScheduler, "", {kTaskScheduler, ""}}),
    [](const ::testing::TestParamInfo<HookCase>& info) { return info.param.name; });

// ---- Shell service objects loaded with a delay ----

const std::string kSsodl =
    R"([HKEY_LOCAL_MACHINE\SOFTWARE\Microsoft\Windows\CurrentVersion\ShellServiceObjectDelayLoad])";

class SSODL : public BrowserScanTest, public ::testing::WithParamInterface<SectionCase> {};

TEST_P(SSODL, Lines) {
  Reg(GetParam().reg);
  EXPECT_EQ(Run(ScanSSODL), GetParam().expected);
  ExpectCleanEnd();
}

// The value's data is the CLSID; the per-user line needs the per-user
// InprocServer32 key, not just the class key.
INSTANTIATE_TEST_SUITE_P(
    Cases, SSODL,
    ::testing::Values(SectionCase{"NoKey", "", {}, {kSsodl, ""}},
                      SectionCase{
                          "DataNamesTheClass",
                          R"(
[HKEY_LOCAL_MACHINE\SOFTWARE\Microsoft\Windows\CurrentVersion\ShellServiceObjectDelayLoad]
"WebCheck"="{ACME}"
"Both"="{BOTH}"
"Ghost"="{UNREG}"
"Bare"="{NOINPROC}"
"Empty"=""
"SysTray"="{MS}"
)",
                          {},
                          {kSsodl, R"(  \\WebCheck - {ACME} = )" + kAcmeFile,
                           R"(  \\Both - {BOTH} = )" + kAcmeFile,
                           R"(  \\Both - {BOTH} = )" + kUserFile + kMarker,
                           R"(  \\Ghost - {UNREG} =  ())", R"(  \\Bare - {NOINPROC} =  ())",
                           R"(  \\Empty -  =  ())", R"(  \\SysTray - {MS} = )" + kMsFile, ""}}),
    CaseName);

// ---- Values of the wrong type end the scan ----

struct ErrorCase {
  std::string name;
  Section section;
  std::string reg;
  std::string message;
  size_t lines_before;
};

std::ostream& operator<<(std::ostream& out, const ErrorCase& c) { return out << c.name; }

class ShellWrongType : public BrowserScanTest, public ::testing::WithParamInterface<ErrorCase> {};

TEST_P(ShellWrongType, EndsTheSectionWithTheRegistryError) {
  Reg(GetParam().reg);
  try {
    GetParam().section(context());
    FAIL() << "no error";
  } catch (const platform::RegistryError& error) {
    EXPECT_EQ(error.what(), GetParam().message);
  }
  EXPECT_EQ(context().log.Lines().size(), GetParam().lines_before);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ShellWrongType,
    ::testing::Values(ErrorCase{"ApprovedDescriptionNumber", ScanApprovedShellExtensions,
                                R"(
[HKEY_LOCAL_MACHINE\SOFTWARE\Microsoft\Windows\CurrentVersion\Shell Extensions\Approved]
"{ACME}"="fine"
"{UNREG}"=dword:00000001
)",
                                "Invalid data type for '{UNREG}'", 2},
                      ErrorCase{"HandlerDefaultNumber", ScanContextMenuHandlers,
                                R"(
[HKEY_LOCAL_MACHINE\SOFTWARE\Classes\*\shellex\ContextMenuHandlers\Bad]
@=dword:00000001
)",
                                "Invalid data type for ''", 1},
                      ErrorCase{"ColumnHandlerFileBinary", ScanColumnHandlers,
                                R"(
[HKEY_LOCAL_MACHINE\SOFTWARE\Classes\Folder\shellex\ColumnHandlers\{ACME}]
[HKEY_LOCAL_MACHINE\SOFTWARE\Classes\CLSID\{ACME}\InprocServer32]
@=hex:41,00
)",
                                "Invalid data type for ''", 1},
                      ErrorCase{"HookPlainValueNumber", ScanShellExecuteHooks,
                                R"(
[HKEY_LOCAL_MACHINE\SOFTWARE\Microsoft\Windows\CurrentVersion\Explorer\ShellExecuteHooks]
"{ACME}"=dword:00000002
"plain"=dword:00000001
)",
                                "Invalid data type for 'plain'", 2},
                      ErrorCase{"DelayLoadValueNumber", ScanSSODL,
                                R"(
[HKEY_LOCAL_MACHINE\SOFTWARE\Microsoft\Windows\CurrentVersion\ShellServiceObjectDelayLoad]
"Loader"=dword:00000001
)",
                                "Invalid data type for 'Loader'", 1}),
    [](const ::testing::TestParamInfo<ErrorCase>& info) { return info.param.name; });

}  // namespace
}  // namespace tarnscan::testing
