#include "main/options.h"

#include <algorithm>
#include <stdexcept>

#include "platform/text.h"

namespace tarnscan {

using platform::EqualsIgnoreCase;

const std::vector<OptionBox>& OptionBoxes() {
  using G = OptionGroup;
  static const std::vector<OptionBox> boxes{
      {"chkSystemDriveFolder", "System Drive Folder", G::kFolders, true, true, ""},
      {"chkProgramFilesFolder", "Program Files Folder", G::kFolders, true, true, ""},
      {"chkWindowsFolder", "Windows Folder", G::kFolders, true, true, ""},
      {"chkSystemFolder", "System Folder", G::kFolders, true, true, ""},
      {"chkSystemDriversFolder", "System Drivers Folder / Sub-Folders", G::kFolders, true, true,
       ""},
      {"chkWindowsFolder60", "Windows Folder / Sub-Folders  < 60 Days ", G::kFolders, true, true,
       ""},
      {"chkCPLFiles", "CPL Files", G::kFolders, true, true, ""},
      {"chkDownloadedProgramFiles", "Downloaded Program  Files", G::kFolders, true, true, ""},
      {"chkAllUsersStartupFolder", "All-Users Startup Folder", G::kFolders, true, true, ""},
      {"chkAllUsersApplicationDataFolder", "All-Users Application Data Folder", G::kFolders, true,
       true, ""},
      {"chkCurrentUserStartupFolder", "Current-User Startup Folder", G::kFolders, true, true, ""},
      {"chkCurrentUserApplicationDataFolder", "Current-User Application Data Folder",
       G::kFolders, true, true, ""},
      {"chkIESettings", "Internet Explorer Settings", G::kRegistry, true, true, ""},
      {"chkHKLMExplorerBHOKey", "BHO's", G::kRegistry, true, true, ""},
      {"chkIExplorerBarsExtensions", "IE Bars, Toolbars and Extensions", G::kRegistry, true, true,
       ""},
      {"chkShellExtensionsApprovedKeys", "Approved Shell Extensions (Non-MS Only)", G::kRegistry,
       true, true, ""},
      {"chkAllShellExtensions", "", G::kRegistry, false, false, "chkShellExtensionsApprovedKeys"},
      {"chkContextMenuHandlerKeys", "ContextMenu Handlers (Non-MS Only)", G::kRegistry, true,
       true, ""},
      {"chkAllContextMenuHandlerKeys", "", G::kRegistry, false, false,
       "chkContextMenuHandlerKeys"},
      {"chkColumnHandlers", "ColumnHandlers (Non-MS Only)", G::kRegistry, true, true, ""},
      {"chkAllColumnHandlers", "", G::kRegistry, false, false, "chkColumnHandlers"},
      {"chkRunKeys", "Registry Run Keys", G::kRegistry, true, true, ""},
      {"chkStartupLinks", "Startup Links", G::kRegistry, true, true, ""},
      {"chkDisabledRunKeys", "MSConfig Disabled Items", G::kRegistry, true, true, ""},
      {"chkUserAgentKey", "User Agent Post Platform", G::kRegistry, true, true, ""},
      {"chkAppInitDll", "AppInit DLL's", G::kRegistry, true, true, ""},
      {"chkHKLMImageFileExecutionOptions", "Image File Execution Options", G::kRegistry, true,
       true, ""},
      {"chkHKLMSSODL", "Shell Service Object Delay Load", G::kRegistry, true, true, ""},
      {"chkShellExecuteHooks", "Shell Execute Hooks", G::kRegistry, true, true, ""},
      {"chkSharedTaskScheduler", "Shared Task Scheduler", G::kRegistry, true, true, ""},
      {"chkHKLMWinlogon", "Winlogon", G::kRegistry, true, true, ""},
      {"chkDNSNameServers", "DNS Name Servers", G::kRegistry, true, true, ""},
      {"chkWinsock2", "Winsock2 Catalogs (Non-MS Only)", G::kRegistry, true, true, ""},
      // Ticked at start and by "Default", but "Select All" unticks it like
      // the other "Show All" boxes.
      {"chkAllWinsock2", "", G::kRegistry, true, false, "chkWinsock2"},
      {"chkProtocolHandlers", "Protocol Handlers (Non-MS Only)", G::kRegistry, true, true, ""},
      {"chkAllProtocolHandlers", "", G::kRegistry, false, false, "chkProtocolHandlers"},
      {"chkProtocolFilters", "Protocol Filters (Non-MS Only)", G::kRegistry, true, true, ""},
      {"chkAllProtocolFilters", "", G::kRegistry, false, false, "chkProtocolFilters"},
      {"chkAddOns", "Run AddOn's", G::kAddOns, true, true, ""},
  };
  return boxes;
}

namespace {

size_t IndexOf(std::string_view name) {
  const auto& boxes = OptionBoxes();
  for (size_t i = 0; i < boxes.size(); ++i) {
    if (boxes[i].name == name) return i;
  }
  throw std::invalid_argument("no option box named " + std::string(name));
}

}  // namespace

ScanOptions::ScanOptions() { Default(); }

bool ScanOptions::Ticked(std::string_view box) const { return ticked_[IndexOf(box)]; }

void ScanOptions::Set(std::string_view box, bool ticked) { ticked_[IndexOf(box)] = ticked; }

const OptionBox* ScanOptions::FindBox(std::string_view name) const {
  for (const auto& box : OptionBoxes()) {
    if (EqualsIgnoreCase(box.name, name) || EqualsIgnoreCase(box.name.substr(3), name)) {
      return &box;
    }
  }
  return nullptr;
}

void ScanOptions::Default() {
  // "Run AddOn's" keeps its state: no button changes it.
  const bool addons = ticked_.empty() ? true : Ticked("chkAddOns");
  ticked_.clear();
  for (const auto& box : OptionBoxes()) ticked_.push_back(box.start);
  Set("chkAddOns", addons);
}

void ScanOptions::SetGroup(OptionGroup group, bool (*state)(const OptionBox&)) {
  const auto& boxes = OptionBoxes();
  for (size_t i = 0; i < boxes.size(); ++i) {
    if (boxes[i].group == group) ticked_[i] = state(boxes[i]);
  }
}

void ScanOptions::FolderSelectAll() {
  SetGroup(OptionGroup::kFolders, [](const OptionBox& box) { return box.select_all; });
}
void ScanOptions::FolderRemoveAll() {
  SetGroup(OptionGroup::kFolders, [](const OptionBox&) { return false; });
}
void ScanOptions::RegistrySelectAll() {
  SetGroup(OptionGroup::kRegistry, [](const OptionBox& box) { return box.select_all; });
}
void ScanOptions::RegistryRemoveAll() {
  SetGroup(OptionGroup::kRegistry, [](const OptionBox&) { return false; });
}

void ScanOptions::AddAddOn(std::string name) {
  const auto at = std::upper_bound(
      addons_.begin(), addons_.end(), name,
      [](const std::string& a, const AddOnItem& b) {
        return platform::CompareLocaleText(a, b.name) < 0;
      });
  addons_.insert(at, AddOnItem{std::move(name), false});
}

}  // namespace tarnscan
