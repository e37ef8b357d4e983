// The folder sections of the report, in the driver's order.
#pragma once

#include <string_view>

#include "main/scan_context.h"

namespace tarnscan {

// The five standard folders searched for the patterns.
void ScanSystemDriveFolder(ScanContext& context);
void ScanProgramFilesFolder(ScanContext& context);
void ScanWindowsFolder(ScanContext& context);
void ScanSystemFolder(ScanContext& context);
void ScanSystemDriversFolder(ScanContext& context);

// The recursive walks that list files by their directory facts.
void ScanRecentHiddenFiles(ScanContext& context);
void ScanCplFiles(ScanContext& context);
// Hidden or system files below Folder written less than 60 days ago.
void ListRecentHiddenFiles(ScanContext& context, std::string_view folder, std::string_view mask,
                           bool recurse);
// Every file below Folder that the mask names.
void ListFilesByMask(ScanContext& context, std::string_view folder, std::string_view mask,
                     bool recurse);

// Browser controls registered as distribution units.
void ScanDownloadedProgramFiles(ScanContext& context);

// The Startup and Application Data folders of all users and of the user.
void ScanStartupFolders(ScanContext& context);

}  // namespace tarnscan
