#include "registry/startup_sections.h"

#include <algorithm>
#include <optional>
#include <vector>

#include "main/file_list.h"
#include "platform/registry_reader.h"
#include "platform/text.h"
#include "registry/reg_data_lookup.h"
#include "registry/registry_conventions.h"

namespace tarnscan {
namespace {

using platform::RegDataType;
using platform::RegistryError;
using platform::RegistryReader;
using platform::RootKey;

std::string Header(RootKey root, std::string_view path) {
  return "[" + std::string(platform::RootKeyName(root)) + "\\" + std::string(path) + "]";
}

// ---------------------------------------------------------------- Run keys

enum class RunBlockKind {
  kValues,          // one line per value: name and the file it starts
  kInstalledFlags,  // one line per subkey: its "Installed" value
  kNtOnlyValues,    // as kValues; on the 9x family only when present
};

struct RunBlock {
  RootKey root;
  const char* key;
  RunBlockKind kind;
};

constexpr RunBlock kRunBlocks[] = {
    {RootKey::kLocalMachine, "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run",
     RunBlockKind::kValues},
    {RootKey::kLocalMachine,
     "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run\\OptionalComponents",
     RunBlockKind::kInstalledFlags},
    {RootKey::kLocalMachine, "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\RunOnce",
     RunBlockKind::kValues},
    {RootKey::kLocalMachine, "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\RunOnceEx",
     RunBlockKind::kValues},
    {RootKey::kLocalMachine, "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\RunServices",
     RunBlockKind::kValues},
    {RootKey::kLocalMachine, "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\RunServicesOnce",
     RunBlockKind::kValues},
    {RootKey::kCurrentUser, "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run",
     RunBlockKind::kValues},
    {RootKey::kCurrentUser, "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\RunOnce",
     RunBlockKind::kValues},
    {RootKey::kCurrentUser, "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\RunServices",
     RunBlockKind::kValues},
    {RootKey::kCurrentUser, "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\RunServicesOnce",
     RunBlockKind::kValues},
    {RootKey::kCurrentUser, "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Windows\\load",
     RunBlockKind::kNtOnlyValues},
    {RootKey::kCurrentUser, "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Windows\\run",
     RunBlockKind::kNtOnlyValues},
};

// The values of the open key: name, then the file its data starts (not the
// data itself) with that file's company.
void WriteRunValues(ScanContext& context) {
  auto& reg = context.reg1;
  FillValueNames(reg, context.key_list);
  for (const auto& name : context.key_list) {
    LookUpRegData(context, reg.ReadString(name));
    context.log.Add("  " + name + " - " + context.reg_file + context.reg_company);
  }
  context.key_list.clear();
  context.log.Add("");
}

void WriteInstalledFlags(ScanContext& context, const RunBlock& block) {
  auto& reg = context.reg1;
  FillSubKeyNames(reg, context.key_list);
  for (const auto& name : context.key_list) {
    OpenFromRoot(reg, block.root, std::string(block.key) + "\\" + name);
    context.log.Add("  " + name + "\tInstalled = " + reg.ReadString("Installed"));
  }
  context.key_list.clear();
  context.log.Add("");
}

void RunRunBlock(ScanContext& context, const RunBlock& block) {
  auto& reg = context.reg1;
  const bool nt_family = context.env.os_family == "xp";
  if (block.kind == RunBlockKind::kNtOnlyValues && !nt_family) {
    // These keys belong to the NT family; on 9x a program that made one
    // anyway is worth a warning, an absent one is worth nothing.
    if (!OpenFromRoot(reg, block.root, block.key)) return;
    context.log.Add("<<< WARNING! - NOT A VALID WIN98/ME KEY! >>>");
    context.log.Add(Header(block.root, block.key));
    WriteRunValues(context);
    return;
  }
  context.log.Add(Header(block.root, block.key));
  OpenFromRoot(reg, block.root, block.key);
  if (block.kind == RunBlockKind::kInstalledFlags) {
    WriteInstalledFlags(context, block);
  } else {
    WriteRunValues(context);
  }
}

// ----------------------------------------------------------- startup links

struct StartupLinkBlock {
  const char* header;
  RootKey root;
  const char* value;
};

constexpr const char* kShellFolders =
    "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";

constexpr StartupLinkBlock kStartupLinkBlocks[] = {
    {"[HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell "
     "Folders\\\\Common Startup]",
     RootKey::kLocalMachine, "Common Startup"},
    {"[HKEY_CURRENT_USER\\Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell "
     "Folders\\\\Startup]",
     RootKey::kCurrentUser, "Startup"},
};

void ListStartupFolder(ScanContext& context, const std::string& folder) {
  for (const auto& entry : ListFolderFiles(context, folder)) {
    WriteStartupFileLine(context, WithBackslash(folder) + entry.name);
  }
}

// ------------------------------------------------------ MSConfig, NT family

constexpr const char* kMSConfigKey = "SOFTWARE\\Microsoft\\Shared Tools\\MSConfig";
constexpr size_t kMaxShownBinary = 32;

// The text of one value as msconfig's tree dump shows it; nullopt for a
// value that cannot be shown (too long, an unsupported type, gone).
std::optional<std::string> TypedValueText(const RegistryReader& reg, const std::string& name) {
  try {
    switch (reg.DataType(name)) {
      case RegDataType::kString:
        return reg.ReadString(name);
      case RegDataType::kBinary: {
        const std::string bytes = reg.ReadBinary(name);
        if (bytes.size() > kMaxShownBinary) return std::nullopt;
        return bytes.substr(0, bytes.find('\0'));
      }
      default:
        // Expandable strings and unknown types land here and fail the
        // integer read, so they never appear in the dump.
        return std::to_string(reg.ReadInteger(name));
    }
  } catch (const RegistryError&) {
    return std::nullopt;
  }
}

void WriteTypedValues(ScanContext& context, const std::vector<std::string>& names) {
  for (const auto& name : names) {
    if (auto text = TypedValueText(context.reg1, name)) {
      context.log.Add("\t" + name + "\t" + *text);
    }
  }
}

void WriteMSConfigKey(ScanContext& context, const std::string& name) {
  auto& reg = context.reg1;
  const std::string path = std::string(kMSConfigKey) + "\\" + name;
  context.log.Add("");
  context.log.Add("HKEY_LOCAL_MACHINE\\" + path);
  OpenFromRoot(reg, RootKey::kLocalMachine, path);
  FillValueNames(reg, context.key_list2);
  if (!context.key_list2.empty()) {
    WriteTypedValues(context, context.key_list2);
    context.log.Add("");
  }
  // The key is read again for its subkeys, so a key that holds both values
  // and subkeys shows both.
  OpenFromRoot(reg, RootKey::kLocalMachine, path);
  FillSubKeyNames(reg, context.key_list2);
  for (const auto& sub : context.key_list2) {
    context.log.Add("");
    context.log.Add("HKEY_LOCAL_MACHINE\\" + path + "\\" + sub);
    OpenFromRoot(reg, RootKey::kLocalMachine, path + "\\" + sub);
    FillValueNames(reg, context.key_list3);
    WriteTypedValues(context, context.key_list3);
  }
  reg.CloseKey();
  context.key_list2.clear();
  context.key_list3.clear();
}

void WriteMSConfigTree(ScanContext& context) {
  context.log.Add("[HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Shared Tools\\MSConfig]");
  OpenFromRoot(context.reg1, RootKey::kLocalMachine, kMSConfigKey);
  FillSubKeyNames(context.reg1, context.key_list);
  for (const auto& name : context.key_list) WriteMSConfigKey(context, name);
  context.reg1.CloseKey();
  context.key_list.clear();
  context.log.Add("");
}

// ------------------------------------------------------ MSConfig, 9x family

// msconfig of Windows 98/ME moves a Run value into a sibling key whose name
// ends in "-".
struct DisabledRunKey {
  RootKey root;
  const char* key;
};

constexpr DisabledRunKey kDisabledRunKeys[] = {
    {RootKey::kLocalMachine, "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run-"},
    {RootKey::kLocalMachine, "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\RunOnce-"},
    {RootKey::kLocalMachine, "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\RunOnceEx-"},
    {RootKey::kLocalMachine, "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\RunServices-"},
    {RootKey::kLocalMachine, "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\RunServicesOnce-"},
    {RootKey::kCurrentUser, "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run-"},
    {RootKey::kCurrentUser, "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\RunOnce-"},
    {RootKey::kCurrentUser, "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\RunServices-"},
    {RootKey::kCurrentUser, "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\RunServicesOnce-"},
};

void WriteDisabledRunKeys(ScanContext& context) {
  auto& reg = context.reg1;
  for (const auto& block : kDisabledRunKeys) {
    context.log.Add(Header(block.root, block.key));
    OpenFromRoot(reg, block.root, block.key);
    FillValueNames(reg, context.key_list);
    for (const auto& name : context.key_list) {
      context.log.Add("\t" + name + "\t" + reg.ReadString(name));
    }
    context.key_list.clear();
    context.log.Add("");
  }
}

// ------------------------------------------- MSConfig, disabled folder items

struct DisabledFolder {
  const char* header;
  std::string Environment::*base_9x;
  const char* below_9x;
  std::string Environment::*base_nt;
  const char* below_nt;
};

const DisabledFolder kDisabledFolders[] = {
    {"[All Users Startup Folder Disabled Items]", &Environment::win_dir,
     "\\All Users\\Start Menu\\Programs\\Disabled Startup Items", &Environment::all_users_dir,
     "\\Start Menu\\Programs\\Startup - Disabled"},
    {"[Current User Startup Folder Disabled Items]", &Environment::win_dir,
     "\\Start Menu\\Programs\\Disabled Startup Items", &Environment::current_user_dir,
     "\\Start Menu\\Programs\\Startup - Disabled"},
};

void WriteDisabledFolder(ScanContext& context, const DisabledFolder& part) {
  context.log.Add(part.header);
  const bool family_98 = context.env.os_family == "98";
  const std::string folder = family_98 ? context.env.*part.base_9x + part.below_9x
                                       : context.env.*part.base_nt + part.below_nt;
  ListStartupFolder(context, folder);
  context.log.Add("");
}

}  // namespace

std::string ResolveShortcut(const ScanContext& context, std::string_view file_name) {
  // ExtractFileExt: from the last dot after the last path or drive
  // delimiter.
  const size_t dot = file_name.find_last_of(".\\:");
  const bool is_lnk = dot != std::string_view::npos && file_name[dot] == '.' &&
                      platform::UpperCase(file_name.substr(dot)) == ".LNK";
  if (!is_lnk) return std::string(kNotAShortcut);
  return context.system.shell->ResolveShortcut(file_name);
}

void WriteStartupFileLine(ScanContext& context, const std::string& path) {
  // Only the last three letters count, with no dot before them, so
  // "notalnk" is taken for a shortcut too and resolves to kNotAShortcut.
  const bool shortcut =
      path.size() >= 3 &&
      platform::LowerCase(std::string_view(path).substr(path.size() - 3)) == "lnk";
  if (shortcut) {
    LookUpRegData(context, ResolveShortcut(context, path));
    context.log.Add("  " + path + " - " + context.reg_file + context.reg_company);
  } else {
    LookUpRegData(context, path);
    context.log.Add("  " + path + context.reg_company);
  }
}

void ScanRunKeys(ScanContext& context) {
  for (const auto& block : kRunBlocks) RunRunBlock(context, block);
}

void ScanStartupLinks(ScanContext& context) {
  auto& reg = context.reg1;
  for (const auto& block : kStartupLinkBlocks) {
    context.log.Add(block.header);
    OpenFromRoot(reg, block.root, kShellFolders);
    ListStartupFolder(context, reg.ReadString(block.value));
    context.log.Add("");
  }
  reg.CloseKey();
}

void ScanMSConfigDisabled(ScanContext& context) {
  if (context.env.os_family == "xp") {
    WriteMSConfigTree(context);
  } else {
    WriteDisabledRunKeys(context);
  }
  for (const auto& part : kDisabledFolders) WriteDisabledFolder(context, part);
  context.reg1.CloseKey();
}

}  // namespace tarnscan
