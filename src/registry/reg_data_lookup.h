// The file a registry text names and its company, for the sections whose
// entries are command lines or paths rather than COM classes.
#pragma once

#include <string_view>

#include "main/scan_context.h"

namespace tarnscan {

// context.reg_file := the file that `data` names (ExtractFileFromRegData);
// context.reg_company := that file's company suffix.
void LookUpRegData(ScanContext& context, std::string_view data);

}  // namespace tarnscan
