#include "main/startup.h"

#include "platform/file_system.h"
#include "platform/text.h"

namespace tarnscan {

using platform::RootKey;

std::string DropLast(const std::string& text, size_t count) {
  return text.size() > count ? text.substr(0, text.size() - count) : std::string();
}

std::vector<std::string> SplitTextLines(std::string_view bytes) {
  platform::LineSplitter lines;
  lines.Feed(bytes);
  return lines.Finish();
}

void DiscoverEnvironment(ScanContext& context) {
  auto& reg = context.reg1;
  auto& env = context.env;
  reg.SetRoot(RootKey::kLocalMachine);
  reg.OpenKey("SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion");
  std::string system_folder_suffix = "\\SYSTEM32";
  if (reg.ValueExists("SystemRoot")) {
    env.os_family = "xp";
  } else {
    // No NT key (or it was refused): the 9x family keeps SystemRoot under
    // the Windows key and its system folder is SYSTEM.
    env.os_family = "98";
    system_folder_suffix = "\\SYSTEM";
    reg.CloseKey();
    reg.OpenKey("SOFTWARE\\Microsoft\\Windows\\CurrentVersion");
  }
  const std::string root = reg.ReadString("SystemRoot");
  env.sys_drv = root.substr(0, 3);
  env.win_dir = root;
  env.sys_dir = root + system_folder_suffix;

  reg.CloseKey();
  reg.OpenKey("SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders");
  // The profile folders are the parents of "Desktop" and "My Documents".
  env.all_users_dir = DropLast(reg.ReadString("Common Desktop"), 8);
  env.current_user_dir = DropLast(reg.ReadString("Personal"), 13);
}

bool Startup(ScanContext& context) {
  DiscoverEnvironment(context);
  if (context.plugin_files == nullptr ||
      !context.plugin_files->FolderExists(context.plugins_folder)) {
    return false;
  }
  for (const auto& entry : context.plugin_files->List(context.plugins_folder, "*.def")) {
    if (!entry.IsDirectory()) context.options.AddAddOn(entry.name);
  }
  return true;
}

}  // namespace tarnscan
