// The live registry through the ANSI registry functions: RegOpenKeyExA
// (KEY_ALL_ACCESS unless the reader asks for less), RegEnumKeyExA,
// RegEnumValueA and RegQueryValueExA, which hand out names and string data
// already converted to the system's ANSI code page.
#pragma once

#include "platform/registry.h"

namespace tarnscan::platform {

class Win32Registry final : public Registry {
 public:
  std::unique_ptr<RegistryKey> Open(RootKey root, std::string_view path,
                                    Access access) const override;
};

}  // namespace tarnscan::platform
