// A "system folder": a small Windows system described in plain files, for
// tests and demonstrations.
//
//   DIR/drive_c/...     the files of drive C: (drive_d/ for D:, ...)
//   DIR/registry/*.reg  the registry, applied in name order
//   DIR/files.tsv       optional: "path<TAB>attributes<TAB>YYYY-MM-DD HH:MM:SS"
//                       per line; the path relative to DIR, the attributes
//                       as letters of "RHSA" or "-", the last-write time
//                       in the system's local time (git keeps neither)
//
// The system's code page is the value ACP of the key
// HKLM\SYSTEM\CurrentControlSet\Control\Nls\CodePage (1252 when unset);
// its date pictures and AM/PM texts come from HKCU\Control Panel\International. A system folder has no time zone:
// its file times are its local times.
#pragma once

#include <optional>
#include <stdexcept>
#include <string>

#include "platform/clock.h"
#include "platform/memory/memory_registry.h"
#include "platform/memory/reg_file.h"
#include "platform/system.h"

namespace tarnscan::platform {

class SystemFolderError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

struct SystemFolderOptions {
  // Fixes "now" (the scanned system's local time) for reproducible reports.
  std::optional<LocalTime> as_of;
};

// Applies the changes a .reg file describes, in order.
void ApplyRegFileOps(const std::vector<RegFileOp>& ops, MemoryRegistry& registry);

// Throws SystemFolderError naming the file (and line) that is wrong.
System LoadSystemFolder(const std::string& dir, const SystemFolderOptions& options = {});

}  // namespace tarnscan::platform
