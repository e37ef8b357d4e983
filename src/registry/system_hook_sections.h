// Machine-wide hooks of the NT family through which a program is loaded
// into other processes or started in place of another: AppInit DLLs,
// Image File Execution Options debuggers and the Winlogon programs and
// notification libraries.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "main/scan_context.h"

namespace tarnscan {

// The items of an AppInit_DLLs value as user32 of that time read it: runs
// of commas separate, blanks do not, a comma in the first place stays with
// the first item, and a value ending in a comma gives an empty last item.
std::vector<std::string> SplitAppInitDlls(std::string_view value);

void ScanAppInitDLLs(ScanContext& context);
void ScanImageFileExecutionOptions(ScanContext& context);
void ScanWinlogon(ScanContext& context);

}  // namespace tarnscan
