#include "main/scan_context.h"


namespace tarnscan {

ScanContext::ScanContext(const platform::System& system_in, ScanOptions& options_in)
    : system(system_in), options(options_in), reg1(*system_in.registry) {}

ScanContext::~ScanContext() = default;

}  // namespace tarnscan
