#include "main/extract_file.h"

#include <gtest/gtest.h>

#include "support/test_system.h"

namespace tarnscan {
namespace {

struct Case {
  const char* data;
  std::vector<const char*> files;  // present on the scanned disk
  const char* expected;
};

class ExtractFileFromRegDataTest : public ::testing::TestWithParam<Case> {};

TEST_P(ExtractFileFromRegDataTest, GivesThePathTheDataNames) {
  testing::TestScan scan;
  for (const char* path : GetParam().files) scan.test_system.files.AddFile(path, "MZ");
  EXPECT_EQ(ExtractFileFromRegData(*scan.context, GetParam().data), GetParam().expected)
      << "data: " << GetParam().data;
}

INSTANTIATE_TEST_SUITE_P(
    WorkedExamples, ExtractFileFromRegDataTest,
    ::testing::Values(
        Case{"", {}, "Reg Data missing or invalid"},
        Case{"C:\\WINDOWS\\system32\\shdocvw.dll", {}, "C:\\WINDOWS\\system32\\shdocvw.dll"},
        Case{"%SystemRoot%\\system32\\msi.dll", {}, "C:\\WINDOWS\\system32\\msi.dll"},
        Case{"\\SystemRoot\\System32\\drivers\\tcpip.sys",
             {},
             "C:\\WINDOWS\\System32\\drivers\\tcpip.sys"},
        Case{"\\??\\C:\\WINDOWS\\system32\\drivers\\x.sys",
             {},
             "C:\\WINDOWS\\system32\\drivers\\x.sys"},
        Case{"\"C:\\Program Files\\App\\app.exe\" -min", {}, "C:\\Program Files\\App\\app.exe"},
        Case{"C:\\Program Files\\App\\app.exe -min", {}, "C:\\Program Files\\App\\app.exe"},
        Case{"C:\\Some.Dir\\tool.exe /s", {}, "C:\\Some.Dir\\tool.exe"},
        Case{"rundll32.exe shell32.dll,Control_RunDLL",
             {"C:\\WINDOWS\\SYSTEM32\\rundll32.exe"},
             "C:\\WINDOWS\\SYSTEM32\\rundll32.exe"},
        Case{"rundll32.exe shell32.dll,Control_RunDLL", {}, "rundll32.exe"},
        Case{"C:\\WINDOWS\\system32\\mscoree",
             {"C:\\WINDOWS\\system32\\mscoree.dll"},
             "C:\\WINDOWS\\system32\\mscoree.dll"},
        Case{"C:\\WINDOWS\\system32\\mscoree", {}, ""},
        Case{"C:\\x\\app -q", {"C:\\x\\app.com"}, "C:\\x\\app.com"},
        Case{"C:\\x\\app -q", {"C:\\x\\app.exe", "C:\\x\\app.dll"}, "C:\\x\\app.exe"},
        Case{"C:\\x\\app -q", {}, ""},
        Case{"%ProgramFiles%\\App\\app.exe", {}, "app.exe"},
        Case{"%ProgramFiles%\\App\\app.exe", {"C:\\WINDOWS\\app.exe"}, "C:\\WINDOWS\\app.exe"},
        Case{"%ProgramFiles%\\App\\app.exe",
             {"C:\\WINDOWS\\SYSTEM32\\app.exe"},
             "C:\\WINDOWS\\SYSTEM32\\app.exe"},
        Case{"res://C:\\WINDOWS\\system32\\shdoclc.dll/dnserror.htm",
             {},
             "C:\\WINDOWS\\system32\\shdoclc.dll/dnserror.htm"},
        Case{"C:\\x\\page.html", {}, "C:\\x\\page.htm"}));

INSTANTIATE_TEST_SUITE_P(
    EdgeCases, ExtractFileFromRegDataTest,
    ::testing::Values(
        // Only the lower-case scheme is a resource address.
        Case{"RES://C:\\WINDOWS\\system32\\shdoclc.dll/x.htm", {}, "RES://C:\\WINDOWS\\system32\\shdoclc.dll/x.htm"},
        Case{"%SYSTEMROOT%\\notepad.exe", {}, "C:\\WINDOWS\\notepad.exe"},
        Case{"\\systemroot\\notepad.exe", {}, "C:\\WINDOWS\\notepad.exe"},
        // Text after the closing quote is ignored, even a path.
        Case{"\"C:\\a\\b.exe\" C:\\c\\d.dll", {}, "C:\\a\\b.exe"},
        // Trailing words are dropped before the executable extensions.
        Case{"C:\\x\\ab cd", {"C:\\x\\ab.dll"}, "C:\\x\\ab.dll"},
        // A folder never counts as an existing name.
        Case{"C:\\x\\tool", {"C:\\x\\tool.exe\\inner.txt"}, ""},
        // Three backslashes become two.
        Case{"C:\\a\\\\\\b.dll", {}, "C:\\a\\\\b.dll"},
        // Open-ended loops end: the prefix is removed.
        Case{"%SystemRoot", {}, "SystemRoot"},
        Case{"\\SystemRoot", {}, "SystemRoot"},
        Case{"\"C:\\a b\\c.exe", {}, "C:\\a b\\c.exe"},
        // No backslash at all: the walk stops at the first character.
        Case{"notepad -x", {}, ""},
        Case{"x", {}, ""},
        Case{"%", {}, ""},
        Case{"\"", {}, ""}));

TEST(ExtractFileFromRegData, RelativeNamesResolveInTheCurrentFolder) {
  testing::TestScan scan;
  scan.test_system.files.AddFile("C:\\Tools\\probe.exe", "MZ");
  EXPECT_EQ(ExtractFileFromRegData(*scan.context, "probe -x"), "");
  scan.context->current_folder = "C:\\Tools";
  EXPECT_EQ(ExtractFileFromRegData(*scan.context, "probe -x"), "probe.exe");
}

}  // namespace
}  // namespace tarnscan
