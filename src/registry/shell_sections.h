// The shell's extension lists and the hook lists that the shell and the
// browser load from: approved extensions, context-menu and column
// handlers, user-agent tokens, shell-execute hooks, the shared task
// scheduler and the delay-loaded shell service objects.
#pragma once

#include <string_view>

#include "main/scan_context.h"

namespace tarnscan {

void ScanApprovedShellExtensions(ScanContext& context);
void ScanContextMenuHandlers(ScanContext& context);
void ScanColumnHandlers(ScanContext& context);

// A machine-wide key whose values are COM classes (named by a CLSID) or
// plain texts. The three keys of this kind follow.
void ScanHookList(ScanContext& context, std::string_view key, std::string_view header);
void ScanUserAgentPostPlatform(ScanContext& context);
void ScanShellExecuteHooks(ScanContext& context);
void ScanSharedTaskScheduler(ScanContext& context);

void ScanSSODL(ScanContext& context);

}  // namespace tarnscan
