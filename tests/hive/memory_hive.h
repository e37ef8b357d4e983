// A key tree held in a MemoryRegistry written out as a hive file through
// hivex, so that a registry described by .reg files can be scanned both
// as it is and as the hive files a Windows system keeps.
#pragma once

#include <string>

#include "platform/codepage.h"
#include "platform/memory/memory_registry.h"

namespace tarnscan::testing {

// Writes `root` (its values, and its subkeys with everything below them)
// as the root key of a new hive at `path`. Names and string data are
// stored as UTF-16 converted from the code page, as RegSetValueExA stores
// them; values keep their order. Throws std::runtime_error when hivex
// refuses a step. Needs hivex (see REQUIRE_HIVEX).
void WriteHiveFromMemory(const platform::MemoryRegistry::Node& root,
                         const platform::CodePage& code_page, const std::string& path);

}  // namespace tarnscan::testing
