#include "folders/folder_sections.h"

#include <algorithm>

#include "fileinfo/version_info.h"
#include "folders/file_line.h"
#include "folders/pattern_scan.h"
#include "platform/text.h"

namespace tarnscan {
namespace {

using platform::FileEntry;
using platform::RootKey;

constexpr int kMaxDepth = 128;

struct StandardFolder {
  const char* caption;
  const char* title;
  std::string Environment::*folder;
  const char* below;  // appended to the folder
  bool recurse;
};

void ScanStandardFolder(ScanContext& context, const StandardFolder& row) {
  context.SetCaption(row.caption);
  context.log.Add(row.title);
  ScanFolderForPatterns(context, context.env.*row.folder + row.below, "*.*", row.recurse);
  context.log.Add("");
}

// A file's line, or nothing when its version data is unreadable.
void LogEntry(ScanContext& context, const std::string& path, const FileEntry& entry) {
  try {
    LogFileWithCompany(*context.file_facts, path, EntryLine(context, "", entry, path), context.log);
  } catch (const std::exception&) {
    // The walks skip a file whose facts cannot be read.
  }
}

using EntryFilter = bool (*)(const ScanContext&, const FileEntry&);

void Walk(ScanContext& context, std::string_view folder_in, std::string_view mask, bool recurse,
          EntryFilter filter, int depth) {
  const std::string folder = WithBackslash(folder_in);
  const auto& files = *context.system.files;
  for (const auto& entry : files.List(folder, mask)) {
    if (!entry.IsDirectory() && filter(context, entry))
      LogEntry(context, folder + entry.name, entry);
  }
  if (!recurse || depth >= kMaxDepth) return;
  for (const auto& entry : files.List(folder, "*.*")) {
    // Links to folders are not followed: junction loops would never end.
    if (entry.IsDirectory() && (entry.attributes & platform::kAttrReparsePoint) == 0) {
      Walk(context, folder + entry.name, mask, true, filter, depth + 1);
    }
  }
}

bool IsRecentHiddenOrSystem(const ScanContext& context, const FileEntry& entry) {
  if ((entry.attributes & (platform::kAttrHidden | platform::kAttrSystem)) == 0) return false;
  const auto written =
      platform::TruncateToTwoSeconds(context.system.clock->ToLocal(entry.last_write));
  return platform::ToDateTimeValue(written) >
         platform::ToDateTimeValue(context.system.clock->Now()) - 60.0;
}

bool AnyFile(const ScanContext&, const FileEntry&) { return true; }

struct WalkSection {
  const char* caption;
  const char* title;
  std::string Environment::*folder;
  const char* mask;
  EntryFilter filter;
};

void RunWalkSection(ScanContext& context, const WalkSection& row) {
  context.SetCaption(row.caption);
  context.log.Add(row.title);
  Walk(context, context.env.*row.folder, row.mask, true, row.filter, 0);
  context.log.Add("");
}

struct StartupBlock {
  const char* box;
  RootKey root;
  const char* key;
  const char* title;
  const char* value;
};

constexpr const char* kMachineShellFolders =
    "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";
constexpr const char* kUserShellFolders =
    "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";

constexpr StartupBlock kStartupBlocks[] = {
    {"chkAllUsersStartupFolder", RootKey::kLocalMachine, kMachineShellFolders,
     "Checking files in %ALLUSERSPROFILE%\\Startup folder...", "Common Startup"},
    {"chkAllUsersApplicationDataFolder", RootKey::kLocalMachine, kMachineShellFolders,
     "Checking files in %ALLUSERSPROFILE%\\Application Data folder...", "Common AppData"},
    {"chkCurrentUserStartupFolder", RootKey::kCurrentUser, kUserShellFolders,
     "Checking files in %USERPROFILE%\\Startup folder...", "Startup"},
    {"chkCurrentUserApplicationDataFolder", RootKey::kCurrentUser, kUserShellFolders,
     "Checking files in %USERPROFILE%\\Application Data folder...", "AppData"},
};

// A file of a startup folder: its pattern lines, or one plain line. A file
// that cannot be read, or whose version data is damaged, still gets its
// plain line (with "[Detail Data unreadable]" for the damage): one locked
// or malformed file must neither end the whole scan nor vanish from the
// one list that names every file.
void ListStartupFile(ScanContext& context, const std::string& path, const FileEntry& entry) {
  int found = -1;
  try {
    found = CheckFileForPatterns(context, path);
  } catch (const std::exception&) {
    found = -1;
  }
  if (found < 1) {
    context.log.Add(EntryLine(context, "", entry, path) +
                    FileWithCompany(*context.file_facts, path));
  }
}

void RunStartupBlock(ScanContext& context, const StartupBlock& block) {
  auto& reg = context.reg1;
  reg.CloseKey();
  reg.SetRoot(block.root);
  reg.OpenKey(block.key);
  context.log.Add(block.title);
  const std::string folder = reg.ReadString(block.value);
  for (const auto& entry : ListFolderFiles(context, folder)) {
    ListStartupFile(context, WithBackslash(folder) + entry.name, entry);
  }
  context.log.Add("");
}

}  // namespace

void ScanSystemDriveFolder(ScanContext& context) {
  ScanStandardFolder(
      context, {"Tarnscan - scanning System Drive folder...", "Checking %SystemDrive% folder...",
                &Environment::sys_drv, "", false});
}

void ScanProgramFilesFolder(ScanContext& context) {
  ScanStandardFolder(context,
                     {"Tarnscan - scanning Program Files folder...",
                      "Checking %ProgramFilesDir% folder...", &Environment::prg_files, "", false});
}

void ScanWindowsFolder(ScanContext& context) {
  ScanStandardFolder(context, {"Tarnscan - scanning Windows folder...",
                               "Checking %WinDir% folder...", &Environment::win_dir, "", false});
}

void ScanSystemFolder(ScanContext& context) {
  ScanStandardFolder(context, {"Tarnscan - scanning System folder...",
                               "Checking %System% folder...", &Environment::sys_dir, "", false});
}

void ScanSystemDriversFolder(ScanContext& context) {
  ScanStandardFolder(context, {"Tarnscan - scanning System\\Drivers folder and sub-folders...",
                               "Checking %System%\\Drivers folder and sub-folders...",
                               &Environment::sys_dir, "\\drivers", true});
}

void ListRecentHiddenFiles(ScanContext& context, std::string_view folder, std::string_view mask,
                           bool recurse) {
  Walk(context, folder, mask, recurse, IsRecentHiddenOrSystem, 0);
}

void ListFilesByMask(ScanContext& context, std::string_view folder, std::string_view mask,
                     bool recurse) {
  Walk(context, folder, mask, recurse, AnyFile, 0);
}

void ScanRecentHiddenFiles(ScanContext& context) {
  RunWalkSection(context,
                 {"Tarnscan - scanning Windows folder and sub-folders...",
                  "Checking the Windows folder and sub-folders for system and hidden files within "
                  "the last 60 days...",
                  &Environment::win_dir, "*.*", IsRecentHiddenOrSystem});
}

void ScanCplFiles(ScanContext& context) {
  RunWalkSection(context, {"Tarnscan - scanning System folder and sub-folders for CPL files...",
                           "Checking for CPL files...", &Environment::sys_dir, "*.cpl", AnyFile});
}

void ScanDownloadedProgramFiles(ScanContext& context) {
  constexpr const char* kUnits = "SOFTWARE\\Microsoft\\Code Store Database\\Distribution Units";
  context.SetCaption("Tarnscan - scanning Downloaded Program Files...");
  context.log.Add("Checking for Downloaded Program Files...");
  auto& reg1 = context.reg1;
  auto& reg2 = *context.reg2;
  reg1.CloseKey();
  reg1.SetRoot(RootKey::kLocalMachine);
  reg1.OpenKey(kUnits);
  // A sorted list without duplicates, compared without regard to case.
  std::vector<std::string> units = reg1.SubKeyNames();
  std::stable_sort(units.begin(), units.end(), [](const std::string& a, const std::string& b) {
    return platform::CompareLocaleText(a, b) < 0;
  });
  units.erase(std::unique(units.begin(), units.end(),
                          [](const std::string& a, const std::string& b) {
                            return platform::EqualsIgnoreCase(a, b);
                          }),
              units.end());
  reg2.CloseKey();
  reg2.SetRoot(RootKey::kLocalMachine);
  for (const auto& unit : units) {
    reg1.CloseKey();
    reg1.OpenKey(std::string(kUnits) + "\\" + unit + "\\DownloadInformation");
    reg2.CloseKey();
    reg2.OpenKey("SOFTWARE\\Classes\\CLSID\\" + unit);
    context.log.Add(unit + " - " + reg2.ReadString("") +
                    " - CodeBase = " + reg1.ReadString("CODEBASE"));
  }
  reg1.CloseKey();
  reg2.CloseKey();
  context.log.Add("");
}

void ScanStartupFolders(ScanContext& context) {
  context.SetCaption("Tarnscan - scanning Startup folders...");
  for (const auto& block : kStartupBlocks) {
    if (context.options.Ticked(block.box)) RunStartupBlock(context, block);
  }
}

}  // namespace tarnscan
