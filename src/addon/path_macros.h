// The folder macros an AddOn's FILE line may start with, so that one
// AddOn file works on machines whose folders lie in different places.
#pragma once

#include <string>
#include <string_view>

#include "main/scan_context.h"

namespace tarnscan {

// Replaces the one macro the text starts with (%SysDrv%, %WinDir%,
// %SysDir%, %PrgFiles%, %CurrentUser%, %AllUsers%, any letter case) with
// its folder; the rest is copied unchanged. A macro elsewhere in the text
// is left alone.
std::string ExpandPathMacros(const Environment& env, std::string_view text);

}  // namespace tarnscan
