// An in-memory XP system for the browser and shell sections: a small set
// of COM classes registered machine-wide, per user or both, and DLLs whose
// version resources name their makers, so that company suffixes are real.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "fileinfo/version_info.h"
#include "main/scan_driver.h"
#include "support/pe_writer.h"
#include "support/test_system.h"

namespace tarnscan::testing {

using Lines = std::vector<std::string>;

// The classes, by the name a test uses for them:
//   {ACME}      machine-wide, acme.dll of "Acme Software"
//   {MS}        machine-wide, %SystemRoot%\system32\msthing.dll of
//               "Microsoft Corporation"
//   {LOWER}     machine-wide, lower.dll of "microsoft corporation"
//   {LTD}       machine-wide, ltd.dll of "Microsoft Corporation Ltd"
//   {USER}      per user only, user.dll of "Per User Inc"
//   {BOTH}      machine-wide (acme.dll) and per user (user.dll)
//   {MSUSER}    machine-wide acme.dll, per user the Microsoft DLL
//   {NOINPROC}  a per-user class key without an InprocServer32 key
//   {UNREG}     registered nowhere
inline constexpr std::string_view kClasses = R"(
[HKEY_LOCAL_MACHINE\SOFTWARE\Classes\CLSID\{ACME}]
@="Acme Helper"
[HKEY_LOCAL_MACHINE\SOFTWARE\Classes\CLSID\{ACME}\InprocServer32]
@="C:\\Program Files\\Acme\\acme.dll"
[HKEY_LOCAL_MACHINE\SOFTWARE\Classes\CLSID\{MS}]
@="Microsoft Thing"
[HKEY_LOCAL_MACHINE\SOFTWARE\Classes\CLSID\{MS}\InprocServer32]
@="%SystemRoot%\\system32\\msthing.dll"
[HKEY_LOCAL_MACHINE\SOFTWARE\Classes\CLSID\{LOWER}]
@="Lower Thing"
[HKEY_LOCAL_MACHINE\SOFTWARE\Classes\CLSID\{LOWER}\InprocServer32]
@="C:\\WINDOWS\\system32\\lower.dll"
[HKEY_LOCAL_MACHINE\SOFTWARE\Classes\CLSID\{LTD}]
@="Ltd Thing"
[HKEY_LOCAL_MACHINE\SOFTWARE\Classes\CLSID\{LTD}\InprocServer32]
@="C:\\WINDOWS\\system32\\ltd.dll"
[HKEY_CURRENT_USER\Software\Classes\CLSID\{USER}]
@="User Bar"
[HKEY_CURRENT_USER\Software\Classes\CLSID\{USER}\InprocServer32]
@="\"C:\\Documents and Settings\\Owner\\user.dll\""
[HKEY_LOCAL_MACHINE\SOFTWARE\Classes\CLSID\{BOTH}]
@="Both Machine"
[HKEY_LOCAL_MACHINE\SOFTWARE\Classes\CLSID\{BOTH}\InprocServer32]
@="C:\\Program Files\\Acme\\acme.dll"
[HKEY_CURRENT_USER\Software\Classes\CLSID\{BOTH}]
@="Both User"
[HKEY_CURRENT_USER\Software\Classes\CLSID\{BOTH}\InprocServer32]
@="\"C:\\Documents and Settings\\Owner\\user.dll\""
[HKEY_LOCAL_MACHINE\SOFTWARE\Classes\CLSID\{MSUSER}]
@="Mixed"
[HKEY_LOCAL_MACHINE\SOFTWARE\Classes\CLSID\{MSUSER}\InprocServer32]
@="C:\\Program Files\\Acme\\acme.dll"
[HKEY_CURRENT_USER\Software\Classes\CLSID\{MSUSER}\InprocServer32]
@="%SystemRoot%\\system32\\msthing.dll"
[HKEY_CURRENT_USER\Software\Classes\CLSID\{NOINPROC}]
@="Bare User Class"
)";

// The raw InprocServer32 texts and company suffixes, as lines show them.
inline constexpr std::string_view kAcmeDll = R"(C:\Program Files\Acme\acme.dll)";
inline constexpr std::string_view kAcme = " (Acme Software)";
inline constexpr std::string_view kMsDll = R"(%SystemRoot%\system32\msthing.dll)";
inline constexpr std::string_view kMs = " (Microsoft Corporation)";
inline constexpr std::string_view kUserDll = R"("C:\Documents and Settings\Owner\user.dll")";
inline constexpr std::string_view kUser = " (Per User Inc)";
inline constexpr std::string_view kNoCompany = " ()";

class BrowserScanTest : public ::testing::Test {
 protected:
  BrowserScanTest() {
    scan.UseCompanyNames();
    AddDll("C:\\Program Files\\Acme\\acme.dll", "Acme Software");
    AddDll("C:\\WINDOWS\\system32\\msthing.dll", "Microsoft Corporation");
    AddDll("C:\\WINDOWS\\system32\\lower.dll", "microsoft corporation");
    AddDll("C:\\WINDOWS\\system32\\ltd.dll", "Microsoft Corporation Ltd");
    AddDll("C:\\Documents and Settings\\Owner\\user.dll", "Per User Inc");
    Reg(kClasses);
  }

  ScanContext& context() { return *scan.context; }

  // `body` is .reg text without its header line.
  void Reg(std::string_view body) { scan.test_system.ApplyReg("REGEDIT4\n" + std::string(body)); }
  void AddDll(std::string_view path, std::string_view company) {
    scan.test_system.files.AddFile(path, MakePeWithCompany(company));
  }
  void Tick(std::string_view box, bool ticked = true) { scan.options.Set(box, ticked); }

  const Lines& Run(Section section) {
    section(context());
    return context().log.Lines();
  }

  // Every section leaves both readers closed and the name list empty.
  void ExpectCleanEnd() {
    EXPECT_FALSE(context().reg1.HasKey());
    EXPECT_FALSE(context().reg2->HasKey());
    EXPECT_TRUE(context().key_list.empty());
  }

  TestScan scan;
};

// A named case of a table test: a registry fixture, the "Show All" boxes
// to tick, and the section's lines.
struct SectionCase {
  std::string name;
  std::string reg;
  std::vector<std::string> ticked;
  Lines expected;
};

inline std::ostream& operator<<(std::ostream& out, const SectionCase& c) { return out << c.name; }

inline std::string CaseName(const ::testing::TestParamInfo<SectionCase>& info) {
  return info.param.name;
}

}  // namespace tarnscan::testing
