// The version resource of an executable read straight from its bytes, the
// way GetFileVersionInfoSizeA / GetFileVersionInfoA / VerQueryValueA see
// it: RT_VERSION resource 1 of a PE32 or PE32+ image, or of a 16-bit NE
// module (Windows 3.x and 9x files, whose version blocks hold 8-bit text).
#pragma once

#include <memory>

#include "platform/byte_source.h"
#include "platform/codepage.h"
#include "platform/file_facts.h"

namespace tarnscan::platform {

// nullptr when GetFileVersionInfoSizeA would give 0: not an MZ file with a
// PE or NE header, no version resource, or the resource lies (in part)
// outside the file. Reads the headers, the resource directory and the
// resource itself, never the whole file. `code_page` converts the UTF-16
// strings of PE resources and must outlive the result.
std::unique_ptr<VersionData> ReadVersionResource(const ByteSource& file, const CodePage& code_page);

// Version data from the bytes of a VS_VERSIONINFO block as the resource
// holds it (what GetFileVersionInfoA copies into its buffer).
std::unique_ptr<VersionData> ParseVersionData(std::string bytes, const CodePage& code_page);

}  // namespace tarnscan::platform
