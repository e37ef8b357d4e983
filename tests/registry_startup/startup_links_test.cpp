#include "main/extract_file.h"
#include "registry/startup_sections.h"
#include "registry_scan_fixture.h"
#include "support/lnk_writer.h"

namespace tarnscan::testing {
namespace {

const std::string kCommonHeader =
    "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell "
    "Folders\\\\Common Startup]";
const std::string kUserHeader =
    "[HKEY_CURRENT_USER\\Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell "
    "Folders\\\\Startup]";
const std::string kCommonStartup =
    "C:\\Documents and Settings\\All Users\\Start Menu\\Programs\\Startup";

class StartupLinks : public RegistryScanTest {
 protected:
  void SetFolders(std::string_view common, std::string_view user) {
    auto& registry = scan.test_system.registry;
    const char* key = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";
    registry.SetString(platform::RootKey::kLocalMachine, key, "Common Startup", common);
    registry.SetString(platform::RootKey::kCurrentUser, key, "Startup", user);
  }
};

TEST_F(StartupLinks, ShortcutsShowTheirTargetOtherFilesTheirOwnCompanyInNameOrder) {
  AddProgram("C:\\Program Files\\Tool\\tool.exe", "Tool Corp");
  AddProgram("C:\\WINDOWS\\adw.exe", "Bad Soft Inc.");
  const std::string dir = kCommonStartup + "\\";
  AddFile(dir + "Tool.lnk", MakeLocalShortcut("C:\\Program Files\\Tool\\tool.exe"));
  AddFile(dir + "Upper.LNK", MakeLocalShortcut("C:\\WINDOWS\\adw.exe"));
  ShortcutSpec control_panel;
  control_panel.id_list = std::vector<std::string>{ControlPanelItem()};
  AddFile(dir + "control.lnk", WriteShortcut(control_panel).bytes);
  AddFile(dir + "run.bat", "@echo off\r\n");
  AddFile(dir + "desktop.ini", "[.ShellClassInfo]\r\n",
          platform::kAttrHidden | platform::kAttrSystem);
  AddFile(dir + "Xlnk");
  scan.test_system.files.AddFolder(dir + "Sub");
  AddFile(dir + "Sub\\inner.bat");
  SetFolders(kCommonStartup, "C:\\Documents and Settings\\Owner\\Start Menu\\Programs\\Startup");

  const Lines& lines = Run(ScanStartupLinks);
  // A name that merely ends in "lnk" is taken for a shortcut, and the text
  // that says it is none is looked up as if it were a target.
  const std::string not_a_shortcut_file =
      ExtractFileFromRegData(context(), std::string(kNotAShortcut));
  EXPECT_EQ(lines,
            (Lines{kCommonHeader, "  " + dir + "control.lnk - Reg Data missing or invalid ()",
                   "  " + dir + "desktop.ini ()", "  " + dir + "run.bat ()",
                   "  " + dir + "Tool.lnk - C:\\Program Files\\Tool\\tool.exe (Tool Corp)",
                   "  " + dir + "Upper.LNK - C:\\WINDOWS\\adw.exe (Bad Soft Inc.)",
                   "  " + dir + "Xlnk - " + not_a_shortcut_file + " ()", "", kUserHeader, ""}));
  // Relative names now resolve against the folder listed last.
  EXPECT_EQ(context().current_folder, kCommonStartup);
}

TEST_F(StartupLinks, MissingValuesAndMissingFoldersListNothing) {
  // No Shell Folders values at all, then folders that do not exist (a
  // profile deleted since): each block is its header and an empty line.
  const Lines empty{kCommonHeader, "", kUserHeader, ""};
  EXPECT_EQ(Run(ScanStartupLinks), empty);
  context().log.Clear();
  SetFolders("C:\\gone", "D:\\gone");
  EXPECT_EQ(Run(ScanStartupLinks), empty);
}

TEST_F(StartupLinks, AFolderValueEndingInABackslashGivesSinglePathSeparators) {
  AddFile("C:\\Startup\\a.bat");
  SetFolders("", "C:\\Startup\\");
  EXPECT_EQ(Run(ScanStartupLinks),
            (Lines{kCommonHeader, "", kUserHeader, "  C:\\Startup\\a.bat ()", ""}));
}

TEST_F(StartupLinks, ResolveShortcutOnlyResolvesTheLnkExtensionInAnyCase) {
  AddFile("C:\\a\\Tool.lnk", MakeLocalShortcut("C:\\Program Files\\Tool\\tool.exe"));
  AddFile("C:\\a.lnk\\readme", MakeLocalShortcut("C:\\x.exe"));
  struct Case {
    const char* name;
    std::string result;
  };
  const Case cases[] = {
      {"C:\\a\\Tool.lnk", "C:\\Program Files\\Tool\\tool.exe"},
      {"C:\\a\\TOOL.LnK", "C:\\Program Files\\Tool\\tool.exe"},
      {"C:\\a\\missing.lnk", ""},
      {"C:\\a\\readme.txt", std::string(kNotAShortcut)},
      {"C:\\a.lnk\\readme", std::string(kNotAShortcut)},
      {"C:\\a\\Toollnk", std::string(kNotAShortcut)},
      {"C:\\a\\Tool.lnk.bak", std::string(kNotAShortcut)},
      {"", std::string(kNotAShortcut)},
  };
  for (const auto& c : cases) EXPECT_EQ(ResolveShortcut(context(), c.name), c.result) << c.name;
}

}  // namespace
}  // namespace tarnscan::testing
