#include "platform/registry_reader.h"
#include "registry/system_hook_sections.h"
#include "registry_scan_fixture.h"

namespace tarnscan::testing {
namespace {

const std::string kAppInitHeader =
    "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows "
    "NT\\CurrentVersion\\Windows\\\\AppInit_DLLs]";
const std::string kIfeoHeader =
    "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Image File Execution "
    "Options]";
const std::string kWinlogonHeader =
    "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Winlogon]";
const std::string kNotifyHeader =
    "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Winlogon\\Notify]";

TEST(SplitAppInitDlls, CommaRunsSeparateBlanksDoNot) {
  struct Case {
    const char* value;
    std::vector<std::string> items;
  };
  const Case cases[] = {
      {"a.dll,b.dll", {"a.dll", "b.dll"}},
      {"a.dll,,,b.dll", {"a.dll", "b.dll"}},
      {"a.dll b.dll", {"a.dll b.dll"}},
      {"a.dll, b.dll", {"a.dll", " b.dll"}},
      {"a.dll,", {"a.dll", ""}},
      {"a.dll,,,", {"a.dll", ""}},
      {",a.dll", {",a.dll"}},
      {",,a.dll", {",", "a.dll"}},
      {",", {","}},
      {"x", {"x"}},
  };
  for (const auto& c : cases) EXPECT_EQ(SplitAppInitDlls(c.value), c.items) << c.value;
}

using AppInitDlls = RegistryScanTest;

TEST_F(AppInitDlls, OneLinePerLibraryWithItsCompanyAndAnEmptyLastItem) {
  AddProgram("C:\\WINDOWS\\system32\\hook.dll", "Hook Soft");
  Reg(R"([HKEY_LOCAL_MACHINE\SOFTWARE\Microsoft\Windows NT\CurrentVersion\Windows]
"AppInit_DLLs"="hook.dll,,C:\\PROGRA~1\\Spy\\spy.dll,"
)");
  EXPECT_EQ(Run(ScanAppInitDLLs), (Lines{kAppInitHeader, "  hook.dll =  (Hook Soft)",
                                         "  C:\\PROGRA~1\\Spy\\spy.dll =  ()", "   =  ()", ""}));
}

TEST_F(AppInitDlls, EmptyOrMissingValueAndMissingKeyGiveOnlyTheFrame) {
  const Lines frame{kAppInitHeader, ""};
  EXPECT_EQ(Run(ScanAppInitDLLs), frame);
  Reg("[HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Windows]\n");
  context().log.Clear();
  EXPECT_EQ(Run(ScanAppInitDLLs), frame);
  Reg("[HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Windows]\n"
      "\"AppInit_DLLs\"=\"\"\n");
  context().log.Clear();
  EXPECT_EQ(Run(ScanAppInitDLLs), frame);
}

TEST_F(AppInitDlls, ANonTextValueEndsTheScan) {
  Reg("[HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Windows]\n"
      "\"AppInit_DLLs\"=hex:61,00\n");
  EXPECT_THROW(ScanAppInitDLLs(context()), platform::RegistryError);
}

using ImageFileExecutionOptions = RegistryScanTest;

TEST_F(ImageFileExecutionOptions, DebuggerValuesInAnyCaseAndNothingElse) {
  Reg(R"([HKEY_LOCAL_MACHINE\SOFTWARE\Microsoft\Windows NT\CurrentVersion\Image File Execution Options\notepad.exe]
"debugger"="C:\\Program Files\\Spy\\spy.exe"

[HKEY_LOCAL_MACHINE\SOFTWARE\Microsoft\Windows NT\CurrentVersion\Image File Execution Options\calc.exe]
"GlobalFlag"="0x02000000"
"DEBUGGER"="ntsd -g"

[HKEY_LOCAL_MACHINE\SOFTWARE\Microsoft\Windows NT\CurrentVersion\Image File Execution Options\Your Image File Name Here without a dot]
"Debugger"=""

[HKEY_LOCAL_MACHINE\SOFTWARE\Microsoft\Windows NT\CurrentVersion\Image File Execution Options\msdev.exe]
"DebuggerPath"="C:\\dbg.exe"
"NoDebugger"="C:\\dbg.exe"

[HKEY_LOCAL_MACHINE\SOFTWARE\Microsoft\Windows NT\CurrentVersion\Image File Execution Options\empty.exe]
)");
  EXPECT_EQ(Run(ScanImageFileExecutionOptions),
            (Lines{kIfeoHeader, "  \\calc.exe - DEBUGGER = ntsd -g",
                   "  \\notepad.exe - debugger = C:\\Program Files\\Spy\\spy.exe",
                   "  \\Your Image File Name Here without a dot - Debugger = ", ""}));
}

TEST_F(ImageFileExecutionOptions, MissingKeyAndWrongTypedDebugger) {
  EXPECT_EQ(Run(ScanImageFileExecutionOptions), (Lines{kIfeoHeader, ""}));
  Reg(R"([HKEY_LOCAL_MACHINE\SOFTWARE\Microsoft\Windows NT\CurrentVersion\Image File Execution Options\x.exe]
"Debugger"=dword:00000001
)");
  EXPECT_THROW(ScanImageFileExecutionOptions(context()), platform::RegistryError);
}

using Winlogon = RegistryScanTest;

TEST_F(Winlogon, ProgramsThenNotifyLibrariesWithTheirCompanies) {
  AddProgram("C:\\WINDOWS\\system32\\WgaLogon.dll", "Microsoft Corporation");
  AddProgram("C:\\WINDOWS\\system32\\vtsts.dll", "Unknown Vendor");
  Reg(R"([HKEY_LOCAL_MACHINE\SOFTWARE\Microsoft\Windows NT\CurrentVersion\Winlogon]
"Userinit"="C:\\WINDOWS\\system32\\userinit.exe,C:\\WINDOWS\\system32\\spy.exe,"
"Shell"="Explorer.exe"

[HKEY_LOCAL_MACHINE\SOFTWARE\Microsoft\Windows NT\CurrentVersion\Winlogon\Notify\WgaLogon]
"DllName"="WgaLogon.dll"

[HKEY_LOCAL_MACHINE\SOFTWARE\Microsoft\Windows NT\CurrentVersion\Winlogon\Notify\vtsts]
"DllName"="C:\\WINDOWS\\system32\\vtsts.dll"
"Startup"="Start"

[HKEY_LOCAL_MACHINE\SOFTWARE\Microsoft\Windows NT\CurrentVersion\Winlogon\Notify\empty]
)");
  EXPECT_EQ(
      Run(ScanWinlogon),
      (Lines{kWinlogonHeader,
             "  \\\\UserInit = C:\\WINDOWS\\system32\\userinit.exe,C:\\WINDOWS\\system32\\spy.exe,",
             "  \\\\Shell = Explorer.exe", "  \\\\System = ", "", kNotifyHeader,
             "  \\empty -  = ()", "  \\vtsts - C:\\WINDOWS\\system32\\vtsts.dll = (Unknown Vendor)",
             "  \\WgaLogon - WgaLogon.dll = (Microsoft Corporation)", ""}));
}

TEST_F(Winlogon, WithoutNotifyTheNotifyHeaderStillStands) {
  Reg(R"([HKEY_LOCAL_MACHINE\SOFTWARE\Microsoft\Windows NT\CurrentVersion\Winlogon]
"Shell"="Explorer.exe"
)");
  EXPECT_EQ(Run(ScanWinlogon),
            (Lines{kWinlogonHeader, "  \\\\UserInit = ", "  \\\\Shell = Explorer.exe",
                   "  \\\\System = ", "", kNotifyHeader, ""}));
}

TEST_F(Winlogon, WithoutTheKeyOnlyTheFrame) {
  EXPECT_EQ(Run(ScanWinlogon), (Lines{kWinlogonHeader, ""}));
}

}  // namespace
}  // namespace tarnscan::testing
