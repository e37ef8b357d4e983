// Start-up: the environment every section relies on, found once when the
// window is first shown (or when the command starts).
#pragma once

#include <string>
#include <vector>

#include "main/scan_context.h"

namespace tarnscan {

// Reads OSFamily and the folder globals through Reg1, which it leaves open
// on the shell-folders key as the program does, then lists the AddOn files
// of the plugins folder into the options. Returns false when the plugins
// folder does not exist (the AddOn list stays empty).
bool Startup(ScanContext& context);

// Reads the OS family and folder globals only.
void DiscoverEnvironment(ScanContext& context);

// The lines of the patterns list, as platform::LineSplitter cuts them.
std::vector<std::string> SplitTextLines(std::string_view bytes);

// Text without its last `count` characters; empty when it is not longer.
std::string DropLast(const std::string& text, size_t count);

}  // namespace tarnscan
