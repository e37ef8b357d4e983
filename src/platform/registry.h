// The registry as the ANSI registry functions show it.
//
// Windows semantics kept by every backend:
// - Key and value names compare without regard to case (the scanner only
//   relies on ASCII A-Z folding) and keep the case they were created with.
// - RegEnumKeyExA lists subkeys sorted case-insensitively, because that is
//   how the hive stores them; RegEnumValueA lists values in the order they
//   were written.
// - RegQueryValueExA returns string data (REG_SZ, REG_EXPAND_SZ,
//   REG_MULTI_SZ) converted to the ANSI code page, including the
//   terminating NUL(s) that were stored; other types come back as raw bytes.
// - A key's default value has the empty name. It exists only when set.
// - Keys are opened, never created: the scanner writes nothing.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tarnscan::platform {

// The predefined keys, in the order of their HKEY values (0x80000000 + n).
enum class RootKey {
  kClassesRoot,
  kCurrentUser,
  kLocalMachine,
  kUsers,
  kPerformanceData,
  kCurrentConfig,
  kDynData,
};

// The long name of a root ("HKEY_LOCAL_MACHINE").
std::string_view RootKeyName(RootKey root);
// Either long name or abbreviation (HKLM, HKCU, HKCR, HKU, HKCC), any case.
std::optional<RootKey> ParseRootKeyName(std::string_view name);

// The names of a key path. A single trailing backslash is tolerated, as
// RegOpenKeyEx tolerates it; an empty name elsewhere ("a\\b") makes the
// path invalid (nullopt). The empty path is the root itself.
std::optional<std::vector<std::string_view>> SplitKeyPath(std::string_view path);

// Value types, numbered as in winnt.h.
enum : uint32_t {
  kRegNone = 0,
  kRegSz = 1,
  kRegExpandSz = 2,
  kRegBinary = 3,
  kRegDword = 4,
  kRegDwordBigEndian = 5,
  kRegLink = 6,
  kRegMultiSz = 7,
  kRegResourceList = 8,
  kRegFullResourceDescriptor = 9,
  kRegResourceRequirementsList = 10,
  kRegQword = 11,
};

struct RegistryValue {
  uint32_t type = kRegNone;
  std::string data;  // as RegQueryValueExA returns it (see above)
};

// The rights asked for when opening. KEY_ALL_ACCESS may be refused where
// KEY_READ is granted (an account without administrator rights on the NT
// family); a refused open looks like a missing key to the caller.
enum class Access { kRead, kAllAccess };

class RegistryKey {
 public:
  virtual ~RegistryKey() = default;
  virtual std::vector<std::string> SubKeyNames() const = 0;
  virtual std::vector<std::string> ValueNames() const = 0;
  // nullopt when no value of that name exists.
  virtual std::optional<RegistryValue> Value(std::string_view name) const = 0;
};

class Registry {
 public:
  virtual ~Registry() = default;
  // Opens `path` (backslash separated, no leading backslash; empty = the
  // root itself) below `root`. nullptr when the key is missing or the
  // rights are refused.
  virtual std::unique_ptr<RegistryKey> Open(RootKey root, std::string_view path,
                                            Access access) const = 0;
};

}  // namespace tarnscan::platform
