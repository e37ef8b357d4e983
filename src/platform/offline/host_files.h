// Files of the machine the command runs on (not of the scanned system):
// the patterns list, the AddOn files and the report.
#pragma once

#include <string>
#include <string_view>

namespace tarnscan::platform {

// The whole file; throws FileError ("File not found" for a missing file).
std::string ReadHostFile(const std::string& path);

// Writes beside the target, then renames over it, so a failed write never
// leaves half a report. Throws FileError naming the file.
void SaveHostFileAtomically(const std::string& path, std::string_view bytes);

}  // namespace tarnscan::platform
