// The settings and hooks through which software redirects or intercepts
// network traffic: DNS servers, Winsock2 catalog providers and the
// browser's pluggable protocol handlers and filters.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "main/scan_context.h"

namespace tarnscan {

// A Winsock2 catalog entry's "PackedCatalogItem" begins with the provider's
// library path as 8-bit text ending in a zero byte (a MAX_PATH field whose
// tail keeps stale bytes of earlier, longer paths). Only the first
// kPackedPathLimit bytes are looked at.
inline constexpr size_t kPackedPathLimit = 1000;
std::string DecodePackedCatalogPath(std::string_view packed);

void ScanDNSNameServers(ScanContext& context);
void ScanWinsock2Catalogs(ScanContext& context);
void ScanProtocolHandlers(ScanContext& context);
void ScanProtocolFilters(ScanContext& context);

}  // namespace tarnscan
