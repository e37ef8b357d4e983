// The browser's own registry: its start and search pages, URL search hooks,
// helper objects, bars, toolbars and extension buttons.
#pragma once

#include "main/scan_context.h"

namespace tarnscan {

void ScanIESettings(ScanContext& context);
void ScanBHOs(ScanContext& context);
void ScanIEBars(ScanContext& context);

}  // namespace tarnscan
