// One scan: the warning, the header, the ticked sections in their fixed
// order between the block banners, and the saved report.
#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "main/scan_context.h"

namespace tarnscan {

using Section = void (*)(ScanContext&);

inline constexpr std::string_view kVersionText = "v1.5.0";

// The five block banners: runs of byte 187 around a title, 73 bytes long.
std::string BlockBanner(std::string_view title);
inline constexpr std::string_view kBannerVersions = "Windows OS and Versions";
inline constexpr std::string_view kBannerStandardFolders = "Checking Selected Standard Folders";
inline constexpr std::string_view kBannerStartupFolders = "Checking Selected Startup Folders";
inline constexpr std::string_view kBannerRegistry = "Checking Selected Registry Keys";
inline constexpr std::string_view kBannerComplete = "Scan Complete";

struct FolderSectionRow {
  std::string_view box;
  Section run;
};

struct RegistrySectionRow {
  std::string_view box;
  std::string_view show_all_box;     // empty when the row has none
  std::string_view banner_show_all;  // written when the "Show All" box is ticked
  std::string_view banner;
  Section run;
};

// The driver's tables, in report order (defined in section_table.cpp).
const std::vector<FolderSectionRow>& FolderSections();
Section StartupFoldersSection();
const std::vector<RegistrySectionRow>& RegistrySections();
Section AddOnsSection();

struct ScanResult {
  bool completed = false;  // every section ran and the report was saved
  std::string error;       // the message of the error that ended the scan early
  bool saved = false;      // the report, whole or partial, was written
  std::string save_error;  // why it could not be written
};

// What the user is told of a scan that did not complete, a line each:
// why it stopped, whether the report so far was kept, why it was not.
std::vector<std::string> FailureLines(const ScanResult& result, std::string_view report_path);

// Where the finished report goes. `save` receives the report's bytes and
// throws when they cannot be written; `path` is the report's full path as
// Notepad is given it.
struct ReportTarget {
  std::string path;
  std::function<void(const std::string& bytes)> save;
};

// The objects that live for one scan: Reg2, the name lists, the compiled
// patterns and the file facts cache.
void CreateScanObjects(ScanContext& context);

// Runs a whole scan. An error that escapes a section, or the reading of
// the program files folder before them, ends the scan there; the lines so
// far are still saved, followed by an empty line and "Scan ended early: "
// and the message.
ScanResult RunScan(ScanContext& context, const ReportTarget& target);

}  // namespace tarnscan
