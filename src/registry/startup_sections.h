// The registry and folder places from which Windows starts programs at boot
// or logon: the Run family of keys, the Startup folders, and what the
// system configuration tool (msconfig) has switched off.
#pragma once

#include <string>
#include <string_view>

#include "main/scan_context.h"

namespace tarnscan {

// What IShellLinkA reports as the target of a ".LNK" file; the fixed text
// kNotAShortcut when the name does not end in that extension (any case).
inline constexpr std::string_view kNotAShortcut = "NOT a shortuct by extension!";
std::string ResolveShortcut(const ScanContext& context, std::string_view file_name);

// The line of one file of a startup folder: a shortcut shows its target and
// the target's company, any other file its own company.
void WriteStartupFileLine(ScanContext& context, const std::string& path);

void ScanRunKeys(ScanContext& context);
void ScanStartupLinks(ScanContext& context);
void ScanMSConfigDisabled(ScanContext& context);

}  // namespace tarnscan
