// The file a registry value names, out of the many shapes such values take
// (quoted paths with arguments, %SystemRoot% and \SystemRoot\ prefixes,
// res:// addresses, bare names, names without extension). Used only to
// find the company name of that file; the report shows the raw data.
#pragma once

#include <string>
#include <string_view>

#include "main/scan_context.h"

namespace tarnscan {

inline constexpr std::string_view kRegDataMissing = "Reg Data missing or invalid";

// Never fails: at worst it returns empty text or a path that names nothing.
std::string ExtractFileFromRegData(const ScanContext& context, std::string_view data);

// Whether a file (not a folder) of that name exists; a relative name is
// taken relative to the scan's current folder.
bool RegFileExists(const ScanContext& context, std::string_view name);

}  // namespace tarnscan
