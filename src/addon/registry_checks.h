// The REGKEY line of an AddOn: whether a key exists, its values as text,
// and its sub-keys by name or, with "SUBKEYS", dumped at every depth.
#pragma once

#include <string>
#include <string_view>

#include "main/scan_context.h"
#include "platform/registry.h"

namespace tarnscan {

// The header line, then "[root\path]" and the dump when Reg1 can open the
// key with full rights, else "root\path - not found.". `option` is
// upper-cased; "SUBKEYS" dumps every sub-key. Leaves Reg1 with no key open.
void CheckRegKey(ScanContext& context, platform::RootKey root, std::string_view root_name,
                 std::string_view key_path, std::string_view option);

// Lines "  <display>\\<value> - <data>" for each value of the key, then
// "  \<sub-key>" for each sub-key or, with "SUBKEYS", the dump of each
// sub-key depth-first. The display path is the last component of the key
// path, after `parent_display` and a backslash when that is not empty. A
// key that cannot be opened with full rights gives "  Key not found".
void DumpRegKey(ScanContext& context, platform::RootKey root, std::string_view key_path,
                std::string_view parent_display, std::string_view option);

// A value's data as text, by its type: strings up to their first NUL, a
// DWORD as a signed decimal, binary data as "0A 1B " (a blank after every
// byte), anything else as its NUL-separated pieces each followed by ";".
// Throws platform::RegistryError when the key cannot be opened for reading
// or the value cannot be read as its type says (a DWORD of eight bytes).
std::string RegValueText(const platform::Registry& registry, platform::RootKey root,
                         std::string_view key_path, std::string_view value_name);

}  // namespace tarnscan
