#include "registry/browser_sections.h"

#include <gtest/gtest.h>

#include "platform/registry_reader.h"
#include "registry_browser/browser_fixture.h"

namespace tarnscan::testing {
namespace {

// ---- Internet Explorer settings ----

const std::string kLmIe = R"([HKEY_LOCAL_MACHINE\SOFTWARE\Microsoft\Internet Explorer])";
const std::string kCuIe = R"([HKEY_CURRENT_USER\SOFTWARE\Microsoft\Internet Explorer])";
const std::string kLmMain = R"([HKEY_LOCAL_MACHINE\SOFTWARE\Microsoft\Internet Explorer\Main])";
const std::string kCuMain = R"([HKEY_CURRENT_USER\SOFTWARE\Microsoft\Internet Explorer\Main])";
const std::string kLmSearch = R"([HKEY_LOCAL_MACHINE\SOFTWARE\Microsoft\Internet Explorer\Search])";
const std::string kCuSearch = R"([HKEY_CURRENT_USER\SOFTWARE\Microsoft\Internet Explorer\Search])";
const std::string kHooks =
    R"([HKEY_CURRENT_USER\Software\Microsoft\Internet Explorer\URLSearchHooks])";

class IESettings : public BrowserScanTest, public ::testing::WithParamInterface<SectionCase> {};

TEST_P(IESettings, Lines) {
  Reg(GetParam().reg);
  for (const auto& box : GetParam().ticked) Tick(box);
  EXPECT_EQ(Run(ScanIESettings), GetParam().expected);
  ExpectCleanEnd();
}

INSTANTIATE_TEST_SUITE_P(
    Cases, IESettings,
    ::testing::Values(
        SectionCase{"NothingThere", "", {}, {"", "", kLmMain, "", kCuMain, "", "", "", kHooks, ""}},
        SectionCase{"OnlySearchUrlInTheMachineGroup",
                    R"(
[HKEY_LOCAL_MACHINE\SOFTWARE\Microsoft\Internet Explorer]
"SearchURL"="http://search.example/?q=%s"
"Version"="6.0.2900.2180"
)",
                    {},
                    {kLmIe, R"(  \\SearchURL - http://search.example/?q=%s)", "", "", kLmMain, "",
                     kCuMain, "", "", "", kHooks, ""}},
        SectionCase{"ValuesInTableOrderEmptyTextCountsEnvironmentKept",
                    R"(
[HKEY_CURRENT_USER\Software\Microsoft\Internet Explorer\Main]
"Local Page"="%SystemRoot%\\system32\\blank.htm"
"Start Page"=""
"Window_Placement"=hex:2c,00
"Search Bar"="http://bar.example/"
[HKEY_CURRENT_USER\Software\Microsoft\Internet Explorer]
"Search"="http://a.example/"
"SearchURL"="http://b.example/"
[HKEY_CURRENT_USER\Software\Microsoft\Internet Explorer\Search]
"SearchAssistant"=""
[HKEY_LOCAL_MACHINE\SOFTWARE\Microsoft\Internet Explorer\Search]
"CustomizeSearch"="http://c.example/"
"SearchAssistant"="http://d.example/"
)",
                    {},
                    {"",
                     kCuIe,
                     R"(  \\Search - http://a.example/)",
                     R"(  \\SearchURL - http://b.example/)",
                     "",
                     kLmMain,
                     "",
                     kCuMain,
                     R"(  \\Start Page - )",
                     R"(  \\Search Bar - http://bar.example/)",
                     R"(  \\Local Page - %SystemRoot%\system32\blank.htm)",
                     "",
                     kLmSearch,
                     R"(  \\CustomizeSearch - http://c.example/)",
                     R"(  \\SearchAssistant - http://d.example/)",
                     "",
                     kCuSearch,
                     R"(  \\SearchAssistant - )",
                     "",
                     kHooks,
                     ""}},
        SectionCase{"AllSixMainValues",
                    R"(
[HKEY_LOCAL_MACHINE\SOFTWARE\Microsoft\Internet Explorer\Main]
"Default_Search_URL"="5"
"Default_Page_URL"="4"
"Search Page"="3"
"Search Bar"="2"
"Start Page"="1"
"Local Page"="6"
)",
                    {},
                    {"", "", kLmMain, R"(  \\Start Page - 1)", R"(  \\Search Bar - 2)",
                     R"(  \\Search Page - 3)", R"(  \\Default_Page_URL - 4)",
                     R"(  \\Default_Search_URL - 5)", R"(  \\Local Page - 6)", "", kCuMain, "", "",
                     "", kHooks, ""}},
        SectionCase{
            "SearchHooksResolvedInBothHivesDataIgnored",
            R"(
[HKEY_CURRENT_USER\Software\Microsoft\Internet Explorer\URLSearchHooks]
"{UNREG}"="ignored"
"{BOTH}"=""
"{ACME}"=dword:00000001
)",
            {},
            {"", "", kLmMain, "", kCuMain, "", "", "", kHooks, R"(  \\{UNREG} -  =  ())",
             R"(  \\{BOTH} - Both Machine = C:\Program Files\Acme\acme.dll (Acme Software))",
             R"(  \\{BOTH} - Both User = "C:\Documents and Settings\Owner\user.dll" (Per User Inc)(HKCU CLSID))",
             R"(  \\{ACME} - Acme Helper = C:\Program Files\Acme\acme.dll (Acme Software))", ""}}),
    CaseName);

// ---- Browser helper objects ----

const std::string kBhoHeader =
    R"([HKEY_LOCAL_MACHINE\Software\Microsoft\Windows\CurrentVersion\Explorer\Browser Helper Objects])";

class BHOs : public BrowserScanTest, public ::testing::WithParamInterface<SectionCase> {};

TEST_P(BHOs, Lines) {
  Reg(GetParam().reg);
  EXPECT_EQ(Run(ScanBHOs), GetParam().expected);
  ExpectCleanEnd();
}

INSTANTIATE_TEST_SUITE_P(
    Cases, BHOs,
    ::testing::Values(
        SectionCase{"NoKey", "", {}, {kBhoHeader, ""}},
        SectionCase{"EmptyKey",
                    R"(
[HKEY_LOCAL_MACHINE\SOFTWARE\Microsoft\Windows\CurrentVersion\Explorer\Browser Helper Objects]
)",
                    {},
                    {kBhoHeader, ""}},
        // Subkeys come in the hive's order, sorted without regard to case.
        SectionCase{
            "EveryNameResolvedInEnumerationOrder",
            R"(
[HKEY_LOCAL_MACHINE\SOFTWARE\Microsoft\Windows\CurrentVersion\Explorer\Browser Helper Objects\{USER}]
[HKEY_LOCAL_MACHINE\SOFTWARE\Microsoft\Windows\CurrentVersion\Explorer\Browser Helper Objects\{BOTH}]
[HKEY_LOCAL_MACHINE\SOFTWARE\Microsoft\Windows\CurrentVersion\Explorer\Browser Helper Objects\not a clsid]
[HKEY_LOCAL_MACHINE\SOFTWARE\Microsoft\Windows\CurrentVersion\Explorer\Browser Helper Objects\{ACME}]
)",
            {},
            {kBhoHeader, R"(  \not a clsid -  =  ())",
             R"(  \{ACME} - Acme Helper = C:\Program Files\Acme\acme.dll (Acme Software))",
             R"(  \{BOTH} - Both Machine = C:\Program Files\Acme\acme.dll (Acme Software))",
             R"(  \{BOTH} - Both User = "C:\Documents and Settings\Owner\user.dll" (Per User Inc)(HKCU CLSID))",
             R"(  \{USER} -  =  ())",
             R"(  \{USER} - User Bar = "C:\Documents and Settings\Owner\user.dll" (Per User Inc)(HKCU CLSID))",
             ""}},
        // Microsoft's own helpers are listed: this section has no filter.
        SectionCase{
            "MicrosoftNotHidden",
            R"(
[HKEY_LOCAL_MACHINE\SOFTWARE\Microsoft\Windows\CurrentVersion\Explorer\Browser Helper Objects\{MS}]
)",
            {},
            {kBhoHeader,
             R"(  \{MS} - Microsoft Thing = %SystemRoot%\system32\msthing.dll (Microsoft Corporation))",
             ""}}),
    CaseName);

// ---- Bars, toolbars and extensions ----

const std::string kLmBars =
    R"([HKEY_LOCAL_MACHINE\SOFTWARE\Microsoft\Internet Explorer\Explorer Bars])";
const std::string kCuBars =
    R"([HKEY_CURRENT_USER\Software\Microsoft\Internet Explorer\Explorer Bars])";
const std::string kLmToolbar =
    R"([HKEY_LOCAL_MACHINE\SOFTWARE\Microsoft\Internet Explorer\ToolBar])";
const std::string kCuToolbar =
    R"([HKEY_CURRENT_USER\Software\Microsoft\Internet Explorer\Toolbar])";
const std::string kCmdMapping =
    R"([HKEY_CURRENT_USER\SOFTWARE\Microsoft\Internet Explorer\CmdMapping])";
const std::string kExtensions =
    R"([HKEY_LOCAL_MACHINE\SOFTWARE\Microsoft\Internet Explorer\Extensions])";

const std::string kAcmeLine = R"( - Acme Helper = C:\Program Files\Acme\acme.dll (Acme Software))";
const std::string kBothLine = R"( - Both Machine = C:\Program Files\Acme\acme.dll (Acme Software))";
const std::string kBothUserLine =
    R"( - Both User = "C:\Documents and Settings\Owner\user.dll" (Per User Inc)(HKCU CLSID))";
const std::string kUserLine =
    R"( - User Bar = "C:\Documents and Settings\Owner\user.dll" (Per User Inc)(HKCU CLSID))";

class IEBars : public BrowserScanTest, public ::testing::WithParamInterface<SectionCase> {
 protected:
  IEBars() { AddDll("C:\\Program Files\\Acme\\acmebar.exe", "Acme Software"); }
};

TEST_P(IEBars, Lines) {
  Reg(GetParam().reg);
  EXPECT_EQ(Run(ScanIEBars), GetParam().expected);
  ExpectCleanEnd();
  EXPECT_TRUE(context().key_list2.empty());
}

INSTANTIATE_TEST_SUITE_P(
    Cases, IEBars,
    ::testing::Values(
        // The empty command mapping writes no empty line of its own.
        SectionCase{"NothingThere",
                    "",
                    {},
                    {kLmBars, "", kCuBars, "", kLmToolbar, "", kCuToolbar, "", kCmdMapping,
                     kExtensions, ""}},
        SectionCase{"BarsAndToolbarsInBothHives",
                    R"(
[HKEY_LOCAL_MACHINE\SOFTWARE\Microsoft\Internet Explorer\Explorer Bars\{ACME}]
[HKEY_LOCAL_MACHINE\SOFTWARE\Microsoft\Internet Explorer\Explorer Bars\{BOTH}]
[HKEY_CURRENT_USER\Software\Microsoft\Internet Explorer\Explorer Bars\{USER}]
[HKEY_LOCAL_MACHINE\SOFTWARE\Microsoft\Internet Explorer\Toolbar]
"{ACME}"=""
"{UNREG}"=hex:00
[HKEY_CURRENT_USER\Software\Microsoft\Internet Explorer\Toolbar\ShellBrowser]
"ITBarLayout"=hex:11,00,00,00
"{BOTH}"=hex:
"{ACME}"=hex:
[HKEY_CURRENT_USER\Software\Microsoft\Internet Explorer\Toolbar\WebBrowser]
"{USER}"=hex:
)",
                    {},
                    {kLmBars,
                     R"(  \{ACME})" + kAcmeLine,
                     R"(  \{BOTH})" + kBothLine,
                     R"(  \{BOTH})" + kBothUserLine,
                     "",
                     kCuBars,
                     R"(  \{USER} -  =  ())",
                     R"(  \{USER})" + kUserLine,
                     "",
                     kLmToolbar,
                     R"(  \\{ACME})" + kAcmeLine,
                     R"(  \\{UNREG} -  =  ())",
                     "",
                     kCuToolbar,
                     R"(  \ShellBrowser\\{BOTH})" + kBothLine,
                     R"(  \ShellBrowser\\{BOTH})" + kBothUserLine,
                     R"(  \ShellBrowser\\{ACME})" + kAcmeLine,
                     R"(  \WebBrowser\\{USER} -  =  ())",
                     R"(  \WebBrowser\\{USER})" + kUserLine,
                     "",
                     kCmdMapping,
                     kExtensions,
                     ""}},
        SectionCase{
            "CommandMappingWithNextIdInSmallLetters",
            R"(
[HKEY_CURRENT_USER\Software\Microsoft\Internet Explorer\Extensions\CmdMapping]
"nextid"=dword:00002005
"{EXT1}"=dword:00002000
"{GONE}"=dword:00002001
[HKEY_LOCAL_MACHINE\SOFTWARE\Microsoft\Internet Explorer\Extensions\{EXT1}]
"MenuText"="Acme Tools"
"ClsidExtension"="{ACME}"
)",
            {},
            {kLmBars, "", kCuBars, "", kLmToolbar, "", kCuToolbar, "", kCmdMapping,
             R"(  \\NEXTID - 8197)", R"(  \\{EXT1} - 8192 = Acme Tools)", R"(  \\{GONE} - 8193 = )",
             "", kExtensions,
             R"(  \{EXT1} - MenuText: Acme Tools = C:\Program Files\Acme\acme.dll (Acme Software))",
             ""}},
        SectionCase{
            "NextIdWithAllBitsSetIsMinusOne",
            R"(
[HKEY_CURRENT_USER\Software\Microsoft\Internet Explorer\Extensions\CmdMapping]
"NEXTID"=dword:ffffffff
"NextIdOld"=dword:80000000
)",
            {},
            {kLmBars, "", kCuBars, "", kLmToolbar, "", kCuToolbar, "", kCmdMapping,
             R"(  \\NEXTID - -1)", R"(  \\NextIdOld - -2147483648 = )", "", kExtensions, ""}},
        SectionCase{
            "ExtensionButtonsAndMenus",
            R"(
[HKEY_LOCAL_MACHINE\SOFTWARE\Microsoft\Internet Explorer\Extensions\{E1-EXEC}]
"ButtonText"="Acme Search"
"Exec"="\"C:\\Program Files\\Acme\\acmebar.exe\" /button"
[HKEY_LOCAL_MACHINE\SOFTWARE\Microsoft\Internet Explorer\Extensions\{E2-SCRIPT}]
"ButtonText"="Script It"
"Script"="C:\\Program Files\\Acme\\run.htm"
[HKEY_LOCAL_MACHINE\SOFTWARE\Microsoft\Internet Explorer\Extensions\{E3-NEITHER}]
"buttontext"="Nothing"
[HKEY_LOCAL_MACHINE\SOFTWARE\Microsoft\Internet Explorer\Extensions\{E4-CLSIDBUTTON}]
"ButtonText"="Clsid Button"
"ClsidExtension"="{ACME}"
[HKEY_LOCAL_MACHINE\SOFTWARE\Microsoft\Internet Explorer\Extensions\{E5-MENU}]
"MenuText"="Both Menu"
"ClsidExtension"="{BOTH}"
[HKEY_LOCAL_MACHINE\SOFTWARE\Microsoft\Internet Explorer\Extensions\{E6-GHOST}]
"MenuText"="Ghost Menu"
"CLSIDEXTENSION"="{UNREG}"
[HKEY_LOCAL_MACHINE\SOFTWARE\Microsoft\Internet Explorer\Extensions\{E7-EMPTY}]
)",
            {},
            {kLmBars, "", kCuBars, "", kLmToolbar, "", kCuToolbar, "", kCmdMapping, kExtensions,
             R"(  \{E1-EXEC} - ButtonText: Acme Search = "C:\Program Files\Acme\acmebar.exe" /button (Acme Software))",
             R"(  \{E2-SCRIPT} - ButtonText: Script It = C:\Program Files\Acme\run.htm)",
             R"(  \{E3-NEITHER} - ButtonText: Nothing = )",
             R"(  \{E4-CLSIDBUTTON} - ButtonText: Clsid Button = )",
             R"(  \{E5-MENU} - MenuText: Both Menu = C:\Program Files\Acme\acme.dll (Acme Software))",
             R"(  \{E5-MENU} - MenuText: Both Menu = "C:\Documents and Settings\Owner\user.dll" (Per User Inc)(HKCU CLSID))",
             R"(  \{E6-GHOST} - MenuText: Ghost Menu =  ())", R"(  \{E7-EMPTY} - MenuText:  =  ())",
             ""}}),
    CaseName);

// ---- Values of the wrong type end the scan ----

struct ErrorCase {
  std::string name;
  Section section;
  std::string reg;
  std::string message;
  size_t lines_before;  // how many lines the section wrote before failing
};

std::ostream& operator<<(std::ostream& out, const ErrorCase& c) { return out << c.name; }

class WrongType : public BrowserScanTest, public ::testing::WithParamInterface<ErrorCase> {};

TEST_P(WrongType, EndsTheSectionWithTheRegistryError) {
  Reg(GetParam().reg);
  try {
    GetParam().section(context());
    FAIL() << "no error";
  } catch (const platform::RegistryError& error) {
    EXPECT_EQ(error.what(), GetParam().message);
  }
  EXPECT_EQ(context().log.Lines().size(), GetParam().lines_before);
}

INSTANTIATE_TEST_SUITE_P(Cases, WrongType,
                         ::testing::Values(ErrorCase{"SearchBarNumber", ScanIESettings,
                                                     R"(
[HKEY_LOCAL_MACHINE\SOFTWARE\Microsoft\Internet Explorer\Main]
"Start Page"="http://a.example/"
"Search Bar"=dword:00000001
)",
                                                     "Invalid data type for 'Search Bar'", 4},
                                           ErrorCase{"HelperClassNameNumber", ScanBHOs,
                                                     R"(
[HKEY_LOCAL_MACHINE\SOFTWARE\Microsoft\Windows\CurrentVersion\Explorer\Browser Helper Objects\{ACME}]
[HKEY_LOCAL_MACHINE\SOFTWARE\Classes\CLSID\{ACME}]
@=dword:00000001
)",
                                                     "Invalid data type for ''", 1},
                                           ErrorCase{"HelperFileBinary", ScanBHOs,
                                                     R"(
[HKEY_LOCAL_MACHINE\SOFTWARE\Microsoft\Windows\CurrentVersion\Explorer\Browser Helper Objects\{ACME}]
[HKEY_LOCAL_MACHINE\SOFTWARE\Classes\CLSID\{ACME}\InprocServer32]
@=hex:43,3a,00
)",
                                                     "Invalid data type for ''", 1},
                                           ErrorCase{"CommandNumberAsText", ScanIEBars,
                                                     R"(
[HKEY_CURRENT_USER\Software\Microsoft\Internet Explorer\Extensions\CmdMapping]
"{EXT1}"="1"
)",
                                                     "Invalid data type for '{EXT1}'", 9},
                                           ErrorCase{"ExecNumber", ScanIEBars,
                                                     R"(
[HKEY_LOCAL_MACHINE\SOFTWARE\Microsoft\Internet Explorer\Extensions\{E1}]
"ButtonText"="Go"
"Exec"=dword:00000001
)",
                                                     "Invalid data type for 'Exec'", 10},
                                           ErrorCase{"MenuTextNumber", ScanIEBars,
                                                     R"(
[HKEY_LOCAL_MACHINE\SOFTWARE\Microsoft\Internet Explorer\Extensions\{E1}]
"MenuText"=dword:00000001
"ClsidExtension"="{ACME}"
)",
                                                     "Invalid data type for 'MenuText'", 10}),
                         [](const ::testing::TestParamInfo<ErrorCase>& info) {
                           return info.param.name;
                         });

// Through the driver: the scan stops, and the report written so far is
// saved with the reason.
TEST_F(BrowserScanTest, WrongTypeEndsTheScanAndSavesThePartialReport) {
  Reg(R"(
[HKEY_LOCAL_MACHINE\SOFTWARE\Microsoft\Windows\CurrentVersion\Explorer\Browser Helper Objects\{ACME}]
[HKEY_CURRENT_USER\Software\Microsoft\Internet Explorer\Main]
"Search Bar"=dword:00000001
)");
  scan.options.FolderRemoveAll();
  scan.options.RegistryRemoveAll();
  Tick("chkHKLMExplorerBHOKey");
  Tick("chkIESettings");
  std::string saved;
  const ScanResult result = RunScan(
      context(),
      ReportTarget{"C:\\Tarnscan\\Tarnscan.Txt", [&](const std::string& bytes) { saved = bytes; }});
  EXPECT_FALSE(result.completed);
  EXPECT_EQ(result.error, "Invalid data type for 'Search Bar'");
  const std::string tail = ">>> Internet Explorer Settings <<<\r\n\r\n\r\n" + kLmMain + "\r\n\r\n" +
                           kCuMain + "\r\n\r\nScan ended early: " + result.error + "\r\n";
  ASSERT_GE(saved.size(), tail.size());
  EXPECT_EQ(saved.substr(saved.size() - tail.size()), tail);
  // The helper objects come after the settings and were never reached.
  EXPECT_EQ(saved.find("Browser Helper Objects"), std::string::npos);
}

TEST_F(BrowserScanTest, DriverRunsTheSectionsUnderTheirBanners) {
  Reg(R"(
[HKEY_LOCAL_MACHINE\SOFTWARE\Microsoft\Windows\CurrentVersion\Explorer\Browser Helper Objects\{ACME}]
)");
  scan.options.FolderRemoveAll();
  scan.options.RegistryRemoveAll();
  Tick("chkHKLMExplorerBHOKey");
  std::string saved;
  ASSERT_TRUE(RunScan(context(),
                      ReportTarget{"C:\\T.Txt", [&](const std::string& bytes) { saved = bytes; }})
                  .completed);
  EXPECT_NE(
      saved.find(">>> BHO's <<<\r\n" + kBhoHeader + "\r\n  \\{ACME}" + kAcmeLine + "\r\n\r\n"),
      std::string::npos);
}

}  // namespace
}  // namespace tarnscan::testing
