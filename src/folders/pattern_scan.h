// The search of files for the fragments of the patterns list, and the
// listing of hosts files.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "main/scan_context.h"

namespace tarnscan {

// Checks one file and appends its lines: one per fragment found (with the
// company suffix), or for a hosts file (a name ending in HOSTS) the lines
// that hold a fragment. Returns 1 when a fragment was found, -1 otherwise
// and always for a hosts file. Throws when the file cannot be read.
int CheckFileForPatterns(ScanContext& context, std::string_view path);

// Appends the lines of every matching file of Folder that the mask names
// (and of every folder below it when `recurse`), in the order of the walk:
// a folder's files before its sub-folders, depth first. Files are read and
// searched in parallel; the lines come out in walk order all the same. A
// file that cannot be read is skipped. Links to folders are not followed.
void ScanFolderForPatterns(ScanContext& context, std::string_view folder, std::string_view mask,
                           bool recurse);

// The swap files are never opened.
bool IsSwapFile(std::string_view name);
bool IsHostsFile(std::string_view path);

}  // namespace tarnscan
