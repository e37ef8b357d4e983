#include "addon/addon_runner.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "addon/addon_fixture.h"
#include "main/scan_driver.h"
#include "main/startup.h"
#include "platform/memory/system_folder.h"
#include "support/pe_writer.h"

namespace tarnscan {
namespace {

using testing::AddOnFixture;
using testing::At;
using testing::Lines;

TEST(SplitAddOnLines, CarriageReturnsEndLinesAndCtrlZEndsTheFile) {
  struct Case {
    std::string bytes;
    Lines lines;
  };
  const Case cases[] = {
      {"", {}},
      {"a\r\nb\r\n", {"a", "b"}},
      {"a\rb", {"a", "b"}},          // a last line without its end
      {"a\r\r\nb", {"a", "", "b"}},  // an empty line between
      {"a\nb\r\n", {"a\nb"}},        // a lone line feed is a character
      {"a\r\n\nb", {"a", "\nb"}},    // only the first LF belongs to the end
      {"  a \t\r", {"  a \t"}},      // nothing trimmed
      {"a\r\n\x1A"
       "b\r\n",
       {"a"}},  // Ctrl-Z ends the file
      {"ab\x1A"
       "cd",
       {"ab"}},
      {std::string("a\0b\r", 4), {std::string("a\0b", 3)}},
  };
  for (const Case& c : cases) EXPECT_EQ(SplitAddOnLines(c.bytes), c.lines) << c.bytes;
}

TEST(ParseAddOnInteger, DecimalAndHexadecimalNumbersOfThirtyTwoSignedBits) {
  const std::pair<const char*, int32_t> valid[] = {
      {"7", 7},
      {"  7", 7},
      {"+7", 7},
      {"-7", -7},
      {"0", 0},
      {"-0", 0},
      {"007", 7},
      {"$1F", 31},
      {"$1f", 31},
      {"0x1f", 31},
      {"0X10", 16},
      {"$7FFFFFFF", 2147483647},
      {"2147483647", 2147483647},
      {"-2147483648", -2147483647 - 1},
  };
  for (const auto& [text, value] : valid) EXPECT_EQ(ParseAddOnInteger(text), value) << text;
}

TEST(ParseAddOnInteger, AnythingElseFailsWithTheFieldInTheMessage) {
  const char* invalid[] = {"x7",
                           "X7",
                           "7 ",
                           " ",
                           "",
                           "+",
                           "-",
                           "$",
                           "0x",
                           "1e3",
                           "7x",
                           "- 7",
                           "\t7",
                           "-$10",
                           "0x-1",
                           "2147483648",
                           "$80000000",
                           "-2147483649",
                           "99999999999999999999",
                           "1,000"};
  for (const char* text : invalid) {
    try {
      ParseAddOnInteger(text);
      ADD_FAILURE() << "accepted '" << text << "'";
    } catch (const IntegerConversionError& error) {
      EXPECT_EQ(error.what(), "'" + std::string(text) + "' is not a valid integer value");
    }
  }
}

// A small system: a root with a boot file and the paging file, a tools
// folder with a match two levels down, the same key in both hives.
struct Interpreter : AddOnFixture {
  Interpreter() {
    files().AddFile("C:\\boot.ini", "[boot loader]", platform::kAttrHidden, At(2008, 4, 14));
    files().AddFile("C:\\pagefile.sys", "paged", platform::kAttrHidden, At(2025, 12, 31));
    files().AddFile("C:\\Tools\\readme.txt", "read me", platform::kAttrArchive, At(2020, 1, 1));
    files().AddFile("C:\\Tools\\deep\\x.exe", "MZ", platform::kAttrArchive, At(2020, 1, 1));
    files().AddFolder("C:\\Other");
    ApplyReg(
        "[HKEY_LOCAL_MACHINE\\Software\\Test]\r\n\"Where\"=\"machine\"\r\n\r\n"
        "[HKEY_CURRENT_USER\\Software\\Test]\r\n\"Where\"=\"user\"\r\n\r\n"
        "[HKEY_USERS\\.DEFAULT\\Control Panel\\Desktop]\r\n\"Wallpaper\"=\"(None)\"\r\n");
  }
};

struct InterpreterCase {
  const char* name;
  const char* addon;
  Lines expected;
};

const InterpreterCase kInterpreterCases[] = {
    {"keywords in small letters",
     "output;Hello\rfile;C:\\Tools;*.txt;;;;;\r"
     "regkey;HKEY_LOCAL_MACHINE\\Software\\Test;;\r",
     {"Hello", "DIR  C:\\Tools\\*.txt  (Parameters = )", "  C:\\Tools\\readme.txt ()", "",
      "HKEY_LOCAL_MACHINE\\Software\\Test - No SUBKEYS", "[HKEY_LOCAL_MACHINE\\Software\\Test]",
      "  Test\\\\Where - machine", ""}},
    {"a blank or anything before the keyword",
     " OUTPUT;x\r FILE;C:\\;;;;;;\r"
     "\tREGKEY;HKEY_LOCAL_MACHINE\\Software\\Test;;\r"
     "REM FILE;C:\\;;;;;;\r; OUTPUT;y\rOUTPU;z",
     {}},
    {"OUTPUT texts",
     "OUTPUT;\rOUTPUT\rOUTPUT;Hello\rOUTPUT:Hello; world ;\rOUTPUT;  spaced  ",
     {"", "", "Hello", "Hello; world ;", "  spaced  "}},
    {"the echo doubles the backslash of C:\\",
     "FILE;C:\\;;;;;;",
     {"DIR  C:\\\\*.*  (Parameters = )", "  C:\\boot.ini ()", ""}},
    {"the separator is not looked at",
     "FILE:C:\\Tools;*.txt;;;;;\rFILESC:\\Tools;*.txt;;;;;",
     {"DIR  C:\\Tools\\*.txt  (Parameters = )", "  C:\\Tools\\readme.txt ()", "",
      "DIR  C:\\Tools\\*.txt  (Parameters = )", "  C:\\Tools\\readme.txt ()", ""}},
    {"SUBFOLDERS, then an empty sixth field",
     "FILE;C:\\Tools;*.exe;;;;subfolders;\rFILE;C:\\Tools;*.exe;;;;;",
     {"DIR  C:\\Tools\\*.exe  (Parameters = Include SubFolders)", "  C:\\Tools\\deep\\x.exe ()", "",
      "DIR  C:\\Tools\\*.exe  (Parameters = )", "  File C:\\Tools\\*.exe was not found!", ""}},
    {"days 7",
     "FILE;C:\\Tools;*.exe;7;;;;",
     {"DIR  C:\\Tools\\*.exe  (Parameters = Older than 7 days; )",
      "  File C:\\Tools\\*.exe for today - 7 days was not found!", ""}},
    {"days and size 0 are echoed but test nothing",
     "FILE;C:\\Tools;readme.txt;0;0;;;",
     {"DIR  C:\\Tools\\readme.txt  (Parameters = Older than 0 days; Size of 0; )",
      "  C:\\Tools\\readme.txt ()", ""}},
    {"negative days are neither echoed nor tested",
     "FILE;C:\\Tools;*.txt;-5;;;;",
     {"DIR  C:\\Tools\\*.txt  (Parameters = )", "  C:\\Tools\\readme.txt ()", ""}},
    {"every parameter, a macro and hexadecimal numbers",
     "FILE;%windir%;x.dll;$10;0x20;AbC123;SUBFOLDERS;",
     {"DIR  C:\\WINDOWS\\x.dll  (Parameters = MD5 of AbC123; Older than 16 days; Size of 32; "
      "Include SubFolders)",
      ""}},
    {"hkcu is no root name, hkey_current_user is",
     "REGKEY;hkcu\\Software\\Test;;\rREGKEY;hkey_current_user\\Software\\Test;;",
     {"HKEY_LOCAL_MACHINE\\Software\\Test - No SUBKEYS", "[HKEY_LOCAL_MACHINE\\Software\\Test]",
      "  Test\\\\Where - machine", "", "HKEY_CURRENT_USER\\Software\\Test - No SUBKEYS",
      "[HKEY_CURRENT_USER\\Software\\Test]", "  Test\\\\Where - user", ""}},
    {"fields a line does not reach keep the previous line's values",
     "FILE;C:\\Tools;*.txt;;;;SUBFOLDERS;\rFILE;C:\\Other;",
     // The option SUBFOLDERS stays and hides the not-found line, though the
     // flag was cleared and no folder below is searched.
     {"DIR  C:\\Tools\\*.txt  (Parameters = Include SubFolders)", "  C:\\Tools\\readme.txt ()", "",
      "DIR  C:\\Other\\*.txt  (Parameters = )", ""}},
    {"the starting values",
     "FILE;C:\\Tools;",
     {"DIR  C:\\Tools\\  (Parameters = Older than 0 days; Size of 0; )",
      "  File C:\\Tools\\ was not found!", ""}},
    {"fields after the sixth replace the option",
     "FILE;C:\\Tools;*.exe;;;;SUBFOLDERS;extra;",
     {"DIR  C:\\Tools\\*.exe  (Parameters = Include SubFolders)", "  C:\\Tools\\deep\\x.exe ()",
      "  File C:\\Tools\\*.exe was not found!", ""}},
    {"a single character after the last ; is ignored",
     "FILE;C:\\Tools;*.exe;;;;;x\r"
     "FILE;C:\\Tools;*.exe;7",
     {"DIR  C:\\Tools\\*.exe  (Parameters = )", "  File C:\\Tools\\*.exe was not found!", "",
      "DIR  C:\\Tools\\*.exe  (Parameters = )", "  File C:\\Tools\\*.exe was not found!", ""}},
    {"the end of the line ends a field",
     "FILE;C:\\Tools;readme.txt",
     {"DIR  C:\\Tools\\readme.txt  (Parameters = Older than 0 days; Size of 0; )",
      "  C:\\Tools\\readme.txt ()", ""}},
    {"text after the sixth field without its ; is ignored",
     "FILE;C:\\Tools;*.txt;;;;;SUBFOLDERS",
     {"DIR  C:\\Tools\\*.txt  (Parameters = )", "  C:\\Tools\\readme.txt ()", ""}},
    {"an empty key path dumps the root",
     "REGKEY;HKEY_USERS\\;;\rREGKEY;HKEY_USERS;SUBKEYS;",
     {"HKEY_USERS\\ - No SUBKEYS", "[HKEY_USERS\\]", "  \\.DEFAULT", "",
      "HKEY_USERS\\ - Include SUBKEYS", "[HKEY_USERS\\]",
      "  .DEFAULT\\Control Panel\\Desktop\\\\Wallpaper - (None)", ""}},
    {"characters after the option are ignored",
     "REGKEY;HKEY_LOCAL_MACHINE\\Software\\Test;subkeys;and more\r"
     "REGKEY;HKEY_LOCAL_MACHINE\\Software\\Test",
     {"HKEY_LOCAL_MACHINE\\Software\\Test - Include SUBKEYS",
      "[HKEY_LOCAL_MACHINE\\Software\\Test]", "  Test\\\\Where - machine", "",
      "HKEY_LOCAL_MACHINE\\Software\\Test - No SUBKEYS", "[HKEY_LOCAL_MACHINE\\Software\\Test]",
      "  Test\\\\Where - machine", ""}},
};

TEST_F(Interpreter, LinesOfEveryKind) {
  for (const InterpreterCase& c : kInterpreterCases) {
    scan.context->log.Clear();
    EXPECT_EQ(Interpret(c.addon), c.expected) << c.name;
  }
}

TEST_F(Interpreter, ExampleFile) {
  UseCompanyNames();
  const std::string dll = testing::MakePeWithCompany("Toolbar Ltd");
  files().AddFile("C:\\WINDOWS\\tbhook.dll", dll);
  files().AddFile("C:\\WINDOWS\\system32\\tbcore.dll", dll);
  files().AddFile("C:\\WINDOWS\\notepad.exe", "MZ");
  ApplyReg(
      "[HKEY_LOCAL_MACHINE\\Software\\Toolbar]\r\n\"Version\"=\"2.1\"\r\n"
      "\"Installed\"=dword:00000001\r\n\r\n"
      "[HKEY_LOCAL_MACHINE\\Software\\Toolbar\\Search]\r\n@=\"http://search.example/\"\r\n");
  EXPECT_EQ(
      Interpret("AddOn for a toolbar that hides in the Windows folder\r\n"
                "OUTPUT;Checking the toolbar\r\n"
                "FILE;%WinDir%;tb*.dll;;;;SUBFOLDERS;\r\n"
                "REGKEY;HKEY_LOCAL_MACHINE\\Software\\Toolbar;SUBKEYS;\r\n"),
      (Lines{"Checking the toolbar", "DIR  C:\\WINDOWS\\tb*.dll  (Parameters = Include SubFolders)",
             "  C:\\WINDOWS\\tbhook.dll (Toolbar Ltd)",
             "  C:\\WINDOWS\\system32\\tbcore.dll (Toolbar Ltd)", "",
             "HKEY_LOCAL_MACHINE\\Software\\Toolbar - Include SUBKEYS",
             "[HKEY_LOCAL_MACHINE\\Software\\Toolbar]", "  Toolbar\\\\Version - 2.1",
             "  Toolbar\\\\Installed - 1", "  Toolbar\\Search\\\\ - http://search.example/", ""}));
}

TEST_F(Interpreter, NotANumberEndsTheRunBeforeTheEcho) {
  try {
    Interpret("OUTPUT;before\rFILE;C:\\Tools;*.exe;x7;;;;\rOUTPUT;after");
    FAIL() << "x7 was taken as a number";
  } catch (const IntegerConversionError& error) {
    EXPECT_STREQ(error.what(), "'x7' is not a valid integer value");
  }
  EXPECT_EQ(Log(), Lines{"before"});
}

TEST_F(Interpreter, FileValuesStartAfreshForEachAddOnFile) {
  AddPlugin("a.def", "FILE;C:\\Tools;*.txt;3;;abc;SUBFOLDERS;\r");
  AddPlugin("b.def", "FILE;C:\\Tools;\r");
  RunAddOns(context());
  EXPECT_EQ(Log(), (Lines{">>>>Output for AddOn file a.def<<<<",
                          "DIR  C:\\Tools\\*.txt  (Parameters = MD5 of abc; Older than 3 days; "
                          "Include SubFolders)",
                          "", ">>>>Output for AddOn file b.def<<<<",
                          "DIR  C:\\Tools\\  (Parameters = Older than 0 days; Size of 0; )",
                          "  File C:\\Tools\\ was not found!", ""}));
}

TEST_F(AddOnFixture, TickedAddOnsRunInSortedOrderEachAfterItsHeader) {
  AddPlugin("b.def", "OUTPUT;from b\r\n");
  AddPlugin("c.def", "OUTPUT;from c\r\n", false);
  AddPlugin("A.def", "OUTPUT;from A\r\n");
  AddPlugin("comments.def", "; nothing but a comment\r\nREM and another\r\n");
  RunAddOns(context());
  EXPECT_EQ(Log(), (Lines{">>>>Output for AddOn file A.def<<<<", "from A",
                          ">>>>Output for AddOn file b.def<<<<", "from b",
                          ">>>>Output for AddOn file comments.def<<<<"}));
}

TEST_F(AddOnFixture, NothingTickedWritesNothing) {
  AddPlugin("a.def", "OUTPUT;a\r\n", false);
  RunAddOns(context());
  EXPECT_TRUE(Log().empty());
}

TEST_F(AddOnFixture, AFileGoneSinceStartUpEndsTheRunBeforeItsHeader) {
  AddPlugin("a.def", "OUTPUT;a\r\n");
  scan.options.AddAddOn("gone.def");
  for (auto& item : scan.options.AddOns()) item.checked = true;
  EXPECT_THROW(RunAddOns(context()), platform::FileError);
  EXPECT_EQ(Log(), (Lines{">>>>Output for AddOn file a.def<<<<", "a"}));
}

TEST_F(AddOnFixture, ALockedFileEndsTheRun) {
  AddPlugin("a.def", "OUTPUT;a\r\n");
  plugins.Find("P:\\plugins\\a.def")->locked = true;
  EXPECT_THROW(RunAddOns(context()), platform::FileError);
  EXPECT_TRUE(Log().empty());
}

// The driver runs the AddOns last, after its own banner; an error in an
// AddOn ends the scan with the report so far saved.
struct AddOnScan : AddOnFixture {
  AddOnScan() {
    scan.options.FolderRemoveAll();
    scan.options.RegistryRemoveAll();
    scan.options.Set("chkAddOns", true);
  }
  Lines Scan() {
    std::string saved;
    result =
        RunScan(context(), {"C:\\Tarnscan.Txt", [&](const std::string& bytes) { saved = bytes; }});
    const Lines& lines = Log();
    const auto banner = std::find(lines.begin(), lines.end(), ">>> Selected AddOn's <<<");
    EXPECT_EQ(saved, context().log.Text());
    return banner == lines.end() ? Lines{} : Lines(banner, lines.end());
  }
  ScanResult result;
};

TEST_F(AddOnScan, AddOnOutputEndsTheReport) {
  AddPlugin("hello.def", "OUTPUT;Hello\r\n");
  EXPECT_EQ(Scan(),
            (Lines{">>> Selected AddOn's <<<", "", ">>>>Output for AddOn file hello.def<<<<",
                   "Hello", "", BlockBanner(kBannerComplete)}));
  EXPECT_TRUE(result.completed);
}

TEST_F(AddOnScan, ABadNumberEndsTheScanWithItsMessage) {
  AddPlugin("bad.def", "OUTPUT;first\r\nFILE;C:\\;*.*;x7;;;;\r\nOUTPUT;never\r\n");
  EXPECT_EQ(Scan(), (Lines{">>> Selected AddOn's <<<", "", ">>>>Output for AddOn file bad.def<<<<",
                           "first", "", "Scan ended early: 'x7' is not a valid integer value"}));
  EXPECT_FALSE(result.completed);
}

// The AddOn shipped with the demonstration, against the sample system.
TEST(SampleAddOn, FindsTheSampleSystemsAdware) {
  const std::string samples = TARNSCAN_SAMPLES_DIR;
  platform::SystemFolderOptions folder_options;
  folder_options.as_of = platform::LocalTime{2025, 12, 31, 10, 0, 0, 0};
  const platform::System system = platform::LoadSystemFolder(samples + "/xp-home", folder_options);
  platform::MemoryFileSystem plugins;
  const std::string def = samples + "/plugins/spyware-check.def";
  plugins.AddHostFile("P:\\plugins\\spyware-check.def", def, std::filesystem::file_size(def));
  ScanOptions options;
  options.FolderRemoveAll();
  options.RegistryRemoveAll();
  ScanContext context(system, options);
  context.plugin_files = &plugins;
  context.plugins_folder = "P:\\plugins";
  ASSERT_TRUE(Startup(context));
  ASSERT_EQ(options.AddOns().size(), 1u);
  options.AddOns()[0].checked = true;
  const ScanResult result = RunScan(context, {"C:\\Tarnscan.Txt", [](const std::string&) {}});
  EXPECT_TRUE(result.completed) << result.error;
  const Lines& lines = context.log.Lines();
  for (const char* line :
       {">>>>Output for AddOn file spyware-check.def<<<<",
        "  C:\\WINDOWS\\SYSTEM32\\msxtb.dll (Hotbar.com, Inc.)",
        "  C:\\Documents and Settings\\Owner\\Application Data\\hbinst.ini ()",
        "  Hotbar\\Skins\\\\Installed - blue;weather;", "  Hotbar\\\\ShowWeather - -1",
        "  C:\\Program Files\\SearchBar\\sbar.exe (SearchBar Ltd)",
        "  bxp\\\\CLSID - {B7A3C1E0-5D2F-4A19-9E6B-3C8D21F0A4E7}"}) {
    EXPECT_NE(std::find(lines.begin(), lines.end(), line), lines.end()) << line;
  }
}

}  // namespace
}  // namespace tarnscan
