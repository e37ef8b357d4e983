// The main window's hidden file list: the files of one folder (no
// folders; read-only, hidden and system files included), sorted as a
// sorted list box sorts. Pointing it at a folder makes that folder the
// scan's current folder, against which relative names resolve.
#pragma once

#include <string>
#include <vector>

#include "main/scan_context.h"
#include "platform/file_system.h"

namespace tarnscan {

// A folder that does not exist lists nothing (on Windows the list box
// fails; one stale shell-folder value must not end the whole scan).
std::vector<platform::FileEntry> ListFolderFiles(ScanContext& context, const std::string& folder);

// Folder followed by a backslash unless it ends with one.
std::string WithBackslash(std::string_view folder);

}  // namespace tarnscan
