// The fixed-column file line that every folder section writes.
#pragma once

#include <string>
#include <string_view>

#include "main/file_list.h"
#include "main/scan_context.h"
#include "platform/file_system.h"

namespace tarnscan {

// Pattern padded to 21, date to 23, a blank, the attribute text, a blank,
// the size padded to 11, the path. A longer field pushes the rest right.
std::string FormatFileLine(std::string_view pattern, std::string_view date_text,
                           std::string_view attr_text, std::string_view size_text,
                           std::string_view path);

// "R", "H", "S" or a blank for each.
std::string AttributeText(uint32_t attributes);
// The last-write time in the scanned system's local time, at the two-second
// resolution of the original's packed date-times, as the locale shows it.
std::string DateText(const ScanContext& context, platform::FileTime last_write);
// The file line of a directory entry, with the size as a 64-bit number (a
// file of 3 GB shows 3221225472, not a negative number).
std::string EntryLine(const ScanContext& context, std::string_view pattern,
                      const platform::FileEntry& entry, std::string_view path);

}  // namespace tarnscan
