// The order of the report. Each area adds its sections here.
#include "main/scan_driver.h"

#include "addon/addon_runner.h"
#include "folders/folder_sections.h"
#include "registry/browser_sections.h"
#include "registry/network_sections.h"
#include "registry/shell_sections.h"
#include "registry/startup_sections.h"
#include "registry/system_hook_sections.h"

namespace tarnscan {

const std::vector<FolderSectionRow>& FolderSections() {
  static const std::vector<FolderSectionRow> rows{
      {"chkSystemDriveFolder", ScanSystemDriveFolder},
      {"chkProgramFilesFolder", ScanProgramFilesFolder},
      {"chkWindowsFolder", ScanWindowsFolder},
      {"chkSystemFolder", ScanSystemFolder},
      {"chkSystemDriversFolder", ScanSystemDriversFolder},
      {"chkWindowsFolder60", ScanRecentHiddenFiles},
      {"chkCPLFiles", ScanCplFiles},
      {"chkDownloadedProgramFiles", ScanDownloadedProgramFiles},
  };
  return rows;
}

Section StartupFoldersSection() { return ScanStartupFolders; }

const std::vector<RegistrySectionRow>& RegistrySections() {
  static const std::vector<RegistrySectionRow> rows{
      {"chkIESettings", "", "", ">>> Internet Explorer Settings <<<", ScanIESettings},
      {"chkHKLMExplorerBHOKey", "", "", ">>> BHO's <<<", ScanBHOs},
      {"chkIExplorerBarsExtensions", "", "",
       ">>> Internet Explorer Bars, Toolbars and Extensions <<<", ScanIEBars},
      {"chkShellExtensionsApprovedKeys", "chkAllShellExtensions",
       ">>> All Approved Shell Extensions <<<",
       ">>> Approved Shell Extensions (Non-Microsoft Only) <<<", ScanApprovedShellExtensions},
      {"chkContextMenuHandlerKeys", "chkAllContextMenuHandlerKeys",
       ">>> All Context Memu Handler Keys <<<", ">>> Context Menu Handlers (Non-Microsoft Only) <<<",
       ScanContextMenuHandlers},
      {"chkColumnHandlers", "chkAllColumnHandlers", ">>> All Column Handler Keys <<<",
       ">>> Column Handlers (Non-Microsoft Only) <<<", ScanColumnHandlers},
      {"chkRunKeys", "", "", ">>> Registry Run Keys <<<", ScanRunKeys},
      {"chkStartupLinks", "", "", ">>> Startup Links <<<", ScanStartupLinks},
      {"chkDisabledRunKeys", "", "", ">>> MSConfig Disabled Items <<<", ScanMSConfigDisabled},
      {"chkUserAgentKey", "", "", ">>> User Agent Post Platform <<<",
       ScanUserAgentPostPlatform},
      {"chkAppInitDll", "", "", ">>> AppInit Dll's <<<", ScanAppInitDLLs},
      {"chkHKLMImageFileExecutionOptions", "", "", ">>> Image File Execution Options <<<",
       ScanImageFileExecutionOptions},
      {"chkHKLMSSODL", "", "", ">>> Shell Service Object Delay Load <<<", ScanSSODL},
      {"chkShellExecuteHooks", "", "", ">>> Shell Execute Hooks <<<", ScanShellExecuteHooks},
      {"chkSharedTaskScheduler", "", "", ">>> Shared Task Scheduler <<<",
       ScanSharedTaskScheduler},
      {"chkHKLMWinlogon", "", "", ">>> Winlogon <<<", ScanWinlogon},
      {"chkDNSNameServers", "", "", ">>> DNS Name Servers <<<", ScanDNSNameServers},
      {"chkWinsock2", "chkAllWinsock2", ">>> All Winsock2 Catalogs <<<",
       ">>> Winsock2 Catalogs (Non-Microsoft Only) <<<", ScanWinsock2Catalogs},
      {"chkProtocolHandlers", "chkAllProtocolHandlers", ">>> All Protocol Handlers <<<",
       ">>> Protocol Handlers (Non-Microsoft Only) <<<", ScanProtocolHandlers},
      {"chkProtocolFilters", "chkAllProtocolFilters", ">>> All Protocol Filters <<<",
       ">>> Protocol Filters (Non-Microsoft Only) <<<", ScanProtocolFilters},
  };
  return rows;
}

Section AddOnsSection() { return RunAddOns; }

}  // namespace tarnscan
